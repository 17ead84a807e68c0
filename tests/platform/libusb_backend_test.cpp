// The libusb backend against cameras emulated at the usbdevfs level (umockdev), with
// the simulated camera answering the transfers. Runs under libumockdev-preload; the
// binary re-executes itself with it when started without.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "eventually.h"
#include "libusb_emulated_usb.h"
#include "platform/clock.h"
#include "platform/usb.h"

namespace usb = corvalis::platform::usb;
namespace sim = corvalis::platform::sim;
using corvalis::test::EmulatedCamera;
using corvalis::test::EmulatedUsb;
using Bytes = usb::VendorRequestBytes;
using namespace std::chrono_literals;

namespace {

constexpr std::uint16_t kVendor = 0x0547, kProduct = 0xD002;
// Only a bound for things that hang; nothing here should take more than a second.
constexpr auto kLiveness = 30s;

// The one test bed of the process and the camera at 1-4.2 that every test starts with.
EmulatedUsb* g_usb = nullptr;
EmulatedCamera* g_camera = nullptr;
constexpr std::uint8_t kCameraPort = 2;
const std::vector<std::uint8_t> kCameraPorts = {EmulatedUsb::kHubPort, kCameraPort};

// Read size for an 8-bit full frame, worked by hand as the driver asks for it: the raw
// frame is 3032 x 2180 = 6,609,760 bytes; the frame reader rounds that to
// (12909 + 1) x 512 = 6,609,920 and the channel once more to (12910 + 1) x 512.
constexpr std::size_t kFullFrameRead = 6'610'432;
constexpr std::size_t kFullFrameSent = 512 + 6'609'760;  // header + raw frame

// Hot-plug events as the platform callbacks see them.
class HotplugLog {
  public:
    HotplugLog() {
        handle_ = usb::registerHotplug([this](const usb::HotplugEvent& event) {
            std::lock_guard lock(mutex_);
            events_.push_back(event);
            changed_.notify_all();
        });
    }
    ~HotplugLog() { usb::unregisterHotplug(handle_); }

    int handle() const { return handle_; }

    // Waits for an event about the camera at `ports`; false after the liveness bound.
    bool waitFor(bool arrived, const std::vector<std::uint8_t>& ports) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kLiveness, [&] {
            for (const usb::HotplugEvent& e : events_)
                if (e.arrived == arrived && e.device.vendor == kVendor &&
                    e.device.product == kProduct && e.device.bus == 1 && e.device.portPath == ports)
                    return true;
            return false;
        });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<usb::HotplugEvent> events_;
    int handle_ = 0;
};

std::unique_ptr<usb::Device> openCamera() {
    auto device = usb::openDevice(kVendor, kProduct);
    EXPECT_TRUE(device) << "the emulated camera did not open";
    return device;
}

// A bulk read on a thread of its own. If it still waits when the test leaves, the
// emulated bus fails its transfer, so a broken cancel fails the test instead of hanging it.
class ReadInFlight {
  public:
    ReadInFlight(usb::Device& device, EmulatedCamera& camera, std::vector<std::uint8_t>& buffer)
        : camera_(camera), result_(std::async(std::launch::async, [&] {
              return device.bulkRead(buffer.data(), buffer.size());
          })) {}
    ~ReadInFlight() {
        if (result_.valid() && result_.wait_for(0s) != std::future_status::ready) {
            camera_.abortTransfers();
            result_.wait();
        }
    }
    bool ends() { return result_.wait_for(kLiveness) == std::future_status::ready; }
    std::size_t bytes() { return result_.get(); }

  private:
    EmulatedCamera& camera_;
    std::future<std::size_t> result_;
};

// Starts a frame and reads it whole; returns the bytes read.
std::size_t readFrame(usb::Device& device, EmulatedCamera& camera,
                      std::vector<std::uint8_t>& buffer) {
    buffer.assign(kFullFrameRead, 0);
    EXPECT_EQ(device.vendorRequest(usb::makeVendorRequest(0xB3, 0, 0)), 1);
    ReadInFlight read(device, camera, buffer);
    if (!read.ends()) {
        ADD_FAILURE() << "the frame read hangs";
        return 0;
    }
    return read.bytes();
}

// A read that waits until the test ends it: the camera stalls it.
std::unique_ptr<ReadInFlight> startStalledRead(usb::Device& device, EmulatedCamera& camera,
                                               std::vector<std::uint8_t>& buffer) {
    camera.model().injectFault(sim::Fault::Stall);
    buffer.assign(kFullFrameRead, 0);
    auto read = std::make_unique<ReadInFlight>(device, camera, buffer);
    EXPECT_TRUE(eventually([&] { return camera.model().waitingReads() == 1; }))
        << "the read never reached the camera";
    return read;
}

