#include "splitwindow.h"

#include "common/numericfield.h"
#include "components/videoedit/tvideoedit.h"
#include "support/clips.h"
#include "support/messagerecorder.h"

#include <QApplication>
#include <QDialog>
#include <QTemporaryDir>
#include <QSpinBox>
#include <QTimer>
#include <gtest/gtest.h>

// Readable QString values in failure messages.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace kc::test {
namespace {

class OutputSettingsPageTest : public ::testing::Test
{
protected:
    TVideoEdit ve;
    SplitWindow w{&ve};
    MessageRecorder messages;
};

TEST_F(OutputSettingsPageTest, ShowStepFillsListsAndSelectsDefaults)
{
    const QStringList video = ve.VideoCompressors().names();
    const QStringList audio = ve.AudioCompressors().names();
    ASSERT_EQ(w.out.cmbAVIVideoEncoder->count(), video.size());
    ASSERT_EQ(w.out.cmbAVIAudioEncoder->count(), audio.size());
    EXPECT_EQ(w.out.cboWMV->count(), ve.WMVProfiles().Count());
    EXPECT_EQ(w.out.cmbAVIVideoEncoder->currentIndex(), DefaultVideoCompressor(video));
    EXPECT_EQ(w.out.cmbAVIAudioEncoder->currentIndex(), DefaultAudioCompressor(audio));
    EXPECT_EQ(w.out.PgCtl->currentIndex(), 2);
    EXPECT_EQ(w.out.cmbAudioBit->currentText(), QStringLiteral("224"));
    EXPECT_EQ(w.out.cmbMPEGVideoBit->currentText(), QStringLiteral("1500Kb"));
    EXPECT_EQ(w.out.cmbMpegFrame->currentText(), QStringLiteral("29.97"));
    EXPECT_EQ(w.out.cmbAudioSample->currentText(), QStringLiteral("44100"));

    // The start-up state writes the VCD NTSC code and keeps the aspect.
    int16_t stretch = -1;
    ASSERT_TRUE(w.page->ApplyOutputSettings(QString(), &stretch));
    EXPECT_EQ(ve.OutputType(), 1);
    EXPECT_EQ(ve.VideoSampleSize(), 24);
    EXPECT_EQ(stretch, StretchKeepAspect);
}

TEST_F(OutputSettingsPageTest, FormatButtonsShowTheirPage)
{
    const struct {
        QRadioButton *button;
        int page;
        int code;
    } cases[] = {
        {w.out.RadBtAVI, 0, 8}, {w.out.RadBtMPEG, 1, 6}, {w.out.RadBtSVCD, 2, 3},
        {w.out.RadBtWMV, 3, 9}, {w.out.RadBtDVD, 2, 5},  {w.out.RadBtVCD, 2, 1},
    };
    for (const auto &c : cases) {
        c.button->click();
        EXPECT_EQ(w.out.PgCtl->currentIndex(), c.page) << c.button->objectName().toStdString();
        EXPECT_EQ(w.page->CheckOutType(), c.code) << c.button->objectName().toStdString();
    }
    w.out.RadBtPal->click();
    EXPECT_EQ(w.page->CheckOutType(), 0);
    w.out.RadBtMPEG->click();
    w.out.RadBtMpg2->click();
    EXPECT_EQ(w.page->CheckOutType(), 7);
}

TEST_F(OutputSettingsPageTest, CheckBoxesLockTheirLists)
{
    w.out.ckbAVIVideoEncoder->click();
    EXPECT_FALSE(w.out.cmbAVIVideoEncoder->isEnabled());
    EXPECT_TRUE(w.out.cmbAVIAudioEncoder->isEnabled());
    w.out.ckbAVIAudioEncoder->click();
    EXPECT_FALSE(w.out.cmbAVIAudioEncoder->isEnabled());
    w.out.ckbAVIVideoEncoder->click();
    EXPECT_TRUE(w.out.cmbAVIVideoEncoder->isEnabled());

    EXPECT_TRUE(w.out.cboWMV->isEnabled());
    EXPECT_FALSE(w.out.cboCusWMV->isEnabled());
    w.out.chkCustomProfile->click();
    EXPECT_FALSE(w.out.cboWMV->isEnabled());
    EXPECT_TRUE(w.out.cboCusWMV->isEnabled());
    w.out.chkCustomProfile->click();
    EXPECT_TRUE(w.out.cboWMV->isEnabled());
    EXPECT_FALSE(w.out.cboCusWMV->isEnabled());
}

TEST_F(OutputSettingsPageTest, TypedListTextHasNoPosition)
{
    w.out.RadBtAVI->click();
    w.out.cboPicSize->setCurrentIndex(7);
    w.out.cboAVIFrame->setCurrentIndex(9);
    EXPECT_EQ(ListPosition(w.out.cboPicSize), 7);
    OutputChoice c = w.page->ReadChoice();
    EXPECT_EQ(c.cboPicSize, 7);
    EXPECT_EQ(c.cboAVIFrame, 9);

    w.out.cboPicSize->setEditText(QStringLiteral("500×500"));
    w.out.cboAVIFrame->setEditText(QStringLiteral("15")); // an item's text, but not selected
    EXPECT_EQ(ListPosition(w.out.cboPicSize), -1);
    int16_t stretch = -1;
    ASSERT_TRUE(w.page->ApplyOutputSettings(QString(), &stretch));
    EXPECT_EQ(ve.OutputFileWidth(), 320);
    EXPECT_EQ(ve.OutputFileHeight(), 240);
    EXPECT_FLOAT_EQ(ve.FrameRate(), 15.f);
    EXPECT_EQ(stretch, StretchFill);
}

TEST_F(OutputSettingsPageTest, MpegTypedRateKeepsTheEarlierRate)
{
    w.out.RadBtMPEG->click();
    ve.setFrameRate(12.5f);
    w.out.cmbMpegFrame->setEditText(QStringLiteral("30"));
    w.out.edtWidth->setText(QStringLiteral("480"));
    int16_t stretch = -1;
    ASSERT_TRUE(w.page->ApplyOutputSettings(QString(), &stretch));
    EXPECT_FLOAT_EQ(ve.FrameRate(), 12.5f);
    EXPECT_EQ(ve.OutputFileWidth(), 480);
    EXPECT_EQ(ve.MPEGAudioBitrate(), 224000);
}

TEST_F(OutputSettingsPageTest, AviAsTheSourceAsksTheComponent)
{
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("src.avi"));
    ClipRecipe clipRecipe;
    clipRecipe.seconds = 1;
    clipRecipe.width = 176;
    clipRecipe.height = 144;
    clipRecipe.rate = QStringLiteral("20");
    ASSERT_TRUE(MakeClip(clip, clipRecipe));
    w.out.RadBtAVI->click();
    int16_t stretch = -1;
    ASSERT_TRUE(w.page->ApplyOutputSettings(clip, &stretch));
    EXPECT_EQ(ve.OutputType(), 8);
    EXPECT_EQ(ve.OutputFileWidth(), 176);
    EXPECT_EQ(ve.OutputFileHeight(), 144);
    EXPECT_FLOAT_EQ(ve.FrameRate(), 20.f);
}

