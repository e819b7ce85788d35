#pragma once

#include "showrange.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

class QAbstractButton;
class QFileDialog;
class QLabel;
class QWidget;

namespace kc {

class PreviewTransport;
class TVideoEdit;

struct SourceLoadControls {
    QAbstractButton *btAddFile = nullptr;
    QLabel *labTotalTime = nullptr;
    RangeFields range;
};

// The Add button: makes one video file the current source (TSourceMedia), shows its total
// time, resets the custom range to the whole file and shows the file stopped at its start
// in the preview.
class SourceLoader : public QObject
{
    Q_OBJECT
public:
    // Gives the chosen path, or an empty text when the user cancelled.
    using FileChooser = std::function<QString()>;

    // videoEdit answers the duration first; MediaInfo (when bound) is the fallback.
    // dialogParent owns the open dialog (the main window); it may be null.
    SourceLoader(const SourceLoadControls &controls, TVideoEdit *videoEdit, PreviewTransport *transport,
                 QWidget *dialogParent, QObject *parent = nullptr);
    ~SourceLoader() override;

    void btAddFileClick();
    // What Add does once a file is chosen (also for a dropped file or one named at start):
    // the same checks, messages and reset. An empty path does nothing.
    void LoadSource(const QString &chosen);

    // The open dialog (object name "OpenDlg"), made on first use: Qt's own dialog, one
    // existing file, the eight source filters with the first one selected.
    QFileDialog *OpenDlg();
    // Replaces the dialog (tests); an empty chooser brings the dialog back.
    void setFileChooser(FileChooser chooser) { m_chooser = std::move(chooser); }

private:
    QString runOpenDlg();

    SourceLoadControls m_c;
    TVideoEdit *m_videoEdit;
    PreviewTransport *m_transport;
    QPointer<QWidget> m_dialogParent;
    QPointer<QFileDialog> m_openDlg;
    FileChooser m_chooser;
};

} // namespace kc
