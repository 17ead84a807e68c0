#include "session/picture_defaults.h"

namespace {
constexpr int kUnitColourGain = 64;  // 1.00 in 1/64 units
}

void setFamilyDefaults(CameraRecord& r, int family) {
    if (family == KD_FAMILY_NIMBUS) {
        r.analog_gain = 0;
        r.gamma = 100;
        r.saturation = 100;
        r.contrast = 128;
        r.gain_r = r.gain_g = r.gain_b = kUnitColourGain;
    } else {
        r.analog_gain = 40;
        r.gamma = 100;
        r.contrast = 0;
        r.saturation = 128;
    }
    r.mirror_1 = 0;
    r.mirror_2 = 0;
    r.color_enhancement = 1;
    r.monochrome = 0;
}
