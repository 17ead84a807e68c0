// The frame pass-throughs, the resolution names and what every KdCamera_* export does
// with a missing record or an exception from below, against the recording doubles.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "camera_calls.h"
#include "dispatch_fakes.h"
#include "dispatcher.h"
#include "vantelo.h"

namespace {

using dispatch_fakes::fake;
using Calls = std::vector<std::string>;

CameraRecord recordOf(int type) {
    CameraRecord r;
    std::memset(&r, 0, sizeof r);
    r.state = 4;
    r.camera_type = type;
    return r;
}

class Exports : public ::testing::Test {
  protected:
    void SetUp() override { dispatch_fakes::install(); }
    void TearDown() override {
        vantelo::destroyDispatcher();
        dispatch_fakes::restore();
    }
};

TEST_F(Exports, FramePassThroughsReachTheRecordsFamilyWithTheirResults) {
    unsigned char raw[16] = {};
    unsigned char out[16] = {};
    int width = 0, height = 0;
    fake.result = -3;  // no frame: handed back as it is
    CameraRecord first = recordOf(21);
    EXPECT_EQ(KdCamera_GrabFrame(&first, raw), -3);
    EXPECT_EQ(KdCamera_Decode(&first, raw, out, 1516, 1008, 1), -3);
    EXPECT_EQ(KdCamera_GetImageSize(&first, &width, &height), -3);
    CameraRecord second = recordOf(31);
    EXPECT_EQ(KdCamera_GrabFrame(&second, raw), -3);
    EXPECT_EQ(KdCamera_Decode(&second, raw, out, 1272, 952, 0), -3);
    EXPECT_EQ(KdCamera_GetImageSize(&second, &width, &height), -3);
    EXPECT_EQ(fake.calls,
              (Calls{"OstraIICameraGrabFrame(buffer)", "OstraIICameraDecode(1516,1008,1)",
                     "OstraIICameraGetImageSize()", "CameraGetImageData(buffer)",
                     "CameraDecode(1272,952,0)", "CameraGetImageSize()"}));

    fake.result = 1;
    EXPECT_EQ(KdCamera_GetImageSize(&second, &width, &height), 1);
    EXPECT_EQ(width, 1272);
    EXPECT_EQ(height, 952);
}

TEST_F(Exports, NoCameraAndMissingArgumentsCallNothing) {
    unsigned char raw[16] = {};
    int width = 0, height = 0;
    for (int type : {-1, 0, 22, 30}) {
        CameraRecord record = recordOf(type);
        EXPECT_EQ(KdCamera_GrabFrame(&record, raw), 0);
        EXPECT_EQ(KdCamera_Decode(&record, raw, raw, 8, 8, 0), 0);
        EXPECT_EQ(KdCamera_GetImageSize(&record, &width, &height), 0);
        EXPECT_EQ(KdCamera_ReadWrite(&record, CAMCMD_INIT, 0), 0);
        EXPECT_EQ(record.state, 4);
    }
    CameraRecord first = recordOf(21);
    EXPECT_EQ(KdCamera_GrabFrame(&first, nullptr), 0);
    EXPECT_EQ(KdCamera_Decode(&first, nullptr, raw, 8, 8, 0), 0);
    EXPECT_EQ(KdCamera_Decode(&first, raw, nullptr, 8, 8, 0), 0);
    EXPECT_EQ(KdCamera_GetImageSize(&first, nullptr, &height), 0);
    EXPECT_EQ(KdCamera_GetImageSize(&first, &width, nullptr), 0);
    EXPECT_EQ(KdCamera_Registerpixel(&first, nullptr, nullptr), 1);  // no list: nothing to add to
    EXPECT_TRUE(fake.calls.empty());

    EXPECT_EQ(KdCamera_RefreshCamera(nullptr), 0);
    EXPECT_EQ(KdCamera_ReadWrite(nullptr, CAMCMD_EXPOSURE, 1), 0);
    EXPECT_EQ(KdCamera_GrabFrame(nullptr, raw), 0);
    EXPECT_EQ(KdCamera_Decode(nullptr, raw, raw, 8, 8, 0), 0);
    EXPECT_EQ(KdCamera_GetImageSize(nullptr, &width, &height), 0);
    EXPECT_EQ(KdCamera_Registerpixel(
                  nullptr, [](void*, const char*) {}, nullptr),
              0);
}

TEST_F(Exports, NoExceptionLeavesAnExport) {
    vantelo::OstraCalls throwing = vantelo::ostraCalls();
    throwing.getGamma = [](unsigned char*) -> int { throw std::bad_alloc(); };
    throwing.getContrast = [](unsigned char*) -> int { throw std::runtime_error("device gone"); };
    throwing.grabFrame = [](unsigned char*) -> int { throw std::bad_alloc(); };
    throwing.decode = [](unsigned char*, unsigned char*, int, int, int) -> int {
        throw std::logic_error("x");
    };
    vantelo::setOstraCalls(throwing);
    CameraRecord record = recordOf(21);
    unsigned char raw[8] = {};
    EXPECT_EQ(KdCamera_ReadWrite(&record, CAMCMD_GAMMA, 1), -2);
    EXPECT_EQ(KdCamera_ReadWrite(&record, CAMCMD_CONTRAST, 1), 0);
    EXPECT_EQ(KdCamera_GrabFrame(&record, raw), -2);
    EXPECT_EQ(KdCamera_Decode(&record, raw, raw, 1, 1, 0), 0);

    int added = 0;
    auto throwingSink = [](void* context, const char*) {
        ++*static_cast<int*>(context);
        throw std::runtime_error("list full");
    };
    EXPECT_EQ(KdCamera_Registerpixel(&record, throwingSink, &added), 0);
    EXPECT_EQ(added, 1);
}

// --- Resolution names ---------------------------------------------------------------------

std::vector<std::string> namesOf(int model) {
    std::vector<std::string> names;
    CameraRecord record = recordOf(model);
    auto sink = [](void* context, const char* name) {
        static_cast<std::vector<std::string>*>(context)->push_back(name);
    };
    EXPECT_EQ(KdCamera_Registerpixel(&record, sink, &names), 1);
    return names;
}

TEST_F(Exports, ResolutionNamesPerModelInListOrder) {
    using Names = std::vector<std::string>;
    EXPECT_EQ(namesOf(1), (Names{"3488*2616", "1600*1200", "1280*960", "800*600", "640*480"}));
    EXPECT_EQ(namesOf(2), (Names{"640*480", "1024*768", "1280*960", "1600*1200", "3264*2448",
                                 "1280*1024 ROI"}));
    EXPECT_EQ(namesOf(3), (Names{"2592*1944", "1280*960", "1024*768", "640*480", "1280*1024 ROI"}));
    EXPECT_EQ(namesOf(4), (Names{"2048*1536", "1024*768", "640*480", "512*384", "1280*1024 ROI"}));
    for (int model : {5, 6})
        EXPECT_EQ(namesOf(model), (Names{"1280*1024", "640*512", "640*480 ROI", "320*240 ROI"}))
            << model;
    EXPECT_EQ(namesOf(7), (Names{"1280*1024", "640*512", "320*240 "}));
    EXPECT_EQ(namesOf(8),
              (Names{"1280*1024", "640*480", "320*240 ", "640*480_ROI", "320*240_ROI"}));
    EXPECT_EQ(namesOf(9),
              (Names{"2048*256 COLOR", "1024*768 B/W", "1024*768 2X1", "1024*768 2X2"}));
    for (int model : {10, 12, 13})
        EXPECT_EQ(namesOf(model), (Names{"1360*1024", "680*512", "340*256"})) << model;
    EXPECT_EQ(namesOf(11), (Names{"1360*1024"}));
    EXPECT_EQ(namesOf(15), (Names{"1280*1024", "640*480", "320*240 "}));
    EXPECT_EQ(namesOf(21), (Names{"3032*2016", "(2*2bin)", "(4*4bin)"}));
    for (int model : {-1, 0, 16, 17, 18, 19, 20, 22, 31, 1000})
        EXPECT_TRUE(namesOf(model).empty()) << model;
}

TEST_F(Exports, ModelFourteenEndsWithTheNamesOfModelTwentyOne) {
    const auto names = namesOf(14);
    ASSERT_EQ(names.size(), 7u);
    EXPECT_EQ(names[0], "2048*1536 ");  // the trailing blank is part of the name
    EXPECT_EQ(names[1], "1024*768_BIN");
    EXPECT_EQ(names[2], "512*384_BIN");
    EXPECT_EQ(names[3], "320*240 ");
    EXPECT_EQ(std::vector<std::string>(names.begin() + 4, names.end()), namesOf(21));
}

}  // namespace