class LibusbBackend : public ::testing::Test {
  protected:
    void SetUp() override {
        camera().model().clearFaults();
        camera().model().clearRequests();
        unhandledBefore_ = g_usb->unhandled().size();
    }
    void TearDown() override {
        const std::vector<std::string> unhandled = g_usb->unhandled();
        EXPECT_EQ(std::vector<std::string>(unhandled.begin() + unhandledBefore_, unhandled.end()),
                  std::vector<std::string>{})
            << "the backend issued something the device does not know";
        EXPECT_EQ(camera().claimedInterfaces(), 0) << "a closed device kept its interface";
    }
    static EmulatedCamera& camera() { return *g_camera; }

  private:
    std::size_t unhandledBefore_ = 0;
};

}  // namespace

// --- Listing ------------------------------------------------------------------------------

TEST_F(LibusbBackend, ListsEveryDeviceWithItsBusAndPortPathInDetectionOrder) {
    using Entry =
        std::tuple<int, std::vector<std::uint8_t>, int, int>;  // bus, ports, vendor, product
    std::vector<Entry> listed;
    for (const usb::DeviceInfo& d : usb::listDevices())
        listed.emplace_back(d.bus, d.portPath, d.vendor, d.product);
    const std::vector<Entry> expected = {
        {1, {}, 0x1d6b, 0x0002},                       // root hub of bus 1
        {1, {EmulatedUsb::kHubPort}, 0x1d6b, 0x0002},  // the hub on its port 4
        {1, kCameraPorts, kVendor, kProduct},          // the camera behind the hub
        {2, {}, 0x1d6b, 0x0002},                       // root hub of bus 2
        {2, {1}, EmulatedUsb::kOtherVendor, EmulatedUsb::kOtherProduct},
    };
    EXPECT_EQ(listed, expected);
}

TEST_F(LibusbBackend, CameraPathNamesVendorProductAndPlace) {
    for (const usb::DeviceInfo& d : usb::listDevices()) {
        if (d.vendor != kVendor) continue;
        const std::string path = d.devicePath();
        EXPECT_NE(path.find("Vid_0547&Pid_D002"), std::string::npos) << path;
        EXPECT_NE(path.find("1-4.2"), std::string::npos) << path;
        return;
    }
    ADD_FAILURE() << "the camera is not listed";
}

// --- Opening ------------------------------------------------------------------------------

TEST_F(LibusbBackend, OpenClaimsTheInterfaceAndCloseReleasesIt) {
    auto device = openCamera();
    ASSERT_TRUE(device);
    EXPECT_TRUE(device->isOpen());
    EXPECT_EQ(device->info().portPath, kCameraPorts);
    EXPECT_EQ(camera().claimedInterfaces(), 1);
    device->close();
    EXPECT_FALSE(device->isOpen());
    EXPECT_EQ(camera().claimedInterfaces(), 0);
}

TEST_F(LibusbBackend, ReadsComeFromTheFirstBulkInEndpoint) {
    // The interface lists an interrupt IN, a bulk OUT, then two bulk IN endpoints.
    auto device = openCamera();
    ASSERT_TRUE(device);
    std::vector<std::uint8_t> buffer;
    readFrame(*device, camera(), buffer);
    EXPECT_EQ(camera().bulkEndpointsRead(), std::vector<std::uint8_t>{EmulatedCamera::kBulkIn});
}

TEST_F(LibusbBackend, DeviceWithoutBulkInEndpointDoesNotOpen) {
    // The unrelated device has an interrupt IN and a bulk OUT endpoint only.
    EXPECT_EQ(usb::openDevice(EmulatedUsb::kOtherVendor, EmulatedUsb::kOtherProduct), nullptr);
}

TEST_F(LibusbBackend, AbsentDeviceDoesNotOpen) {
    EXPECT_EQ(usb::openDevice(kVendor, 0xA004), nullptr);
}

// --- Vendor requests ----------------------------------------------------------------------

