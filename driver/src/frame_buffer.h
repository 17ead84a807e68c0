#pragma once
#include <cstdint>

namespace ostra {

// A frame's place in memory and what it holds. The descriptor does not own its data:
// whoever allocated the memory frees it, so descriptors can be swapped freely.
struct FrameBuffer {
    std::uint8_t* data = nullptr;
    // Bytes per sample (1 or 2) of a raw frame; bytes per pixel (3 or 6) of a picture.
    int bytesPerSample = 1;
    // Set once a frame has been read into the buffer.
    std::uint8_t valid = 0;
};

}  // namespace ostra
