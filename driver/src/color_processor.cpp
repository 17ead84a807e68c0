#include "color_processor.h"

#include "bayer_demosaic.h"
#include "lookup_vbmi.h"
#include "vector_clones.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>
#include <thread>
#include <type_traits>

namespace ostra {

static_assert(std::endian::native == std::endian::little,
              "16-bit pictures are handed out little-endian; a big-endian host needs a swap");

// Three demosaiced rows (blue, green, red planes each) of the one-pass decode, tagged
// with the mosaic row they hold, and the row assembled for output.
template <typename Sample>
struct ColorProcessor<Sample>::Rows {
    Sample* plane[3][3];  // [slot][channel]
    int tag[3];
    Sample* smoothedGreen;
    Sample* blue;  // blue and red after the saturation step
    Sample* red;
    Sample* picture;  // one mapped row, W pixels of 3 samples, picture order
    Sample* evenColumns;

    Rows(Sample* store, int width) {
        for (int s = 0; s < 3; ++s) {
            for (int c = 0; c < 3; ++c) plane[s][c] = store + (s * 3 + c) * width;
            tag[s] = -1;
        }
        smoothedGreen = store + 9 * width;
        blue = store + 10 * width;
        red = store + 11 * width;
        picture = store + 12 * width;
        evenColumns = store + 15 * width;
        columnMask(evenColumns, width);
    }
    static std::size_t samples(int width) { return static_cast<std::size_t>(width) * 16; }
};

template <typename Sample>
ColorProcessor<Sample>::ColorProcessor(std::mutex& decodeLock) : decodeLock_(decodeLock) {
    for (auto& t : tables_) t.resize(kTableSize);
    tone_.resize(kTableSize);
    rebuildTablesLocked();
}

template <typename Sample>
void ColorProcessor<Sample>::setGains(float blue, float green, float red) {
    std::lock_guard lock(decodeLock_);
    blueGain_ = blue;
    greenGain_ = green;
    redGain_ = red;
    rebuildTablesLocked();
}

template <typename Sample>
void ColorProcessor<Sample>::setContrast(float factor) {
    std::lock_guard lock(decodeLock_);
    contrast_ = std::clamp(factor, 0.0f, 3.55f);
    rebuildTablesLocked();
}

template <typename Sample>
void ColorProcessor<Sample>::setGamma(float exponent) {
    std::lock_guard lock(decodeLock_);
    gamma_ = std::clamp(exponent, 0.0f, 2.0f);
    rebuildTablesLocked();
}

template <typename Sample>
void ColorProcessor<Sample>::setSaturation(float value) {
    std::lock_guard lock(decodeLock_);
    saturation_ = static_cast<std::int32_t>(std::clamp(value, 0.0f, 2.0f) * 65536.0f);
    rebuildTablesLocked();
}

template <typename Sample>
void ColorProcessor<Sample>::gains(float& blue, float& green, float& red) const {
    std::lock_guard lock(decodeLock_);
    blue = blueGain_;
    green = greenGain_;
    red = redGain_;
}

template <typename Sample>
void ColorProcessor<Sample>::channelMeans(float& blue, float& green, float& red) const {
    std::lock_guard lock(decodeLock_);
    blue = meanBlue_;
    green = meanGreen_;
    red = meanRed_;
}

template <typename Sample>
bool ColorProcessor<Sample>::setSize(int width, int height) {
    std::lock_guard lock(decodeLock_);
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    std::size_t need = Rows::samples(width_) * kWorkers;
    if (rowStore_.size() < need) {
        try {
            rowStore_.assign(need, 0);
        } catch (const std::bad_alloc&) {
            rowStore_.clear();
            rowStore_.shrink_to_fit();
            rowsReady_ = false;
            return false;
        }
    }
    rowsReady_ = true;
    return true;
}

template <typename Sample>
bool ColorProcessor<Sample>::setPatternCode(int code) {
    if (code < 1 || code > 7) return false;
    std::lock_guard lock(decodeLock_);
    patternCode_ = code;
    return true;
}

template <typename Sample>
void ColorProcessor<Sample>::rebuildTablesLocked() {
    constexpr float kInverse = sizeof(Sample) == 1 ? 0.003921569f : 1.5259022e-5f;
    constexpr float kN = static_cast<float>(kMaxValue);
    for (int i = 0; i <= kMaxValue; ++i) {
        float x = static_cast<float>(i) * kInverse;
        float v = ((std::pow(x, gamma_) - 0.5f) * contrast_ + 0.5f) * kN;
        v = std::clamp(v, 0.0f, kN);
        tone_[i] = static_cast<Sample>(v);
    }
    const float s = static_cast<float>(saturation_) / 65536.0f;
    const float gain[3] = {blueGain_, greenGain_, redGain_};
    for (int c = 0; c < 3; ++c) {
        const float factor = 1.0f - s + s * gain[c];
        Sample* table = tables_[c].data();
        for (int i = 0; i <= kMaxValue; ++i) {
            float v = std::clamp(static_cast<float>(i) * factor, 0.0f, kN);
            table[i] = tone_[static_cast<int>(v)];
        }
    }
}

template <typename Sample>
void ColorProcessor<Sample>::measureWhiteBalance(const Sample* mosaic, const FrameLayout& layout) {
    const int w = width_, h = height_;
    const bool flip = layout.rotate180 != layout.mirrorLeftRight;
    Rows rows(rowStore_.data(), w);
    Sample* b = rows.plane[0][0];
    Sample* g = rows.plane[0][1];
    Sample* r = rows.plane[0][2];
    constexpr int kShift = sizeof(Sample) == 1 ? 0 : 8;  // 16-bit values count in 1/256
    std::uint64_t sum[3] = {0, 0, 0};
    // Every fifth pixel of the mirrored picture in memory order: pixel m * W + c.
    for (int m = 0; m < h; ++m) {
        const int d = layout.rotate180 ? h - 1 - m : m;
        demosaicRow(mosaic, w, h, d, patternCode_, rows.evenColumns, b, g, r);
        const int first = static_cast<int>((5 - (static_cast<std::int64_t>(m) * w) % 5) % 5);
        for (int c = first; c < w; c += 5) {
            const int dc = flip ? w - 1 - c : c;
            sum[0] += b[dc] >> kShift;
            sum[1] += g[dc] >> kShift;
            sum[2] += r[dc] >> kShift;
        }
    }
    const float count = 0.2f * static_cast<float>(w) * static_cast<float>(h);
    meanBlue_ = std::max(static_cast<float>(sum[0]) / count, 1.0f);
    meanGreen_ = std::max(static_cast<float>(sum[1]) / count, 1.0f);
    meanRed_ = std::max(static_cast<float>(sum[2]) / count, 1.0f);
    blueGain_ = std::clamp(meanGreen_ / meanBlue_, kMinBalanceGain, kMaxBalanceGain);
    redGain_ = std::clamp(meanGreen_ / meanRed_, kMinBalanceGain, kMaxBalanceGain);
    greenGain_ = 1.0f;
    balancePending_.store(false, std::memory_order_relaxed);
    rebuildTablesLocked();
}

namespace {

// Green smoothing of one row: the green of every other column in lo..hi (those of
// lo's parity) becomes the mean of its four neighbours' greens, read from the rows
// as they were before smoothing.
template <typename Sample>
OSTRA_VECTOR_CLONES void smoothGreens(const Sample* __restrict up, const Sample* __restrict cur,
                                      const Sample* __restrict down,
                                      const Sample* __restrict evenColumns, int lo, int hi,
                                      Sample* __restrict out) {
    using Sum = std::conditional_t<sizeof(Sample) == 1, std::uint16_t, std::uint32_t>;
    const Sample flipMask = (lo & 1) == 0 ? Sample(0) : Sample(~Sample(0));
    for (int c = lo; c <= hi; ++c) {
        const Sample mean =
            static_cast<Sample>((Sum(up[c]) + down[c] + cur[c - 1] + cur[c + 1]) >> 2);
        const Sample m = static_cast<Sample>(evenColumns[c] ^ flipMask);
        out[c] = static_cast<Sample>((mean & m) | (cur[c] & Sample(~m)));
    }
}

// Saturation about green of one row: blue and red move away from (or toward) the
// pixel's green by the 16.16 factor, in integers for 8-bit samples and in single
// precision for 16-bit ones, clamped to the sample range.
template <typename Sample>
OSTRA_VECTOR_CLONES void saturateRow(const Sample* __restrict b, const Sample* __restrict g,
                                     const Sample* __restrict r, Sample* __restrict outB,
                                     Sample* __restrict outR, int w, std::int32_t saturation) {
    constexpr int kMax = std::numeric_limits<Sample>::max();
    if constexpr (sizeof(Sample) == 1) {
        for (int c = 0; c < w; ++c) {
            const int G = g[c];
            outB[c] =
                static_cast<Sample>(std::clamp(G + (((b[c] - G) * saturation) >> 16), 0, kMax));
            outR[c] =
                static_cast<Sample>(std::clamp(G + (((r[c] - G) * saturation) >> 16), 0, kMax));
        }
    } else {
        constexpr float kScale = 1.0f / 65536.0f;
        const float fs = static_cast<float>(saturation);
        for (int c = 0; c < w; ++c) {
            const int G = g[c];
            const float fb = static_cast<float>(G) + static_cast<float>(b[c] - G) * fs * kScale;
            const float fr = static_cast<float>(G) + static_cast<float>(r[c] - G) * fs * kScale;
            outB[c] = static_cast<Sample>(std::clamp(fb, 0.0f, static_cast<float>(kMax)));
            outR[c] = static_cast<Sample>(std::clamp(fr, 0.0f, static_cast<float>(kMax)));
        }
    }
}

// Tone and white balance through the tables: reads the planes in mosaic column
// order and writes interleaved blue-green-red in picture order (reversed when
// `kFlip`).
template <typename Sample, bool kFlip>
void lookUpRow(const Sample* __restrict b, const Sample* __restrict g, const Sample* __restrict r,
               Sample* __restrict out, int w, const Sample* tb, const Sample* tg,
               const Sample* tr) {
    int c = 0;
    if constexpr (sizeof(Sample) == 1) {
        if (vbmiAvailable()) c = lookUpRowVbmi(b, g, r, out, w, tb, tg, tr, kFlip);
        // Eight pixels at a time: one load per plane, 24 bytes out in three words.
        for (; c + 8 <= w; c += 8) {
            const int at = kFlip ? w - c - 8 : c;
            std::uint64_t bi, gi, ri;
            std::memcpy(&bi, b + at, 8);
            std::memcpy(&gi, g + at, 8);
            std::memcpy(&ri, r + at, 8);
            auto byteOf = [](std::uint64_t v, int k) {
                return static_cast<unsigned>((v >> (8 * (kFlip ? 7 - k : k))) & 0xFF);
            };
            std::uint64_t px[8];
            for (int k = 0; k < 8; ++k)
                px[k] = std::uint64_t{tb[byteOf(bi, k)]} | std::uint64_t{tg[byteOf(gi, k)]} << 8 |
                        std::uint64_t{tr[byteOf(ri, k)]} << 16;
            const std::uint64_t w0 = px[0] | px[1] << 24 | px[2] << 48;
            const std::uint64_t w1 = px[2] >> 16 | px[3] << 8 | px[4] << 32 | px[5] << 56;
            const std::uint64_t w2 = px[5] >> 8 | px[6] << 16 | px[7] << 40;
            std::memcpy(out + 3 * c, &w0, 8);
            std::memcpy(out + 3 * c + 8, &w1, 8);
            std::memcpy(out + 3 * c + 16, &w2, 8);
        }
    }
    for (; c < w; ++c) {
        const int dc = kFlip ? w - 1 - c : c;
        out[3 * c] = tb[b[dc]];
        out[3 * c + 1] = tg[g[dc]];
        out[3 * c + 2] = tr[r[dc]];
    }
}

// Monochrome (saturation 0, where the three tables are equal): one weighted value
// written to all three channels.
template <typename Sample, bool kFlip>
void monochromeRow(const Sample* b, const Sample* g, const Sample* r, Sample* out, int w,
                   const Sample* tb, const Sample* tg, const Sample* tr) {
    constexpr int kMax = std::numeric_limits<Sample>::max();
    for (int c = 0; c < w; ++c) {
        const int dc = kFlip ? w - 1 - c : c;
        const float y = 0.114f * static_cast<float>(tr[b[dc]]) +
                        0.587f * static_cast<float>(tg[g[dc]]) +
                        0.299f * static_cast<float>(tb[r[dc]]);
        const Sample v = static_cast<Sample>(std::min(static_cast<int>(y), kMax));
        out[3 * c] = v;
        out[3 * c + 1] = v;
        out[3 * c + 2] = v;
    }
}

// Writes one picture row to the output: halved horizontally (mode 1) and/or reduced
// to the high byte of 16-bit values.
template <typename Sample, typename Out>
void emitRow(const Sample* picture, Out* dst, int pictureWidth, bool halve) {
    constexpr int kShift = sizeof(Sample) > sizeof(Out) ? 8 : 0;
    if (halve) {
        const int n = pictureWidth / 2;
        for (int x = 0; x < n; ++x) {
            for (int k = 0; k < 3; ++k) {
                const int v = (picture[6 * x + k] + picture[6 * x + 3 + k]) >> 1;
                dst[3 * x + k] = static_cast<Out>(v >> kShift);
            }
        }
    } else if constexpr (kShift == 0) {
        std::memcpy(dst, picture, static_cast<std::size_t>(pictureWidth) * 3 * sizeof(Sample));
    } else {
        for (int i = 0; i < pictureWidth * 3; ++i) dst[i] = static_cast<Out>(picture[i] >> kShift);
    }
}

}  // namespace

template <typename Sample>
template <typename Out>
void ColorProcessor<Sample>::processRows(const Sample* mosaic, Out* dst, const FrameLayout& layout,
                                         int firstRow, int endRow, Rows& rows) const {
    const int w = width_, h = height_;
    const bool flip = layout.rotate180 != layout.mirrorLeftRight;
    const bool halve = layout.outputWidth != w;
    const std::size_t dstRow = static_cast<std::size_t>(layout.outputWidth) * 3;
    const Sample* tb = tables_[0].data();
    const Sample* tg = tables_[1].data();
    const Sample* tr = tables_[2].data();

    // Green smoothing sets: rows 1, 3, ... (set A) and 2, 4, ... (set B), swapped when
    // mirrored left-right, up to row 2 * floor((H - 1) / 2) and never the last row.
    const int lastSmoothRow = std::min(2 * ((h - 1) / 2), h - 2);
    const int aLastCol = 2 * ((w - 1) / 2) - 1;  // set A: columns 1, 3, ..., aLastCol (W > 2)
    const int bLastCol = 2 * ((w - 3) / 2);      // set B: columns 2, 4, ..., bLastCol (W > 4)

    // The ring slot holding demosaiced row d, demosaicing it into the slot of the row
    // farthest away if needed; the slots of rows `keep` and `keep2` are never taken.
    auto slotFor = [&](int d, int keep, int keep2) -> int {
        for (int s = 0; s < 3; ++s)
            if (rows.tag[s] == d) return s;
        int victim = -1, far = -1;
        for (int s = 0; s < 3; ++s) {
            if (rows.tag[s] >= 0 && (rows.tag[s] == keep || rows.tag[s] == keep2)) continue;
            const int dist = rows.tag[s] < 0 ? 1 << 30 : std::abs(rows.tag[s] - d);
            if (dist > far) far = dist, victim = s;
        }
        demosaicRow(mosaic, w, h, d, patternCode_, rows.evenColumns, rows.plane[victim][0],
                    rows.plane[victim][1], rows.plane[victim][2]);
        rows.tag[victim] = d;
        return victim;
    };

    for (int i = firstRow; i < endRow; ++i) {
        const int m = h - 1 - i;                         // picture row (before the row reversal)
        const int d = layout.rotate180 ? h - 1 - m : m;  // mosaic row it comes from
        const bool inSmoothRows = m >= 1 && m <= lastSmoothRow;
        const bool setA = inSmoothRows && ((m % 2 == 1) != layout.mirrorLeftRight);
        const bool setB = inSmoothRows && !setA;

        const int slot = slotFor(d, -1, -1);
        const Sample* b = rows.plane[slot][0];
        const Sample* r = rows.plane[slot][2];
        const Sample* green = rows.plane[slot][1];
        if ((setA && w > 2) || (setB && w > 4)) {
            const Sample* gu = rows.plane[slotFor(d - 1, d, -1)][1];
            const Sample* gd = rows.plane[slotFor(d + 1, d, d - 1)][1];
            Sample* __restrict out = rows.smoothedGreen;
            // The set's picture columns first..last (step 2) in mosaic columns.
            const int first = setA ? 1 : 2;
            const int last = setA ? aLastCol : bLastCol;
            const int lo = flip ? w - 1 - last : first;
            const int hi = flip ? w - 1 - first : last;
            std::memcpy(out, green, w * sizeof(Sample));
            smoothGreens(gu, green, gd, rows.evenColumns, lo, hi, out);
            green = out;
        }
        Out* target = dst + dstRow * static_cast<std::size_t>(i);
        const bool direct = !halve && sizeof(Out) == sizeof(Sample);
        Sample* picture = direct ? reinterpret_cast<Sample*>(target) : rows.picture;
        if (saturation_ == 0) {
            if (flip) {
                monochromeRow<Sample, true>(b, green, r, picture, w, tb, tg, tr);
            } else {
                monochromeRow<Sample, false>(b, green, r, picture, w, tb, tg, tr);
            }
        } else {
            saturateRow(b, green, r, rows.blue, rows.red, w, saturation_);
            if (flip) {
                lookUpRow<Sample, true>(rows.blue, green, rows.red, picture, w, tb, tg, tr);
            } else {
                lookUpRow<Sample, false>(rows.blue, green, rows.red, picture, w, tb, tg, tr);
            }
        }
        if (!direct) emitRow<Sample, Out>(picture, target, w, halve);
    }
}

template <typename Sample>
bool ColorProcessor<Sample>::process(const Sample* mosaic, std::uint8_t* dst,
                                     const FrameLayout& layout, bool to8) {
    const int w = width_, h = height_;
    if (!rowsReady_ || layout.width != w || layout.height != h || layout.outputHeight != h ||
        (layout.outputWidth != w && layout.outputWidth != w / 2) || w <= 0 || h <= 0) {
        return false;
    }
    if (balancePending_.load(std::memory_order_relaxed)) measureWhiteBalance(mosaic, layout);

    // Rows 0..6 and the last seven repeat row 7 and row Ho - 8 of the output, so
    // they are copied rather than computed (on pictures too small for that rule,
    // every row is computed).
    const int ho = layout.outputHeight;
    const bool edgeRows = ho >= 15;
    const int first = edgeRows ? 7 : 0;
    const int end = edgeRows ? ho - 7 : ho;
    const bool narrow = sizeof(Sample) == 2 && to8;
    const std::size_t outSample = narrow ? 1 : sizeof(Sample);
    const std::size_t rowBytes = static_cast<std::size_t>(layout.outputWidth) * 3 * outSample;

    const int workers = std::min<int>(threads_, kWorkers);
    auto run = [&](int worker, int a, int b) {
        Rows rows(rowStore_.data() + Rows::samples(w) * worker, w);
        if (narrow) {
            processRows<std::uint8_t>(mosaic, dst, layout, a, b, rows);
        } else {
            processRows<Sample>(mosaic, reinterpret_cast<Sample*>(dst), layout, a, b, rows);
        }
    };
    if (workers > 1 && end - first >= 64) {
        const int mid = first + (end - first) / 2;
        std::thread helper(run, 1, mid, end);
        run(0, first, mid);
        helper.join();
    } else {
        run(0, first, end);
    }

    if (edgeRows) {
        const std::uint8_t* low = dst + rowBytes * (ho - 8);
        for (int i = ho - 7; i < ho; ++i) std::memcpy(dst + rowBytes * i, low, rowBytes);
        const std::uint8_t* high = dst + rowBytes * 7;
        for (int i = 0; i < 7; ++i) std::memcpy(dst + rowBytes * i, high, rowBytes);
    }
    return true;
}

template class ColorProcessor<std::uint8_t>;
template class ColorProcessor<std::uint16_t>;

}  // namespace ostra
