#pragma once
#include <umockdev.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim_camera.h"
#include "star_field.h"

// USB devices for the libusb backend to find, emulated with umockdev: sysfs records
// and device nodes in a test bed, and a usbdevfs ioctl handler per camera that runs
// the URBs libusb submits against the simulated camera. The process must run with
// libumockdev-preload; the test bed must exist before the first libusb call.
namespace corvalis::test {

// One camera's device node: what the kernel's usbdevfs would do with its URBs.
class EmulatedCamera {
  public:
    // The interface's endpoints: interrupt IN, bulk OUT, then two bulk IN. "PIPE00"
    // is the first bulk IN; the second must never be read.
    static constexpr std::uint8_t kInterruptIn = 0x81;
    static constexpr std::uint8_t kBulkOut = 0x02;
    static constexpr std::uint8_t kBulkIn = 0x86;
    static constexpr std::uint8_t kSecondBulkIn = 0x88;

    struct ControlTransfer {
        std::uint8_t requestType = 0, request = 0;
        std::uint16_t value = 0, index = 0, length = 0;
        std::vector<std::uint8_t> data;  // the data stage as submitted
    };

    EmulatedCamera(UMockdevTestbed* testbed, std::string devNode,
                   const platform::sim::StarField& scene);
    ~EmulatedCamera();
    EmulatedCamera(const EmulatedCamera&) = delete;
    EmulatedCamera& operator=(const EmulatedCamera&) = delete;

    platform::sim::SimCamera& model() { return model_; }
    std::vector<ControlTransfer> controlTransfers() const;
    std::vector<std::uint8_t> bulkEndpointsRead() const;  // endpoint of each bulk URB
    int discardedUrbs() const;
    int claimedInterfaces() const;  // claims minus releases
    // ioctls (and reads, writes, control requests) this emulation does not know.
    std::vector<std::string> unhandled() const;

    // The kernel's side of an unplug: URBs in flight end with -ESHUTDOWN, later
    // submissions fail with ENODEV, the camera stops answering.
    void disconnect();
    // Ends every URB in flight with a bus error, so that a test whose read hangs can
    // still finish (and fail) instead of waiting forever.
    void abortTransfers();

  private:
    struct Urb;

    static gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);
    static gboolean onReadWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);
    void handle(UMockdevIoctlClient* client);
    void submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
    void submitControl(Urb& urb);
    void reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
    void discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
    void claim(UMockdevIoctlClient* client, UMockdevIoctlData* arg, int change);
    void noteUnhandled(std::string what);

    UMockdevTestbed* testbed_;
    const std::string devNode_;
    UMockdevIoctlBase* handler_ = nullptr;
    platform::sim::SimCamera model_;

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Urb>> urbs_;  // submitted, not yet reaped, oldest first
    std::vector<std::thread> readers_;        // one per bulk URB, serving it from the model
    std::atomic<bool> closing_{false};
    bool gone_ = false;
    std::vector<ControlTransfer> controls_;
    std::vector<std::uint8_t> bulkEndpoints_;
    std::vector<std::string> unhandled_;
    int discarded_ = 0;
    int claimed_ = 0;
};

// The test bed: bus 1 with its root hub and a hub on port 4, bus 2 with its root hub
// and an unrelated device on port 1 (interrupt IN and bulk OUT only, no handler on
// its node). Cameras (0547:D002) go onto the hub's ports.
class EmulatedUsb {
  public:
    static constexpr std::uint8_t kHubPort = 4;
    static constexpr std::uint16_t kOtherVendor = 0x1234, kOtherProduct = 0x5678;

    EmulatedUsb();
    ~EmulatedUsb();
    EmulatedUsb(const EmulatedUsb&) = delete;
    EmulatedUsb& operator=(const EmulatedUsb&) = delete;

    // A camera at bus 1, ports {kHubPort, port}, with a fresh device number. With
    // `announce` the kernel's "add" event goes out (a hot-plug arrival).
    EmulatedCamera& plugCamera(std::uint8_t port, bool announce);
    // Unplugs it as the kernel would: transfers end, the "remove" event goes out and
    // the device leaves sysfs. Its node stays served for handles still open.
    void unplug(EmulatedCamera& camera);
    // Every camera ever plugged, unplugged ones included.
    std::vector<std::string> unhandled() const;

  private:
    struct Plugged {
        std::unique_ptr<EmulatedCamera> camera;
        std::string sysPath;
        bool present = true;
    };

    void add(const std::string& record);

    UMockdevTestbed* testbed_;
    platform::sim::StarField scene_;
    std::vector<Plugged> cameras_;
    int nextDevnum_ = 5;
};

}  // namespace corvalis::test
