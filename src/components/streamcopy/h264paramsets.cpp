#include "h264paramsets.h"

#include "startcode.h"

#include <algorithm>

namespace kc::fileencoder {

namespace {

// Reads one unsigned Exp-Golomb value; emulation prevention bytes cannot occur this early
// in a parameter set (the first bytes are never two zeros followed by a 3 before the id).
bool ReadUe(const uint8_t *data, size_t size, size_t &bit, uint32_t &value)
{
    int zeros = 0;
    for (;;) {
        if (bit >= size * 8 || zeros > 31)
            return false;
        const bool one = (data[bit / 8] >> (7 - bit % 8)) & 1;
        ++bit;
        if (one)
            break;
        ++zeros;
    }
    uint32_t rest = 0;
    for (int i = 0; i < zeros; ++i) {
        if (bit >= size * 8)
            return false;
        rest = (rest << 1) | ((data[bit / 8] >> (7 - bit % 8)) & 1);
        ++bit;
    }
    value = (1u << zeros) - 1 + rest;
    return true;
}

} // namespace

bool ParseAvcConfig(const uint8_t *data, size_t size, AvcConfig *config)
{
    if (!data || size < 7 || data[0] != 1)
        return false;
    AvcConfig c;
    c.lengthSize = (data[4] & 3) + 1;
    size_t at = 5;
    for (int list = 0; list < 2; ++list) {
        if (at >= size)
            return false;
        const int count = list == 0 ? data[at] & 0x1f : data[at];
        ++at;
        for (int i = 0; i < count; ++i) {
            if (at + 2 > size)
                return false;
            const size_t len = (size_t(data[at]) << 8) | data[at + 1];
            at += 2;
            if (at + len > size)
                return false;
            (list == 0 ? c.sps : c.pps).emplace_back(data + at, data + at + len);
            at += len;
        }
    }
    c.trailer.assign(data + at, data + size);
    *config = std::move(c);
    return true;
}

std::vector<uint8_t> WriteAvcConfig(const AvcConfig &config)
{
    std::vector<uint8_t> out;
    const std::vector<uint8_t> *first = config.sps.empty() ? nullptr : &config.sps.front();
    out.push_back(1);
    out.push_back(first && first->size() > 3 ? (*first)[1] : 0);
    out.push_back(first && first->size() > 3 ? (*first)[2] : 0);
    out.push_back(first && first->size() > 3 ? (*first)[3] : 0);
    out.push_back(uint8_t(0xfc | (config.lengthSize - 1)));
    out.push_back(uint8_t(0xe0 | (config.sps.size() & 0x1f)));
    for (const auto &s : config.sps) {
        out.push_back(uint8_t(s.size() >> 8));
        out.push_back(uint8_t(s.size()));
        out.insert(out.end(), s.begin(), s.end());
    }
    out.push_back(uint8_t(config.pps.size()));
    for (const auto &p : config.pps) {
        out.push_back(uint8_t(p.size() >> 8));
        out.push_back(uint8_t(p.size()));
        out.insert(out.end(), p.begin(), p.end());
    }
    out.insert(out.end(), config.trailer.begin(), config.trailer.end());
    return out;
}

std::vector<std::vector<uint8_t>> SplitAnnexB(const uint8_t *data, size_t size)
{
    std::vector<std::vector<uint8_t>> units;
    size_t i = 0;
    size_t start = size; // no unit open yet
    while (i + 2 < size) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            if (start < size) {
                size_t end = i;
                while (end > start && data[end - 1] == 0)
                    --end; // a four-byte start code's leading zero, or trailing zeros
                units.emplace_back(data + start, data + end);
            }
            i += 3;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < size)
        units.emplace_back(data + start, data + size);
    units.erase(std::remove_if(units.begin(), units.end(), [](const auto &u) { return u.empty(); }), units.end());
    return units;
}

