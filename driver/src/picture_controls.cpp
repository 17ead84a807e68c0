#include "picture_controls.h"

#include "sensor_device.h"

namespace ostra {

namespace {
constexpr int kAutoExposureGain = 270;
}

int PictureControls::effectiveSaturation(const Settings& settings) {
    if (settings.monochrome != 0) return 0;
    return settings.colorEnhancement != 0 ? settings.saturation : kNeutralSaturation;
}

void PictureControls::applyLocked(SensorDevice& device) const {
    device.setSaturation(effectiveSaturation(settings_));
}

void PictureControls::setColorEnhancement(int on, SensorDevice& device) {
    std::lock_guard lock(lock_);
    settings_.colorEnhancement = on;
    // In monochrome the processors stay at 0 whatever the enhancement.
    if (settings_.monochrome == 0) applyLocked(device);
}

void PictureControls::setSaturation(int value, SensorDevice& device) {
    std::lock_guard lock(lock_);
    if (settings_.colorEnhancement == 0 || settings_.monochrome != 0) return;
    settings_.saturation = static_cast<std::uint8_t>(value & 0xFF);
    applyLocked(device);
}

void PictureControls::setMonochrome(int on, SensorDevice& device) {
    std::lock_guard lock(lock_);
    settings_.monochrome = on;
    applyLocked(device);
}

void PictureControls::setAeState(int on, SensorDevice& device) {
    if (on != 0) device.setAnalogueGain(kAutoExposureGain);
    std::lock_guard lock(lock_);
    settings_.aeState = on;
}

int PictureControls::colorEnhancement() const {
    std::lock_guard lock(lock_);
    return settings_.colorEnhancement;
}

int PictureControls::monochrome() const {
    std::lock_guard lock(lock_);
    return settings_.monochrome;
}

std::uint8_t PictureControls::saturation() const {
    std::lock_guard lock(lock_);
    return settings_.saturation;
}

int PictureControls::aeState() const {
    std::lock_guard lock(lock_);
    return settings_.aeState;
}

PictureControls::Settings PictureControls::settings() const {
    std::lock_guard lock(lock_);
    return settings_;
}

void PictureControls::restore(const Settings& settings, SensorDevice& device) {
    std::lock_guard lock(lock_);
    settings_ = settings;
    applyLocked(device);
}

}  // namespace ostra
