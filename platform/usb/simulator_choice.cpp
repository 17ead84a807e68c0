#include "simulator_choice.h"

#include <cstdlib>
#include <string_view>

namespace corvalis::platform::usb {

Simulator simulatorFromEnvironment() {
    // Read once: the backend, its devices and the hot-plug route must agree for the
    // whole process.
    static const Simulator kind = [] {
        const char* value = std::getenv("CORVALIS_CAMERA");
        if (value == nullptr) return Simulator::None;
        std::string_view v(value);
        if (v == "simulator") return Simulator::FirstFamily;
        if (v == "simulator-nimbus") return Simulator::SecondFamily;
        return Simulator::None;
    }();
    return kind;
}

}  // namespace corvalis::platform::usb
