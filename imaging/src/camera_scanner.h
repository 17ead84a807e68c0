#pragma once
#include <vector>

#include "platform/usb.h"
#include "vantelo.h"

// One detection run over the USB device list: the first camera of either family, in
// the list's order (bus, then port path depth first through hubs), decides.
namespace vantelo {

class CameraScanner {
  public:
    // Walks the platform's device list.
    void scan();
    // Walks `devices` in the order given.
    void scan(const std::vector<corvalis::platform::usb::DeviceInfo>& devices);

    bool found() const { return found_; }
    int type() const { return type_; }

  private:
    bool found_ = false;
    int type_ = KD_FAMILY_NONE;
};

}  // namespace vantelo
