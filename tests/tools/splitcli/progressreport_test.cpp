#include "progressreport.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

namespace kc::cli {
namespace {

TEST(SplitCliProgress, BarLine)
{
    EXPECT_EQ(ProgressBarLine(2, 3, 45, 10), QStringLiteral("piece 2/3 [####------]  45%"));
    EXPECT_EQ(ProgressBarLine(1, 1, 0, 4), QStringLiteral("piece 1/1 [----]   0%"));
    EXPECT_EQ(ProgressBarLine(1, 1, 120, 4), QStringLiteral("piece 1/1 [####] 100%"));
}

// Captures what a reporter writes to a stream.
struct Captured {
    char *data = nullptr;
    size_t size = 0;
    FILE *f = open_memstream(&data, &size);
    ~Captured() { std::free(data); }
    std::string text()
    {
        std::fflush(f);
        return std::string(data, size);
    }
};

TEST(SplitCliProgress, PlainLinesOncePerTenth)
{
    Captured err, out;
    {
        StreamReporter r(err.f, out.f, false);
        r.pieceStarted(1, 2, QStringLiteral("/o/a_new(1).mpg"));
        for (int p : {3, 9, 10, 15, 27, 100})
            r.progress(p);
        r.pieceWritten(QStringLiteral("/o/a_new(1).mpg"));
        r.error(QStringLiteral("视频文件保存失败"));
    }
    EXPECT_EQ(err.text(), "piece 1/2: /o/a_new(1).mpg\npiece 1/2: 0%\npiece 1/2: 10%\npiece 1/2: 27%\n"
                          "piece 1/2: 100%\nkestrelcut-split: 视频文件保存失败\n");
    EXPECT_EQ(out.text(), "/o/a_new(1).mpg\n");
    std::fclose(err.f);
    std::fclose(out.f);
}

TEST(SplitCliProgress, LiveBarRedrawsInPlace)
{
    Captured err, out;
    {
        StreamReporter r(err.f, out.f, true);
        r.pieceStarted(1, 1, QStringLiteral("x"));
        r.progress(50);
        r.pieceWritten(QStringLiteral("x"));
    }
    const std::string e = err.text();
    EXPECT_EQ(e.rfind("\r", 0), 0u);
    EXPECT_NE(e.find("\rpiece 1/1 ["), std::string::npos);
    EXPECT_NE(e.find(" 50%"), std::string::npos);
    EXPECT_EQ(e.back(), '\n'); // the bar's line is ended before the path is printed
    std::fclose(err.f);
    std::fclose(out.f);
}

} // namespace
} // namespace kc::cli
