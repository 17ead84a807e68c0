#include "sim_camera.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/clock.h"

namespace corvalis::platform::sim {

Camera::~Camera() = default;

namespace {
constexpr std::uint8_t kMarker = 0x88;
constexpr std::size_t kMarkerBytes = 16;  // the driver checks ten
constexpr std::size_t kBlock = 512;
}  // namespace

SimCamera::SimCamera(const StarField& scene) : scene_(scene) {}

double SimCamera::rowTimeMicros(int speed, bool halfReadout) {
    // Single-precision constants, as the driver computes the same row time.
    static constexpr float kFactor[4] = {0.05f, 0.06666667f, 0.1f, 0.2f};
    const float base = halfReadout ? 4087.0f : 3607.0f;
    return static_cast<double>(base * kFactor[std::clamp(speed, 1, 4) - 1]);
}

int SimCamera::vendorRequest(const usb::VendorRequestBytes& r) {
    std::lock_guard lock(mutex_);
    if (!plugged_) return -1;
    requests_.push_back(r);
    // Host-to-device, vendor, device: anything else is not a request of this camera.
    if (r[0] != 0 || r[1] != 2 || r[2] != 0 || r[3] != 0 || r[5] != 0) return 0;
    const int value = r[6] | (r[7] << 8);
    const int index = r[8] | (r[9] << 8);
    CameraSettings& s = settings_;
    switch (r[4]) {
        case 0xB3: {  // start frame; one in progress is abandoned
            Frame f;
            f.info = frameFromSettings(++frames_);
            f.start = clock::deviceMicros();
            current_ = f;
            lastStarted_ = f.info;
            changed_.notify_all();
            break;
        }
        case 0xBB:  // stop / restart: the exposure is abandoned, a waiting read ends
            current_.reset();
            ++abandoned_;
            changed_.notify_all();
            break;
        case 0xB4:
            if (value == 0xC0 || value == 0xC1) {
                s.modeValue = value;
                s.halfReadout = value == 0xC0;
            }
            break;
        case 0xB5:
            if (value >= 0xA0 && value <= 0xA3) s.speed = value - 0xA0 + 1;
            break;
        case 0xB7:
            switch (index) {
                case 1:
                    s.gain = value;
                    break;
                case 2:
                    s.blackLevelValue = value;
                    s.blackLevel = value / 256;
                    break;
                case 0x63:
                    s.exposureLow = value;
                    break;
                case 0x62:
                    s.exposureHigh = value;
                    break;
                default:
                    break;
            }
            break;
        case 0xB9:
            if (value == 0x0A) s.bytesPerSample = 1;
            if (value == 0x05) s.bytesPerSample = 2;
            break;
        case 0xB0:
            if (value == 0x00 || value == 0x11) {
                s.longExposurePowerValue = value;
                s.longExposurePower = value == 0x11;
            }
            break;
        default:  // 0xBA, 0xB8 and the like: accepted, nothing to model
            break;
    }
    return 1;
}

FrameInfo SimCamera::frameFromSettings(std::uint64_t index) const {
    const CameraSettings& s = settings_;
    FrameInfo f;
    f.index = index;
    const bool half = s.halfReadout;
    f.rawWidth = kRawWidth;
    f.rawHeight = half ? kHalfRawHeight : kFullRawHeight;
    f.fieldBStart = half ? kHalfFieldBStart : f.rawHeight / 2 + 2;
    f.fieldPairs = half ? kHalfFieldPairs : f.rawHeight / 2 - 2;
    f.windowX = 0;
    f.windowY = half ? kHalfWindowY : 0;
    f.bytesPerSample = s.bytesPerSample;
    f.header = s.speed != 4;
    f.rowMicros = rowTimeMicros(s.speed, half);
    const long rows = static_cast<long>(s.exposureHigh) * rowsPerHighStep(half) + s.exposureLow;
    f.exposureMicros = static_cast<double>(rows) * f.rowMicros;
    f.readoutMicros = f.rawHeight * f.rowMicros;
    f.gain = s.gain;
    f.blackLevel = s.blackLevel;
    f.bytes = (f.header ? kHeaderBytes : 0) +
              static_cast<std::size_t>(f.rawWidth) * f.rawHeight * f.bytesPerSample;
    return f;
}

std::size_t SimCamera::bulkRead(std::uint8_t* buffer, std::size_t length,
                                const std::atomic<bool>& closed) {
    std::unique_lock lock(mutex_);
    if (!plugged_ || closed.load()) return 0;
    std::optional<Fault> fault;
    if (!faults_.empty()) {
        fault = faults_.front();
        faults_.pop_front();
    }
    if (fault == Fault::ZeroLengthRead) return 0;

    ++waiting_;
    const std::uint64_t cancels = cancels_, abandoned = abandoned_;
    auto ended = [&] { return !plugged_ || closed.load() || cancels_ != cancels; };
    auto interrupted = [&] { return ended() || abandoned_ != abandoned; };
    auto leave = [&](std::size_t n) {
        --waiting_;
        return n;
    };

    if (fault == Fault::Stall) {
        ++stalled_;
        changed_.wait(lock, ended);
        --stalled_;
        return leave(0);
    }

    Frame frame;
    for (;;) {
        if (interrupted()) return leave(0);
        if (!current_) {
            changed_.wait(lock, [&] { return interrupted() || current_.has_value(); });
            continue;
        }
        const std::uint64_t started = frames_;
        // Device time from the frame's start to the moment this read waits for: the
        // end of the read-out, or halfway through the exposure for the unplug fault.
        const FrameInfo& info = current_->info;
        double target = fault == Fault::UnplugDuringExposure
                            ? info.exposureMicros / 2
                            : info.exposureMicros + info.readoutMicros;
        // Measured on the device clock, so the ticks a read spans are the frame's
        // device time also when the read started late.
        double remaining =
            std::max(0.0, target - static_cast<double>(clock::deviceMicros() - current_->start));
        bool restarted = false;
        clock::waitScaled(remaining, [&](std::chrono::microseconds real) {
            restarted =
                changed_.wait_for(lock, real, [&] { return interrupted() || frames_ != started; });
            return !restarted;
        });
        if (restarted || interrupted() || frames_ != started || !current_) continue;
        if (fault == Fault::UnplugDuringExposure) {
            auto hook = unplugHook_;
            --waiting_;
            lock.unlock();
            if (hook)
                hook();
            else
                markUnplugged();
            return 0;
        }
        frame = *current_;
        current_.reset();  // nothing stays queued
        lastDelivered_ = frame.info;
        break;
    }
    --waiting_;
    lock.unlock();

    const FrameInfo& info = frame.info;
    std::vector<std::uint8_t> shortBuffer;
    std::uint8_t* out = buffer;
    if (length < info.bytes) {
        shortBuffer.resize(info.bytes);
        out = shortBuffer.data();
    }
    pack(info, out);
    if (fault == Fault::MissingMarker && info.header) std::memset(out, 0, kMarkerBytes);
    if (fault == Fault::DoubledMarker) {
        std::size_t at = (info.bytes / kBlock / 2) * kBlock;
        std::memset(out + at, kMarker, kMarkerBytes);
    }
    if (out != buffer) std::memcpy(buffer, out, length);
    return std::min(length, info.bytes);
}

void SimCamera::pack(const FrameInfo& f, std::uint8_t* out) const {
    std::size_t headerBytes = 0;
    if (f.header) {
        std::memset(out, 0, kHeaderBytes);
        std::memset(out, kMarker, kMarkerBytes);
        headerBytes = kHeaderBytes;
    }
    std::vector<std::uint16_t> picture =
        scene_.render(f.windowX, f.windowY, f.rawWidth, f.rawHeight,
                      StarField::Exposure{f.exposureMicros, f.gain, f.blackLevel, f.index});
    const std::size_t rowBytes = static_cast<std::size_t>(f.rawWidth) * f.bytesPerSample;
    std::vector<std::uint16_t> darkRow(f.rawWidth,
                                       static_cast<std::uint16_t>(std::min(f.blackLevel, 4095)));
    std::uint8_t* data = out + headerBytes;
    // Field A (even picture rows) from raw row 0, field B (odd rows) from fieldBStart;
    // the raw rows between and after them are dark.
    for (int raw = 0; raw < f.rawHeight; ++raw) {
        int row = -1;
        if (raw < f.fieldPairs)
            row = 2 * raw;
        else if (raw >= f.fieldBStart && raw - f.fieldBStart < f.fieldPairs)
            row = 2 * (raw - f.fieldBStart) + 1;
        const std::uint16_t* src =
            row >= 0 ? picture.data() + static_cast<std::size_t>(row) * f.rawWidth : darkRow.data();
        std::uint8_t* dst = data + static_cast<std::size_t>(raw) * rowBytes;
        if (f.bytesPerSample == 1) {
            for (int c = 0; c < f.rawWidth; ++c) dst[c] = static_cast<std::uint8_t>(src[c] >> 4);
        } else {
            // Big-endian, the 12 significant bits in the upper part.
            for (int c = 0; c < f.rawWidth; ++c) {
                std::uint16_t v = static_cast<std::uint16_t>(src[c] << 4);
                dst[2 * c] = static_cast<std::uint8_t>(v >> 8);
                dst[2 * c + 1] = static_cast<std::uint8_t>(v & 0xFF);
            }
        }
    }
    // Eight-bit data can spell the marker by chance at a block boundary, which the
    // driver would take for a second frame; only an injected fault may do that.
    const std::size_t total = f.bytes;
    for (std::size_t at = kBlock; at + 10 <= total; at += kBlock) {
        if (std::all_of(out + at, out + at + 10, [](std::uint8_t b) { return b == kMarker; })) {
            out[at + 9] = kMarker - 1;
        }
    }
}

void SimCamera::cancelReads() {
    std::lock_guard lock(mutex_);
    ++cancels_;
    changed_.notify_all();
}

void SimCamera::wake() {
    std::lock_guard lock(mutex_);
    changed_.notify_all();
}

void SimCamera::markUnplugged() {
    std::lock_guard lock(mutex_);
    plugged_ = false;
    current_.reset();
    changed_.notify_all();
}

void SimCamera::setUnplugHook(std::function<void()> hook) {
    std::lock_guard lock(mutex_);
    unplugHook_ = std::move(hook);
}

CameraSettings SimCamera::settings() const {
    std::lock_guard lock(mutex_);
    return settings_;
}

std::vector<usb::VendorRequestBytes> SimCamera::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void SimCamera::clearRequests() {
    std::lock_guard lock(mutex_);
    requests_.clear();
}

void SimCamera::injectFault(Fault fault) {
    std::lock_guard lock(mutex_);
    faults_.push_back(fault);
}

void SimCamera::clearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
}

