#include "sim_hotplug_hub.h"

#include <vector>

namespace corvalis::platform::usb {

SimHotplugHub& SimHotplugHub::instance() {
    static SimHotplugHub* hub = new SimHotplugHub;  // never destroyed, like its thread
    return *hub;
}

int SimHotplugHub::add(HotplugCallback callback) {
    std::lock_guard lock(mutex_);
    if (!started_) {
        started_ = true;
        std::thread(&SimHotplugHub::run, this).detach();
    }
    int handle = nextHandle_++;
    callbacks_.emplace(handle, std::move(callback));
    return handle;
}

void SimHotplugHub::remove(int handle) {
    std::unique_lock lock(mutex_);
    callbacks_.erase(handle);
    // After unregistering, the callback no longer runs: wait for a call in
    // progress, unless this is that call unregistering itself.
    if (std::this_thread::get_id() != worker_) {
        idle_.wait(lock, [&] { return delivering_ != handle; });
    }
}

void SimHotplugHub::post(const HotplugEvent& event) {
    std::lock_guard lock(mutex_);
    if (callbacks_.empty()) return;  // nobody listens; a later listener gets no stale events
    queue_.push_back(event);
    pending_.notify_one();
}

void SimHotplugHub::run() {
    std::unique_lock lock(mutex_);
    worker_ = std::this_thread::get_id();
    for (;;) {
        pending_.wait(lock, [&] { return !queue_.empty(); });
        HotplugEvent event = std::move(queue_.front());
        queue_.pop_front();
        std::vector<int> handles;
        for (const auto& [handle, callback] : callbacks_) handles.push_back(handle);
        for (int handle : handles) {
            auto it = callbacks_.find(handle);
            if (it == callbacks_.end()) continue;
            HotplugCallback callback = it->second;
            delivering_ = handle;
            lock.unlock();
            callback(event);
            lock.lock();
            delivering_ = 0;
            idle_.notify_all();
        }
    }
}

}  // namespace corvalis::platform::usb
