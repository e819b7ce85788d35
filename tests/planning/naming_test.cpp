#include "split/naming.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

constexpr int kMpeg1 = 0;
constexpr int kVcdPal = 1;
constexpr int kAvi = 8;
constexpr int kWmv = 9;

} // namespace

TEST(Naming, OutputPaths)
{
    const struct {
        const char *source;
        kc::TSplitMode mode;
        int i;
        const char *folder;
        int outType;
        QSet<QString> existing;
        const char *expected;
    } cases[] = {
        {"/videos/trip.2010.avi", kc::smCustom, 0, "/out/", kVcdPal, {}, "/out/trip.2010_new0.mpg"},
        {"/videos/trip.2010.avi", kc::smCustom, 0, "/out/", kVcdPal,
         {QStringLiteral("/out/trip.2010_new0.mpg")}, "/out/trip.2010_new1.mpg"},
        {"/videos/trip.2010.avi", kc::smCustom, 0, "/out/", kVcdPal,
         {QStringLiteral("/out/trip.2010_new0.mpg"), QStringLiteral("/out/trip.2010_new1.mpg")},
         "/out/trip.2010_new2.mpg"},
        // Another extension with the same number does not take the number.
        {"/videos/trip.2010.avi", kc::smCustom, 0, "/out/", kAvi,
         {QStringLiteral("/out/trip.2010_new0.mpg")}, "/out/trip.2010_new0.avi"},
        {"/videos/trip.2010.avi", kc::smAverage, 3, "/out/", kWmv,
         {QStringLiteral("/out/trip.2010_new(3).wmv")}, "/out/trip.2010_new(3).wmv"},
        {"/videos/trip.2010.avi", kc::smTime, 12, "/out/", kMpeg1, {}, "/out/trip.2010_new(12).mpg"},
        {"/videos/trip.2010.avi", kc::smAverage, 1, "/out", kAvi, {}, "/out/trip.2010_new(1).avi"},
        {"/videos/clip", kc::smCustom, 0, "/out/", kMpeg1, {}, "/out/clip_new0.mpg"},
        {"/videos/trip.avi", kc::smAverage, 1, " \t/my out/\n ", kAvi, {}, "/my out/trip_new(1).avi"},
        // "\" and ":" are ordinary characters of a Linux file name.
        {"/videos/a\\b:c.avi", kc::smAverage, 2, "/out/", kAvi, {}, "/out/a\\b:c_new(2).avi"},
        {"/视频/旅行.mp4", kc::smAverage, 2, "/输出", kWmv, {}, "/输出/旅行_new(2).wmv"},
        // No folder given: beside the source rather than in the file-system root.
        {"/videos/trip.avi", kc::smAverage, 1, "  ", kAvi, {}, "/videos/trip_new(1).avi"},
        {"trip.avi", kc::smAverage, 1, "", kAvi, {}, "trip_new(1).avi"},
    };
    for (const auto &c : cases) {
        const QSet<QString> existing = c.existing;
        const QString path = kc::SetFileName(QString::fromUtf8(c.source), c.mode, c.i,
                                             QString::fromUtf8(c.folder), c.outType,
                                             [&](const QString &p) { return existing.contains(p); });
        EXPECT_EQ(path, QString::fromUtf8(c.expected)) << c.source << " " << c.folder;
    }
}

TEST(Naming, ExtensionOfEachOutputType)
{
    const char *expected[] = {".mpg", ".mpg", ".mpg", ".mpg", ".mpg",
                              ".mpg", ".mpg", ".mpg", ".avi", ".wmv"};
    for (int type = 0; type < 10; ++type)
        EXPECT_EQ(kc::OutputExtension(type), QString::fromLatin1(expected[type])) << type;
}

TEST(Naming, CustomCutSkipsEverythingAlreadyOnDisk)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path() + QLatin1Char('/');
    QFile file(folder + QStringLiteral("trip_new0.avi"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("trip_new1.avi")));
    // A link to nothing is still a name in use: writing through it would create its target.
    ASSERT_TRUE(QFile::link(folder + QStringLiteral("nowhere"), folder + QStringLiteral("trip_new2.avi")));

    EXPECT_EQ(kc::SetFileName(QStringLiteral("/videos/trip.avi"), kc::smCustom, 0, folder, kAvi),
              folder + QStringLiteral("trip_new3.avi"));
}
