#include "app/icons.h"
#include "app/startup.h"
#include "app/tfrmflash.h"
#include "app/tfrmmain.h"
#include "common/browseforfolder.h"
#include "common/programfolder.h"
#include "support/messagerecorder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

template <typename T = QWidget>
T *control(QWidget &w, const char *name)
{
    T *c = w.findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

// Records what the window asks the desktop to open.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

} // namespace

TEST(Splash, ClosesAboutASecondAfterItShowsAndSetsTheProgramFolder)
{
    const QString saved = kc::ProgramFolder();
    kc::SetProgramFolder(QStringLiteral("/nowhere"));
    QElapsedTimer clock;
    clock.start();
    kc::TFrmFlash splash;
    EXPECT_EQ(splash.size(), QSize(380, 242));
    EXPECT_EQ(kc::ProgramFolder(), QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    splash.exec();
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(splash.scriptExitCode(), -1); // no start-up script beside the tests
    kc::SetProgramFolder(saved);
}

TEST(ProgramIcon, TheDesktopIconAtTheSizesWindowsAsk)
{
    const QIcon icon = kc::ProgramIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.availableSizes(), (QList<QSize>{QSize(48, 48), QSize(256, 256)}));
    EXPECT_FALSE(icon.pixmap(32).isNull());
}

