#pragma once
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "platform/sim.h"
#include "platform/usb.h"
#include "star_field.h"

// The first-family camera at the wire level: it takes vendor requests in their
// 10-byte form, keeps the settings they carry, times exposure and read-out from the
// row time, and answers a bulk read with the header and the interlaced raw frame of
// the star field. The USB handles of sim_backend.cpp sit on top of it.
namespace corvalis::platform::sim {

class SimCamera final : public Camera {
  public:
    explicit SimCamera(const StarField& scene);

    // Wire side. vendorRequest: 1 done, 0 malformed request, -1 unplugged.
    int vendorRequest(const usb::VendorRequestBytes& request);
    // Returns the bytes placed in `buffer`; 0 on cancel, 0xBB, unplug, or when
    // `closed` becomes true (the handle closed; call wake() after setting it).
    std::size_t bulkRead(std::uint8_t* buffer, std::size_t length, const std::atomic<bool>& closed);
    void cancelReads();
    void wake();
    // The device is gone: reads end, requests fail from now on. For good.
    void markUnplugged();
    // Called (without the camera's lock) when an injected fault unplugs the camera.
    void setUnplugHook(std::function<void()> hook);

    // The sensor's fixed read-out facts for the full and the half (mode 1) read-out.
    static constexpr int kRawWidth = 3032;
    static constexpr int kFullRawHeight = 2180;
    static constexpr int kHalfRawHeight = 1090;
    static constexpr int kHalfFieldBStart = 588;
    static constexpr int kHalfFieldPairs = 500;
    static constexpr int kHalfWindowY = 544;  // even, so the filter phase is kept
    static constexpr std::size_t kHeaderBytes = 512;
    static double rowTimeMicros(int speed, bool halfReadout);
    static int rowsPerHighStep(bool halfReadout) { return halfReadout ? 651 : 1155; }

    // Camera
    CameraSettings settings() const override;
    std::vector<usb::VendorRequestBytes> requests() const override;
    void clearRequests() override;
    void injectFault(Fault fault) override;
    void clearFaults() override;
    long exposureRows() const override;
    double rowMicros() const override;
    double exposureMicros() const override;
    double readoutMicros() const override;
    FrameInfo lastStarted() const override;
    FrameInfo lastDelivered() const override;
    std::vector<std::uint16_t> expectedPicture(const FrameInfo& frame) const override;
    int waitingReads() const override;
    int stalledReads() const override;
    bool plugged() const override;

  private:
    struct Frame {
        FrameInfo info;
        std::int64_t start = 0;  // device time of its 0xB3 (clock::deviceMicros)
    };

    FrameInfo frameFromSettings(std::uint64_t index) const;  // under the lock
    void pack(const FrameInfo& frame, std::uint8_t* out) const;

    const StarField& scene_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    CameraSettings settings_;
    std::vector<usb::VendorRequestBytes> requests_;
    std::deque<Fault> faults_;
    std::optional<Frame> current_;  // started, not yet delivered
    FrameInfo lastStarted_, lastDelivered_;
    std::uint64_t frames_ = 0;     // 0xB3 received
    std::uint64_t abandoned_ = 0;  // 0xBB received
    std::uint64_t cancels_ = 0;
    int waiting_ = 0;
    int stalled_ = 0;
    bool plugged_ = true;
    std::function<void()> unplugHook_;
};

}  // namespace corvalis::platform::sim
