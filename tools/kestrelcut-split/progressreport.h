#pragma once

#include "splitrunner.h"

#include <QString>
#include <cstdio>

namespace kc::cli {

// One frame of the live bar: "piece 2/3 [#########-----------]  45%".
QString ProgressBarLine(int number, int count, int percent, int barWidth = 30);

// Progress on standard error: a live bar redrawn in place on a terminal, plain lines
// (one per tenth) otherwise. The path of each written piece goes to standard output.
class StreamReporter : public RunReporter
{
public:
    StreamReporter(FILE *err, FILE *out, bool liveBar);

    void pieceStarted(int number, int count, const QString &path) override;
    void progress(int percent) override;
    void pieceWritten(const QString &path) override;
    void pieceSkipped(const QString &why) override;
    void error(const QString &text) override;

private:
    void endBarLine();

    FILE *m_err;
    FILE *m_out;
    bool m_live;
    int m_number = 0;
    int m_count = 0;
    int m_percent = -1;
    bool m_barShown = false;
};

} // namespace kc::cli
