#pragma once

#include "avutils.h"
#include "outputplan.h"
#include "picturefit.h"

#include <QString>

namespace kc {

class OutputMuxer;

// Scales (and pads) decoded pictures to the output frame and encodes them on the constant
// output timeline: a picture is sent once per output slot it covers.
class VideoEncoder
{
public:
    bool open(const VideoEncoderSettings &wanted, OutputMuxer &muxer, QString *error);
    // The next pictures come from a new clip; keepAspect pads instead of stretching, and the
    // pictures are first turned clockwise by rotation degrees (0, 90, 180, 270).
    void beginClip(bool keepAspect, int rotation = 0);
    // Encodes the picture for `count` slots from slot `first` on (slots count from the start
    // of the output and only ever grow).
    bool encode(AVFrame *decoded, int64_t first, int64_t count, QString *error);
    // Drains the encoder at the end of the output.
    bool flush(QString *error);
    // One past the last slot written.
    int64_t slotsWritten() const { return m_nextSlot; }
    int rateNum() const { return m_wanted.rateNum; }
    int rateDen() const { return m_wanted.rateDen; }

private:
    bool ensureFilter(const AVFrame *in, QString *error);
    bool sendAndWrite(AVFrame *frame, QString *error);

    VideoEncoderSettings m_wanted;
    OutputMuxer *m_muxer = nullptr;
    av::CodecPtr m_enc;
    int m_stream = -1;
    av::PacketPtr m_pkt;
    av::FramePtr m_scaled;
    int64_t m_nextSlot = 0;
    bool m_keepAspect = false;
    int m_rotation = 0;

    // The scaling graph, rebuilt when the incoming pictures change shape.
    av::GraphPtr m_graph;
    AVFilterContext *m_src = nullptr;
    AVFilterContext *m_sink = nullptr;
    bool m_passThrough = false;
    int m_inW = 0, m_inH = 0, m_inFmt = -1;
    AVRational m_inSar{0, 1};
    bool m_graphKeepAspect = false;
    int m_graphRotation = 0;
    bool m_haveGraph = false;
};

} // namespace kc
