#include "app/skins/configini.h"
#include "app/skins/skinmenu.h"
#include "settingsfolder.h"
#include "support/messagerecorder.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QSettings>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

using kc::test::MessageRecorder;
using kc::test::SettingsFolder;

namespace {

QString appliedSheet()
{
    return qApp->styleSheet();
}

// The stored value as QSettings reads it, or "<none>".
QString storedValue(const SettingsFolder &folder)
{
    const QSettings settings(folder.besideProgram(), QSettings::IniFormat);
    return settings.value(QStringLiteral("Config/Skin"), QStringLiteral("<none>")).toString();
}

struct RestoreCase {
    const char *name;
    const char *content;  // nullptr: first start, no Config.ini
    int ticked;           // -1: no entry ticked
    const char *skin;     // the skin on the application afterwards
    const char *stored;   // Skin= in the file afterwards
};

void PrintTo(const RestoreCase &c, std::ostream *os) { *os << c.name; }

class RestoreSavedSkinTest : public ::testing::TestWithParam<RestoreCase>
{
};

TEST_P(RestoreSavedSkinTest, AppliesTicksAndStoresOnlyIndexesOfTheMenu)
{
    const RestoreCase &c = GetParam();
    SettingsFolder folder;
    ASSERT_TRUE(folder.isValid());
    if (c.content)
        folder.writeIni(c.content);
    MessageRecorder messages;
    QWidget window;
    kc::SkinMenu menu(&window);
    EXPECT_EQ(menu.checkedIndex(), -1) << "nothing is ticked before the restore";

    menu.RestoreSavedSkin();

    EXPECT_EQ(menu.checkedIndex(), c.ticked);
    EXPECT_EQ(menu.SkinData().SkinName(), QString::fromLatin1(c.skin));
    EXPECT_EQ(appliedSheet(), menu.SkinData().StyleSheet());
    EXPECT_TRUE(messages.entries().isEmpty()) << messages.last().toStdString();
    if (c.ticked < 0)
        EXPECT_EQ(folder.readIni(), QByteArray(c.content)) << "an index outside the menu keeps the file";
    else
        EXPECT_EQ(storedValue(folder), QString::fromLatin1(c.stored));
}

INSTANTIATE_TEST_SUITE_P(
    Files, RestoreSavedSkinTest,
    ::testing::Values(
        RestoreCase{"FirstStart", nullptr, 9, "mxskin7", "9"},
        RestoreCase{"Zero", "[Config]\nSkin=0\n", 0, "iTunes", "0"},
        RestoreCase{"Two", "[Config]\nSkin=2\n", 2, "xpskin", "2"},
        RestoreCase{"Ten", "[Config]\nSkin=10\n", 10, "mxskin8", "10"},
        RestoreCase{"Eleven", "[Config]\nSkin=11\n", -1, "xpskin", nullptr},
        RestoreCase{"MinusOne", "[Config]\nSkin=-1\n", -1, "xpskin", nullptr},
        RestoreCase{"NotAnInteger", "[Config]\nSkin=blue\n", 9, "mxskin7", "9"}),
    [](const ::testing::TestParamInfo<RestoreCase> &info) { return std::string(info.param.name); });

TEST(SkinMenu, HasTheElevenEntriesInMenuOrder)
{
    struct Row {
        const char *objectName;
        const char *caption;
    };
    const Row rows[] = {
        {"pm2iTunes", "iTunes"},   {"pm2maxos", "macos"},     {"pm2xp", "xpskin"},
        {"pm2mxskin1", "mxskin1"}, {"pm2mxskin2", "mxskin2"}, {"pm2mxskin3", "mxskin3"},
        {"pm2mxskin4", "mxskin4"}, {"pm2mxskin5", "mxskin5"}, {"pm2mxskin6", "mxskin6"},
        {"pm2mxskin7", "mxskin7"}, {"pm2mxskin8", "mxskin8"},
    };
    SettingsFolder folder;
    QWidget window;
    kc::SkinMenu menu(&window);
    ASSERT_EQ(menu.pmSkin()->objectName(), QStringLiteral("pmSkin"));
    const QList<QAction *> actions = menu.pmSkin()->actions();
    ASSERT_EQ(actions.size(), int(std::size(rows)));
    ASSERT_EQ(menu.SkinStore().Count(), int(std::size(rows)));
    for (int i = 0; i < actions.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(actions[i], menu.item(i));
        EXPECT_EQ(actions[i]->objectName(), QString::fromLatin1(rows[i].objectName));
        EXPECT_EQ(actions[i]->text(), QString::fromLatin1(rows[i].caption));
        EXPECT_TRUE(actions[i]->isCheckable());
        EXPECT_FALSE(actions[i]->isChecked());
        // The store item behind the entry carries the same name.
        EXPECT_EQ(menu.SkinStore().SkinName(i), QString::fromLatin1(rows[i].caption));
        EXPECT_EQ(menu.SkinStore().ItemName(i), QStringLiteral("SkinItem%1").arg(i));
    }
    // Building the menu writes nothing.
    EXPECT_TRUE(folder.readIni().isEmpty());
}

TEST(SkinMenu, EachEntryAppliesTicksAndStoresItsOwnSkin)
{
    SettingsFolder folder;
    MessageRecorder messages;
    QWidget window;
    kc::SkinMenu menu(&window);
    for (int i = 0; i < menu.itemCount(); ++i) {
        SCOPED_TRACE(i);
        menu.item(i)->trigger();
        EXPECT_EQ(menu.checkedIndex(), i);
        for (int j = 0; j < menu.itemCount(); ++j)
            EXPECT_EQ(menu.item(j)->isChecked(), i == j) << "entry " << j;
        EXPECT_EQ(menu.SkinData().SkinName(), menu.SkinStore().SkinName(i));
        EXPECT_TRUE(appliedSheet().startsWith(menu.SkinStore().StyleSheet(i)));
        EXPECT_EQ(kc::ReadSkinIndex(), i);
    }
    EXPECT_TRUE(messages.entries().isEmpty());
}

TEST(SkinMenu, ChoosingTheTickedEntryAgainKeepsItTickedAndRewritesTheSameValue)
{
    SettingsFolder folder;
    QWidget window;
    kc::SkinMenu menu(&window);
    menu.pm2mxskin3Click();
    QFile::remove(folder.besideProgram());
    menu.item(5)->trigger(); // a checkable entry unticks itself first when clicked
    EXPECT_EQ(menu.checkedIndex(), 5);
    EXPECT_EQ(storedValue(folder), QStringLiteral("5"));
    EXPECT_EQ(menu.SkinData().SkinName(), QStringLiteral("mxskin3"));
}

TEST(SkinMenu, AFileThatCannotBeWrittenIsReportedAndTheSkinStays)
{
    SettingsFolder folder;
    ASSERT_TRUE(folder.isValid());
    folder.blockIni();
    MessageRecorder messages;
    QWidget window;
    kc::SkinMenu menu(&window);

    menu.RestoreSavedSkin(); // reads 9 (nothing readable), applies it, fails to store it

    ASSERT_EQ(messages.entries().size(), 1);
    EXPECT_EQ(messages.entries()[0].kind, kc::MessageKind::Plain);
    EXPECT_EQ(messages.entries()[0].text, QStringLiteral("Unable to write to ") + folder.besideProgram());
    EXPECT_EQ(menu.checkedIndex(), 9);
    EXPECT_EQ(menu.SkinData().SkinName(), QStringLiteral("mxskin7"));
    EXPECT_EQ(appliedSheet(), menu.SkinData().StyleSheet());

    // A later choice goes the same way: applied and ticked, then reported.
    messages.clear();
    EXPECT_FALSE(menu.choose(1));
    EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("Unable to write to ") + folder.besideProgram()});
    EXPECT_EQ(menu.checkedIndex(), 1);
    EXPECT_EQ(menu.SkinData().SkinName(), QStringLiteral("macos"));
}

