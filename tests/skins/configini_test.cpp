#include "app/skins/configini.h"
#include "common/programfolder.h"
#include "settingsfolder.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>

using kc::test::SettingsFolder;

namespace {

struct ReadCase {
    const char *name;
    const char *content; // nullptr: no Config.ini at all
    int expected;
};

void PrintTo(const ReadCase &c, std::ostream *os) { *os << c.name; }

class ReadSkinIndexTest : public ::testing::TestWithParam<ReadCase>
{
};

TEST_P(ReadSkinIndexTest, ReadsTheStoredIndexOrNine)
{
    SettingsFolder folder;
    ASSERT_TRUE(folder.isValid());
    if (GetParam().content)
        folder.writeIni(GetParam().content);
    EXPECT_EQ(kc::ReadSkinIndex(), GetParam().expected);
    // Reading never creates or changes the file.
    EXPECT_EQ(folder.readIni(), QByteArray(GetParam().content ? GetParam().content : ""));
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReadSkinIndexTest,
    ::testing::Values(
        ReadCase{"NoFile", nullptr, 9},
        ReadCase{"EmptyFile", "", 9},
        ReadCase{"OtherSectionOnly", "[Other]\nSkin=3\n", 9},
        ReadCase{"NoSkinKey", "[Config]\nColour=3\n", 9},
        ReadCase{"Zero", "[Config]\nSkin=0\n", 0},
        ReadCase{"Ten", "[Config]\nSkin=10\n", 10},
        ReadCase{"Eleven", "[Config]\nSkin=11\n", 11},
        ReadCase{"MinusOne", "[Config]\nSkin=-1\n", -1},
        ReadCase{"BlanksAround", "[Config]\nSkin =  4  \n", 4},
        ReadCase{"CrLfLines", "[Config]\r\nSkin=7\r\n", 7},
        ReadCase{"AmongOtherKeys", "[Other]\nA=1\n[Config]\nX=2\nSkin=6\nZ=3\n", 6},
        ReadCase{"Text", "[Config]\nSkin=abc\n", 9},
        ReadCase{"EmptyValue", "[Config]\nSkin=\n", 9},
        ReadCase{"Fraction", "[Config]\nSkin=2.5\n", 9},
        ReadCase{"TrailingLetters", "[Config]\nSkin=5x\n", 9},
        ReadCase{"List", "[Config]\nSkin=1,2\n", 9},
        ReadCase{"BeyondThirtyTwoBits", "[Config]\nSkin=4294967298\n", 9},
        ReadCase{"Garbage", "\x01\x02\xff\xfe[Config\n", 9}),
    [](const ::testing::TestParamInfo<ReadCase> &info) { return std::string(info.param.name); });

TEST(WriteSkinIndex, CreatesTheFileWithSectionAndKey)
{
    SettingsFolder folder;
    ASSERT_TRUE(folder.isValid());
    QString error;
    ASSERT_TRUE(kc::WriteSkinIndex(4, &error)) << error.toStdString();
    const QByteArray text = folder.readIni();
    EXPECT_TRUE(text.startsWith("[Config]\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("\nSkin=4\n")) << text.toStdString();
    EXPECT_EQ(kc::ReadSkinIndex(), 4);
}

TEST(WriteSkinIndex, ReplacesTheValueAndKeepsTheRestOfTheFile)
{
    SettingsFolder folder;
    ASSERT_TRUE(folder.isValid());
    folder.writeIni("[Other]\nA=1\n[Config]\nSkin=abc\nZ=3\n");
    ASSERT_TRUE(kc::WriteSkinIndex(10));
    EXPECT_EQ(kc::ReadSkinIndex(), 10);
    const QSettings settings(folder.besideProgram(), QSettings::IniFormat);
    EXPECT_EQ(settings.value(QStringLiteral("Other/A")).toString(), QStringLiteral("1"));
    EXPECT_EQ(settings.value(QStringLiteral("Config/Z")).toString(), QStringLiteral("3"));
}

TEST(WriteSkinIndex, AFolderInTheFilesPlaceIsReportedWithItsPath)
{
    SettingsFolder folder;
    ASSERT_TRUE(folder.isValid());
    folder.blockIni();
    QString error;
    EXPECT_FALSE(kc::WriteSkinIndex(3, &error));
    EXPECT_EQ(error, QStringLiteral("Unable to write to ") + folder.besideProgram());
    EXPECT_EQ(kc::ReadSkinIndex(), 9);
    // Nothing went elsewhere instead: the setting stays beside the program.
    EXPECT_FALSE(QFile::exists(folder.userConfigHome()));
}

TEST(WriteSkinIndex, AReadOnlyFileIsReported)
{
    SettingsFolder folder;
    ASSERT_TRUE(folder.isValid());
    folder.writeIni("[Config]\nSkin=1\n");
    QFile::setPermissions(folder.besideProgram(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    if (QFile(folder.besideProgram()).open(QIODevice::ReadWrite))
        GTEST_SKIP() << "this user can write read-only files (root); the folder case covers the report";
    QString error;
    EXPECT_FALSE(kc::WriteSkinIndex(3, &error));
    EXPECT_EQ(error, QStringLiteral("Unable to write to ") + folder.besideProgram());
    EXPECT_EQ(folder.readIni(), QByteArray("[Config]\nSkin=1\n"));
}

TEST(ConfigIniPath, BesideTheProgramWhenItsFolderIsWritable)
{
    SettingsFolder folder;
    ASSERT_TRUE(folder.isValid());
    EXPECT_EQ(kc::ConfigIniPath(), folder.besideProgram());
}

TEST(ConfigIniPath, TheUsersFolderWhenTheProgramFolderCannotTakeIt)
{
    SettingsFolder folder;
    ASSERT_TRUE(folder.isValid());
    // A program folder that is not there stands for one that cannot be written: the
    // same rule decides both, and root passes any permission bits.
    kc::SetProgramFolder(folder.programFolder() + QStringLiteral("missing/"));
    const QString userIni = folder.userConfigHome() + QStringLiteral("/Kestrelcut/Config.ini");
    EXPECT_EQ(kc::ConfigIniPath(), userIni);

    EXPECT_EQ(kc::ReadSkinIndex(), 9);
    QString error;
    ASSERT_TRUE(kc::WriteSkinIndex(5, &error)) << error.toStdString();
    EXPECT_TRUE(QFile::exists(userIni));
    EXPECT_EQ(kc::ReadSkinIndex(), 5);
}

TEST(ConfigIniPath, TheUsersFolderWhenTheProgramFolderIsReadOnly)
{
    SettingsFolder folder;
    ASSERT_TRUE(folder.isValid());
    QFile::setPermissions(folder.programFolder(), QFile::ReadOwner | QFile::ExeOwner);
    const bool rootPassesPermissions = QFile(folder.programFolder() + QStringLiteral("probe")).open(QIODevice::WriteOnly);
    if (!rootPassesPermissions) {
        EXPECT_EQ(kc::ConfigIniPath(), folder.userConfigHome() + QStringLiteral("/Kestrelcut/Config.ini"));
        EXPECT_TRUE(kc::WriteSkinIndex(2));
        EXPECT_EQ(kc::ReadSkinIndex(), 2);
    }
    QFile::setPermissions(folder.programFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (rootPassesPermissions)
        GTEST_SKIP() << "this user can write into read-only folders (root)";
}

} // namespace
