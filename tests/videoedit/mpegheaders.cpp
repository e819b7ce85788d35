#include "mpegheaders.h"

#include <QByteArray>
#include <QFile>

namespace kc::test {

namespace {

int FindCode(const QByteArray &d, unsigned char code, int from)
{
    for (int i = from; i + 3 < d.size(); ++i) {
        if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1 && static_cast<unsigned char>(d[i + 3]) == code)
            return i;
    }
    return -1;
}

unsigned B(const QByteArray &d, int i)
{
    return i < d.size() ? static_cast<unsigned char>(d[i]) : 0u;
}

} // namespace

MpegHeaderFacts ReadMpegHeaders(const QString &file)
{
    MpegHeaderFacts f;
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return f;
    const QByteArray d = in.read(4 << 20);

    const int p1 = FindCode(d, 0xBA, 0);
    const int p2 = p1 >= 0 ? FindCode(d, 0xBA, p1 + 4) : -1;
    if (p1 >= 0 && p2 > p1)
        f.packSpacing = p2 - p1;
    if (p1 >= 0) {
        f.mpeg2Pack = (B(d, p1 + 4) & 0xC0) == 0x40;
        if (f.mpeg2Pack)
            f.muxRate = int((B(d, p1 + 10) << 14) | (B(d, p1 + 11) << 6) | (B(d, p1 + 12) >> 2));
        else
            f.muxRate = int(((B(d, p1 + 9) & 0x7F) << 15) | (B(d, p1 + 10) << 7) | (B(d, p1 + 11) >> 1));
    }

    const int s = FindCode(d, 0xB3, 0);
    if (s < 0)
        return f;
    f.aspectCode = int(B(d, s + 7) >> 4);
    int bitRate = int((B(d, s + 8) << 10) | (B(d, s + 9) << 2) | (B(d, s + 10) >> 6));
    int vbv = int(((B(d, s + 10) & 0x1F) << 5) | (B(d, s + 11) >> 3));
    // MPEG-2 sequence extension: the high bits of both.
    const int e = FindCode(d, 0xB5, s + 4);
    if (e > 0 && (B(d, e + 4) >> 4) == 1) {
        const int rateExt = int(((B(d, e + 6) & 0x1F) << 7) | (B(d, e + 7) >> 1));
        const int vbvExt = int(B(d, e + 8));
        bitRate |= rateExt << 18;
        vbv |= vbvExt << 10;
    }
    f.bitRateField = bitRate;
    f.vbvField = vbv;
    return f;
}

} // namespace kc::test
