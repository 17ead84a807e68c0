#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>

#include "nimbus.h"

// The five read-outs of the sensor and the raw frame header that names them.
namespace corvalis::nimbus {

// The sensor window the camera reads (centred on the 3032 x 2180 chip) and the part
// of it each resolution uses.
constexpr int kSensorWidth = 2584;
constexpr int kSensorHeight = 1936;

struct Resolution {
    int width, height;  // output samples
    int step;           // 1 full, 2 or 4: one output row/column pair per `step` input pairs
    bool binned;        // sums same-colour samples over step x step instead of skipping
    // The used part of the sensor window: width x step by height x step samples
    // from (left, top), both even so the Bayer order is kept.
    int left() const { return (kSensorWidth - width * step) / 2 & ~1; }
    int top() const { return (kSensorHeight - height * step) / 2 & ~1; }
};

// By resolution number 0..4.
const Resolution* resolution(int number);

constexpr std::size_t rawBytes(int width, int height) {
    return NIMBUS_HEADER_BYTES + static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

// Writes the header block (the rest of the 512 bytes zero).
void writeHeader(std::uint8_t* raw, const NimbusFrameHeader& header);

// The header of a raw buffer when it is one of ours: the magic, a known resolution and
// the size that resolution gives. Nothing past the header is read.
std::optional<NimbusFrameHeader> readHeader(const std::uint8_t* raw);

}  // namespace corvalis::nimbus
