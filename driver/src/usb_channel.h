#pragma once
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform/usb.h"
#include "read_watchdog.h"

namespace ostra {

// One vendor request of the sensor's protocol.
struct VendorRequest {
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
};

// The camera's USB device: its control interface for vendor requests and its bulk
// pipe for frames. Closed until Open succeeds. Open, Close and adopt belong to the
// owner's thread and never run while a read is waiting; a read may be cancelled
// from any thread.
class UsbChannel {
  public:
    static constexpr std::uint16_t kVendor = 0x0547;
    static constexpr std::uint16_t kProduct = 0xD002;
    static constexpr std::size_t kBlockSize = 512;

    UsbChannel() = default;
    ~UsbChannel();
    UsbChannel(const UsbChannel&) = delete;
    UsbChannel& operator=(const UsbChannel&) = delete;

    // Opens the first camera that opens. True when open (also when it already was).
    bool open();
    // Uses a device that is already open (a camera found another way, or a test's
    // stand-in); any device held before is closed.
    void adopt(std::unique_ptr<corvalis::platform::usb::Device> device);
    bool isOpen() const;
    // The device path of the open camera; empty when closed. Any length: the path
    // lives in a string, not in a fixed buffer.
    const std::string& devicePath() const { return devicePath_; }

    // Bytes one Read of `length` asks the camera for: one block more than the whole
    // blocks in `length`.
    static std::size_t requestSize(std::size_t length) {
        return (length / kBlockSize + 1) * kBlockSize;
    }

    // One bulk read of requestSize(length) bytes into `buffer`. Returns the bytes
    // read; 0 when closed, on failure, on cancel, when it waited longer than `limit`
    // (real time), or when `buffer` is smaller than the request (nothing is read then).
    std::size_t read(std::span<std::uint8_t> buffer, std::size_t length,
                     std::optional<std::chrono::microseconds> limit = std::nullopt);
    // Ends a read waiting on another thread (it returns 0).
    void cancelRead();
    // Reads ended because they waited longer than their limit.
    std::uint64_t readsTimedOut() const { return watchdog_.expired(); }

    // 1 when sent, 0 when the transfer failed, -1 when closed (nothing is sent).
    int vendorRequest(const VendorRequest& request);
    // Requests that did not reach the camera, since the channel was made.
    std::uint64_t failedRequests() const { return failedRequests_; }

    void close();

  private:
    std::unique_ptr<corvalis::platform::usb::Device> device_;
    std::string devicePath_;
    std::atomic<std::uint64_t> failedRequests_{0};
    ReadWatchdog watchdog_{[this] { cancelRead(); }};
};

}  // namespace ostra