TEST_F(LibusbBackend, VendorRequestArrivesAsVendorControlTransferCarryingItsTenBytes) {
    auto device = openCamera();
    ASSERT_TRUE(device);
    // Exposure low part 0x0123 (index 0x63) and frame speed 3 (0xB5, 0xA2).
    EXPECT_EQ(device->vendorRequest(usb::makeVendorRequest(0xB7, 0x0123, 0x0063)), 1);
    EXPECT_EQ(device->vendorRequest(usb::makeVendorRequest(0xB5, 0x00A2, 0)), 1);

    const auto controls = camera().controlTransfers();
    ASSERT_GE(controls.size(), 2u);
    const auto& exposure = controls[controls.size() - 2];
    EXPECT_EQ(exposure.requestType, 0x40);  // host-to-device, vendor, device
    EXPECT_EQ(exposure.request, 0xB7);
    EXPECT_EQ(exposure.value, 0x0123);
    EXPECT_EQ(exposure.index, 0x0063);
    EXPECT_EQ(exposure.length, 10);
    EXPECT_EQ(exposure.data,
              (std::vector<std::uint8_t>{0, 2, 0, 0, 0xB7, 0, 0x23, 0x01, 0x63, 0x00}));
    const auto& speed = controls.back();
    EXPECT_EQ(speed.request, 0xB5);
    EXPECT_EQ(speed.value, 0x00A2);
    EXPECT_EQ(speed.index, 0);
    EXPECT_EQ(speed.data, (std::vector<std::uint8_t>{0, 2, 0, 0, 0xB5, 0, 0xA2, 0, 0, 0}));

    // The camera took them as the requests they are.
    EXPECT_EQ(camera().model().settings().exposureLow, 0x0123);
    EXPECT_EQ(camera().model().settings().speed, 3);
    const auto received = camera().model().requests();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0], (Bytes{0, 2, 0, 0, 0xB7, 0, 0x23, 0x01, 0x63, 0x00}));
}

TEST_F(LibusbBackend, RequestTheCameraRefusesReportsFailure) {
    auto device = openCamera();
    ASSERT_TRUE(device);
    Bytes notVendor = usb::makeVendorRequest(0xB3, 0, 0);
    notVendor[1] = 1;  // a class request in the wire form: the camera stalls it
    EXPECT_EQ(device->vendorRequest(notVendor), 0);
    EXPECT_EQ(device->vendorRequest(usb::makeVendorRequest(0xB3, 0, 0)),
              1);  // the device still works
}

// --- Bulk reads ---------------------------------------------------------------------------

TEST_F(LibusbBackend, BulkReadDeliversHeaderAndFrameOfTheCamera) {
    auto device = openCamera();
    ASSERT_TRUE(device);
    std::vector<std::uint8_t> buffer;
    const std::size_t read = readFrame(*device, camera(), buffer);
    ASSERT_EQ(read, kFullFrameSent);  // the transfer ends with the camera's short packet

    for (int i = 0; i < 10; ++i) ASSERT_EQ(buffer[i], 0x88) << "frame-start marker byte " << i;
    const sim::FrameInfo frame = camera().model().lastDelivered();
    EXPECT_EQ(frame.index, camera().model().lastStarted().index);
    ASSERT_EQ(frame.rawWidth, 3032);
    ASSERT_EQ(frame.rawHeight, 2180);
    ASSERT_EQ(frame.bytesPerSample, 1);
    // Raw row k of field A is picture row 2k, raw row fieldBStart + k is row 2k + 1;
    // 8-bit samples are the top 8 of the 12 bits.
    const std::vector<std::uint16_t> picture = camera().model().expectedPicture(frame);
    const std::uint8_t* raw = buffer.data() + 512;
    int mismatches = 0;
    for (int k = 0; k < frame.fieldPairs; ++k) {
        for (int c = 0; c < frame.rawWidth; ++c) {
            const std::size_t a = static_cast<std::size_t>(k) * frame.rawWidth + c;
            const std::size_t b =
                static_cast<std::size_t>(frame.fieldBStart + k) * frame.rawWidth + c;
            mismatches +=
                raw[a] != picture[static_cast<std::size_t>(2 * k) * frame.rawWidth + c] >> 4;
            mismatches +=
                raw[b] != picture[static_cast<std::size_t>(2 * k + 1) * frame.rawWidth + c] >> 4;
        }
    }
    EXPECT_EQ(mismatches, 0);
    // Beyond what the camera sent the buffer is untouched.
    EXPECT_EQ(buffer[kFullFrameSent], 0);
    EXPECT_EQ(buffer.back(), 0);
}

