#pragma once
#include <memory>

#include "backend.h"
#include "platform/usb.h"

// Real USB devices through libusb. One libusb context and one event thread serve the
// whole process: they complete the asynchronous transfers (so a waiting bulk read can
// be cancelled from another thread or end on unplug) and call the hot-plug callbacks.
// Without USB support on the machine the backend lists nothing and opens nothing.
namespace corvalis::platform::usb {

std::unique_ptr<Backend> makeLibusbBackend();

// Arrivals and removals of any USB device, delivered on the event thread (callbacks
// only post). Returns a handle above 0, or 0 when libusb offers no hot-plug here.
// Once unregister returns, the callback is not running and will not run again,
// unless the callback unregisters itself, which is allowed.
int registerLibusbHotplug(HotplugCallback callback);
void unregisterLibusbHotplug(int handle);

}  // namespace corvalis::platform::usb
