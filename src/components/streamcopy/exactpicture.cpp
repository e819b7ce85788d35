#include "exactpicture.h"

#include "startcode.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/motion_vector.h>
#include <libavutil/pixfmt.h>
}

namespace kc::fileencoder {

namespace {

constexpr uint8_t kPictureStart = 0x00;
constexpr uint8_t kSliceFirst = 0x01;
constexpr uint8_t kExtensionStart = 0xB5;
constexpr uint8_t kSequenceStart = 0xB3;

// Scan position -> coefficient index (row * 8 + column).
constexpr std::array<int, 64> kZigzag = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                         12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                         35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                         58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// With a flat intra matrix of 16 and a quantiser scale of 1 (the non-linear scale's first
// step), a decoder multiplies each coded level by 16 and divides by 16: the levels are the
// coefficients themselves. An 11-bit DC precision does the same for the DC term.
constexpr int kMatrixValue = 16;
constexpr int kNonLinearScaleCode = 1;
constexpr int kDcPrecision = 3;
constexpr int kDcReset = 1 << (8 + kDcPrecision - 1);

class BitWriter {
public:
    void Put(uint32_t value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            acc_ = static_cast<uint8_t>((acc_ << 1) | ((value >> i) & 1));
            if (++used_ == 8) {
                out_.push_back(acc_);
                acc_ = 0;
                used_ = 0;
            }
        }
    }
    void Align()
    {
        if (used_)
            Put(0, 8 - used_);
    }
    void StartCode(uint8_t code)
    {
        Align();
        out_.insert(out_.end(), {0, 0, 1, code});
    }
    std::vector<uint8_t> Take()
    {
        Align();
        return std::move(out_);
    }

private:
    std::vector<uint8_t> out_;
    uint8_t acc_ = 0;
    int used_ = 0;
};

struct SequenceFacts {
    bool ok = false;
    int width = 0;
    int height = 0;
    bool progressive = true;
    int chromaFormat = 1; // 1: 4:2:0, 2: 4:2:2
};

SequenceFacts ReadSequence(const std::vector<uint8_t> &header)
{
    SequenceFacts f;
    const uint8_t *d = header.data();
    const size_t n = header.size();
    const size_t at = NextStartCode(d, n, 0);
    if (at + 8 > n || d[at + 3] != kSequenceStart)
        return f;
    f.width = (d[at + 4] << 4) | (d[at + 5] >> 4);
    f.height = ((d[at + 5] & 0x0F) << 8) | d[at + 6];
    for (size_t p = NextStartCode(d, n, at + 4); p + 6 < n; p = NextStartCode(d, n, p + 4)) {
        if (d[p + 3] == kExtensionStart && (d[p + 4] >> 4) == 1) {
            // extension id (4), profile and level (8), progressive_sequence (1), chroma_format (2),
            // horizontal and vertical size extensions (2 + 2).
            const uint32_t bits = (static_cast<uint32_t>(d[p + 4]) << 16) | (d[p + 5] << 8) | d[p + 6];
            f.progressive = (bits >> 11) & 1;
            f.chromaFormat = (bits >> 9) & 3;
            f.width |= ((bits >> 7) & 3) << 12;
            f.height |= ((bits >> 5) & 3) << 12;
            f.ok = f.width > 0 && f.height > 0;
            return f;
        }
    }
    return f; // MPEG-1: no extension
}

// The orthonormal 8-point DCT basis: basis[k][x].
const std::array<std::array<double, 8>, 8> &Basis()
{
    static const auto table = [] {
        std::array<std::array<double, 8>, 8> b{};
        for (int k = 0; k < 8; ++k)
            for (int x = 0; x < 8; ++x)
                b[k][x] = (k == 0 ? std::sqrt(0.125) : 0.5) * std::cos((2 * x + 1) * k * M_PI / 16.0);
        return b;
    }();
    return table;
}

using Block = std::array<double, 64>;
using Coefficients = std::array<int, 64>;

Block ForwardDct(const Block &pixels)
{
    const auto &b = Basis();
    Block rows{}, out{};
    for (int y = 0; y < 8; ++y)
        for (int u = 0; u < 8; ++u) {
            double s = 0;
            for (int x = 0; x < 8; ++x)
                s += b[u][x] * pixels[y * 8 + x];
            rows[y * 8 + u] = s;
        }
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
            double s = 0;
            for (int y = 0; y < 8; ++y)
                s += b[v][y] * rows[y * 8 + u];
            out[v * 8 + u] = s;
        }
    return out;
}

