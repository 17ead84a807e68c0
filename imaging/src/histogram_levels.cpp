#include "histogram_levels.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>

namespace vantelo {

namespace {

// Written by the preview thread and read by the user-interface thread without a lock.
std::array<std::atomic<std::int32_t>, kHistogramBins> g_bins{};
std::atomic<std::int32_t> g_black{0};
std::atomic<std::int32_t> g_white{255};
std::atomic<int> g_autoLevels{0};

constexpr std::int64_t kThreshold = 30;

// Counts bytes into four tables in turn, so that runs of one value do not wait on
// their own increments; the tables are summed at the end.
void countBytes(const unsigned char* bytes, std::size_t count,
                std::array<std::int64_t, kHistogramBins>& totals) {
    // Each table takes a quarter of a chunk, so 32-bit counters cannot overflow.
    constexpr std::size_t kChunk = std::size_t{1} << 31;
    while (count > 0) {
        const std::size_t n = std::min(count, kChunk);
        std::uint32_t t[4][kHistogramBins] = {};
        std::size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            std::uint64_t w;
            std::memcpy(&w, bytes + i, 8);
            ++t[0][w & 0xFF];
            ++t[1][(w >> 8) & 0xFF];
            ++t[2][(w >> 16) & 0xFF];
            ++t[3][(w >> 24) & 0xFF];
            ++t[0][(w >> 32) & 0xFF];
            ++t[1][(w >> 40) & 0xFF];
            ++t[2][(w >> 48) & 0xFF];
            ++t[3][w >> 56];
        }
        for (; i < n; ++i) ++t[0][bytes[i]];
        for (int b = 0; b < kHistogramBins; ++b)
            totals[b] += std::int64_t{t[0][b]} + t[1][b] + t[2][b] + t[3][b];
        bytes += n;
        count -= n;
    }
}

// A bin index outside the histogram reads as an empty bin.
bool above(const std::array<std::int64_t, kHistogramBins>& bins, int i) {
    return i >= 0 && i < kHistogramBins && bins[i] > kThreshold;
}

// Black from the dark end: the last well-filled bin before one that has a well-filled
// bin 5 to 8 above it.
int scanBlack(const std::array<std::int64_t, kHistogramBins>& bins) {
    int black = 0;
    for (int a = 0; a < kHistogramBins; ++a) {
        if (!above(bins, a)) continue;
        black = a;
        if (above(bins, a + 5) || above(bins, a + 6) || above(bins, a + 7) || above(bins, a + 8))
            break;
    }
    return black;
}

int scanWhite(const std::array<std::int64_t, kHistogramBins>& bins) {
    int white = 255;
    for (int i = kHistogramBins - 1; i >= 0; --i) {
        if (!above(bins, i)) continue;
        white = i;
        if (above(bins, i - 5) || above(bins, i - 6) || (above(bins, i - 7) && above(bins, i - 8)))
            break;
    }
    return white;
}

// Levels are kept as 32-bit values but used as unsigned 16-bit ones.
unsigned blackLevel() {
    return static_cast<std::uint16_t>(g_black.load(std::memory_order_relaxed));
}
unsigned whiteLevel() {
    return static_cast<std::uint16_t>(g_white.load(std::memory_order_relaxed));
}

// Entries up to lo are 0, lo + 1 to hi - 1 stretch linearly, hi and above are full
// scale; the top range is written last so that it wins where the ranges overlap.
template <typename T>
void fillStretchTable(T* table, int size, int lo, int hi) {
    const int top = size - 1;
    for (int i = 0; i <= lo && i < size; ++i) table[i] = 0;
    for (int i = lo + 1; i < hi; ++i)
        table[i] = static_cast<T>(std::floor(static_cast<double>(i - lo) / (hi - lo) * top + 0.5));
    for (int i = hi; i < size; ++i) table[i] = static_cast<T>(top);
}

}  // namespace

void updateHistogram(const unsigned char* pixels, std::size_t pixelCount) {
    std::array<std::int64_t, kHistogramBins> bins{};
    if (pixels != nullptr) countBytes(pixels, pixelCount * 3, bins);
    for (int b = 0; b < kHistogramBins; ++b) {
        // The old counts carry over into the division, so a third of them stays.
        const std::int64_t v = (bins[b] + g_bins[b].load(std::memory_order_relaxed)) / 3;
        bins[b] = std::min<std::int64_t>(v, std::numeric_limits<std::int32_t>::max());
        g_bins[b].store(static_cast<std::int32_t>(bins[b]), std::memory_order_relaxed);
    }
    if (g_autoLevels.load(std::memory_order_relaxed) != 0) {
        g_black.store(scanBlack(bins), std::memory_order_relaxed);
        g_white.store(scanWhite(bins), std::memory_order_relaxed);
    }
}

void clearHistogram() {
    for (auto& b : g_bins) b.store(0, std::memory_order_relaxed);
}

std::int32_t histogramBin(int index) {
    if (index < 0 || index >= kHistogramBins) return 0;
    return g_bins[index].load(std::memory_order_relaxed);
}

void setLevels(int black, int white) {
    if (g_autoLevels.load(std::memory_order_relaxed) != 0) return;
    g_black.store(black, std::memory_order_relaxed);
    g_white.store(white, std::memory_order_relaxed);
}

void getLevels(std::uint16_t& black, std::uint16_t& white) {
    black = static_cast<std::uint16_t>(blackLevel());
    white = static_cast<std::uint16_t>(whiteLevel());
}

void setAutoLevels(bool on) {
    g_autoLevels.store(on ? 1 : 0, std::memory_order_relaxed);
}

void buildLevelsTable8(std::uint8_t table[256]) {
    const int lo = blackLevel() >= 253 ? 253 : static_cast<int>(blackLevel());
    const unsigned w = whiteLevel();
    const int hi = w < 2 ? 2 : (w >= 255 ? 255 : static_cast<int>(w));
    fillStretchTable(table, 256, lo, hi);
}

void lookupBytes(const std::uint8_t table[256], unsigned char* bytes, unsigned char* copy,
                 std::size_t count) {
    std::size_t i = 0;
    // Eight bytes a step: one load and one store (two with a copy) per word.
    for (; i + 8 <= count; i += 8) {
        std::uint64_t in;
        std::memcpy(&in, bytes + i, 8);
        std::uint64_t out = 0;
        for (int k = 0; k < 8; ++k) out |= std::uint64_t{table[(in >> (8 * k)) & 0xFF]} << (8 * k);
        std::memcpy(bytes + i, &out, 8);
        if (copy != nullptr) std::memcpy(copy + i, &out, 8);
    }
    for (; i < count; ++i) {
        bytes[i] = table[bytes[i]];
        if (copy != nullptr) copy[i] = bytes[i];
    }
}

void applyLevels8(unsigned char* bytes, std::size_t count) {
    if (bytes == nullptr) return;
    std::uint8_t table[256];
    buildLevelsTable8(table);
    lookupBytes(table, bytes, nullptr, count);
}

void applyLevels16(std::uint16_t* samples, std::size_t count) {
    if (samples == nullptr) return;
    const int lo = std::min(static_cast<int>(blackLevel()) * 16, 4094);
    const int hi = std::clamp((static_cast<int>(whiteLevel()) + 1) * 16, 1, 4095);
    std::uint16_t table[4096];
    fillStretchTable(table, 4096, lo, hi);
    for (std::size_t i = 0; i < count; ++i)
        samples[i] = static_cast<std::uint16_t>(table[samples[i] >> 4] << 4);
}

}  // namespace vantelo
