#pragma once

#include "split/planning.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QAbstractButton;
class QLabel;
class QLineEdit;
class QProgressBar;

namespace kc {

class CopySplitRunner;
struct CopySplitResult;
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

// Renders the pieces of a split one after another with the editing component: the Split
// button starts a job, each completed piece starts the next until the plan is done or the
// user stops. Progress goes to the status bar.
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

    bool IsSplitting() const { return m_running; }
    const TSplitJob &SplitJob() const { return m_job; }

private:
    // The lossless choice: the pieces are copied on a thread of their own.
    void startCopy(TSplitMode mode);
    void copyFinished(const CopySplitResult &result);
    void finishJob();
    // piece: the number of the piece that failed, 0 for the custom range.
    void failJob(const QString &reason, int piece);
    void resetStatus();

    RenderDriverParts p;
    TSplitJob m_job;
    TSplitMode m_mode = smCustom;
    bool m_running = false;
    std::unique_ptr<CopySplitRunner> m_copy;
};

} // namespace kc
