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

template <typename F>
int guarded(int failure, F f) noexcept {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return -2;
    } catch (...) {
        return failure;
    }
}

template <typename T>
T clamped(int value, int low, int high) {
    return static_cast<T>(std::clamp(value, low, high));
}

int writeRange(int* minimum, int* maximum, int* preset, int low, int high, int initial) {
    if (!minimum || !maximum || !preset) return 0;
    *minimum = low;
    *maximum = high;
    *preset = initial;
    return 1;
}

}  // namespace

extern "C" {

int CameraInit(int device_index, uint8_t resolution, KdWindow* display, KdWindow* notify) {
    return guarded(0, [&] { return camera().init(device_index, resolution, display, notify); });
}

int CameraUnInit(void) {
    return guarded(0, [&] { return camera().uninit(); });
}

int CameraGetImageData(void* raw) {
    return guarded(0, [&] { return raw ? camera().grab(static_cast<uint8_t*>(raw)) : 0; });
}

int CameraDecode(const void* raw, void* out, int /*width*/, int /*height*/, int /*flag*/) {
    return guarded(0, [&] {
        if (!raw || !out) return 0;
        return camera().decode(static_cast<const uint8_t*>(raw), static_cast<uint8_t*>(out));
    });
}

int CameraGetImageSize(int* width, int* height) {
    return guarded(0, [&] {
        if (!width || !height) return 0;
        int w = 0, h = 0;
        int result = camera().imageSize(w, h);
        if (result == 1) {
            *width = w;
            *height = h;
        }
        return result;
    });
}

int CameraDisplayEnable(int on) {
    return guarded(0, [&] { return camera().setDisplayEnable(on != 0); });
}

int CameraGetFrameSpeed(uint8_t* speed) {
    return guarded(0, [&] {
        if (!speed) return 0;
        return camera().read([&](const CameraSettings& s) {
            *speed = s.frameSpeed;
            return 1;
        });
    });
}

int CameraSetFrameSpeed(uint8_t speed) {
    return guarded(0, [&] {
        return camera().update([&](CameraSettings& s) {
            s.frameSpeed = clamped<uint8_t>(speed, NIMBUS_FRAME_SPEED_MIN, NIMBUS_FRAME_SPEED_MAX);
            return 1;
        });
    });
}

int CameraGetAeState(int* on) {
    return guarded(0, [&] {
        if (!on) return 0;
        return camera().read([&](const CameraSettings& s) {
            *on = s.autoExposure ? 1 : 0;
            return 1;
        });
    });
}

int CameraSetAeState(int on) {
    return guarded(0, [&] {
        return camera().update([&](CameraSettings& s) {
            s.autoExposure = on != 0;
            return 1;
        });
    });
}

int CameraGetExposureTimeMS(float* milliseconds) {
    return guarded(0, [&] {
        if (!milliseconds) return 0;
        return camera().read([&](const CameraSettings& s) {
            *milliseconds = s.exposureMs;
            return 1;
        });
    });
}

int CameraSetExposureTimeMS(float milliseconds) {
    return guarded(0, [&] {
        return camera().update([&](CameraSettings& s) {
            if (std::isnan(milliseconds)) return 0;
            // Kept as given within the range, so a value reads back unchanged.
            s.exposureMs = std::clamp(milliseconds, NIMBUS_EXPOSURE_MIN_MS, NIMBUS_EXPOSURE_MAX_MS);
            return 1;
        });
    });
}

int CameraGetAnalogGain(uint16_t* gain) {
    return guarded(0, [&] {
        if (!gain) return 0;
        return camera().read([&](const CameraSettings& s) {
            *gain = s.analogGain;
            return 1;
        });
    });
}

int CameraSetAnalogGain(uint16_t gain) {
    return guarded(0, [&] {
        return camera().update([&](CameraSettings& s) {
            s.analogGain = clamped<uint16_t>(gain, NIMBUS_ANALOG_GAIN_MIN, NIMBUS_ANALOG_GAIN_MAX);
            return 1;
        });
    });
}

int CameraGetGain(uint16_t* red, uint16_t* green, uint16_t* blue) {
    return guarded(0, [&] {
        if (!red || !green || !blue) return 0;
        return camera().read([&](const CameraSettings& s) {
            *red = s.picture.gainRed;
            *green = s.picture.gainGreen;
            *blue = s.picture.gainBlue;
            return 1;
        });
    });
}

int CameraSetGain(uint16_t red, uint16_t green, uint16_t blue) {
    return guarded(0, [&] {
        return camera().update([&](CameraSettings& s) {
            s.picture.gainRed =
                clamped<uint16_t>(red, NIMBUS_COLOR_GAIN_MIN, NIMBUS_COLOR_GAIN_MAX);
            s.picture.gainGreen =
                clamped<uint16_t>(green, NIMBUS_COLOR_GAIN_MIN, NIMBUS_COLOR_GAIN_MAX);
            s.picture.gainBlue =
                clamped<uint16_t>(blue, NIMBUS_COLOR_GAIN_MIN, NIMBUS_COLOR_GAIN_MAX);
            return 1;
        });
    });
}

int CameraGetGamma(uint8_t* gamma) {
    return guarded(0, [&] {
        if (!gamma) return 0;
        return camera().read([&](const CameraSettings& s) {
            *gamma = s.picture.gamma;
            return 1;
        });
    });
}

int CameraSetGamma(uint8_t gamma) {
    return guarded(0, [&] {
        return camera().update([&](CameraSettings& s) {
            s.picture.gamma = clamped<uint8_t>(gamma, NIMBUS_GAMMA_MIN, NIMBUS_GAMMA_MAX);
            return 1;
        });
    });
}

int CameraGetContrast(uint8_t* contrast) {
    return guarded(0, [&] {
        if (!contrast) return 0;
        return camera().read([&](const CameraSettings& s) {
            *contrast = s.picture.contrast;
            return 1;
        });
    });
}

int CameraSetContrast(uint8_t contrast) {
    return guarded(0, [&] {
        return camera().update([&](CameraSettings& s) {
            s.picture.contrast =
                clamped<uint8_t>(contrast, NIMBUS_CONTRAST_MIN, NIMBUS_CONTRAST_MAX);
            return 1;
        });
    });
}

int CameraGetSaturation(uint8_t* saturation) {
    return guarded(0, [&] {
        if (!saturation) return 0;
        return camera().read([&](const CameraSettings& s) {
            *saturation = s.picture.saturation;
            return 1;
        });
    });
}

int CameraSetSaturation(uint8_t saturation) {
    return guarded(0, [&] {
        return camera().update([&](CameraSettings& s) {
            s.picture.saturation =
                clamped<uint8_t>(saturation, NIMBUS_SATURATION_MIN, NIMBUS_SATURATION_MAX);
            return 1;
        });
    });
}

int CameraSetMonochrome(int on) {
    return guarded(0, [&] {
        return camera().update([&](CameraSettings& s) {
            s.picture.monochrome = on != 0;
            return 1;
        });
    });
}

int CameraSetColorEnhancement(int on) {
    return guarded(0, [&] {
        return camera().update([&](CameraSettings& s) {
            s.picture.colorEnhancement = on != 0;
            return 1;
        });
    });
}

int CameraSetMirror(int axis, int on) {
    return guarded(0, [&] {
        return camera().update([&](CameraSettings& s) {
            if (axis == 0)
                s.picture.mirrorHorizontal = on != 0;
            else if (axis == 1)
                s.picture.mirrorVertical = on != 0;
            else
                return 0;
            return 1;
        });
    });
}

int CameraWhiteBalance(void) {
    return guarded(0, [&] { return camera().whiteBalance(); });
}

int CameraGetExposureTimeRange(float* minimum, float* maximum, float* preset) {
    return guarded(0, [&] {
        if (!minimum || !maximum || !preset) return 0;
        *minimum = NIMBUS_EXPOSURE_MIN_MS;
        *maximum = NIMBUS_EXPOSURE_MAX_MS;
        *preset = NIMBUS_EXPOSURE_DEFAULT_MS;
        return 1;
    });
}

int CameraGetAnalogGainRange(int* minimum, int* maximum, int* preset) {
    return guarded(0, [&] {
        return writeRange(minimum, maximum, preset, NIMBUS_ANALOG_GAIN_MIN, NIMBUS_ANALOG_GAIN_MAX,
                          NIMBUS_ANALOG_GAIN_DEFAULT);
    });
}

int CameraGetContrastRange(int* minimum, int* maximum, int* preset) {
    return guarded(0, [&] {
        return writeRange(minimum, maximum, preset, NIMBUS_CONTRAST_MIN, NIMBUS_CONTRAST_MAX,
                          NIMBUS_CONTRAST_DEFAULT);
    });
}

int CameraGetGammaRange(int* minimum, int* maximum, int* preset) {
    return guarded(0, [&] {
        return writeRange(minimum, maximum, preset, NIMBUS_GAMMA_MIN, NIMBUS_GAMMA_MAX,
                          NIMBUS_GAMMA_DEFAULT);
    });
}

int CameraGetSaturationRange(int* minimum, int* maximum, int* preset) {
    return guarded(0, [&] {
        return writeRange(minimum, maximum, preset, NIMBUS_SATURATION_MIN, NIMBUS_SATURATION_MAX,
                          NIMBUS_SATURATION_DEFAULT);
    });
}

int CameraGetGainRange(int* minimum, int* maximum, int* preset) {
    return guarded(0, [&] {
        return writeRange(minimum, maximum, preset, NIMBUS_COLOR_GAIN_MIN, NIMBUS_COLOR_GAIN_MAX,
                          NIMBUS_COLOR_GAIN_DEFAULT);
    });
}

}  // extern "C"
