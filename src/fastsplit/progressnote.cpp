#include "progressnote.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace kc {

namespace {

constexpr int kSearchedBytes = 100;
constexpr int kMaxNoteChars = 9;

QByteArray TrimBlanksAndControls(const QByteArray &text)
{
    int begin = 0;
    int end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 0x20)
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

std::optional<double> ToDouble(const QByteArray &text)
{
    // Plain decimal notation with "." whatever the locale; no "inf", "nan" or hex.
    static const QRegularExpression number(
        QStringLiteral(R"(^[+-]?(\d+(\.\d*)?|\.\d+)([eE][+-]?\d+)?$)"));
    const QString s = QString::fromLatin1(text);
    if (!number.match(s).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double v = s.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// Rounds to nearest, ties to even: nearbyint in the default rounding mode.
double RoundHalfEven(double v)
{
    return std::nearbyint(v);
}

} // namespace

std::optional<QByteArray> ProgressNoteText(const QByteArray &read)
{
    QByteArray text = read;
    const int zero = text.indexOf('\0');
    if (zero >= 0)
        text.truncate(zero);
    text.truncate(kSearchedBytes);

    const int pos = text.indexOf("Pos:");
    if (pos < 0)
        return std::nullopt;
    const int from = pos + 4;
    const int s = text.indexOf('s', from);
    if (s < 0 || s - from > kMaxNoteChars)
        return std::nullopt;
    return TrimBlanksAndControls(text.mid(from, s - from));
}

std::optional<int> ProgressNoteWholeSeconds(const QByteArray &read)
{
    const std::optional<QByteArray> text = ProgressNoteText(read);
    if (!text)
        return std::nullopt;
    const std::optional<double> seconds = ToDouble(*text);
    if (!seconds)
        return std::nullopt;
    const double whole = RoundHalfEven(*seconds);
    if (whole < std::numeric_limits<int>::min() || whole > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(whole);
}

std::optional<int> ProgressPercent(const QByteArray &read, double lengthSeconds)
{
    if (!(lengthSeconds > 0.0))
        return std::nullopt;
    const std::optional<int> whole = ProgressNoteWholeSeconds(read);
    if (!whole)
        return std::nullopt;
    // The product is an integer one; 64 bits so that a wild note cannot wrap around.
    const qint64 scaled = static_cast<qint64>(*whole) * 100;
    const double percent = RoundHalfEven(static_cast<double>(scaled) / lengthSeconds);
    constexpr double limit = 1e9;
    if (percent > limit)
        return static_cast<int>(limit);
    if (percent < -limit)
        return static_cast<int>(-limit);
    return static_cast<int>(percent);
}

} // namespace kc
