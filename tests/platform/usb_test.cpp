#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include "platform/sim.h"
#include "platform/usb.h"

namespace usb = corvalis::platform::usb;
namespace sim = corvalis::platform::sim;
using Bytes = usb::VendorRequestBytes;

namespace {

usb::DeviceInfo at(std::uint16_t vendor, std::uint16_t product, std::uint8_t bus,
                   std::vector<std::uint8_t> ports) {
    usb::DeviceInfo d;
    d.vendor = vendor;
    d.product = product;
    d.bus = bus;
    d.portPath = std::move(ports);
    return d;
}

// The hot-plug lookup's way of reading a device path: the four characters after
// "Vid_" and after "Pid_".
std::string after(const std::string& path, const char* marker) {
    auto at = path.find(marker);
    return at == std::string::npos ? std::string() : path.substr(at + 4, 4);
}

}  // namespace

// --- The 10-byte request form -----------------------------------------------------------

TEST(VendorRequestWire, StartFrameIsAllZeroButTypeAndCode) {
    EXPECT_EQ(usb::makeVendorRequest(0xB3, 0, 0), (Bytes{0, 2, 0, 0, 0xB3, 0, 0, 0, 0, 0}));
}

TEST(VendorRequestWire, ValueAndIndexAreLittleEndian) {
    // Black level 16: value 16 x 256 = 0x1000 at index 2.
    EXPECT_EQ(usb::makeVendorRequest(0xB7, 0x1000, 2),
              (Bytes{0, 2, 0, 0, 0xB7, 0, 0x00, 0x10, 0x02, 0x00}));
    // Exposure high part 4090 = 0x0FFA at index 0x62.
    EXPECT_EQ(usb::makeVendorRequest(0xB7, 4090, 0x62),
              (Bytes{0, 2, 0, 0, 0xB7, 0, 0xFA, 0x0F, 0x62, 0x00}));
    EXPECT_EQ(usb::makeVendorRequest(0xB5, 0xA3, 0),
              (Bytes{0, 2, 0, 0, 0xB5, 0, 0xA3, 0x00, 0x00, 0x00}));
    EXPECT_EQ(usb::makeVendorRequest(0xB0, 0x11, 0),
              (Bytes{0, 2, 0, 0, 0xB0, 0, 0x11, 0x00, 0x00, 0x00}));
    EXPECT_EQ(usb::makeVendorRequest(0x12, 0xABCD, 0x1234),
              (Bytes{0, 2, 0, 0, 0x12, 0, 0xCD, 0xAB, 0x34, 0x12}));
}

// --- Device paths --------------------------------------------------------------------------

TEST(DevicePath, CarriesVendorAndProductForTheHotplugLookup) {
    std::string path = at(0x0547, 0xD002, 1, {1}).devicePath();
    EXPECT_NE(path.find("Vid_0547&Pid_D002"), std::string::npos) << path;
    EXPECT_EQ(after(path, "Vid_"), "0547");
    EXPECT_EQ(after(path, "Pid_"), "D002");
    EXPECT_LT(path.size() + 8, 256u);  // room for the pipe suffix
}

TEST(DevicePath, DiffersByPlace) {
    EXPECT_NE(at(0x0547, 0xD002, 1, {1}).devicePath(), at(0x0547, 0xD002, 1, {1, 2}).devicePath());
    EXPECT_NE(at(0x0547, 0xD002, 1, {1}).devicePath(), at(0x0547, 0xD002, 2, {1}).devicePath());
    EXPECT_EQ(after(at(0x04B4, 0x3001, 3, {2, 4}).devicePath(), "Pid_"), "3001");
}

// --- Device list and open ----------------------------------------------------------------

class DeviceList : public ::testing::Test {
  protected:
    void SetUp() override { defaultHandle_ = sim::reset(); }
    void TearDown() override { sim::reset(); }
    int defaultHandle_ = 0;
};

