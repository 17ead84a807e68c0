#pragma once
#include <memory>
#include <mutex>
#include <vector>

#include "backend.h"
#include "sim_camera.h"

// The simulated devices as a backend: a list of plugged devices, some of them
// simulated cameras, that tests can plug and unplug (with hot-plug events).
namespace corvalis::platform::usb {

class SimBackend final : public Backend {
  public:
    // The process's simulated devices; starts with the default device of
    // CORVALIS_CAMERA plugged.
    static SimBackend& instance();

    std::vector<DeviceInfo> list() override;
    std::unique_ptr<Device> open(const DeviceInfo& device) override;

    int plug(const DeviceInfo& where, bool withCamera);
    bool unplug(int handle);
    std::shared_ptr<sim::SimCamera> cameraOf(int handle);
    std::shared_ptr<sim::SimCamera> firstCamera();
    std::vector<int> handles();
    int reset();

  private:
    SimBackend();
    int plugLocked(const DeviceInfo& where, bool withCamera);

    struct Entry {
        int handle;
        DeviceInfo info;
        std::shared_ptr<sim::SimCamera> camera;  // null: listed only
    };
    std::mutex mutex_;
    std::vector<Entry> entries_;
    int nextHandle_ = 1;
};

}  // namespace corvalis::platform::usb
