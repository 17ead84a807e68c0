#pragma once
#include <string>
#include <string_view>

#include "vantelo.h"

class QObject;

// Watches USB arrivals and removals for the main frame. Each event's device path
// ("...Vid_0547&Pid_d002...") is parsed for its vendor and product, mapped through the
// model table and posted to the main frame: 1237 on arrival, 1238 on removal, with
// the model number as wParam.
class HotplugWatcher {
  public:
    // The device-change events that are handled; others are ignored.
    static constexpr unsigned kDeviceArrival = 0x8000;
    static constexpr unsigned kDeviceRemoveComplete = 0x8004;
    static constexpr unsigned kDeviceRemovePending = 0x8003;
    // Device type of an event that carries a device path.
    static constexpr int kDeviceInterface = 5;

    HotplugWatcher() = default;
    virtual ~HotplugWatcher();
    HotplugWatcher(const HotplugWatcher&) = delete;
    HotplugWatcher& operator=(const HotplugWatcher&) = delete;

    // Starts the notifications for `mainFrame`. Shows "Register Camera Listen make a
    // error, Register Fail!" and stays without notifications when hot-plug is not
    // available. Callbacks arrive on the platform's event thread and only post.
    bool registerFor(QObject* mainFrame);
    // Stops them; no callback runs once this returns.
    void unregister();
    bool registered() const { return handle_ != 0; }

    // One device change: posts the model number for an arrival or a removal of a
    // device-interface event. Always 0, as the window message returns it.
    int deviceChange(unsigned event, int deviceType, std::string_view devicePath);

  private:
    int handle_ = 0;
    QObject* mainFrame_ = nullptr;
};

// The model table's number for the first family's camera, the one model whose removal
// closes a running camera.
inline constexpr int kOstraCameraModel = KD_FAMILY_OSTRA;
// A device the model table does not know.
inline constexpr int kUnknownModel = -1;

// The four characters after "Vid_" and after "Pid_" (case-sensitive markers). A
// missing marker counts as found at position -1, which takes the text from the path's
// fourth character.
struct DeviceIds {
    std::string vendor;
    std::string product;
};
DeviceIds deviceIdsFromPath(std::string_view devicePath);

// The model number of a product and vendor id text (case-insensitive hexadecimal),
// kUnknownModel for a device the table does not know.
int cameraModelNumber(std::string_view productId, std::string_view vendorId);
