#pragma once

#include <QString>
#include <cstdint>

namespace kc {

// A time split into the parts the time fields show.
struct TimeParts {
    int32_t hour = 0;
    int32_t minute = 0;
    int32_t second = 0;
    int32_t msec = 0;
    bool operator==(const TimeParts &o) const
    {
        return hour == o.hour && minute == o.minute && second == o.second && msec == o.msec;
    }
};

// Whole seconds truncated toward zero; milliseconds from the fraction in extended
// precision, truncated (10.1 gives 99 ms, 1.234 gives 233 ms).
TimeParts DecodeSeconds(double seconds);

// hour * 3600 + minute * 60 + second + msec / 1000, summed in extended precision.
double JoinTimeParts(long double hour, long double minute, long double second, long double msec);
inline double JoinTimeParts(const TimeParts &p)
{
    return JoinTimeParts(p.hour, p.minute, p.second, p.msec);
}

// The "%7.1f" text every time label uses.
QString FormatSeconds(double seconds);

// Optional sign followed by decimal digits and nothing else, as a 64-bit integer.
bool ParseWholeNumber(const QString &text, qint64 *value);

} // namespace kc
