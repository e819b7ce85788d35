#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace kc::fileencoder {

// Which muxer writes the input's container back.
//   demuxerNames: the demuxer's name list, e.g. "avi", "mpeg", "mov,mp4,m4a,3gp,3g2,mj2".
//   needsMpeg2Systems: for an MPEG program stream, whether its streams need MPEG-2 systems
//     (anything but MPEG-1 video and MPEG audio); MPEG-1 content stays an MPEG-1 system stream.
//   byFileName: the muxer the output's file name suggests ("" when none).
//   isMuxer: whether a muxer of that name exists.
// Returns "" when none can.
std::string ChooseMuxerName(std::string_view demuxerNames, bool needsMpeg2Systems, std::string_view byFileName,
                            const std::function<bool(std::string_view)> &isMuxer);

} // namespace kc::fileencoder
