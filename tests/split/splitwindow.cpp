#include "splitwindow.h"

#include "common/numericfield.h"

namespace kc::test {

namespace {

template <typename T>
T *Make(QWidget *parent, const char *name)
{
    auto *w = new T(parent);
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QComboBox *List(QWidget *parent, const char *name, bool editable, const QStringList &items = {})
{
    auto *c = Make<QComboBox>(parent, name);
    c->setEditable(editable);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->addItems(items);
    return c;
}

NumericField *Field(QWidget *parent, const char *name, int min, int max, int value)
{
    auto *f = Make<NumericField>(parent, name);
    f->setMinimum(min);
    f->setMaximum(max);
    f->setValue(value);
    return f;
}

} // namespace

SplitWindow::SplitWindow(TVideoEdit *videoEdit)
{
    // The format row.
    pnlOutType = Make<QWidget>(&root, "pnlOutType");
    out.RadBtAVI = Make<QRadioButton>(pnlOutType, "RadBtAVI");
    out.RadBtMPEG = Make<QRadioButton>(pnlOutType, "RadBtMPEG");
    out.RadBtVCD = Make<QRadioButton>(pnlOutType, "RadBtVCD");
    out.RadBtSVCD = Make<QRadioButton>(pnlOutType, "RadBtSVCD");
    out.RadBtDVD = Make<QRadioButton>(pnlOutType, "RadBtDVD");
    out.RadBtWMV = Make<QRadioButton>(pnlOutType, "RadBtWMV");
    out.RadBtVCD->setChecked(true);

    // The settings pages.
    pnlOutSet = Make<QWidget>(&root, "pnlOutSet");
    out.PgCtl = Make<QStackedWidget>(pnlOutSet, "PgCtl");
    QWidget *avi = new QWidget;
    QWidget *mpeg = new QWidget;
    QWidget *disc = new QWidget;
    QWidget *wmv = new QWidget;
    for (QWidget *p : {avi, mpeg, disc, wmv})
        out.PgCtl->addWidget(p);

    out.cmbAVIVideoEncoder = List(avi, "cmbAVIVideoEncoder", false);
    out.ckbAVIVideoEncoder = Make<QCheckBox>(avi, "ckbAVIVideoEncoder");
    out.btConfig = Make<QPushButton>(avi, "btConfig");
    out.cmbAVIAudioEncoder = List(avi, "cmbAVIAudioEncoder", false);
    out.ckbAVIAudioEncoder = Make<QCheckBox>(avi, "ckbAVIAudioEncoder");
    QStringList sizes;
    for (const PicSizeItem &s : PicSizeItems())
        sizes << s.text;
    out.cboPicSize = List(avi, "cboPicSize", true, sizes);
    out.cboAVIFrame = List(avi, "cboAVIFrame", true, AviFrameItems());

    out.RadBtMpg1 = Make<QRadioButton>(mpeg, "RadBtMpg1");
    out.RadBtMpg2 = Make<QRadioButton>(mpeg, "RadBtMpg2");
    out.RadBtMpg1->setChecked(true);
    out.edtWidth = Field(mpeg, "edtWidth", MpegSizeMin, MpegSizeMax, 352);
    out.edtHeight = Field(mpeg, "edtHeight", MpegSizeMin, MpegSizeMax, 240);
    out.cmbMPEGVideoBit = List(mpeg, "cmbMPEGVideoBit", true, MpegVideoBitItems());
    out.cmbMpegFrame = List(mpeg, "cmbMpegFrame", true, MpegFrameItems());
    out.cmbAudioSample = List(mpeg, "cmbAudioSample", true, AudioSampleItems());
    out.cmbAudioBit = List(mpeg, "cmbAudioBit", true, AudioBitItems());

    QWidget *tv = new QWidget(disc);
    QWidget *scale = new QWidget(disc);
    out.RadBtPal = Make<QRadioButton>(tv, "RadBtPal");
    out.RadBtNtsc = Make<QRadioButton>(tv, "RadBtNtsc");
    out.RadBtNtsc->setChecked(true);
    out.RadBtMode2 = Make<QRadioButton>(scale, "RadBtMode2");
    out.RadBtMode0 = Make<QRadioButton>(scale, "RadBtMode0");
    out.RadBtMode2->setChecked(true);

    out.cboWMV = List(wmv, "cboWMV", false);
    out.chkCustomProfile = Make<QCheckBox>(wmv, "chkCustomProfile");
    out.cboCusWMV = List(wmv, "cboCusWMV", true, CustomWmvProfileItems());
    out.cboCusWMV->setEnabled(false);

    // The split-mode group.
    gpBoxSplitMode = Make<QWidget>(&root, "gpBoxSplitMode");
    range.radBtSplitCus = Make<QRadioButton>(gpBoxSplitMode, "radBtSplitCus");
    range.radBtSplitAver = Make<QRadioButton>(gpBoxSplitMode, "radBtSplitAver");
    range.radBtSplitTime = Make<QRadioButton>(gpBoxSplitMode, "radBtSplitTime");
    range.radBtSplitCus->setChecked(true);
    range.pgCtlSplitMode = Make<QStackedWidget>(gpBoxSplitMode, "pgCtlSplitMode");
    QWidget *custom = new QWidget;
    QWidget *parts = new QWidget;
    QWidget *every = new QWidget;
    for (QWidget *p : {custom, parts, every})
        range.pgCtlSplitMode->addWidget(p);
    range.fields.edtStartHour = Field(custom, "edtStartHour", 0, 99, 0);
    range.fields.edtStartMin = Field(custom, "edtStartMin", 0, 59, 0);
    range.fields.edtStartSecond = Field(custom, "edtStartSecond", 0, 59, 0);
    range.fields.edtStartMSec = Field(custom, "edtStartMSec", 0, 999, 0);
    range.fields.edtEndHour = Field(custom, "edtEndHour", 0, 99, 0);
    range.fields.edtEndMin = Field(custom, "edtEndMin", 0, 59, 0);
    range.fields.edtEndSecond = Field(custom, "edtEndSecond", 0, 59, 0);
    range.fields.edtEndMSec = Field(custom, "edtEndMSec", 0, 999, 0);
    range.btSetStartTime = Make<QPushButton>(custom, "btSetStartTime");
    range.btSetEndTime = Make<QPushButton>(custom, "btSetEndTime");
    range.snEditSplitNum = Make<QSpinBox>(parts, "snEditSplitNum");
    range.EditSplitTime = Make<QLineEdit>(every, "EditSplitTime");
    range.EditSplitTime->setText(QStringLiteral("180"));

    edtOutput = Make<QLineEdit>(&root, "edtOutput");
    edtOutput->setReadOnly(true);
    btSplitter = Make<QPushButton>(&root, "btSplitter");
    btStop = Make<QPushButton>(&root, "btStop");
    pnlHint = Make<QLabel>(&root, "pnlHint");
    pnlHint->setText(QStringLiteral("提示："));
    pgbHint = Make<QProgressBar>(&root, "pgbHint");
    pgbHint->setRange(0, 100);
    pgbHint->setValue(0);

    page = std::make_unique<OutputSettingsPage>(out, videoEdit);
    entry = std::make_unique<RangeEntry>(range);
    range.snEditSplitNum->setValue(2);

    RenderDriverParts parts_;
    parts_.videoEdit = videoEdit;
    parts_.rangeEntry = entry.get();
    parts_.outputSettings = page.get();
    parts_.pnlHint = pnlHint;
    parts_.pgbHint = pgbHint;
    parts_.edtOutput = edtOutput;
    parts_.stopPreview = [this] { ++previewStops; };
    parts_.enableControl = [this](bool b) { EnableControl(b); };
    parts_.btSplitter = btSplitter;
    parts_.btStop = btStop;
    driver = std::make_unique<RenderDriver>(parts_);

    page->FillCodecLists();
    page->SelectListDefaults();
}

SplitWindow::~SplitWindow() = default;

void SplitWindow::EnableControl(bool b)
{
    enableCalls << b;
    btSplitter->setEnabled(b);
    pnlOutSet->setEnabled(b);
    edtOutput->setEnabled(b);
    gpBoxSplitMode->setEnabled(b);
    pnlOutType->setEnabled(b);
}

bool SplitWindow::Unlocked() const
{
    return btSplitter->isEnabled() && pnlOutSet->isEnabled() && edtOutput->isEnabled()
           && gpBoxSplitMode->isEnabled() && pnlOutType->isEnabled();
}

} // namespace kc::test
