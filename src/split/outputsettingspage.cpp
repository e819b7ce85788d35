#include "split/outputsettingspage.h"

#include "common/messages.h"
#include "common/numericfield.h"
#include "common/programfolder.h"
#include "components/videoedit/tvideoedit.h"
#include "components/videoedit/codecsettingspage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QStackedWidget>

namespace kc {

int ListPosition(const QComboBox *list)
{
    const int i = list->currentIndex();
    if (i < 0 || list->currentText() != list->itemText(i))
        return -1;
    return i;
}

OutputSettingsPage::OutputSettingsPage(const OutputSettingsControls &controls, TVideoEdit *videoEdit,
                                       QObject *parent)
    : QObject(parent)
    , c(controls)
    , m_videoEdit(videoEdit)
{
    InstallCodecPropertyPages();

    // Toggled rather than clicked: the page and the enabled states follow the buttons
    // however their state changes (mouse, keyboard or code).
    const struct {
        QRadioButton *button;
        void (OutputSettingsPage::*handler)();
    } formats[] = {
        {c.RadBtAVI, &OutputSettingsPage::RadBtAVIClick},   {c.RadBtMPEG, &OutputSettingsPage::RadBtMPEGClick},
        {c.RadBtVCD, &OutputSettingsPage::RadBtVCDClick},   {c.RadBtSVCD, &OutputSettingsPage::RadBtSVCDClick},
        {c.RadBtDVD, &OutputSettingsPage::RadBtDVDClick},   {c.RadBtWMV, &OutputSettingsPage::RadBtWMVClick},
    };
    for (const auto &f : formats)
        connect(f.button, &QAbstractButton::toggled, this, f.handler);
    if (c.RadBtCopy)
        connect(c.RadBtCopy, &QAbstractButton::toggled, this, &OutputSettingsPage::RadBtCopyClick);
    connect(c.ckbAVIVideoEncoder, &QAbstractButton::toggled, this, &OutputSettingsPage::ckbAVIVideoEncoderClick);
    connect(c.ckbAVIAudioEncoder, &QAbstractButton::toggled, this, &OutputSettingsPage::ckbAVIAudioEncoderClick);
    connect(c.chkCustomProfile, &QAbstractButton::toggled, this, &OutputSettingsPage::chkCustomProfileClick);
    connect(c.btConfig, &QAbstractButton::clicked, this, &OutputSettingsPage::btConfigClick);
}

void OutputSettingsPage::FillCodecLists()
{
    const QStringList video = m_videoEdit->VideoCompressors().names();
    c.cmbAVIVideoEncoder->addItems(video);
    c.cmbAVIVideoEncoder->setCurrentIndex(DefaultVideoCompressor(video));

    const QStringList audio = m_videoEdit->AudioCompressors().names();
    c.cmbAVIAudioEncoder->addItems(audio);
    c.cmbAVIAudioEncoder->setCurrentIndex(DefaultAudioCompressor(audio));

    const QStringList profiles = m_videoEdit->WMVProfiles().names();
    c.cboWMV->addItems(profiles);
    c.cboWMV->setCurrentIndex(profiles.isEmpty() ? -1 : 0);
}

void OutputSettingsPage::SelectListDefaults()
{
    const OutputChoice initial;
    c.cboPicSize->setCurrentIndex(initial.cboPicSize);
    c.cboAVIFrame->setCurrentIndex(initial.cboAVIFrame);
    c.cmbAudioSample->setCurrentIndex(initial.cmbAudioSample);
    c.cmbAudioBit->setCurrentIndex(initial.cmbAudioBit);
    c.cmbMPEGVideoBit->setCurrentIndex(initial.cmbMPEGVideoBit);
    c.cmbMpegFrame->setCurrentIndex(initial.cmbMpegFrame);
    c.cboCusWMV->setCurrentIndex(0);
    c.PgCtl->setCurrentIndex(2);
}

OutputChoice OutputSettingsPage::ReadChoice() const
{
    OutputChoice o;
    // The order CheckOutType tests the buttons in.
    if (c.RadBtAVI->isChecked())
        o.format = OutFormat::AVI;
    else if (c.RadBtMPEG->isChecked())
        o.format = OutFormat::MPEG;
    else if (c.RadBtVCD->isChecked())
        o.format = OutFormat::VCD;
    else if (c.RadBtSVCD->isChecked())
        o.format = OutFormat::SVCD;
    else if (c.RadBtDVD->isChecked())
        o.format = OutFormat::DVD;
    else if (c.RadBtWMV->isChecked())
        o.format = OutFormat::WMV;
    else if (c.RadBtCopy && c.RadBtCopy->isChecked())
        o.format = OutFormat::Copy;
    else
        o.format = OutFormat::None;
    o.RadBtPal = c.RadBtPal->isChecked();
    o.RadBtMpg1 = c.RadBtMpg1->isChecked();
    o.RadBtMode2 = c.RadBtMode2->isChecked();

    o.cmbAVIVideoEncoder = ListPosition(c.cmbAVIVideoEncoder);
    o.cmbAVIAudioEncoder = ListPosition(c.cmbAVIAudioEncoder);
    o.ckbAVIVideoEncoder = c.ckbAVIVideoEncoder->isChecked();
    o.ckbAVIAudioEncoder = c.ckbAVIAudioEncoder->isChecked();
    o.cboPicSize = ListPosition(c.cboPicSize);
    o.cboAVIFrame = ListPosition(c.cboAVIFrame);

    // A text that cannot be read ("-") counts as 0, which the mapping brings up to the
    // fields' minimum like any other value below it.
    o.edtWidth = c.edtWidth->value().value_or(0);
    o.edtHeight = c.edtHeight->value().value_or(0);
    o.cmbMPEGVideoBit = ListPosition(c.cmbMPEGVideoBit);
    o.cmbMpegFrame = ListPosition(c.cmbMpegFrame);
    o.cmbAudioSample = ListPosition(c.cmbAudioSample);
    o.cmbAudioBit = ListPosition(c.cmbAudioBit);

    o.cboWMV = ListPosition(c.cboWMV);
    o.chkCustomProfile = c.chkCustomProfile->isChecked();
    o.cboCusWMV = c.cboCusWMV->currentText();
    o.copyExact = c.chkCopyExact && c.chkCopyExact->isChecked();
    return o;
}

int OutputSettingsPage::CheckOutType() const
{
    return kc::CheckOutType(ReadChoice());
}

bool OutputSettingsPage::ApplyOutputSettings(const QString &sourceFile, int16_t *stretchMode, QString *error)
{
    TVideoEdit *ve = m_videoEdit;
    const SourceFacts source{
        [ve, sourceFile] { return QSize(ve->GetFileWidth(sourceFile), ve->GetFileHeight(sourceFile)); },
        [ve, sourceFile] { return ve->GetFileFrameRate(sourceFile); },
    };
    const OutputSettings s = MapOutputSettings(ReadChoice(), ProgramFolder(), source);
    *stretchMode = s.stretchMode;
    QString failed;
    if (!ApplyPropertyWrites(ve, s.writes, &failed)) {
        if (error)
            *error = QStringLiteral("无法设置输出属性 %1").arg(failed);
        return false;
    }
    return true;
}

void OutputSettingsPage::showPageIfOn(QRadioButton *button, int page)
{
    if (button->isChecked())
        c.PgCtl->setCurrentIndex(page);
}

void OutputSettingsPage::RadBtAVIClick() { showPageIfOn(c.RadBtAVI, 0); }
void OutputSettingsPage::RadBtMPEGClick() { showPageIfOn(c.RadBtMPEG, 1); }
void OutputSettingsPage::RadBtVCDClick() { showPageIfOn(c.RadBtVCD, 2); }
void OutputSettingsPage::RadBtSVCDClick() { showPageIfOn(c.RadBtSVCD, 2); }
void OutputSettingsPage::RadBtDVDClick() { showPageIfOn(c.RadBtDVD, 2); }
void OutputSettingsPage::RadBtWMVClick() { showPageIfOn(c.RadBtWMV, 3); }
void OutputSettingsPage::RadBtCopyClick()
{
    showPageIfOn(c.RadBtCopy, 4);
    // Only a copy has keyframes to cut between; re-encoded pieces start on their picture anyway.
    if (c.chkCopyExact)
        c.chkCopyExact->setEnabled(c.RadBtCopy->isChecked());
}

void OutputSettingsPage::ckbAVIVideoEncoderClick()
{
    c.cmbAVIVideoEncoder->setEnabled(!c.ckbAVIVideoEncoder->isChecked());
}

void OutputSettingsPage::ckbAVIAudioEncoderClick()
{
    c.cmbAVIAudioEncoder->setEnabled(!c.ckbAVIAudioEncoder->isChecked());
}

void OutputSettingsPage::chkCustomProfileClick()
{
    const bool custom = c.chkCustomProfile->isChecked();
    c.cboWMV->setEnabled(!custom);
    c.cboCusWMV->setEnabled(custom);
}

void OutputSettingsPage::btConfigClick()
{
    const int pos = ListPosition(c.cmbAVIVideoEncoder);
    if (pos < 0 || !m_videoEdit->VideoCompressors().ShowPropertyPage(pos))
        ShowInfo(QStringLiteral("该视频编码没有属性设置页!"));
}

} // namespace kc
