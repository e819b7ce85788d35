// Temporary: keeps the tree building until the source handlers land.
namespace kc { void sourceUiPlaceholder() {} }
