#include "progressreport.h"

#include <algorithm>

namespace kc::cli {

QString ProgressBarLine(int number, int count, int percent, int barWidth)
{
    percent = std::clamp(percent, 0, 100);
    const int filled = percent * barWidth / 100;
    return QStringLiteral("piece %1/%2 [%3%4] %5%")
        .arg(number)
        .arg(count)
        .arg(QString(filled, QLatin1Char('#')), QString(barWidth - filled, QLatin1Char('-')))
        .arg(percent, 3);
}

StreamReporter::StreamReporter(FILE *err, FILE *out, bool liveBar)
    : m_err(err)
    , m_out(out)
    , m_live(liveBar)
{
}

void StreamReporter::pieceStarted(int number, int count, const QString &path)
{
    m_number = number;
    m_count = count;
    m_percent = -1;
    if (!m_live)
        std::fprintf(m_err, "piece %d/%d: %s\n", number, count, path.toLocal8Bit().constData());
    progress(0);
}

void StreamReporter::progress(int percent)
{
    if (percent == m_percent)
        return;
    if (m_live) {
        std::fprintf(m_err, "\r%s", ProgressBarLine(m_number, m_count, percent).toLocal8Bit().constData());
        m_barShown = true;
    } else if (percent / 10 != m_percent / 10 || m_percent < 0) {
        std::fprintf(m_err, "piece %d/%d: %d%%\n", m_number, m_count, percent);
    }
    m_percent = percent;
    std::fflush(m_err);
}

void StreamReporter::pieceWritten(const QString &path)
{
    endBarLine();
    std::fprintf(m_out, "%s\n", path.toLocal8Bit().constData());
    std::fflush(m_out);
}

void StreamReporter::pieceSkipped(const QString &why)
{
    endBarLine();
    std::fprintf(m_err, "piece %d/%d: not written: %s\n", m_number, m_count, why.toLocal8Bit().constData());
    std::fflush(m_err);
}

void StreamReporter::error(const QString &text)
{
    endBarLine();
    std::fprintf(m_err, "kestrelcut-split: %s\n", text.toLocal8Bit().constData());
    std::fflush(m_err);
}

void StreamReporter::endBarLine()
{
    if (m_barShown) {
        std::fputc('\n', m_err);
        m_barShown = false;
    }
}

} // namespace kc::cli
