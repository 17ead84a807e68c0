#pragma once
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "color_processor.h"
#include "frame_layout.h"

namespace ostra {

// Bytes the decode writes for one picture.
std::size_t decodedBytes(const FrameLayout& layout, int bytesPerSample, bool to8);

// Decodes one raw frame (W x H samples; 1 byte each, or 2 bytes big-endian) into a
// bottom-up blue-green-red picture, under the decode lock, with the processor that
// matches the data width. 16-bit samples are byte-swapped in place first (all W x H
// of them), so the caller's raw buffer is left in host order. With `to8` and 16-bit
// data the picture holds the high byte of each sample. Returns false when the
// processor could not run (its size does not match or its buffers are missing); the
// destination is then left as it was.
bool decodeFrame(std::mutex& decodeLock, ColorProcessor8& processor8, ColorProcessor16& processor16,
                 int bytesPerSample, const FrameLayout& layout, std::uint8_t* raw,
                 std::uint8_t* dst, bool to8);

// Swaps the two bytes of `count` 16-bit samples in place.
void swapSampleBytes(std::uint8_t* samples, std::size_t count);

}  // namespace ostra
