// Writes pictures of the main window under every skin (also with its controls locked, as
// during a split) and of the skin menu into the folder given as the first argument, then one
// of the open dialog with its list of file types dropped down (open-dialog.png). Run by hand
// to look at the skins or to renew the pictures of docs/:
//   QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x900x24" build/tests/skins_screenshots /tmp/skins
#include "app/qttranslations.h"
#include "app/skins/skinmenu.h"
#include "app/tfrmmain.h"
#include "common/programfolder.h"
#include "source/sourceloader.h"

#include <QAction>
#include <QApplication>
#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QScreen>
#include <QTimer>
#include <QMessageBox>
#include <QTemporaryDir>
#include <cstdio>

namespace {
bool save(const QPixmap &picture, const QString &path)
{
    if (picture.save(path))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The main window's open dialog over a folder of sample files, its file types dropped down.
bool shootOpenDialog(kc::TFrmMain &window, const QString &path)
{
    auto *loader = window.findChild<kc::SourceLoader *>();
    if (!loader)
        return false;
    QTemporaryDir samples;
    for (const char *name : {"假日.mp4", "会议.mkv", "旅行.mov", "电视录像.ts", "婚礼.avi", "说明.txt"}) {
        QFile file(samples.filePath(QString::fromUtf8(name)));
        if (!file.open(QIODevice::WriteOnly))
            return false;
    }
    QFileDialog *dialog = loader->OpenDlg();
    dialog->setDirectory(samples.path());
    dialog->resize(820, 440);
    dialog->show();
    settle(500);
    auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
    if (types)
        types->showPopup();
    settle(300);
    const QRect area = dialog->frameGeometry().united(types && types->view() ? types->view()->window()->frameGeometry() : QRect());
    const QPixmap picture = dialog->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    if (types)
        types->hidePopup();
    dialog->hide();
    return save(picture, path);
}
} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    kc::InstallQtChineseTranslations(&app);
    QApplication::setApplicationName(QStringLiteral("Kestrelcut"));
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    // Choosing skins writes Config.ini: keep it out of the real program folder.
    QTemporaryDir programFolder;
    kc::SetProgramFolder(programFolder.path());

    // Grabbed without being shown: the offscreen platform has no OpenGL for the preview.
    kc::TFrmMain window;
    kc::SkinMenu *skins = window.findChild<kc::SkinMenu *>();
    if (!skins) {
        std::fprintf(stderr, "the main window has no skin menu\n");
        return 1;
    }
    const kc::TSkinStore &store = skins->SkinStore();
    for (int i = 0; i < store.Count(); ++i) {
        skins->choose(i);
        const QString stem = QStringLiteral("%1/%2-%3").arg(folder).arg(i, 2, 10, QLatin1Char('0')).arg(store.SkinName(i));
        if (!save(window.grab(), stem + QStringLiteral(".png")))
            return 1;
        window.EnableControl(false);
        if (!save(window.grab(), stem + QStringLiteral("-locked.png")))
            return 1;
        window.EnableControl(true);
        if (QWidget *fastSplit = window.findChild<QWidget *>(QStringLiteral("TfrmFastSplit"))) {
            if (!save(fastSplit->grab(), stem + QStringLiteral("-fastsplit.png")))
                return 1;
        }
        QMessageBox box(QMessageBox::Information, QStringLiteral("提示"), QStringLiteral("分割完成!"), QMessageBox::Ok, &window);
        if (!save(box.grab(), stem + QStringLiteral("-box.png")))
            return 1;
        skins->pmSkin()->setActiveAction(skins->item((i + 1) % store.Count()));
        if (!save(skins->pmSkin()->grab(), stem + QStringLiteral("-menu.png")))
            return 1;
    }
    skins->choose(9); // the first start's skin
    return shootOpenDialog(window, folder + QStringLiteral("/open-dialog.png")) ? 0 : 1;
}
