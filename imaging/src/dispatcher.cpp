// KdCamera_ReadWrite's work: one switch per camera family over the command codes.
// Reads go through a value of the camera function's own width and reach the record
// only when the call succeeded, so a failed read leaves the record as it was; the
// frame-speed index alone follows the dispatcher's scratch byte.
#include "dispatcher.h"

#include <cmath>
#include <limits>
#include <new>

#include "camera_calls.h"

namespace vantelo {
namespace {

// The Ostra family starts at its slowest read-out.
constexpr int kFrameSpeedAfterInit = 4;

Dispatcher* instance = nullptr;

std::uint8_t lowByte(std::int32_t value) {
    return static_cast<std::uint8_t>(value);
}
std::uint16_t low16(std::int32_t value) {
    return static_cast<std::uint16_t>(value);
}

template <typename T, typename Field>
int readInto(int (*get)(T*), Field& field) {
    T value{};
    const int result = get(&value);
    if (result == KD_DONE) field = static_cast<Field>(value);
    return result;
}

template <typename T, typename Field>
int readTriple(int (*get)(T*, T*, T*), Field (&fields)[3]) {
    T a{}, b{}, c{};
    const int result = get(&a, &b, &c);
    if (result == KD_DONE) {
        fields[0] = static_cast<Field>(a);
        fields[1] = static_cast<Field>(b);
        fields[2] = static_cast<Field>(c);
    }
    return result;
}

template <typename T>
int readGains(int (*get)(T*, T*, T*), CameraRecord& record) {
    T r{}, g{}, b{};
    const int result = get(&r, &g, &b);
    if (result == KD_DONE) {
        record.gain_r = r;
        record.gain_g = g;
        record.gain_b = b;
    }
    return result;
}

// Milliseconds as the second family reports them, truncated toward zero into the
// record's unsigned field. Out-of-range values are clamped instead of converted
// (which would be undefined); a value that is not a number leaves the record alone.
void storeMilliseconds(float milliseconds, std::uint32_t& field) {
    if (std::isnan(milliseconds)) return;
    if (milliseconds <= 0.0f) {
        field = 0;
    } else if (milliseconds >= 4294967296.0f) {
        field = std::numeric_limits<std::uint32_t>::max();
    } else {
        field = static_cast<std::uint32_t>(milliseconds);
    }
}

int ostraExposure(const OstraCalls& camera, CameraRecord& record, bool read) {
    // The row time is asked before every exposure command; its value is not needed.
    float rowTime = 0.0f;
    camera.getRowTime(&rowTime);
    if (read) {
        readInto(camera.getExposureTime, record.exposure_ms);
    } else {
        camera.setExposureTime(static_cast<int>(record.exposure_ms));
    }
    return KD_DONE;
}

int nimbusExposure(const NimbusCalls& camera, CameraRecord& record, bool read) {
    if (read) {
        float milliseconds = 0.0f;
        if (camera.getExposureTimeMs(&milliseconds) == KD_DONE)
            storeMilliseconds(milliseconds, record.exposure_ms);
    } else {
        camera.setExposureTimeMs(static_cast<float>(record.exposure_ms));
    }
    return KD_DONE;
}

}  // namespace

int Dispatcher::readWrite(CameraRecord& record, int command, bool read) {
    switch (record.camera_type) {
        case KD_FAMILY_OSTRA:
            return ostra(record, command, read);
        case KD_FAMILY_NIMBUS:
            return nimbus(record, command, read);
        default:
            return KD_NOTHING_DONE;
    }
}

int Dispatcher::ostra(CameraRecord& record, int command, bool read) {
    const OstraCalls& camera = ostraCalls();
    switch (command) {
        case CAMCMD_FRAME_SPEED:
            if (read) return readInto(camera.getFrameSpeed, record.frame_speed);
            camera.setFrameSpeed(lowByte(record.frame_speed));
            // The exposure is kept in rows, so its time changes with the speed.
            ostra(record, CAMCMD_EXPOSURE, true);
            return KD_DONE;
        case CAMCMD_DATA_WIDTH:
            if (read) return readInto(camera.getDataWide, record.data_width_16);
            return camera.setDataWide(record.data_width_16);
        case CAMCMD_WHITE_BALANCE:
            if (read) return readInto(camera.getAwbState, record.awb_state);
            return camera.setAwbState(1);
        case CAMCMD_RGB_GAIN:
            if (read) return readGains(camera.getGain, record);
            return camera.setGain(low16(record.gain_r), low16(record.gain_g), low16(record.gain_b));
        case CAMCMD_MONOCHROME:
            return camera.setMonochrome(record.monochrome);
        case CAMCMD_COLOR_ENHANCE:
            return camera.setColorEnhancement(record.color_enhancement);
        case CAMCMD_GAMMA:
            if (read) return readInto(camera.getGamma, record.gamma);
            return camera.setGamma(record.gamma);
        case CAMCMD_CONTRAST:
            if (read) return readInto(camera.getContrast, record.contrast);
            return camera.setContrast(record.contrast);
        case CAMCMD_SATURATION:
            if (read) {
                // Read for the camera's sake only; the record keeps the user's choice.
                unsigned char scratch = 128;
                return camera.getSaturation(&scratch);
            }
            return camera.setSaturation(lowByte(record.saturation));
        case CAMCMD_AUTO_EXPOSURE:
            if (read) return readInto(camera.getAeState, record.auto_exposure);
            return camera.setAeState(record.auto_exposure);
        case CAMCMD_ANALOG_GAIN:
            if (read) return readInto(camera.getAnalogGain, record.analog_gain);
            return camera.setAnalogGain(low16(record.analog_gain));
        case CAMCMD_EXPOSURE:
            return ostraExposure(camera, record, read);
        case CAMCMD_IMAGE_SIZE: {
            if (!read) return KD_NOTHING_DONE;
            int width = 0, height = 0;
            const int result = camera.getImageSize(&width, &height);
            if (result == KD_DONE) {
                record.image_width = width;
                record.image_height = height;
            }
            return result;
        }
        case CAMCMD_FRAME_SPEED_INDEX:
            // The list starts at the camera's speed 1; speeds 0 and 1 both show as the first entry.
            // A failed read leaves the scratch at the last speed seen, and the index follows it.
            if (read) {
                camera.getFrameSpeed(&frameSpeedScratch_);
                record.frame_speed_index = frameSpeedScratch_ <= 1 ? 0 : frameSpeedScratch_ - 1;
            } else {
                frameSpeedScratch_ =
                    static_cast<std::uint8_t>(lowByte(record.frame_speed_index) + 1);
                camera.setFrameSpeed(frameSpeedScratch_);
            }
            return KD_DONE;
        case CAMCMD_LONG_EXP_POWER:
            if (read) return readInto(camera.getLongExpPower, record.long_exp_power);
            return camera.setLongExpPower(record.long_exp_power);
        case CAMCMD_INIT:
            if (record.state != KD_STATE_UNINITIALISED) return KD_NOTHING_DONE;
            if (camera.init(lowByte(record.resolution_index), record.init_window_1,
                            record.init_window_2) != KD_DONE)
                return KD_NO_CAMERA;
            record.state = KD_STATE_INITIALISED;
            camera.setAeState(0);
            camera.setFrameSpeed(kFrameSpeedAfterInit);
            return KD_DONE;
        case CAMCMD_UNINIT:
            if (record.state != KD_STATE_STOPPED) return KD_NOTHING_DONE;
            record.state = KD_STATE_UNINITIALISED;
            camera.unInit();
            return KD_DONE;
        case CAMCMD_START:
            if (record.state != KD_STATE_INITIALISED) return KD_NOTHING_DONE;
            record.state = KD_STATE_STARTED;
            camera.setMonochrome(0);
            return KD_DONE;
        case CAMCMD_STOP:
            if (record.state != KD_STATE_STARTED) return KD_NOTHING_DONE;
            record.state = KD_STATE_STOPPED;
            return KD_DONE;
        case CAMCMD_APPLY_EXPOSURE:
            ostra(record, CAMCMD_EXPOSURE, false);
            return KD_DONE;
        case CAMCMD_APPLY_EXPOSURE_RESTART:
            ostra(record, CAMCMD_EXPOSURE, false);
            return ostra(record, CAMCMD_RESTART_LONG_EXP_0, false);
        case CAMCMD_RESTART_LONG_EXP_1:
            return camera.restartLongExposure(1);
        case CAMCMD_RESTART_LONG_EXP_0:
            return camera.restartLongExposure(0);
        case CAMCMD_DISPLAY_ENABLE:
            return camera.displayEnable(read ? 1 : 0);
        // The mirror commands answer 0 whatever the camera said; callers rely on nothing more.
        case CAMCMD_MIRROR_1:
            camera.setMirror(0, record.mirror_1);
            return KD_NOTHING_DONE;
        case CAMCMD_MIRROR_2:
            camera.setMirror(1, record.mirror_2);
            return KD_NOTHING_DONE;
        default:
            return KD_NOTHING_DONE;
    }
}

int Dispatcher::nimbus(CameraRecord& record, int command, bool read) {
    const NimbusCalls& camera = nimbusCalls();
    switch (command) {
        case CAMCMD_FRAME_SPEED:
            if (read) return readInto(camera.getFrameSpeed, record.frame_speed);
            camera.setFrameSpeed(lowByte(record.frame_speed));
            nimbus(record, CAMCMD_EXPOSURE, true);
            return KD_DONE;
        case CAMCMD_WHITE_BALANCE:
            if (read) return KD_NOTHING_DONE;
            return camera.whiteBalance();
        case CAMCMD_RGB_GAIN:
            if (read) return readGains(camera.getGain, record);
            return camera.setGain(low16(record.gain_r), low16(record.gain_g), low16(record.gain_b));
        case CAMCMD_MONOCHROME:
            return camera.setMonochrome(record.monochrome);
        case CAMCMD_COLOR_ENHANCE:
            return camera.setColorEnhancement(record.color_enhancement);
        case CAMCMD_GAMMA:
            if (read) return readInto(camera.getGamma, record.gamma);
            return camera.setGamma(record.gamma);
        case CAMCMD_CONTRAST:
            if (read) return readInto(camera.getContrast, record.contrast);
            return camera.setContrast(record.contrast);
        case CAMCMD_SATURATION:
            if (read) {
                std::uint8_t scratch = 128;
                return camera.getSaturation(&scratch);
            }
            return camera.setSaturation(lowByte(record.saturation));
        case CAMCMD_AUTO_EXPOSURE:
            if (read) return readInto(camera.getAeState, record.auto_exposure);
            return camera.setAeState(record.auto_exposure);
        case CAMCMD_ANALOG_GAIN:
            if (read) return readInto(camera.getAnalogGain, record.analog_gain);
            return camera.setAnalogGain(low16(record.analog_gain));
        // This family has no long-exposure power: its code moves the exposure time too.
        case CAMCMD_EXPOSURE:
        case CAMCMD_LONG_EXP_POWER:
            return nimbusExposure(camera, record, read);
        case CAMCMD_IMAGE_SIZE: {
            if (!read) return KD_NOTHING_DONE;
            int width = 0, height = 0;
            const int result = camera.getImageSize(&width, &height);
            if (result == KD_DONE) {
                record.image_width = width;
                record.image_height = height;
            }
            return result;
        }
        case CAMCMD_FRAME_SPEED_INDEX:
            // This family's speeds are list indices already.
            if (read) {
                camera.getFrameSpeed(&frameSpeedScratch_);
                record.frame_speed_index = frameSpeedScratch_;
            } else {
                camera.setFrameSpeed(lowByte(record.frame_speed_index));
            }
            return KD_DONE;
        case CAMCMD_INIT:
            if (record.state != KD_STATE_UNINITIALISED) return KD_NOTHING_DONE;
            if (camera.init(0, lowByte(record.resolution_index), record.init_window_1,
                            record.init_window_2) != KD_DONE)
                return KD_NO_CAMERA;
            record.state = KD_STATE_INITIALISED;
            camera.setAeState(0);
            return KD_DONE;
        case CAMCMD_UNINIT:
            if (record.state != KD_STATE_STOPPED) return KD_NOTHING_DONE;
            record.state = KD_STATE_UNINITIALISED;
            camera.unInit();
            return KD_DONE;
        case CAMCMD_START:
            if (record.state != KD_STATE_INITIALISED) return KD_NOTHING_DONE;
            record.state = KD_STATE_STARTED;
            camera.setMonochrome(0);
            return KD_DONE;
        case CAMCMD_STOP:
            if (record.state != KD_STATE_STARTED) return KD_NOTHING_DONE;
            record.state = KD_STATE_STOPPED;
            return KD_DONE;
        case CAMCMD_APPLY_EXPOSURE:
            nimbus(record, CAMCMD_EXPOSURE, false);
            return KD_DONE;
        case CAMCMD_APPLY_EXPOSURE_RESTART:
            nimbus(record, CAMCMD_EXPOSURE, false);
            return nimbus(record, CAMCMD_RESTART_LONG_EXP_0, false);
        case CAMCMD_DISPLAY_ENABLE:
            return camera.displayEnable(read ? 1 : 0);
        case CAMCMD_MIRROR_1:
            camera.setMirror(0, record.mirror_1);
            return KD_NOTHING_DONE;
        case CAMCMD_MIRROR_2:
            camera.setMirror(1, record.mirror_2);
            return KD_NOTHING_DONE;
        case CAMCMD_EXPOSURE_RANGE:
            return readTriple(camera.getExposureTimeRange, record.exposure_range);
        case CAMCMD_ANALOG_GAIN_RANGE:
            return readTriple(camera.getAnalogGainRange, record.param_range);
        case CAMCMD_CONTRAST_RANGE:
            return readTriple(camera.getContrastRange, record.param_range);
        case CAMCMD_GAMMA_RANGE:
            return readTriple(camera.getGammaRange, record.param_range);
        case CAMCMD_SATURATION_RANGE:
            return readTriple(camera.getSaturationRange, record.param_range);
        case CAMCMD_GAIN_RANGE:
            return readTriple(camera.getGainRange, record.param_range);
        // Data width and the long-exposure restarts are the first family's alone.
        default:
            return KD_NOTHING_DONE;
    }
}

bool ensureDispatcher() {
    if (instance == nullptr) instance = new (std::nothrow) Dispatcher();
    return instance != nullptr;
}

void destroyDispatcher() {
    delete instance;
    instance = nullptr;
}

Dispatcher* dispatcher() {
    return instance;
}

}  // namespace vantelo
