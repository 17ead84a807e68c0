// The dispatcher over the real first-family driver on the simulated camera: the
// program's start sequence, a few commands checked at the camera itself, frames through
// the pass-throughs, and setting commands while another thread grabs.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "dispatcher.h"
#include "ostra.h"
#include "platform/sim.h"
#include "vantelo.h"

namespace {

namespace sim = corvalis::platform::sim;

constexpr int kMode = 4;  // 756 x 504, the smallest frame

class OstraDispatch : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim::active()) << "runs on the simulated camera (CORVALIS_CAMERA=simulator)";
        sim::reset();
        std::memset(&record, 0, sizeof record);
        record.state = 4;
        record.camera_type = -1;
        record.resolution_index = kMode;
        record.exposure_ms = 200;
        record.saturation = 128;
        record.gamma = 10;
        ASSERT_EQ(KdCamera_RefreshCamera(&record), 1);
        ASSERT_EQ(record.camera_type, 21);
        ASSERT_EQ(KdCamera_ReadWrite(&record, CAMCMD_INIT, 0), 1);
        ASSERT_EQ(KdCamera_ReadWrite(&record, CAMCMD_START, 0), 1);
    }
    void TearDown() override {
        KdCamera_ReadWrite(&record, CAMCMD_STOP, 0);
        KdCamera_ReadWrite(&record, CAMCMD_UNINIT, 0);
        vantelo::destroyDispatcher();
        sim::reset();
    }
    CameraRecord record;
};

TEST_F(OstraDispatch, InitialisationLeavesSpeedFourAndAutoExposureOff) {
    unsigned char speed = 0;
    int ae = -1;
    ASSERT_EQ(OstraIICameraGetFrameSpeed(&speed), 1);
    ASSERT_EQ(OstraIICameraGetAeState(&ae), 1);
    EXPECT_EQ(speed, 4);
    EXPECT_EQ(ae, 0);
    EXPECT_EQ(sim::camera()->settings().speed, 4);

    EXPECT_EQ(KdCamera_ReadWrite(&record, CAMCMD_IMAGE_SIZE, 1), 1);
    EXPECT_EQ(record.image_width, 756);
    EXPECT_EQ(record.image_height, 504);
}

TEST_F(OstraDispatch, ExposureReachesTheCameraInRows) {
    // Row time at speed 4 is 3607 x 0.2 = 721.4 us: 500 ms is 693.1 rows, rounded up to
    // 694, which read back is 500.65 ms, 500 whole milliseconds.
    record.exposure_ms = 500;
    EXPECT_EQ(KdCamera_ReadWrite(&record, CAMCMD_EXPOSURE, 0), 1);
    EXPECT_EQ(sim::camera()->exposureRows(), 694);
    record.exposure_ms = 0;
    EXPECT_EQ(KdCamera_ReadWrite(&record, CAMCMD_EXPOSURE, 1), 1);
    EXPECT_EQ(record.exposure_ms, 500u);
}

TEST_F(OstraDispatch, FrameSpeedIndexAndLongExposurePowerAtTheCamera) {
    record.frame_speed_index = 1;  // speed 2
    EXPECT_EQ(KdCamera_ReadWrite(&record, CAMCMD_FRAME_SPEED_INDEX, 0), 1);
    EXPECT_EQ(sim::camera()->settings().speed, 2);
    record.frame_speed_index = 9;
    EXPECT_EQ(KdCamera_ReadWrite(&record, CAMCMD_FRAME_SPEED_INDEX, 1), 1);
    EXPECT_EQ(record.frame_speed_index, 1);

    record.long_exp_power = 1;
    EXPECT_EQ(KdCamera_ReadWrite(&record, CAMCMD_LONG_EXP_POWER, 0), 1);
    EXPECT_TRUE(sim::camera()->settings().longExposurePower);
    record.long_exp_power = 0;
    EXPECT_EQ(KdCamera_ReadWrite(&record, CAMCMD_LONG_EXP_POWER, 1), 1);
    EXPECT_EQ(record.long_exp_power, 1);
}

TEST_F(OstraDispatch, FramesThroughThePassThroughs) {
    std::vector<unsigned char> raw(OstraIICameraGrabBytes(kMode, 0));
    std::vector<unsigned char> picture(756 * 504 * 3);
    int width = 0, height = 0;
    EXPECT_EQ(KdCamera_GetImageSize(&record, &width, &height), 1);
    EXPECT_EQ(width, 756);
    EXPECT_EQ(height, 504);
    ASSERT_EQ(KdCamera_GrabFrame(&record, raw.data()), 1);
    EXPECT_EQ(KdCamera_Decode(&record, raw.data(), picture.data(), width, height, 1), 1);
    // The simulated sky is never black.
    EXPECT_NE(std::count(picture.begin(), picture.end(), 0), static_cast<long>(picture.size()));
}

TEST_F(OstraDispatch, SettingCommandsWhileAnotherThreadGrabs) {
    std::atomic<bool> stop{false};
    std::atomic<int> grabbed{0};
    std::thread grabber([&] {
        std::vector<unsigned char> raw(OstraIICameraGrabBytes(kMode, 0));
        while (!stop.load(std::memory_order_relaxed)) {
            if (KdCamera_GrabFrame(&record, raw.data()) == 1)
                grabbed.fetch_add(1, std::memory_order_relaxed);
        }
    });
    CameraRecord settings = record;  // the grabbing thread reads only `record`
    for (int i = 0; i < 20; ++i) {
        settings.gamma = static_cast<std::uint8_t>(40 + i % 5);
        settings.analog_gain = 20 + i;
        settings.exposure_ms = 50 + static_cast<std::uint32_t>(i);
        EXPECT_EQ(KdCamera_ReadWrite(&settings, CAMCMD_GAMMA, 0), 1);
        EXPECT_EQ(KdCamera_ReadWrite(&settings, CAMCMD_ANALOG_GAIN, 0), 1);
        EXPECT_EQ(KdCamera_ReadWrite(&settings, CAMCMD_EXPOSURE, 0), 1);
    }
    while (grabbed.load(std::memory_order_relaxed) < 2) std::this_thread::yield();
    stop.store(true, std::memory_order_relaxed);
    grabber.join();
    EXPECT_EQ(KdCamera_ReadWrite(&settings, CAMCMD_GAMMA, 1), 1);
    EXPECT_EQ(settings.gamma, 44);
}

TEST_F(OstraDispatch, ReleasedCameraLeavesTheDriverWithoutContext) {
    ASSERT_EQ(KdCamera_ReadWrite(&record, CAMCMD_STOP, 0), 1);
    ASSERT_EQ(KdCamera_ReadWrite(&record, CAMCMD_UNINIT, 0), 1);
    EXPECT_EQ(record.state, 4);
    unsigned char speed = 0;
    EXPECT_EQ(OstraIICameraGetFrameSpeed(&speed), -1);
    // Setting commands are not guarded by the state: they reach the driver, which refuses.
    EXPECT_EQ(KdCamera_ReadWrite(&record, CAMCMD_GAMMA, 0), -1);
}

}  // namespace
