#pragma once
#include <array>

namespace ostra {

// One resolution mode of the sensor: what it reads out, where the picture lies in the
// read-out, how it is binned, and the sizes the colour processors and callers see.
struct ModeGeometry {
    int processingWidth, processingHeight;  // Bayer frame handed to the colour processors
    int rawWidth, rawHeight;                // samples the sensor sends per frame
    int outputWidth, outputHeight;          // RGB picture
    int cropX0, cropX1, cropY0, cropY1;     // picture window in the de-interlaced read-out
    int binning;                            // 1 (none), 2, 3 or 4
    // Field B of the interlaced read-out starts at this row; rows 2k and 2k + 1 of the
    // de-interlaced frame come from field A and B row k for k < fieldPairs.
    int fieldBStart, fieldPairs;

    // Mode 1 halves the picture horizontally in the decode.
    bool halvesWidth() const { return outputWidth * 2 == processingWidth; }
};

inline constexpr int kModeCount = 5;
inline constexpr int kMaxRawWidth = 3032;
inline constexpr int kMaxRawHeight = 2180;

// The five modes; index = mode number.
const std::array<ModeGeometry, kModeCount>& modeTable();

// Geometry of `mode`, or null for a mode outside 0..4.
const ModeGeometry* modeGeometry(int mode);

}  // namespace ostra
