// Colour enhancement, saturation and monochrome: the one effective saturation they
// give the colour processors, and the auto-exposure flag.
#include "picture_controls.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

#include "sensor_wire.h"

using namespace sensor_test;
using ostra::PictureControls;

namespace {

class Controls : public SensorWire {
  protected:
    // The processors' saturation, both of which must agree with the device.
    int effective() {
        const std::int32_t fixed8 = device.processor8().saturationFixed();
        EXPECT_EQ(device.processor16().saturationFixed(), fixed8);
        EXPECT_EQ(fixed8, device.saturation() * 512);  // 16.16 of value / 128
        return device.saturation();
    }

    PictureControls controls;
};

}  // namespace

TEST_F(Controls, StartNeutral) {
    EXPECT_EQ(controls.colorEnhancement(), 0);
    EXPECT_EQ(controls.monochrome(), 0);
    EXPECT_EQ(controls.saturation(), 128);
    EXPECT_EQ(controls.aeState(), 0);
}

TEST_F(Controls, SaturationWhileEnhancementIsOffKeepsTheOldValue) {
    controls.setSaturation(200, device);
    EXPECT_EQ(controls.saturation(), 128);
    EXPECT_EQ(effective(), 128);
}

TEST_F(Controls, EnhancementSwitchesBetweenTheStoredAndTheNeutralSaturation) {
    controls.setColorEnhancement(1, device);
    controls.setSaturation(200, device);
    EXPECT_EQ(controls.saturation(), 200);
    EXPECT_EQ(effective(), 200);
    controls.setColorEnhancement(0, device);
    EXPECT_EQ(effective(), 128);
    EXPECT_EQ(controls.saturation(), 200);
    controls.setColorEnhancement(1, device);
    EXPECT_EQ(effective(), 200);
}

TEST_F(Controls, SaturationTakesTheLowByte) {
    controls.setColorEnhancement(1, device);
    controls.setSaturation(0x1C8, device);
    EXPECT_EQ(controls.saturation(), 200);
    EXPECT_EQ(effective(), 200);
}

TEST_F(Controls, MonochromeHoldsZeroWhateverElseChanges) {
    controls.setColorEnhancement(1, device);
    controls.setSaturation(200, device);
    controls.setMonochrome(1, device);
    EXPECT_EQ(effective(), 0);
    controls.setSaturation(50, device);  // refused in monochrome
    EXPECT_EQ(controls.saturation(), 200);
    EXPECT_EQ(effective(), 0);
    controls.setColorEnhancement(0, device);
    EXPECT_EQ(effective(), 0);
    controls.setColorEnhancement(1, device);
    EXPECT_EQ(effective(), 0);
    controls.setMonochrome(0, device);
    EXPECT_EQ(effective(), 200);
}

TEST_F(Controls, MonochromeOnThenOffWithoutEnhancementIsNeutral) {
    controls.setColorEnhancement(1, device);
    controls.setSaturation(200, device);
    controls.setColorEnhancement(0, device);
    controls.setMonochrome(1, device);
    EXPECT_EQ(effective(), 0);
    controls.setMonochrome(0, device);
    EXPECT_EQ(effective(), 128);
    EXPECT_EQ(controls.monochrome(), 0);
}

TEST_F(Controls, RestoreTakesAllValuesAndAppliesTheirSaturation) {
    controls.restore({1, 0, 77, 1}, device);
    EXPECT_EQ(effective(), 77);
    EXPECT_EQ(controls.aeState(), 1);
    controls.restore({0, 0, 77, 0}, device);
    EXPECT_EQ(effective(), 128);
    controls.restore({1, 1, 77, 0}, device);
    EXPECT_EQ(effective(), 0);
}

TEST_F(Controls, AutoExposureOnFirstSetsTheAnalogueGain) {
    controls.setAeState(1, device);
    const std::vector<Request> expected = {gain(270)};
    EXPECT_EQ(takeRequests(), expected);
    EXPECT_EQ(device.analogueGain(), 270);
    EXPECT_EQ(controls.aeState(), 1);

    device.setAnalogueGain(40);
    takeRequests();
    controls.setAeState(0, device);
    EXPECT_TRUE(takeRequests().empty());
    EXPECT_EQ(device.analogueGain(), 40);
    EXPECT_EQ(controls.aeState(), 0);
}

TEST_F(Controls, ConcurrentSettersLeaveTheSaturationTheFlagsCallFor) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            std::mt19937 random(static_cast<unsigned>(t + 1));
            for (int i = 0; i < 300; ++i) {
                const int value = static_cast<int>(random() % 256);
                switch (random() % 3) {
                    case 0:
                        controls.setColorEnhancement(value % 2, device);
                        break;
                    case 1:
                        controls.setMonochrome(value % 2, device);
                        break;
                    default:
                        controls.setSaturation(value, device);
                        break;
                }
                (void)controls.saturation();
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(effective(), PictureControls::effectiveSaturation(controls.settings()));
}
