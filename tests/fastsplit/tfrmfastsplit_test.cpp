// The fast split window driven through its controls, with messages recorded.
#include "printers.h"
#include "common/browseforfolder.h"
#include "common/mediainfo.h"
#include "common/numericfield.h"
#include "common/programfolder.h"
#include "common/timeparts.h"
#include "fastsplit/encodercommand.h"
#include "fastsplit/mediaprobe.h"
#include "fastsplit/opendlg.h"
#include "fastsplit/outputfolder.h"
#include "fastsplit/progressnote.h"
#include "fastsplit/tfrmfastsplit.h"
#include "support/clips.h"
#include "support/dropfiles.h"
#include "support/messagerecorder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <array>
#include <memory>

namespace {

using kc::test::MessageRecorder;
using Kind = kc::MessageKind;

const std::array<const char *, 4> kStartFields{"edtStartHour", "edtStartMin", "edtStartSecond", "edtStartMSec"};
const std::array<const char *, 4> kEndFields{"edtEndHour", "edtEndMin", "edtEndSecond", "edtEndMSec"};
const std::array<const char *, 4> kButtons{"btOpenFile", "btOutPath", "btSplit", "btClose"};

// The main window stand-in owning the fast split window, as the program has it.
struct Fixture {
    std::unique_ptr<QWidget> owner = std::make_unique<QWidget>();
    kc::TfrmFastSplit *w = new kc::TfrmFastSplit(owner.get());

