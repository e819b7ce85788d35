#pragma once

#include "avutils.h"
#include "outputmuxer.h"
#include "outputplan.h"
#include "picturefit.h"

#include <QString>

#include <deque>
#include <functional>

namespace kc {

// Scales (and pads) decoded pictures to the output frame and encodes them on the constant
// output timeline: a picture is sent once per output slot it covers.
//
// Consecutive pieces of a split go each into a file of its own through one encoder: the last
// picture of a piece is made a reference picture and the first of the next a keyframe, so
// that no picture of one file refers to a picture of another, and the packets are sent to
// the file their picture belongs to. Encoders that cannot be steered so are drained at the
// end of each piece and opened again.
class VideoEncoder
{
public:
    using FileDone = std::function<bool(QString *error)>;

    bool open(const VideoEncoderSettings &wanted, OutputMuxer &muxer, QString *error);
    // The stream the encoder writes, for the files of later pieces.
    const StreamModel &streamModel() const { return m_model; }
    // From the next picture on, the packets go to `next` (whose stream `stream` was made from
    // streamModel()). `currentDone` runs on this thread once every packet of the current file
    // has been written.
    bool continueInto(OutputMuxer &next, int stream, FileDone currentDone, QString *error);
    // The next pictures come from a new clip; keepAspect pads instead of stretching, and the
    // pictures are first turned clockwise by rotation degrees (0, 90, 180, 270). An interlaced
    // clip (as its stream says, or its first picture) keeps its fields where the output codes
    // fields and its picture rate is the clip's (sameRate), else it is deinterlaced.
    void beginClip(bool keepAspect, int rotation = 0, bool interlaced = false, bool sameRate = false);
    // The clip's last picture has been given: the pictures the deinterlacer still holds are
    // encoded.
    bool endClip(QString *error);
    // Encodes the picture for `count` slots from slot `first` on (slots count from the start
    // of the output and only ever grow).
    // endsPiece: these are the last slots of a piece whose successor continueInto() will take.
    bool encode(AVFrame *decoded, int64_t first, int64_t count, QString *error, bool endsPiece = false);
    // Drains the encoder at the end of the output.
    bool flush(QString *error);
    // One past the last slot written.
    int64_t slotsWritten() const { return m_nextSlot; }
    int rateNum() const { return m_wanted.rateNum; }
    int rateDen() const { return m_wanted.rateDen; }

private:
    struct Target {
        OutputMuxer *muxer = nullptr;
        int stream = -1;
        int64_t firstSlot = 0;   // the slot that is the file's time 0
        FileDone done;           // set once a following file is known
        int64_t timeCodeBase = -1; // MPEG-1/2: the file's first GOP time code, in frames
    };

    bool openCodec(bool globalHeader, QString *error);
    bool canCarryOn() const;
    // The slots a picture given to the scaling graph is encoded for, once it comes out.
    struct Run {
        int64_t first = 0;
        int64_t count = 0;
        bool endsPiece = false;
    };

    bool ensureFilter(const AVFrame *in, QString *error);
    // Sends the graph's end and encodes what it still held (a deinterlacer holds one picture
    // to see the next); the graph is made anew for the next picture.
    bool drainFilter(QString *error);
    // Encodes what the graph has ready, each picture for its run. False when encoding failed;
    // *graphRc is the graph's last word: EAGAIN or EOF when it has nothing more.
    bool encodeFiltered(int *graphRc, QString *error);
    bool encodeRun(AVFrame *pic, const Run &run, QString *error);
    bool sendAndWrite(AVFrame *frame, QString *error);
    bool writePacket(AVPacket *pkt, QString *error);
    // The first file has all its packets: it is told so and let go of.
    bool completeFront(QString *error);

    VideoEncoderSettings m_wanted;
    av::CodecPtr m_enc;
    bool m_globalHeader = false;
    StreamModel m_model;
    std::deque<Target> m_targets;   // the file being written first
    bool m_lastEndedPiece = false;  // the last picture sent was made a reference picture
    bool m_keyNext = false;         // the next picture sent starts a file
    av::PacketPtr m_pkt;
    av::FramePtr m_scaled;
    int64_t m_nextSlot = 0;
    bool m_keepAspect = false;
    int m_rotation = 0;
    bool m_clipInterlaced = false;
    bool m_clipSameRate = false;
    bool m_sentPicture = false;     // the encoder has had a picture
    // Interlaced coding that keeps the source's fields (scaled each on its own), chosen at
    // the first picture.
    bool m_codesFields = false;

    // The scaling graph, rebuilt when the incoming pictures change shape.
    av::GraphPtr m_graph;
    AVFilterContext *m_src = nullptr;
    AVFilterContext *m_sink = nullptr;
    bool m_passThrough = false;
    int m_inW = 0, m_inH = 0, m_inFmt = -1;
    int m_inColorspace = -1;
    int m_inTransfer = -1;
    AVRational m_inSar{0, 1};
    bool m_graphKeepAspect = false;
    int m_graphRotation = 0;
    bool m_graphDeinterlaces = false; // the graph holds a picture back
    std::deque<Run> m_runs;           // of the pictures in the graph, oldest first
    bool m_haveGraph = false;
};

} // namespace kc
