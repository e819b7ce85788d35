#pragma once

#include <QString>

namespace kc {

// hh:mm:ss.mmm for the encoder's -ss and -endpos, from the same parts the time fields
// show (milliseconds truncated, never rounded). Hours grow past two digits when needed.
QString EncoderTimeText(double seconds);

} // namespace kc
