#pragma once

namespace kc {

class NumericField;

// The eight time fields of the custom-range page.
struct RangeFields {
    NumericField *edtStartHour = nullptr;
    NumericField *edtStartMin = nullptr;
    NumericField *edtStartSecond = nullptr;
    NumericField *edtStartMSec = nullptr;
    NumericField *edtEndHour = nullptr;
    NumericField *edtEndMin = nullptr;
    NumericField *edtEndSecond = nullptr;
    NumericField *edtEndMSec = nullptr;
};

// Writes TSourceMedia.StartTime and EndTime into the eight fields, split by DecodeSeconds.
void ShowRange(const RangeFields &fields);

} // namespace kc
