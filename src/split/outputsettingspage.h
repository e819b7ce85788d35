#pragma once

#include "split/outputsettings.h"

#include <QObject>
#include <QString>
#include <cstdint>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QRadioButton;
class QStackedWidget;

namespace kc {

class NumericField;
class TVideoEdit;

// The format row and the four settings pages of the main window.
struct OutputSettingsControls {
    QRadioButton *RadBtAVI = nullptr;
    QRadioButton *RadBtMPEG = nullptr;
    QRadioButton *RadBtVCD = nullptr;
    QRadioButton *RadBtSVCD = nullptr;
    QRadioButton *RadBtDVD = nullptr;
    QRadioButton *RadBtWMV = nullptr;
    QRadioButton *RadBtCopy = nullptr; // lossless: its page explains and offers exact cuts
    QStackedWidget *PgCtl = nullptr;
    // AVI page
    QComboBox *cmbAVIVideoEncoder = nullptr;
    QCheckBox *ckbAVIVideoEncoder = nullptr;
    QAbstractButton *btConfig = nullptr;
    QComboBox *cmbAVIAudioEncoder = nullptr;
    QCheckBox *ckbAVIAudioEncoder = nullptr;
    QComboBox *cboPicSize = nullptr;
    QComboBox *cboAVIFrame = nullptr;
    // MPEG page
    QRadioButton *RadBtMpg1 = nullptr;
    QRadioButton *RadBtMpg2 = nullptr;
    NumericField *edtWidth = nullptr;
    NumericField *edtHeight = nullptr;
    QComboBox *cmbMPEGVideoBit = nullptr;
    QComboBox *cmbMpegFrame = nullptr;
    QComboBox *cmbAudioSample = nullptr;
    QComboBox *cmbAudioBit = nullptr;
    // VCD, SVCD, DVD page
    QRadioButton *RadBtPal = nullptr;
    QRadioButton *RadBtNtsc = nullptr;
    QRadioButton *RadBtMode2 = nullptr;
    QRadioButton *RadBtMode0 = nullptr;
    // WMV page
    QComboBox *cboWMV = nullptr;
    QCheckBox *chkCustomProfile = nullptr;
    QComboBox *cboCusWMV = nullptr;
    // Lossless page
    QCheckBox *chkCopyExact = nullptr;
};

// A list's selected position: -1 when its text was typed and matches no selection.
int ListPosition(const QComboBox *list);

// The handlers of the output format controls, and the step that writes the choice into
// the editing component before every piece.
class OutputSettingsPage : public QObject
{
    Q_OBJECT
public:
    // Connects the handlers and installs the codec property page opener.
    OutputSettingsPage(const OutputSettingsControls &controls, TVideoEdit *videoEdit,
                       QObject *parent = nullptr);

    // The show step's part: fills the AVI codec lists and the WMV profiles from the
    // component and selects their defaults.
    void FillCodecLists();
    // Selects the initial positions of the fixed lists and shows the VCD/SVCD/DVD page.
    void SelectListDefaults();

    // What the controls hold now.
    OutputChoice ReadChoice() const;
    int CheckOutType() const;

    // Writes the current choice into the component (the source's size and rate are asked
    // of it only when a list says "as the source") and gives the stretch mode for
    // AddVideo. False, with *error, when a property could not be written.
    bool ApplyOutputSettings(const QString &sourceFile, int16_t *stretchMode, QString *error = nullptr);

    void RadBtAVIClick();
    void RadBtMPEGClick();
    void RadBtVCDClick();
    void RadBtSVCDClick();
    void RadBtDVDClick();
    void RadBtWMVClick();
    void RadBtCopyClick();
    void ckbAVIVideoEncoderClick();
    void ckbAVIAudioEncoderClick();
    void chkCustomProfileClick();
    void btConfigClick();

private:
    void showPageIfOn(QRadioButton *button, int page);

    OutputSettingsControls c;
    TVideoEdit *m_videoEdit;
};

} // namespace kc
