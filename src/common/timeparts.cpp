#include "timeparts.h"

#include <cmath>
#include <limits>

namespace kc {

TimeParts DecodeSeconds(double seconds)
{
    TimeParts p;
    // NaN or a time beyond the fields' reach (a damaged file's claim) reads as nothing.
    if (!(std::fabs(seconds) < 2147483647.0))
        return p;
    const int32_t whole = static_cast<int32_t>(seconds); // truncates toward zero
    p.hour = whole / 3600;
    p.minute = (whole - p.hour * 3600) / 60;
    p.second = whole - p.hour * 3600 - p.minute * 60;
    const long double fraction = static_cast<long double>(seconds) - static_cast<long double>(whole);
    p.msec = static_cast<int32_t>(fraction * 1000.0L);
    return p;
}

double JoinTimeParts(long double hour, long double minute, long double second, long double msec)
{
    return static_cast<double>(hour * 3600.0L + minute * 60.0L + second + msec / 1000.0L);
}

QString FormatSeconds(double seconds)
{
    return QString::asprintf("%7.1f", seconds);
}

bool ParseWholeNumber(const QString &text, qint64 *value)
{
    if (text.isEmpty())
        return false;
    int i = 0;
    if (text[0] == QLatin1Char('+') || text[0] == QLatin1Char('-'))
        i = 1;
    if (i == text.size())
        return false;
    for (int k = i; k < text.size(); ++k) {
        if (text[k] < QLatin1Char('0') || text[k] > QLatin1Char('9'))
            return false;
    }
    bool ok = false;
    const qint64 v = text.toLongLong(&ok);
    if (!ok)
        return false;
    if (value)
        *value = v;
    return true;
}

} // namespace kc
