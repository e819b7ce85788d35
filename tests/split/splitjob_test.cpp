// The split job both front ends run: events, outcomes, the pieces it leaves, and that the
// pieces after the first go on reading the source where the last one stopped.
#include "components/videoedit/tvideoedit.h"
#include "split/splitjob.h"
#include "support/clips.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <ostream>

// Readable QString values in failure messages.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace kc::test {
namespace {

constexpr int kJobTimeoutMs = 60000;

// The pieces' names are numbered after the source's name.
QStringList FilesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

OutputChoice SmallMpeg()
{
    OutputChoice c;
    c.format = OutFormat::MPEG;
    c.edtWidth = 160;
    c.edtHeight = 120;
    c.cmbMpegFrame = 0; // 25 fps, the source's rate: pictures can be counted one for one
    return c;
}

class SplitJobTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        outDir = dir.path() + QStringLiteral("/out/");
        ASSERT_TRUE(QDir().mkpath(outDir));
        source = dir.filePath(QStringLiteral("clip.avi"));
        ClipRecipe recipe;
        recipe.seconds = 3;
        recipe.gop = 25;
        QString log;
        ASSERT_TRUE(MakeClip(source, recipe, &log)) << log.toStdString();
        QObject::connect(&job, &SplitJob::finished, [this](const SplitOutcome &o) {
            outcomes << o;
        });
        QObject::connect(&job, &SplitJob::pieceStarted, [this](int, int, int, const QString &) {
            continued << edit.ContinuedLastRender();
        });
    }

    SplitRequest Request(TSplitMode mode, qint64 parts, const OutputChoice &choice = SmallMpeg())
    {
        SplitRequest s;
        s.input = source;
        s.mode = mode;
        s.inputs.duration = edit.GetFileDuration(source);
        s.inputs.parts = parts;
        s.inputs.everyText = QStringLiteral("2");
        s.inputs.startTime = 0.5;
        s.inputs.endTime = 1.5;
        s.choice = choice;
        s.outputFolder = outDir;
        return s;
    }

    bool WaitForEnd() { return QTest::qWaitFor([this] { return !outcomes.isEmpty(); }, kJobTimeoutMs); }

    QTemporaryDir dir;
    QString outDir;
    QString source;
    TVideoEdit edit;
    SplitJob job{&edit};
    QList<SplitOutcome> outcomes;
    QList<bool> continued;
};

struct JobCase {
    const char *label;
    TSplitMode mode;
    qint64 parts;
    OutFormat format;
    QStringList files;
};

void PrintTo(const JobCase &c, std::ostream *os) { *os << c.label; }

class SplitJobRuns : public SplitJobTest, public ::testing::WithParamInterface<JobCase> {};

// Every mode, re-encoded and copied: the pieces are written, announced in order, and the
// re-encoded pieces after the first follow on from the one before.
TEST_P(SplitJobRuns, WritesThePlannedPieces)
{
    const JobCase &c = GetParam();
    OutputChoice choice = SmallMpeg();
    choice.format = c.format;
    QStringList written;
    QList<int> starting;
    QObject::connect(&job, &SplitJob::pieceStarting, [&](int k, int, int) { starting << k; });
    QObject::connect(&job, &SplitJob::pieceWritten, [&](int, const QString &path) { written << QFileInfo(path).fileName(); });

    job.start(Request(c.mode, c.parts, choice));
    ASSERT_TRUE(WaitForEnd());
    ASSERT_EQ(outcomes.size(), 1);
    EXPECT_EQ(outcomes.first().status, SplitOutcome::Status::Done) << outcomes.first().message.toStdString();
    EXPECT_FALSE(job.isRunning());
    EXPECT_EQ(FilesIn(outDir), c.files);
    EXPECT_EQ(written, c.files);
    EXPECT_EQ(outcomes.first().copied, c.format == OutFormat::Copy);
    if (c.format == OutFormat::Copy) {
        EXPECT_EQ(outcomes.first().written, c.files.size());
        return;
    }
    ASSERT_EQ(continued.size(), c.files.size());
    for (int i = 0; i < continued.size(); ++i)
        EXPECT_EQ(continued.at(i), i > 0) << "piece " << i + 1;
    if (c.mode != smCustom) {
        QList<int> expected;
        for (int k = 1; k <= c.files.size(); ++k)
            expected << k;
        EXPECT_EQ(starting, expected);
        int frames = 0;
        for (const QString &f : c.files)
            frames += CountVideoFrames(outDir + f);
        // The plan runs on the source's length (the sound's, here a little longer than the
        // pictures'); the pieces together last as long, to the frame.
        EXPECT_NEAR(frames, edit.GetFileDuration(source) * 25, 1.0);
    }
}