    template <typename T>
    T *find(const char *name) const
    {
        T *child = w->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    kc::NumericField *field(const char *name) const { return find<kc::NumericField>(name); }
    QPushButton *button(const char *name) const { return find<QPushButton>(name); }
    QProgressBar *bar() const { return find<QProgressBar>("pgbHint"); }

    void setTimes(const std::array<QString, 4> &start, const std::array<QString, 4> &end) const
    {
        for (size_t i = 0; i < 4; ++i) {
            field(kStartFields[i])->setText(start[i]);
            field(kEndFields[i])->setText(end[i]);
        }
    }
    QStringList fieldTexts(const std::array<const char *, 4> &names) const
    {
        QStringList texts;
        for (const char *n : names)
            texts << field(n)->text();
        return texts;
    }
    bool buttonsEnabled(bool expected) const
    {
        for (const char *n : kButtons)
            if (button(n)->isEnabled() != expected)
                return false;
        return true;
    }
    void setOutputFolder(const QString &folder) const
    {
        const kc::FolderChooser previous = kc::SetFolderChooser([&](QWidget *, const QString &, const QString &) {
            return folder;
        });
        button("btOutPath")->click();
        kc::SetFolderChooser(previous);
    }
    void open(const QString &path) const
    {
        const kc::VideoFileChooser previous = kc::SetVideoFileChooser([&](QFileDialog *) { return path; });
        button("btOpenFile")->click();
        kc::SetVideoFileChooser(previous);
    }
    // Clicks btSplit and waits for the job to end; false when it did not end in time.
    bool split(int timeoutMs = 30000) const
    {
        QSignalSpy done(w, &kc::TfrmFastSplit::jobFinished);
        button("btSplit")->click();
        if (!w->JobRunning())
            return done.count() > 0 || done.wait(timeoutMs);
        return done.wait(timeoutMs);
    }
};

// A stand-in FileEncoder in its own program folder; "$OUT" is the output path.
struct FakeEncoder {
    QTemporaryDir folder;
    explicit FakeEncoder(const QByteArray &body)
    {
        QFile f(folder.filePath(QStringLiteral("FileEncoder")));
        if (f.open(QIODevice::WriteOnly)) {
            f.write("#!/bin/sh\nfor OUT in \"$@\"; do :; done\n");
            f.write(body);
            f.close();
            f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
        }
        kc::SetProgramFolder(folder.path() + QLatin1Char('/'));
    }
    ~FakeEncoder() { kc::SetProgramFolder(kc::test::BinDir()); }
};

bool ProcessAlive(const QString &pidFile)
{
    QFile f(pidFile);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray pid = f.readAll().trimmed();
    return !pid.isEmpty() && QFileInfo::exists(QStringLiteral("/proc/") + QString::fromLatin1(pid));
}

QStringList ReadLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

TEST(TfrmFastSplit, StartsWithItsControlsCaptionsAndValues)
{
    Fixture f;
    EXPECT_TRUE(f.w->isWindow());
    EXPECT_EQ(f.w->parentWidget(), f.owner.get());
    EXPECT_EQ(f.w->windowTitle(), QStringLiteral("AVI快速分割"));
    EXPECT_EQ(f.w->size(), QSize(396, 251));
    EXPECT_EQ(f.w->minimumSize(), f.w->maximumSize());
    EXPECT_FALSE(f.w->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(f.w->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(f.w->windowModality(), Qt::NonModal);
    EXPECT_FALSE(f.w->isVisible());
    EXPECT_EQ(f.w->font().pixelSize(), 12);

    const struct {
        const char *name;
        const char *caption;
    } labels[] = {
        {"Label1", "打开要分割的文件："}, {"labFileTime", "[0时0分0秒0毫秒]"}, {"Label3", "输出文件路径："},
        {"Label2", "分割时间设置："},     {"labStart", "开始："},             {"labEnd", "结束："},
        {"pnlHint", " 提示："},
    };
    for (const auto &l : labels)
        EXPECT_EQ(f.find<QLabel>(l.name)->text(), QString::fromUtf8(l.caption)) << l.name;
    const struct {
        const char *name;
        const char *caption;
    } buttons[] = {{"btOpenFile", "打开文件"}, {"btOutPath", "浏览路径"}, {"btSplit", "分割"}, {"btClose", "关闭"}};
    for (const auto &b : buttons)
        EXPECT_EQ(f.button(b.name)->text(), QString::fromUtf8(b.caption)) << b.name;

    auto *input = f.find<QLineEdit>("edtInputFile");
    auto *output = f.find<QLineEdit>("edtOutputPath");
    EXPECT_TRUE(input->text().isEmpty());
    EXPECT_TRUE(input->isReadOnly());
    EXPECT_TRUE(output->isReadOnly());
    EXPECT_EQ(output->text(), kc::DefaultOutputFolder());
    EXPECT_TRUE(output->text().endsWith(QLatin1Char('/')));

    const struct {
        const char *name;
        int maximum, maxLength;
        const char *unitLabel, *unit;
    } fields[] = {
        {"edtStartHour", 99, 2, "labStartHourUnit", "时"},   {"edtStartMin", 59, 2, "labStartMinUnit", "分"},
        {"edtStartSecond", 59, 2, "labStartSecondUnit", "秒"}, {"edtStartMSec", 999, 3, "labStartMSecUnit", "毫秒"},
        {"edtEndHour", 99, 2, "labEndHourUnit", "时"},       {"edtEndMin", 59, 2, "labEndMinUnit", "分"},
        {"edtEndSecond", 59, 2, "labEndSecondUnit", "秒"},   {"edtEndMSec", 999, 3, "labEndMSecUnit", "毫秒"},
    };
    QSet<QString> accessibleNames;
    for (const auto &fd : fields) {
        kc::NumericField *field = f.field(fd.name);
        EXPECT_EQ(field->text(), QStringLiteral("0")) << fd.name;
        EXPECT_EQ(field->minimum(), 0) << fd.name;
        EXPECT_EQ(field->maximum(), fd.maximum) << fd.name;
        EXPECT_EQ(field->maxLength(), fd.maxLength) << fd.name;
        EXPECT_FALSE(field->accessibleName().isEmpty()) << fd.name;
        accessibleNames.insert(field->accessibleName());
        EXPECT_EQ(f.find<QLabel>(fd.unitLabel)->text(), QString::fromUtf8(fd.unit));
    }
    EXPECT_EQ(accessibleNames.size(), 8); // each field tells which one it is

    QProgressBar *bar = f.bar();
    EXPECT_EQ(bar->value(), 0);
    EXPECT_TRUE(bar->isTextVisible());
    EXPECT_EQ(bar->text(), QStringLiteral("0%"));
    EXPECT_EQ(f.find<QFrame>("pnlBottom")->geometry(), QRect(0, 226, 396, 25));
    EXPECT_EQ(f.find<QLabel>("pnlHint")->width(), 65);

    // Tab goes through the rows top to bottom, left to right.
    const QStringList order{"edtInputFile", "btOpenFile", "edtOutputPath", "btOutPath", "edtStartHour",
                            "edtStartMin", "edtStartSecond", "edtStartMSec", "edtEndHour", "edtEndMin",
                            "edtEndSecond", "edtEndMSec", "btSplit", "btClose"};
    QStringList chain;
    QWidget *start = f.find<QWidget>("edtInputFile");
    for (QWidget *it = start; chain.size() < order.size(); it = it->nextInFocusChain()) {
        if (order.contains(it->objectName()))
            chain << it->objectName();
        if (it->nextInFocusChain() == start)
            break;
    }
    EXPECT_EQ(chain, order);
}

TEST(TfrmFastSplit, BringUpCentresOverTheOwnerAndKeepsStateAcrossUses)
{
    Fixture f;
    f.owner->setGeometry(100, 80, 686, 482);
    f.owner->show();
    f.w->BringUp();
    EXPECT_TRUE(f.w->isVisible());
    EXPECT_LE((f.w->frameGeometry().center() - f.owner->frameGeometry().center()).manhattanLength(), 40);
    EXPECT_EQ(f.w->windowModality(), Qt::NonModal);
    EXPECT_TRUE(f.owner->isEnabled());

    const QPoint placed = f.w->pos();
    f.field("edtStartSecond")->setText(QStringLiteral("7"));
    f.button("btClose")->click();
    EXPECT_FALSE(f.w->isVisible());
    f.w->BringUp();
    EXPECT_TRUE(f.w->isVisible());
    EXPECT_EQ(f.field("edtStartSecond")->text(), QStringLiteral("7"));
    EXPECT_EQ(f.w->pos(), placed);

    QPointer<kc::TfrmFastSplit> window(f.w);
    f.owner.reset(); // goes with its owner
    EXPECT_TRUE(window.isNull());
}

TEST(TfrmFastSplit, EnableControlTouchesOnlyTheFourButtons)
{
    Fixture f;
    f.w->EnableControl(false);
    EXPECT_TRUE(f.buttonsEnabled(false));
    for (const char *n : kStartFields)
        EXPECT_TRUE(f.field(n)->isEnabled());
    EXPECT_TRUE(f.find<QLineEdit>("edtInputFile")->isEnabled());
    f.w->EnableControl(true);
    EXPECT_TRUE(f.buttonsEnabled(true));
}

TEST(TfrmFastSplit, OpenDialogListsAviAndMpgFirstThenEachCopiedContainerInAnyCase)
{
    QTemporaryDir dir;
    for (const char *name : {"a.avi", "B.AVI", "c.mpg", "d.MpG", "e.mp4", "f.avi.txt", "g.MKV", "h.mov", "i.ts",
                             "j.m2ts", "k.webm", "l.flv", "m.3gp", "e2.m4v", "j2.MTS", "n.VOB", "o.wmv", "p.asf"}) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    Fixture f;
    auto *dialog = f.w->findChild<QFileDialog *>(QStringLiteral("OpenDlg"));
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->windowTitle().isEmpty() || dialog->windowTitle() == QStringLiteral("Open"));
    auto *combo = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->currentIndex(), 0);

    auto *model = dialog->findChild<QFileSystemModel *>();
    ASSERT_NE(model, nullptr);
    QSignalSpy loaded(model, &QFileSystemModel::directoryLoaded);
    dialog->setDirectory(dir.path());
    ASSERT_TRUE(loaded.count() > 0 || loaded.wait(5000));
    const QModelIndex root = model->index(dir.path());

    const struct {
        const char *shown;
        QStringList listed;
    } entries[] = {
        {"VideoFile(*.avi;*.mpg)", {"B.AVI", "a.avi", "c.mpg", "d.MpG"}},
        {"MP4 File(*.mp4;*.m4v)", {"e.mp4", "e2.m4v"}},
        {"Matroska File(*.mkv)", {"g.MKV"}},
        {"Quick Time File(*.mov)", {"h.mov"}},
        {"MPEG-TS File(*.ts;*.m2ts;*.mts)", {"i.ts", "j.m2ts", "j2.MTS"}},
        {"WebM File(*.webm)", {"k.webm"}},
        {"Flash Video File(*.flv)", {"l.flv"}},
        {"3GP File(*.3gp)", {"m.3gp"}},
        {"DVD VOB File(*.vob)", {"n.VOB"}},
        {"Media Player File(*.wmv;*.asf)", {"o.wmv", "p.asf"}},
    };
    ASSERT_EQ(combo->count(), int(std::size(entries)));
    for (int i = 0; i < combo->count(); ++i) {
        const auto &entry = entries[i];
        EXPECT_EQ(combo->itemText(i), QString::fromLatin1(entry.shown));
        dialog->selectNameFilter(dialog->nameFilters().at(i));
        // Files the filter hides are disabled rather than removed from the model.
        QStringList listed;
        const bool settled = QTest::qWaitFor(
            [&] {
                listed.clear();
                for (int r = 0; r < model->rowCount(root); ++r) {
                    const QModelIndex index = model->index(r, 0, root);
                    if (index.flags() & Qt::ItemIsEnabled)
                        listed << index.data().toString();
                }
                listed.sort();
                return listed == entry.listed;
            },
            5000);
        EXPECT_TRUE(settled) << entry.shown << ": " << listed.join(' ').toStdString();
    }
}

TEST(TfrmFastSplit, ADroppedFileIsProbedAsAChosenOneButNotWhileAJobRuns)
{
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("片段 drop.mp4"));
    kc::test::ClipRecipe clipRecipe;
    clipRecipe.seconds = 2.0;
    clipRecipe.width = 160;
    clipRecipe.height = 120;
    clipRecipe.audioCodec = QStringLiteral("aac");
    ASSERT_TRUE(kc::test::MakeClip(clip, clipRecipe));

