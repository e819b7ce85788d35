#pragma once

#include <QString>
#include <functional>

class QFileDialog;
class QWidget;

namespace kc {

// The open dialog's first (selected) filter, "VideoFile(*.avi;*.mpg)", that lists *.avi and
// *.mpg files in any letter case; today's containers follow it, one entry each.
extern const char *const kVideoFileFilterName;

// The fast split's open dialog: title-less, the filters above, existing files only.
QFileDialog *CreateOpenDlg(QWidget *parent);

// Runs dialog and gives the chosen file's full path, or an empty text for a cancel.
QString RunOpenDlg(QFileDialog *dialog);

// What runs in place of the dialog (it gets the dialog to look at, and returns the chosen
// path or an empty text). Tests install one so that nothing blocks. An empty chooser
// restores the real dialog; the replaced one is returned.
using VideoFileChooser = std::function<QString(QFileDialog *dialog)>;
VideoFileChooser SetVideoFileChooser(VideoFileChooser chooser);

} // namespace kc