TEST_F(DeviceList, SimulatorListsTheCameraOnBusOnePortOne) {
    auto devices = usb::listDevices();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].vendor, 0x0547);
    EXPECT_EQ(devices[0].product, 0xD002);
    EXPECT_EQ(devices[0].bus, 1);
    EXPECT_EQ(devices[0].portPath, std::vector<std::uint8_t>{1});
}

TEST_F(DeviceList, OrderedByBusThenPortPathDepthFirst) {
    sim::plug(at(0x0547, 0xD002, 2, {1}), true);
    sim::plug(at(0x1234, 0x0001, 1, {2}), false);
    sim::plug(at(0x1234, 0x0002, 1, {1, 3}), false);  // behind a hub on port 1
    sim::plug(at(0x1234, 0x0003, 1, {1, 1, 2}), false);
    sim::plug(at(0x0547, 0xA004, 1, {1, 1}), false);
    auto devices = usb::listDevices();
    ASSERT_EQ(devices.size(), 6u);
    // A hub's ports come before the next port of its parent.
    std::vector<std::pair<int, std::vector<std::uint8_t>>> order;
    for (const auto& d : devices) order.emplace_back(d.bus, d.portPath);
    std::vector<std::pair<int, std::vector<std::uint8_t>>> expected = {
        {1, {1}}, {1, {1, 1}}, {1, {1, 1, 2}}, {1, {1, 3}}, {1, {2}}, {2, {1}}};
    EXPECT_EQ(order, expected);
}

TEST_F(DeviceList, OpenTakesTheFirstMatchInListOrder) {
    sim::unplug(defaultHandle_);
    int onBusTwo = sim::plug(at(0x0547, 0xD002, 2, {1}), true);
    int deepOnBusOne = sim::plug(at(0x0547, 0xD002, 1, {3, 1}), true);
    auto device = usb::openDevice(0x0547, 0xD002);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->info().bus, 1);
    EXPECT_EQ(device->vendorRequest(usb::makeVendorRequest(0xB5, 0xA2, 0)), 1);
    EXPECT_EQ(sim::cameraOf(deepOnBusOne)->requests().size(), 1u);
    EXPECT_TRUE(sim::cameraOf(onBusTwo)->requests().empty());
    EXPECT_EQ(sim::camera(), sim::cameraOf(deepOnBusOne));
}

TEST_F(DeviceList, OpenPrintsAttemptAndSuccess) {
    const std::string path = usb::listDevices().at(0).devicePath();
    testing::internal::CaptureStdout();
    auto device = usb::openDevice(0x0547, 0xD002);
    std::string out = testing::internal::GetCapturedStdout();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(out, "Attempting to open " + path + "\n" + path + " Opened successfully\n");
    EXPECT_TRUE(device->isOpen());
}

TEST_F(DeviceList, ListedOnlyDeviceFailsToOpenAndTheNextIsTried) {
    sim::unplug(defaultHandle_);
    auto listed = at(0x0547, 0xD002, 1, {1});
    sim::plug(listed, false);
    auto camera = at(0x0547, 0xD002, 1, {2});
    sim::plug(camera, true);
    testing::internal::CaptureStdout();
    auto device = usb::openDevice(0x0547, 0xD002);
    std::string out = testing::internal::GetCapturedStdout();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->info().portPath, camera.portPath);
    EXPECT_EQ(out, "Attempting to open " + listed.devicePath() + "\nFAILED to open " +
                       listed.devicePath() + "\nAttempting to open " + camera.devicePath() + "\n" +
                       camera.devicePath() + " Opened successfully\n");
}