    Fixture f;
    MessageRecorder messages;
    f.w->EnableControl(false); // as while a job runs
    EXPECT_FALSE(kc::test::DropFile(f.w, clip));
    QTest::qWait(20);
    EXPECT_TRUE(f.find<QLineEdit>("edtInputFile")->text().isEmpty());

    f.w->EnableControl(true);
    // Over a time field: the field keeps its number.
    EXPECT_TRUE(kc::test::DropFile(f.field("edtStartSecond"), clip));
    QTRY_COMPARE_WITH_TIMEOUT(f.find<QLineEdit>("edtInputFile")->text(), clip, 5000);
    EXPECT_NEAR(f.w->TotalTime(), 2.0, 0.15);
    EXPECT_EQ(f.field("edtStartSecond")->text(), QStringLiteral("0"));
    EXPECT_EQ(f.find<QLabel>("labFileTime")->text(), kc::FileTimeLabel(kc::DecodeSeconds(f.w->TotalTime())));
    EXPECT_TRUE(messages.entries().isEmpty()) << messages.texts().join('|').toStdString();
}

TEST(TfrmFastSplit, ProbeFillsLabelAndFieldsAndACancelChangesNothing)
{
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("片段 one.avi"));
    kc::test::ClipRecipe clipRecipe;
    clipRecipe.seconds = 3.0;
    ASSERT_TRUE(kc::test::MakeClip(clip, clipRecipe));

