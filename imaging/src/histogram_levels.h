#pragma once
#include <cstddef>
#include <cstdint>

// The process-wide histogram of the live picture and the black and white levels that
// every displayed and buffered frame passes through. The bins and levels are shared
// between the preview thread and the user-interface thread without a lock.
namespace vantelo {

inline constexpr int kHistogramBins = 256;

// Adds `pixelCount` pixels of 3 bytes to the histogram (carrying a third of the old
// counts forward) and, with automatic levels on, picks new levels from it.
void updateHistogram(const unsigned char* pixels, std::size_t pixelCount);
void clearHistogram();
// One bin's count; 0 outside the histogram.
std::int32_t histogramBin(int index);

// Stores both levels unless automatic levels are on.
void setLevels(int black, int white);
// The levels as the transforms use them (unsigned 16-bit).
void getLevels(std::uint16_t& black, std::uint16_t& white);
void setAutoLevels(bool on);

// The 8-bit levels table for the current levels.
void buildLevelsTable8(std::uint8_t table[256]);
// Replaces every byte by its table entry and, when `copy` is not null, also writes the
// results there (the two ranges must not overlap).
void lookupBytes(const std::uint8_t table[256], unsigned char* bytes, unsigned char* copy,
                 std::size_t count);

// The 8-bit levels transform with the current levels over `count` bytes.
void applyLevels8(unsigned char* bytes, std::size_t count);
// The 16-bit levels transform with the current levels over `count` samples in host
// order (12 significant bits in the upper part).
void applyLevels16(std::uint16_t* samples, std::size_t count);

}  // namespace vantelo