TEST_F(LibusbBackend, ZeroLengthReadReturnsNothing) {
    auto device = openCamera();
    ASSERT_TRUE(device);
    camera().model().injectFault(sim::Fault::ZeroLengthRead);
    std::vector<std::uint8_t> buffer;
    EXPECT_EQ(readFrame(*device, camera(), buffer), 0u);
}

// --- Ending a waiting read ----------------------------------------------------------------

TEST_F(LibusbBackend, CancelReadEndsAWaitingReadAndTheDeviceStaysUsable) {
    auto device = openCamera();
    ASSERT_TRUE(device);
    const int discardedBefore = camera().discardedUrbs();
    std::vector<std::uint8_t> buffer;
    auto read = startStalledRead(*device, camera(), buffer);
    device->cancelRead();
    ASSERT_TRUE(read->ends()) << "cancelRead left the read waiting";
    EXPECT_EQ(read->bytes(), 0u);
    EXPECT_EQ(camera().discardedUrbs(), discardedBefore + 1);

    EXPECT_EQ(readFrame(*device, camera(), buffer), kFullFrameSent);
}

TEST_F(LibusbBackend, CancelReadWithoutAReadChangesNothing) {
    auto device = openCamera();
    ASSERT_TRUE(device);
    device->cancelRead();
    std::vector<std::uint8_t> buffer;
    EXPECT_EQ(readFrame(*device, camera(), buffer), kFullFrameSent);
}

TEST_F(LibusbBackend, CloseEndsAWaitingRead) {
    auto device = openCamera();
    ASSERT_TRUE(device);
    std::vector<std::uint8_t> buffer;
    auto read = startStalledRead(*device, camera(), buffer);
    auto closed = std::async(std::launch::async, [&] { device->close(); });
    const bool closeEnded = closed.wait_for(kLiveness) == std::future_status::ready;
    if (!closeEnded) camera().abortTransfers();  // lets the test fail instead of hang
    ASSERT_TRUE(closeEnded) << "close hangs on the waiting read";
    ASSERT_TRUE(read->ends());
    EXPECT_EQ(read->bytes(), 0u);
    EXPECT_FALSE(device->isOpen());
}

// --- A closed device ----------------------------------------------------------------------

TEST_F(LibusbBackend, ClosedDeviceRefusesRequestsAndReads) {
    auto device = openCamera();
    ASSERT_TRUE(device);
    device->close();
    device->close();  // twice is harmless
    EXPECT_EQ(device->vendorRequest(usb::makeVendorRequest(0xB3, 0, 0)), -1);
    std::vector<std::uint8_t> buffer(kFullFrameRead, 0);
    EXPECT_EQ(device->bulkRead(buffer.data(), buffer.size()), 0u);
    device->cancelRead();
    EXPECT_TRUE(camera().model().requests().empty()) << "a request left a closed device";
}

// --- Unplug and arrival -------------------------------------------------------------------

TEST_F(LibusbBackend, UnplugEndsAWaitingReadWithNothingAndIsReported) {
    HotplugLog hotplug;
    ASSERT_GT(hotplug.handle(), 0) << "libusb offers hot-plug under the emulation";
    auto device = openCamera();
    ASSERT_TRUE(device);
    std::vector<std::uint8_t> buffer;
    auto read = startStalledRead(*device, camera(), buffer);

    EmulatedCamera& gone = camera();
    g_usb->unplug(gone);
    ASSERT_TRUE(read->ends()) << "the read outlived the device";
    EXPECT_EQ(read->bytes(), 0u);
    EXPECT_TRUE(hotplug.waitFor(false, kCameraPorts)) << "no removal reported";
    for (const usb::DeviceInfo& d : usb::listDevices())
        EXPECT_NE(d.vendor, kVendor) << "an unplugged camera is listed";
    // Still open but gone: requests fail (not "closed"), reads deliver nothing.
    EXPECT_EQ(device->vendorRequest(usb::makeVendorRequest(0xB3, 0, 0)), 0);
    EXPECT_EQ(device->bulkRead(buffer.data(), buffer.size()), 0u);
    device->close();
    EXPECT_FALSE(device->isOpen());
    EXPECT_EQ(gone.unhandled(), std::vector<std::string>{});

    // Plug it back for the tests after this one (and check that it is seen again).
    g_camera = &g_usb->plugCamera(kCameraPort, true);
    EXPECT_TRUE(hotplug.waitFor(true, kCameraPorts)) << "no arrival reported";
}

