#pragma once
#include <cstddef>
#include <cstdint>

// The process-wide histogram of the live picture and the black and white levels that
// every displayed and buffered frame passes through.
namespace vantelo {

// Adds `pixelCount` pixels of 3 bytes to the histogram (carrying a third of the old
// counts forward) and, with automatic levels on, picks new levels from it.
void updateHistogram(const unsigned char* pixels, std::size_t pixelCount);

// The 8-bit levels transform with the current levels over `count` bytes.
void applyLevels8(unsigned char* bytes, std::size_t count);
// The 16-bit levels transform with the current levels over `count` samples in host
// order (12 significant bits in the upper part).
void applyLevels16(std::uint16_t* samples, std::size_t count);

}  // namespace vantelo
