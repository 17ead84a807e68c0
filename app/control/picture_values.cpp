#include "control/picture_values.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace picture {

namespace {

// Exposures beyond this many milliseconds step the progress bars in hundredths.
constexpr unsigned kLongExposureMs = 600000u;
constexpr int kLongExposureSteps = 99;

std::string format(const char* pattern, double value) {
    char text[32];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

// The first family's sensor limits (rows per high step, highest step, row time).
constexpr unsigned kMaxExposureHigh = 4090;
unsigned exposureStep(int mode) {
    return mode == 1 ? 651u : 1155u;
}
float rowTimeMicros(int mode, int frameSpeed) {
    static constexpr float kSpeedFactor[] = {0.05f, 0.06666667f, 0.1f, 0.2f};
    const float base = mode == 1 ? 4087.0f : 3607.0f;
    return base * kSpeedFactor[std::clamp(frameSpeed, 1, 4) - 1];
}

}  // namespace

int contrastByte(int v) {
    if (v < kDisplayMin) return 0;
    if (v < 0) return v + 20;
    if (v < kDisplayMax) return 4 * v + 20;
    return 100;
}

int contrastDisplay(int c) {
    if (c < 20) return c - 20;
    // The slider ends at 20: a byte above 100 must not put it off its scale.
    return std::min((c - 20) / 4, kDisplayMax);
}

int gammaByte(int v) {
    v = std::clamp(v, kDisplayMin, kDisplayMax);
    if (v < 0) return 100 + 4 * v;
    return static_cast<int>(100.0f + 2.5f * static_cast<float>(v));
}

int gammaDisplay(int g) {
    if (g < 100) return std::max((g - 100) / 4, kDisplayMin);
    // Rounded, not truncated: the stored byte of an odd value was truncated from a half
    // (1 -> 102), and truncating again would move the slider back by one (102 -> 0).
    return std::min(static_cast<int>(std::lround(static_cast<float>(g - 100) * 0.4f)), kDisplayMax);
}

std::string gainLabel(int position) {
    return format("%.3f dB", static_cast<float>(position) * 0.0351f + 6.0f);
}

std::string colourGainLabel(int gain) {
    return format("%5.2f", gain / 64.0);
}

float sharpenStrength(int position) {
    return static_cast<float>(position) * 0.1f;
}

std::string sharpenLabel(int position) {
    return format("%.2f", sharpenStrength(position));
}

unsigned exposureMs(const ExposureFields& f) {
    return static_cast<unsigned>(f.milliseconds) + static_cast<unsigned>(f.seconds) * 1000u +
           static_cast<unsigned>(f.minutes) * 60000u;
}

ExposureFields exposureFields(unsigned t) {
    return {static_cast<int>(t / 60000u), static_cast<int>((t / 1000u) % 60u),
            static_cast<int>(t % 1000u)};
}

unsigned longestExposureMs(const CameraRecord& r) {
    if (r.camera_type == KD_FAMILY_NIMBUS) {
        const float reported = r.exposure_range[1];
        // An unread or nonsensical range leaves the fields' own limit.
        if (!(reported >= 1.0f) || reported >= static_cast<float>(kFieldsLongestMs))
            return kFieldsLongestMs;
        return static_cast<unsigned>(reported);
    }
    const int mode = r.resolution_index;
    const double rows = double(kMaxExposureHigh + 1) * exposureStep(mode) - 1.0;
    const double longest = std::floor(rows * rowTimeMicros(mode, r.frame_speed) / 1000.0);
    return static_cast<unsigned>(std::min(longest, double(kFieldsLongestMs)));
}

int progressRange(unsigned exposureMs) {
    if (exposureMs > kLongExposureMs) return kLongExposureSteps;
    return static_cast<int>((exposureMs + 750u) / 15u);
}

int progressPeriod(unsigned exposureMs) {
    if (exposureMs > kLongExposureMs) return static_cast<int>(exposureMs / 100u);
    return 10;
}

}  // namespace picture
