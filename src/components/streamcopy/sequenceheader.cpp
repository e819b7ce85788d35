#include "sequenceheader.h"

#include "startcode.h"

namespace kc::fileencoder {

namespace {

constexpr uint8_t kSequenceHeader = 0xB3;
constexpr uint8_t kExtension = 0xB5;
constexpr uint8_t kUserData = 0xB2;
constexpr uint8_t kSequenceEnd = 0xB7;

} // namespace

std::vector<uint8_t> SequenceHeaderTracker::HeaderAtStart(const uint8_t *data, size_t size)
{
    if (!data)
        return {};
    size_t at = NextStartCode(data, size, 0);
    // A sequence end code may close the previous sequence at the front of a packet.
    while (at < size && data[at + 3] == kSequenceEnd)
        at = NextStartCode(data, size, at + 4);
    if (at >= size || data[at + 3] != kSequenceHeader)
        return {};
    const size_t begin = at;
    // The header ends where something other than its extensions and user data begins: the
    // GOP header or the first picture.
    size_t end = NextStartCode(data, size, begin + 4);
    while (end < size && (data[end + 3] == kExtension || data[end + 3] == kUserData))
        end = NextStartCode(data, size, end + 4);
    // 8 bytes of fields follow the start code of a valid header.
    if (end - begin < 12)
        return {};
    return std::vector<uint8_t>(data + begin, data + end);
}

bool SequenceHeaderTracker::Observe(const uint8_t *data, size_t size)
{
    std::vector<uint8_t> header = HeaderAtStart(data, size);
    if (header.empty())
        return false;
    inForce_.swap(header);
    return true;
}

void SequenceHeaderTracker::SetInitial(const uint8_t *data, size_t size)
{
    inForce_ = HeaderAtStart(data, size);
}

} // namespace kc::fileencoder
