// The shared library's boundary: exactly the 46 driver functions and the frame
// information leave libostra.so,
// nothing of its workings (C++ classes, helpers, the libraries it links) does.
#include <gtest/gtest.h>

#include "library_exports.h"

#include <set>
#include <string>

#ifndef OSTRA_LIBRARY_FILE
#error "OSTRA_LIBRARY_FILE must name the built libostra.so"
#endif

namespace {

// Written out from the header by hand, so that a function dropped from the export list
// or one exported by mistake both show.
const std::set<std::string> kExports = {
    "OstraIICameraInit",
    "OstraIICameraUnInit",
    "OstraIICameraPlay",
    "OstraIICameraPause",
    "OstraIICameraStop",
    "OstraIICameraSetVideoMessage",
    "OstraIICameraDisplayEnable",
    "OstraIICameraGrabFrame",
    "OstraIICameraDecode",
    "OstraIICameraCaptureFile",
    "OstraIICameraSetResolution",
    "OstraIICameraGetResolution",
    "OstraIICameraGetImageSize",
    "OstraIICameraSetAeState",
    "OstraIICameraGetAeState",
    "OstraIICameraSetExposureTime",
    "OstraIICameraGetExposureTime",
    "OstraIICameraGetRowTime",
    "OstraIICameraRestartLongExposure",
    "OstraIICameraSetLongExpPower",
    "OstraIICameraGetLongExpPower",
    "OstraIICameraSetAnalogGain",
    "OstraIICameraGetAnalogGain",
    "OstraIICameraSetAWBState",
    "OstraIICameraGetAWBState",
    "OstraIICameraSetGain",
    "OstraIICameraGetGain",
    "OstraIICameraSetGamma",
    "OstraIICameraGetGamma",
    "OstraIICameraSetContrast",
    "OstraIICameraGetContrast",
    "OstraIICameraSetSaturation",
    "OstraIICameraGetSaturation",
    "OstraIICameraSetColorEnhancement",
    "OstraIICameraGetColorEnhancement",
    "OstraIICameraSetMonochrome",
    "OstraIICameraGetMonochrome",
    "OstraIICameraSetMirror",
    "OstraIICameraGetMirror",
    "OstraIICameraSetFrameSpeed",
    "OstraIICameraGetFrameSpeed",
    "OstraIICameraSetDataWide",
    "OstraIICameraGetDataWide",
    "OstraIICameraSaveParameter",
    "OstraIICameraReadParameter",
    "OstraIICameraGetCurrentParameterTeam",
};

// Added beside the camera functions, under a name of their own (ostra_frame_info.h).
const std::set<std::string> kAddedExports = {"CorvalisOstraFrameInfo"};

TEST(OstraSymbols, ExportsExactlyTheDriverFunctions) {
    ASSERT_EQ(kExports.size(), 46u);
    expectExactExports(OSTRA_LIBRARY_FILE, kExports, kAddedExports);
}

}  // namespace