long SimCamera::exposureRows() const {
    std::lock_guard lock(mutex_);
    return static_cast<long>(settings_.exposureHigh) * rowsPerHighStep(settings_.halfReadout) +
           settings_.exposureLow;
}

double SimCamera::rowMicros() const {
    std::lock_guard lock(mutex_);
    return rowTimeMicros(settings_.speed, settings_.halfReadout);
}

double SimCamera::exposureMicros() const {
    std::lock_guard lock(mutex_);
    return frameFromSettings(0).exposureMicros;
}

double SimCamera::readoutMicros() const {
    std::lock_guard lock(mutex_);
    return frameFromSettings(0).readoutMicros;
}

FrameInfo SimCamera::lastStarted() const {
    std::lock_guard lock(mutex_);
    return lastStarted_;
}

FrameInfo SimCamera::lastDelivered() const {
    std::lock_guard lock(mutex_);
    return lastDelivered_;
}

std::vector<std::uint16_t> SimCamera::expectedPicture(const FrameInfo& f) const {
    if (f.rawWidth <= 0 || f.rawHeight <= 0) return {};
    std::vector<std::uint16_t> picture =
        scene_.render(f.windowX, f.windowY, f.rawWidth, f.rawHeight,
                      StarField::Exposure{f.exposureMicros, f.gain, f.blackLevel, f.index});
    std::size_t sent = static_cast<std::size_t>(2 * f.fieldPairs) * f.rawWidth;
    std::fill(picture.begin() + static_cast<std::ptrdiff_t>(std::min(sent, picture.size())),
              picture.end(), std::uint16_t{0});
    return picture;
}

int SimCamera::waitingReads() const {
    std::lock_guard lock(mutex_);
    return waiting_;
}

int SimCamera::stalledReads() const {
    std::lock_guard lock(mutex_);
    return stalled_;
}

bool SimCamera::plugged() const {
    std::lock_guard lock(mutex_);
    return plugged_;
}

}  // namespace corvalis::platform::sim
