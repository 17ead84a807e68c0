#include "dispatch_fakes.h"

#include <cstdio>

#include "camera_calls.h"

namespace dispatch_fakes {

State fake;
KdWindow window1{};
KdWindow window2{};

namespace {

std::string windowName(const KdWindow* window) {
    if (window == &window1) return "w1";
    if (window == &window2) return "w2";
    return window == nullptr ? "null" : "?";
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

template <typename... Args>
int logged(const char* name, Args... args) {
    std::string call = name;
    call += '(';
    bool first = true;
    ((call += (first ? "" : ","), call += number(static_cast<double>(args)), first = false), ...);
    call += ')';
    fake.calls.push_back(call);
    return fake.result;
}

// Writes the values when the call succeeds.
template <typename T, typename V>
void put(T* target, V value) {
    if (fake.result == 1 && target != nullptr) *target = static_cast<T>(value);
}

// A getter of one value.
template <typename T, typename V>
int got(const char* name, T* target, V value) {
    put(target, value);
    return logged(name);
}

// A getter of three values (gains, ranges).
template <typename T>
int triple(const char* name, T* first, T* second, T* third, double a, double b, double c) {
    put(first, a);
    put(second, b);
    put(third, c);
    return logged(name);
}

const vantelo::OstraCalls kOstra = {
    .init =
        [](int mode, KdWindow* display, KdWindow* notify) {
            fake.calls.push_back("OstraIICameraInit(" + number(mode) + "," + windowName(display) +
                                 "," + windowName(notify) + ")");
            return fake.result;
        },
    .unInit = [] { return logged("OstraIICameraUnInit"); },
    .displayEnable = [](int on) { return logged("OstraIICameraDisplayEnable", on); },
    .grabFrame =
        [](unsigned char* destination) {
            fake.calls.push_back(destination ? "OstraIICameraGrabFrame(buffer)"
                                             : "OstraIICameraGrabFrame(null)");
            return fake.result;
        },
    .decode = [](unsigned char*, unsigned char*, int width, int height,
                 int to8) { return logged("OstraIICameraDecode", width, height, to8); },
    .getImageSize =
        [](int* width, int* height) {
            put(width, 1516);
            put(height, 1008);
            return logged("OstraIICameraGetImageSize");
        },
    .getResolution = [](unsigned char* mode) { return got("OstraIICameraGetResolution", mode, 2); },
    .setAeState = [](int on) { return logged("OstraIICameraSetAeState", on); },
    .getAeState = [](int* on) { return got("OstraIICameraGetAeState", on, 1); },
    .setExposureTime = [](int ms) { return logged("OstraIICameraSetExposureTime", ms); },
    .getExposureTime =
        [](unsigned int* ms) { return got("OstraIICameraGetExposureTime", ms, 1500); },
    .getRowTime = [](float* us) { return got("OstraIICameraGetRowTime", us, 123.5f); },
    .restartLongExposure =
        [](int restart) { return logged("OstraIICameraRestartLongExposure", restart); },
    .setLongExpPower = [](int on) { return logged("OstraIICameraSetLongExpPower", on); },
    .getLongExpPower = [](int* on) { return got("OstraIICameraGetLongExpPower", on, 1); },
    .setAnalogGain = [](int gain) { return logged("OstraIICameraSetAnalogGain", gain); },
    .getAnalogGain =
        [](unsigned short* gain) { return got("OstraIICameraGetAnalogGain", gain, 33); },
    .setAwbState = [](int armed) { return logged("OstraIICameraSetAWBState", armed); },
    .getAwbState = [](int* pending) { return got("OstraIICameraGetAWBState", pending, 1); },
    .setGain = [](int r, int g, int b) { return logged("OstraIICameraSetGain", r, g, b); },
    .getGain = [](int* r, int* g,
                  int* b) { return triple("OstraIICameraGetGain", r, g, b, 70, 80, 90); },
    .setGamma = [](int gamma) { return logged("OstraIICameraSetGamma", gamma); },
    .getGamma = [](unsigned char* gamma) { return got("OstraIICameraGetGamma", gamma, 12); },
    .setContrast = [](int contrast) { return logged("OstraIICameraSetContrast", contrast); },
    .getContrast =
        [](unsigned char* contrast) { return got("OstraIICameraGetContrast", contrast, 3); },
    .setSaturation =
        [](int saturation) { return logged("OstraIICameraSetSaturation", saturation); },
    .getSaturation =
        [](unsigned char* saturation) { return got("OstraIICameraGetSaturation", saturation, 99); },
    .setColorEnhancement = [](int on) { return logged("OstraIICameraSetColorEnhancement", on); },
    .setMonochrome = [](int on) { return logged("OstraIICameraSetMonochrome", on); },
    .setMirror = [](int axis, int on) { return logged("OstraIICameraSetMirror", axis, on); },
    .setFrameSpeed = [](int speed) { return logged("OstraIICameraSetFrameSpeed", speed); },
    .getFrameSpeed =
        [](unsigned char* speed) {
            return got("OstraIICameraGetFrameSpeed", speed, fake.ostraFrameSpeed);
        },
    .setDataWide = [](int wide) { return logged("OstraIICameraSetDataWide", wide); },
    .getDataWide = [](int* wide) { return got("OstraIICameraGetDataWide", wide, 1); },
    .frameInfo = nullptr,  // the doubles keep no frame information
};

const vantelo::NimbusCalls kNimbus = {
    .init =
        [](int device, std::uint8_t resolution, KdWindow* display, KdWindow* notify) {
            fake.calls.push_back("CameraInit(" + number(device) + "," + number(resolution) + "," +
                                 windowName(display) + "," + windowName(notify) + ")");
            return fake.result;
        },
    .unInit = [] { return logged("CameraUnInit"); },
    .getImageData =
        [](void* raw) {
            fake.calls.push_back(raw ? "CameraGetImageData(buffer)" : "CameraGetImageData(null)");
            return fake.result;
        },
    .decode = [](const void*, void*, int width, int height,
                 int flag) { return logged("CameraDecode", width, height, flag); },
    .getImageSize =
        [](int* width, int* height) {
            put(width, 1272);
            put(height, 952);
            return logged("CameraGetImageSize");
        },
    .displayEnable = [](int on) { return logged("CameraDisplayEnable", on); },
    .getFrameSpeed = [](std::uint8_t* speed) { return got("CameraGetFrameSpeed", speed, 2); },
    .setFrameSpeed = [](std::uint8_t speed) { return logged("CameraSetFrameSpeed", speed); },
    .getAeState = [](int* on) { return got("CameraGetAeState", on, 1); },
    .setAeState = [](int on) { return logged("CameraSetAeState", on); },
    .getExposureTimeMs =
        [](float* ms) { return got("CameraGetExposureTimeMS", ms, fake.nimbusExposure); },
    .setExposureTimeMs = [](float ms) { return logged("CameraSetExposureTimeMS", ms); },
    .getAnalogGain = [](std::uint16_t* gain) { return got("CameraGetAnalogGain", gain, 21); },
    .setAnalogGain = [](std::uint16_t gain) { return logged("CameraSetAnalogGain", gain); },
    .getGain = [](std::uint16_t* r, std::uint16_t* g,
                  std::uint16_t* b) { return triple("CameraGetGain", r, g, b, 60, 61, 62); },
    .setGain = [](std::uint16_t r, std::uint16_t g,
                  std::uint16_t b) { return logged("CameraSetGain", r, g, b); },
    .getGamma = [](std::uint8_t* gamma) { return got("CameraGetGamma", gamma, 9); },
    .setGamma = [](std::uint8_t gamma) { return logged("CameraSetGamma", gamma); },
    .getContrast = [](std::uint8_t* contrast) { return got("CameraGetContrast", contrast, 4); },
    .setContrast = [](std::uint8_t contrast) { return logged("CameraSetContrast", contrast); },
    .getSaturation =
        [](std::uint8_t* saturation) { return got("CameraGetSaturation", saturation, 150); },
    .setSaturation =
        [](std::uint8_t saturation) { return logged("CameraSetSaturation", saturation); },
    .setMonochrome = [](int on) { return logged("CameraSetMonochrome", on); },
    .setColorEnhancement = [](int on) { return logged("CameraSetColorEnhancement", on); },
    .setMirror = [](int axis, int on) { return logged("CameraSetMirror", axis, on); },
    .whiteBalance = [] { return logged("CameraWhiteBalance"); },
    .getExposureTimeRange =
        [](float* a, float* b, float* c) {
            return triple("CameraGetExposureTimeRange", a, b, c, 0.1f, 3600000.0f, 200.0f);
        },
    .getAnalogGainRange =
        [](int* a, int* b, int* c) {
            return triple("CameraGetAnalogGainRange", a, b, c, 1, 63, 16);
        },
    .getContrastRange =
        [](int* a, int* b, int* c) {
            return triple("CameraGetContrastRange", a, b, c, 2, 100, 50);
        },
    .getGammaRange = [](int* a, int* b,
                        int* c) { return triple("CameraGetGammaRange", a, b, c, 3, 250, 100); },
    .getSaturationRange =
        [](int* a, int* b, int* c) {
            return triple("CameraGetSaturationRange", a, b, c, 4, 255, 128);
        },
    .getGainRange = [](int* a, int* b,
                       int* c) { return triple("CameraGetGainRange", a, b, c, 5, 512, 64); },
};

}  // namespace

void install() {
    fake = State{};
    vantelo::setOstraCalls(kOstra);
    vantelo::setNimbusCalls(kNimbus);
}

void restore() {
    vantelo::restoreCameraCalls();
}

}  // namespace dispatch_fakes
