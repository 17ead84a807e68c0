#pragma once
#include <cstring>
#include <utility>

namespace ostra {

// Means of the neighbours that exist: four give a shift by 2, three an integer
// division by 3, two a shift by 1, one is copied.
inline int meanOf(int sum, int count) {
    switch (count) {
        case 4: return sum >> 2;
        case 3: return sum / 3;
        case 2: return sum >> 1;
        case 1: return sum;
        default: return 0;
    }
}

// Bilinear demosaic of row `row` of a w x h mosaic into three planes in blue-green-red
// order. Greens sit at (even, even) and (odd, odd), red at (even, odd), blue at
// (odd, even). Pattern code 6 (the camera's) gives blue-green-red, code 2 the same
// phase in red-green-blue order, code 7 copies each sample into all three planes;
// the other codes are phases the camera never uses and decode as code 6.
template <typename Sample>
void demosaicRow(const Sample* mosaic, int w, int h, int row, int patternCode, Sample* blue, Sample* green,
                 Sample* red) {
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
    // Interior: every neighbour exists. Sites alternate green / colour along the row.
    for (int c = 1; c < w - 1; ++c) {
        const int l = cur[c - 1], r = cur[c + 1], u = up[c], d = down[c];
        if ((c & 1) == greenParity) {
            green[c] = cur[c];
            rowColour[c] = static_cast<Sample>((l + r) >> 1);
            colColour[c] = static_cast<Sample>((u + d) >> 1);
        } else {
            rowColour[c] = cur[c];
            green[c] = static_cast<Sample>((l + r + u + d) >> 2);
            colColour[c] = static_cast<Sample>((up[c - 1] + up[c + 1] + down[c - 1] + down[c + 1]) >> 2);
        }
    }
    general(w - 1);
}

}  // namespace ostra
