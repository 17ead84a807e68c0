// What each sensor setting puts on the wire, and in which order.
#include <gtest/gtest.h>

#include "sensor_wire.h"

using namespace sensor_test;
using Requests = std::vector<Request>;

// --- The wire form ---

TEST_F(SensorWire, RequestsAreTenBytesOfVendorRequestToTheDevice) {
    device.setFrameSpeed(3);
    auto sent = takeBytes();
    ASSERT_EQ(sent.size(), 2u);
    const usb::VendorRequestBytes speed3 = {0, 2, 0, 0, 0xB5, 0, 0xA2, 0x00, 0x00, 0x00};
    const usb::VendorRequestBytes start = {0, 2, 0, 0, 0xB3, 0, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(sent[0], speed3);
    EXPECT_EQ(sent[1], start);
}

TEST_F(SensorWire, ValueAndIndexAreLittleEndian) {
    device.setAnalogueGain(0x1FE);  // 510: value bytes FE 01, index 1
    device.setBlackLevel(0xAB);     // 0xAB00: value bytes 00 AB, index 2
    auto sent = takeBytes();
    ASSERT_EQ(sent.size(), 2u);
    const usb::VendorRequestBytes gainBytes = {0, 2, 0, 0, 0xB7, 0, 0xFE, 0x01, 0x01, 0x00};
    const usb::VendorRequestBytes levelBytes = {0, 2, 0, 0, 0xB7, 0, 0x00, 0xAB, 0x02, 0x00};
    EXPECT_EQ(sent[0], gainBytes);
    EXPECT_EQ(sent[1], levelBytes);
}

TEST_F(SensorWire, EveryRequestKindHasItsCodeValueAndIndex) {
    device.stop();
    EXPECT_EQ(takeRequests(), (Requests{{0xBB, 0, 0}}));
    device.setLongExposurePower(1);
    EXPECT_EQ(takeRequests(), (Requests{{0xB0, 0x11, 0}}));
    device.setLongExposurePower(0);
    EXPECT_EQ(takeRequests(), (Requests{{0xB0, 0x00, 0}}));
    device.setDataWidth(2);
    EXPECT_EQ(takeRequests(), (Requests{{0xB9, 0x05, 0}, {0xB3, 0, 0}}));
    device.setDataWidth(1);
    EXPECT_EQ(takeRequests(), (Requests{{0xB9, 0x0A, 0}, {0xB3, 0, 0}}));
    device.setExposureRows(1155 * 3 + 7);
    EXPECT_EQ(takeRequests(), (Requests{{0xB7, 7, 0x63}, {0xB7, 3, 0x62}}));
    device.setMode(1);
    auto requests = takeRequests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.front(), (Request{0xB4, 0xC0, 0}));
    for (int mode : {0, 2, 3, 4}) {
        device.setMode(mode);
        requests = takeRequests();
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests.front(), (Request{0xB4, 0xC1, 0})) << "mode " << mode;
    }
}

// --- Clamping on the way to the sensor ---

TEST_F(SensorWire, AnalogueGainIsClampedTo16Through1023) {
    device.setAnalogueGain(5);
    EXPECT_EQ(takeRequests(), Requests{gain(16)});
    EXPECT_EQ(device.analogueGain(), 16);
    device.setAnalogueGain(2000);
    EXPECT_EQ(takeRequests(), Requests{gain(1023)});
    EXPECT_EQ(device.analogueGain(), 1023);
    device.setAnalogueGain(300);
    EXPECT_EQ(takeRequests(), Requests{gain(300)});
}

TEST_F(SensorWire, BlackLevelIsSentTimes256AndClampedTo16Through255) {
    device.setBlackLevel(0);
    EXPECT_EQ(takeRequests(), Requests{blackLevelRegister(16 * 256)});
    EXPECT_EQ(device.blackLevel(), 16);
    device.setBlackLevel(999);
    EXPECT_EQ(takeRequests(), Requests{blackLevelRegister(255 * 256)});
    EXPECT_EQ(device.blackLevel(), 255);
}