TEST_F(DeviceList, NoMatchingDeviceOpensNothingAndPrintsNothing) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(usb::openDevice(0x0547, 0x4D33), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(DeviceList, ClosedDeviceRefusesRequestsAndReads) {
    auto device = usb::openDevice(0x0547, 0xD002);
    ASSERT_NE(device, nullptr);
    device->close();
    EXPECT_FALSE(device->isOpen());
    EXPECT_EQ(device->vendorRequest(usb::makeVendorRequest(0xB3, 0, 0)), -1);
    std::vector<std::uint8_t> buffer(1024);
    EXPECT_EQ(device->bulkRead(buffer.data(), buffer.size()), 0u);
    device->cancelRead();  // harmless without a read
}

// --- Hot-plug ----------------------------------------------------------------------------

namespace {
struct EventLog {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<usb::HotplugEvent> events;
    std::set<std::thread::id> threads;

    void add(const usb::HotplugEvent& e) {
        std::lock_guard lock(mutex);
        events.push_back(e);
        threads.insert(std::this_thread::get_id());
        cv.notify_all();
    }
    bool waitFor(std::size_t n) {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, std::chrono::seconds(30), [&] { return events.size() >= n; });
    }
};
}  // namespace

TEST_F(DeviceList, PlugAndUnplugFireEventsOnOneEventThread) {
    EventLog log;
    int handle = usb::registerHotplug([&](const usb::HotplugEvent& e) { log.add(e); });
    ASSERT_GT(handle, 0);
    auto where = at(0x0547, 0xD002, 3, {2, 1});
    int plugged = sim::plug(where, true);
    ASSERT_TRUE(sim::unplug(plugged));
    ASSERT_TRUE(log.waitFor(2));
    usb::unregisterHotplug(handle);

    std::lock_guard lock(log.mutex);
    ASSERT_EQ(log.events.size(), 2u);
    EXPECT_TRUE(log.events[0].arrived);
    EXPECT_FALSE(log.events[1].arrived);
    for (const auto& e : log.events) {
        EXPECT_EQ(e.device.vendor, 0x0547);
        EXPECT_EQ(e.device.product, 0xD002);
        EXPECT_EQ(e.device.bus, 3);
        EXPECT_EQ(e.device.portPath, where.portPath);
        EXPECT_EQ(after(e.device.devicePath(), "Pid_"), "D002");
    }
    ASSERT_EQ(log.threads.size(), 1u);
    EXPECT_NE(*log.threads.begin(), std::this_thread::get_id());
}

TEST_F(DeviceList, NoEventsAfterUnregister) {
    EventLog log;
    int handle = usb::registerHotplug([&](const usb::HotplugEvent& e) { log.add(e); });
    ASSERT_GT(handle, 0);
    usb::unregisterHotplug(handle);
    sim::unplug(sim::plug(at(0x0547, 0xD002, 4, {1}), true));
    // A second listener proves the events were delivered meanwhile.
    EventLog other;
    int second = usb::registerHotplug([&](const usb::HotplugEvent& e) { other.add(e); });
    sim::unplug(sim::plug(at(0x0547, 0xD002, 4, {2}), true));
    ASSERT_TRUE(other.waitFor(2));
    usb::unregisterHotplug(second);
    std::lock_guard lock(log.mutex);
    EXPECT_TRUE(log.events.empty());
}

TEST_F(DeviceList, CallbackMayUnregisterItself) {
    EventLog log;
    std::atomic<int> handle{0};
    handle = usb::registerHotplug([&](const usb::HotplugEvent& e) {
        usb::unregisterHotplug(handle.load());
        log.add(e);
    });
    ASSERT_GT(handle.load(), 0);
    int plugged = sim::plug(at(0x0547, 0xD002, 5, {1}), true);
    ASSERT_TRUE(log.waitFor(1));
    sim::unplug(plugged);
    EventLog after;
    int second = usb::registerHotplug([&](const usb::HotplugEvent& e) { after.add(e); });
    sim::unplug(sim::plug(at(0x0547, 0xD002, 5, {2}), true));
    ASSERT_TRUE(after.waitFor(2));
    usb::unregisterHotplug(second);
    std::lock_guard lock(log.mutex);
    EXPECT_EQ(log.events.size(), 1u);
}
