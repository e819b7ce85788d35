// Temporary: the main window shell lands next.
namespace kc { void appPlaceholder() {} }
