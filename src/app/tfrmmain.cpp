#include "tfrmmain.h"

#include "ui_tfrmmain.h"

#include "common/mediainfo.h"
#include "common/programfolder.h"
#include "common/programfont.h"
#include "components/videoedit/tvideoedit.h"
#include "icons.h"
#include "version.h"

#include <QDesktopServices>
#include <QDir>
#include <QScreen>
#include <QStandardPaths>
#include <QUrl>

namespace kc {

namespace {
QString defaultOutputFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}
} // namespace

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
    ui->edtOutput->setText(defaultOutputFolder());
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
    // 5. The MediaInfo library; the probes check the binding themselves.
    LoadMediaInfo(QStringLiteral("MediaInfo.dll"));

    connect(ui->btOutput, &QAbstractButton::clicked, this, &TFrmMain::btOutputClick);
    connect(ui->btHelp, &QAbstractButton::clicked, this, &TFrmMain::btHelpClick);
}

TFrmMain::~TFrmMain() = default;

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

void TFrmMain::FormShow()
{
    // 1.-3. The codec and profile lists and the defaults of the other lists.
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
}

void TFrmMain::btHelpClick()
{
    // A missing document or no program to open it: nothing to report.
    QDesktopServices::openUrl(QUrl::fromLocalFile(ProgramFolder() + QStringLiteral("help.html")));
}

void TFrmMain::restoreAndActivate()
{
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

} // namespace kc
