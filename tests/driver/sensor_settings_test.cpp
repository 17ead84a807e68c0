// The stored sensor settings: defaults, sizes, row time, mirrors and what the colour
// processors are given.
#include <gtest/gtest.h>

#include "sensor_wire.h"

using namespace sensor_test;

// --- Defaults and sizes ---

TEST(SensorDefaults, NewDeviceHoldsTheDefaultSettings) {
    std::mutex decodeLock;
    ostra::SensorDevice device(decodeLock);
    EXPECT_FALSE(device.isOpen());
    EXPECT_FALSE(device.busy());
    EXPECT_FALSE(device.discardNextFrame());
    int r = 0, g = 0, b = 0;
    device.gains(r, g, b);
    EXPECT_EQ(r, 64);
    EXPECT_EQ(g, 64);
    EXPECT_EQ(b, 64);
    EXPECT_EQ(device.contrast(), 0);
    EXPECT_EQ(device.gamma(), 100);
    EXPECT_EQ(device.saturation(), 128);
    EXPECT_EQ(device.frameSpeed(), 1);
    EXPECT_EQ(device.analogueGain(), 25);
    EXPECT_EQ(device.exposureRows(), 56u);
    EXPECT_EQ(device.blackLevel(), 1);
    EXPECT_EQ(device.dataWidth(), 1);
    EXPECT_EQ(device.longExposurePower(), 0);
    EXPECT_FALSE(device.mirror(0));
    EXPECT_FALSE(device.mirror(1));
}

TEST_F(SensorWire, SizesFollowTheMode) {
    struct Case {
        int mode, imageW, imageH, rawW, rawH, procW, procH;
    };
    const Case cases[] = {
        {0, 3032, 2018, 3032, 2180, 3032, 2018}, {1, 1516, 844, 3032, 1090, 3032, 844},
        {2, 1516, 1008, 3032, 2180, 1516, 1008}, {3, 1008, 672, 3032, 2180, 1008, 672},
        {4, 756, 504, 3032, 2180, 756, 504},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(device.setMode(c.mode));
        int w = 0, h = 0;
        device.imageSize(w, h);
        EXPECT_EQ(w, c.imageW) << "mode " << c.mode;
        EXPECT_EQ(h, c.imageH) << "mode " << c.mode;
        device.rawSize(w, h);
        EXPECT_EQ(w, c.rawW) << "mode " << c.mode;
        EXPECT_EQ(h, c.rawH) << "mode " << c.mode;
        const ostra::FrameLayout layout = device.frameLayout();
        EXPECT_EQ(layout.width, c.procW);
        EXPECT_EQ(layout.height, c.procH);
        EXPECT_EQ(layout.outputWidth, c.imageW);
        EXPECT_EQ(layout.outputHeight, c.imageH);
        // Both processors work at the processing size on Bayer pattern 6.
        EXPECT_EQ(device.processor8().width(), c.procW);
        EXPECT_EQ(device.processor8().height(), c.procH);
        EXPECT_EQ(device.processor16().width(), c.procW);
        EXPECT_EQ(device.processor16().height(), c.procH);
        EXPECT_EQ(device.processor8().patternCode(), 6);
        EXPECT_EQ(device.processor16().patternCode(), 6);
    }
}

TEST(SensorDefaults, AttachKnowsTheSizesBeforeProgramming) {
    std::mutex decodeLock;
    ostra::SensorDevice device(decodeLock);
    device.channel().adopt(std::make_unique<FakeCamera>());
    ASSERT_TRUE(device.attach(3));
    EXPECT_EQ(device.mode(), 3);
    int w = 0, h = 0;
    device.imageSize(w, h);
    EXPECT_EQ(w, 1008);
    EXPECT_EQ(h, 672);
}

TEST(SensorDefaults, AttachRefusesAnUnknownMode) {
    std::mutex decodeLock;
    ostra::SensorDevice device(decodeLock);
    device.channel().adopt(std::make_unique<FakeCamera>());
    EXPECT_FALSE(device.attach(7));
    EXPECT_EQ(device.mode(), 0);
}

// --- Row time ---

