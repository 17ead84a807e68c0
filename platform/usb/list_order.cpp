#include "list_order.h"

namespace corvalis::platform::usb {

bool listOrder(const DeviceInfo& a, const DeviceInfo& b) {
    if (a.bus != b.bus) return a.bus < b.bus;
    // Lexicographic port paths are depth-first order: 1 < 1.1 < 1.4 < 2.
    if (a.portPath != b.portPath) return a.portPath < b.portPath;
    if (a.vendor != b.vendor) return a.vendor < b.vendor;
    return a.product < b.product;
}

}  // namespace corvalis::platform::usb
