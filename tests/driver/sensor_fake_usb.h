#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/usb.h"

namespace sensor_test {

namespace usb = corvalis::platform::usb;

// What the camera received on the control interface, plus the busy flag as it stood
// when the request went out.
struct Sent {
    usb::VendorRequestBytes bytes{};
    bool busyWhenSent = false;
};

// A stand-in camera that records every request in its wire form and holds a bulk read
// until it is cancelled or fed.
class FakeCamera : public usb::Device {
  public:
    explicit FakeCamera(const std::atomic<std::uint8_t>* busy = nullptr) : busy_(busy) {
        info_.vendor = 0x0547;
        info_.product = 0xD002;
        info_.bus = 1;
        info_.portPath = {1};
    }

    int vendorRequest(const usb::VendorRequestBytes& request) override {
        std::lock_guard lock(mutex_);
        if (!open_) return -1;
        sent_.push_back({request, busy_ != nullptr && busy_->load(std::memory_order_relaxed) != 0});
        return 1;
    }

    std::size_t bulkRead(std::uint8_t* buffer, std::size_t length) override {
        std::unique_lock lock(mutex_);
        readLengths_.push_back(length);
        waiting_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return cancelled_ || !feed_.empty() || !open_; });
        waiting_ = false;
        if (cancelled_ || !open_) {
            cancelled_ = false;
            return 0;
        }
        std::size_t n = feed_.size() < length ? feed_.size() : length;
        for (std::size_t i = 0; i < n; ++i) buffer[i] = feed_[i];
        feed_.clear();
        return n;
    }

    void cancelRead() override {
        std::lock_guard lock(mutex_);
        if (waiting_) cancelled_ = true;
        changed_.notify_all();
    }

    void close() override {
        std::lock_guard lock(mutex_);
        open_ = false;
        changed_.notify_all();
    }
    bool isOpen() const override {
        std::lock_guard lock(mutex_);
        return open_;
    }
    const usb::DeviceInfo& info() const override { return info_; }

    // Test side.
    void feed(std::vector<std::uint8_t> bytes) {
        std::lock_guard lock(mutex_);
        feed_ = std::move(bytes);
        changed_.notify_all();
    }
    void waitUntilReading() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return waiting_; });
    }
    std::vector<Sent> sent() const {
        std::lock_guard lock(mutex_);
        return sent_;
    }
    std::vector<std::size_t> readLengths() const {
        std::lock_guard lock(mutex_);
        return readLengths_;
    }

  private:
    const std::atomic<std::uint8_t>* busy_;
    usb::DeviceInfo info_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = true;
    bool waiting_ = false;
    bool cancelled_ = false;
    std::vector<std::uint8_t> feed_;
    std::vector<Sent> sent_;
    std::vector<std::size_t> readLengths_;
};

}  // namespace sensor_test
