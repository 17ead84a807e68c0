#pragma once
#include <memory>
#include <vector>

#include "platform/usb.h"

// What the USB layer needs of a backend. usb.cpp picks the backend from
// CORVALIS_CAMERA (simulated devices) or uses libusb (real devices).
namespace corvalis::platform::usb {

class Backend {
  public:
    virtual ~Backend() = default;
    // Present devices, in any order (the caller sorts them).
    virtual std::vector<DeviceInfo> list() = 0;
    // Opens this device and finds its first bulk IN endpoint; null on failure.
    virtual std::unique_ptr<Device> open(const DeviceInfo& device) = 0;
};

}  // namespace corvalis::platform::usb