    Fixture f;
    MessageRecorder messages;
    f.setTimes({"1", "2", "3", "4"}, {"0", "0", "0", "0"});
    f.open(clip);
    EXPECT_TRUE(messages.entries().isEmpty()) << messages.texts().join('|').toStdString();
    EXPECT_EQ(f.find<QLineEdit>("edtInputFile")->text(), clip);
    EXPECT_NEAR(f.w->TotalTime(), 3.0, 0.15);
    const kc::TimeParts parts = kc::DecodeSeconds(f.w->TotalTime());
    EXPECT_EQ(f.find<QLabel>("labFileTime")->text(), kc::FileTimeLabel(parts));
    EXPECT_EQ(f.fieldTexts(kEndFields), (QStringList{QString::number(parts.hour), QString::number(parts.minute),
                                                     QString::number(parts.second), QString::number(parts.msec)}));
    EXPECT_EQ(f.fieldTexts(kStartFields), (QStringList{"0", "0", "0", "0"}));

    // A cancelled dialog leaves file, total time and fields alone.
    const double total = f.w->TotalTime();
    f.field("edtStartSecond")->setText(QStringLiteral("1"));
    f.open(QString());
    EXPECT_EQ(f.find<QLineEdit>("edtInputFile")->text(), clip);
    EXPECT_EQ(f.w->TotalTime(), total);
    EXPECT_EQ(f.field("edtStartSecond")->text(), QStringLiteral("1"));
    EXPECT_TRUE(messages.entries().isEmpty());