TEST(SkinMenu, TheSkinButtonPopsTheMenuUpAtTheCursor)
{
    SettingsFolder folder;
    QWidget window;
    window.resize(300, 200);
    window.show();
    kc::SkinMenu menu(&window);
    const QPoint cursor(140, 90);
    QCursor::setPos(cursor);

    menu.btSkinClick();

    ASSERT_TRUE(menu.pmSkin()->isVisible());
    EXPECT_EQ(menu.pmSkin()->geometry().topLeft(), cursor);
    // Closing it without a choice changes nothing.
    QTest::keyClick(menu.pmSkin(), Qt::Key_Escape);
    EXPECT_FALSE(menu.pmSkin()->isVisible());
    EXPECT_EQ(menu.checkedIndex(), -1);
    EXPECT_EQ(menu.SkinData().SkinName(), QStringLiteral("xpskin"));
    EXPECT_TRUE(folder.readIni().isEmpty());
}

TEST(SkinMenu, OutOfRangeChoicesDoNothing)
{
    SettingsFolder folder;
    QWidget window;
    kc::SkinMenu menu(&window);
    const QString before = appliedSheet();
    EXPECT_FALSE(menu.choose(-1));
    EXPECT_FALSE(menu.choose(11));
    EXPECT_EQ(menu.checkedIndex(), -1);
    EXPECT_EQ(appliedSheet(), before);
    EXPECT_TRUE(folder.readIni().isEmpty());
}

} // namespace
