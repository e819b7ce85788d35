#pragma once

#include <cstddef>
#include <string>

struct AVIOContext;

namespace kc::fileencoder {

// The output file: created only if it does not exist yet (never overwritten), written
// through an FFmpeg I/O context with a large buffer, and removed again unless Commit
// succeeds.
class OutputFile {
public:
    static constexpr size_t kBufferSize = 1 << 18;

    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // False with a one-line reason when the file exists or cannot be created.
    bool Create(const std::string &path, std::string *error);
    AVIOContext *Io() const { return io_; }

    // Writes out what is buffered, so that the file can be read back; false with a reason
    // when any write failed.
    bool Flush(std::string *error);
    // Flushes and closes; false with a reason when any write failed. The file stays only
    // when this returns true.
    bool Commit(std::string *error);
    // Closes and removes the file (also done by the destructor if not committed).
    void Discard();

private:
    static int WritePacket(void *opaque, uint8_t *buf, int size);
    static int64_t Seek(void *opaque, int64_t offset, int whence);
    void FreeIo();

    std::string path_;
    int fd_ = -1;
    AVIOContext *io_ = nullptr;
    int writeErrno_ = 0;
};

} // namespace kc::fileencoder