Block InverseDct(const Coefficients &c)
{
    const auto &b = Basis();
    Block rows{}, out{};
    for (int v = 0; v < 8; ++v)
        for (int x = 0; x < 8; ++x) {
            double s = 0;
            for (int u = 0; u < 8; ++u)
                s += b[u][x] * c[v * 8 + u];
            rows[v * 8 + x] = s;
        }
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            double s = 0;
            for (int v = 0; v < 8; ++v)
                s += b[v][y] * rows[v * 8 + x];
            out[y * 8 + x] = s;
        }
    return out;
}


// The inverse transform of a single coefficient of 1, for every coefficient.
const std::array<Block, 64> &UnitImages()
{
    static const auto table = [] {
        std::array<Block, 64> images{};
        for (int i = 0; i < 64; ++i) {
            Coefficients c{};
            c[i] = 1;
            images[i] = InverseDct(c);
        }
        return images;
    }();
    return table;
}

// The wanted output of a block's inverse transform: the residual that turns the prediction
// (or nothing, in an intra block) into the samples, and at the sample range's ends the
// side on which the decoder's clipping makes any value do.
struct BlockTarget {
    std::array<int, 64> value{};
    std::array<bool, 64> visible{};
    std::array<bool, 64> anyBelow{};
    std::array<bool, 64> anyAbove{};
};

double PixelPenalty(double y, const BlockTarget &t, int i, double margin)
{
    if (!t.visible[i])
        return 0;
    const double diff = y - t.value[i];
    if (diff > margin && !t.anyAbove[i])
        return diff - margin;
    if (diff < -margin && !t.anyBelow[i])
        return diff + margin;
    return 0;
}

double Penalty(const Block &y, const BlockTarget &t, double margin, Block *pull)
{
    double total = 0;
    for (int i = 0; i < 64; ++i) {
        const double d = PixelPenalty(y[i], t, i, margin);
        (*pull)[i] = -d;
        total += d * d;
    }
    return total;
}

int EffectiveLast(const Coefficients &c, long sum)
{
    return (sum & 1) == 0 ? (c[63] ^ 1) : c[63];
}

