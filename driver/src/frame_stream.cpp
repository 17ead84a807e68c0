#include "frame_stream.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <new>
#include <utility>

#include "frame_decode.h"
#include "platform/clock.h"

namespace ostra {

namespace clock = corvalis::platform::clock;

namespace {

constexpr std::uint32_t kPausedSleepMs = 10;
constexpr std::uint32_t kIdleSleepMs = 1;
constexpr std::uint32_t kStopSettleMs = 200;

// The 8-bit picture of the largest mode, so a mode change while streaming still fits.
std::size_t largestPictureBytes() {
    std::size_t most = 0;
    for (const ModeGeometry& g : modeTable())
        most = std::max(most, static_cast<std::size_t>(g.outputWidth) *
                                  static_cast<std::size_t>(g.outputHeight) * 3);
    return most;
}

bool alive(const KdWindow* window) {
    return window && window->alive && window->alive(window->context) != 0;
}

}  // namespace

FrameStream::FrameStream(SensorDevice& device, FrameReader& reader, std::mutex& decodeLock,
                         KdWindow* display, KdWindow* notify)
    : device_(device),
      frames_(reader),
      decodeLock_(decodeLock),
      display_(display),
      notify_(notify) {}

FrameStream::~FrameStream() {
    stop();
}

int FrameStream::play() {
    std::lock_guard control(controlLock_);
    if (state_ == kStreaming) return OSTRA_NOTHING_DONE;
    newFrame_ = 0;
    if (state_ == kPaused) {
        state_ = kStreaming;
        return OSTRA_DONE;
    }
    if (!allocate()) return OSTRA_OUT_OF_MEMORY;
    readerDone_ = false;
    state_ = kStreaming;
    try {
        readerThread_ = std::thread(&FrameStream::readLoop, this);
        decoderThread_ = std::thread(&FrameStream::decodeLoop, this);
    } catch (const std::exception&) {
        state_ = kStopped;
        if (readerThread_.joinable()) endReader();
        return OSTRA_OUT_OF_MEMORY;
    }
    return OSTRA_DONE;
}

int FrameStream::pause() {
    std::lock_guard control(controlLock_);
    // Without threads a paused state could never be left by play().
    if (state_ != kStopped) state_ = kPaused;
    return OSTRA_DONE;
}

int FrameStream::stop() {
    std::lock_guard control(controlLock_);
    if (state_ == kStopped) return OSTRA_NOTHING_DONE;
    state_ = kStopped;
    newFrame_ = 0;
    // A one-row exposure and a restart end a read that waits on a long exposure.
    const std::uint32_t rows = device_.exposureRows();
    device_.setExposureRows(1);
    device_.restart();
    decoderThread_.join();
    endReader();
    device_.setExposureRows(rows);
    clock::sleepMs(kStopSettleMs);
    return OSTRA_DONE;
}

void FrameStream::endReader() {
    // A read on a lost camera or a stalled pipe never ends by itself, and a cancel
    // reaches only a read already waiting, so cancel until the reader has left.
    while (!readerDone_) {
        frames_.cancel();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    readerThread_.join();
}

int FrameStream::exchange(FrameBuffer& slot, bool publish) {
    std::lock_guard lock(exchangeLock_);
    const bool swapped = publish || newFrame_ != 0;
    if (swapped) std::swap(slot, exchange_);
    newFrame_ = publish ? 1 : 0;
    return swapped ? 1 : 0;
}

bool FrameStream::allocate() {
    if (pictureStorage_.empty()) {
        try {
            for (auto& raw : rawStorage_) raw.assign(FrameReader::maxFrameBytes(), 0);
            pictureStorage_.assign(largestPictureBytes(), 0);
        } catch (const std::bad_alloc&) {
            for (auto& raw : rawStorage_) raw = {};
            pictureStorage_ = {};
            return false;
        }
    }
    capture_ = FrameBuffer{rawStorage_[0].data(), 1, 0};
    exchange_ = FrameBuffer{rawStorage_[1].data(), 1, 0};
    decode_ = FrameBuffer{rawStorage_[2].data(), 1, 0};
    picture_ = FrameBuffer{pictureStorage_.data(), 3, 0};
    return true;
}

void FrameStream::readLoop() {
    for (;;) {
        const int state = state_;
        if (state == kStopped) break;
        if (state == kPaused) {
            clock::sleepMs(kPausedSleepMs);
            continue;
        }
        int bytesPerSample = capture_.bytesPerSample;
        const int result = frames_.read(capture_.data, bytesPerSample);
        if (result == FrameReader::kDelivered) {
            capture_.bytesPerSample = bytesPerSample;
            capture_.valid = 1;
            exchange(capture_, true);
        } else if (result == FrameReader::kNoFrame) {
            // Nothing was read: a busy sensor or a lost camera answers at once, and
            // the loop would otherwise spin.
            clock::sleepMs(kIdleSleepMs);
        }
    }
    readerDone_ = true;
}

void FrameStream::decodeLoop() {
    for (;;) {
        const int state = state_;
        if (state == kStopped) break;
        if (state == kPaused) {
            clock::sleepMs(kPausedSleepMs);
            continue;
        }
        if (exchange(decode_, false))
            show();
        else
            clock::sleepMs(kIdleSleepMs);
    }
}

void FrameStream::show() {
    const FrameLayout layout = device_.frameLayout();
    // A picture that could not be made is neither shown nor announced.
    if (!decodeFrame(decodeLock_, device_.processor8(), device_.processor16(),
                     decode_.bytesPerSample, layout, decode_.data, picture_.data, true))
        return;
    if (displayEnabled_ != 0 && alive(display_) && display_->draw)
        display_->draw(display_->context, picture_.data, layout.outputWidth, layout.outputHeight);
    if (alive(notify_) && notify_->post) notify_->post(notify_->context, videoMessage_, 0, 0);
}

}  // namespace ostra
