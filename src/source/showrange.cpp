#include "showrange.h"

#include "common/numericfield.h"
#include "common/timeparts.h"
#include "sourcemedia.h"

namespace kc {

void ShowRange(const RangeFields &f)
{
    const TimeParts start = DecodeSeconds(TSourceMedia.StartTime);
    f.edtStartHour->setValue(start.hour);
    f.edtStartMin->setValue(start.minute);
    f.edtStartSecond->setValue(start.second);
    f.edtStartMSec->setValue(start.msec);
    const TimeParts end = DecodeSeconds(TSourceMedia.EndTime);
    f.edtEndHour->setValue(end.hour);
    f.edtEndMin->setValue(end.minute);
    f.edtEndSecond->setValue(end.second);
    f.edtEndMSec->setValue(end.msec);
}

} // namespace kc