std::vector<uint8_t> JoinLengthPrefixed(const std::vector<std::vector<uint8_t>> &units, int lengthSize)
{
    std::vector<uint8_t> out;
    for (const auto &u : units) {
        for (int b = lengthSize - 1; b >= 0; --b)
            out.push_back(uint8_t(u.size() >> (8 * b)));
        out.insert(out.end(), u.begin(), u.end());
    }
    return out;
}

bool HasIdrSlice(const uint8_t *data, size_t size, int lengthSize)
{
    if (lengthSize == 0) {
        for (const auto &unit : SplitAnnexB(data, size))
            if (NalType(unit) == 5)
                return true;
        return false;
    }
    size_t at = 0;
    while (at + static_cast<size_t>(lengthSize) < size) {
        size_t len = 0;
        for (int b = 0; b < lengthSize; ++b)
            len = (len << 8) | data[at + b];
        at += static_cast<size_t>(lengthSize);
        if (len == 0 || at + len > size)
            return false;
        if ((data[at] & 0x1f) == 5)
            return true;
        at += len;
    }
    return false;
}

int ParameterSetId(const std::vector<uint8_t> &unit)
{
    const int type = NalType(unit);
    // An SPS names its id after profile, constraint flags and level; a PPS first thing.
    const size_t skip = type == 7 ? 4 : type == 8 ? 1 : 0;
    if (skip == 0 || unit.size() <= skip)
        return -1;
    size_t bit = 0;
    uint32_t id = 0;
    if (!ReadUe(unit.data() + skip, unit.size() - skip, bit, id))
        return -1;
    return int(id);
}

int FreeParameterSetId(const std::vector<std::vector<uint8_t>> &units)
{
    for (int id = 31; id >= 0; --id) {
        const bool used = std::any_of(units.begin(), units.end(), [id](const auto &u) {
            return (NalType(u) == 7 || NalType(u) == 8) && ParameterSetId(u) == id;
        });
        if (!used)
            return id;
    }
    return -1;
}

namespace {

bool IsSlice(int type) { return type >= 1 && type <= 5; }

} // namespace

size_t FirstSliceOffset(const uint8_t *data, size_t size)
{
    for (size_t at = NextStartCode(data, size, 0); at + 3 < size; at = NextStartCode(data, size, at + 3)) {
        if (IsSlice(data[at + 3] & 0x1f)) {
            // A four-byte start code's leading zero belongs to it.
            return at > 0 && data[at - 1] == 0 ? at - 1 : at;
        }
    }
    return size;
}

void ParameterSetTracker::SetInitial(const uint8_t *data, size_t size)
{
    for (auto &unit : SplitAnnexB(data, size))
        Take(std::move(unit));
}

bool ParameterSetTracker::Observe(const uint8_t *data, size_t size)
{
    bool sps = false, pps = false;
    // Parameter sets come before the access unit's first slice: the slice data, most of the
    // packet, is not searched.
    for (size_t at = NextStartCode(data, size, 0); at + 3 < size;) {
        const int type = data[at + 3] & 0x1f;
        if (IsSlice(type))
            break;
        const size_t next = NextStartCode(data, size, at + 3);
        if (type == 7 || type == 8) {
            size_t end = next;
            while (end > at + 3 && data[end - 1] == 0)
                --end;
            Take(std::vector<uint8_t>(data + at + 3, data + end));
            (type == 7 ? sps : pps) = true;
        }
        at = next;
    }
    return sps && pps;
}

void ParameterSetTracker::Take(std::vector<uint8_t> unit)
{
    const int type = NalType(unit);
    const int id = ParameterSetId(unit);
    if ((type == 7 || type == 8) && id >= 0)
        (type == 7 ? sps_ : pps_)[id] = std::move(unit);
}

std::vector<uint8_t> ParameterSetTracker::InForce() const
{
    std::vector<uint8_t> out;
    for (const auto *sets : {&sps_, &pps_}) {
        for (const auto &[id, unit] : *sets) {
            out.insert(out.end(), {0, 0, 0, 1});
            out.insert(out.end(), unit.begin(), unit.end());
        }
    }
    return out;
}

} // namespace kc::fileencoder
