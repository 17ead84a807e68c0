#include <algorithm>
#include <cstdio>

#include "backend.h"
#include "libusb_backend.h"
#include "list_order.h"
#include "platform/usb.h"
#include "sim_backend.h"
#include "sim_hotplug_hub.h"
#include "simulator_choice.h"

namespace corvalis::platform::usb {

namespace {

Backend& backend() {
    // Chosen once per process; neither backend is destroyed, since handles and the
    // event thread may still use it during static destruction.
    static Backend* const chosen = []() -> Backend* {
        if (simulatorFromEnvironment() != Simulator::None) return &SimBackend::instance();
        return makeLibusbBackend().release();
    }();
    return *chosen;
}

}  // namespace

std::string DeviceInfo::devicePath() const {
    std::string ports;
    for (std::size_t i = 0; i < portPath.size(); ++i) {
        if (i > 0) ports += '.';
        ports += std::to_string(portPath[i]);
    }
    if (ports.empty()) ports.push_back('0');
    char path[160];
    std::snprintf(path, sizeof path,
                  "\\\\?\\usb#Vid_%04X&Pid_%04X#%u-%s#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
                  vendor, product, static_cast<unsigned>(bus), ports.c_str());
    return path;
}

std::vector<DeviceInfo> listDevices() {
    std::vector<DeviceInfo> devices = backend().list();
    std::stable_sort(devices.begin(), devices.end(), listOrder);
    return devices;
}

VendorRequestBytes makeVendorRequest(std::uint8_t request, std::uint16_t value,
                                     std::uint16_t index) {
    return VendorRequestBytes{0,
                              2,
                              0,
                              0,
                              request,
                              0,
                              static_cast<std::uint8_t>(value & 0xFF),
                              static_cast<std::uint8_t>(value >> 8),
                              static_cast<std::uint8_t>(index & 0xFF),
                              static_cast<std::uint8_t>(index >> 8)};
}

Device::~Device() = default;

std::unique_ptr<Device> openDevice(std::uint16_t vendor, std::uint16_t product) {
    for (const DeviceInfo& d : listDevices()) {
        if (d.vendor != vendor || d.product != product) continue;
        const std::string path = d.devicePath();
        std::printf("Attempting to open %s\n", path.c_str());
        std::fflush(stdout);
        std::unique_ptr<Device> device = backend().open(d);
        if (device) {
            std::printf("%s Opened successfully\n", path.c_str());
            std::fflush(stdout);
            return device;
        }
        std::printf("FAILED to open %s\n", path.c_str());
        std::fflush(stdout);
    }
    return nullptr;
}

// The backend is fixed per process, so one handle space at a time is in use.
int registerHotplug(HotplugCallback callback) {
    if (!callback) return 0;
    if (simulatorFromEnvironment() == Simulator::None)
        return registerLibusbHotplug(std::move(callback));
    return SimHotplugHub::instance().add(std::move(callback));
}

void unregisterHotplug(int handle) {
    if (handle <= 0) return;
    if (simulatorFromEnvironment() == Simulator::None)
        unregisterLibusbHotplug(handle);
    else
        SimHotplugHub::instance().remove(handle);
}

}  // namespace corvalis::platform::usb
