#include "app/version.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
QString writeFile(const QTemporaryDir &dir, const QByteArray &bytes)
{
    const QString path = dir.filePath(QStringLiteral("Ver.ax"));
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(bytes);
    return path;
}

QByteArray utf16WithBom(const QString &text)
{
    QByteArray bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    return bytes;
}
} // namespace

TEST(ReadVersion, FirstLineOfDigitsAndStopsElseDefault)
{
    const struct {
        QByteArray contents;
        const char *version;
    } cases[] = {
        {"2.5.1", "2.5.1"},
        {"2.5.1\r\nsomething else", "2.5.1"},
        {"3.0\rx", "3.0"},
        {"3.1\n", "3.1"},
        {"...", "..."},
        {"2.5 ", "2.0"},
        {"2.5a", "2.0"},
        {" 2.5", "2.0"},
        {"", "2.0"},
        {"\n2.5", "2.0"},
        {"\xEF\xBB\xBF" "4.2", "4.2"},
        {utf16WithBom(QStringLiteral("5.0\r\n1")), "5.0"},
        {utf16WithBom(QStringLiteral("五.0")), "2.0"},
    };
    for (const auto &c : cases) {
        QTemporaryDir dir;
        EXPECT_EQ(kc::ReadVersion(writeFile(dir, c.contents)), QString::fromLatin1(c.version))
            << c.contents.toStdString();
    }
}

TEST(ReadVersion, MissingOrUnreadableFileGivesDefault)
{
    QTemporaryDir dir;
    EXPECT_EQ(kc::ReadVersion(dir.filePath(QStringLiteral("Ver.ax"))), QStringLiteral("2.0"));
    // A folder where the file should be cannot be read as one.
    QDir(dir.path()).mkdir(QStringLiteral("Ver.ax"));
    EXPECT_EQ(kc::ReadVersion(dir.filePath(QStringLiteral("Ver.ax"))), QStringLiteral("2.0"));
}
