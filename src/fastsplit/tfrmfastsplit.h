#pragma once

#include <QString>
#include <QWidget>
#include <memory>

class QFileDialog;

namespace Ui {
class TfrmFastSplit;
}

namespace kc {

class NumericField;
class StreamCopyJob;

// The fast split window: probes one file with MediaInfo and cuts one range out of it by
// stream copy through FileEncoder. A top-level window of its own, owned by the main
// window (closing with it), not modal; it keeps its file, folder, fields and total time
// between uses.
class TfrmFastSplit : public QWidget
{
    Q_OBJECT

public:
    explicit TfrmFastSplit(QWidget *owner);
    ~TfrmFastSplit() override;

    // Shows the window (centred over the owner the first time), raises and activates it.
    void BringUp();

    // Enables or disables btOpenFile, btOutPath, btSplit and btClose, in this order.
    void EnableControl(bool b);

    // The handlers of the four buttons.
    void btOpenFileClick();
    void btOutPathClick();
    void btSplitClick();
    void btCloseClick();

    // The probe of a chosen file: everything btOpenFileClick does after the dialog.
    void ProbeFile(const QString &path);

    // The total time of the last probe, in seconds (0 before the first).
    double TotalTime() const { return m_totalTime; }

    bool JobRunning() const;

    // The encoder's command line of the last job, as text.
    QString LastCommandLine() const { return m_commandLine; }

signals:
    // A job has ended and its message has been shown (none after a cancel).
    void jobFinished();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void onJobProgress(int percent);
    void onJobFinished();
    void cancelJob();

    std::unique_ptr<Ui::TfrmFastSplit> ui;
    QFileDialog *OpenDlg = nullptr;
    StreamCopyJob *m_job = nullptr;
    double m_totalTime = 0.0;
    bool m_placed = false;
    QString m_commandLine;
};

} // namespace kc
