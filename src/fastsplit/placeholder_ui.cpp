// Temporary: keeps the tree building until the fast split window lands.
namespace kc { void fastSplitUiPlaceholder() {} }
