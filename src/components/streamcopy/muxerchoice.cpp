#include "muxerchoice.h"

#include <vector>

namespace kc::fileencoder {

namespace {

std::vector<std::string_view> SplitNames(std::string_view names)
{
    std::vector<std::string_view> out;
    while (!names.empty()) {
        const size_t comma = names.find(',');
        const std::string_view one = names.substr(0, comma);
        if (!one.empty())
            out.push_back(one);
        if (comma == std::string_view::npos)
            break;
        names.remove_prefix(comma + 1);
    }
    return out;
}

} // namespace

std::string ChooseMuxerName(std::string_view demuxerNames, bool needsMpeg2Systems, std::string_view byFileName,
                            const std::function<bool(std::string_view)> &isMuxer)
{
    const std::vector<std::string_view> names = SplitNames(demuxerNames);
    if (names.empty())
        return {};

    // One demuxer reads both MPEG-1 system streams and MPEG-2 program streams; the muxers
    // are separate.
    if (names.front() == "mpeg") {
        const char *muxer = needsMpeg2Systems ? "vob" : "mpeg";
        return isMuxer(muxer) ? muxer : std::string();
    }
    // A family demuxer ("mov,mp4,...") has one muxer per member; the output's own name picks
    // the member when it is one of them.
    for (std::string_view n : names) {
        if (!byFileName.empty() && n == byFileName && isMuxer(n))
            return std::string(n);
    }
    for (std::string_view n : names) {
        if (isMuxer(n))
            return std::string(n);
    }
    // Raw streams ("mpegvideo", "h264", ...) are read by one demuxer but written by the muxer
    // of their kind, which the file name gives.
    if (!byFileName.empty() && isMuxer(byFileName))
        return std::string(byFileName);
    return {};
}

} // namespace kc::fileencoder
