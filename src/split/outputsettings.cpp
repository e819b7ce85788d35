#include "split/outputsettings.h"

#include <QMetaObject>
#include <QObject>
#include <algorithm>

namespace kc {

const QList<PicSizeItem> &PicSizeItems()
{
    static const QList<PicSizeItem> items = {
        {QStringLiteral("原视频尺寸"), 0, 0},
        {QStringLiteral("80×60"), 80, 60},
        {QStringLiteral("96×72"), 96, 72},
        {QStringLiteral("128×96"), 128, 96},
        {QStringLiteral("160×120"), 160, 120},
        {QStringLiteral("176×144"), 176, 144},
        {QStringLiteral("192×144"), 192, 144},
        // The item says 240×180, so that is what is written (an older table wrote a
        // height of 188, which no user choosing this item expects).
        {QStringLiteral("240×180"), 240, 180},
        {QStringLiteral("320×200"), 320, 200},
        {QStringLiteral("320×240"), 320, 240},
        {QStringLiteral("352×240"), 352, 240},
        {QStringLiteral("352×288"), 352, 288},
        {QStringLiteral("480×480"), 480, 480},
        {QStringLiteral("640×480"), 640, 480},
        {QStringLiteral("720×480"), 720, 480},
        {QStringLiteral("720×576"), 720, 576},
    };
    return items;
}

const QStringList &AviFrameItems()
{
    static const QStringList items = {
        QStringLiteral("原视频帧数"), QStringLiteral("10"), QStringLiteral("12"),
        QStringLiteral("15"), QStringLiteral("20"), QStringLiteral("23.976"),
        QStringLiteral("24"), QStringLiteral("25"), QStringLiteral("29.97"),
        QStringLiteral("30"),
    };
    return items;
}

const QStringList &MpegVideoBitItems()
{
    static const QStringList items = {
        QStringLiteral("500Kb"), QStringLiteral("800Kb"), QStringLiteral("1000Kb"),
        QStringLiteral("1200Kb"), QStringLiteral("1500Kb"), QStringLiteral("1800Kb"),
        QStringLiteral("2000Kb"), QStringLiteral("2500Kb"), QStringLiteral("3000Kb"),
        QStringLiteral("4000Kb"), QStringLiteral("5000Kb"), QStringLiteral("6000Kb"),
        QStringLiteral("8000Kb"),
    };
    return items;
}

const QList<int> &MpegVideoBitValues()
{
    static const QList<int> values = {500000,  800000,  1000000, 1200000, 1500000,
                                      1800000, 2000000, 2500000, 3000000, 4000000,
                                      5000000, 6000000, 8000000};
    return values;
}

const QStringList &MpegFrameItems()
{
    static const QStringList items = {QStringLiteral("25"), QStringLiteral("29.97")};
    return items;
}

const QStringList &AudioSampleItems()
{
    static const QStringList items = {QStringLiteral("32000"), QStringLiteral("44100"),
                                      QStringLiteral("48000")};
    return items;
}

const QStringList &AudioBitItems()
{
    static const QStringList items = {QStringLiteral("128"), QStringLiteral("160"),
                                      QStringLiteral("192"), QStringLiteral("224")};
    return items;
}

const QList<int> &AudioBitValues()
{
    static const QList<int> values = {128000, 160000, 192000, 224000};
    return values;
}

const QStringList &CustomWmvProfileItems()
{
    static const QStringList items = {
        QStringLiteral("PDA的16比9宽屏幕配置(150K)"),
        QStringLiteral("PDA的16比9宽屏幕配置(225K)"),
        QStringLiteral("640x480 video"),
        QStringLiteral("High motion video for broadband NTSC (1500 Kbps total)"),
        QStringLiteral("High motion video for broadband NTSC (384 Kbps)"),
        QStringLiteral("High motion video for broadband NTSC (768 Kbps)"),
    };
    return items;
}

int CheckOutType(const OutputChoice &choice)
{
    switch (choice.format) {
    case OutFormat::AVI:
        return otAvi;
    case OutFormat::MPEG:
        return choice.RadBtMpg1 ? otMpeg1 : otMpeg2;
    case OutFormat::VCD:
        return choice.RadBtPal ? otVcdPal : otVcdNtsc;
    case OutFormat::SVCD:
        return choice.RadBtPal ? otSvcdPal : otSvcdNtsc;
    case OutFormat::DVD:
        return choice.RadBtPal ? otDvdPal : otDvdNtsc;
    case OutFormat::WMV:
        return otWmv;
    case OutFormat::None:
    case OutFormat::Copy:
        break;
    }
    return otVcdPal;
}

QString CustomProfilePath(const QString &programFolder, const QString &name)
{
    return programFolder + QStringLiteral("Profiles/") + name + QStringLiteral(".prx");
}

namespace {

bool HasPosition(int pos, qsizetype count)
{
    return pos >= 0 && pos < count;
}

QVariant Rate(double r)
{
    // The component's FrameRate is single precision.
    return QVariant::fromValue(float(r));
}

} // namespace

OutputSettings MapOutputSettings(const OutputChoice &choice, const QString &programFolder,
                                 const SourceFacts &source)
{
    OutputSettings out;
    int width = 320;
    int height = 240;
    double frameRate = 15.0;

    const int code = CheckOutType(choice);
    out.outType = code;
    auto write = [&out](const char *name, const QVariant &value) {
        out.writes.append({QString::fromLatin1(name), value});
    };

    if (code <= otDvdNtsc) {
        write("OutputType", code);
        if (choice.RadBtMode2)
            out.stretchMode = StretchKeepAspect;
    } else if (code == otMpeg1 || code == otMpeg2) {
        write("OutputType", code);
        write("MPEGAC3", choice.mpegAC3);
        if (HasPosition(choice.cmbAudioSample, AudioSampleItems().size()))
            write("MPEGAudioSampleRate", AudioSampleItems().at(choice.cmbAudioSample).toInt());
        if (HasPosition(choice.cmbAudioBit, AudioBitValues().size()))
            write("MPEGAudioBitrate", AudioBitValues().at(choice.cmbAudioBit));
        if (HasPosition(choice.cmbMPEGVideoBit, MpegVideoBitValues().size()))
            write("MPEGVideoBitrate", MpegVideoBitValues().at(choice.cmbMPEGVideoBit));
        if (HasPosition(choice.cmbMpegFrame, MpegFrameItems().size()))
            write("FrameRate", Rate(MpegFrameItems().at(choice.cmbMpegFrame).toDouble()));
        write("MPEGAudioChannels", 2);
        // A size typed past the fields' range is brought to the nearer bound, as the
        // field itself does when the focus leaves it.
        write("OutputFileWidth", int(std::clamp<qint64>(choice.edtWidth, MpegSizeMin, MpegSizeMax)));
        write("OutputFileHeight", int(std::clamp<qint64>(choice.edtHeight, MpegSizeMin, MpegSizeMax)));
    } else if (code == otAvi) {
        const auto &sizes = PicSizeItems();
        if (choice.cboPicSize == 0) {
            // A source whose size cannot be found keeps the working size rather than
            // asking the encoder for a 0 x 0 picture.
            const QSize s = source.size ? source.size() : QSize();
            if (s.width() > 0 && s.height() > 0) {
                width = s.width();
                height = s.height();
            }
        } else if (HasPosition(choice.cboPicSize, sizes.size())) {
            width = sizes.at(choice.cboPicSize).width;
            height = sizes.at(choice.cboPicSize).height;
        }
        if (choice.aviFrameRate && *choice.aviFrameRate > 0) {
            frameRate = *choice.aviFrameRate;
        } else if (choice.cboAVIFrame == 0) {
            const double r = source.frameRate ? source.frameRate() : 0.0;
            if (r > 0)
                frameRate = r;
        } else if (HasPosition(choice.cboAVIFrame, AviFrameItems().size())) {
            frameRate = AviFrameItems().at(choice.cboAVIFrame).toDouble();
        }
        write("OutputType", code);
        write("OutputFileWidth", width);
        write("OutputFileHeight", height);
        write("FrameRate", Rate(frameRate));
        write("UseVideoCompressor", !choice.ckbAVIVideoEncoder);
        write("UseAudioCompressor", !choice.ckbAVIAudioEncoder);
        if (choice.cmbAVIVideoEncoder >= 0)
            write("VideoCompressor", choice.cmbAVIVideoEncoder);
        if (choice.cmbAVIAudioEncoder >= 0)
            write("AudioCompressor", choice.cmbAVIAudioEncoder);
        write("AVIMP3Bitrate", 128);
    } else {
        write("OutputType", code);
        if (!choice.wmvCustomFile.isEmpty())
            write("WMVCustomFileName", choice.wmvCustomFile);
        else if (choice.chkCustomProfile)
            write("WMVCustomFileName", CustomProfilePath(programFolder, choice.cboCusWMV));
        else if (choice.cboWMV >= 0)
            write("WMVProfile", choice.cboWMV);
    }
    write("VideoSampleSize", 24);
    return out;
}

bool ApplyPropertyWrites(QObject *component, const QList<PropertyWrite> &writes, QString *failed)
{
    for (const PropertyWrite &w : writes) {
        const QByteArray name = w.name.toLatin1();
        const bool declared = component->metaObject()->indexOfProperty(name.constData()) >= 0;
        if (!declared || !component->setProperty(name.constData(), w.value)) {
            if (failed)
                *failed = w.name;
            return false;
        }
    }
    return true;
}

namespace {

int LastOf(const QStringList &names, const QStringList &wanted)
{
    if (names.isEmpty())
        return -1;
    int pos = 0;
    for (int i = 0; i < names.size(); ++i) {
        if (wanted.contains(names.at(i)))
            pos = i;
    }
    return pos;
}

} // namespace

int DefaultVideoCompressor(const QStringList &names)
{
    return LastOf(names, {QStringLiteral("DV Video Encoder"), QStringLiteral("XviD MPEG-4 Codec")});
}

int DefaultAudioCompressor(const QStringList &names)
{
    return LastOf(names, {QStringLiteral("PCM")});
}

} // namespace kc
