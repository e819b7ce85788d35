#pragma once

#include <csignal>
#include <memory>
#include <string>

struct AVFormatContext;

namespace kc::fileencoder {

// An input opened and probed once, so that several ranges of it (the pieces of a split) are
// copied through one reader: opening a file again costs a probe (decoding its first frames)
// and, for some containers, reading its whole index.
class CopySource {
public:
    CopySource();
    ~CopySource();
    CopySource(const CopySource &) = delete;
    CopySource &operator=(const CopySource &) = delete;

    // False with a one-line reason. stop: non-zero abandons blocking reads (may be null).
    bool Open(const std::string &input, const volatile std::sig_atomic_t *stop, std::string *error);

    // Opens the same input again, for reading from its very beginning: a seek to the start
    // time can land past the first packets (a transport stream's first keyframe decodes
    // before that time).
    bool Reopen(std::string *error) { return Open(std::string(path_), stop_, error); }

    AVFormatContext *Context() const { return ic_.get(); }
    const std::string &Path() const { return path_; }
    // Whether the reader is still where opening left it, at the beginning of the input.
    bool AtBeginning() const { return atBeginning_; }
    void MarkRead() { atBeginning_ = false; }

private:
    struct Close {
        void operator()(AVFormatContext *c) const;
    };
    std::unique_ptr<AVFormatContext, Close> ic_;
    std::string path_;
    const volatile std::sig_atomic_t *stop_ = nullptr;
    bool atBeginning_ = false;
};

} // namespace kc::fileencoder