// Integer coefficients whose inverse transform lies within margin of every wanted value:
// from the rounded forward transform, single steps on the coefficients that pull hardest,
// as long as they help. Returns what is left outside the band (0: exact); *out holds the
// closest coefficients found (a block often has no exact ones).
double Solve(const BlockTarget &t, double margin, Coefficients *out)
{
    // Most blocks of a picture predicted from the same place want no change at all: no
    // coefficient, whose inverse transform (the mismatch control's one step on the last
    // coefficient) stays within the margin everywhere.
    static const double lastUnitPeak = [] {
        double peak = 0;
        for (double v : UnitImages()[63])
            peak = std::max(peak, std::fabs(v));
        return peak;
    }();
    if (margin >= lastUnitPeak
        && std::all_of(t.value.begin(), t.value.end(), [](int v) { return v == 0; })) {
        out->fill(0);
        return 0;
    }
    Block wanted{};
    for (int i = 0; i < 64; ++i)
        wanted[i] = t.value[i];
    const Block f = ForwardDct(wanted);
    Coefficients c{};
    for (int i = 0; i < 64; ++i)
        c[i] = std::clamp(static_cast<int>(std::lround(f[i])), -2047, 2047);
    long sum = 0;
    for (int v : c)
        sum += v;
    Coefficients eff = c;
    eff[63] = EffectiveLast(c, sum);
    Block y = InverseDct(eff);
    Block pull{};
    double best = Penalty(y, t, margin, &pull);
    const auto &unit = UnitImages();
    for (int round = 0; round < 100 && best > 0; ++round) {
        const Block g = ForwardDct(pull);
        std::array<int, 64> order{};
        std::array<double, 64> strength{};
        for (int i = 0; i < 64; ++i) {
            order[i] = i;
            strength[i] = std::fabs(g[i]);
        }
        std::sort(order.begin(), order.end(), [&](int a, int b) { return strength[a] > strength[b]; });
        bool moved = false;
        for (int k = 0; k < 32 && !moved; ++k) {
            const int i = order[k];
            for (int step : {g[i] >= 0 ? 1 : -1, g[i] >= 0 ? -1 : 1}) {
                if (c[i] + step < -2047 || c[i] + step > 2047)
                    continue;
                const long trialSum = sum + step;
                // The step changes the coefficient and, through the parity, what the decoder
                // makes of the last one.
                const int last = c[63] + (i == 63 ? step : 0);
                const int lastAfter = (trialSum & 1) == 0 ? (last ^ 1) : last;
                const int lastChange = lastAfter - eff[63];
                const auto valueAt = [&](int px) {
                    double v = y[px];
                    if (i != 63)
                        v += step * unit[i][px];
                    v += lastChange * unit[63][px];
                    return v;
                };
                // Most steps do not help: a step is given up as soon as it cannot beat the
                // best, and only one that does is applied.
                double p = 0;
                for (int px = 0; px < 64 && p < best; ++px) {
                    const double d = PixelPenalty(valueAt(px), t, px, margin);
                    p += d * d;
                }
                if (p < best) {
                    for (int px = 0; px < 64; ++px) {
                        y[px] = valueAt(px);
                        pull[px] = -PixelPenalty(y[px], t, px, margin);
                    }
                    best = p;
                    c[i] += step;
                    sum = trialSum;
                    eff = c;
                    eff[63] = lastAfter;
                    moved = true;
                    break;
                }
            }
        }
        if (!moved)
            break;
    }
    *out = c;
    return best;
}

struct Plane {
    const uint8_t *data = nullptr;
    int linesize = 0;
    int width = 0;
    int height = 0;
    int At(int x, int y) const { return data[y * linesize + x]; }
};

struct PictureLayout {
    int mbWidth = 0;
    int mbHeight = 0;
    bool chroma422 = false;
};

// A block of a macroblock: plane 0 luma, 1 Cb, 2 Cr; its position in samples.
struct BlockPlace {
    int plane;
    int x;
    int y;
};

// In coding order: four luma blocks, then chroma (Cb, Cr, and for 4:2:2 Cb, Cr below).
std::vector<BlockPlace> MacroblockBlocks(int mx, int my, const PictureLayout &l)
{
    std::vector<BlockPlace> b = {{0, mx * 16, my * 16}, {0, mx * 16 + 8, my * 16}, {0, mx * 16, my * 16 + 8},
                                 {0, mx * 16 + 8, my * 16 + 8}};
    const int chromaHigh = l.chroma422 ? 16 : 8;
    for (int row = 0; row < (l.chroma422 ? 2 : 1); ++row) {
        b.push_back({1, mx * 8, my * chromaHigh + row * 8});
        b.push_back({2, mx * 8, my * chromaHigh + row * 8});
    }
    return b;
}

struct MotionVector {
    int x = 0; // half samples
    int y = 0;
};

// The prediction of one sample from the reference with a half-sample vector, as MPEG-2
// interpolates; false when it would read outside the picture.
bool Predict(const Plane &ref, int x, int y, MotionVector mv, int *out)
{
    const int ix = x + (mv.x >> 1);
    const int iy = y + (mv.y >> 1);
    const int hx = mv.x & 1;
    const int hy = mv.y & 1;
    if (ix < 0 || iy < 0 || ix + hx >= ref.width || iy + hy >= ref.height)
        return false;
    const int a = ref.At(ix, iy);
    if (hx && hy)
        *out = (a + ref.At(ix + 1, iy) + ref.At(ix, iy + 1) + ref.At(ix + 1, iy + 1) + 2) >> 2;
    else if (hx)
        *out = (a + ref.At(ix + 1, iy) + 1) >> 1;
    else if (hy)
        *out = (a + ref.At(ix, iy + 1) + 1) >> 1;
    else
        *out = a;
    return true;
}

