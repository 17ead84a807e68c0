#include "frame_builder.h"

#include <algorithm>
#include <cstring>

#include "usb_channel.h"
#include "vector_clones.h"

namespace ostra {

std::size_t rawFrameBytes(const ModeGeometry& g, int bytesPerSample) {
    return static_cast<std::size_t>(g.rawWidth) * static_cast<std::size_t>(g.rawHeight) *
           static_cast<std::size_t>(bytesPerSample);
}

std::size_t readLength(const ModeGeometry& g, int bytesPerSample) {
    return UsbChannel::requestSize(rawFrameBytes(g, bytesPerSample));
}

std::size_t readRequestBytes(const ModeGeometry& g, int bytesPerSample) {
    return UsbChannel::requestSize(readLength(g, bytesPerSample));
}

std::size_t builtFrameBytes(const ModeGeometry& g, int bytesPerSample) {
    return static_cast<std::size_t>(g.processingWidth) *
           static_cast<std::size_t>(g.processingHeight) * static_cast<std::size_t>(bytesPerSample);
}

namespace {

bool markerAt(const std::uint8_t* p) {
    for (int i = 0; i < kFrameStartMarkerLength; ++i)
        if (p[i] != kFrameStartMarker) return false;
    return true;
}

// Row y of the de-interlaced read-out: field A row y / 2 for even y, field B row
// (y - 1) / 2 for odd y, while y lies within the field pairs; null (a zero row) after.
const std::uint8_t* deinterlacedRow(const ModeGeometry& g, const std::uint8_t* frame,
                                    std::size_t rowBytes, int y) {
    if (y < 0 || y >= 2 * g.fieldPairs) return nullptr;
    const int rawRow = (y % 2 == 0) ? y / 2 : g.fieldBStart + (y - 1) / 2;
    return frame + rowBytes * static_cast<std::size_t>(rawRow);
}

template <typename Sample>
Sample loadSample(const std::uint8_t* p, int index) {
    if constexpr (sizeof(Sample) == 1) {
        return p[index];
    } else {
        return static_cast<Sample>((p[2 * index] << 8) | p[2 * index + 1]);
    }
}

template <typename Sample>
void storeSample(std::uint8_t* p, int index, unsigned value) {
    if constexpr (sizeof(Sample) == 1) {
        p[index] = static_cast<std::uint8_t>(value);
    } else {
        p[2 * index] = static_cast<std::uint8_t>(value >> 8);
        p[2 * index + 1] = static_cast<std::uint8_t>(value);
    }
}

// One binned row: output sample 2j + c is the saturated sum of the same-colour
// samples at columns 2bj + c + 2t (t < b) of the b input rows.
template <typename Sample, int kBin>
OSTRA_VECTOR_CLONES void binRow(const std::uint8_t* const* rows, int outSamples,
                                std::uint8_t* out) {
    constexpr unsigned kMax = (1u << (8 * sizeof(Sample))) - 1;
    for (int o = 0; o < outSamples; ++o) {
        const int j = o >> 1, c = o & 1;
        unsigned sum = 0;
        for (int r = 0; r < kBin; ++r)
            for (int t = 0; t < kBin; ++t)
                sum += loadSample<Sample>(rows[r], 2 * kBin * j + c + 2 * t);
        storeSample<Sample>(out, o, std::min(sum, kMax));
    }
}

template <typename Sample, int kBin>
void binFrame(const ModeGeometry& g, const std::uint8_t* frame, std::size_t rawRowBytes,
              std::uint8_t* target) {
    const std::size_t outRowBytes = static_cast<std::size_t>(g.processingWidth) * sizeof(Sample);
    const std::size_t columnOffset = static_cast<std::size_t>(g.cropX0) * sizeof(Sample);
    // Same-colour zero samples for rows past the field pairs.
    static const std::uint8_t zeros[kMaxRawWidth * 2] = {};
    for (int out = 0; out < g.processingHeight; ++out) {
        // Output rows come in pairs: rows r, r + 2, ... then r + 1, r + 3, ...
        const int first = g.cropY0 + (out / 2) * 2 * kBin + (out % 2);
        const std::uint8_t* rows[kBin];
        for (int r = 0; r < kBin; ++r) {
            const std::uint8_t* row = deinterlacedRow(g, frame, rawRowBytes, first + 2 * r);
            rows[r] = row ? row + columnOffset : zeros;
        }
        binRow<Sample, kBin>(rows, g.processingWidth,
                             target + outRowBytes * static_cast<std::size_t>(out));
    }
}

}  // namespace

bool frameIntact(const std::uint8_t* data, std::size_t length, int frameSpeed) {
    if (data == nullptr || length <= static_cast<std::size_t>(kFrameStartMarkerLength))
        return false;
    if (frameSpeed != 4 && !markerAt(data)) return false;
    const std::size_t blocks = length / 512;
    for (std::size_t k = 1; k < blocks; ++k)
        if (markerAt(data + k * 512)) return false;
    return true;
}

void buildFrame(const ModeGeometry& g, int bytesPerSample, bool hasHeader, const std::uint8_t* read,
                std::uint8_t* target) {
    const std::uint8_t* frame = read + (hasHeader ? kFrameHeaderBytes : 0);
    const std::size_t rawRowBytes = static_cast<std::size_t>(g.rawWidth) * bytesPerSample;
    if (g.binning == 1) {
        const std::size_t rowBytes = static_cast<std::size_t>(g.cropX1 - g.cropX0) * bytesPerSample;
        const std::size_t columnOffset = static_cast<std::size_t>(g.cropX0) * bytesPerSample;
        for (int y = g.cropY0; y < g.cropY1; ++y) {
            std::uint8_t* out = target + rowBytes * static_cast<std::size_t>(y - g.cropY0);
            const std::uint8_t* row = deinterlacedRow(g, frame, rawRowBytes, y);
            if (row != nullptr) {
                std::memcpy(out, row + columnOffset, rowBytes);
            } else {
                std::memset(out, 0, rowBytes);
            }
        }
        return;
    }
    const bool wide = bytesPerSample == 2;
    switch (g.binning) {
        case 2:
            wide ? binFrame<std::uint16_t, 2>(g, frame, rawRowBytes, target)
                 : binFrame<std::uint8_t, 2>(g, frame, rawRowBytes, target);
            break;
        case 3:
            wide ? binFrame<std::uint16_t, 3>(g, frame, rawRowBytes, target)
                 : binFrame<std::uint8_t, 3>(g, frame, rawRowBytes, target);
            break;
        case 4:
            wide ? binFrame<std::uint16_t, 4>(g, frame, rawRowBytes, target)
                 : binFrame<std::uint8_t, 4>(g, frame, rawRowBytes, target);
            break;
        default:
            break;
    }
}

}  // namespace ostra
