#include "preview/preview_loop.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <new>
#include <system_error>

#include "kd_raw_frame.h"

namespace {

// The first family's resolution modes are 0 to 4.
constexpr int kLastOstraMode = 4;

// A zero-filled block, or null when it cannot be had.
std::unique_ptr<unsigned char[]> allocateZeroed(std::size_t bytes) {
    try {
        return std::make_unique<unsigned char[]>(bytes);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

bool FrameExchange::exchange(unsigned char*& mine, int value) {
    std::lock_guard<std::mutex> guard(lock_);
    bool swapped = false;
    if (value == 1 || ready_.load(std::memory_order_relaxed) == 1) {
        std::swap(mine, slot_);
        swapped = true;
    }
    ready_.store(value, std::memory_order_relaxed);
    return swapped;
}

void FrameExchange::setSlot(unsigned char* slot) {
    std::lock_guard<std::mutex> guard(lock_);
    slot_ = slot;
}

PreviewLoop::PreviewLoop(FrameContext& context, PreviewCalls calls, PreviewNotices notices)
    : context_(context),
      record_(context.record),
      calls_(std::move(calls)),
      notices_(std::move(notices)) {}

PreviewLoop::~PreviewLoop() {
    stop();
}

std::size_t PreviewLoop::rawFrameBytes(int cameraType, int mode, int width, int height) {
    if (width <= 0 || height <= 0) return 0;
    const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (pixels > std::numeric_limits<std::size_t>::max() / 6) return 0;
    // The first family's grab writes the whole raw read-out, which is not the picture
    // size; the data width may change while the preview runs, so room for 16 bits is
    // kept, and an unknown mode gets room for the largest.
    std::size_t grab = KdRawGrabBytes(cameraType, mode, 1, width, height);
    if (grab == 0 && cameraType == KD_FAMILY_OSTRA) {
        for (int m = 0; m <= kLastOstraMode; ++m)
            grab = std::max(grab, KdRawGrabBytes(cameraType, m, 1, width, height));
    }
    return std::max(pixels * 6, grab);
}

std::size_t PreviewLoop::rawFrameCopyBytes(int cameraType, int mode, int width, int height) {
    const std::size_t raw = rawFrameBytes(cameraType, mode, width, height);
    if (raw == 0) return 0;
    const std::size_t bytes = std::max(static_cast<std::size_t>(width) * height * 2,
                                       KdRawGrabBytes(cameraType, mode, 1, width, height));
    return std::min(bytes, raw);
}

void flipPictureRows(unsigned char* picture, std::size_t rowBytes, int rows,
                     unsigned char* rowScratch) {
    for (int top = 0, bottom = rows - 1; top < bottom; ++top, --bottom) {
        unsigned char* a = picture + rowBytes * top;
        unsigned char* b = picture + rowBytes * bottom;
        std::memcpy(rowScratch, a, rowBytes);
        std::memcpy(a, b, rowBytes);
        std::memcpy(b, rowScratch, rowBytes);
    }
}

int PreviewLoop::start() {
    if (runState() != Stopped) {
        exchange_.clearReady();  // drop the pending frame, nothing more
        return KD_NOTHING_DONE;
    }
    {
        std::lock_guard<std::mutex> guard(context_.displayLock);
        if (context_.runningPreview != nullptr) return KD_REFUSED;
    }
    int width = 0, height = 0;
    calls_.getImageSize(&record_, &width, &height);
    const int mode = record_.resolution_index & 0xFF;
    const std::size_t raw = rawFrameBytes(record_.camera_type, mode, width, height);
    if (raw == 0) return KD_NO_CAMERA;
    width_ = width;
    height_ = height;
    rawBytes_ = raw;
    copyBytes_ = rawFrameCopyBytes(record_.camera_type, mode, width, height);
    exchange_.clearReady();

    const std::size_t picture = static_cast<std::size_t>(width) * height * 6;
    // The second family's decode puts the raw frame's header before the pixels.
    pictureOffset_ = KdRawHeaderBytes(record_.camera_type);
    for (auto& frame : frames_) frame = allocateZeroed(raw);
    decoded_ = allocateZeroed(picture + pictureOffset_);
    cropBuffer_ = allocateZeroed(picture);
    flipRow_ = allocateZeroed(static_cast<std::size_t>(width) * 3);
    redisplayRaw_ = allocateZeroed(raw);
    auto copy = allocateZeroed(raw);
    const bool allocated = frames_[0] && frames_[1] && frames_[2] && decoded_ && cropBuffer_ &&
                           flipRow_ && redisplayRaw_ && copy;
    if (!allocated) {
        freeBuffers();
        return KD_OUT_OF_MEMORY;
    }
    {
        std::lock_guard<std::mutex> guard(context_.displayLock);
        context_.rawFrameCopy = std::move(copy);
        context_.rawFrameCopyBytes = raw;
        context_.runningPreview = this;
    }
    grabBuffer_ = frames_[0].get();
    exchange_.setSlot(frames_[1].get());
    workBuffer_ = frames_[2].get();

    runState_.store(Running, std::memory_order_relaxed);
    try {
        grab_ = std::thread(&PreviewLoop::grabThread, this);
        display_ = std::thread(&PreviewLoop::displayThread, this);
    } catch (const std::system_error&) {
        {
            std::lock_guard<std::mutex> guard(sleepLock_);
            runState_.store(Stopped, std::memory_order_relaxed);
        }
        stopRequested_.notify_all();
        if (grab_.joinable()) grab_.join();
        freeBuffers();
        return KD_OUT_OF_MEMORY;
    }
    return KD_DONE;
}

void PreviewLoop::shortenExposure(bool restartLongExposure) {
    calls_.readWrite(&record_, CAMCMD_EXPOSURE, 0);
    if (restartLongExposure) calls_.readWrite(&record_, CAMCMD_RESTART_LONG_EXP_0, 0);
}

void PreviewLoop::stop() {
    if (!grab_.joinable() && !display_.joinable()) return;  // already stopped
    const bool ostra = record_.camera_type != KD_FAMILY_NIMBUS;
    const std::uint32_t exposure = record_.exposure_ms;
    // Stopped first, so that the grab the shortened exposure ends is the last one: a
    // grab begun after it would wait on a silent camera until its own time limit.
    {
        std::lock_guard<std::mutex> guard(sleepLock_);
        runState_.store(Stopped, std::memory_order_relaxed);
    }
    stopRequested_.notify_all();
    // A grab blocked in a long exposure returns once the exposure is cut short.
    if (ostra) record_.exposure_ms = 1;
    shortenExposure(ostra);
    grab_.join();
    display_.join();
    if (ostra) {
        record_.exposure_ms = exposure;
        shortenExposure(true);
    }
    freeBuffers();
}

void PreviewLoop::freeBuffers() {
    grabBuffer_ = nullptr;
    workBuffer_ = nullptr;
    exchange_.setSlot(nullptr);
    for (auto& frame : frames_) frame.reset();
    decoded_.reset();
    cropBuffer_.reset();
    flipRow_.reset();
    redisplayRaw_.reset();
    std::lock_guard<std::mutex> guard(context_.displayLock);
    if (context_.runningPreview != this) return;  // the shared copy is another's
    context_.rawFrameCopy.reset();
    context_.rawFrameCopyBytes = 0;
    context_.runningPreview = nullptr;
}

void PreviewLoop::pause() {
    if (runState() == Stopped) return;  // nothing to pause; a later start must still work
    runState_.store(Paused, std::memory_order_relaxed);
    exchange_.clearReady();
    if (record_.camera_type == KD_FAMILY_NIMBUS) return;
    // Ends the exposure in progress so that no frame of the old settings arrives late.
    const std::uint32_t exposure = record_.exposure_ms;
    record_.exposure_ms = 1;
    calls_.readWrite(&record_, CAMCMD_EXPOSURE, 0);
    exchange_.clearReady();
    record_.exposure_ms = exposure;
    calls_.readWrite(&record_, CAMCMD_EXPOSURE, 0);
    exchange_.clearReady();
}

void PreviewLoop::resume() {
    if (runState() == Stopped) return;
    exchange_.clearReady();
    runState_.store(Running, std::memory_order_relaxed);
}

void PreviewLoop::sleepUnlessStopped(int ms) {
    std::unique_lock<std::mutex> lock(sleepLock_);
    stopRequested_.wait_for(lock, std::chrono::milliseconds(ms), [this] {
        return runState_.load(std::memory_order_relaxed) == Stopped;
    });
}

void PreviewLoop::grabThread() {
    while (runState() != Stopped) {
        if (runState() != Running) {
            sleepUnlessStopped(10);
            continue;
        }
        if (calls_.grabFrame(&record_, grabBuffer_) == KD_DONE) {
            exchange_.exchange(grabBuffer_, 1);  // drain the camera at its full rate
        } else {
            sleepUnlessStopped(10);  // nothing came (or the camera is gone): try again
        }
    }
}

bool PreviewLoop::decodeFlipCrop(const unsigned char* raw, int& cropWidth, int& cropHeight) {
    calls_.decode(&record_, raw, decoded_.get(), width_, height_, 1);
    unsigned char* picture = decoded_.get() + pictureOffset_;

    // The decode delivers rows bottom-up.
    flipPictureRows(picture, static_cast<std::size_t>(width_) * 3, height_, flipRow_.get());

    // The crop buffer holds a whole picture, so any crop inside the picture fits; the
    // imaging library reads the picture at the record's size, which must not exceed ours.
    const RECT crop{record_.crop_left, record_.crop_top, record_.crop_right, record_.crop_bottom};
    const bool inside = crop.left >= 0 && crop.top >= 0 && crop.right > crop.left &&
                        crop.bottom > crop.top && crop.right <= record_.image_width &&
                        crop.bottom <= record_.image_height && record_.image_width <= width_ &&
                        record_.image_height <= height_;
    if (!inside) return false;
    cropWidth = crop.right - crop.left;
    cropHeight = crop.bottom - crop.top;
    calls_.crop(&record_, picture, cropBuffer_.get());
    return true;
}

void PreviewLoop::displayThread() {
    while (runState() != Stopped) {
        if (runState() != Running) {
            sleepUnlessStopped(300);
            continue;
        }
        if (!exchange_.exchange(workBuffer_, 0)) {
            sleepUnlessStopped(10);
            continue;
        }
        std::lock_guard<std::mutex> guard(context_.displayLock);
        std::memcpy(context_.rawFrameCopy.get(), workBuffer_, copyBytes_);
        int cropWidth = 0, cropHeight = 0;
        if (!decodeFlipCrop(workBuffer_, cropWidth, cropHeight)) continue;
        if (context_.sharpenOn.load(std::memory_order_relaxed)) {
            const double strength = context_.sharpenStrength.load(std::memory_order_relaxed);
            sharpen_.apply(cropBuffer_.get(), cropWidth, cropHeight, strength, strength, 0);
        }
        calls_.copyToShowBuffer(&record_, cropBuffer_.get());
        if (runState() == Running) {
            context_.frameShown.store(1, std::memory_order_relaxed);
            idle_.store(0, std::memory_order_relaxed);
            if (notices_.frameShown) notices_.frameShown();
        }
    }
    idle_.store(1, std::memory_order_relaxed);
}

bool PreviewLoop::redisplay() {
    if (idle()) return false;
    bool draw = false;
    {
        std::lock_guard<std::mutex> guard(context_.displayLock);
        // The raw frame copy is the frame on screen. The work buffer is not used: the
        // display thread may be swapping it out at this moment, and it has been decoded
        // already. The copy is decoded through a scratch so that it stays untouched.
        std::memcpy(redisplayRaw_.get(), context_.rawFrameCopy.get(), rawBytes_);
        int cropWidth = 0, cropHeight = 0;
        if (!decodeFlipCrop(redisplayRaw_.get(), cropWidth, cropHeight)) return false;
        calls_.copyToShowBuffer(&record_, cropBuffer_.get());
        draw = runState() == Running;
    }
    if (draw && notices_.redisplayed) notices_.redisplayed();
    return draw;
}