MotionVector ChromaVector(MotionVector mv, bool chroma422)
{
    // Halved toward zero where the chroma is subsampled.
    return {mv.x / 2, chroma422 ? mv.y : mv.y / 2};
}

// The wanted block: samples minus the prediction (none for intra). False when a visible
// sample would be predicted from outside the reference.
bool TargetFor(const Plane &want, const Plane *ref, const BlockPlace &b, MotionVector mv, BlockTarget *t)
{
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const int i = y * 8 + x;
            const int px = b.x + x;
            const int py = b.y + y;
            t->visible[i] = px < want.width && py < want.height;
            // Beyond the picture's edge nothing is shown; the edge sample keeps those cheap.
            const int sample = want.At(std::min(px, want.width - 1), std::min(py, want.height - 1));
            int prediction = 0;
            if (ref && t->visible[i] && !Predict(*ref, px, py, mv, &prediction))
                return false;
            if (ref && !t->visible[i])
                prediction = sample;
            t->value[i] = sample - prediction;
            t->anyBelow[i] = sample == 0;
            t->anyAbove[i] = sample == 255;
        }
    return true;
}

struct MacroblockCode {
    bool intra = true;
    MotionVector mv;
    std::vector<Coefficients> blocks;
};

constexpr double kMargin = 0.49;

// The ways a macroblock is tried, in order: with a reference, the prediction from the same
// place (exact at once where the picture did not change), then from where the picture being
// replaced predicted it from (its own vector into that reference, when it had one), then
// intra coding. Other nearby places hardly ever make a macroblock exact that these leave
// inexact, and each costs as much as all of these.
struct Way {
    bool intra = true;
    MotionVector mv;
};

std::vector<Way> WaysToTry(bool predicted, const std::optional<MotionVector> &hint)
{
    std::vector<Way> ways;
    if (predicted) {
        ways.push_back({false, {}});
        if (hint && (hint->x != 0 || hint->y != 0))
            ways.push_back({false, *hint});
    }
    ways.push_back({true, {}});
    return ways;
}

// Tries the ways to code a macroblock from number `from` on and keeps the first exact one,
// else the last (intra coding, its blocks as close as they come). True when it is exact;
// *tried is the last way tried.
bool CodeMacroblock(int mx, int my, const PictureLayout &l, const Plane want[3], const Plane *ref,
                    const std::optional<MotionVector> &hint, int from, MacroblockCode *code, int *tried)
{
    const std::vector<BlockPlace> places = MacroblockBlocks(mx, my, l);
    const std::vector<Way> ways = WaysToTry(ref != nullptr, hint);
    const int last = static_cast<int>(ways.size()) - 1;
    double closest = -1;
    MacroblockCode best;
    for (int n = from; n <= last; ++n) {
        MacroblockCode trial;
        trial.intra = ways[static_cast<size_t>(n)].intra;
        trial.mv = ways[static_cast<size_t>(n)].mv;
        trial.blocks.assign(places.size(), Coefficients{});
        // A way that leaves one block inexact is given up at once while another remains:
        // the last way is the one kept when none is exact.
        const bool lastWay = n == last;
        double left = 0;
        bool inside = true;
        for (size_t k = 0; k < places.size() && inside && (lastWay || left == 0); ++k) {
            const BlockPlace &b = places[k];
            const MotionVector bmv = b.plane == 0 ? trial.mv : ChromaVector(trial.mv, l.chroma422);
            BlockTarget t;
            inside = TargetFor(want[b.plane], trial.intra ? nullptr : &ref[b.plane], b, bmv, &t);
            if (inside)
                left += Solve(t, kMargin, &trial.blocks[k]);
        }
        if (!inside)
            continue;
        *tried = n;
        if (!lastWay && left > 0)
            continue;
        if (left == 0) {
            *code = std::move(trial);
            return true;
        }
        if (closest < 0 || left < closest) {
            closest = left;
            best = std::move(trial);
        }
    }
    *tried = last;
    if (closest >= 0)
        *code = std::move(best);
    return false;
}

