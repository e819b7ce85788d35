// Temporary: keeps the tree building until the planning, naming and settings logic lands.
namespace kc { void splitPlaceholder() {} }