TEST_F(LibusbBackend, ArrivedCameraIsListedAndOpens) {
    HotplugLog hotplug;
    const std::vector<std::uint8_t> ports = {EmulatedUsb::kHubPort, 3};
    EmulatedCamera& second = g_usb->plugCamera(3, true);
    ASSERT_TRUE(hotplug.waitFor(true, ports)) << "no arrival reported";
    int cameras = 0;
    for (const usb::DeviceInfo& d : usb::listDevices())
        cameras += d.vendor == kVendor && d.product == kProduct;
    EXPECT_EQ(cameras, 2);
    {
        // Detection order puts port 4.2 before 4.3: the first camera opens.
        auto first = openCamera();
        ASSERT_TRUE(first);
        EXPECT_EQ(first->info().portPath, kCameraPorts);
    }
    g_usb->unplug(camera());
    EXPECT_TRUE(hotplug.waitFor(false, kCameraPorts));
    {
        auto device = openCamera();
        ASSERT_TRUE(device);
        EXPECT_EQ(device->info().portPath, ports);
        std::vector<std::uint8_t> buffer;
        EXPECT_EQ(readFrame(*device, second, buffer), kFullFrameSent);
        EXPECT_EQ(second.claimedInterfaces(), 1);
    }
    EXPECT_EQ(second.claimedInterfaces(), 0);
    // Back to one camera at 4.2.
    g_usb->unplug(second);
    EXPECT_TRUE(hotplug.waitFor(false, ports));
    g_camera = &g_usb->plugCamera(kCameraPort, true);
    EXPECT_TRUE(hotplug.waitFor(true, kCameraPorts));
}

TEST_F(LibusbBackend, UnregisteredCallbackHearsNoMore) {
    int calls = 0;
    std::mutex mutex;
    const int handle = usb::registerHotplug([&](const usb::HotplugEvent&) {
        std::lock_guard lock(mutex);
        ++calls;
    });
    ASSERT_GT(handle, 0);
    usb::unregisterHotplug(handle);
    HotplugLog witness;  // proves the events below were delivered
    EmulatedCamera& second = g_usb->plugCamera(3, true);
    EXPECT_TRUE(witness.waitFor(true, {EmulatedUsb::kHubPort, 3}));
    g_usb->unplug(second);
    EXPECT_TRUE(witness.waitFor(false, {EmulatedUsb::kHubPort, 3}));
    std::lock_guard lock(mutex);
    EXPECT_EQ(calls, 0);
}

// --- Process set-up -----------------------------------------------------------------------

namespace {

bool listingOnly(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--gtest_list_tests", 18) == 0) return true;
    return false;
}

constexpr const char* kPreload = "libumockdev-preload.so.0";

bool preloaded() {
    return dlopen(kPreload, RTLD_NOW | RTLD_NOLOAD) != nullptr;
}

// The emulation needs libumockdev-preload in the process from its start.
int reexecWithPreload(char** argv) {
    if (std::getenv("CORVALIS_UMOCKDEV_REEXEC")) {
        std::fprintf(stderr, "SKIP: %s did not load (is umockdev installed?)\n", kPreload);
        return 77;
    }
    std::string preload = kPreload;
    if (const char* old = std::getenv("LD_PRELOAD"); old && *old) preload += std::string(":") + old;
    setenv("LD_PRELOAD", preload.c_str(), 1);
    // AddressSanitizer wants to come first; the preload comes before it.
    std::string asan = "verify_asan_link_order=0";
    if (const char* old = std::getenv("ASAN_OPTIONS"); old && *old)
        asan = std::string(old) + ":" + asan;
    setenv("ASAN_OPTIONS", asan.c_str(), 1);
    setenv("CORVALIS_UMOCKDEV_REEXEC", "1", 1);
    execv("/proc/self/exe", argv);
    std::fprintf(stderr, "SKIP: cannot re-execute under libumockdev-preload: %s\n",
                 std::strerror(errno));
    return 77;
}

}  // namespace

int main(int argc, char** argv) {
    const bool listing = listingOnly(argc, argv);
    if (!listing && !preloaded()) return reexecWithPreload(argv);
    ::testing::InitGoogleTest(&argc, argv);
    if (listing) return RUN_ALL_TESTS();

    // Real devices only: the libusb backend, never the simulated device list.
    unsetenv("CORVALIS_CAMERA");
    corvalis::platform::clock::setTimeScale(0.01);
    EmulatedUsb emulated;
    g_usb = &emulated;
    g_camera = &emulated.plugCamera(kCameraPort, false);
    const int result = RUN_ALL_TESTS();
    g_camera = nullptr;
    g_usb = nullptr;
    return result;
}