TEST_F(SensorWire, RowTimeFollowsModeAndFrameSpeed) {
    // 3607 and 4087 row clocks times 1/20, 1/15, 1/10 and 1/5 microseconds.
    const float modes0234[] = {180.35f, 240.4667f, 360.7f, 721.4f};
    const float mode1[] = {204.35f, 272.4667f, 408.7f, 817.4f};
    for (int mode = 0; mode < 5; ++mode) {
        device.setMode(mode);
        for (int speed = 1; speed <= 4; ++speed) {
            device.setFrameSpeed(speed);
            const float expected = mode == 1 ? mode1[speed - 1] : modes0234[speed - 1];
            EXPECT_NEAR(device.rowTime(), expected, 1e-3) << "mode " << mode << " speed " << speed;
        }
    }
}

// --- Mirrors ---

TEST_F(SensorWire, MirrorFlagsGiveTheMirrorBytes) {
    struct Case {
        bool horizontal, vertical, rotate180, mirrorLeftRight;
    };
    const Case cases[] = {
        {false, false, false, false},
        {true, false, false, true},
        {false, true, true, true},
        {true, true, true, false},  // both: a half turn only
    };
    for (const Case& c : cases) {
        device.setMirror(0, c.horizontal);
        device.setMirror(1, c.vertical);
        EXPECT_EQ(device.mirror(0), c.horizontal);
        EXPECT_EQ(device.mirror(1), c.vertical);
        const ostra::FrameLayout layout = device.frameLayout();
        EXPECT_EQ(layout.rotate180, c.rotate180) << c.horizontal << c.vertical;
        EXPECT_EQ(layout.mirrorLeftRight, c.mirrorLeftRight) << c.horizontal << c.vertical;
    }
}

TEST_F(SensorWire, MirrorOnAnotherAxisIsIgnored) {
    device.setMirror(0, true);
    device.setMirror(2, true);
    device.setMirror(-1, true);
    EXPECT_TRUE(device.mirror(0));
    EXPECT_FALSE(device.mirror(1));
    EXPECT_FALSE(device.mirror(2));
    EXPECT_FALSE(device.frameLayout().rotate180);
}

// --- Picture settings reach both colour processors ---

void expectGains(ostra::SensorDevice& device, float blue, float green, float red) {
    float b = 0, g = 0, r = 0;
    device.processor8().gains(b, g, r);
    EXPECT_FLOAT_EQ(b, blue);
    EXPECT_FLOAT_EQ(g, green);
    EXPECT_FLOAT_EQ(r, red);
    device.processor16().gains(b, g, r);
    EXPECT_FLOAT_EQ(b, blue);
    EXPECT_FLOAT_EQ(g, green);
    EXPECT_FLOAT_EQ(r, red);
}

TEST_F(SensorWire, GainsReachBothProcessorsInSixtyFourths) {
    device.setGains(128, 64, 32);  // red, green, blue
    expectGains(device, 0.5f, 1.0f, 2.0f);
    int r = 0, g = 0, b = 0;
    device.gains(r, g, b);
    EXPECT_EQ(r, 128);
    EXPECT_EQ(g, 64);
    EXPECT_EQ(b, 32);
}

TEST_F(SensorWire, GammaReachesBothProcessorsAsExponent) {
    device.setGamma(80);  // (80 + 48) / 128
    EXPECT_FLOAT_EQ(device.processor8().gamma(), 1.0f);
    EXPECT_FLOAT_EQ(device.processor16().gamma(), 1.0f);
    device.setGamma(5);  // clamped to 20: 68 / 128
    EXPECT_EQ(device.gamma(), 20);
    EXPECT_FLOAT_EQ(device.processor8().gamma(), 0.53125f);
    EXPECT_FLOAT_EQ(device.processor16().gamma(), 0.53125f);
    device.setGamma(400);  // clamped to 150: 198 / 128
    EXPECT_EQ(device.gamma(), 150);
    EXPECT_FLOAT_EQ(device.processor8().gamma(), 1.546875f);
    EXPECT_FLOAT_EQ(device.processor16().gamma(), 1.546875f);
}

