#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

namespace kc {

struct RenderRequest;

// One list of the component (video codecs, audio codecs, WMV profiles): a count and the
// friendly name of entry i. A list position is the value later written to
// VideoCompressor, AudioCompressor or WMVProfile.
class CompressorList
{
public:
    virtual ~CompressorList() = default;
    int Count() const { return int(names().size()); }
    QString Item(int i) const { return (i >= 0 && i < Count()) ? names().at(i) : QString(); }
    virtual QStringList names() const = 0;
};

// A codec setting the AVI video codecs' property pages edit.
struct CodecSetting {
    QString key;     // e.g. "quality", "gop"
    QString label;   // Chinese caption shown in the page
    int minimum = 0;
    int maximum = 0;
    int value = 0;
};

class VideoCompressorList : public CompressorList
{
public:
    // Opens the property page of entry i; false when that codec has none. The page is a
    // window, so the GUI installs the opener (SetPropertyPageOpener); without one, or for a
    // codec without settings, it answers false.
    virtual bool ShowPropertyPage(int i) = 0;
    // The settings of entry i (empty for a codec without settings).
    virtual QList<CodecSetting> settings(int i) const = 0;
    virtual void setSettings(int i, const QList<CodecSetting> &values) = 0;
};

// Shows the settings of a codec in a dialog; returns true when the page was shown.
// It may change the values (accepted dialog).
using PropertyPageOpener = std::function<bool(const QString &codecName, QList<CodecSetting> &settings)>;

// The video editing component: media facts, codec and profile lists, and rendering of
// source ranges into files with progress and completion events. Save() starts the render
// on a worker thread and returns at once; the events arrive on the thread that owns this
// object as queued signals.
class TVideoEdit : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int OutputType READ OutputType WRITE setOutputType)
    Q_PROPERTY(int OutputFileWidth READ OutputFileWidth WRITE setOutputFileWidth)
    Q_PROPERTY(int OutputFileHeight READ OutputFileHeight WRITE setOutputFileHeight)
    Q_PROPERTY(float FrameRate READ FrameRate WRITE setFrameRate)
    Q_PROPERTY(bool UseVideoCompressor READ UseVideoCompressor WRITE setUseVideoCompressor)
    Q_PROPERTY(bool UseAudioCompressor READ UseAudioCompressor WRITE setUseAudioCompressor)
    Q_PROPERTY(int VideoCompressor READ VideoCompressor WRITE setVideoCompressor)
    Q_PROPERTY(int AudioCompressor READ AudioCompressor WRITE setAudioCompressor)
    Q_PROPERTY(int AVIMP3Bitrate READ AVIMP3Bitrate WRITE setAVIMP3Bitrate)
    Q_PROPERTY(bool MPEGAC3 READ MPEGAC3 WRITE setMPEGAC3)
    Q_PROPERTY(int MPEGAudioSampleRate READ MPEGAudioSampleRate WRITE setMPEGAudioSampleRate)
    Q_PROPERTY(int MPEGAudioBitrate READ MPEGAudioBitrate WRITE setMPEGAudioBitrate)
    Q_PROPERTY(int MPEGVideoBitrate READ MPEGVideoBitrate WRITE setMPEGVideoBitrate)
    Q_PROPERTY(int MPEGAudioChannels READ MPEGAudioChannels WRITE setMPEGAudioChannels)
    Q_PROPERTY(int WMVProfile READ WMVProfile WRITE setWMVProfile)
    Q_PROPERTY(QString WMVCustomFileName READ WMVCustomFileName WRITE setWMVCustomFileName)
    Q_PROPERTY(int VideoSampleSize READ VideoSampleSize WRITE setVideoSampleSize)