    // Not a media file: told so, and nothing of the earlier file stays.
    const QString junk = dir.filePath(QStringLiteral("junk.avi"));
    QFile file(junk);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4000, 'x'));
    file.close();
    f.open(junk);
    ASSERT_EQ(messages.entries().size(), 1);
    EXPECT_EQ(messages.entries()[0].kind, Kind::Info);
    EXPECT_EQ(messages.last(), QStringLiteral("无法识别的视频文件!\r") + junk);
    EXPECT_EQ(f.w->TotalTime(), 0.0);
    EXPECT_EQ(f.find<QLabel>("labFileTime")->text(), QStringLiteral("[0时0分0秒0毫秒]"));
    EXPECT_EQ(f.fieldTexts(kEndFields), (QStringList{"0", "0", "0", "0"}));
    EXPECT_EQ(f.fieldTexts(kStartFields), (QStringList{"0", "0", "0", "0"}));
    EXPECT_EQ(f.find<QLineEdit>("edtInputFile")->text(), junk);
}

TEST(TfrmFastSplit, ProbeWithoutTheLibraryReportsTheFile)
{
    Fixture f;
    kc::ResetMediaInfoBindingForTests();
    MessageRecorder messages;
    f.w->ProbeFile(QStringLiteral("/v/clip.avi"));
    EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("无法识别的视频文件!\r/v/clip.avi")});
    EXPECT_EQ(f.find<QLabel>("labFileTime")->text(), QStringLiteral("[0时0分0秒0毫秒]"));
    EXPECT_EQ(f.w->TotalTime(), 0.0);
}

TEST(TfrmFastSplit, OutputFolderComesFromTheFolderDialog)
{
    Fixture f;
    QLineEdit *output = f.find<QLineEdit>("edtOutputPath");
    QString title = QStringLiteral("unset");
    QString root = QStringLiteral("unset");
    QWidget *owner = nullptr;
    QString answer = QStringLiteral("/媒体/out");
    const kc::FolderChooser previous = kc::SetFolderChooser([&](QWidget *o, const QString &t, const QString &r) {
        owner = o;
        title = t;
        root = r;
        return answer;
    });
    f.button("btOutPath")->click();
    EXPECT_EQ(output->text(), QStringLiteral("/媒体/out/"));
    EXPECT_EQ(title, QStringLiteral("请选择输出目录"));
    EXPECT_TRUE(root.isEmpty());
    EXPECT_EQ(owner, output);

    answer = QStringLiteral("/"); // the root keeps its single slash
    f.button("btOutPath")->click();
    EXPECT_EQ(output->text(), QStringLiteral("/"));

    answer.clear(); // cancelled
    f.button("btOutPath")->click();
    EXPECT_EQ(output->text(), QStringLiteral("/"));
    kc::SetFolderChooser(previous);
}

TEST(BrowseForFolder, ReportsTheChoiceEndingInOneSlash)
{
    const struct {
        const char *chosen;
        bool ok;
        const char *path;
    } cases[] = {{"/tmp/a", true, "/tmp/a/"}, {"/tmp/a/", true, "/tmp/a/"}, {"/", true, "/"}, {"", false, ""}};
    for (const auto &c : cases) {
        const kc::FolderChooser previous =
            kc::SetFolderChooser([&](QWidget *, const QString &, const QString &) { return QString::fromUtf8(c.chosen); });
        QString path = QStringLiteral("stale");
        EXPECT_EQ(kc::BrowseForFolder(nullptr, QStringLiteral("t"), QString(), &path), c.ok) << c.chosen;
        EXPECT_EQ(path, QString::fromUtf8(c.path));
        kc::SetFolderChooser(previous);
    }
}

