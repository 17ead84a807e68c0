#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace ostra {

// Bounds how long a bulk read may wait: armed with a limit when a read starts, it calls
// `cancel` once the limit has passed and again every kRecancel until it is disarmed
// (a cancel reaches only a read already waiting). Its thread starts with the first arm.
class ReadWatchdog {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kRecancel{10};

    explicit ReadWatchdog(std::function<void()> cancel);
    ~ReadWatchdog();
    ReadWatchdog(const ReadWatchdog&) = delete;
    ReadWatchdog& operator=(const ReadWatchdog&) = delete;

    void arm(Clock::duration limit);
    // Returns only when no cancel is running, so the caller may then close the device.
    void disarm();
    // Reads this watchdog has ended because they waited too long.
    std::uint64_t expired() const;

  private:
    void run();

    std::function<void()> cancel_;
    mutable std::mutex watchLock_;  // the deadline, the count and the cancel calls
    std::condition_variable changed_;
    std::optional<Clock::time_point> deadline_;
    std::uint64_t expired_ = 0;
    bool fired_ = false;  // the armed read has been cancelled
    bool ending_ = false;
    std::thread thread_;
};

}  // namespace ostra
