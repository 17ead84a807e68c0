// The shared library's boundary: exactly the Camera* functions of nimbus.h leave
// libnimbus.so, nothing of the camera model, the decode or OpenCV does.
#include <gtest/gtest.h>

#include "library_exports.h"

#include <set>
#include <string>

#ifndef NIMBUS_LIBRARY_FILE
#error "NIMBUS_LIBRARY_FILE must name the built libnimbus.so"
#endif

namespace {

// Written out from the header by hand, so a function dropped from the export list or
// one exported by mistake both show.
const std::set<std::string> kExports = {
    "CameraInit",
    "CameraUnInit",
    "CameraGetImageData",
    "CameraDecode",
    "CameraGetImageSize",
    "CameraDisplayEnable",
    "CameraGetFrameSpeed",
    "CameraSetFrameSpeed",
    "CameraGetAeState",
    "CameraSetAeState",
    "CameraGetExposureTimeMS",
    "CameraSetExposureTimeMS",
    "CameraGetAnalogGain",
    "CameraSetAnalogGain",
    "CameraGetGain",
    "CameraSetGain",
    "CameraGetGamma",
    "CameraSetGamma",
    "CameraGetContrast",
    "CameraSetContrast",
    "CameraGetSaturation",
    "CameraSetSaturation",
    "CameraSetMonochrome",
    "CameraSetColorEnhancement",
    "CameraSetMirror",
    "CameraWhiteBalance",
    "CameraGetExposureTimeRange",
    "CameraGetAnalogGainRange",
    "CameraGetContrastRange",
    "CameraGetGammaRange",
    "CameraGetSaturationRange",
    "CameraGetGainRange",
};

TEST(NimbusSymbols, ExportsExactlyTheCameraFunctions) {
    ASSERT_EQ(kExports.size(), 32u);
    expectExactExports(NIMBUS_LIBRARY_FILE, kExports);
}

}  // namespace
