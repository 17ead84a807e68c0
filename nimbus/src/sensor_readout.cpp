#include "sensor_readout.h"

#include <algorithm>

namespace corvalis::nimbus {

void readOut(const std::uint16_t* sensor, std::size_t stride, const Resolution& res,
             std::uint8_t* out) {
    const int step = res.step;
    for (int r = 0; r < res.height; ++r) {
        // Output row pair j comes from input rows 2 * step * j (+1 for the odd row).
        const std::size_t inRow = static_cast<std::size_t>(2 * step * (r >> 1) + (r & 1));
        std::uint8_t* dst = out + static_cast<std::size_t>(r) * res.width;
        if (!res.binned) {
            const std::uint16_t* src = sensor + inRow * stride;
            for (int c = 0; c < res.width; ++c) {
                dst[c] = static_cast<std::uint8_t>(src[2 * step * (c >> 1) + (c & 1)] >> 4);
            }
            continue;
        }
        for (int c = 0; c < res.width; ++c) {
            const std::size_t inCol = static_cast<std::size_t>(2 * step * (c >> 1) + (c & 1));
            unsigned sum = 0;
            // Same-colour neighbours are two samples apart in both directions.
            for (int u = 0; u < step; ++u) {
                const std::uint16_t* src =
                    sensor + (inRow + 2 * static_cast<std::size_t>(u)) * stride + inCol;
                for (int v = 0; v < step; ++v) sum += src[2 * v];
            }
            dst[c] = static_cast<std::uint8_t>(std::min(sum, 4095u) >> 4);
        }
    }
}

ChannelMeans channelMeans(const std::uint8_t* mosaic, int width, int height) {
    // Sums per filter colour: [row parity][column parity] = G R / B G.
    std::uint64_t sums[2][2] = {{0, 0}, {0, 0}};
    for (int r = 0; r < height; ++r) {
        const std::uint8_t* row = mosaic + static_cast<std::size_t>(r) * width;
        std::uint64_t even = 0, odd = 0;
        for (int c = 0; c + 1 < width; c += 2) {
            even += row[c];
            odd += row[c + 1];
        }
        sums[r & 1][0] += even;
        sums[r & 1][1] += odd;
    }
    const double pairs = static_cast<double>(width / 2);
    const double evenRows = (height + 1) / 2, oddRows = height / 2;
    ChannelMeans m;
    if (pairs <= 0 || oddRows <= 0) return m;
    m.red = static_cast<double>(sums[0][1]) / (pairs * evenRows);
    m.blue = static_cast<double>(sums[1][0]) / (pairs * oddRows);
    m.green = static_cast<double>(sums[0][0] + sums[1][1]) / (pairs * (evenRows + oddRows));
    return m;
}

}  // namespace corvalis::nimbus
