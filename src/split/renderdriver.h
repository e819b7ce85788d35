#pragma once

#include "common/planning.h"
#include "split/splitjob.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QAbstractButton;
class QLabel;
class QLineEdit;
class QProgressBar;

namespace kc {

class OutputSettingsPage;
class RangeEntry;
class TVideoEdit;

// The running split.
struct TSplitJob {
    int PieceIndex = 0; // piece being rendered in the equal-parts and by-time modes
    bool Stopped = false;
};

struct RenderDriverParts {
    TVideoEdit *videoEdit = nullptr;
    RangeEntry *rangeEntry = nullptr;
    OutputSettingsPage *outputSettings = nullptr;
    QLabel *pnlHint = nullptr;
    QProgressBar *pgbHint = nullptr;
    QLineEdit *edtOutput = nullptr;        // the output folder
    std::function<void()> stopPreview;     // the preview's Stop action
    std::function<void(bool)> enableControl;
    // When given, their clicks are bound to btSplitterClick and btStopClick.
    QAbstractButton *btSplitter = nullptr;
    QAbstractButton *btStop = nullptr;
};

// The window's side of a split: the Split button checks the entries and starts the split job
// (which runs the pieces, re-encoded or copied), and the job's events become the status bar's
// text and progress and the closing message.
class RenderDriver : public QObject
{
    Q_OBJECT
public:
    // Binds the component's OnProcessing and OnComplete (and the buttons, when given).
    explicit RenderDriver(const RenderDriverParts &parts, QObject *parent = nullptr);
    ~RenderDriver() override;

    void btSplitterClick();
    void StartSplit(TSplitMode SplitMode, int i);
    void VideoEditProcessing(double iCurPos, double iDuration);
    void VideoEditComplete(bool succeeded, const QString &reason);
    void btStopClick();

    // The main window is closing: stop the render (its unfinished file is removed) without
    // messages or control changes.
    void StopForClose();

    bool IsSplitting() const { return m_split->isRunning(); }
    const TSplitJob &SplitJob() const { return m_job; }

private:
    void pieceStarting(int k);
    void pieceStarted(int k);
    void finishJob();
    // piece: the number of the piece that failed, 0 for the custom range.
    void failJob(const QString &reason, int piece);
    void resetStatus();

    RenderDriverParts p;
    TSplitJob m_job;
    kc::SplitJob *m_split;
    SplitOutcome m_outcome;   // how the job ended, read by VideoEditComplete
};

} // namespace kc
