#pragma once
#include <cstdint>
#include <mutex>

namespace ostra {

class SensorDevice;

// The camera context's colour enhancement, monochrome, saturation and auto-exposure
// settings. Enhancement, monochrome and saturation share one value in the colour
// processors, the effective saturation: 0 in monochrome, else the stored saturation
// while enhancement is on, else 128 (neutral). Every change hands the new effective
// saturation to the sensor device, which gives it to both processors.
//
// One lock covers the flags and the hand-off, so concurrent setters leave the
// processors with the value the flags call for.
class PictureControls {
  public:
    static constexpr std::uint8_t kNeutralSaturation = 128;

    struct Settings {
        int colorEnhancement = 0;
        int monochrome = 0;
        std::uint8_t saturation = kNeutralSaturation;  // the last accepted saturation
        int aeState = 0;                               // stored only
    };

    static int effectiveSaturation(const Settings& settings);

    void setColorEnhancement(int on, SensorDevice& device);
    // Accepted (low byte) only while enhancement is on and monochrome off; otherwise
    // nothing changes.
    void setSaturation(int value, SensorDevice& device);
    void setMonochrome(int on, SensorDevice& device);
    // Turning auto exposure on first sets the analogue gain to 270; the flag itself
    // is only stored.
    void setAeState(int on, SensorDevice& device);

    int colorEnhancement() const;
    int monochrome() const;
    std::uint8_t saturation() const;
    int aeState() const;

    Settings settings() const;
    // Takes all four values at once (a parameter team read) and hands the resulting
    // effective saturation to the device.
    void restore(const Settings& settings, SensorDevice& device);

  private:
    void applyLocked(SensorDevice& device) const;

    mutable std::mutex lock_;
    Settings settings_;
};

}  // namespace ostra
