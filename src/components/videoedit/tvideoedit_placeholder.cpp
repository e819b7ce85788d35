// Temporary: keeps the tree building until the engine lands. Replaced by the real component.
#include "tvideoedit.h"

namespace kc {

namespace {
class NamesList : public CompressorList
{
public:
    QStringList list;
    QStringList names() const override { return list; }
};
class VideoList : public VideoCompressorList
{
public:
    QStringList list;
    QStringList names() const override { return list; }
    bool ShowPropertyPage(int) override { return false; }
    QList<CodecSetting> settings(int) const override { return {}; }
    void setSettings(int, const QList<CodecSetting> &) override {}
};
} // namespace

struct TVideoEdit::Private {
    VideoList video;
    NamesList audio;
    NamesList wmv;
    int outputType = 0, width = 320, height = 240, vc = 0, ac = 0, mp3 = 128, sr = 44100, ab = 224000,
        vb = 1500000, ch = 2, wmvp = 0, vss = 24;
    float rate = 15.f;
    bool useV = true, useA = true, ac3 = false;
    QString wmvFile;
};

TVideoEdit::TVideoEdit(QObject *parent) : QObject(parent), d(new Private) {}
TVideoEdit::~TVideoEdit() = default;
double TVideoEdit::GetFileDuration(const QString &) const { return 0; }
int16_t TVideoEdit::GetFileWidth(const QString &) const { return 0; }
int16_t TVideoEdit::GetFileHeight(const QString &) const { return 0; }
double TVideoEdit::GetFileFrameRate(const QString &) const { return 0; }
VideoCompressorList &TVideoEdit::VideoCompressors() { return d->video; }
const CompressorList &TVideoEdit::AudioCompressors() const { return d->audio; }
const CompressorList &TVideoEdit::WMVProfiles() const { return d->wmv; }
void TVideoEdit::SetPropertyPageOpener(PropertyPageOpener) {}
int TVideoEdit::OutputType() const { return d->outputType; }
void TVideoEdit::setOutputType(int v) { d->outputType = v; }
int TVideoEdit::OutputFileWidth() const { return d->width; }
void TVideoEdit::setOutputFileWidth(int v) { d->width = v; }
int TVideoEdit::OutputFileHeight() const { return d->height; }
void TVideoEdit::setOutputFileHeight(int v) { d->height = v; }
float TVideoEdit::FrameRate() const { return d->rate; }
void TVideoEdit::setFrameRate(float v) { d->rate = v; }
bool TVideoEdit::UseVideoCompressor() const { return d->useV; }
void TVideoEdit::setUseVideoCompressor(bool v) { d->useV = v; }
bool TVideoEdit::UseAudioCompressor() const { return d->useA; }
void TVideoEdit::setUseAudioCompressor(bool v) { d->useA = v; }
int TVideoEdit::VideoCompressor() const { return d->vc; }
void TVideoEdit::setVideoCompressor(int v) { d->vc = v; }
int TVideoEdit::AudioCompressor() const { return d->ac; }
void TVideoEdit::setAudioCompressor(int v) { d->ac = v; }
int TVideoEdit::AVIMP3Bitrate() const { return d->mp3; }
void TVideoEdit::setAVIMP3Bitrate(int v) { d->mp3 = v; }
bool TVideoEdit::MPEGAC3() const { return d->ac3; }
void TVideoEdit::setMPEGAC3(bool v) { d->ac3 = v; }
int TVideoEdit::MPEGAudioSampleRate() const { return d->sr; }
void TVideoEdit::setMPEGAudioSampleRate(int v) { d->sr = v; }
int TVideoEdit::MPEGAudioBitrate() const { return d->ab; }
void TVideoEdit::setMPEGAudioBitrate(int v) { d->ab = v; }
int TVideoEdit::MPEGVideoBitrate() const { return d->vb; }
void TVideoEdit::setMPEGVideoBitrate(int v) { d->vb = v; }
int TVideoEdit::MPEGAudioChannels() const { return d->ch; }
void TVideoEdit::setMPEGAudioChannels(int v) { d->ch = v; }
int TVideoEdit::WMVProfile() const { return d->wmvp; }
void TVideoEdit::setWMVProfile(int v) { d->wmvp = v; }
QString TVideoEdit::WMVCustomFileName() const { return d->wmvFile; }
void TVideoEdit::setWMVCustomFileName(const QString &v) { d->wmvFile = v; }
int TVideoEdit::VideoSampleSize() const { return d->vss; }
void TVideoEdit::setVideoSampleSize(int v) { d->vss = v; }
void TVideoEdit::InitControl() {}
bool TVideoEdit::AddVideo(const QString &, double, double, int16_t) { return false; }
bool TVideoEdit::AddAudio(const QString &, double, double) { return false; }
bool TVideoEdit::Save(const QString &) { return false; }
void TVideoEdit::Stop() {}
bool TVideoEdit::IsRendering() const { return false; }
QString TVideoEdit::LastError() const { return QString(); }

} // namespace kc