// Half-sample vectors of the macroblocks the picture's decoder predicted from the past
// (exported with the picture), by macroblock; none for the others.
std::vector<std::optional<MotionVector>> PastVectors(const AVFrame *picture, const PictureLayout &l)
{
    std::vector<std::optional<MotionVector>> hints(static_cast<size_t>(l.mbWidth * l.mbHeight));
    const AVFrameSideData *sd = av_frame_get_side_data(picture, AV_FRAME_DATA_MOTION_VECTORS);
    if (!sd)
        return hints;
    const auto *mvs = reinterpret_cast<const AVMotionVector *>(sd->data);
    const size_t n = sd->size / sizeof(AVMotionVector);
    for (size_t i = 0; i < n; ++i) {
        const AVMotionVector &v = mvs[i];
        if (v.source >= 0 || v.w != 16 || v.h != 16 || v.motion_scale <= 0)
            continue;
        if ((v.motion_x * 2) % v.motion_scale != 0 || (v.motion_y * 2) % v.motion_scale != 0)
            continue;
        const int mx = (v.dst_x - 8) / 16;
        const int my = (v.dst_y - 8) / 16;
        if (mx < 0 || my < 0 || mx >= l.mbWidth || my >= l.mbHeight || v.dst_x != mx * 16 + 8 || v.dst_y != my * 16 + 8)
            continue;
        // The exported vector points from the picture into the reference, in 1/scale samples.
        hints[static_cast<size_t>(my * l.mbWidth + mx)] = MotionVector{v.motion_x * 2 / v.motion_scale,
                                                                       v.motion_y * 2 / v.motion_scale};
    }
    return hints;
}

// Calls code(i) for every i in which, on all cores: macroblocks are coded independently of
// each other.
template <typename Code>
void CodeEach(const std::vector<size_t> &which, Code code)
{
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t k = next++; k < which.size(); k = next++)
            code(which[k]);
    };
    const size_t helpers = std::min<size_t>(std::max(1u, std::thread::hardware_concurrency()) - 1, which.size() / 64);
    std::vector<std::thread> threads;
    try {
        for (size_t t = 0; t < helpers; ++t)
            threads.emplace_back(work);
    } catch (const std::system_error &) {
        // No thread to be had: the ones started and this one do the work.
    }
    work();
    for (std::thread &t : threads)
        t.join();
}

// dct_dc_size_luminance / _chrominance codes for sizes 0..11: {bits, length}.
constexpr std::array<std::pair<uint32_t, int>, 12> kDcLuma = {{{0b100, 3},
                                                               {0b00, 2},
                                                               {0b01, 2},
                                                               {0b101, 3},
                                                               {0b110, 3},
                                                               {0b1110, 4},
                                                               {0b11110, 5},
                                                               {0b111110, 6},
                                                               {0b1111110, 7},
                                                               {0b11111110, 8},
                                                               {0b111111110, 9},
                                                               {0b111111111, 9}}};
constexpr std::array<std::pair<uint32_t, int>, 12> kDcChroma = {{{0b00, 2},
                                                                 {0b01, 2},
                                                                 {0b10, 2},
                                                                 {0b110, 3},
                                                                 {0b1110, 4},
                                                                 {0b11110, 5},
                                                                 {0b111110, 6},
                                                                 {0b1111110, 7},
                                                                 {0b11111110, 8},
                                                                 {0b111111110, 9},
                                                                 {0b1111111110, 10},
                                                                 {0b1111111111, 10}}};

// Table B.10: motion_code magnitudes 0..16 as {bits, length}, sign after.
constexpr std::array<std::pair<uint32_t, int>, 17> kMotionCode = {{{0x1, 1},
                                                                   {0x1, 2},
                                                                   {0x1, 3},
                                                                   {0x1, 4},
                                                                   {0x3, 6},
                                                                   {0x5, 7},
                                                                   {0x4, 7},
                                                                   {0x3, 7},
                                                                   {0xb, 9},
                                                                   {0xa, 9},
                                                                   {0x9, 9},
                                                                   {0x11, 10},
                                                                   {0x10, 10},
                                                                   {0xf, 10},
                                                                   {0xe, 10},
                                                                   {0xd, 10},
                                                                   {0xc, 10}}};

