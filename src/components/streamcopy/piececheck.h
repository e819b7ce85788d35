#pragma once

#include <csignal>
#include <string>

namespace kc::fileencoder {

// Reads a written piece back as a player opens a file: the container is recognised, the
// video stream is found with the codec that was copied (expectedVideoCodec, an AVCodecID;
// 0 when the piece has no video to look for), and its first packets give a picture.
// False with a one-line reason otherwise.
bool CheckWrittenPiece(const std::string &path, int expectedVideoCodec, const volatile std::sig_atomic_t *stop,
                       std::string *why);

} // namespace kc::fileencoder
