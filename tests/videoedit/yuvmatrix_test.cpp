// Which formula a picture's colours are decoded with: the stream's word, else the size.
#include "components/videoedit/yuvmatrix.h"

#include <gtest/gtest.h>

using namespace kc;

TEST(YuvMatrix, SourcesAreReadAsPlayersReadThem)
{
    const struct {
        AVColorSpace tag;
        int width, height;
        YuvMatrix expected;
    } cases[] = {
        {AVCOL_SPC_UNSPECIFIED, 720, 576, YuvMatrix::Bt601},   // PAL DV, DVD
        {AVCOL_SPC_UNSPECIFIED, 720, 480, YuvMatrix::Bt601},   // NTSC
        {AVCOL_SPC_UNSPECIFIED, 1024, 576, YuvMatrix::Bt601},  // wide SD
        {AVCOL_SPC_UNSPECIFIED, 960, 720, YuvMatrix::Bt709},   // 720 lines, pixels 4:3 (DVCPRO HD)
        {AVCOL_SPC_UNSPECIFIED, 1280, 544, YuvMatrix::Bt709},  // 720p cut to 2.35:1
        {AVCOL_SPC_UNSPECIFIED, 1920, 1080, YuvMatrix::Bt709},
        {AVCOL_SPC_BT709, 720, 576, YuvMatrix::Bt709},         // the stream's word counts
        {AVCOL_SPC_SMPTE170M, 1920, 1080, YuvMatrix::Bt601},
        {AVCOL_SPC_BT470BG, 1280, 720, YuvMatrix::Bt601},
        {AVCOL_SPC_BT2020_NCL, 3840, 2160, YuvMatrix::Bt2020},  // a phone's HDR
        {AVCOL_SPC_RGB, 1920, 1080, YuvMatrix::Bt709},          // no formula to take: guessed
    };
    for (const auto &c : cases) {
        EXPECT_EQ(SourceMatrix(c.tag, c.width, c.height), c.expected) << c.tag << " " << c.width << "x" << c.height;
    }
}

TEST(YuvMatrix, OutputsSayTheirFormulaAsTheirTelevisionSystemDoes)
{
    EXPECT_EQ(MatrixTag(YuvMatrix::Bt601, 576), AVCOL_SPC_BT470BG);
    EXPECT_EQ(MatrixTag(YuvMatrix::Bt601, 288), AVCOL_SPC_BT470BG);
    EXPECT_EQ(MatrixTag(YuvMatrix::Bt601, 480), AVCOL_SPC_SMPTE170M);
    EXPECT_EQ(MatrixTag(YuvMatrix::Bt709, 720), AVCOL_SPC_BT709);
}