void PutMotion(BitWriter &w, int value, int *predictor)
{
    // f_code 1: vectors in [-16, 15] half samples, differences wrapped into that range.
    int delta = value - *predictor;
    if (delta > 15)
        delta -= 32;
    if (delta < -16)
        delta += 32;
    *predictor = value;
    const auto &code = kMotionCode[static_cast<size_t>(std::abs(delta))];
    w.Put(code.first, code.second);
    if (delta != 0)
        w.Put(delta < 0 ? 1 : 0, 1);
}

void PutEscapes(BitWriter &w, const Coefficients &c, int from)
{
    // Every coefficient as an escape: six bits of run, twelve of level.
    int run = 0;
    for (int n = from; n < 64; ++n) {
        const int level = c[kZigzag[n]];
        if (level == 0) {
            ++run;
            continue;
        }
        w.Put(0b000001, 6);
        w.Put(static_cast<uint32_t>(run), 6);
        w.Put(static_cast<uint32_t>(level) & 0xFFF, 12);
        run = 0;
    }
    w.Put(0b10, 2); // end of block
}

void PutIntraBlock(BitWriter &w, const Coefficients &c, bool luma, int *predictor)
{
    const int diff = c[0] - *predictor;
    *predictor = c[0];
    int size = 0;
    for (int a = std::abs(diff); a; a >>= 1)
        ++size;
    const auto &code = (luma ? kDcLuma : kDcChroma)[static_cast<size_t>(size)];
    w.Put(code.first, code.second);
    if (size)
        w.Put(static_cast<uint32_t>(diff > 0 ? diff : diff + (1 << size) - 1), size);
    PutEscapes(w, c, 1);
}

void PutInterBlock(BitWriter &w, Coefficients c)
{
    // Every block of the macroblock is coded, so a block needs one coefficient at least; the
    // highest one's smallest step changes no sample.
    if (std::all_of(c.begin(), c.end(), [](int v) { return v == 0; }))
        c[63] = 1;
    PutEscapes(w, c, 0);
}