TEST_F(SensorWire, FrameSpeedIsClampedTo1Through4AndRestartsTheFrame) {
    device.setFrameSpeed(0);
    EXPECT_EQ(takeRequests(), (Requests{{0xB5, 0xA0, 0}, startFrame()}));
    EXPECT_EQ(device.frameSpeed(), 1);
    device.setFrameSpeed(9);
    EXPECT_EQ(takeRequests(), (Requests{{0xB5, 0xA3, 0}, startFrame()}));
    EXPECT_EQ(device.frameSpeed(), 4);
    device.setFrameSpeed(2);
    EXPECT_EQ(takeRequests(), (Requests{{0xB5, 0xA1, 0}, startFrame()}));
}

TEST_F(SensorWire, DataWidthIsClampedTo1Or2) {
    device.setDataWidth(7);
    EXPECT_EQ(takeRequests(), (Requests{{0xB9, 0x05, 0}, startFrame()}));
    EXPECT_EQ(device.dataWidth(), 2);
    device.setDataWidth(0);
    EXPECT_EQ(takeRequests(), (Requests{{0xB9, 0x0A, 0}, startFrame()}));
    EXPECT_EQ(device.dataWidth(), 1);
    device.setDataWidth(2);
    device.setDataWidth(-1);
    EXPECT_EQ(device.dataWidth(), 1);
    auto requests = takeRequests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[2], (Request{0xB9, 0x0A, 0}));
}

TEST_F(SensorWire, DataWidthChangeDropsTheFrameUnderWay) {
    EXPECT_FALSE(device.discardNextFrame());
    device.setDataWidth(2);
    EXPECT_TRUE(device.discardNextFrame());
}

TEST_F(SensorWire, LongExposurePowerIsClampedTo0Or1) {
    device.setLongExposurePower(5);
    EXPECT_EQ(takeRequests(), (Requests{{0xB0, 0x11, 0}}));
    EXPECT_EQ(device.longExposurePower(), 1);
    device.setLongExposurePower(-3);
    EXPECT_EQ(takeRequests(), (Requests{{0xB0, 0x00, 0}}));
    EXPECT_EQ(device.longExposurePower(), 0);
}

// --- Exposure: low part, then high part ---

TEST_F(SensorWire, ExposureJustBelowOneStepIsAllLowPart) {
    device.setExposureRows(1154);
    EXPECT_EQ(takeRequests(), (Requests{exposureLow(1154), exposureHigh(0)}));
}

TEST_F(SensorWire, ExposureOfWholeStepsSendsLowPartOne) {
    device.setExposureRows(1155);
    EXPECT_EQ(takeRequests(), (Requests{exposureLow(1), exposureHigh(1)}));
    device.setExposureRows(0);
    EXPECT_EQ(takeRequests(), (Requests{exposureLow(1), exposureHigh(0)}));
}

TEST_F(SensorWire, LongestExposureIsExactlyRepresentable) {
    // 4090 x 1155 + 1154 = 4,725,104 rows.
    device.setExposureRows(4725104);
    EXPECT_EQ(takeRequests(), (Requests{exposureLow(1154), exposureHigh(4090)}));
}

TEST_F(SensorWire, ExposureBeyondTheLongestGivesTheLongest) {
    device.setExposureRows(5000000);
    // 5,000,000 = 4329 x 1155 + 5: the high part is capped at 4090, and the low part
    // must not fall back to the stray remainder 5 (a shorter exposure than asked for
    // 4,725,105 rows).
    EXPECT_EQ(takeRequests(), (Requests{exposureLow(1154), exposureHigh(4090)}));
    EXPECT_EQ(device.exposureRows(), 5000000u);
    device.setExposureRows(4725105);
    EXPECT_EQ(takeRequests(), (Requests{exposureLow(1154), exposureHigh(4090)}));
}

TEST_F(SensorWire, ModeOneSplitsExposureInStepsOf651) {
    device.setMode(1);
    takeRequests();
    device.setExposureRows(1400);  // 2 x 651 + 98
    EXPECT_EQ(takeRequests(), (Requests{exposureLow(98), exposureHigh(2)}));
    device.setExposureRows(651);
    EXPECT_EQ(takeRequests(), (Requests{exposureLow(1), exposureHigh(1)}));
    device.setExposureRows(650);
    EXPECT_EQ(takeRequests(), (Requests{exposureLow(650), exposureHigh(0)}));
}

// --- Whole programming sequences ---

TEST_F(SensorWire, SetModeProgramsTheSensorInOrder) {
    device.setMode(2);
    // Stored defaults: data width 1, black level 1 raised to 16, gain 25, 56 rows.
    const Requests expected = {
        {0xB4, 0xC1, 0}, startFrame(),    {0xB9, 0x0A, 0}, blackLevelRegister(16 * 256),
        gain(25),        exposureLow(56), exposureHigh(0), startFrame(),
    };
    EXPECT_EQ(takeRequests(), expected);
    EXPECT_EQ(device.blackLevel(), 16);
}

