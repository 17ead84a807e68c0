#pragma once
#include <cstdint>
#include <cstring>
#include <type_traits>

#include <utility>
#include "vector_clones.h"

namespace ostra {

// Means of the neighbours that exist: four give a shift by 2, three an integer
// division by 3, two a shift by 1, one is copied.
inline int meanOf(int sum, int count) {
    switch (count) {
        case 4:
            return sum >> 2;
        case 3:
            return sum / 3;
        case 2:
            return sum >> 1;
        case 1:
            return sum;
        default:
            return 0;
    }
}

// Fills `mask` (w samples) with all ones at even columns and zero at odd ones.
template <typename Sample>
void columnMask(Sample* mask, int w) {
    for (int c = 0; c < w; ++c) mask[c] = (c & 1) == 0 ? Sample(~Sample(0)) : Sample(0);
}

// The interior columns 1 .. w - 2 of a row whose neighbours all exist. Each
// candidate is formed at every column and the column mask (all ones at green sites)
// picks the one that applies, so the loop has no branch and runs as vector code.
template <typename Sample>
OSTRA_VECTOR_CLONES void demosaicInterior(const Sample* __restrict cur, const Sample* __restrict up,
                                          const Sample* __restrict down,
                                          const Sample* __restrict evenColumns, int greenParity,
                                          int w, Sample* __restrict g, Sample* __restrict rc,
                                          Sample* __restrict cc) {
    using Sum = std::conditional_t<sizeof(Sample) == 1, std::uint16_t, std::uint32_t>;
    const Sample flipMask = greenParity == 0 ? Sample(0) : Sample(~Sample(0));
    for (int c = 1; c < w - 1; ++c) {
        const Sum l = cur[c - 1], r = cur[c + 1], u = up[c], d = down[c];
        const Sample self = cur[c];
        const Sample across = static_cast<Sample>((l + r) >> 1);
        const Sample along = static_cast<Sample>((u + d) >> 1);
        const Sample cross = static_cast<Sample>((l + r + u + d) >> 2);
        const Sample diagonal =
            static_cast<Sample>((Sum(up[c - 1]) + up[c + 1] + down[c - 1] + down[c + 1]) >> 2);
        const Sample m = static_cast<Sample>(evenColumns[c] ^ flipMask);
        const Sample n = static_cast<Sample>(~m);
        g[c] = static_cast<Sample>((self & m) | (cross & n));
        rc[c] = static_cast<Sample>((across & m) | (self & n));
        cc[c] = static_cast<Sample>((along & m) | (diagonal & n));
    }
}

// Bilinear demosaic of row `row` of a w x h mosaic into three planes in blue-green-red
// order. Greens sit at (even, even) and (odd, odd), red at (even, odd), blue at
// (odd, even). Pattern code 6 (the camera's) gives blue-green-red, code 2 the same
// phase in red-green-blue order, code 7 copies each sample into all three planes;
// the other codes are phases the camera never uses and decode as code 6.
// `evenColumns` holds w samples, all ones at even columns and zero at odd ones
// (see columnMask).
template <typename Sample>
void demosaicRow(const Sample* mosaic, int w, int h, int row, int patternCode,
                 const Sample* evenColumns, Sample* blue, Sample* green, Sample* red) {
    const Sample* cur = mosaic + static_cast<std::size_t>(row) * w;
    if (patternCode == 7) {
        std::memcpy(blue, cur, w * sizeof(Sample));
        std::memcpy(green, cur, w * sizeof(Sample));
        std::memcpy(red, cur, w * sizeof(Sample));
        return;
    }
    // On even rows the non-green colour of the row is red and that of the column is
    // blue; on odd rows the other way round.
    Sample* rowColour = (row % 2 == 0) ? red : blue;
    Sample* colColour = (row % 2 == 0) ? blue : red;
    if (patternCode == 2) std::swap(rowColour, colColour);
    const int greenParity = row % 2;  // column parity of the green sites of this row
    const Sample* up = row > 0 ? cur - w : nullptr;
    const Sample* down = row + 1 < h ? cur + w : nullptr;

    auto general = [&](int c) {
        const bool hasL = c > 0, hasR = c + 1 < w;
        int hs = 0, hn = 0, vs = 0, vn = 0, ds = 0, dn = 0;
        if (hasL) hs += cur[c - 1], ++hn;
        if (hasR) hs += cur[c + 1], ++hn;
        if (up) vs += up[c], ++vn;
        if (down) vs += down[c], ++vn;
        if (up && hasL) ds += up[c - 1], ++dn;
        if (up && hasR) ds += up[c + 1], ++dn;
        if (down && hasL) ds += down[c - 1], ++dn;
        if (down && hasR) ds += down[c + 1], ++dn;
        if ((c & 1) == greenParity) {
            green[c] = cur[c];
            rowColour[c] = static_cast<Sample>(meanOf(hs, hn));
            colColour[c] = static_cast<Sample>(meanOf(vs, vn));
        } else {
            rowColour[c] = cur[c];
            green[c] = static_cast<Sample>(meanOf(hs + vs, hn + vn));
            colColour[c] = static_cast<Sample>(meanOf(ds, dn));
        }
    };

    if (up == nullptr || down == nullptr || w < 3) {
        for (int c = 0; c < w; ++c) general(c);
        return;
    }
    general(0);
    demosaicInterior(cur, up, down, evenColumns, greenParity, w, green, rowColour, colColour);
    general(w - 1);
}

}  // namespace ostra
