#pragma once
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "platform/usb.h"

// The simulated devices' hot-plug callbacks and the one event thread that calls them
// (libusb has its own event thread for real devices).
namespace corvalis::platform::usb {

class SimHotplugHub {
  public:
    static SimHotplugHub& instance();

    // Returns the handle for remove; starts the event thread on first use.
    int add(HotplugCallback callback);
    // After it returns the callback no longer runs, unless this is that callback
    // unregistering itself.
    void remove(int handle);
    // Hands an arrival or removal to the event thread, which calls every registered
    // callback. Never blocks on a callback; safe from any thread, also while the
    // caller holds its own locks.
    void post(const HotplugEvent& event);

  private:
    SimHotplugHub() = default;
    void run();

    std::mutex mutex_;
    std::condition_variable pending_, idle_;
    std::map<int, HotplugCallback> callbacks_;
    std::deque<HotplugEvent> queue_;
    int nextHandle_ = 1;
    int delivering_ = 0;
    bool started_ = false;
    std::thread::id worker_;
};

}  // namespace corvalis::platform::usb
