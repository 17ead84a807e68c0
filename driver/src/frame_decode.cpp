#include "frame_decode.h"

#include <bit>
#include <cstring>

namespace ostra {

std::size_t decodedBytes(const FrameLayout& layout, int bytesPerSample, bool to8) {
    const std::size_t sample = (bytesPerSample == 2 && !to8) ? 2 : 1;
    return static_cast<std::size_t>(layout.outputWidth) *
           static_cast<std::size_t>(layout.outputHeight) * 3 * sample;
}

void swapSampleBytes(std::uint8_t* samples, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        std::uint16_t v;
        std::memcpy(&v, samples + 2 * i, 2);
        v = static_cast<std::uint16_t>((v << 8) | (v >> 8));
        std::memcpy(samples + 2 * i, &v, 2);
    }
}

bool decodeFrame(std::mutex& decodeLock, ColorProcessor8& processor8, ColorProcessor16& processor16,
                 int bytesPerSample, const FrameLayout& layout, std::uint8_t* raw,
                 std::uint8_t* dst, bool to8) {
    std::lock_guard lock(decodeLock);
    if (bytesPerSample == 2) {
        // The demosaic reads all W x H samples (in mode 1 twice the picture's width),
        // so all of them are brought to host order.
        swapSampleBytes(
            raw, static_cast<std::size_t>(layout.width) * static_cast<std::size_t>(layout.height));
        return processor16.process(reinterpret_cast<const std::uint16_t*>(raw), dst, layout, to8);
    }
    return processor8.process(raw, dst, layout, to8);
}

}  // namespace ostra
