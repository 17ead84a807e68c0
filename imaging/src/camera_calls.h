#pragma once
#include <cstdint>

#include "kd_window.h"
#include "ostra_frame_info.h"

// The functions of the two camera libraries that the dispatcher calls, as two tables
// of plain function pointers. Their defaults are the libraries' own exports, bound by
// name when this library loads; tests put recording doubles in their place.
namespace vantelo {

struct OstraCalls {
    int (*init)(int mode, KdWindow* display, KdWindow* notify);
    int (*unInit)();
    int (*displayEnable)(int on);
    int (*grabFrame)(unsigned char* destination);
    int (*decode)(unsigned char* raw, unsigned char* rgb, int width, int height, int to8);
    int (*getImageSize)(int* width, int* height);
    int (*getResolution)(unsigned char* mode);
    int (*setAeState)(int on);
    int (*getAeState)(int* on);
    int (*setExposureTime)(int milliseconds);
    int (*getExposureTime)(unsigned int* milliseconds);
    int (*getRowTime)(float* microseconds);
    int (*restartLongExposure)(int restartStreaming);
    int (*setLongExpPower)(int on);
    int (*getLongExpPower)(int* on);
    int (*setAnalogGain)(int gain);
    int (*getAnalogGain)(unsigned short* gain);
    int (*setAwbState)(int armed);
    int (*getAwbState)(int* pending);
    int (*setGain)(int red, int green, int blue);
    int (*getGain)(int* red, int* green, int* blue);
    int (*setGamma)(int gamma);
    int (*getGamma)(unsigned char* gamma);
    int (*setContrast)(int contrast);
    int (*getContrast)(unsigned char* contrast);
    int (*setSaturation)(int saturation);
    int (*getSaturation)(unsigned char* saturation);
    int (*setColorEnhancement)(int on);
    int (*setMonochrome)(int on);
    int (*setMirror)(int axis, int on);
    int (*setFrameSpeed)(int speed);
    int (*getFrameSpeed)(unsigned char* speed);
    int (*setDataWide)(int wide);
    int (*getDataWide)(int* wide);
    int (*frameInfo)(CorvalisOstraFrame* info);  // null in doubles that do not keep it
};

struct NimbusCalls {
    int (*init)(int deviceIndex, std::uint8_t resolution, KdWindow* display, KdWindow* notify);
    int (*unInit)();
    int (*getImageData)(void* raw);
    int (*decode)(const void* raw, void* out, int width, int height, int flag);
    int (*getImageSize)(int* width, int* height);
    int (*displayEnable)(int on);
    int (*getFrameSpeed)(std::uint8_t* speed);
    int (*setFrameSpeed)(std::uint8_t speed);
    int (*getAeState)(int* on);
    int (*setAeState)(int on);
    int (*getExposureTimeMs)(float* milliseconds);
    int (*setExposureTimeMs)(float milliseconds);
    int (*getAnalogGain)(std::uint16_t* gain);
    int (*setAnalogGain)(std::uint16_t gain);
    int (*getGain)(std::uint16_t* red, std::uint16_t* green, std::uint16_t* blue);
    int (*setGain)(std::uint16_t red, std::uint16_t green, std::uint16_t blue);
    int (*getGamma)(std::uint8_t* gamma);
    int (*setGamma)(std::uint8_t gamma);
    int (*getContrast)(std::uint8_t* contrast);
    int (*setContrast)(std::uint8_t contrast);
    int (*getSaturation)(std::uint8_t* saturation);
    int (*setSaturation)(std::uint8_t saturation);
    int (*setMonochrome)(int on);
    int (*setColorEnhancement)(int on);
    int (*setMirror)(int axis, int on);
    int (*whiteBalance)();
    int (*getExposureTimeRange)(float* minimum, float* maximum, float* preset);
    int (*getAnalogGainRange)(int* minimum, int* maximum, int* preset);
    int (*getContrastRange)(int* minimum, int* maximum, int* preset);
    int (*getGammaRange)(int* minimum, int* maximum, int* preset);
    int (*getSaturationRange)(int* minimum, int* maximum, int* preset);
    int (*getGainRange)(int* minimum, int* maximum, int* preset);
};

// The tables in use. They are replaced only while no camera call is under way (tests
// do it between calls), so readers on the preview thread never see a change.
const OstraCalls& ostraCalls();
const NimbusCalls& nimbusCalls();
void setOstraCalls(const OstraCalls& calls);
void setNimbusCalls(const NimbusCalls& calls);
// Puts the libraries' own functions back.
void restoreCameraCalls();

}  // namespace vantelo
