// The C functions of libnimbus.so over the one camera model. No exception leaves
// them: allocation failure gives -2, anything else the function's failure result.
#include <algorithm>
#include <cmath>
#include <new>

#include "nimbus.h"
#include "nimbus_camera.h"

using corvalis::nimbus::CameraSettings;
using corvalis::nimbus::NimbusCamera;

namespace {

NimbusCamera& camera() {
    return NimbusCamera::instance();
}

// The one guard of every function here: runs `f` and turns any exception into a result.
template <typename F>
int guarded(int failure, F f) noexcept {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return NIMBUS_OUT_OF_MEMORY;
    } catch (...) {
        return failure;
    }
}

template <typename T>
T clamped(int value, int low, int high) {
    return static_cast<T>(std::clamp(value, low, high));
}

int writeRange(int* minimum, int* maximum, int* preset, int low, int high, int initial) {
    if (!minimum || !maximum || !preset) return NIMBUS_FAILED;
    *minimum = low;
    *maximum = high;
    *preset = initial;
    return NIMBUS_DONE;
}

}  // namespace

extern "C" {

int CameraInit(int device_index, uint8_t resolution, KdWindow* display, KdWindow* notify) {
    return guarded(NIMBUS_FAILED,
                   [&] { return camera().init(device_index, resolution, display, notify); });
}

int CameraUnInit(void) {
    return guarded(NIMBUS_FAILED, [&]() -> int { return camera().uninit(); });
}

int CameraGetImageData(void* raw) {
    return guarded(NIMBUS_FAILED,
                   [&] { return raw ? camera().grab(static_cast<uint8_t*>(raw)) : NIMBUS_FAILED; });
}

int CameraDecode(const void* raw, void* out, int /*width*/, int /*height*/, int /*flag*/) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        if (!raw || !out) return NIMBUS_FAILED;
        return camera().decode(static_cast<const uint8_t*>(raw), static_cast<uint8_t*>(out));
    });
}

int CameraGetImageSize(int* width, int* height) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        if (!width || !height) return NIMBUS_FAILED;
        int w = 0, h = 0;
        int result = camera().imageSize(w, h);
        if (result == NIMBUS_DONE) {
            *width = w;
            *height = h;
        }
        return result;
    });
}

int CameraDisplayEnable(int on) {
    return guarded(NIMBUS_FAILED, [&]() -> int { return camera().setDisplayEnable(on != 0); });
}

int CameraGetFrameSpeed(uint8_t* speed) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        if (!speed) return NIMBUS_FAILED;
        return camera().read([&](const CameraSettings& s) -> int {
            *speed = s.frameSpeed;
            return NIMBUS_DONE;
        });
    });
}

int CameraSetFrameSpeed(uint8_t speed) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        return camera().update([&](CameraSettings& s) -> int {
            s.frameSpeed = clamped<uint8_t>(speed, NIMBUS_FRAME_SPEED_MIN, NIMBUS_FRAME_SPEED_MAX);
            return NIMBUS_DONE;
        });
    });
}

int CameraGetAeState(int* on) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        if (!on) return NIMBUS_FAILED;
        return camera().read([&](const CameraSettings& s) -> int {
            *on = s.autoExposure ? 1 : 0;
            return NIMBUS_DONE;
        });
    });
}

int CameraSetAeState(int on) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        return camera().update([&](CameraSettings& s) -> int {
            s.autoExposure = on != 0;
            return NIMBUS_DONE;
        });
    });
}

int CameraGetExposureTimeMS(float* milliseconds) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        if (!milliseconds) return NIMBUS_FAILED;
        return camera().read([&](const CameraSettings& s) -> int {
            *milliseconds = s.exposureMs;
            return NIMBUS_DONE;
        });
    });
}

int CameraSetExposureTimeMS(float milliseconds) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        return camera().update([&](CameraSettings& s) -> int {
            if (std::isnan(milliseconds)) return NIMBUS_FAILED;
            // Kept as given within the range, so a value reads back unchanged.
            s.exposureMs = std::clamp(milliseconds, NIMBUS_EXPOSURE_MIN_MS, NIMBUS_EXPOSURE_MAX_MS);
            return NIMBUS_DONE;
        });
    });
}

int CameraGetAnalogGain(uint16_t* gain) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        if (!gain) return NIMBUS_FAILED;
        return camera().read([&](const CameraSettings& s) -> int {
            *gain = s.analogGain;
            return NIMBUS_DONE;
        });
    });
}

int CameraSetAnalogGain(uint16_t gain) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        return camera().update([&](CameraSettings& s) -> int {
            s.analogGain = clamped<uint16_t>(gain, NIMBUS_ANALOG_GAIN_MIN, NIMBUS_ANALOG_GAIN_MAX);
            return NIMBUS_DONE;
        });
    });
}

int CameraGetGain(uint16_t* red, uint16_t* green, uint16_t* blue) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        if (!red || !green || !blue) return NIMBUS_FAILED;
        return camera().read([&](const CameraSettings& s) -> int {
            *red = s.picture.gainRed;
            *green = s.picture.gainGreen;
            *blue = s.picture.gainBlue;
            return NIMBUS_DONE;
        });
    });
}