TEST_F(SensorWire, ContrastReachesBothProcessorsAsFactor) {
    device.setContrast(50);  // (50 + 100) / 100
    EXPECT_FLOAT_EQ(device.processor8().contrast(), 1.5f);
    EXPECT_FLOAT_EQ(device.processor16().contrast(), 1.5f);
    device.setContrast(300);  // clamped to 255
    EXPECT_EQ(device.contrast(), 255);
    EXPECT_NEAR(device.processor8().contrast(), 3.55f, 1e-5);
    EXPECT_NEAR(device.processor16().contrast(), 3.55f, 1e-5);
    device.setContrast(-4);
    EXPECT_EQ(device.contrast(), 0);
    EXPECT_FLOAT_EQ(device.processor8().contrast(), 1.0f);
}

TEST_F(SensorWire, SaturationReachesBothProcessorsInHundredTwentyEighths) {
    device.setSaturation(64);  // 0.5, held as 16.16 fixed point
    EXPECT_EQ(device.processor8().saturationFixed(), 32768);
    EXPECT_EQ(device.processor16().saturationFixed(), 32768);
    device.setSaturation(0);
    EXPECT_EQ(device.processor8().saturationFixed(), 0);
    EXPECT_EQ(device.processor16().saturationFixed(), 0);
    device.setSaturation(999);  // clamped to 255: 255 / 128
    EXPECT_EQ(device.saturation(), 255);
    EXPECT_EQ(device.processor8().saturationFixed(), 255 * 512);
}

TEST_F(SensorWire, StartupHandsTheStoredPictureSettingsToBothProcessors) {
    // Change what the processors hold, then let startup hand over the defaults.
    device.processor8().setGamma(2.0f);
    device.processor16().setContrast(3.0f);
    device.processor8().setSaturation(0.0f);
    device.processor16().setGains(2.0f, 2.0f, 2.0f);
    device.startup();
    expectGains(device, 1.0f, 1.0f, 1.0f);
    EXPECT_FLOAT_EQ(device.processor8().gamma(), 148.0f / 128.0f);  // gamma 100
    EXPECT_FLOAT_EQ(device.processor16().gamma(), 148.0f / 128.0f);
    EXPECT_FLOAT_EQ(device.processor8().contrast(), 1.0f);
    EXPECT_FLOAT_EQ(device.processor16().contrast(), 1.0f);
    EXPECT_EQ(device.processor8().saturationFixed(), 65536);
    EXPECT_EQ(device.processor16().saturationFixed(), 65536);
}

// --- Settle times ---

TEST_F(SensorWire, ChangesStampWhenTheSensorHasSettled) {
    corvalis::platform::clock::setTimeScale(0);
    auto settleAfter = [&](auto change) {
        const std::uint32_t before = corvalis::platform::clock::tickCount();
        change();
        const std::uint32_t after = corvalis::platform::clock::tickCount();
        const std::uint32_t settle = device.state().settleTick;
        return std::pair<std::uint32_t, std::uint32_t>(settle - before, settle - after);
    };
    // Settle = now + delay with now taken during the change: between the tick before
    // and the tick after it.
    for (auto [fromBefore, fromAfter] : {settleAfter([&] { device.setAnalogueGain(100); }),
                                         settleAfter([&] { device.setExposureRows(900); }),
                                         settleAfter([&] { device.setFrameSpeed(2); })}) {
        EXPECT_GE(fromBefore, 500u);
        EXPECT_LE(fromAfter, 500u);
    }
    auto [fromBefore, fromAfter] = settleAfter([&] { device.setDataWidth(2); });
    EXPECT_GE(fromBefore, 1000u);
    EXPECT_LE(fromAfter, 1000u);
}

// --- A closed device ---

TEST(SensorClosed, SettingsAreStoredButNothingIsSent) {
    corvalis::platform::clock::setTimeScale(0);
    std::mutex decodeLock;
    ostra::SensorDevice device(decodeLock);
    auto camera = std::make_unique<FakeCamera>();
    FakeCamera* fake = camera.get();
    device.channel().adopt(std::move(camera));
    fake->close();  // unplugged
    EXPECT_FALSE(device.isOpen());
    device.setAnalogueGain(200);
    device.setMode(2);
    EXPECT_EQ(device.analogueGain(), 200);
    EXPECT_EQ(device.mode(), 2);
    EXPECT_TRUE(fake->sent().empty());
    EXPECT_EQ(device.channel().vendorRequest({0xB3, 0, 0}), -1);
    EXPECT_FALSE(device.busy());
}