TEST(TfrmFastSplit, RangeRefusalsRunNoJob)
{
    const struct {
        std::array<QString, 4> start, end;
        QList<std::pair<Kind, QString>> messages;
    } cases[] = {
        {{"0", "0", "0", "0"}, {"0", "0", "0", "0"}, {{Kind::Info, "开始时间大于结束时间，请重新设置!"}}},
        {{"0", "0", "0", "500"}, {"0", "0", "0", "500"}, {{Kind::Info, "开始时间大于结束时间，请重新设置!"}}},
        {{"0", "0", "1", "0"}, {"0", "0", "0", "500"}, {{Kind::Info, "开始时间大于结束时间，请重新设置!"}}},
        // Nothing probed: the total time is 0, so an end past 1 s is refused.
        {{"0", "0", "0", "0"}, {"0", "0", "1", "1"}, {{Kind::Info, "结束时间大于视频总时间，请重新设置!"}}},
        {{"0", "0", "0", "0"}, {"0", "0", "75", "0"}, {{Kind::Info, "结束时间大于视频总时间，请重新设置!"}}},
        {{"-", "0", "0", "0"}, {"0", "0", "1", "0"},
         {{Kind::Plain, "时间设置有错!"}, {Kind::Info, "开始时间大于结束时间，请重新设置!"}}},
        {{"0", "0", "0", "500"}, {"0", "+", "1", "0"},
         {{Kind::Plain, "时间设置有错!"}, {Kind::Info, "开始时间大于结束时间，请重新设置!"}}},
    };
    Fixture f;
    MessageRecorder messages;
    QList<bool> enabledWhileShown;
    messages.setOnMessage([&](const MessageRecorder::Entry &) {
        enabledWhileShown << f.button("btSplit")->isEnabled();
    });
    for (const auto &c : cases) {
        messages.clear();
        enabledWhileShown.clear();
        f.setTimes(c.start, c.end);
        f.button("btSplit")->click();
        QList<std::pair<Kind, QString>> seen;
        for (const auto &e : messages.entries())
            seen << std::make_pair(e.kind, e.text);
        EXPECT_EQ(seen, c.messages) << c.start[3].toStdString() << " " << c.end[2].toStdString();
        // The time error comes before the buttons are locked, a refusal while they are.
        ASSERT_EQ(enabledWhileShown.size(), c.messages.size());
        for (int i = 0; i < c.messages.size(); ++i)
            EXPECT_EQ(enabledWhileShown[i], c.messages[i].first == Kind::Plain);
        EXPECT_FALSE(f.w->JobRunning());
        EXPECT_TRUE(f.buttonsEnabled(true));
        EXPECT_TRUE(f.w->LastCommandLine().isEmpty());
    }
}

TEST(TfrmFastSplit, AMissingEncoderShowsTheSystemTextAndFails)
{
    QTemporaryDir programFolder, out;
    kc::SetProgramFolder(programFolder.path() + QLatin1Char('/'));
    Fixture f;
    MessageRecorder messages;
    f.setOutputFolder(out.path());
    f.setTimes({"0", "0", "0", "0"}, {"0", "0", "1", "0"});
    ASSERT_TRUE(f.split());
    kc::SetProgramFolder(kc::test::BinDir());
    ASSERT_EQ(messages.entries().size(), 2) << messages.texts().join('|').toStdString();
    EXPECT_EQ(messages.entries()[0].kind, Kind::Plain);
    EXPECT_EQ(messages.entries()[0].text, QStringLiteral("No such file or directory"));
    EXPECT_EQ(messages.entries()[1].kind, Kind::Info);
    EXPECT_EQ(messages.entries()[1].text, QStringLiteral("分割失败!"));
    EXPECT_TRUE(f.buttonsEnabled(true));
    EXPECT_EQ(f.bar()->value(), 0);
    EXPECT_TRUE(QDir(out.path()).isEmpty());
}

TEST(TfrmFastSplit, RunsTheEncoderBesideTheProgramAndFollowsItsNotes)
{
    FakeEncoder encoder(R"(
for a in "$@"; do printf '%s\n' "$a"; done > "$OUT.args"
printf 'Pos:   1.0s\n'; sleep 0.3
printf 'Pos:   3.0s\n'; sleep 0.3
printf 'data' > "$OUT"
)");
    QTemporaryDir out;
    const QString folder = out.path() + QStringLiteral("/");
    // A path with blanks and quotes, which no re-split command line would survive.
    const QString input = out.filePath(QStringLiteral("视频 a \"b\".avi"));
    ASSERT_TRUE(kc::test::MakeClip(input));
    Fixture f;
    MessageRecorder messages;
    f.open(input);
    ASSERT_TRUE(messages.entries().isEmpty());
    f.setOutputFolder(out.path());
    f.setTimes({"0", "0", "0", "250"}, {"0", "0", "2", "250"});

    QList<int> barValues;
    QList<bool> lockedDuringRun;
    QObject::connect(f.bar(), &QProgressBar::valueChanged, [&](int v) {
        barValues << v;
        lockedDuringRun << f.buttonsEnabled(false);
    });
    struct Seen {
        int bar;
        bool enabled;
    };
    QList<Seen> atMessage;
    messages.setOnMessage([&](const MessageRecorder::Entry &) {
        atMessage << Seen{f.bar()->value(), f.buttonsEnabled(true)};
    });

    ASSERT_TRUE(f.split());
    EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("分割完成!")});
    ASSERT_EQ(atMessage.size(), 1);
    EXPECT_EQ(atMessage[0].bar, 0);
    EXPECT_TRUE(atMessage[0].enabled);
    // 1 s of 2 s, then a note past the length that the bar holds at 100.
    EXPECT_EQ(barValues, (QList<int>{50, 100, 0}));
    EXPECT_EQ(lockedDuringRun.mid(0, 2), (QList<bool>{true, true}));

    const QString output = folder + QStringLiteral("视频 a \"b\"_new.avi");
    EXPECT_TRUE(QFileInfo(output).isFile());
    kc::EncoderRequest expected{input, QStringLiteral("00:00:00.250"), QStringLiteral("00:00:02.000"), output};
    EXPECT_EQ(ReadLines(output + QStringLiteral(".args")), kc::EncoderArguments(expected));
    EXPECT_EQ(f.w->LastCommandLine(), kc::EncoderCommandLine(expected));

    // The next cut of the same file takes the next free name.
    messages.clear();
    ASSERT_TRUE(f.split());
    EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("分割完成!")});
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("视频 a \"b\"_new0.avi")).isFile());
}

