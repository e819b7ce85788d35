// The rules of source loading that know no widget.

#include "source/sourceload.h"
#include "source/sourcemedia.h"

#include <QSet>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

using namespace kc;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(SourceDuration, ComponentFirstThenMediaInfoGeneralThenVideo)
{
    struct Case {
        const char *why;
        double component;
        std::optional<QStringList> mediaInfo; // nullopt: library not bound
        double seconds;
        bool asked;
        bool unrecognised;
    };
    const Case cases[] = {
        {"component answers", 5025.7, QStringList{"1000", "1000"}, 5025.7, false, false},
        {"general wins over video", 0, QStringList{"90500", "1234"}, 90.5, true, false},
        {"empty general, video used", 0, QStringList{"", "1234"}, 1.234, true, false},
        {"negative component asks the library", -3, QStringList{"2000", ""}, 2.0, true, false},
        {"NaN component asks the library", kNaN, QStringList{"2000", ""}, 2.0, true, false},
        {"infinite component asks the library", kInf, QStringList{"2000", ""}, 2.0, true, false},
        {"decimal general ignored", 0, QStringList{"90.5", "1234"}, 1.234, true, false},
        {"signed whole number", 0, QStringList{"+3000", ""}, 3.0, true, false},
        {"blanks around the number", 0, QStringList{" 3000\t", ""}, 3.0, true, false},
        {"too large for 64 bits", 0, QStringList{"99999999999999999999", "1000"}, 1.0, true, false},
        {"zero general does not hide video", 0, QStringList{"0", "1500"}, 1.5, true, false},
        {"negative play time is no length", 0, QStringList{"-500", ""}, 0, true, true},
        {"neither tells", 0, QStringList{"abc", ""}, 0, true, true},
        {"library answers nothing", 0, QStringList{}, 0, true, true},
        {"library not bound", 0, std::nullopt, 0, true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.why);
        int calls = 0;
        const SourceDuration d = ResolveSourceDuration(c.component, [&] {
            ++calls;
            return c.mediaInfo;
        });
        EXPECT_DOUBLE_EQ(d.seconds, c.seconds);
        EXPECT_EQ(d.askedMediaInfo, c.asked);
        EXPECT_EQ(calls, c.asked ? 1 : 0);
        EXPECT_EQ(d.unrecognised, c.unrecognised);
    }
}

TEST(SourceDuration, SoundOnlyIsUnrecognisedWithoutAskingTheLibrary)
{
    for (double component : {0.0, 12.5}) {
        int calls = 0;
        const SourceDuration d = ResolveSourceDuration(component, [&] {
            ++calls;
            return std::optional<QStringList>(QStringList{"2000", ""});
        }, true);
        EXPECT_EQ(d.seconds, 0);
        EXPECT_TRUE(d.unrecognised);
        EXPECT_EQ(calls, 0);
    }
}

TEST(SourceDuration, NoQueryAtAllIsLikeAnUnboundLibrary)
{
    const SourceDuration d = ResolveSourceDuration(0, PlayTimeQuery());
    EXPECT_EQ(d.seconds, 0);
    EXPECT_TRUE(d.unrecognised);
}

TEST(ChosenSourcePath, BlanksAtBothEndsAreRemovedUnlessTheyAreTheFilesName)
{
    struct Case {
        QString chosen;
        QSet<QString> existing;
        QString expected;
    };
    const Case cases[] = {
        {"  /v/a.avi  ", {}, "/v/a.avi"},
        {"  /v/a.avi  ", {"/v/a.avi"}, "/v/a.avi"},
        {"/v/a.avi ", {"/v/a.avi "}, "/v/a.avi "},           // a Linux name ending in a blank
        {"/v/a.avi ", {"/v/a.avi ", "/v/a.avi"}, "/v/a.avi"},
        {"/v/片段 1.mpg", {}, "/v/片段 1.mpg"},
        {"   ", {}, ""},
        {"", {}, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.chosen.toStdString());
        EXPECT_EQ(ChosenSourcePath(c.chosen, [&](const QString &p) { return c.existing.contains(p); }), c.expected);
    }
}

TEST(SetCurrentSource, ReplacesTheSourceAndResetsPositionAndRange)
{
    TSourceMedia = SourceMediaRecord{QStringLiteral("/old.avi"), 50, 12.5, 3, 40};
    SetCurrentSource(QStringLiteral("/new.avi"), 90.5);
    EXPECT_EQ(TSourceMedia.FileName, QStringLiteral("/new.avi"));
    EXPECT_EQ(TSourceMedia.Duration, 90.5);
    EXPECT_EQ(TSourceMedia.CurTime, 0);
    EXPECT_EQ(TSourceMedia.StartTime, 0);
    EXPECT_EQ(TSourceMedia.EndTime, 90.5);
}

TEST(WholeSeconds, TruncatesTowardZeroWithinTheTrackBarsRange)
{
    const struct {
        double seconds;
        int expected;
    } cases[] = {{125.9, 125}, {59.96, 59}, {0.99, 0}, {0, 0}, {-1.5, 0}, {kNaN, 0}, {1e12, INT_MAX}, {kInf, INT_MAX}};
    for (const auto &c : cases)
        EXPECT_EQ(WholeSeconds(c.seconds), c.expected) << c.seconds;
}

TEST(SourceFileFilters, AllFormatsFirstNamingEveryPatternThenOneEntryPerFormat)
{
    const QString all = QStringLiteral("*.avi;*.mpg;*.mpeg;*.mpe;*.dat;*.wmv;*.asf;*.mov;*.qt;*.rm;*.rmvb;*.vob;"
                                       "*.mp4;*.m4v;*.mkv;*.ts;*.m2ts;*.mts;*.webm;*.flv;*.3gp");
    const QStringList expected{
        "All Support Format(" + all + ") (" + QString(all).replace(';', ' ') + ")",
        "AVI File(*.avi) (*.avi)",
        "MPEG File(*.mpg;*.mpeg;*.mpe) (*.mpg *.mpeg *.mpe)",
        "DAT File(*.dat) (*.dat)",
        "Media Player File(*.wmv;*.asf) (*.wmv *.asf)",
        "Quick Time File(*.mov;*.qt) (*.mov *.qt)",
        "Real Media File(*.rm;*.rmvb) (*.rm *.rmvb)",
        "DVD VOB File(*.vob) (*.vob)",
        "MP4 File(*.mp4;*.m4v) (*.mp4 *.m4v)",
        "Matroska File(*.mkv) (*.mkv)",
        "MPEG-TS File(*.ts;*.m2ts;*.mts) (*.ts *.m2ts *.mts)",
        "WebM File(*.webm) (*.webm)",
        "Flash Video File(*.flv) (*.flv)",
        "3GP File(*.3gp) (*.3gp)",
    };
    QStringList actual;
    for (const SourceFileFilter &f : SourceFileFilters())
        actual << QtNameFilter(f);
    EXPECT_EQ(actual, expected);
}

} // namespace
