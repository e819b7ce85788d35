#pragma once

#include <QString>
#include <functional>

class QFileDialog;
class QWidget;

namespace kc {

// The filter the open dialog shows: one entry, "VideoFile(*.avi;*.mpg)", that lists *.avi
// and *.mpg files in any letter case.
extern const char *const kVideoFileFilterName;

// The fast split's open dialog: title-less, one filter, existing files only.
QFileDialog *CreateOpenDlg(QWidget *parent);

// Runs dialog and gives the chosen file's full path, or an empty text for a cancel.
QString RunOpenDlg(QFileDialog *dialog);

// What runs in place of the dialog (it gets the dialog to look at, and returns the chosen
// path or an empty text). Tests install one so that nothing blocks. An empty chooser
// restores the real dialog; the replaced one is returned.
using VideoFileChooser = std::function<QString(QFileDialog *dialog)>;
VideoFileChooser SetVideoFileChooser(VideoFileChooser chooser);

} // namespace kc
