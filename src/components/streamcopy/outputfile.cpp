#include "outputfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace kc::fileencoder {

OutputFile::~OutputFile()
{
    Discard();
}

bool OutputFile::Create(const std::string &path, std::string *error)
{
    // O_EXCL makes "does not exist yet" and "create it" one step, so a file that appears in
    // between is never overwritten.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int e = errno;
        *error = e == EEXIST ? "the output file already exists: " + path
                             : "cannot create the output file " + path + ": " + std::strerror(e);
        return false;
    }
    path_ = path;
    fd_ = fd;
    auto *buffer = static_cast<unsigned char *>(av_malloc(kBufferSize));
    if (buffer)
        io_ = avio_alloc_context(buffer, static_cast<int>(kBufferSize), 1, this, nullptr, &OutputFile::WritePacket,
                                 &OutputFile::Seek);
    if (!io_) {
        av_free(buffer);
        *error = "out of memory";
        Discard();
        return false;
    }
    // Muxers mark flush points after each packet (the MPEG program stream muxer after each
    // 2 KiB pack); below this size they do not empty the buffer, so writes stay whole.
    io_->min_packet_size = static_cast<int>(kBufferSize);
    return true;
}

int OutputFile::WritePacket(void *opaque, uint8_t *buf, int size)
{
    auto *self = static_cast<OutputFile *>(opaque);
    int done = 0;
    while (done < size) {
        const ssize_t n = ::write(self->fd_, buf + done, static_cast<size_t>(size - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            self->writeErrno_ = errno;
            return AVERROR(errno);
        }
        done += static_cast<int>(n);
    }
    return size;
}

int64_t OutputFile::Seek(void *opaque, int64_t offset, int whence)
{
    auto *self = static_cast<OutputFile *>(opaque);
    if (whence & AVSEEK_SIZE) {
        struct stat st;
        if (::fstat(self->fd_, &st) < 0)
            return AVERROR(errno);
        return st.st_size;
    }
    const off_t at = ::lseek(self->fd_, offset, whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : at;
}

void OutputFile::FreeIo()
{
    if (io_) {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
}

bool OutputFile::Flush(std::string *error)
{
    if (!io_) {
        *error = "the output file is not open";
        return false;
    }
    avio_flush(io_);
    if (io_->error < 0 || writeErrno_ != 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        if (writeErrno_ != 0)
            std::strncpy(text, std::strerror(writeErrno_), sizeof text - 1);
        else
            av_strerror(io_->error, text, sizeof text);
        *error = "cannot write the output file " + path_ + ": " + text;
        return false;
    }
    return true;
}

bool OutputFile::Commit(std::string *error)
{
    if (fd_ < 0) {
        *error = "the output file is not open";
        return false;
    }
    avio_flush(io_);
    const int ioError = io_->error;
    FreeIo();
    if (ioError < 0 || writeErrno_ != 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        if (writeErrno_ != 0)
            std::strncpy(text, std::strerror(writeErrno_), sizeof text - 1);
        else
            av_strerror(ioError, text, sizeof text);
        *error = "cannot write the output file " + path_ + ": " + text;
        Discard();
        return false;
    }
    // Delayed write errors (a full disk, a network file system) show up only here.
    if (::close(fd_) < 0) {
        const int e = errno;
        fd_ = -1;
        *error = "cannot write the output file " + path_ + ": " + std::strerror(e);
        ::unlink(path_.c_str());
        path_.clear();
        return false;
    }
    fd_ = -1;
    path_.clear();
    return true;
}

void OutputFile::Discard()
{
    FreeIo();
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!path_.empty()) {
        ::unlink(path_.c_str());
        path_.clear();
    }
}

} // namespace kc::fileencoder
