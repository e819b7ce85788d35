#include "muxeroptions.h"

#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

namespace kc::fileencoder {

AVDictionary *PieceMuxerOptions(const AVFormatContext *in, const AVFormatContext *out)
{
    AVDictionary *options = nullptr;
    if (!in->iformat || std::strcmp(in->iformat->name, "mpegts") != 0 || !out->oformat
        || std::strcmp(out->oformat->name, "mpegts") != 0)
        return options;
    // The demuxer exports the packet size it found; 204 (with Reed-Solomon bytes) is written
    // as 188.
    int64_t packetSize = 0;
    if (av_opt_get_int(const_cast<AVFormatContext *>(in), "ts_packetsize", AV_OPT_SEARCH_CHILDREN, &packetSize) < 0)
        return options;
    av_dict_set(&options, "mpegts_m2ts_mode", packetSize == 192 ? "1" : "0", 0);
    return options;
}

} // namespace kc::fileencoder
