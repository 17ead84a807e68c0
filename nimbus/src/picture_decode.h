#pragma once
#include <cstdint>

#include "nimbus.h"

// The decode of a raw frame into the picture the program shows: colour gains on the
// mosaic, demosaic, saturation or monochrome, contrast and gamma, mirrors, rows
// bottom-up. The meaning of each setting is written out in nimbus.h.
namespace corvalis::nimbus {

struct PictureSettings {
    std::uint16_t gainRed = NIMBUS_COLOR_GAIN_DEFAULT;
    std::uint16_t gainGreen = NIMBUS_COLOR_GAIN_DEFAULT;
    std::uint16_t gainBlue = NIMBUS_COLOR_GAIN_DEFAULT;
    std::uint8_t gamma = NIMBUS_GAMMA_DEFAULT;
    std::uint8_t contrast = NIMBUS_CONTRAST_DEFAULT;
    std::uint8_t saturation = NIMBUS_SATURATION_DEFAULT;
    bool colorEnhancement = true;
    bool monochrome = false;
    bool mirrorHorizontal = false;
    bool mirrorVertical = false;
};

// Decodes `raw` (header and mosaic, see nimbus.h) into `out` (header copy and
// NIMBUS_DECODED_BYTES of picture). False, with nothing written, when the header is
// not a valid one. `out` may be `raw` itself: the mosaic is read before anything is
// written.
bool decodeFrame(const std::uint8_t* raw, std::uint8_t* out, const PictureSettings& settings);

}  // namespace corvalis::nimbus
