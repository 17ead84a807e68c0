// libvantelo.so as the program sees it: bound to both camera libraries when it loads,
// loading nothing by name later, and its dispatcher living from first use to Mes_UnInit.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "vantelo.h"

#ifndef VANTELO_LIBRARY_FILE
#error "VANTELO_LIBRARY_FILE must name the built libvantelo.so"
#endif

namespace {

// The output of a shell command; empty when it cannot run.
std::string outputOf(const std::string& command) {
    std::string text;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return text;
    char chunk[4096];
    while (std::size_t n = std::fread(chunk, 1, sizeof chunk, pipe)) text.append(chunk, n);
    ::pclose(pipe);
    return text;
}

TEST(VanteloLibrary, BothCameraLibrariesAreNeededAtLoadTime) {
    const std::string dynamic =
        outputOf(std::string("readelf -d '") + VANTELO_LIBRARY_FILE + "' 2>/dev/null");
    ASSERT_FALSE(dynamic.empty()) << "readelf failed on " << VANTELO_LIBRARY_FILE;
    EXPECT_NE(dynamic.find("(NEEDED)             Shared library: [libostra.so"), std::string::npos)
        << dynamic;
    EXPECT_NE(dynamic.find("(NEEDED)             Shared library: [libnimbus.so"), std::string::npos)
        << dynamic;

    const std::string undefined =
        outputOf(std::string("nm -D --undefined-only '") + VANTELO_LIBRARY_FILE + "' 2>/dev/null");
    ASSERT_FALSE(undefined.empty());
    EXPECT_EQ(undefined.find("dlopen"), std::string::npos)
        << "nothing is loaded by name at run time";
    EXPECT_NE(undefined.find("OstraIICameraInit"), std::string::npos);
    EXPECT_NE(undefined.find("CameraGetImageData"), std::string::npos);
}

TEST(VanteloLibrary, UnInitDropsTheDispatcherAndItsScratchByte) {
    // No camera is initialised, so every driver call fails and leaves the scratch byte
    // (the last frame speed of command 21) as the only source of the index.
    CameraRecord record;
    std::memset(&record, 0, sizeof record);
    record.state = 4;
    record.camera_type = 21;
    record.crop_right = 1360;
    record.crop_bottom = 1024;
    ASSERT_EQ(Mes_Init(&record), 1);
    record.frame_speed_index = 5;
    EXPECT_EQ(KdCamera_ReadWrite(&record, CAMCMD_FRAME_SPEED_INDEX, 0), 1);  // scratch 6
    record.frame_speed_index = 0;
    EXPECT_EQ(KdCamera_ReadWrite(&record, CAMCMD_FRAME_SPEED_INDEX, 1), 1);
    EXPECT_EQ(record.frame_speed_index, 5);

    EXPECT_EQ(Mes_UnInit(&record), 1);
    EXPECT_EQ(KdCamera_ReadWrite(&record, CAMCMD_FRAME_SPEED_INDEX, 1), 1);  // a new dispatcher
    EXPECT_EQ(record.frame_speed_index, 0);
    Mes_UnInit(&record);
}

}  // namespace
