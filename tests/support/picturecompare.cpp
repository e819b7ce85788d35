#include "picturecompare.h"

#include "clips.h"

#include <QRegularExpression>

namespace kc::test {

QStringList PictureChecksums(const QString &file)
{
    const QString text = RunTool(QStringLiteral("ffmpeg"),
                                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), file,
                                  QStringLiteral("-map"), QStringLiteral("0:v:0"), QStringLiteral("-f"),
                                  QStringLiteral("framemd5"), QStringLiteral("-")});
    QStringList sums;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (!line.startsWith(QLatin1Char('#')))
            sums << line.section(QLatin1Char(','), -1).trimmed();
    }
    return sums;
}

std::vector<PictureTime> PictureTimes(const QString &file)
{
    const double start = ProbeValue(file, QStringLiteral("format=start_time")).toDouble();
    const QString text = RunTool(QStringLiteral("ffprobe"),
                                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                                  QStringLiteral("v:0"), QStringLiteral("-show_entries"),
                                  QStringLiteral("frame=best_effort_timestamp_time,key_frame"), QStringLiteral("-of"),
                                  QStringLiteral("csv=p=0"), file});
    std::vector<PictureTime> pictures;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList f = line.split(QLatin1Char(','));
        if (f.size() < 2)
            continue;
        PictureTime p;
        p.key = f[0].trimmed() == QLatin1String("1");
        p.seconds = f[1].trimmed().toDouble() - start;
        pictures.push_back(p);
    }
    return pictures;
}

double GraphPsnr(const QStringList &inputs, const QString &graph)
{
    QString err;
    RunTool(QStringLiteral("ffmpeg"),
            inputs + QStringList{QStringLiteral("-filter_complex"), graph, QStringLiteral("-f"), QStringLiteral("null"),
                                 QStringLiteral("-")},
            nullptr, &err);
    static const QRegularExpression average(QStringLiteral("average:([0-9.]+|inf)"));
    const QRegularExpressionMatch m = average.match(err);
    if (!m.hasMatch())
        return -1;
    return m.captured(1) == QLatin1String("inf") ? 99 : m.captured(1).toDouble();
}

QList<double> PicturePsnr(const QString &piece, const QString &source, int firstSourcePicture)
{
    // Both numbered from 0 by their order in one time base, so that neither file's
    // timestamps (nor their rounding) decide which pictures are compared.
    const QString graph = QStringLiteral("[0:v:0]settb=1/25,setpts=N[a];"
                                         "[1:v:0]trim=start_frame=%1,settb=1/25,setpts=N[b];"
                                         "[a][b]psnr=stats_file=-:shortest=1")
                              .arg(firstSourcePicture);
    const QString text = RunTool(QStringLiteral("ffmpeg"),
                                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), piece,
                                  QStringLiteral("-i"), source, QStringLiteral("-filter_complex"), graph,
                                  QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
    static const QRegularExpression value(QStringLiteral("psnr_avg:([0-9.]+|inf)"));
    QList<double> psnr;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = value.match(line);
        if (m.hasMatch())
            psnr << (m.captured(1) == QLatin1String("inf") ? 99.0 : m.captured(1).toDouble());
    }
    return psnr;
}

} // namespace kc::test
