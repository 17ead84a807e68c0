#pragma once
#include <array>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "frame_buffer.h"
#include "frame_reader.h"
#include "kd_window.h"
#include "sensor_device.h"
#include "sensor_state.h"

namespace ostra {

// Live streaming: a reader thread reads frames into the capture buffer and hands each
// one over through the exchange buffer; a decoder thread takes the newest frame,
// decodes it, hands the picture to the display window and posts one message per frame
// to the notify window. Frames change hands by swapping buffer descriptors, never by
// copying, and a frame the decoder had no time for is simply replaced by the next.
//
// Life: stopped -> play() starts both threads -> streaming <-> paused (pause(), play())
// -> stop() ends the threads -> stopped. The buffers are allocated at the first play()
// and kept until destruction.
//
// play(), pause() and stop() may be called from any of the caller's threads; never from
// the window callbacks, which run on the decoder thread.
class FrameStream {
  public:
    enum State : std::uint8_t { kStreaming = 0, kPaused = 1, kStopped = 2 };
    static constexpr unsigned kDefaultVideoMessage = 1024 + 101;

    // Either window may be null.
    FrameStream(SensorDevice& device, FrameReader& reader, std::mutex& decodeLock,
                KdWindow* display, KdWindow* notify);
    ~FrameStream();
    FrameStream(const FrameStream&) = delete;
    FrameStream& operator=(const FrameStream&) = delete;

    // OSTRA_DONE started or resumed, OSTRA_NOTHING_DONE already streaming,
    // OSTRA_OUT_OF_MEMORY the buffers or threads could not be had (nothing started).
    int play();
    // OSTRA_DONE. Pausing a stopped stream leaves it stopped, so the next play() starts it.
    int pause();
    // OSTRA_DONE stopped, OSTRA_NOTHING_DONE already stopped. Returns also when the camera is gone
    // or a read never ends on its own.
    int stop();

    void setVideoMessage(unsigned message) { videoMessage_ = message; }
    void setDisplayEnabled(int on) { displayEnabled_ = on; }
    unsigned videoMessage() const { return videoMessage_; }
    int displayEnabled() const { return displayEnabled_; }
    int state() const { return state_; }

    // The hand-off between the threads: when `publish` is set or an unread frame waits,
    // swaps `slot` with the exchange buffer and returns 1, else returns 0; an unread
    // frame waits afterwards exactly when `publish` was set.
    int exchange(FrameBuffer& slot, bool publish);

  private:
    bool allocate();
    void readLoop();
    void decodeLoop();
    void show();
    void endReader();

    SensorDevice& device_;
    FrameReader& frames_;
    std::mutex& decodeLock_;
    KdWindow* display_;
    KdWindow* notify_;

    // Serialises play, pause and stop; the threads never take it.
    std::mutex controlLock_;

    std::array<std::vector<std::uint8_t>, 3> rawStorage_;
    std::vector<std::uint8_t> pictureStorage_;
    FrameBuffer capture_;   // reader thread only
    FrameBuffer decode_;    // decoder thread only
    FrameBuffer picture_;   // decoder thread only
    FrameBuffer exchange_;  // under exchangeLock_
    std::mutex exchangeLock_;

    RelaxedAtomic<int> newFrame_{0};
    RelaxedAtomic<std::uint8_t> state_{kStopped};
    RelaxedAtomic<int> displayEnabled_{1};
    RelaxedAtomic<unsigned> videoMessage_{kDefaultVideoMessage};
    RelaxedAtomic<bool> readerDone_{true};

    std::thread readerThread_;
    std::thread decoderThread_;
};

}  // namespace ostra
