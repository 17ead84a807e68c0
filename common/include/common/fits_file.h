#pragma once
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "common/bayer_pattern.h"

namespace corvalis {

// What a FITS file says about the frame it holds, beside the pixels.
struct FitsFrameInfo {
    // UTC start of the (first) exposure, written as DATE-OBS with milliseconds.
    std::chrono::system_clock::time_point startUtc;
    double exposureSeconds = 0.0;  // EXPTIME: as the camera was programmed (summed when stacked)
    int gain = 0;                  // GAIN: the camera's own setting, not electrons per count
    int xBinning = 1;              // XBINNING / YBINNING
    int yBinning = 1;
    std::string instrument;           // INSTRUME
    std::string software;             // SWCREATE, e.g. "Corvalis 2.7"
    std::string object;               // OBJECT (left out when empty)
    std::string imageType = "Light";  // IMAGETYP: Light, Dark, Flat or Bias
    int combined = 1;                 // NCOMBINE, written when more than one frame was added up
    // For a mosaic: the pattern at the stored picture's first pixel (BAYERPAT, with
    // XBAYROFF = YBAYROFF = 0, so that readers with and without the offsets agree).
    std::optional<BayerPattern> bayer;
    // For 16-bit samples: how many of the 16 bits carry signal, counted from the top
    // (12 for a 12-bit sensor whose samples are shifted to the top of the word).
    int significantBits = 0;
};

// A FITS picture of one plane (a Bayer mosaic or a grey picture, 8 or 16 bits) or of
// three (red, green, blue). Samples come top row first, rows back to back, 16-bit ones
// in host order; colour pixels come interleaved red, green, blue. The file replaces an
// earlier one only once complete (replaceFile), so a failure leaves that file as it was;
// the reason goes to standard error and the result is false.
bool writeFitsMosaic(const std::string& path, const void* samples, int width, int height,
                     int bitsPerSample, const FitsFrameInfo& info);
bool writeFitsRgb(const std::string& path, const void* topDownRgb, int width, int height,
                  int bitsPerSample, const FitsFrameInfo& info);

// "2026-12-08T21:30:00.125": UTC, ISO 8601, milliseconds.
std::string isoUtcMilliseconds(std::chrono::system_clock::time_point time);

}  // namespace corvalis