std::vector<uint8_t> PictureBits(const PictureLayout &l, const PictureTiming &timing, bool predicted,
                                 const std::vector<MacroblockCode> &mbs)
{
    BitWriter w;
    w.StartCode(kPictureStart);
    w.Put(static_cast<uint32_t>(timing.temporalReference) & 0x3FF, 10);
    w.Put(predicted ? 2 : 1, 3);
    w.Put(0xFFFF, 16); // no VBV delay given
    if (predicted) {
        w.Put(0, 1); // full_pel_forward_vector
        w.Put(7, 3); // forward_f_code: MPEG-2 gives it in the extension
    }
    w.Put(0, 1); // extra_bit_picture

    w.StartCode(kExtensionStart);
    w.Put(8, 4); // picture coding extension
    w.Put(predicted ? 1 : 15, 4);
    w.Put(predicted ? 1 : 15, 4);
    w.Put(15, 4);
    w.Put(15, 4);
    w.Put(kDcPrecision, 2);
    w.Put(3, 2); // frame picture
    w.Put(timing.topFieldFirst, 1);
    w.Put(1, 1); // frame prediction and frame DCT only
    w.Put(0, 1); // no concealment vectors
    w.Put(1, 1); // non-linear quantiser scale
    w.Put(0, 1); // intra VLC table B.14
    w.Put(0, 1); // zigzag scan
    w.Put(timing.repeatFirstField, 1);
    w.Put(timing.chroma420Type, 1);
    w.Put(timing.progressiveFrame, 1);
    w.Put(0, 1); // no composite display information

    w.StartCode(kExtensionStart);
    w.Put(3, 4); // quantiser matrix extension
    w.Put(1, 1); // intra matrix (also for chroma)
    for (int n = 0; n < 64; ++n)
        w.Put(n == 0 ? 8 : kMatrixValue, 8);
    w.Put(1, 1); // non-intra matrix (also for chroma)
    for (int n = 0; n < 64; ++n)
        w.Put(kMatrixValue, 8);
    w.Put(0, 1);
    w.Put(0, 1);

    for (int my = 0; my < l.mbHeight; ++my) {
        w.StartCode(static_cast<uint8_t>(kSliceFirst + my));
        w.Put(kNonLinearScaleCode, 5);
        w.Put(0, 1); // no extra slice information
        int dc[3] = {kDcReset, kDcReset, kDcReset};
        int pmvX = 0, pmvY = 0;
        for (int mx = 0; mx < l.mbWidth; ++mx) {
            const MacroblockCode &mb = mbs[static_cast<size_t>(my * l.mbWidth + mx)];
            const std::vector<BlockPlace> places = MacroblockBlocks(mx, my, l);
            w.Put(1, 1); // address increment 1
            if (mb.intra) {
                if (predicted)
                    w.Put(0b00011, 5); // intra in a P picture
                else
                    w.Put(1, 1);
                pmvX = pmvY = 0;
                for (size_t k = 0; k < places.size(); ++k)
                    PutIntraBlock(w, mb.blocks[k], places[k].plane == 0, &dc[places[k].plane]);
                continue;
            }
            w.Put(1, 1); // motion compensated, coded
            PutMotion(w, mb.mv.x, &pmvX);
            PutMotion(w, mb.mv.y, &pmvY);
            w.Put(0b001100, 6); // coded_block_pattern: all six
            if (l.chroma422)
                w.Put(0b11, 2);
            for (int &v : dc)
                v = kDcReset;
            for (size_t k = 0; k < places.size(); ++k)
                PutInterBlock(w, mb.blocks[k]);
        }
    }
    return w.Take();
}

bool MacroblockMatches(int mx, int my, const PictureLayout &l, const Plane want[3], const AVFrame *got)
{
    for (const BlockPlace &b : MacroblockBlocks(mx, my, l))
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const int px = b.x + x;
                const int py = b.y + y;
                if (px >= want[b.plane].width || py >= want[b.plane].height)
                    continue;
                if (want[b.plane].At(px, py) != got->data[b.plane][py * got->linesize[b.plane] + px])
                    return false;
            }
    return true;
}

struct FrameFree {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};

} // namespace

bool ReadPictureTiming(const uint8_t *data, size_t size, PictureTiming *timing)
{
    bool havePicture = false;
    for (size_t p = NextStartCode(data, size, 0); p + 8 < size; p = NextStartCode(data, size, p + 4)) {
        const uint8_t code = data[p + 3];
        if (code == kPictureStart && !havePicture) {
            timing->temporalReference = (data[p + 4] << 2) | (data[p + 5] >> 6);
            havePicture = true;
        } else if (code == kExtensionStart && havePicture && (data[p + 4] >> 4) == 8) {
            // f_codes (16), intra_dc_precision (2), picture_structure (2), top_field_first,
            // frame_pred_frame_dct, concealment_motion_vectors, q_scale_type, intra_vlc_format,
            // alternate_scan, repeat_first_field, chroma_420_type, progressive_frame.
            const uint32_t bits = (static_cast<uint32_t>(data[p + 4] & 0x0F) << 24) | (data[p + 5] << 16)
                                  | (data[p + 6] << 8) | data[p + 7];
            const uint32_t rest = (bits << 4) | (data[p + 8] >> 4); // 32 bits after the id
            const int structure = (rest >> 12) & 3;
            timing->topFieldFirst = structure == 3 ? ((rest >> 11) & 1) : structure == 1;
            timing->repeatFirstField = (rest >> 5) & 1;
            timing->chroma420Type = (rest >> 4) & 1;
            timing->progressiveFrame = (rest >> 3) & 1;
            return true;
        } else if (code >= kSliceFirst && code <= 0xAF && havePicture) {
            return true; // MPEG-1: no extension, a progressive frame
        }
    }
    return havePicture;
}



