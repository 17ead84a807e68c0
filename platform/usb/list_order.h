#pragma once
#include "platform/usb.h"

// The order listDevices() gives, which the simulated backend also uses to find the
// camera openDevice() would open.
namespace corvalis::platform::usb {

// Detection order: bus number, then port path depth first (a hub's ports before the
// next port of its parent).
bool listOrder(const DeviceInfo& a, const DeviceInfo& b);

}  // namespace corvalis::platform::usb
