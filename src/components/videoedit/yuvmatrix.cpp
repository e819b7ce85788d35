#include "yuvmatrix.h"

namespace kc {

YuvMatrix GuessedMatrix(int width, int height)
{
    return width >= 1280 || height > 576 ? YuvMatrix::Bt709 : YuvMatrix::Bt601;
}

YuvMatrix SourceMatrix(AVColorSpace tagged, int width, int height)
{
    switch (tagged) {
    case AVCOL_SPC_BT709:
        return YuvMatrix::Bt709;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
        return YuvMatrix::Bt601;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        return YuvMatrix::Bt2020;
    case AVCOL_SPC_SMPTE240M:
        return YuvMatrix::Smpte240m;
    case AVCOL_SPC_FCC:
        return YuvMatrix::Fcc;
    default:
        return GuessedMatrix(width, height);
    }
}

const char *ScaleMatrixName(YuvMatrix matrix)
{
    switch (matrix) {
    case YuvMatrix::Bt601: return "bt601";
    case YuvMatrix::Bt709: return "bt709";
    case YuvMatrix::Bt2020: return "bt2020";
    case YuvMatrix::Smpte240m: return "smpte240m";
    case YuvMatrix::Fcc: return "fcc";
    }
    return "bt601";
}

AVColorSpace MatrixTag(YuvMatrix matrix, int height)
{
    switch (matrix) {
    case YuvMatrix::Bt601: return height == 576 || height == 288 ? AVCOL_SPC_BT470BG : AVCOL_SPC_SMPTE170M;
    case YuvMatrix::Bt709: return AVCOL_SPC_BT709;
    case YuvMatrix::Bt2020: return AVCOL_SPC_BT2020_NCL;
    case YuvMatrix::Smpte240m: return AVCOL_SPC_SMPTE240M;
    case YuvMatrix::Fcc: return AVCOL_SPC_FCC;
    }
    return AVCOL_SPC_UNSPECIFIED;
}

bool IsHighDynamicRange(AVColorTransferCharacteristic transfer)
{
    return transfer == AVCOL_TRC_SMPTE2084 || transfer == AVCOL_TRC_ARIB_STD_B67;
}

std::string ToStandardRange(YuvMatrix matrix)
{
    // Linear light (1.0 = reference white) in floating point, BT.709's primaries, then a
    // curve that is straight up to 0.7 (the 75 % bars and everything below) and bends the
    // rest under 1.0; the standard range's outputs are BT.709 or BT.601.
    return std::string("zscale=t=linear:npl=203,format=gbrpf32le,zscale=p=bt709,"
                       "tonemap=tonemap=mobius:param=0.7:desat=0,zscale=t=bt709:r=tv:m=")
           + (matrix == YuvMatrix::Bt709 ? "709" : "170m");
}

} // namespace kc
