#include "read_watchdog.h"

#include <utility>

namespace ostra {

ReadWatchdog::ReadWatchdog(std::function<void()> cancel) : cancel_(std::move(cancel)) {}

ReadWatchdog::~ReadWatchdog() {
    {
        std::lock_guard lock(watchLock_);
        ending_ = true;
        changed_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
}

void ReadWatchdog::arm(Clock::duration limit) {
    std::lock_guard lock(watchLock_);
    if (!thread_.joinable()) thread_ = std::thread(&ReadWatchdog::run, this);
    deadline_ = Clock::now() + limit;
    fired_ = false;
    changed_.notify_all();
}

void ReadWatchdog::disarm() {
    std::lock_guard lock(watchLock_);
    deadline_.reset();
    changed_.notify_all();
}

std::uint64_t ReadWatchdog::expired() const {
    std::lock_guard lock(watchLock_);
    return expired_;
}

void ReadWatchdog::run() {
    std::unique_lock lock(watchLock_);
    while (!ending_) {
        if (!deadline_) {
            changed_.wait(lock);
            continue;
        }
        const Clock::time_point deadline = *deadline_;
        if (changed_.wait_until(lock, deadline, [&] { return ending_ || deadline_ != deadline; }))
            continue;
        // The read has waited too long. The cancel runs under the lock, so disarm()
        // cannot return while it reaches into the device.
        if (!fired_) ++expired_;
        fired_ = true;
        cancel_();
        deadline_ = Clock::now() + kRecancel;
    }
}

}  // namespace ostra
