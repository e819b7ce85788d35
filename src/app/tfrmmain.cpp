#include "tfrmmain.h"

#include "ui_tfrmmain.h"

#include "common/browseforfolder.h"
#include "common/filedroptarget.h"
#include "common/mediainfo.h"
#include "common/messages.h"
#include "common/programfolder.h"
#include "common/programfont.h"
#include "components/videoedit/tvideoedit.h"
#include "fastsplit/outputfolder.h"
#include "fastsplit/tfrmfastsplit.h"
#include "icons.h"
#include "skins/skinmenu.h"
#include "source/previewspacekey.h"
#include "source/previewtransport.h"
#include "source/rangeentry.h"
#include "source/sourceloader.h"
#include "split/outputsettingspage.h"
#include "split/renderdriver.h"
#include "version.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QScreen>
#include <QToolButton>
#include <QUrl>

namespace kc {

TFrmMain::TFrmMain(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::TFrmMain>())
{
    ui->setupUi(this);
    setFont(ProgramFont());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(686, 482);
    setButtonPictures();
    ui->edtOutput->setText(DefaultOutputFolder());
    if (QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());

    // 1. The version beside the program.
    m_appVersion = ReadVersion(ProgramFolder() + QStringLiteral("Ver.ax"));
    // 2. The editing component, owned by the window for the whole run; it has no picture.
    m_videoEdit = new TVideoEdit(this);
    m_videoEdit->setObjectName(QStringLiteral("VideoEdit"));
    // 3. The caption.
    setWindowTitle(QStringLiteral("Kestrelcut ") + m_appVersion);
    // 4. The saved skin.
    m_skinMenu = new SkinMenu(this);
    m_skinMenu->RestoreSavedSkin();
    // 5. The MediaInfo library; the probes check the binding themselves.
    LoadMediaInfo(QStringLiteral("MediaInfo.dll"));

    bindControlGroups();

    // The fast split window, hidden until asked for; it closes with this window.
    m_fastSplit = new TfrmFastSplit(this);

    setupAccessibility();

    connect(ui->btOutput, &QAbstractButton::clicked, this, &TFrmMain::btOutputClick);
    connect(ui->btTool, &QAbstractButton::clicked, this, &TFrmMain::btToolClick);
    connect(ui->btSkin, &QAbstractButton::clicked, m_skinMenu, &SkinMenu::btSkinClick);
    connect(ui->btHelp, &QAbstractButton::clicked, this, &TFrmMain::btHelpClick);
    // A dropped file loads as Add would; while Add is locked nothing is taken.
    new FileDropTarget(
        this, [this](const QString &path) { m_sourceLoader->LoadSource(path); },
        [this] { return ui->btAddFile->isEnabled(); });
}

TFrmMain::~TFrmMain() = default;

RangeFields TFrmMain::rangeFields() const
{
    return {ui->edtStartHour, ui->edtStartMin, ui->edtStartSecond, ui->edtStartMSec,
            ui->edtEndHour,   ui->edtEndMin,   ui->edtEndSecond,   ui->edtEndMSec};
}

void TFrmMain::bindControlGroups()
{
    PreviewControls preview;
    preview.btPrePlay = ui->btPrePlay;
    preview.btPrePause = ui->btPrePause;
    preview.btPreStop = ui->btPreStop;
    preview.TrackBar = ui->TrackBar;
    preview.labCurTime = ui->labCurTime;
    m_preview = new PreviewTransport(preview, ui->MoviePlayer, this);
    new PreviewSpaceKey(this, m_preview);

    SourceLoadControls source;
    source.btAddFile = ui->btAddFile;
    source.labTotalTime = ui->labTotalTime;
    source.range = rangeFields();
    m_sourceLoader = new SourceLoader(source, m_videoEdit, m_preview, this, this);

    RangeEntryControls range;
    range.radBtSplitCus = ui->radBtSplitCus;
    range.radBtSplitAver = ui->radBtSplitAver;
    range.radBtSplitTime = ui->radBtSplitTime;
    range.pgCtlSplitMode = ui->pgCtlSplitMode;
    range.fields = rangeFields();
    range.btSetStartTime = ui->btSetStartTime;
    range.btSetEndTime = ui->btSetEndTime;
    range.snEditSplitNum = ui->snEditSplitNum;
    range.EditSplitTime = ui->EditSplitTime;
    m_rangeEntry = new RangeEntry(range, this);

    OutputSettingsControls out;
    out.RadBtAVI = ui->RadBtAVI;
    out.RadBtMPEG = ui->RadBtMPEG;
    out.RadBtVCD = ui->RadBtVCD;
    out.RadBtSVCD = ui->RadBtSVCD;
    out.RadBtDVD = ui->RadBtDVD;
    out.RadBtWMV = ui->RadBtWMV;
    out.RadBtCopy = ui->RadBtCopy;
    out.PgCtl = ui->PgCtl;
    out.cmbAVIVideoEncoder = ui->cmbAVIVideoEncoder;
    out.ckbAVIVideoEncoder = ui->ckbAVIVideoEncoder;
    out.btConfig = ui->btConfig;
    out.cmbAVIAudioEncoder = ui->cmbAVIAudioEncoder;
    out.ckbAVIAudioEncoder = ui->ckbAVIAudioEncoder;
    out.cboPicSize = ui->cboPicSize;
    out.cboAVIFrame = ui->cboAVIFrame;
    out.RadBtMpg1 = ui->RadBtMpg1;
    out.RadBtMpg2 = ui->RadBtMpg2;
    out.edtWidth = ui->edtWidth;
    out.edtHeight = ui->edtHeight;
    out.cmbMPEGVideoBit = ui->cmbMPEGVideoBit;
    out.cmbMpegFrame = ui->cmbMpegFrame;
    out.cmbAudioSample = ui->cmbAudioSample;
    out.cmbAudioBit = ui->cmbAudioBit;
    out.RadBtPal = ui->RadBtPal;
    out.RadBtNtsc = ui->RadBtNtsc;
    out.RadBtMode2 = ui->RadBtMode2;
    out.RadBtMode0 = ui->RadBtMode0;
    out.cboWMV = ui->cboWMV;
    out.chkCustomProfile = ui->chkCustomProfile;
    out.cboCusWMV = ui->cboCusWMV;
    out.chkCopyExact = ui->chkCopyExact;
    m_outputSettings = new OutputSettingsPage(out, m_videoEdit, this);

    RenderDriverParts driver;
    driver.videoEdit = m_videoEdit;
    driver.rangeEntry = m_rangeEntry;
    driver.outputSettings = m_outputSettings;
    driver.pnlHint = ui->pnlHint;
    driver.pgbHint = ui->pgbHint;
    driver.edtOutput = ui->edtOutput;
    driver.stopPreview = [this] { m_preview->btPreStopClick(); };
    driver.enableControl = [this](bool b) { EnableControl(b); };
    driver.btSplitter = ui->btSplitter;
    driver.btStop = ui->btStop;
    m_renderDriver = new RenderDriver(driver, this);
}

void TFrmMain::setupAccessibility()
{
    // The skin menu hangs from its button, so assistive technology finds it there; a click
    // on the button itself still pops it up at the mouse.
    ui->btSkin->setMenu(m_skinMenu->pmSkin());
    ui->btSkin->setPopupMode(QToolButton::MenuButtonPopup);
    // The status text is what the hint tells; a fixed name would hide it.
    ui->pnlHint->setAccessibleDescription(ui->pnlHint->accessibleName());
    ui->pnlHint->setAccessibleName(QString());
    // The transport buttons take the focus from the keyboard only: a mouse click on them
    // leaves it where it was, so Space goes on playing and pausing the preview.
    for (QToolButton *button : {ui->btPrePlay, ui->btPrePause, ui->btPreStop})
        button->setFocusPolicy(Qt::TabFocus);
}

void TFrmMain::setButtonPictures()
{
    ui->btAddFile->setIcon(ButtonIcon(ButtonPicture::Add));
    ui->btSplitter->setIcon(ButtonIcon(ButtonPicture::Split));
    ui->btStop->setIcon(ButtonIcon(ButtonPicture::Stop));
    ui->btSkin->setIcon(ButtonIcon(ButtonPicture::Skin));
    ui->btHelp->setIcon(ButtonIcon(ButtonPicture::Help));
    ui->btTool->setIcon(ButtonIcon(ButtonPicture::Tool));
    ui->btPrePlay->setIcon(ButtonIcon(ButtonPicture::Play));
    ui->btPrePause->setIcon(ButtonIcon(ButtonPicture::Pause));
    ui->btPreStop->setIcon(ButtonIcon(ButtonPicture::PreviewStop));
}

void TFrmMain::showEvent(QShowEvent *event)
{
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
    QWidget::showEvent(event);
}

void TFrmMain::closeEvent(QCloseEvent *event)
{
    // Closing the window ends the program, also mid-split: the running piece is stopped
    // and its unfinished file removed; the fast split window (and its child) goes too.
    m_renderDriver->StopForClose();
    m_fastSplit->close();
    QWidget::closeEvent(event);
}

void TFrmMain::FormShow()
{
    // 1.-3. The codec and profile lists and the defaults of the other lists.
    m_outputSettings->FillCodecLists();
    m_outputSettings->SelectListDefaults();
    // 4. The page of the format selected at start (VCD).
    ui->PgCtl->setCurrentIndex(2);
    // 5. The page of the split mode selected at start (custom range).
    ui->pgCtlSplitMode->setCurrentIndex(0);
}

void TFrmMain::EnableControl(bool b)
{
    ui->btAddFile->setEnabled(b);
    ui->btSplitter->setEnabled(b);
    ui->pnlOutSet->setEnabled(b);
    ui->edtOutput->setEnabled(b);
    ui->btOutput->setEnabled(b);
    ui->gpBoxSplitMode->setEnabled(b);
    ui->pnlOutType->setEnabled(b);
    ui->pnlMoviePlay->setEnabled(b);
    ui->MoviePlayer->setVisible(b);
}

void TFrmMain::btOutputClick()
{
    QString folder;
    if (BrowseForFolder(ui->edtOutput, QStringLiteral("请选择输出目录"), QString(), &folder))
        ui->edtOutput->setText(folder);
}

void TFrmMain::btHelpClick()
{
    // Without the document, or without a program that opens it, the user is told where it
    // should be rather than left with a button that does nothing.
    const QString path = ProgramFolder() + QStringLiteral("help.html");
    const QString shown = QDir::toNativeSeparators(path);
    if (!QFileInfo(path).isFile())
        ShowInfo(QStringLiteral("找不到帮助文档：\n%1").arg(shown));
    else if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        ShowInfo(QStringLiteral("无法打开帮助文档，请用浏览器打开：\n%1").arg(shown));
}

void TFrmMain::btToolClick()
{
    m_fastSplit->BringUp();
}

void TFrmMain::OpenSourceFile(const QString &path)
{
    if (!ui->btAddFile->isEnabled()) {
        ShowInfo(QStringLiteral("正在分割，请在分割结束后再打开文件：\n") + path);
        return;
    }
    // A name typed on a command line may be wrong; the current source then stays.
    if (!QFileInfo(path).isFile()) {
        ShowInfo(QStringLiteral("找不到文件：\n") + path);
        return;
    }
    m_sourceLoader->LoadSource(path);
}

void TFrmMain::restoreAndActivate()
{
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

} // namespace kc
