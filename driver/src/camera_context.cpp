#include "camera_context.h"

#include <chrono>
#include <new>
#include <thread>

#include "ostra.h"

namespace ostra {

namespace {
constexpr std::chrono::milliseconds kCancelRepeat{1};
}  // namespace

CameraContext::CameraContext() = default;

CameraContext::~CameraContext() {
    // The streaming threads use the device and the reader: they end first.
    if (stream_) stream_->stop();
    stream_.reset();
    reader_.reset();
    device_.reset();
}

bool CameraContext::open(int mode, KdWindow* display, KdWindow* notify) {
    device_ = std::make_unique<SensorDevice>(decodeLock_);
    if (!device_->attach(mode)) return false;
    teams_.loadStoredTeam(*device_, controls_);
    reader_ = std::make_unique<FrameReader>(*device_);
    if (!reader_->allocate()) return false;
    staging_.assign(FrameReader::maxFrameBytes(), 0);
    stream_ = std::make_unique<FrameStream>(*device_, *reader_, decodeLock_, display, notify);
    device_->startup();
    return true;
}

void CameraContext::close() {
    if (stream_) stream_->stop();
    teams_.save(teams_.teamInUse(), *device_, controls_);
    device_->stop();
}

int CameraContext::grab(std::uint8_t* destination) {
    ++grabsEntered_;
    struct Leave {
        std::atomic<std::uint64_t>& left;
        ~Leave() { ++left; }
    } leave{grabsLeft_};
    std::lock_guard lock(grabLock_);
    const int result =
        reader_->grab(staging_.data(), stagingBytesPerSample_, stagingFacts_, destination);
    // The destination holds the staging frame whenever it was copied, also after a
    // failed read (the previous frame): its facts go with it.
    if (stagingBytesPerSample_ == device_->dataWidth() && stagingFacts_.start_utc_us != 0) {
        std::lock_guard facts(frameFactsLock_);
        grabbedFacts_ = stagingFacts_;
        grabbedAny_ = true;
    }
    return reader_->closed() ? OSTRA_NO_CAMERA : result;
}

bool CameraContext::lastGrabbed(CorvalisOstraFrame& facts) {
    std::lock_guard lock(frameFactsLock_);
    if (grabbedAny_) facts = grabbedFacts_;
    return grabbedAny_;
}

void CameraContext::endGrabs() {
    // A cancel reaches only a read already waiting, so it is repeated until the grabs
    // seen here have left; one queued behind another is ended the same way.
    const std::uint64_t entered = grabsEntered_;
    while (grabsLeft_ < entered) {
        reader_->cancel();
        std::this_thread::sleep_for(kCancelRepeat);
    }
}

void CameraContext::beginClosing() {
    if (!reader_) return;
    reader_->close();
    reader_->cancel();
}

void CameraContext::setWhiteBalancePending(bool pending) {
    if (device_->state().dataWidth == 2) {
        device_->processor16().setWhiteBalancePending(pending);
    } else {
        device_->processor8().setWhiteBalancePending(pending);
    }
}

bool CameraContext::whiteBalancePending() {
    return device_->state().dataWidth == 2 ? device_->processor16().whiteBalancePending()
                                           : device_->processor8().whiteBalancePending();
}

void CameraContext::adoptProcessorGains(int& red, int& green, int& blue) {
    float b, g, r;
    if (device_->state().dataWidth == 2) {
        device_->processor16().gains(b, g, r);
    } else {
        device_->processor8().gains(b, g, r);
    }
    red = static_cast<int>(r * 64.0f);
    green = static_cast<int>(g * 64.0f);
    blue = static_cast<int>(b * 64.0f);
    device_->setGains(red, green, blue);
}

}  // namespace ostra
