// The desktop entry and icon that `cmake --install` lays out, so that menus and "Open with"
// list the program for the files it opens.
#include "source/sourceload.h"
#include "support/clips.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QMimeDatabase>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class DesktopEntry : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        prefix = new QTemporaryDir;
        int code = -1;
        QString errors;
        kc::test::RunTool(QStringLiteral(KC_CMAKE_COMMAND),
                          {QStringLiteral("--install"), QStringLiteral(KC_BUILD_DIR), QStringLiteral("--prefix"),
                           prefix->path(), QStringLiteral("--component"), QStringLiteral("desktop")},
                          &code, &errors);
        installed = code == 0;
        if (!installed)
            std::fprintf(stderr, "cmake --install failed: %s\n", qPrintable(errors));
    }
    static void TearDownTestSuite()
    {
        delete prefix;
        prefix = nullptr;
    }
    static QString file(const QString &relative) { return prefix->filePath(relative); }
    static QString entryPath() { return file(QStringLiteral("share/applications/kestrelcut.desktop")); }

    // The keys of the [Desktop Entry] group, as written (values not unescaped).
    static QMap<QString, QString> entryKeys()
    {
        QMap<QString, QString> keys;
        QFile f(entryPath());
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
            return keys;
        for (const QString &line : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'))) {
            const qsizetype eq = line.indexOf(QLatin1Char('='));
            if (eq > 0 && !line.startsWith(QLatin1Char('#')))
                keys.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
        }
        return keys;
    }

    static inline QTemporaryDir *prefix = nullptr;
    static inline bool installed = false;
};

TEST_F(DesktopEntry, InstallsAValidEntryThatStartsTheProgramWithTheFile)
{
    ASSERT_TRUE(installed);
    ASSERT_TRUE(QFile::exists(entryPath()));
    ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate")).isEmpty())
        << "desktop-file-validate is missing: scripts/install-deps.sh installs desktop-file-utils";
    int code = -1;
    QString errors;
    const QString said = kc::test::RunTool(QStringLiteral("desktop-file-validate"), {entryPath()}, &code, &errors);
    EXPECT_EQ(code, 0) << qPrintable(said + errors);
    EXPECT_TRUE((said + errors).trimmed().isEmpty()) << qPrintable(said + errors);

    const QMap<QString, QString> keys = entryKeys();
    EXPECT_EQ(keys.value(QStringLiteral("Type")), QStringLiteral("Application"));
    EXPECT_EQ(keys.value(QStringLiteral("Exec")), QStringLiteral("kestrelcut %f"));
    EXPECT_EQ(keys.value(QStringLiteral("Icon")), QStringLiteral("kestrelcut"));
    EXPECT_TRUE(keys.value(QStringLiteral("Categories")).startsWith(QStringLiteral("AudioVideo;Video;")));
    for (const char *key : {"Name", "Name[zh_CN]", "Comment", "Comment[zh_CN]"})
        EXPECT_FALSE(keys.value(QString::fromLatin1(key)).isEmpty()) << key;
}

// Every kind of file the open dialog offers is one the entry claims, so that "Open with"
// lists the program for it (a .dat has no type of its own).
TEST_F(DesktopEntry, ClaimsTheTypeOfEveryFormatTheOpenDialogOffers)
{
    ASSERT_TRUE(installed);
    const QStringList claimed =
        entryKeys().value(QStringLiteral("MimeType")).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    ASSERT_FALSE(claimed.isEmpty());
    const QMimeDatabase types;
    const QString all = kc::SourceFileFilters().first().patterns;
    int known = 0;
    for (const QString &pattern : all.split(QLatin1Char(';'))) {
        const QString name = QStringLiteral("clip") + pattern.mid(1);
        QStringList candidates;
        for (const QMimeType &type : types.mimeTypesForFileName(name)) {
            candidates << type.name() << type.aliases();
        }
        if (candidates.isEmpty())
            continue; // no type is known for it
        ++known;
        bool covered = false;
        for (const QString &c : candidates)
            covered = covered || claimed.contains(c);
        EXPECT_TRUE(covered) << qPrintable(pattern + QStringLiteral(": ") + candidates.join(QLatin1Char(' ')));
    }
    EXPECT_GE(known, 15) << "the system's MIME database knows too few video types to tell";
}

TEST_F(DesktopEntry, InstallsTheIconInTheHicolorTheme)
{
    ASSERT_TRUE(installed);
    const QString svg = file(QStringLiteral("share/icons/hicolor/scalable/apps/kestrelcut.svg"));
    QFile f(svg);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("<svg"));
    for (int size : {48, 256}) {
        const QImage png(file(QStringLiteral("share/icons/hicolor/%1x%1/apps/kestrelcut.png").arg(size)));
        EXPECT_EQ(png.size(), QSize(size, size)) << size;
        EXPECT_TRUE(png.hasAlphaChannel()) << size;
    }
}

} // namespace