TEST(TfrmFastSplit, AFailingEncoderIsReportedWithItsReason)
{
    FakeEncoder encoder("printf 'Pos:   0.5s\\n'\necho 'cannot read input' >&2\nexit 2\n");
    QTemporaryDir out;
    Fixture f;
    MessageRecorder messages;
    f.setOutputFolder(out.path());
    f.setTimes({"0", "0", "0", "0"}, {"0", "0", "1", "0"});
    ASSERT_TRUE(f.split());
    EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("分割失败!\ncannot read input")});
    EXPECT_EQ(messages.entries().value(0).kind, Kind::Info);
    EXPECT_TRUE(f.buttonsEnabled(true));
    EXPECT_EQ(f.bar()->value(), 0);
}

TEST(TfrmFastSplit, ExactCutPassesTheOptionAndTellsWhenItFellBackToTheKeyframe)
{
    // The note comes first, then enough progress notes to push it out of any short tail.
    FakeEncoder encoder("for a in \"$@\"; do echo \"$a\"; done > \"$OUT.args\"\n"
                        "echo 'FileEncoder: -exact: no exact cut for mjpeg video in avi; the piece starts at the "
                        "keyframe before the asked time' >&2\n"
                        "i=0; while [ $i -lt 400 ]; do printf 'Pos:   0.%ds\\n' $((i % 10)); i=$((i+1)); done\n"
                        "printf 'x' > \"$OUT\"\n");
    QTemporaryDir out;
    Fixture f;
    MessageRecorder messages;
    f.setOutputFolder(out.path());
    f.setTimes({"0", "0", "0", "0"}, {"0", "0", "1", "0"});
    QCheckBox *exact = f.find<QCheckBox>("chkExact");
    ASSERT_NE(exact, nullptr);
    EXPECT_FALSE(exact->isChecked());
    EXPECT_FALSE(exact->accessibleName().isEmpty());
    exact->setChecked(true);
    ASSERT_TRUE(f.split());
    ASSERT_EQ(messages.texts().size(), 1);
    EXPECT_TRUE(messages.texts()[0].startsWith(QStringLiteral("分割完成!\n")));
    EXPECT_TRUE(messages.texts()[0].contains(QStringLiteral("关键帧"))) << messages.texts()[0].toStdString();
    const QStringList args = ReadLines(out.path() + QStringLiteral("/_new.args"));
    EXPECT_TRUE(args.contains(QStringLiteral("-exact"))) << args.join(QLatin1Char(' ')).toStdString();

    // Unchecked: no option, and a plain "done".
    FakeEncoder quiet("for a in \"$@\"; do echo \"$a\"; done > \"$OUT.args\"\nprintf 'x' > \"$OUT\"\n");
    messages.clear();
    exact->setChecked(false);
    ASSERT_TRUE(f.split());
    EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("分割完成!")});
}

