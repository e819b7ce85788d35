// Temporary: keeps the tree building until the fast split logic lands.
namespace kc { void fastSplitPlaceholder() {} }