const JobCase kJobs[] = {
    {"CustomRange", smCustom, 2, OutFormat::MPEG, {QStringLiteral("clip_new0.mpg")}},
    {"EqualParts", smAverage, 4, OutFormat::MPEG,
     {QStringLiteral("clip_new(1).mpg"), QStringLiteral("clip_new(2).mpg"), QStringLiteral("clip_new(3).mpg"),
      QStringLiteral("clip_new(4).mpg")}},
    {"ByTime", smTime, 2, OutFormat::MPEG, {QStringLiteral("clip_new(1).mpg"), QStringLiteral("clip_new(2).mpg")}},
    {"EqualPartsCopied", smAverage, 3, OutFormat::Copy,
     {QStringLiteral("clip_new(1).avi"), QStringLiteral("clip_new(2).avi"), QStringLiteral("clip_new(3).avi")}},
};

INSTANTIATE_TEST_SUITE_P(Modes, SplitJobRuns, ::testing::ValuesIn(kJobs),
                         [](const ::testing::TestParamInfo<JobCase> &i) { return std::string(i.param.label); });

// Stopped in the second piece: it ends at once, the unfinished piece goes, nothing follows.
TEST_F(SplitJobTest, StopInTheSecondPieceKeepsTheFirstOnly)
{
    QElapsedTimer stopTime;
    qint64 stopMs = -1;
    QObject::connect(&job, &SplitJob::progress, &job, [&] {
        if (job.isRunning() && continued.size() == 2) {
            stopTime.start();
            job.stop();
            stopMs = stopTime.elapsed();
        }
    }, Qt::QueuedConnection);
    job.start(Request(smAverage, 3));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !job.isRunning(); }, kJobTimeoutMs));
    QTest::qWait(500);
    EXPECT_TRUE(outcomes.isEmpty());
    EXPECT_GE(stopMs, 0);
    EXPECT_LT(stopMs, 500);
    EXPECT_FALSE(edit.IsRendering());
    EXPECT_EQ(FilesIn(outDir), QStringList{QStringLiteral("clip_new(1).mpg")});

    // The same editor runs the next job from scratch.
    job.start(Request(smAverage, 2));
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(outcomes.first().status, SplitOutcome::Status::Done);
    EXPECT_FALSE(continued.at(2));
}

// What ends a job early, and how it says so.
TEST_F(SplitJobTest, RefusalsAndFailuresEndTheJob)
{
    const struct {
        const char *label;
        std::function<void(SplitRequest &)> change;
        SplitOutcome::Status status;
        int piece;
    } cases[] = {
        {"custom range the wrong way round",
         [](SplitRequest &s) {
             s.inputs.startTime = 2;
             s.inputs.endTime = 1;
         },
         SplitOutcome::Status::Refused, 0},
        {"output folder that is a file",
         [this](SplitRequest &s) {
             QFile f(dir.filePath(QStringLiteral("plainfile")));
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
             s.outputFolder = f.fileName();
         },
         SplitOutcome::Status::Failed, 1},
        {"source that is gone",
         [this](SplitRequest &s) { s.input = dir.filePath(QStringLiteral("missing.avi")); },
         SplitOutcome::Status::Failed, 1},
    };
    for (const auto &c : cases) {
        outcomes.clear();
        SplitRequest s = Request(c.status == SplitOutcome::Status::Refused ? smCustom : smAverage, 2);
        c.change(s);
        job.start(s);
        ASSERT_TRUE(WaitForEnd()) << c.label;
        EXPECT_EQ(outcomes.first().status, c.status) << c.label;
        EXPECT_EQ(outcomes.first().piece, c.piece) << c.label;
        EXPECT_FALSE(outcomes.first().message.isEmpty()) << c.label;
        EXPECT_FALSE(job.isRunning()) << c.label;
        EXPECT_TRUE(FilesIn(outDir).isEmpty()) << c.label;
    }
}

} // namespace
} // namespace kc::test
