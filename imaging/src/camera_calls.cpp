// The camera libraries' exports behind the dispatcher's call tables.
#include "camera_calls.h"

#include "nimbus.h"
#include "ostra.h"

namespace vantelo {
namespace {

constexpr OstraCalls kOstraLibrary = {
    .init = OstraIICameraInit,
    .unInit = OstraIICameraUnInit,
    .displayEnable = OstraIICameraDisplayEnable,
    .grabFrame = OstraIICameraGrabFrame,
    .decode = OstraIICameraDecode,
    .getImageSize = OstraIICameraGetImageSize,
    .getResolution = OstraIICameraGetResolution,
    .setAeState = OstraIICameraSetAeState,
    .getAeState = OstraIICameraGetAeState,
    .setExposureTime = OstraIICameraSetExposureTime,
    .getExposureTime = OstraIICameraGetExposureTime,
    .getRowTime = OstraIICameraGetRowTime,
    .restartLongExposure = OstraIICameraRestartLongExposure,
    .setLongExpPower = OstraIICameraSetLongExpPower,
    .getLongExpPower = OstraIICameraGetLongExpPower,
    .setAnalogGain = OstraIICameraSetAnalogGain,
    .getAnalogGain = OstraIICameraGetAnalogGain,
    .setAwbState = OstraIICameraSetAWBState,
    .getAwbState = OstraIICameraGetAWBState,
    .setGain = OstraIICameraSetGain,
    .getGain = OstraIICameraGetGain,
    .setGamma = OstraIICameraSetGamma,
    .getGamma = OstraIICameraGetGamma,
    .setContrast = OstraIICameraSetContrast,
    .getContrast = OstraIICameraGetContrast,
    .setSaturation = OstraIICameraSetSaturation,
    .getSaturation = OstraIICameraGetSaturation,
    .setColorEnhancement = OstraIICameraSetColorEnhancement,
    .setMonochrome = OstraIICameraSetMonochrome,
    .setMirror = OstraIICameraSetMirror,
    .setFrameSpeed = OstraIICameraSetFrameSpeed,
    .getFrameSpeed = OstraIICameraGetFrameSpeed,
    .setDataWide = OstraIICameraSetDataWide,
    .getDataWide = OstraIICameraGetDataWide,
    .frameInfo = CorvalisOstraFrameInfo,
};

constexpr NimbusCalls kNimbusLibrary = {
    .init = CameraInit,
    .unInit = CameraUnInit,
    .getImageData = CameraGetImageData,
    .decode = CameraDecode,
    .getImageSize = CameraGetImageSize,
    .displayEnable = CameraDisplayEnable,
    .getFrameSpeed = CameraGetFrameSpeed,
    .setFrameSpeed = CameraSetFrameSpeed,
    .getAeState = CameraGetAeState,
    .setAeState = CameraSetAeState,
    .getExposureTimeMs = CameraGetExposureTimeMS,
    .setExposureTimeMs = CameraSetExposureTimeMS,
    .getAnalogGain = CameraGetAnalogGain,
    .setAnalogGain = CameraSetAnalogGain,
    .getGain = CameraGetGain,
    .setGain = CameraSetGain,
    .getGamma = CameraGetGamma,
    .setGamma = CameraSetGamma,
    .getContrast = CameraGetContrast,
    .setContrast = CameraSetContrast,
    .getSaturation = CameraGetSaturation,
    .setSaturation = CameraSetSaturation,
    .setMonochrome = CameraSetMonochrome,
    .setColorEnhancement = CameraSetColorEnhancement,
    .setMirror = CameraSetMirror,
    .whiteBalance = CameraWhiteBalance,
    .getExposureTimeRange = CameraGetExposureTimeRange,
    .getAnalogGainRange = CameraGetAnalogGainRange,
    .getContrastRange = CameraGetContrastRange,
    .getGammaRange = CameraGetGammaRange,
    .getSaturationRange = CameraGetSaturationRange,
    .getGainRange = CameraGetGainRange,
};

OstraCalls ostraInUse = kOstraLibrary;
NimbusCalls nimbusInUse = kNimbusLibrary;

}  // namespace

const OstraCalls& ostraCalls() {
    return ostraInUse;
}
const NimbusCalls& nimbusCalls() {
    return nimbusInUse;
}
void setOstraCalls(const OstraCalls& calls) {
    ostraInUse = calls;
}
void setNimbusCalls(const NimbusCalls& calls) {
    nimbusInUse = calls;
}

void restoreCameraCalls() {
    ostraInUse = kOstraLibrary;
    nimbusInUse = kNimbusLibrary;
}

}  // namespace vantelo
