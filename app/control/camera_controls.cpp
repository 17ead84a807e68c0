#include "control/camera_controls.h"

#include <algorithm>

#include "session/camera_session.h"
#include "session/picture_defaults.h"

using picture::kDisplayOffset;

namespace {

// The first family's slider ranges; the second family reports its own.
constexpr SliderRange kOstraGain{25, 570};
constexpr SliderRange kOstraContrastGamma{0, 40};
constexpr SliderRange kOstraColour{0, 255};

// The exposure at which a redisplay is worth it: shorter ones bring a new frame soon.
constexpr unsigned kRedisplayExposureMs = 1000;

}  // namespace

bool CameraControls::nimbus() const {
    return session_.record().camera_type == KD_FAMILY_NIMBUS;
}

bool CameraControls::cameraClosed() const {
    return session_.closed();
}

bool CameraControls::setGain(int position) {
    CameraRecord& r = session_.record();
    if (cameraClosed() || r.analog_gain == position) return false;
    r.analog_gain = position;
    session_.readWrite(CAMCMD_ANALOG_GAIN);
    return true;
}

bool CameraControls::setContrast(int position) {
    CameraRecord& r = session_.record();
    if (cameraClosed()) return false;
    const int stored = nimbus() ? position : picture::contrastByte(position - kDisplayOffset);
    if (r.contrast == stored) return false;
    r.contrast = static_cast<uint8_t>(stored);
    session_.readWrite(CAMCMD_CONTRAST);
    return true;
}

bool CameraControls::setGamma(int position) {
    CameraRecord& r = session_.record();
    if (cameraClosed()) return false;
    const int stored = nimbus() ? position : picture::gammaByte(position - kDisplayOffset);
    r.gamma = static_cast<uint8_t>(stored);
    session_.readWrite(CAMCMD_GAMMA);
    return true;
}

bool CameraControls::setColourGain(Colour colour, int position) {
    CameraRecord& r = session_.record();
    if (cameraClosed()) return false;
    int32_t* gains[] = {&r.gain_r, &r.gain_g, &r.gain_b};
    *gains[colour] = position;
    session_.readWrite(CAMCMD_RGB_GAIN);
    return true;
}

bool CameraControls::setSaturation(int position) {
    if (cameraClosed()) return false;
    session_.record().saturation = position;
    session_.readWrite(CAMCMD_SATURATION);
    return true;
}

std::string CameraControls::contrastLabel(int position) const {
    return std::to_string(nimbus() ? position : position - kDisplayOffset);
}

std::string CameraControls::gammaLabel(int position) const {
    if (nimbus()) return std::to_string(position);
    return std::to_string(
        std::clamp(position - kDisplayOffset, picture::kDisplayMin, picture::kDisplayMax));
}

void CameraControls::setColourEnhancement(bool on) {
    session_.record().color_enhancement = on ? 1 : 0;
    session_.readWrite(CAMCMD_COLOR_ENHANCE);
}

void CameraControls::setMonochrome(bool on) {
    session_.record().monochrome = on ? 1 : 0;
    session_.readWrite(CAMCMD_MONOCHROME);
}

void CameraControls::setFlipHorizontal(bool on) {
    session_.record().mirror_1 = on ? 1 : 0;
    session_.readWrite(CAMCMD_MIRROR_1);
}

void CameraControls::setFlipVertical(bool on) {
    session_.record().mirror_2 = on ? 1 : 0;
    session_.readWrite(CAMCMD_MIRROR_2);
}

void CameraControls::setOverExposureWarning(bool on) {
    session_.record().over_exposure_warning = on ? 1 : 0;
    session_.readWrite(CAMCMD_OVER_EXPOSURE);
}

void CameraControls::setNoiseReduction(bool on) {
    session_.record().long_exp_power = on ? 1 : 0;
    session_.readWrite(nimbus() ? CAMCMD_NOISE_REDUCTION_2 : CAMCMD_LONG_EXP_POWER);
}

void CameraControls::setSharpen(bool on) {
    session_.context().sharpenOn.store(on ? 1 : 0, std::memory_order_relaxed);
}

void CameraControls::setSharpenPosition(int position) {
    session_.context().sharpenStrength.store(picture::sharpenStrength(position),
                                             std::memory_order_relaxed);
}

bool CameraControls::redisplayWanted() const {
    return session_.running() && session_.record().exposure_ms >= kRedisplayExposureMs;
}

bool CameraControls::exposureEntryOpen() const {
    return session_.uiFlag(UiFlag::ExposureEntry) != 0;
}

