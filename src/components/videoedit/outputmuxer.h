#pragma once

#include "avutils.h"
#include "outputplan.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

namespace kc {

// An opened encoder's stream as output files take it. It is taken from the encoder once, so
// that the files of later pieces get the same stream while the encoder is busy on another
// thread.
struct StreamModel {
    std::shared_ptr<AVCodecParameters> params;
    AVRational timeBase{0, 1};
    AVRational frameRate{0, 1};
    AVRational sampleAspect{0, 1};
    uint32_t tag = 0;         // asked for by the caller; 0: the encoder's own, if the container knows it
    uint32_t encoderTag = 0;
    struct SideData {
        AVPacketSideDataType type;
        QByteArray data;
    };
    QList<SideData> sideData;

    // False (with the reason) when memory runs out.
    static bool From(const AVCodecContext *enc, uint32_t codecTag, StreamModel *model, QString *error);
};

// The output file: its container, its streams and the writing of encoded packets.
//
// The file is written under a temporary name beside its final one and renamed into place by
// finish(), when it is complete: a render that fails or is stopped leaves a file of the same
// name that was there before as it was, and abort() removes the temporary file.
class OutputMuxer
{
public:
    OutputMuxer() = default;
    ~OutputMuxer();
    OutputMuxer(const OutputMuxer &) = delete;
    OutputMuxer &operator=(const OutputMuxer &) = delete;

    // Creates the container context (no file yet).
    bool create(const OutputPlan &plan, const QString &path, QString *error);
    // Whether encoders must put their headers in the stream parameters.
    bool wantsGlobalHeader() const;
    // Adds a stream for an opened encoder and returns its index (-1 on failure). The encoder's
    // buffer model (CPB properties) goes with it: the MPEG program stream muxers size their
    // buffers from it.
    int addStream(AVCodecContext *enc, uint32_t codecTag, QString *error);
    int addStream(const StreamModel &model, QString *error);
    // Creates the file and writes the header.
    bool open(QString *error);
    // Writes one packet whose times are in the encoder's time base; takes its data.
    bool write(AVPacket *pkt, int stream, AVRational encoderTimeBase, QString *error);
    // Sends one frame (nullptr: drains the encoder) and writes every packet the encoder has
    // ready. failure names the stage in the error text ("视频编码出错").
    bool encodeAndWrite(AVCodecContext *enc, AVFrame *frame, AVPacket *pkt, int stream,
                        const QString &failure, QString *error);
    // Writes the trailer and closes the file, reporting any write error on the way, and gives
    // the file its name: complete() and commit().
    bool finish(QString *error);
    // Writes the trailer and closes the file under its temporary name.
    bool complete(QString *error);
    // Gives the complete file its name (until then abort() still removes it).
    bool commit(QString *error);
    // complete() has succeeded.
    bool isComplete() const { return m_complete; }
    // Closes and deletes the file.
    void abort();
    // The file is still where it was written (the user may delete or move it meanwhile).
    bool fileStillThere() const;
    const QString &path() const { return m_path; }
    // Where the file is being written until finish() (the final path for a device).
    const QString &writingPath() const { return m_writePath; }

private:
    void closeFile();
    bool chooseWritingPath(QString *error);

    AVFormatContext *m_oc = nullptr;
    OutputPlan m_plan;
    QString m_path;
    QString m_writePath;
    bool m_temporary = false;
    bool m_fileOpen = false;
    bool m_headerWritten = false;
    bool m_complete = false;
    qint64 m_inode = 0;
};

} // namespace kc
