#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

namespace kc::test {

// The MD5 of every decoded picture of the first video stream, in showing order.
QStringList PictureChecksums(const QString &file);

// A decoded picture of the first video stream: when it shows, counted from the file's own
// start time, and whether it is a keyframe.
struct PictureTime {
    double seconds = 0;
    bool key = false;
};
std::vector<PictureTime> PictureTimes(const QString &file);

// The average PSNR (dB) that ffmpeg's psnr filter prints for a filter graph over the inputs
// ("-i" arguments and the like): 99 for identical pictures, -1 when it printed none.
double GraphPsnr(const QStringList &inputs, const QString &graph);

// PSNR (dB, all planes) of each picture of the piece against the source's pictures from
// number firstSourcePicture on, one value per picture of the piece; 99 for identical ones.
QList<double> PicturePsnr(const QString &piece, const QString &source, int firstSourcePicture);

} // namespace kc::test
