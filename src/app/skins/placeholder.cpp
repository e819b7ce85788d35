// Temporary: keeps the tree building until the skins land.
namespace kc { void skinsPlaceholder() {} }
