#include "sourcemedia.h"

namespace kc {

SourceMediaRecord TSourceMedia;

} // namespace kc
