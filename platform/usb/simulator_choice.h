#pragma once

// Which simulated devices CORVALIS_CAMERA asks for. The backend choice, the simulated
// backend's default device and the hot-plug route all follow it.
namespace corvalis::platform::usb {

// What CORVALIS_CAMERA asks for: "simulator", "simulator-nimbus", or real devices.
enum class Simulator { None, FirstFamily, SecondFamily };
Simulator simulatorFromEnvironment();

}  // namespace corvalis::platform::usb
