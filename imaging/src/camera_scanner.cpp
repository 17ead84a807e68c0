#include "camera_scanner.h"

#include <cstdint>

namespace vantelo {
namespace {

constexpr std::uint16_t kCameraVendor = 0x0547;
constexpr std::uint16_t kOstraProduct = 0xD002;
constexpr std::uint16_t kNimbusProduct = 0xA004;

}  // namespace

void CameraScanner::scan() {
    scan(corvalis::platform::usb::listDevices());
}

void CameraScanner::scan(const std::vector<corvalis::platform::usb::DeviceInfo>& devices) {
    for (const auto& device : devices) {
        if (device.vendor != kCameraVendor) continue;
        if (device.product == kOstraProduct) {
            type_ = KD_FAMILY_OSTRA;
        } else if (device.product == kNimbusProduct) {
            type_ = KD_FAMILY_NIMBUS;
        } else {
            continue;
        }
        found_ = true;
        return;
    }
}

}  // namespace vantelo
