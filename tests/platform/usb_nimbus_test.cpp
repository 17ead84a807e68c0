#include <gtest/gtest.h>

#include "platform/sim.h"
#include "platform/usb.h"

namespace usb = corvalis::platform::usb;

// CORVALIS_CAMERA=simulator-nimbus lists a second-family device, which another
// library drives in-process; this layer only lists it.
TEST(SecondFamilySimulator, ListsTheSecondFamilyDeviceOnly) {
    auto devices = usb::listDevices();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].vendor, 0x0547);
    EXPECT_EQ(devices[0].product, 0xA004);
    EXPECT_EQ(devices[0].bus, 1);
    EXPECT_EQ(devices[0].portPath, std::vector<std::uint8_t>{1});
    EXPECT_NE(devices[0].devicePath().find("Vid_0547&Pid_A004"), std::string::npos);
}

TEST(SecondFamilySimulator, NoFirstFamilyCameraToOpen) {
    EXPECT_EQ(corvalis::platform::sim::camera(), nullptr);
    testing::internal::CaptureStdout();
    EXPECT_EQ(usb::openDevice(0x0547, 0xD002), nullptr);
    EXPECT_EQ(usb::openDevice(0x0547, 0xA004), nullptr);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("FAILED to open"), std::string::npos);
}
