#include "sourceloader.h"

#include "common/messages.h"
#include "common/timeparts.h"
#include "components/videoedit/tvideoedit.h"
#include "previewtransport.h"
#include "sourceload.h"
#include "sourcemedia.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QSlider>

namespace kc {

SourceLoader::SourceLoader(const SourceLoadControls &controls, TVideoEdit *videoEdit, PreviewTransport *transport,
                           QWidget *dialogParent, QObject *parent)
    : QObject(parent), m_c(controls), m_videoEdit(videoEdit), m_transport(transport), m_dialogParent(dialogParent)
{
    connect(m_c.btAddFile, &QAbstractButton::clicked, this, [this] { btAddFileClick(); });
}

SourceLoader::~SourceLoader()
{
    // Without a parent window the dialog is ours.
    if (m_openDlg && !m_openDlg->parent())
        delete m_openDlg.data();
}

QFileDialog *SourceLoader::OpenDlg()
{
    if (m_openDlg)
        return m_openDlg;
    auto *dlg = new QFileDialog(m_dialogParent);
    dlg->setObjectName(QStringLiteral("OpenDlg"));
    // Qt's own dialog: it shows each filter's description exactly (the details hidden)
    // and matches the patterns without regard to case, on every desktop.
    dlg->setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
    dlg->setAcceptMode(QFileDialog::AcceptOpen);
    dlg->setFileMode(QFileDialog::ExistingFile);
    QStringList filters;
    for (const SourceFileFilter &filter : SourceFileFilters())
        filters << QtNameFilter(filter);
    dlg->setNameFilters(filters);
    dlg->selectNameFilter(filters.first());
    m_openDlg = dlg;
    return dlg;
}

QString SourceLoader::runOpenDlg()
{
    QFileDialog *dlg = OpenDlg();
    if (dlg->exec() != QDialog::Accepted)
        return QString();
    return dlg->selectedFiles().value(0);
}

void SourceLoader::btAddFileClick()
{
    LoadSource(m_chooser ? m_chooser() : runOpenDlg());
}

void SourceLoader::LoadSource(const QString &chosen)
{
    const QString path = ChosenSourcePath(chosen, [](const QString &p) { return QFileInfo(p).isFile(); });
    if (path.isEmpty())
        return; // cancelled: a playing preview goes on playing

    // The previous source is replaced whatever the file turns out to be.
    TSourceMedia.FileName = path;
    const double componentSeconds = m_videoEdit ? m_videoEdit->GetFileDuration(path) : 0.0;
    const bool onlySound = m_videoEdit && m_videoEdit->IsSoundOnly(path);
    const SourceDuration duration =
        ResolveSourceDuration(componentSeconds, [&path] { return MediaInfoPlayTimes(path); }, onlySound);
    if (duration.unrecognised)
        ShowInfo(QStringLiteral("无法识别的视频文件!"));
    m_c.labTotalTime->setText(FormatSeconds(duration.seconds));
    SetCurrentSource(path, duration.seconds);
    ShowRange(m_c.range);
    m_transport->ShowNewSource();
    m_transport->controls().btPrePlay->setEnabled(true);
    // What follows a load is previewing it: the focus leaves the Add button for the track
    // bar, so Space plays the new file instead of opening the dialog again.
    QWidget *window = m_c.btAddFile->window();
    if (!window->focusWidget() || window->focusWidget() == m_c.btAddFile)
        m_transport->controls().TrackBar->setFocus(Qt::OtherFocusReason);
}

} // namespace kc
