#pragma once

namespace ostra {

// What the decode needs to know of the frame besides its samples: the mode's sizes
// and the sensor's two mirror bytes.
struct FrameLayout {
    int width = 0, height = 0;              // processing size W x H of the mosaic
    int outputWidth = 0, outputHeight = 0;  // picture size; outputWidth = W / 2 halves
    bool rotate180 = false;
    bool mirrorLeftRight = false;
};

// The two mirror bytes from the horizontal and vertical mirror flags: horizontal only
// mirrors left-right; vertical only turns by 180 degrees and mirrors left-right (a
// vertical flip); both turn by 180 degrees; none does neither.
inline void mirrorBytes(bool horizontal, bool vertical, bool& rotate180, bool& mirrorLeftRight) {
    rotate180 = vertical;
    mirrorLeftRight = horizontal != vertical;
}

}  // namespace ostra
