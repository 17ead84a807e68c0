#include "nimbus_camera.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "platform/clock.h"

namespace corvalis::nimbus {

namespace usb = platform::usb;
namespace clock = platform::clock;

namespace {
constexpr std::uint16_t kVendor = 0x0547;
constexpr std::uint16_t kProduct = 0xA004;

bool sameDevice(const usb::DeviceInfo& a, const usb::DeviceInfo& b) {
    return a.vendor == b.vendor && a.product == b.product && a.bus == b.bus &&
           a.portPath == b.portPath;
}

// The star field's conversion gain at analogue gain 0: 2 counts per electron, so the
// sky of a default 200 ms exposure sits near 40 of 255.
constexpr int kBaseGain = 128;
}  // namespace

NimbusCamera& NimbusCamera::instance() {
    static NimbusCamera* camera = new NimbusCamera;
    return *camera;
}

NimbusCamera::NimbusCamera() : scene_(platform::sim::StarField::defaultOptions()) {}

double NimbusCamera::readoutMicros(const Resolution& res, int frameSpeed) {
    const double pixelsPerMicro = 12.0 * (1 << std::clamp(frameSpeed, 0, 2));
    return res.height * (20.0 + res.width / pixelsPerMicro);
}

int NimbusCamera::init(int deviceIndex, int resolutionNumber, KdWindow* display,
                       KdWindow* /*notify*/) {
    std::lock_guard life(lifecycle_);
    {
        std::lock_guard lock(mutex_);
        if (initialised_) return NIMBUS_FAILED;
    }
    if (resolution(resolutionNumber) == nullptr || deviceIndex < 0) return NIMBUS_FAILED;

    std::vector<usb::DeviceInfo> cameras;
    for (const usb::DeviceInfo& d : usb::listDevices()) {
        if (d.vendor == kVendor && d.product == kProduct) cameras.push_back(d);
    }
    if (static_cast<std::size_t>(deviceIndex) >= cameras.size()) return NIMBUS_FAILED;
    // An unplug between the look and this registration is caught by the presence
    // check every grab makes.
    const int hotplug = usb::registerHotplug([this](const usb::HotplugEvent& event) {
        if (!event.arrived) markGone(event.device);
    });

    std::lock_guard lock(mutex_);
    device_ = cameras[static_cast<std::size_t>(deviceIndex)];
    hotplug_ = hotplug;
    resolution_ = resolutionNumber;
    display_ = display;
    displayEnabled_ = true;
    settings_ = CameraSettings{};
    frameNumber_ = 0;
    lastMeans_.reset();
    balancePending_ = false;
    gone_ = false;
    ++session_;
    initialised_ = true;
    return NIMBUS_DONE;
}

int NimbusCamera::uninit() {
    std::lock_guard life(lifecycle_);
    int hotplug = 0;
    {
        std::lock_guard lock(mutex_);
        if (!initialised_) return NIMBUS_NOT_INITIALISED;
        initialised_ = false;
        ++session_;
        hotplug = hotplug_;
        hotplug_ = 0;
        display_ = nullptr;
        changed_.notify_all();
    }
    // Outside the lock: unregistering waits for a callback in progress, which locks.
    usb::unregisterHotplug(hotplug);
    return NIMBUS_DONE;
}

void NimbusCamera::markGone(const usb::DeviceInfo& device) {
    std::lock_guard lock(mutex_);
    if (!initialised_ || !sameDevice(device, device_)) return;
    gone_ = true;
    changed_.notify_all();
}

bool NimbusCamera::present() const {
    usb::DeviceInfo mine;
    {
        std::lock_guard lock(mutex_);
        mine = device_;
    }
    for (const usb::DeviceInfo& d : usb::listDevices()) {
        if (sameDevice(d, mine)) return true;
    }
    return false;
}

int NimbusCamera::grab(std::uint8_t* raw) {
    std::uint64_t session;
    {
        std::lock_guard lock(mutex_);
        if (!initialised_) return NIMBUS_NOT_INITIALISED;
        if (gone_) return NIMBUS_FAILED;
        session = session_;
    }
    if (!present()) return NIMBUS_FAILED;

    CameraSettings taken;
    const Resolution* res = nullptr;
    std::uint32_t number = 0;
    int resolutionNumber = 0;
    {
        std::unique_lock lock(mutex_);
        auto ended = [&] { return session_ != session || gone_; };
        const std::int64_t start = clock::deviceMicros();
        for (;;) {
            if (ended()) return NIMBUS_FAILED;
            res = resolution(resolution_);
            const double target =
                settings_.exposureMs * 1000.0 + readoutMicros(*res, settings_.frameSpeed);
            const double remaining = target - static_cast<double>(clock::deviceMicros() - start);
            if (remaining <= 0) break;
            const std::uint64_t changes = changes_;
            bool woken = false;
            clock::waitScaled(remaining, [&](std::chrono::microseconds real) {
                woken =
                    changed_.wait_for(lock, real, [&] { return ended() || changes_ != changes; });
                return !woken;
            });
            if (!woken) break;
        }
        taken = settings_;
        number = ++frameNumber_;
        resolutionNumber = resolution_;
    }

    // Render the used part of the sensor window and read it out, lock-free.
    const int regionWidth = res->width * res->step, regionHeight = res->height * res->step;
    std::vector<std::uint16_t> sensor(static_cast<std::size_t>(regionWidth) * regionHeight);
    platform::sim::StarField::Exposure exposure;
    exposure.micros = taken.exposureMs * 1000.0;
    exposure.gain = kBaseGain * (100 + taken.analogGain) / 100;
    exposure.blackLevel = kBlackLevel;
    exposure.frame = number;
    const int x0 = kWindowLeft + res->left(), y0 = kWindowTop + res->top();
    if (res->binned || res->step == 1) {
        scene_.render(x0, y0, regionWidth, regionHeight, exposure, sensor.data());
    } else {
        // Skipping reads only the first row pair of every `step`: render just those.
        for (int row = 0; row < regionHeight; row += 2 * res->step) {
            scene_.render(x0, y0 + row, regionWidth, 2, exposure,
                          sensor.data() + static_cast<std::size_t>(row) * regionWidth);
        }
    }
    readOut(sensor.data(), static_cast<std::size_t>(regionWidth), *res, raw + NIMBUS_HEADER_BYTES);
    NimbusFrameHeader header{};
    header.width = static_cast<std::uint32_t>(res->width);
    header.height = static_cast<std::uint32_t>(res->height);
    header.frame_number = number;
    header.exposure_ms = taken.exposureMs;
    header.analog_gain = taken.analogGain;
    header.resolution = static_cast<std::uint8_t>(resolutionNumber);
    writeHeader(raw, header);
    const ChannelMeans means = channelMeans(raw + NIMBUS_HEADER_BYTES, res->width, res->height);

    bool draw = false;
    {
        std::lock_guard lock(mutex_);
        if (session_ != session || gone_) return NIMBUS_FAILED;
        lastMeans_ = means;
        if (balancePending_) {
            balancePending_ = false;
            balanceFrom(means);
        }
        if (settings_.autoExposure) adjustExposure(means);
        draw = displayEnabled_ && display_ != nullptr;
    }
    if (draw) {
        // The driver-drawn picture: decoded aside, handed over under the lock so that a
        // release on another thread never sees the window used after it returned.
        std::vector<std::uint8_t> picture(NIMBUS_DECODED_BYTES(
            static_cast<std::size_t>(res->width), static_cast<std::size_t>(res->height)));
        if (decode(raw, picture.data()) == NIMBUS_DONE) {
            std::lock_guard lock(mutex_);
            if (session_ == session && displayEnabled_ && display_ != nullptr &&
                display_->draw != nullptr &&
                (display_->alive == nullptr || display_->alive(display_->context))) {
                display_->draw(display_->context, picture.data() + NIMBUS_HEADER_BYTES, res->width,
                               res->height);
            }
        }
    }
    return NIMBUS_DONE;
}

void NimbusCamera::balanceFrom(const ChannelMeans& means) {
    // Balance the signal above the black level.
    const double black = kBlackLevel >> 4;
    const double r = means.red - black, g = means.green - black, b = means.blue - black;
    if (g <= 0) return;  // a black frame says nothing about colour
    auto gainFor = [&](double level) -> std::uint16_t {
        const double gain = level > 0 ? 64.0 * g / level : NIMBUS_COLOR_GAIN_MAX;
        return static_cast<std::uint16_t>(std::clamp(std::lround(gain), long{NIMBUS_COLOR_GAIN_MIN},
                                                     long{NIMBUS_COLOR_GAIN_MAX}));
    };
    settings_.picture.gainRed = gainFor(r);
    settings_.picture.gainGreen = 64;
    settings_.picture.gainBlue = gainFor(b);
    ++changes_;
}

void NimbusCamera::adjustExposure(const ChannelMeans& means) {
    const double level = (means.red + 2 * means.green + means.blue) / 4;
    const double factor = level > 0 ? std::clamp(NIMBUS_AE_TARGET / level, 0.5, 2.0) : 2.0;
    settings_.exposureMs = std::clamp(static_cast<float>(settings_.exposureMs * factor),
                                      NIMBUS_EXPOSURE_MIN_MS, NIMBUS_EXPOSURE_MAX_MS);
    ++changes_;
}

int NimbusCamera::imageSize(int& width, int& height) const {
    std::lock_guard lock(mutex_);
    if (!initialised_) return NIMBUS_NOT_INITIALISED;
    const Resolution* res = resolution(resolution_);
    width = res->width;
    height = res->height;
    return NIMBUS_DONE;
}

int NimbusCamera::setDisplayEnable(bool on) {
    std::lock_guard lock(mutex_);
    if (!initialised_) return NIMBUS_NOT_INITIALISED;
    displayEnabled_ = on;
    return NIMBUS_DONE;
}

int NimbusCamera::whiteBalance() {
    std::lock_guard lock(mutex_);
    if (!initialised_) return NIMBUS_NOT_INITIALISED;
    if (lastMeans_)
        balanceFrom(*lastMeans_);
    else
        balancePending_ = true;
    return NIMBUS_DONE;
}

int NimbusCamera::decode(const std::uint8_t* raw, std::uint8_t* out) const {
    PictureSettings picture;
    {
        std::lock_guard lock(mutex_);
        picture = settings_.picture;
    }
    return decodeFrame(raw, out, picture) ? NIMBUS_DONE : NIMBUS_FAILED;
}

}  // namespace corvalis::nimbus
