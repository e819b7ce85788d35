#pragma once

#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstdint>
#include <functional>
#include <optional>

class QObject;

namespace kc {

// The output type code, written unchanged to the component's OutputType; it also picks
// the output file's extension.
enum TOutType {
    otVcdPal = 0,
    otVcdNtsc = 1,
    otSvcdPal = 2,
    otSvcdNtsc = 3,
    otDvdPal = 4,
    otDvdNtsc = 5,
    otMpeg1 = 6,
    otMpeg2 = 7,
    otAvi = 8,
    otWmv = 9,
};

// Which button of the format row is on.
// Copy: the pieces keep the source's streams and container, nothing is encoded.
enum class OutFormat { None, AVI, MPEG, VCD, SVCD, DVD, WMV, Copy };

// Stretch modes AddVideo takes.
enum StretchMode : int16_t { StretchFill = 0, StretchKeepAspect = 2 };

// What the format row and the four settings pages hold when they are read. List
// positions are -1 when the list has no selection (typed text that matches no item).
// The defaults are the window's initial state.
struct OutputChoice {
    OutFormat format = OutFormat::VCD;
    bool RadBtPal = false;   // off: NTSC
    bool RadBtMpg1 = true;   // off: MPEG-2
    bool RadBtMode2 = true;  // keep the source's aspect ratio (VCD, SVCD, DVD)

    // AVI page
    int cmbAVIVideoEncoder = 0;
    int cmbAVIAudioEncoder = 0;
    bool ckbAVIVideoEncoder = false; // "do not compress video"
    bool ckbAVIAudioEncoder = false;
    int cboPicSize = 0;
    int cboAVIFrame = 0;

    // MPEG page
    qint64 edtWidth = 352;
    qint64 edtHeight = 240;
    int cmbMPEGVideoBit = 4;
    int cmbMpegFrame = 1;
    int cmbAudioSample = 1;
    int cmbAudioBit = 3;

    // WMV page
    int cboWMV = 0;
    bool chkCustomProfile = false;
    QString cboCusWMV; // the profile file's name, typed or chosen

    // Lossless page
    bool copyExact = false; // pieces start and end on their planned pictures

    // Settings the window never offers, for the command-line splitter.
    bool mpegAC3 = false;                  // MPEGAC3 true
    std::optional<double> aviFrameRate;    // an AVI rate outside cboAVIFrame's list
    QString wmvCustomFile;                 // a full profile path instead of cboCusWMV's name
};

// The source's own picture size and frame rate, asked only when a list position says
// "as the source".
struct SourceFacts {
    std::function<QSize()> size;
    std::function<double()> frameRate;
};

struct PropertyWrite {
    QString name;
    QVariant value;
    bool operator==(const PropertyWrite &o) const { return name == o.name && value == o.value; }
};

struct OutputSettings {
    int outType = otVcdNtsc;
    QList<PropertyWrite> writes; // in the order they are made
    int16_t stretchMode = StretchFill;
};

// Fixed list items, position by position, as the pages show them.
struct PicSizeItem {
    QString text;
    int width;  // 0 for "as the source"
    int height;
};
const QList<PicSizeItem> &PicSizeItems();            // cboPicSize
const QStringList &AviFrameItems();                  // cboAVIFrame ("原视频帧数", "10", ...)
const QStringList &MpegVideoBitItems();              // cmbMPEGVideoBit ("500Kb", ...)
const QList<int> &MpegVideoBitValues();              // bit/s, same positions
const QStringList &MpegFrameItems();                 // cmbMpegFrame
const QStringList &AudioSampleItems();               // cmbAudioSample
const QStringList &AudioBitItems();                  // cmbAudioBit
const QList<int> &AudioBitValues();                  // bit/s, same positions
const QStringList &CustomWmvProfileItems();          // cboCusWMV

// Range of the MPEG picture size fields.
constexpr int MpegSizeMin = 48;
constexpr int MpegSizeMax = 999;

// The code of the format that is on, tested in the order AVI, MPEG, VCD, SVCD, DVD,
// WMV; 0 with none on.
int CheckOutType(const OutputChoice &choice);

// The custom WMV profile file of a name: ProgramFolder + "Profiles/" + name + ".prx".
QString CustomProfilePath(const QString &programFolder, const QString &name);

// The property writes a piece's render starts with, in order, and the stretch mode for
// AddVideo. A list without a position leaves its property unwritten (the AVI size and
// rate fall back to 320 x 240 at 15).
OutputSettings MapOutputSettings(const OutputChoice &choice, const QString &programFolder,
                                 const SourceFacts &source);

// Writes them into the component through its properties. False, with the property's name
// in *failed, when the component has no such property or refuses the value.
bool ApplyPropertyWrites(QObject *component, const QList<PropertyWrite> &writes,
                         QString *failed = nullptr);

// The initial selection of the codec lists: the last "DV Video Encoder" or "XviD MPEG-4
// Codec" for video, the last "PCM" for audio; 0 when none is there (-1 for an empty list).
int DefaultVideoCompressor(const QStringList &names);
int DefaultAudioCompressor(const QStringList &names);

} // namespace kc
