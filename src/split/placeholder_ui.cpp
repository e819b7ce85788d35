// Temporary: keeps the tree building until the output settings and render driver land.
namespace kc { void splitUiPlaceholder() {} }
