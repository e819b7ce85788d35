#include "app/skins/configini.h"
#include "app/skins/skinmenu.h"
#include "app/tfrmmain.h"
#include "common/mediainfo.h"
#include "settingsfolder.h"
#include "support/messagerecorder.h"

#include <QAction>
#include <QApplication>
#include <QLibrary>
#include <QSettings>
#include <QToolButton>
#include <gtest/gtest.h>

using kc::test::MessageRecorder;
using kc::test::SettingsFolder;

namespace {

kc::SkinMenu *skinMenuOf(QWidget &window)
{
    return window.findChild<kc::SkinMenu *>();
}

QImage grabOf(QWidget &window, const char *name)
{
    QWidget *control = window.findChild<QWidget *>(QString::fromLatin1(name));
    return control ? window.grab(QRect(control->mapTo(&window, QPoint(0, 0)), control->size())).toImage() : QImage();
}

const char *const kTagged[] = {"btAddFile", "btSplitter", "btStop", "btSkin", "btHelp", "btTool", "PnlVideoEdit"};

TEST(MainWindowSkins, ThreeSkinsDifferWhileTheToolbarAndPreviewPanelKeepTheirLook)
{
    SettingsFolder folder;
    ASSERT_TRUE(folder.isValid());
    MessageRecorder messages;
    // Not shown: the offscreen platform has no OpenGL for the preview player, and flushing
    // a shown window to it fails. grab() paints the controls all the same.
    kc::TFrmMain window;
    kc::SkinMenu *menu = skinMenuOf(window);
    ASSERT_TRUE(menu);
    for (const char *name : kTagged)
        ASSERT_EQ(window.findChild<QWidget *>(QString::fromLatin1(name))->property("tag").toInt(), 99) << name;

    const int skins[] = {0, 2, 10}; // iTunes, xpskin, mxskin8
    QList<QImage> windows;
    QList<QList<QImage>> tagged, locked;
    for (bool lock : {false, true}) {
        window.EnableControl(!lock);
        for (int skin : skins) {
            menu->item(skin)->trigger();
            QList<QImage> looks;
            for (const char *name : kTagged)
                looks << grabOf(window, name);
            (lock ? locked : tagged) << looks;
            if (!lock)
                windows << window.grab().toImage();
        }
    }
    window.EnableControl(true);

    EXPECT_NE(windows[0], windows[1]);
    EXPECT_NE(windows[0], windows[2]);
    EXPECT_NE(windows[1], windows[2]);
    for (int s = 1; s < 3; ++s) {
        for (int c = 0; c < int(std::size(kTagged)); ++c) {
            EXPECT_EQ(tagged[s][c], tagged[0][c]) << kTagged[c] << " under skin " << skins[s];
            EXPECT_EQ(locked[s][c], locked[0][c]) << kTagged[c] << " locked, under skin " << skins[s];
        }
    }
    EXPECT_TRUE(messages.entries().isEmpty());
}

TEST(MainWindowSkins, TheFirstStartAppliesAndStoresMxskin7)
{
    SettingsFolder folder;
    ASSERT_TRUE(folder.isValid());
    MessageRecorder messages;
    kc::TFrmMain window;
    kc::SkinMenu *menu = skinMenuOf(window);
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu->checkedIndex(), 9);
    EXPECT_EQ(menu->SkinData().SkinName(), QStringLiteral("mxskin7"));
    const QSettings settings(folder.besideProgram(), QSettings::IniFormat);
    EXPECT_EQ(settings.value(QStringLiteral("Config/Skin")).toString(), QStringLiteral("9"));
    EXPECT_TRUE(messages.entries().isEmpty());
}

TEST(MainWindowSkins, AnUnwritableConfigIniIsReportedAndTheWindowIsStillMadeWhole)
{
    SettingsFolder folder;
    ASSERT_TRUE(folder.isValid());
    folder.blockIni();
    const bool boundBefore = kc::MediaInfo().New != nullptr;
    MessageRecorder messages;
    kc::TFrmMain window;

    EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("Unable to write to ") + folder.besideProgram()});
    kc::SkinMenu *menu = skinMenuOf(window);
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu->checkedIndex(), 9);
    EXPECT_EQ(qApp->styleSheet(), menu->SkinData().StyleSheet());
    // The steps after the restore ran: the MediaInfo library is bound.
    if (boundBefore || !QLibrary(QStringLiteral("mediainfo"), 0).load())
        GTEST_SKIP() << "cannot tell: the MediaInfo library was bound before or is not installed";
    EXPECT_NE(kc::MediaInfo().New, nullptr);
}

} // namespace
