#include "picturefit.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace kc {

namespace {

int EvenNear(double v, int limit)
{
    int e = int(std::lround(v / 2.0)) * 2;
    return std::clamp(e, 2, limit);
}

} // namespace

PictureFit FitPicture(int srcW, int srcH, int srcSarNum, int srcSarDen, int outW, int outH,
                      int outDarNum, int outDarDen, bool keepAspect)
{
    PictureFit fit;
    fit.width = outW;
    fit.height = outH;
    if (outDarNum > 0 && outDarDen > 0 && outW > 0 && outH > 0) {
        // sar = dar * h / w, reduced
        long long n = (long long)outDarNum * outH, d = (long long)outDarDen * outW;
        const long long g = std::gcd(n, d);
        fit.sarNum = int(n / g);
        fit.sarDen = int(d / g);
    }
    if (!keepAspect || srcW <= 0 || srcH <= 0 || outW <= 0 || outH <= 0)
        return fit;

    const double srcSar = (srcSarNum > 0 && srcSarDen > 0) ? double(srcSarNum) / srcSarDen : 1.0;
    const double srcDar = srcW * srcSar / srcH;
    const double outSar = double(fit.sarNum) / fit.sarDen;
    const double outDar = outW * outSar / outH;
    if (std::fabs(srcDar - outDar) / outDar < 0.01)
        return fit; // same shape: scaling alone keeps it
    if (srcDar > outDar) {
        fit.width = outW;
        fit.height = EvenNear(outW * outSar / srcDar, outH);
    } else {
        fit.height = outH;
        fit.width = EvenNear(outH * srcDar / outSar, outW);
    }
    // Even offsets keep the chroma of 4:2:0 pictures aligned.
    fit.x = ((outW - fit.width) / 2) & ~1;
    fit.y = ((outH - fit.height) / 2) & ~1;
    return fit;
}

} // namespace kc