public:
    explicit TVideoEdit(QObject *parent = nullptr);
    ~TVideoEdit() override;

    // --- media facts (synchronous; never hang or crash on a damaged or non-media file) ---
    double GetFileDuration(const QString &strFileName) const;   // <= 0: not readable (or no pictures)
    // The file opens and holds sound but no picture (an MP3, a WAV): nothing to split.
    bool IsSoundOnly(const QString &strFileName) const;
    int16_t GetFileWidth(const QString &strFileName) const;     // 0 when unknown
    int16_t GetFileHeight(const QString &strFileName) const;
    double GetFileFrameRate(const QString &strFileName) const;  // 0 when unknown

    // --- lists ---
    VideoCompressorList &VideoCompressors();
    const CompressorList &AudioCompressors() const;
    const CompressorList &WMVProfiles() const;
    static void SetPropertyPageOpener(PropertyPageOpener opener);

    // --- output properties: each keeps its value until written again ---
    int OutputType() const;
    void setOutputType(int v);
    int OutputFileWidth() const;
    void setOutputFileWidth(int v);
    int OutputFileHeight() const;
    void setOutputFileHeight(int v);
    float FrameRate() const;
    void setFrameRate(float v);
    bool UseVideoCompressor() const;
    void setUseVideoCompressor(bool v);
    bool UseAudioCompressor() const;
    void setUseAudioCompressor(bool v);
    int VideoCompressor() const;
    void setVideoCompressor(int v);
    int AudioCompressor() const;
    void setAudioCompressor(int v);
    int AVIMP3Bitrate() const;
    void setAVIMP3Bitrate(int v);
    bool MPEGAC3() const;
    void setMPEGAC3(bool v);
    int MPEGAudioSampleRate() const;
    void setMPEGAudioSampleRate(int v);
    int MPEGAudioBitrate() const;
    void setMPEGAudioBitrate(int v);
    int MPEGVideoBitrate() const;
    void setMPEGVideoBitrate(int v);
    int MPEGAudioChannels() const;
    void setMPEGAudioChannels(int v);
    int WMVProfile() const;
    void setWMVProfile(int v);
    QString WMVCustomFileName() const;
    void setWMVCustomFileName(const QString &v);
    int VideoSampleSize() const;
    void setVideoSampleSize(int v);

    // --- rendering ---
    void InitControl();  // drops the clips of the previous render; properties stay
    bool AddVideo(const QString &strFile, double iVideoStart, double iVideoStop, int16_t iStretchMode);
    bool AddAudio(const QString &strFile, double iAudioStart, double iAudioStop);
    // Checks that the render can start (input opens, output can be created, range not
    // empty, settings valid) and starts it on a worker thread; false, with LastError(),
    // when it cannot start.
    bool Save(const QString &strFileName);
    // Renders the clips added with AddVideo (with AddAudio of the same ranges and file) each
    // into a file of its own, fileNames[i] for clip i: the consecutive pieces of a split. The
    // source is read once, front to back, and the encoders go on from piece to piece, so
    // that a piece costs what its file needs. OnPieceComplete follows each piece but the
    // last, whose end is OnComplete; false, with LastError(), when it cannot start.
    bool SavePieces(const QStringList &fileNames);
    // After a failed render of pieces: the piece (from 0) that failed.
    int LastFailedPiece() const;
    // Ends the running render within half a second, removes the unfinished file and
    // raises no OnComplete.
    void Stop();
    bool IsRendering() const;
    // After a render the source stays open, placed after its range, so that a render of the
    // range that follows goes on reading instead of starting over; this lets it go (the end
    // of a split).
    void ReleaseSource();
    // The render started by the last Save went on reading where the previous one stopped.
    bool ContinuedLastRender() const;
    // Why the last Save failed, or why the last render failed.
    QString LastError() const;
    // The last render failed only because its ranges lie after the source's last picture
    // (a tail of sound outlasting the pictures): there was nothing to make a video of.
    bool LastRenderWasAfterLastPicture() const;

signals:
    // Repeated while rendering; both in seconds, iDuration > 0.
    void OnProcessing(double iCurPos, double iDuration);
    // Once when a render started by Save has ended: succeeded false means the output was
    // not written (reason says why) and no file is left behind. Delivered after the file
    // has been closed; the handler may call InitControl, AddVideo, AddAudio and Save.
    void OnComplete(bool succeeded, const QString &reason);
    // Piece index (from 0) of a SavePieces render is complete: its file is closed and named.
    void OnPieceComplete(int index);

private:
    bool startRender(RenderRequest request);
    void deliverProgress(quint64 id, double at, double total, int piece);
    void deliverPieceComplete(quint64 id, int index);
    void deliverCompletion(quint64 id, bool succeeded, const QString &reason, bool afterLastPicture);

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace kc
