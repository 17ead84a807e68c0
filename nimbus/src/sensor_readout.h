#pragma once
#include <cstddef>
#include <cstdint>

#include "frame_format.h"

// From the 12-bit samples the sensor collects to the 8-bit raw frame it sends: the
// skipping and binning read-outs, and the channel means the white balance and auto
// exposure look at.
namespace corvalis::nimbus {

// `sensor` holds the used part of the sensor window for `res` (width x step by
// height x step samples, `stride` samples per row, Bayer order as in nimbus.h);
// `out` receives width x height 8-bit samples. Skipping keeps the first row and column
// pair of every `step` pairs; binning sums the step x step samples of each output
// sample's colour in its block (clamped at 4095). 12 bits become 8 by dropping the
// lowest four.
void readOut(const std::uint16_t* sensor, std::size_t stride, const Resolution& res,
             std::uint8_t* out);

struct ChannelMeans {
    double red = 0, green = 0, blue = 0;
};
// Means of each colour's samples of a width x height mosaic.
ChannelMeans channelMeans(const std::uint8_t* mosaic, int width, int height);

}  // namespace corvalis::nimbus
