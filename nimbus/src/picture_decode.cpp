#include "picture_decode.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "frame_format.h"

namespace corvalis::nimbus {

namespace {
using Lut = std::array<std::uint8_t, 256>;

Lut gainLut(std::uint16_t gain) {
    Lut lut;
    for (unsigned v = 0; v < 256; ++v)
        lut[v] = static_cast<std::uint8_t>(std::min(v * gain / 64u, 255u));
    return lut;
}

// Contrast, then gamma, in one table.
Lut toneLut(int contrast, int gamma) {
    Lut lut;
    const double exponent = 100.0 / std::max(gamma, 1);
    for (int v = 0; v < 256; ++v) {
        int t = std::clamp(128 + (v - 128) * contrast / 128, 0, 255);
        lut[static_cast<std::size_t>(v)] =
            static_cast<std::uint8_t>(std::lround(255.0 * std::pow(t / 255.0, exponent)));
    }
    return lut;
}

inline int luma(int b, int g, int r) {
    return (77 * r + 150 * g + 29 * b + 128) >> 8;
}
}  // namespace

bool decodeFrame(const std::uint8_t* raw, std::uint8_t* out, const PictureSettings& s) {
    const auto header = readHeader(raw);
    if (!header) return false;
    const int w = static_cast<int>(header->width), h = static_cast<int>(header->height);

    // The gained mosaic, in a buffer of its own (so `out` may overlap `raw`).
    const Lut gains[3] = {gainLut(s.gainRed), gainLut(s.gainGreen), gainLut(s.gainBlue)};
    // Filter colour by [row parity][column parity]: G R / B G (0 red, 1 green, 2 blue).
    const Lut* site[2][2] = {{&gains[1], &gains[0]}, {&gains[2], &gains[1]}};
    cv::Mat mosaic(h, w, CV_8UC1);
    const std::uint8_t* samples = raw + NIMBUS_HEADER_BYTES;
    for (int r = 0; r < h; ++r) {
        const std::uint8_t* src = samples + static_cast<std::size_t>(r) * w;
        std::uint8_t* dst = mosaic.ptr<std::uint8_t>(r);
        const Lut& even = *site[r & 1][0];
        const Lut& odd = *site[r & 1][1];
        for (int c = 0; c + 1 < w; c += 2) {
            dst[c] = even[src[c]];
            dst[c + 1] = odd[src[c + 1]];
        }
    }
    std::uint8_t headerBlock[NIMBUS_HEADER_BYTES];
    std::memcpy(headerBlock, raw, sizeof headerBlock);

    // OpenCV names a Bayer pattern by the second row's second and third samples: G B here.
    cv::Mat bgr;
    cv::cvtColor(mosaic, bgr, cv::COLOR_BayerGB2BGR);

    const Lut tone = toneLut(s.contrast, s.gamma);
    const bool saturate =
        s.colorEnhancement && s.saturation != NIMBUS_SATURATION_DEFAULT && !s.monochrome;
    // (c - Y) x saturation / 100 for every difference -255..255, so no division per pixel.
    std::array<int, 511> scaled;
    for (int d = -255; d <= 255; ++d)
        scaled[static_cast<std::size_t>(d + 255)] = d * s.saturation / 100;

    std::memcpy(out, headerBlock, sizeof headerBlock);
    std::uint8_t* picture = out + NIMBUS_HEADER_BYTES;
    const std::size_t rowBytes = static_cast<std::size_t>(w) * 3;
    for (int k = 0; k < h; ++k) {
        // Rows go bottom-up; the vertical mirror turns that back.
        const int row = s.mirrorVertical ? k : h - 1 - k;
        const std::uint8_t* src = bgr.ptr<std::uint8_t>(row);
        std::uint8_t* dst = picture + static_cast<std::size_t>(k) * rowBytes;
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* p =
                src + 3 * static_cast<std::size_t>(s.mirrorHorizontal ? w - 1 - x : x);
            int b = p[0], g = p[1], r = p[2];
            if (s.monochrome) {
                b = g = r = luma(b, g, r);
            } else if (saturate) {
                const int y = luma(b, g, r);
                b = std::clamp(y + scaled[static_cast<std::size_t>(b - y + 255)], 0, 255);
                g = std::clamp(y + scaled[static_cast<std::size_t>(g - y + 255)], 0, 255);
                r = std::clamp(y + scaled[static_cast<std::size_t>(r - y + 255)], 0, 255);
            }
            dst[3 * x] = tone[static_cast<std::size_t>(b)];
            dst[3 * x + 1] = tone[static_cast<std::size_t>(g)];
            dst[3 * x + 2] = tone[static_cast<std::size_t>(r)];
        }
    }
    return true;
}

}  // namespace corvalis::nimbus
