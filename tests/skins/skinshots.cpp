// Writes a picture of the sample window under every skin (and one with its controls
// locked) into the folder given as the first argument. Run by hand to look at the skins:
//   QT_QPA_PLATFORM=offscreen build/tests/skins_screenshots /tmp/skins
#include "app/skins/skinmenu.h"
#include "samplewindow.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QPixmap>
#include <cstdio>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);

    kc::test::SampleWindow window;
    kc::SkinMenu skins(&window);
    kc::TSkinStore &store = skins.SkinStore();
    kc::TSkinData &data = skins.SkinData();
    window.show();
    for (int i = 0; i < store.Count(); ++i) {
        data.LoadFromCollection(store, i);
        for (bool locked : {false, true}) {
            window.lockAll(locked);
            QApplication::processEvents();
            const QString name = QStringLiteral("%1/%2-%3%4.png")
                                     .arg(folder)
                                     .arg(i, 2, 10, QLatin1Char('0'))
                                     .arg(store.SkinName(i), locked ? QStringLiteral("-locked") : QString());
            if (!window.grab().save(name)) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
                return 1;
            }
        }
        window.lockAll(false);

        skins.item(i)->setChecked(true);
        skins.pmSkin()->popup(QPoint(0, 0));
        skins.pmSkin()->setActiveAction(skins.item((i + 1) % store.Count()));
        QApplication::processEvents();
        const QString menuName = QStringLiteral("%1/%2-%3-menu.png").arg(folder).arg(i, 2, 10, QLatin1Char('0')).arg(store.SkinName(i));
        if (!skins.pmSkin()->grab().save(menuName)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(menuName));
            return 1;
        }
        skins.pmSkin()->hide();
        skins.item(i)->setChecked(false);
    }
    return 0;
}
