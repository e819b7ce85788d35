#include "copysource.h"

#include "copysetup.h"

#include "components/timestampresets/timestampresets.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

extern "C" {
#include <libavformat/avformat.h>
}

namespace kc::fileencoder {

void CopySource::Close::operator()(AVFormatContext *c) const
{
    DetachTimestampResets(c);
    avformat_close_input(&c);
}

CopySource::CopySource() = default;
CopySource::~CopySource() = default;

bool CopySource::Open(const std::string &input, const volatile std::sig_atomic_t *stop, std::string *error)
{
    ic_.reset();
    path_ = input;
    stop_ = stop;
    atBeginning_ = false;
    const auto stopped = [stop] { return stop && *stop; };
    struct stat st;
    if (::stat(input.c_str(), &st) < 0) {
        const int e = errno;
        *error = e == ENOENT ? "the input file does not exist: " + input
                             : "cannot open the input file " + input + ": " + std::strerror(e);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        *error = "the input is a folder, not a file: " + input;
        return false;
    }

    AVFormatContext *ic = avformat_alloc_context();
    if (!ic) {
        *error = "out of memory";
        return false;
    }
    ic->interrupt_callback.callback = &InterruptRequested;
    ic->interrupt_callback.opaque = const_cast<std::sig_atomic_t *>(stop);
    // "file:" keeps a name such as "a:b.avi" or "-" a plain file name, never a protocol or
    // the standard input.
    const std::string url = "file:" + input;
    int r = avformat_open_input(&ic, url.c_str(), nullptr, nullptr);
    if (r < 0) {
        *error = stopped() ? "stopped" : "cannot read the input as a media file (" + AvErrorText(r) + "): " + input;
        return false;
    }
    ic_.reset(ic);
    r = avformat_find_stream_info(ic, nullptr);
    if (r < 0) {
        *error = stopped() ? "stopped" : "cannot read the streams of the input (" + AvErrorText(r) + "): " + input;
        ic_.reset();
        return false;
    }
    FillInPresentationTimes(ic);
    AttachTimestampResets(ic, input);
    atBeginning_ = true;
    return true;
}

} // namespace kc::fileencoder
