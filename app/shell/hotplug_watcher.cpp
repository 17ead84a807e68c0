#include "shell/hotplug_watcher.h"

#include <QMessageBox>

#include "platform/usb.h"
#include "ui/message_box.h"
#include "ui/messages.h"

namespace {

struct ModelEntry {
    const char* product;
    const char* vendor;
    int model;
};

// Searched top down, first match wins; the order matters where a product id repeats.
constexpr ModelEntry kModels[] = {
    {"5911", "0547", 1},  {"4D88", "0547", 2},  {"4D35", "0547", 3},  {"4D33", "0546", 4},
    {"4D33", "0547", 4},  {"E014", "0547", 6},  {"E013", "0547", 5},  {"2750", "EB1A", 7},
    {"6131", "0547", 8},  {"4454", "0547", 9},  {"3002", "04B4", 11}, {"3001", "04B4", 10},
    {"5943", "0547", 12}, {"45B1", "0547", 23}, {"9310", "0547", 14}, {"D002", "0547", 21},
    {"2468", "093A", 0},
};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// The text after `marker`, or from position 3 when there is none, cut to 4 characters.
std::string idAfter(std::string_view path, std::string_view marker) {
    const std::size_t found = path.find(marker);
    const std::size_t start = found == std::string_view::npos ? 3 : found + marker.size();
    if (start >= path.size()) return {};
    return std::string(path.substr(start, 4));
}

}  // namespace

DeviceIds deviceIdsFromPath(std::string_view devicePath) {
    return DeviceIds{idAfter(devicePath, "Vid_"), idAfter(devicePath, "Pid_")};
}

int cameraModelNumber(std::string_view productId, std::string_view vendorId) {
    for (const ModelEntry& entry : kModels) {
        if (equalsIgnoringCase(productId, entry.product) &&
            equalsIgnoringCase(vendorId, entry.vendor)) {
            return entry.model;
        }
    }
    return kUnknownModel;
}

HotplugWatcher::~HotplugWatcher() {
    unregister();
}

bool HotplugWatcher::registerFor(QObject* mainFrame) {
    unregister();
    mainFrame_ = mainFrame;
    handle_ = corvalis::platform::usb::registerHotplug(
        [this](const corvalis::platform::usb::HotplugEvent& event) {
            deviceChange(event.arrived ? kDeviceArrival : kDeviceRemoveComplete, kDeviceInterface,
                         event.device.devicePath());
        });
    if (handle_ == 0) {
        showMessageBox(nullptr, "Register Camera Listen make a error, Register Fail!", QString(),
                       QMessageBox::NoIcon);
        return false;
    }
    return true;
}

void HotplugWatcher::unregister() {
    if (handle_ == 0) return;
    corvalis::platform::usb::unregisterHotplug(handle_);
    handle_ = 0;
}

int HotplugWatcher::deviceChange(unsigned event, int deviceType, std::string_view devicePath) {
    if (event != kDeviceArrival && event != kDeviceRemoveComplete) return 0;
    if (deviceType != kDeviceInterface) return 0;
    const DeviceIds ids = deviceIdsFromPath(devicePath);
    const int model = cameraModelNumber(ids.product, ids.vendor);
    const unsigned message =
        event == kDeviceRemoveComplete ? msg::CameraRemoved : msg::CameraArrived;
    postMessage(mainFrame_, message, static_cast<quintptr>(static_cast<qintptr>(model)), 0);
    return 0;
}