// Watches the splash go and notes whether the main window was already on screen then.
class SplashGoneWatcher : public QObject
{
public:
    bool splashHidden = false;
    bool mainWindowOnScreen = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Hide && qobject_cast<kc::TFrmFlash *>(watched) && !splashHidden) {
            splashHidden = true;
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (qobject_cast<kc::TFrmMain *>(w) && w->isVisible() && w->windowHandle()
                    && w->windowHandle()->isExposed())
                    mainWindowOnScreen = true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

TEST(Splash, TheMainWindowIsOnScreenBeforeTheSplashGoes)
{
    const QString saved = kc::ProgramFolder();
    SplashGoneWatcher watcher;
    qApp->installEventFilter(&watcher);
    std::unique_ptr<kc::TFrmMain> w = kc::ShowSplashThenMainWindow();
    qApp->removeEventFilter(&watcher);
    kc::SetProgramFolder(saved);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(watcher.splashHidden);
    EXPECT_TRUE(watcher.mainWindowOnScreen);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(QApplication::applicationName(), QStringLiteral("Kestrelcut"));
}

TEST(Splash, EscapeDoesNotCutTheStartUpShort)
{
    const QString saved = kc::ProgramFolder();
    QElapsedTimer clock;
    clock.start();
    kc::TFrmFlash splash;
    QTimer::singleShot(100, &splash, [&splash] { QTest::keyClick(&splash, Qt::Key_Escape); });
    splash.exec();
    EXPECT_GE(clock.elapsed(), 900);
    kc::SetProgramFolder(saved);
}

TEST(MainWindow, TitleSizeAndStartState)
{
    kc::TFrmMain w;
    w.show();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Kestrelcut 2.0"));
    EXPECT_EQ(w.size(), QSize(686, 482));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_EQ(control<QStackedWidget>(w, "PgCtl")->currentIndex(), 2);
    EXPECT_EQ(control<QStackedWidget>(w, "pgCtlSplitMode")->currentIndex(), 0);
    EXPECT_EQ(control<QLabel>(w, "pnlHint")->text(), QStringLiteral("提示："));
    EXPECT_EQ(control<QProgressBar>(w, "pgbHint")->value(), 0);
    EXPECT_TRUE(control<QRadioButton>(w, "RadBtVCD")->isChecked());
    EXPECT_TRUE(control<QRadioButton>(w, "radBtSplitCus")->isChecked());
    EXPECT_TRUE(control<QAbstractButton>(w, "btPrePlay")->isVisible());
    EXPECT_FALSE(control<QAbstractButton>(w, "btPrePause")->isVisible());
    EXPECT_TRUE(control<QLineEdit>(w, "edtOutput")->text().endsWith(QLatin1Char('/')));
    EXPECT_TRUE(control<QLineEdit>(w, "edtOutput")->isReadOnly());
}

TEST(MainWindow, RunsShownWithoutAGraphicsContext)
{
    // Headless runs have no OpenGL: the preview must still let the window live and paint.
    kc::TFrmMain w;
    w.show();
    QTest::qWait(300);
    const QImage picture = w.grab().toImage();
    EXPECT_EQ(picture.size(), QSize(686, 482));
    EXPECT_TRUE(w.isVisible());
}

TEST(MainWindow, VersionFileNamesTheCaption)
{
    QTemporaryDir dir;
    const QString saved = kc::ProgramFolder();
    kc::SetProgramFolder(dir.path());
    QFile ver(dir.filePath(QStringLiteral("Ver.ax")));
    ASSERT_TRUE(ver.open(QIODevice::WriteOnly));
    ver.write("2.5.1\n7\n");
    ver.close();
    {
        kc::TFrmMain w;
        EXPECT_EQ(w.windowTitle(), QStringLiteral("Kestrelcut 2.5.1"));
    }
    kc::SetProgramFolder(saved);
}

TEST(MainWindow, EveryCaptionedControlCarriesItsText)
{
    kc::TFrmMain w;
    const struct {
        const char *name;
        const char *text;
    } buttons[] = {
        {"btAddFile", "添加"}, {"btSplitter", "分割"}, {"btStop", "停止"}, {"btSkin", "换肤"}, {"btHelp", "帮助"},
        {"btTool", "AVI快速分割"}, {"btOutput", "输出路径"}, {"btSetStartTime", "读播放时间设为开始"},
        {"btSetEndTime", "读播放时间设为结束"}, {"radBtSplitCus", "自定义分割"}, {"radBtSplitAver", "平均分割"},
        {"radBtSplitTime", "按时间分割"}, {"RadBtAVI", "AVI"}, {"RadBtMPEG", "MPEG"}, {"RadBtVCD", "VCD"},
        {"RadBtSVCD", "SVCD"}, {"RadBtDVD", "DVD"}, {"RadBtWMV", "WMV"}, {"ckbAVIVideoEncoder", "不压缩视频"},
        {"btConfig", "配置"}, {"ckbAVIAudioEncoder", "不压缩音频"}, {"RadBtMpg1", "MPEG－I"}, {"RadBtMpg2", "MPEG－II"},
        {"RadBtPal", "PAL　制式"}, {"RadBtNtsc", "NTSC 制式"}, {"RadBtMode2", "按原视频的长、宽比例进行缩放"},
        {"RadBtMode0", "非比例缩放，适应输出视频尺寸"}, {"chkCustomProfile", "自定义编码："},
    };
    for (const auto &b : buttons) {
        if (auto *c = control<QAbstractButton>(w, b.name)) {
            EXPECT_EQ(c->text(), QString::fromUtf8(b.text)) << b.name;
        }
    }
    EXPECT_EQ(control<QGroupBox>(w, "gpBoxSplitMode")->title(), QStringLiteral("视频分割方式"));
    EXPECT_EQ(control<QGroupBox>(w, "GroupBox1")->title(), QStringLiteral("输出格式设置"));
    EXPECT_EQ(control<QLabel>(w, "Label18")->text(), QStringLiteral("选择输出路径："));
    EXPECT_EQ(control<QLabel>(w, "Label1")->text(), QStringLiteral("选择输出格式："));
    EXPECT_EQ(control<QAbstractButton>(w, "btSetStartTime")->toolTip(), QStringLiteral("把当前播放时间设为开始时间"));
    EXPECT_EQ(control<QComboBox>(w, "cboPicSize")->itemText(7), QStringLiteral("240×180"));
    EXPECT_EQ(control<QComboBox>(w, "cboCusWMV")->count(), 6);
    EXPECT_FALSE(control<QComboBox>(w, "cboCusWMV")->isEnabled());
    // Controls without a caption of their own are named for screen readers.
    for (const char *name : {"btPrePlay", "btPrePause", "btPreStop", "TrackBar", "edtStartHour", "edtEndMSec",
                             "snEditSplitNum", "EditSplitTime", "cmbAVIVideoEncoder", "cboWMV", "edtOutput"}) {
        if (QWidget *c = control(w, name)) {
            EXPECT_FALSE(c->accessibleName().isEmpty()) << name;
        }
    }
    for (const char *name : {"btPrePlay", "btPrePause", "btPreStop", "btAddFile", "btTool"}) {
        if (QWidget *c = control(w, name)) {
            EXPECT_FALSE(c->toolTip().isEmpty()) << name;
        }
    }
}

TEST(MainWindow, EnableControlLocksTheSplitWorkflowOnly)
{
    kc::TFrmMain w;
    w.show();
    QWidget *btConfig = control(w, "btConfig");
    QWidget *cboCusWMV = control(w, "cboCusWMV"); // disabled on its own at start
    w.EnableControl(false);
    for (const char *name : {"btAddFile", "btSplitter", "pnlOutSet", "edtOutput", "btOutput", "gpBoxSplitMode",
                             "pnlOutType", "pnlMoviePlay"})
        EXPECT_FALSE(control(w, name)->isEnabled()) << name;
    EXPECT_FALSE(control(w, "MoviePlayer")->isVisible());
    EXPECT_FALSE(btConfig->isEnabled()); // inside a locked container
    for (const char *name : {"btStop", "btSkin", "btHelp", "btTool"})
        EXPECT_TRUE(control(w, name)->isEnabled()) << name;

    w.EnableControl(true);
    for (const char *name : {"btAddFile", "btSplitter", "pnlOutSet", "edtOutput", "btOutput", "gpBoxSplitMode",
                             "pnlOutType", "pnlMoviePlay"})
        EXPECT_TRUE(control(w, name)->isEnabled()) << name;
    EXPECT_TRUE(control(w, "MoviePlayer")->isVisible());
    EXPECT_TRUE(btConfig->isEnabled());
    EXPECT_FALSE(cboCusWMV->isEnabled()); // its own state survives the lock
}

TEST(MainWindow, HelpOpensTheChineseDocumentBesideTheProgram)
{
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
    kc::TFrmMain w;
    control<QAbstractButton>(w, "btHelp")->click();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(recorder.opened.size(), 1);
    const QString path = recorder.opened.first().toLocalFile();
    EXPECT_EQ(path, kc::ProgramFolder() + QStringLiteral("help.html"));
    QFile doc(path);
    ASSERT_TRUE(doc.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(doc.readAll()).contains(QStringLiteral("分割")));
}

TEST(MainWindow, HelpSaysWhereTheDocumentIsWhenItCannotBeOpened)
{
    QTemporaryDir emptyFolder;
    const QString saved = kc::ProgramFolder();
    const struct {
        const char *name;
        QString folder;
        bool opener; // false: nothing on the desktop opens the document
        QString message;
    } cases[] = {
        {"no program opens it", saved, false, QStringLiteral("无法打开帮助文档，请用浏览器打开：\n")},
        {"the document is missing", emptyFolder.path() + QLatin1Char('/'), true,
         QStringLiteral("找不到帮助文档：\n")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        kc::test::MessageRecorder messages;
        UrlRecorder recorder;
        // A handler whose method does not exist makes the desktop report failure.
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, c.opener ? "open" : "noSuchMethod");
        kc::SetProgramFolder(c.folder);
        kc::TFrmMain w;
        control<QAbstractButton>(w, "btHelp")->click();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        ASSERT_EQ(messages.texts().size(), 1);
        EXPECT_EQ(messages.last(), c.message + QDir::toNativeSeparators(c.folder + QStringLiteral("help.html")));
        EXPECT_TRUE(recorder.opened.isEmpty());
    }
    kc::SetProgramFolder(saved);
}

TEST(MainWindow, OutputFolderComesFromTheFolderDialog)
{
    kc::TFrmMain w;
    auto *edtOutput = control<QLineEdit>(w, "edtOutput");
    const QString before = edtOutput->text();
    QString askedTitle;
    auto previous = kc::SetFolderChooser([&](QWidget *, const QString &title, const QString &) {
        askedTitle = title;
        return QString(); // cancelled
    });
    control<QAbstractButton>(w, "btOutput")->click();
    EXPECT_EQ(askedTitle, QStringLiteral("请选择输出目录"));
    EXPECT_EQ(edtOutput->text(), before);

    kc::SetFolderChooser([](QWidget *, const QString &, const QString &) { return QStringLiteral("/srv/剪辑 out"); });
    control<QAbstractButton>(w, "btOutput")->click();
    EXPECT_EQ(edtOutput->text(), QStringLiteral("/srv/剪辑 out/"));
    kc::SetFolderChooser([](QWidget *, const QString &, const QString &) { return QStringLiteral("/"); });
    control<QAbstractButton>(w, "btOutput")->click();
    EXPECT_EQ(edtOutput->text(), QStringLiteral("/"));
    kc::SetFolderChooser(previous);
}

#include "mainwindow_test.moc"
