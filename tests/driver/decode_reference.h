#pragma once
#include <cstdint>
#include <vector>

// A deliberately plain decode, written step by step over whole images the way the
// decode is described (demosaic, mirror, white balance, smoothing, tables, row
// reversal, halving, edge rows, narrowing), to check the one-pass decode against.
namespace reference {

struct Settings {
    int bits = 8;  // 8 or 16
    float gamma = 1.0f, contrast = 1.0f;
    std::int32_t saturation = 65536;
    float gainB = 1.0f, gainG = 1.0f, gainR = 1.0f;
    bool balancePending = false;
    int patternCode = 6;
};

struct Frame {
    int width, height, outputWidth, outputHeight;
    bool rotate180, mirrorLeftRight;
};

// Tone curve and the three channel tables (blue, green, red).
std::vector<int> toneCurve(const Settings& s);
std::vector<int> channelTable(const Settings& s, float gain);

// Demosaic only: W x H pixels of (channel 0, 1, 2).
std::vector<int> demosaic(const std::vector<int>& mosaic, int w, int h, int patternCode);

// The whole decode of `mosaic` (values in host order). Returns the output bytes as
// the decode writes them (16-bit little-endian unless to8). Updates the gains in
// `s` when a white balance was pending.
std::vector<std::uint8_t> decode(const std::vector<int>& mosaic, const Frame& f, Settings& s,
                                 bool to8);

}  // namespace reference