std::vector<uint8_t> EncodeExactPicture(const std::vector<uint8_t> &sequenceHeader, const AVFrame *picture,
                                        const AVFrame *reference, const PictureTiming &timing,
                                        const PictureDecoder &decode, ExactnessStats *stats, std::string *why)
{
    const SequenceFacts seq = ReadSequence(sequenceHeader);
    if (!seq.ok) {
        *why = "no MPEG-2 sequence header to write the picture under";
        return {};
    }
    const bool is422 = seq.chromaFormat == 2;
    const int format = is422 ? AV_PIX_FMT_YUV422P : AV_PIX_FMT_YUV420P;
    const auto fits = [&](const AVFrame *f) {
        return f->format == format && f->width == seq.width && f->height == seq.height;
    };
    if ((seq.chromaFormat != 1 && !is422) || !fits(picture) || (reference && !fits(reference))) {
        *why = "the picture's sample format or size is not the sequence's";
        return {};
    }
    PictureLayout layout;
    layout.mbWidth = (seq.width + 15) / 16;
    layout.mbHeight = seq.progressive ? (seq.height + 15) / 16 : 2 * ((seq.height + 31) / 32);
    layout.chroma422 = is422;
    if (layout.mbHeight > 175) {
        *why = "pictures taller than 2800 lines are not supported";
        return {};
    }
    const int chromaWidth = (seq.width + 1) / 2;
    const int chromaHeight = is422 ? seq.height : (seq.height + 1) / 2;
    const auto planesOf = [&](const AVFrame *f, Plane out[3]) {
        out[0] = {f->data[0], f->linesize[0], seq.width, seq.height};
        out[1] = {f->data[1], f->linesize[1], chromaWidth, chromaHeight};
        out[2] = {f->data[2], f->linesize[2], chromaWidth, chromaHeight};
    };
    Plane want[3], ref[3];
    planesOf(picture, want);
    if (reference)
        planesOf(reference, ref);

    const size_t count = static_cast<size_t>(layout.mbWidth * layout.mbHeight);
    std::vector<MacroblockCode> mbs(count);
    std::vector<int> tried(count, -1);
    std::vector<bool> settled(count, false);
    const std::vector<std::optional<MotionVector>> hints =
        reference ? PastVectors(picture, layout) : std::vector<std::optional<MotionVector>>(count);
    const auto code = [&](size_t i) {
        const int mx = static_cast<int>(i) % layout.mbWidth;
        const int my = static_cast<int>(i) / layout.mbWidth;
        CodeMacroblock(mx, my, layout, want, reference ? ref : nullptr, hints[i], tried[i] + 1, &mbs[i], &tried[i]);
    };
    std::vector<size_t> all(count);
    for (size_t i = 0; i < count; ++i)
        all[i] = i;
    CodeEach(all, code);
    // The decoder has the last word on the transform's arithmetic: a macroblock it does not
    // reproduce takes its next way of coding while there is one.
    std::vector<uint8_t> bits;
    for (int pass = 0;; ++pass) {
        bits = PictureBits(layout, timing, reference != nullptr, mbs);
        std::unique_ptr<AVFrame, FrameFree> decoded(decode(bits));
        if (!decoded || !fits(decoded.get())) {
            *why = "the new picture does not decode";
            return {};
        }
        int wrong = 0;
        std::vector<size_t> redo;
        for (size_t i = 0; i < count; ++i) {
            if (settled[i])
                continue;
            if (MacroblockMatches(static_cast<int>(i) % layout.mbWidth, static_cast<int>(i) / layout.mbWidth, layout,
                                  want, decoded.get())) {
                settled[i] = true;
                continue;
            }
            ++wrong;
            if (pass < 8 && tried[i] + 1 < static_cast<int>(WaysToTry(reference != nullptr, hints[i]).size()))
                redo.push_back(i);
        }
        CodeEach(redo, code);
        if (stats) {
            stats->macroblocks = static_cast<int>(count);
            stats->inexact = wrong;
        }
        if (redo.empty())
            return bits;
    }
}

} // namespace kc::fileencoder