CameraControls::ExposureChange CameraControls::changeExposure(
    const picture::ExposureFields& fields) {
    ExposureChange change;
    CameraRecord& r = session_.record();
    if (!exposureEntryOpen()) {
        session_.setUiFlag(UiFlag::ExposureEntry, 1);
        change.exposureMs = r.exposure_ms;
        return change;
    }
    change.step = ExposureStep::Applied;
    if (session_.running()) {
        const unsigned wanted = picture::exposureMs(fields);
        const unsigned longest = picture::longestExposureMs(r);
        change.shortened = wanted > longest;
        r.exposure_ms = change.shortened ? longest : wanted;
        // The stop writes the new exposure to the camera; the start takes frames of it.
        session_.restartPreview();
    }
    r.sequence_count = 1;
    r.frame_time_ms = r.frame_time_copy_ms = static_cast<int32_t>(r.exposure_ms);
    session_.setUiFlag(UiFlag::ExposureEntry, 0);
    change.exposureMs = r.exposure_ms;
    return change;
}

void CameraControls::setDefaults() {
    CameraRecord& r = session_.record();
    const int family = nimbus() ? KD_FAMILY_NIMBUS : KD_FAMILY_OSTRA;
    setFamilyDefaults(r, family);
    for (int command :
         {CAMCMD_MONOCHROME, CAMCMD_COLOR_ENHANCE, CAMCMD_ANALOG_GAIN, CAMCMD_CONTRAST,
          CAMCMD_GAMMA, CAMCMD_SATURATION, CAMCMD_MIRROR_2, CAMCMD_MIRROR_1})
        session_.readWrite(command);
    session_.setPictureValuesFamily(family);
}

CameraControls::Balance CameraControls::startWhiteBalance() {
    const int started = session_.readWrite(CAMCMD_WHITE_BALANCE);
    if (nimbus()) {
        if (started != KD_DONE) return Balance::Failed;
        return finishWhiteBalance();
    }
    balancePolls_ = 0;
    return pollWhiteBalance();
}

CameraControls::Balance CameraControls::pollWhiteBalance() {
    session_.readWrite(CAMCMD_WHITE_BALANCE, 1);
    ++balancePolls_;
    // A balance that has not finished after the last poll is taken as it stands.
    if (session_.record().awb_state != 0 && balancePolls_ < kBalancePolls) return Balance::Running;
    return finishWhiteBalance();
}

CameraControls::Balance CameraControls::finishWhiteBalance() {
    session_.readWrite(CAMCMD_RGB_GAIN, 1);
    return Balance::Done;
}

PanelValues CameraControls::refresh() {
    PanelValues v;
    CameraRecord& r = session_.record();
    const bool second = nimbus();
    if (second) {
        session_.readWrite(CAMCMD_EXPOSURE_RANGE, 1);
        auto range = [this, &r](int command) {
            session_.readWrite(command, 1);
            return SliderRange{0, r.param_range[1]};
        };
        v.gainRange = range(CAMCMD_ANALOG_GAIN_RANGE);
        v.contrastRange = range(CAMCMD_CONTRAST_RANGE);
        v.gammaRange = range(CAMCMD_GAMMA_RANGE);
        v.saturationRange = range(CAMCMD_SATURATION_RANGE);
        v.colourRange = range(CAMCMD_GAIN_RANGE);
    } else {
        v.gainRange = kOstraGain;
        v.contrastRange = v.gammaRange = kOstraContrastGamma;
        v.colourRange = v.saturationRange = kOstraColour;
    }
    v.resolutionEntry = CameraSession::resolutionEntry(r.camera_type, r.resolution_index);
    v.exposure = picture::exposureFields(r.exposure_ms);
    v.longestExposureMs = picture::longestExposureMs(r);
    v.contrast = second ? r.contrast : picture::contrastDisplay(r.contrast) + kDisplayOffset;
    v.gamma = second ? r.gamma : picture::gammaDisplay(r.gamma) + kDisplayOffset;
    v.contrastLabel = contrastLabel(v.contrast);
    v.gammaLabel = gammaLabel(v.gamma);
    v.gain = r.analog_gain;
    v.gainLabel = picture::gainLabel(r.analog_gain);
    v.colourGains = {r.gain_r, r.gain_g, r.gain_b};
    for (int i = 0; i < 3; ++i) v.colourLabels[i] = picture::colourGainLabel(v.colourGains[i]);
    v.saturation = r.saturation;
    v.saturationLabel = std::to_string(r.saturation);
    v.adjustSaturation = r.color_enhancement != 0;
    v.monochrome = r.monochrome != 0;
    v.overExposure = r.over_exposure_warning != 0;
    v.flipHorizontal = r.mirror_1 != 0;
    v.flipVertical = r.mirror_2 != 0;
    v.frameSpeedEntry = r.frame_speed - 1;
    return v;
}
