#include "mode_geometry.h"

namespace ostra {

namespace {
constexpr ModeGeometry make(int pw, int ph, int rw, int rh, int ow, int oh, int x0, int x1, int y0,
                            int y1, int bin, int fieldB = -1, int pairs = -1) {
    return ModeGeometry{pw,
                        ph,
                        rw,
                        rh,
                        ow,
                        oh,
                        x0,
                        x1,
                        y0,
                        y1,
                        bin,
                        fieldB >= 0 ? fieldB : rh / 2 + 2,
                        pairs >= 0 ? pairs : rh / 2 - 2};
}

// Mode 1 reads a shortened frame whose second field starts at row 588 with 500 pairs.
constexpr std::array<ModeGeometry, kModeCount> kModes = {
    make(3032, 2018, 3032, 2180, 3032, 2018, 0, 3032, 162, 2180, 1),
    make(3032, 844, 3032, 1090, 1516, 844, 0, 3032, 158, 1002, 1, 588, 500),
    make(1516, 1008, 3032, 2180, 1516, 1008, 0, 3032, 162, 2180, 2),
    make(1008, 672, 3032, 2180, 1008, 672, 0, 3024, 162, 2178, 3),
    make(756, 504, 3032, 2180, 756, 504, 0, 3024, 162, 2178, 4),
};
}  // namespace

const std::array<ModeGeometry, kModeCount>& modeTable() {
    return kModes;
}

const ModeGeometry* modeGeometry(int mode) {
    if (mode < 0 || mode >= kModeCount) return nullptr;
    return &kModes[mode];
}

}  // namespace ostra
