#include "opendlg.h"

#include "common/filetypefilter.h"

#include <QFileDialog>

namespace kc {

const char *const kVideoFileFilterName = "VideoFile(*.avi;*.mpg)";

namespace {

VideoFileChooser &currentChooser()
{
    static VideoFileChooser chooser;
    return chooser;
}

} // namespace

QFileDialog *CreateOpenDlg(QWidget *parent)
{
    auto *dialog = new QFileDialog(parent);
    dialog->setObjectName(QStringLiteral("OpenDlg"));
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    // Qt splits filter patterns at blanks, not at ";": the blank-separated list does the
    // filtering while the details are hidden, so the entry reads exactly as named.
    dialog->setOption(QFileDialog::HideNameFilterDetails, true);
    // Qt's own dialog matches the patterns in any letter case; native ones may not.
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    // The long-standing entry stays first and selected; each container the stream copy
    // writes back follows.
    QStringList filters{QString::fromUtf8(kVideoFileFilterName) + QStringLiteral(" (*.avi *.mpg)")};
    for (const FileTypeFilter &filter : ModernContainerFilters())
        filters << QtNameFilter(filter);
    filters << QtNameFilter(DvdVobFilter()) << QtNameFilter(WindowsMediaFilter());
    dialog->setNameFilters(filters);
    dialog->selectNameFilter(filters.first());
    return dialog;
}

QString RunOpenDlg(QFileDialog *dialog)
{
    if (const VideoFileChooser &chooser = currentChooser())
        return chooser(dialog);
    if (dialog->exec() != QDialog::Accepted)
        return QString();
    return dialog->selectedFiles().value(0);
}

VideoFileChooser SetVideoFileChooser(VideoFileChooser chooser)
{
    VideoFileChooser previous = std::move(currentChooser());
    currentChooser() = std::move(chooser);
    return previous;
}

} // namespace kc
