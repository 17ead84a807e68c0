// The dispatcher over the real second-family library on its simulated device: the
// start sequence, exposure as float milliseconds, the frame-speed index and frames
// through the pass-throughs.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "dispatcher.h"
#include "nimbus.h"
#include "platform/sim.h"
#include "vantelo.h"

namespace {

namespace sim = corvalis::platform::sim;

constexpr int kResolution = 2;  // 632 x 472
constexpr int kWidth = 632;
constexpr int kHeight = 472;

class NimbusDispatch : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim::active())
            << "runs on the simulated device (CORVALIS_CAMERA=simulator-nimbus)";
        sim::reset();
        std::memset(&record, 0, sizeof record);
        record.state = 4;
        record.camera_type = -1;
        record.resolution_index = kResolution;
        ASSERT_EQ(KdCamera_RefreshCamera(&record), 1);
        ASSERT_EQ(record.camera_type, 31);
        ASSERT_EQ(KdCamera_ReadWrite(&record, CAMCMD_INIT, 0), 1);
        ASSERT_EQ(KdCamera_ReadWrite(&record, CAMCMD_START, 0), 1);
    }
    void TearDown() override {
        KdCamera_ReadWrite(&record, CAMCMD_STOP, 0);
        KdCamera_ReadWrite(&record, CAMCMD_UNINIT, 0);
        vantelo::destroyDispatcher();
    }
    CameraRecord record;
};

TEST_F(NimbusDispatch, InitialisationTurnsAutoExposureOffAndSizesTheFrame) {
    int ae = -1;
    ASSERT_EQ(CameraGetAeState(&ae), 1);
    EXPECT_EQ(ae, 0);
    EXPECT_EQ(KdCamera_ReadWrite(&record, CAMCMD_IMAGE_SIZE, 1), 1);
    EXPECT_EQ(record.image_width, kWidth);
    EXPECT_EQ(record.image_height, kHeight);
}

TEST_F(NimbusDispatch, ExposureTravelsAsFloatMilliseconds) {
    ASSERT_EQ(KdCamera_ReadWrite(&record, CAMCMD_EXPOSURE_RANGE, 1), 1);
    ASSERT_LE(record.exposure_range[0], 1500.0f);
    ASSERT_GE(record.exposure_range[1], 1500.0f);

    record.exposure_ms = 1500;
    EXPECT_EQ(KdCamera_ReadWrite(&record, CAMCMD_EXPOSURE, 0), 1);
    float stored = 0.0f;
    ASSERT_EQ(CameraGetExposureTimeMS(&stored), 1);
    EXPECT_EQ(stored, 1500.0f);

    // Code 22 is the exposure for this family, too.
    ASSERT_EQ(CameraSetExposureTimeMS(199.9f), 1);
    record.exposure_ms = 0;
    EXPECT_EQ(KdCamera_ReadWrite(&record, CAMCMD_LONG_EXP_POWER, 1), 1);
    EXPECT_EQ(record.exposure_ms, 199u);
}

TEST_F(NimbusDispatch, FrameSpeedIndexIsTheLibrarysSpeed) {
    record.frame_speed_index = 1;
    EXPECT_EQ(KdCamera_ReadWrite(&record, CAMCMD_FRAME_SPEED_INDEX, 0), 1);
    std::uint8_t speed = 0;
    ASSERT_EQ(CameraGetFrameSpeed(&speed), 1);
    EXPECT_EQ(speed, 1);
    record.frame_speed_index = 9;
    EXPECT_EQ(KdCamera_ReadWrite(&record, CAMCMD_FRAME_SPEED_INDEX, 1), 1);
    EXPECT_EQ(record.frame_speed_index, 1);
}

TEST_F(NimbusDispatch, FramesThroughThePassThroughs) {
    std::vector<unsigned char> raw(NIMBUS_RAW_BYTES(kWidth, kHeight));
    std::vector<unsigned char> picture(NIMBUS_DECODED_BYTES(kWidth, kHeight));
    int width = 0, height = 0;
    EXPECT_EQ(KdCamera_GetImageSize(&record, &width, &height), 1);
    EXPECT_EQ(width, kWidth);
    EXPECT_EQ(height, kHeight);
    ASSERT_EQ(KdCamera_GrabFrame(&record, raw.data()), 1);
    EXPECT_EQ(std::memcmp(raw.data(), "NBF1", 4), 0);
    EXPECT_EQ(KdCamera_Decode(&record, raw.data(), picture.data(), width, height, 0), 1);
}

}  // namespace
