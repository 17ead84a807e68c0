#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/export.h"

// One USB layer for the drivers and the program, with two backends: libusb for real
// devices and the simulated devices of platform/sim. CORVALIS_CAMERA=simulator lists
// the simulated first-family camera instead of real devices; =simulator-nimbus lists
// a simulated second-family device.
namespace corvalis::platform::usb {

struct CORVALIS_PLATFORM_API DeviceInfo {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::uint8_t bus = 0;
    std::vector<std::uint8_t> portPath;  // hub ports from the root, outermost first

    // "\\?\usb#vid_0547&pid_d002#<bus>-<ports>#..." style text that the hot-plug
    // lookup parses for its "Vid_xxxx&Pid_xxxx" part.
    std::string devicePath() const;
};

// Every present device, ordered by bus number, then by port path depth first
// (a hub's ports before the next port of its parent), as detection walks them.
CORVALIS_PLATFORM_API std::vector<DeviceInfo> listDevices();

// The 10-byte vendor request as the camera's request form has it: direction 0,
// type 2 (vendor), recipient 0 (device), 0, request, 0, value LE, index LE.
using VendorRequestBytes = std::array<std::uint8_t, 10>;
CORVALIS_PLATFORM_API VendorRequestBytes makeVendorRequest(std::uint8_t request,
                                                           std::uint16_t value,
                                                           std::uint16_t index);

// An open camera: its control interface and its first bulk IN endpoint ("PIPE00").
class CORVALIS_PLATFORM_API Device {
  public:
    virtual ~Device();
    // Sends the request as a host-to-device vendor control transfer carrying the 10
    // bytes. 1 on success, 0 when the transfer failed, -1 when the device is closed.
    virtual int vendorRequest(const VendorRequestBytes& request) = 0;
    // One bulk read of `length` bytes (a multiple of 512) into `buffer`. Waits as long
    // as the camera takes (an exposure may last an hour) unless cancelled. Returns the
    // bytes read; 0 on any failure, on unplug, on cancel or when closed.
    virtual std::size_t bulkRead(std::uint8_t* buffer, std::size_t length) = 0;
    // Ends a bulk read waiting on another thread (it returns 0). Safe from any thread,
    // also when no read is waiting.
    virtual void cancelRead() = 0;
    // Closes the device; later calls fail as on a closed device.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual const DeviceInfo& info() const = 0;
};

// Opens the first device (in listDevices() order) with this vendor and product, and
// finds its first bulk IN endpoint. Prints "Attempting to open %s\n" and
// "%s Opened successfully\n" / "FAILED to open %s\n" to standard output.
// Null when no such device opens.
CORVALIS_PLATFORM_API std::unique_ptr<Device> openDevice(std::uint16_t vendor,
                                                         std::uint16_t product);

// Hot-plug: arrival and removal with vendor and product. Callbacks run on the
// platform's event thread and must only hand the event on (post), never block.
struct HotplugEvent {
    bool arrived = false;
    DeviceInfo device;
};
using HotplugCallback = std::function<void(const HotplugEvent&)>;
// Returns a handle for unregisterHotplug; 0 when hot-plug is not available.
CORVALIS_PLATFORM_API int registerHotplug(HotplugCallback callback);
CORVALIS_PLATFORM_API void unregisterHotplug(int handle);

}  // namespace corvalis::platform::usb