TEST_F(SensorWire, SetModeSendsTheStoredSettings) {
    device.setDataWidth(2);
    device.setBlackLevel(40);
    device.setAnalogueGain(300);
    device.setExposureRows(2000);  // mode 1: 3 x 651 + 47
    takeRequests();
    device.setMode(1);
    const Requests expected = {
        {0xB4, 0xC0, 0}, startFrame(),    {0xB9, 0x05, 0}, blackLevelRegister(40 * 256),
        gain(300),       exposureLow(47), exposureHigh(3), startFrame(),
    };
    EXPECT_EQ(takeRequests(), expected);
}

TEST_F(SensorWire, StartupSendsFrameSpeedThenTheMode) {
    device.startup();
    const Requests expected = {
        {0xB5, 0xA0, 0}, startFrame(),    {0xB4, 0xC1, 0},
        startFrame(),    {0xB9, 0x0A, 0}, blackLevelRegister(16 * 256),
        gain(25),        exposureLow(56), exposureHigh(0),
        startFrame(),
    };
    EXPECT_EQ(takeRequests(), expected);
}

TEST_F(SensorWire, RestartStopsThenProgramsTheCurrentMode) {
    device.setMode(3);
    takeRequests();
    device.restart();
    const Requests expected = {
        stopRestart(),
        {0xB4, 0xC1, 0},
        startFrame(),
        {0xB9, 0x0A, 0},
        blackLevelRegister(16 * 256),
        gain(25),
        exposureLow(56),
        exposureHigh(0),
        startFrame(),
    };
    EXPECT_EQ(takeRequests(), expected);
    EXPECT_EQ(device.mode(), 3);
}

TEST_F(SensorWire, UnknownModeIsRefusedAndSendsNothing) {
    device.setMode(2);
    takeRequests();
    EXPECT_FALSE(device.setMode(5));
    EXPECT_FALSE(device.setMode(-1));
    EXPECT_TRUE(takeRequests().empty());
    EXPECT_EQ(device.mode(), 2);
    EXPECT_EQ(device.geometry().processingWidth, 1516);
}

TEST_F(SensorWire, PictureSettingsAndMirrorsSendNothing) {
    device.setGains(100, 64, 30);
    device.setGamma(80);
    device.setContrast(10);
    device.setSaturation(200);
    device.setMirror(0, true);
    device.setMirror(1, true);
    EXPECT_TRUE(takeRequests().empty());
}

// --- What the camera keeps ---

TEST_F(SensorWire, CameraHoldsWhatStartupProgrammed) {
    device.startup();
    const auto settings = camera->settings();
    EXPECT_EQ(settings.modeValue, 0xC1);
    EXPECT_EQ(settings.speed, 1);
    EXPECT_EQ(settings.bytesPerSample, 1);
    EXPECT_EQ(settings.gain, 25);
    EXPECT_EQ(settings.blackLevel, 16);
    EXPECT_EQ(settings.exposureLow, 56);
    EXPECT_EQ(settings.exposureHigh, 0);
    EXPECT_EQ(camera->exposureRows(), 56);
}

TEST_F(SensorWire, CameraExposesTheRowsAsked) {
    device.startup();
    device.setExposureRows(2000);  // 1 x 1155 + 845
    EXPECT_EQ(camera->exposureRows(), 2000);
    device.setExposureRows(1155);  // a zero low part is sent as 1: one row more
    EXPECT_EQ(camera->exposureRows(), 1156);
    device.setMode(1);
    device.setExposureRows(2000);  // 3 x 651 + 47
    EXPECT_EQ(camera->settings().modeValue, 0xC0);
    EXPECT_EQ(camera->exposureRows(), 2000);
}

TEST_F(SensorWire, CameraRowTimeAgreesWithTheDevice) {
    device.startup();
    for (int mode : {0, 1}) {
        device.setMode(mode);
        for (int speed = 1; speed <= 4; ++speed) {
            device.setFrameSpeed(speed);
            EXPECT_NEAR(camera->rowMicros(), device.rowTime(), 1e-3)
                << "mode " << mode << " speed " << speed;
        }
    }
}
