#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "ostra.h"
#include "ostra_frame_info.h"
#include "sensor_device.h"

namespace ostra {

// Sanitized builds render the simulated camera's frames many times slower, so a read
// gets more room there before it counts as stalled.
#if defined(__SANITIZE_THREAD__)
inline constexpr int kReadMarginSeconds = 20;
#elif defined(__SANITIZE_ADDRESS__)
inline constexpr int kReadMarginSeconds = 10;
#else
inline constexpr int kReadMarginSeconds = 5;
#endif

// One frame read: start a frame, read it in one bulk transfer, check it and build the
// caller's frame (de-interlaced, cropped, binned). The read buffer is sized once for
// the largest read-out, so a read allocates nothing.
class FrameReader {
  public:
    // A read's results are the grab export's.
    static constexpr int kDelivered = OSTRA_DONE;
    static constexpr int kFailedCheck = OSTRA_NOTHING_DONE;
    static constexpr int kNoFrame = OSTRA_NO_FRAME;
    // A read of a long exposure is accepted even right after a data-width change.
    static constexpr std::uint32_t kDiscardExemptMs = 2000;
    // What a read may wait beyond the frame's exposure and read-out (real time): room
    // for the transfer. A camera that stays silent longer is taken for stalled.
    static constexpr std::chrono::seconds kReadMargin{kReadMarginSeconds};

    explicit FrameReader(SensorDevice& device);
    // False when the read buffer cannot be allocated.
    bool allocate();

    // Reads one frame into `target`, which holds at least maxFrameBytes(); writes the
    // bytes per sample of the frame. kDelivered, kFailedCheck (target not
    // written; a fresh frame is started), kNoFrame no frame (sensor busy, nothing read,
    // or discarded after a data-width change).
    int read(std::uint8_t* target, int& bytesPerSample);
    // The same, also writing what the delivered frame's exposure was (untouched for
    // any other result).
    int read(std::uint8_t* target, int& bytesPerSample, CorvalisOstraFrame& facts);

    // A grab: one read into `staging` (maxFrameBytes()), then the whole frame of the
    // current mode and data width (OstraIICameraGrabBytes) is copied to `destination`
    // whatever the read gave, so after a failed read the destination holds the previous
    // frame. A frame of another data width in staging is not copied: it would not fit
    // a destination sized for the current one. `stagingBytesPerSample` keeps the width
    // of the frame in staging. Returns the read's result.
    // `stagingFacts` travels with the frame in staging: it describes the frame copied.
    int grab(std::uint8_t* staging, int& stagingBytesPerSample, CorvalisOstraFrame& stagingFacts,
             std::uint8_t* destination);

    // Ends a read waiting on another thread.
    void cancel() { device_.channel().cancelRead(); }
    // Ends reading for good: later reads give kNoFrame at once. A read already waiting
    // is not ended by this; cancel() ends it.
    void close() { closed_ = true; }
    bool closed() const { return closed_; }

    // The longest the read of the frame now programmed may wait, in real time.
    std::chrono::microseconds readLimit() const;

    // The programmed exposure of the frame now set up, in seconds: exposure rows (no
    // more than the mode's longest exposure) x row time at the speed in force.
    double programmedExposureSeconds() const;

    // Room for the largest frame a read can deliver (mode 0, 16-bit).
    static std::size_t maxFrameBytes();

  private:
    SensorDevice& device_;
    std::vector<std::uint8_t> buffer_;
    RelaxedAtomic<bool> closed_{false};
    std::mutex readLock_;  // one read buffer: reads from several threads take turns
};

}  // namespace ostra