TEST(TfrmFastSplit, ClosingTheWindowOrTheProgramEndsTheEncoder)
{
    for (const bool destroyOwner : {false, true}) {
        FakeEncoder encoder("echo $$ > \"$OUT.pid\"\nprintf 'half' > \"$OUT\"\nprintf 'Pos:   0.6s\\n'\n"
                            "while :; do sleep 0.1; done\n");
        QTemporaryDir out;
        const QString output = out.path() + QStringLiteral("/_new");
        Fixture f;
        MessageRecorder messages;
        f.setOutputFolder(out.path());
        f.setTimes({"0", "0", "0", "0"}, {"0", "0", "1", "0"});
        f.w->BringUp();
        QSignalSpy moved(f.bar(), &QProgressBar::valueChanged);
        f.button("btSplit")->click();
        ASSERT_TRUE(moved.wait(5000));
        ASSERT_TRUE(QFileInfo::exists(output));
        ASSERT_TRUE(ProcessAlive(output + ".pid"));
        if (destroyOwner) {
            f.owner.reset();
        } else {
            f.w->close();
            EXPECT_FALSE(f.w->isVisible());
            EXPECT_FALSE(f.w->JobRunning());
            EXPECT_TRUE(f.buttonsEnabled(true));
            EXPECT_EQ(f.bar()->value(), 0);
        }
        EXPECT_FALSE(QFileInfo::exists(output)) << destroyOwner;
        EXPECT_FALSE(ProcessAlive(output + ".pid")) << destroyOwner;
        EXPECT_TRUE(messages.entries().isEmpty()) << messages.texts().join('|').toStdString();
    }
}

TEST(TfrmFastSplit, CutsARangeWithTheRealEncoder)
{
    ASSERT_TRUE(QFileInfo(kc::EncoderProgram()).isExecutable()) << "build the FileEncoder target";
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("源 clip.avi"));
    kc::test::ClipRecipe clipRecipe;
    clipRecipe.seconds = 4.0;
    ASSERT_TRUE(kc::test::MakeClip(clip, clipRecipe));
    const QString outFolder = dir.filePath(QStringLiteral("输出"));
    ASSERT_TRUE(QDir().mkpath(outFolder));

    Fixture f;
    MessageRecorder messages;
    f.open(clip);
    ASSERT_TRUE(messages.entries().isEmpty());
    ASSERT_NEAR(f.w->TotalTime(), 4.0, 0.15);
    f.setOutputFolder(outFolder);
    f.setTimes({"0", "0", "1", "0"}, {"0", "0", "3", "0"});
    QList<int> barValues;
    QObject::connect(f.bar(), &QProgressBar::valueChanged, [&](int v) { barValues << v; });

    ASSERT_TRUE(f.split(60000));
    EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("分割完成!")});
    for (int v : barValues)
        EXPECT_TRUE(v >= 0 && v <= 100) << v;
    EXPECT_EQ(f.bar()->value(), 0);
    const QString output = outFolder + QStringLiteral("/源 clip_new.avi");
    ASSERT_TRUE(QFileInfo(output).isFile());
    EXPECT_EQ(kc::test::ProbeValue(output, "stream=codec_name", "v:0"), QStringLiteral("mpeg4"));
    EXPECT_EQ(kc::test::ProbeValue(output, "stream=codec_name", "a:0"), QStringLiteral("mp3"));
    // Two seconds asked for; the cut starts at the keyframe at or before 1 s (GOP 12 at 25 fps).
    const double duration = kc::test::ProbeValue(output, "format=duration").toDouble();
    EXPECT_GE(duration, 1.9);
    EXPECT_LE(duration, 2.0 + 12.0 / 25.0 + 0.1);

    // A cut this small ends before the window's next read, and a read shows its first note
    // only, so whether the bar moved above is down to timing. What must hold is that every
    // note the encoder prints is one the window understands, the last one at 100 %.
    const QString again = dir.filePath(QStringLiteral("again.avi"));
    int code = -1;
    const QString notes = kc::test::RunTool(kc::EncoderProgram(),
        kc::EncoderArguments({clip, QStringLiteral("00:00:01.000"), QStringLiteral("00:00:02.000"), again}), &code);
    ASSERT_EQ(code, 0);
    const QStringList lines = notes.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    QList<int> percents;
    for (const QString &line : lines) {
        const std::optional<int> percent = kc::ProgressPercent(line.toLocal8Bit(), 2.0);
        ASSERT_TRUE(percent) << line.toStdString();
        percents << *percent;
    }
    EXPECT_EQ(percents.last(), 100);
}
