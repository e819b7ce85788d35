// Writes pictures of the main window under every skin (also with its controls locked, as
// during a split) and of the skin menu into the folder given as the first argument. Run by
// hand to look at the skins or to renew the pictures of docs/:
//   QT_QPA_PLATFORM=offscreen build/tests/skins_screenshots /tmp/skins
#include "app/skins/skinmenu.h"
#include "app/tfrmmain.h"
#include "common/programfolder.h"

#include <QAction>
#include <QApplication>
#include <QDir>
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
} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
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
    return 0;
}
