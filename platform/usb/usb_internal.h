#pragma once
#include "platform/usb.h"

// What the USB layer shares with its backends beyond backend.h.
namespace corvalis::platform::usb {

// Detection order: bus number, then port path depth first (a hub's ports before the
// next port of its parent).
bool listOrder(const DeviceInfo& a, const DeviceInfo& b);

}  // namespace corvalis::platform::usb