TEST_F(OutputSettingsPageTest, WmvCustomProfileNamesAFileBesideTheProgram)
{
    w.out.RadBtWMV->click();
    w.out.chkCustomProfile->click();
    w.out.cboCusWMV->setEditText(QStringLiteral("abc"));
    int16_t stretch = -1;
    ASSERT_TRUE(w.page->ApplyOutputSettings(QString(), &stretch));
    EXPECT_EQ(ve.OutputType(), 9);
    EXPECT_EQ(ve.WMVCustomFileName(), BinDir() + QStringLiteral("Profiles/abc.prx"));
}

TEST_F(OutputSettingsPageTest, ConfigButton)
{
    // A codec without settings answers with the message; one with settings shows its page.
    int withPage = -1;
    int withoutPage = -1;
    for (int i = 0; i < w.out.cmbAVIVideoEncoder->count(); ++i) {
        if (ve.VideoCompressors().settings(i).isEmpty())
            withoutPage = withoutPage < 0 ? i : withoutPage;
        else
            withPage = withPage < 0 ? i : withPage;
    }
    if (withoutPage >= 0) {
        w.out.cmbAVIVideoEncoder->setCurrentIndex(withoutPage);
        w.out.btConfig->click();
        EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("该视频编码没有属性设置页!")});
    }
    messages.clear();
    if (withPage >= 0) {
        w.out.cmbAVIVideoEncoder->setCurrentIndex(withPage);
        bool pageShown = false;
        QTimer::singleShot(0, [&] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            pageShown = dialog != nullptr;
            if (dialog)
                dialog->reject();
        });
        w.out.btConfig->click();
        EXPECT_TRUE(pageShown);
        EXPECT_TRUE(messages.texts().isEmpty());
    }
    if (withPage < 0 && withoutPage < 0)
        GTEST_SKIP() << "the component offers no video codec";
}

} // namespace
} // namespace kc::test