int CameraSetGain(uint16_t red, uint16_t green, uint16_t blue) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        return camera().update([&](CameraSettings& s) -> int {
            s.picture.gainRed =
                clamped<uint16_t>(red, NIMBUS_COLOR_GAIN_MIN, NIMBUS_COLOR_GAIN_MAX);
            s.picture.gainGreen =
                clamped<uint16_t>(green, NIMBUS_COLOR_GAIN_MIN, NIMBUS_COLOR_GAIN_MAX);
            s.picture.gainBlue =
                clamped<uint16_t>(blue, NIMBUS_COLOR_GAIN_MIN, NIMBUS_COLOR_GAIN_MAX);
            return NIMBUS_DONE;
        });
    });
}

int CameraGetGamma(uint8_t* gamma) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        if (!gamma) return NIMBUS_FAILED;
        return camera().read([&](const CameraSettings& s) -> int {
            *gamma = s.picture.gamma;
            return NIMBUS_DONE;
        });
    });
}

int CameraSetGamma(uint8_t gamma) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        return camera().update([&](CameraSettings& s) -> int {
            s.picture.gamma = clamped<uint8_t>(gamma, NIMBUS_GAMMA_MIN, NIMBUS_GAMMA_MAX);
            return NIMBUS_DONE;
        });
    });
}

int CameraGetContrast(uint8_t* contrast) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        if (!contrast) return NIMBUS_FAILED;
        return camera().read([&](const CameraSettings& s) -> int {
            *contrast = s.picture.contrast;
            return NIMBUS_DONE;
        });
    });
}

int CameraSetContrast(uint8_t contrast) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        return camera().update([&](CameraSettings& s) -> int {
            s.picture.contrast =
                clamped<uint8_t>(contrast, NIMBUS_CONTRAST_MIN, NIMBUS_CONTRAST_MAX);
            return NIMBUS_DONE;
        });
    });
}

int CameraGetSaturation(uint8_t* saturation) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        if (!saturation) return NIMBUS_FAILED;
        return camera().read([&](const CameraSettings& s) -> int {
            *saturation = s.picture.saturation;
            return NIMBUS_DONE;
        });
    });
}

int CameraSetSaturation(uint8_t saturation) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        return camera().update([&](CameraSettings& s) -> int {
            s.picture.saturation =
                clamped<uint8_t>(saturation, NIMBUS_SATURATION_MIN, NIMBUS_SATURATION_MAX);
            return NIMBUS_DONE;
        });
    });
}

int CameraSetMonochrome(int on) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        return camera().update([&](CameraSettings& s) -> int {
            s.picture.monochrome = on != 0;
            return NIMBUS_DONE;
        });
    });
}

int CameraSetColorEnhancement(int on) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        return camera().update([&](CameraSettings& s) -> int {
            s.picture.colorEnhancement = on != 0;
            return NIMBUS_DONE;
        });
    });
}

int CameraSetMirror(int axis, int on) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        return camera().update([&](CameraSettings& s) -> int {
            if (axis == 0)
                s.picture.mirrorHorizontal = on != 0;
            else if (axis == 1)
                s.picture.mirrorVertical = on != 0;
            else
                return NIMBUS_FAILED;
            return NIMBUS_DONE;
        });
    });
}

int CameraWhiteBalance(void) {
    return guarded(NIMBUS_FAILED, [&]() -> int { return camera().whiteBalance(); });
}

int CameraGetExposureTimeRange(float* minimum, float* maximum, float* preset) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        if (!minimum || !maximum || !preset) return NIMBUS_FAILED;
        *minimum = NIMBUS_EXPOSURE_MIN_MS;
        *maximum = NIMBUS_EXPOSURE_MAX_MS;
        *preset = NIMBUS_EXPOSURE_DEFAULT_MS;
        return NIMBUS_DONE;
    });
}

int CameraGetAnalogGainRange(int* minimum, int* maximum, int* preset) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        return writeRange(minimum, maximum, preset, NIMBUS_ANALOG_GAIN_MIN, NIMBUS_ANALOG_GAIN_MAX,
                          NIMBUS_ANALOG_GAIN_DEFAULT);
    });
}

int CameraGetContrastRange(int* minimum, int* maximum, int* preset) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        return writeRange(minimum, maximum, preset, NIMBUS_CONTRAST_MIN, NIMBUS_CONTRAST_MAX,
                          NIMBUS_CONTRAST_DEFAULT);
    });
}

int CameraGetGammaRange(int* minimum, int* maximum, int* preset) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        return writeRange(minimum, maximum, preset, NIMBUS_GAMMA_MIN, NIMBUS_GAMMA_MAX,
                          NIMBUS_GAMMA_DEFAULT);
    });
}

int CameraGetSaturationRange(int* minimum, int* maximum, int* preset) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        return writeRange(minimum, maximum, preset, NIMBUS_SATURATION_MIN, NIMBUS_SATURATION_MAX,
                          NIMBUS_SATURATION_DEFAULT);
    });
}

int CameraGetGainRange(int* minimum, int* maximum, int* preset) {
    return guarded(NIMBUS_FAILED, [&]() -> int {
        return writeRange(minimum, maximum, preset, NIMBUS_COLOR_GAIN_MIN, NIMBUS_COLOR_GAIN_MAX,
                          NIMBUS_COLOR_GAIN_DEFAULT);
    });
}

}  // extern "C"
