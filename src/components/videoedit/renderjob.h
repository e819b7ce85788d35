#pragma once

#include "outputplan.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

namespace kc {

class ClipReader;
class EncodeStage;

// A range of a source file, in seconds as the caller gave them.
struct ClipRange {
    QString file;
    double start = 0;
    double stop = 0;
    bool keepAspect = false;   // pictures only: pad to keep the shape instead of stretching
};

struct RenderRequest {
    OutputPlan plan;
    QString outputPath;
    QList<ClipRange> video;    // rendered one after another
    QList<ClipRange> audio;    // audio[i] is the sound under video[i]; missing ones are silent
    // Pieces of a split: when not empty, video[i] (with the sound of the same range and file)
    // goes into pieceOutputs[i], a file of its own, instead of all into outputPath. The ranges
    // follow one another in one source, which is read once, front to back, by one encoder.
    QStringList pieceOutputs;
};

// One render: prepare() opens the sources, the encoders and the output file on the calling
// thread, so that everything that can be checked before the render starts is; run() does the
// work (normally on a worker thread) and leaves either a complete file or none.
class RenderJob
{
public:
    explicit RenderJob(RenderRequest request);
    ~RenderJob();

    // A reader left by the previous render (takeReader()). When this render's single range
    // starts where that one stopped, in the same file, it carries on with it; otherwise it is
    // dropped and the source is opened afresh. Call before prepare().
    void offerReader(std::unique_ptr<ClipReader> reader);
    // False, with the reason, when the render cannot start; nothing is left on disk then.
    bool prepare(QString *error);
    // Whether prepare() took up the offered reader.
    bool continuesReader() const;
    // Length of the output in seconds (known after prepare()).
    double totalSeconds() const;

    // seconds of total rendered; for pieces, of the piece being read.
    using ProgressFn = std::function<void(double seconds, double total, int piece)>;
    // Pieces: piece's file is complete, still under a temporary name (called on the encoding
    // thread; the last piece is complete and named when run() returns true).
    using PieceWrittenFn = std::function<void(int piece)>;
    // Renders everything. False, with the reason, when it failed or was stopped; the
    // unfinished files are removed before it returns (pieces already written stay).
    bool run(const ProgressFn &progress, QString *error, const PieceWrittenFn &pieceWritten = {});
    // A piece reported by PieceWrittenFn takes its file's name (any thread, once). Until then
    // stopping or destroying the job removes it; a failure of a later piece leaves it.
    bool commitPiece(int piece, QString *error);
    // After a failed run() of pieces: the piece that failed.
    int failedPiece() const { return m_failedPiece; }
    // Asks run() to end as soon as it can (any thread).
    void requestStop() { m_stop.store(true); }
    bool stopRequested() const { return m_stop.load(); }
    // After a failed run(): the ranges held no picture because they lie after the source's
    // last picture (only sound, or nothing, is left there).
    bool failedAfterLastPicture() const { return m_afterLastPicture; }
    // After a successful run(): the reader, holding what it read past the range, for a
    // render of the range that follows (null when it cannot go on from there).
    std::unique_ptr<ClipReader> takeReader();

private:
    void openPieceFile(int i);
    void startPiece(int i, EncodeStage &stage, const PieceWrittenFn &pieceWritten);

    struct Impl;
    std::unique_ptr<Impl> d;
    std::atomic<bool> m_stop{false};
    bool m_afterLastPicture = false;
    int m_failedPiece = 0;
};

} // namespace kc
