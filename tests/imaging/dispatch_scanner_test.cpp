// Camera detection over the simulated device list: the first camera of either family in
// bus order, then port path depth first through hubs, decides.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "camera_scanner.h"
#include "platform/sim.h"
#include "vantelo.h"

namespace {

namespace sim = corvalis::platform::sim;
namespace usb = corvalis::platform::usb;

usb::DeviceInfo at(std::uint16_t vendor, std::uint16_t product, int bus,
                   std::vector<std::uint8_t> ports) {
    usb::DeviceInfo d;
    d.vendor = vendor;
    d.product = product;
    d.bus = static_cast<std::uint8_t>(bus);
    d.portPath = std::move(ports);
    return d;
}

class Detection : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim::active()) << "runs on the simulated devices (CORVALIS_CAMERA=simulator)";
        sim::unplug(sim::reset());  // start from an empty bus
    }
    void TearDown() override { sim::reset(); }

    // KdCamera_RefreshCamera on a record that claims some other camera beforehand.
    static int detect() {
        CameraRecord record;
        std::memset(&record, 0, sizeof record);
        record.camera_type = 77;
        EXPECT_EQ(KdCamera_RefreshCamera(&record), 1);
        return record.camera_type;
    }
};

TEST_F(Detection, EachFamilyByItsProductAndNothingOtherwise) {
    EXPECT_EQ(detect(), -1);
    // Other products of the same vendor, and the right product of another vendor, are not cameras.
    sim::plug(at(0x0547, 0x4D33, 1, {1}), false);
    sim::plug(at(0x1234, 0xD002, 1, {2}), false);
    sim::plug(at(0x0547, 0xD003, 1, {3}), false);
    EXPECT_EQ(detect(), -1);

    int first = sim::plug(at(0x0547, 0xD002, 1, {4}), false);
    EXPECT_EQ(detect(), 21);
    sim::unplug(first);
    sim::plug(at(0x0547, 0xA004, 1, {4}), false);
    EXPECT_EQ(detect(), 31);
}

TEST_F(Detection, LowerBusWinsWhateverThePlugOrder) {
    sim::plug(at(0x0547, 0xD002, 3, {1}), true);
    sim::plug(at(0x0547, 0xA004, 2, {5}), false);
    EXPECT_EQ(detect(), 31);
    sim::plug(at(0x0547, 0xD002, 1, {7}), false);
    EXPECT_EQ(detect(), 21);
}

TEST_F(Detection, HubPortsComeBeforeTheNextPortOfTheirParent) {
    // A second-family camera on port 2 of the root hub; a first-family one behind the
    // hub on port 1, two levels down: depth first finds the one behind the hub.
    sim::plug(at(0x0547, 0xA004, 1, {2}), false);
    sim::plug(at(0x0547, 0xD002, 1, {1, 3, 2}), false);
    EXPECT_EQ(detect(), 21);
}

TEST(CameraScanner, FirstCameraOfTheListDecidesAndSetsFound) {
    vantelo::CameraScanner none;
    none.scan(std::vector<usb::DeviceInfo>{at(0x0547, 0x4D33, 1, {1}), at(0x8086, 0xA004, 1, {2})});
    EXPECT_FALSE(none.found());
    EXPECT_EQ(none.type(), -1);

    vantelo::CameraScanner scanner;
    scanner.scan(
        {at(0x1234, 0x0001, 1, {1}), at(0x0547, 0xA004, 4, {1}), at(0x0547, 0xD002, 1, {2})});
    EXPECT_TRUE(scanner.found());
    EXPECT_EQ(scanner.type(), 31);
}

}  // namespace
