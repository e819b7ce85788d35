// Temporary: keeps the tree building until the range entry lands.
namespace kc { void rangeEntryPlaceholder() {} }
