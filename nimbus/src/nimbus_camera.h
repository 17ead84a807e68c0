#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

#include "kd_window.h"
#include "picture_decode.h"
#include "platform/usb.h"
#include "sensor_readout.h"
#include "star_field.h"

// The camera of the second family, modelled in the process: its settings, the frame
// timing on the platform clock, the sky it looks at and its place in the device list.
//
// A grab waits, without holding the lock, for exposure plus read-out of device time;
// a setting change wakes it to recompute the end (so a shortened exposure ends it), and
// release or unplug end it with 0. The frame is rendered and read out after the wait,
// outside the lock, from a snapshot of the settings.
namespace corvalis::nimbus {

struct CameraSettings {
    float exposureMs = NIMBUS_EXPOSURE_DEFAULT_MS;
    std::uint16_t analogGain = NIMBUS_ANALOG_GAIN_DEFAULT;
    std::uint8_t frameSpeed = NIMBUS_FRAME_SPEED_DEFAULT;
    bool autoExposure = false;
    PictureSettings picture;
};

class NimbusCamera {
  public:
    // Counts added to every 12-bit sample; 4 in the 8-bit raw frame.
    static constexpr int kBlackLevel = 64;
    // Where the sensor window lies on the chip the star field models.
    static constexpr int kWindowLeft = (platform::sim::StarField::kChipWidth - kSensorWidth) / 2;
    static constexpr int kWindowTop = (platform::sim::StarField::kChipHeight - kSensorHeight) / 2;

    // The process-wide camera; never destroyed, so a grab still returning on another
    // thread never meets a dead object.
    static NimbusCamera& instance();

    // Results as the exports give them (nimbus.h).
    int init(int deviceIndex, int resolutionNumber, KdWindow* display, KdWindow* notify);
    int uninit();
    int grab(std::uint8_t* raw);
    int imageSize(int& width, int& height) const;
    int setDisplayEnable(bool on);
    int whiteBalance();
    // Decodes with the latest picture settings, initialised or not.
    int decode(const std::uint8_t* raw, std::uint8_t* out) const;

    // Reads or changes the settings under the lock; NIMBUS_NOT_INITIALISED when not initialised. A
    // change wakes a waiting grab, which then takes the new exposure and speed into account.
    template <typename F>
    int read(F f) const {
        std::lock_guard lock(mutex_);
        if (!initialised_) return NIMBUS_NOT_INITIALISED;
        return f(settings_);
    }
    template <typename F>
    int update(F f) {
        std::lock_guard lock(mutex_);
        if (!initialised_) return NIMBUS_NOT_INITIALISED;
        int result = f(settings_);
        ++changes_;
        changed_.notify_all();
        return result;
    }

    // Device microseconds of read-out at a speed for a resolution.
    static double readoutMicros(const Resolution& res, int frameSpeed);

  private:
    NimbusCamera();
    void markGone(const platform::usb::DeviceInfo& device);
    bool present() const;  // our device is still in the device list
    // With the lock held, after a frame with these channel means.
    void balanceFrom(const ChannelMeans& means);
    void adjustExposure(const ChannelMeans& means);

    const platform::sim::StarField scene_;
    std::mutex lifecycle_;  // init and uninit, one at a time
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool initialised_ = false;
    bool gone_ = false;
    std::uint64_t session_ = 0;  // counts initialisations and releases
    std::uint64_t changes_ = 0;
    std::uint32_t frameNumber_ = 0;
    int resolution_ = 0;
    platform::usb::DeviceInfo device_;
    int hotplug_ = 0;
    KdWindow* display_ = nullptr;
    bool displayEnabled_ = true;
    CameraSettings settings_;
    std::optional<ChannelMeans> lastMeans_;
    bool balancePending_ = false;
};

}  // namespace corvalis::nimbus
