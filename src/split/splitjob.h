#pragma once

#include "common/planning.h"
#include "split/outputsettings.h"

#include <QObject>
#include <QString>

#include <memory>

namespace kc {

class CopySplitRunner;
struct CopySplitResult;
class TVideoEdit;

// What a split is asked to do.
struct SplitRequest {
    QString input;          // absolute path of the source
    TSplitMode mode = smCustom;
    SplitInputs inputs;
    OutputChoice choice;    // format Copy: the pieces are copied, nothing is encoded
    QString outputFolder;   // as the window's output field would hold it
};

// How a split ended.
struct SplitOutcome {
    enum class Status { Done, Refused, Failed, Stopped };
    Status status = Status::Done;
    QString message;        // the refusal, or why it failed (without the save-failed line)
    int piece = 0;          // the piece that failed; 0 for the custom range
    // Done without the last planned range: it lay after the source's last picture.
    bool skippedTailWithoutPicture = false;
    bool copied = false;    // the lossless choice: written and planned count the pieces
    bool notExact = false;  // exact cuts were asked for, and the pieces start on keyframes instead
    int written = 0;
    int planned = 0;
};

// Runs the pieces of one split, one after another, for any front end: re-encoded through
// the editing component (all pieces in one render that reads the source once and goes on
// encoding from piece to piece), or copied without re-encoding on a thread of its own. It
// knows no widget; the window and the command line turn its events into their own words.
class SplitJob : public QObject
{
    Q_OBJECT
public:
    explicit SplitJob(TVideoEdit *videoEdit, QObject *parent = nullptr);
    ~SplitJob() override;

    // Starts the first piece (the job has passed CheckSplitJob). The events follow, and
    // finished() last, once.
    void start(const SplitRequest &request);
    // Ends the running piece at once (its unfinished file is removed); no event follows.
    void stop();
    bool isRunning() const { return m_running; }
    const SplitRequest &request() const { return m_request; }

signals:
    // Before piece k (0: the custom range) is set up; ordinal counts from 1 up to count.
    void pieceStarting(int k, int ordinal, int count);
    // Its render or copy is under way, into path.
    void pieceStarted(int k, int ordinal, int count, const QString &path);
    // Progress of the running piece: at of total (seconds; for a copy, percent of 100).
    void progress(double at, double total);
    void pieceWritten(int k, const QString &path);
    // A remark that does not end the job (why a copy cannot be cut exactly).
    void note(const QString &line);
    void finished(const kc::SplitOutcome &outcome);

private:
    bool applySettings(int k);
    bool startPieces();
    void startPiece(int k);
    void onPieceComplete(int index);
    void onProcessing(double at, double total);
    void onComplete(bool succeeded, const QString &reason);
    void startCopy();
    void copyFinished(const CopySplitResult &result);
    void finish(SplitOutcome outcome);
    // Ends the job: piece failed, for the reason given.
    void fail(int piece, const QString &message);

    TVideoEdit *m_videoEdit;
    SplitRequest m_request;
    OutputSettings m_settings;
    bool m_running = false;
    bool m_rendering = false;   // a piece's render is under way
    int m_piece = 0;
    int m_ordinal = 0;
    int m_count = 0;
    QString m_path;
    // The files of the pieces rendered together (piece k's at k - 1).
    QStringList m_piecePaths;
    std::unique_ptr<CopySplitRunner> m_copy;
};

} // namespace kc

Q_DECLARE_METATYPE(kc::SplitOutcome)
