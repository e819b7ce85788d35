#include "encodertime.h"

#include "common/timeparts.h"

namespace kc {

QString EncoderTimeText(double seconds)
{
    const TimeParts p = DecodeSeconds(seconds);
    return QString::asprintf("%02d:%02d:%02d.%03d", int(p.hour), int(p.minute), int(p.second), int(p.msec));
}

} // namespace kc
