#include "sensor_device.h"

#include <algorithm>
#include <cstdio>

#include "platform/clock.h"

namespace clk = corvalis::platform::clock;

namespace ostra {

namespace {
// Every mode change starts the processors on this Bayer phase.
constexpr int kModePatternCode = 6;
constexpr std::uint32_t kSettleMs = 500;
constexpr std::uint32_t kDataWidthSettleMs = 1000;
constexpr std::uint32_t kDataWidthSleepMs = 200;
}  // namespace

class SensorDevice::Programming {
  public:
    explicit Programming(SensorDevice& device)
        : lock_(device.programmingLock_), busy_(device.state_.busy) {
        busy_.store(1, std::memory_order_relaxed);
    }
    ~Programming() { busy_.store(0, std::memory_order_relaxed); }
    Programming(const Programming&) = delete;
    Programming& operator=(const Programming&) = delete;

  private:
    std::lock_guard<std::mutex> lock_;
    std::atomic<std::uint8_t>& busy_;
};

SensorDevice::SensorDevice(std::mutex& decodeLock)
    : processor8_(decodeLock), processor16_(decodeLock) {
    state_.channel = &channel_;
    state_.commands = &sensorCommandTable();
    state_.busy.store(0, std::memory_order_relaxed);
    loadGeometry(modeTable()[0]);
}

SensorDevice::~SensorDevice() {
    channel_.close();
}

bool SensorDevice::attach(int mode) {
    if (modeGeometry(mode) == nullptr) return false;
    state_.mode = mode;
    runSlot(kSlotInitialise);
    runSlot(kSlotFillModeTable);
    // The sizes are known from here on; the sensor learns the mode at startup.
    loadGeometry((*state_.modeTable)[static_cast<std::size_t>(mode)]);
    return channel_.open();
}

void SensorDevice::startup() {
    const std::uint32_t now = clk::tickCount();
    state_.readStartTick = now;
    state_.settleTick = now;
    setFrameSpeed(state_.frameSpeed);
    setMode(state_.mode);
    applyPictureSettings();
}

bool SensorDevice::setMode(int mode) {
    if (modeGeometry(mode) == nullptr) return false;
    Programming programming(*this);
    programMode(mode);
    return true;
}

// The caller holds the programming lock and has raised the busy flag.
void SensorDevice::programMode(int mode) {
    state_.mode = mode;
    runSlot(kSlotSelectMode);

    // The slot-1 table when it has been filled, the built-in one otherwise.
    const auto& table = state_.modeTable != nullptr ? *state_.modeTable : modeTable();
    const ModeGeometry& geometry = table[static_cast<std::size_t>(mode)];
    loadGeometry(geometry);
    bool sized = processor8_.setSize(geometry.processingWidth, geometry.processingHeight);
    sized = processor16_.setSize(geometry.processingWidth, geometry.processingHeight) && sized;
    if (!sized)
        std::fprintf(stderr, "Sensor: no memory for the colour processors of mode %d\n", mode);
    processor8_.setPatternCode(kModePatternCode);
    processor16_.setPatternCode(kModePatternCode);

    state_.dataWidth = std::clamp<int>(state_.dataWidth, kMinDataWidth, kMaxDataWidth);
    runSlot(kSlotDataWidth);
    state_.blackLevel = std::clamp<int>(state_.blackLevel, kMinBlackLevel, kMaxBlackLevel);
    runSlot(kSlotBlackLevel);
    state_.analogueGain = std::clamp<int>(state_.analogueGain, kMinAnalogueGain, kMaxAnalogueGain);
    runSlot(kSlotAnalogueGain);
    runSlot(kSlotExposure);
    runSlot(kSlotStartFrame);
}

void SensorDevice::loadGeometry(const ModeGeometry& geometry) {
    {
        std::lock_guard lock(state_.layoutLock);
        state_.geometry = geometry;
    }
    state_.rawWidth = geometry.rawWidth;
    state_.rawHeight = geometry.rawHeight;
}

void SensorDevice::stampSettle(std::uint32_t delayMs) {
    state_.settleTick = clk::tickCount() + delayMs;
}

void SensorDevice::setFrameSpeed(int speed) {
    Programming programming(*this);
    state_.frameSpeed = std::clamp(speed, kMinFrameSpeed, kMaxFrameSpeed);
    runSlot(kSlotFrameSpeed);
    stampSettle(kSettleMs);
    runSlot(kSlotStartFrame);
}

void SensorDevice::setAnalogueGain(int gain) {
    Programming programming(*this);
    state_.analogueGain = std::clamp(gain, kMinAnalogueGain, kMaxAnalogueGain);
    runSlot(kSlotAnalogueGain);
    stampSettle(kSettleMs);
}

void SensorDevice::setExposureRows(std::uint32_t rows) {
    Programming programming(*this);
    state_.exposureRows = rows;
    runSlot(kSlotExposure);
    stampSettle(kSettleMs);
}

void SensorDevice::setDataWidth(int bytesPerSample) {
    Programming programming(*this);
    state_.dataWidth = std::clamp(bytesPerSample, kMinDataWidth, kMaxDataWidth);
    runSlot(kSlotDataWidth);
    clk::sleepMs(kDataWidthSleepMs);
    runSlot(kSlotStartFrame);
    stampSettle(kDataWidthSettleMs);
    // A frame already under way was exposed with the old width.
    discardNextFrame_ = true;
}

void SensorDevice::setBlackLevel(int level) {
    Programming programming(*this);
    state_.blackLevel = std::clamp(level, kMinBlackLevel, kMaxBlackLevel);
    runSlot(kSlotBlackLevel);
}

void SensorDevice::setLongExposurePower(int power) {
    Programming programming(*this);
    state_.longExposurePower = std::clamp(power, kMinLongExposurePower, kMaxLongExposurePower);
    runSlot(kSlotLongExposurePower);
}

void SensorDevice::restart() {
    Programming programming(*this);
    runSlot(kSlotStopRestart);
    programMode(state_.mode);
}

void SensorDevice::stop() {
    Programming programming(*this);
    runSlot(kSlotStopRestart);
}

void SensorDevice::setMirror(int axis, bool on) {
    if (axis != 0 && axis != 1) return;
    Programming programming(*this);
    (axis == 0 ? mirrorHorizontal_ : mirrorVertical_) = static_cast<std::uint8_t>(on ? 1 : 0);
    bool rotate180 = false, mirrorLeftRight = false;
    mirrorBytes(mirrorHorizontal_ != 0, mirrorVertical_ != 0, rotate180, mirrorLeftRight);
    std::lock_guard lock(state_.layoutLock);
    state_.rotate180 = rotate180 ? 1 : 0;
    state_.mirrorLeftRight = mirrorLeftRight ? 1 : 0;
}

bool SensorDevice::mirror(int axis) const {
    if (axis == 0) return mirrorHorizontal_ != 0;
    if (axis == 1) return mirrorVertical_ != 0;
    return false;
}

void SensorDevice::setGains(int red, int green, int blue) {
    std::lock_guard lock(pictureLock_);
    state_.redGain = red;
    state_.greenGain = green;
    state_.blueGain = blue;
    handOffGains();
}

void SensorDevice::setGamma(int value) {
    std::lock_guard lock(pictureLock_);
    state_.gamma = std::clamp(value, kMinGamma, kMaxGamma);
    handOffGamma();
}

void SensorDevice::setContrast(int value) {
    std::lock_guard lock(pictureLock_);
    state_.contrast = std::clamp(value, kMinContrast, kMaxContrast);
    handOffContrast();
}

void SensorDevice::setSaturation(int effective) {
    std::lock_guard lock(pictureLock_);
    state_.saturation = std::clamp(effective, kMinSaturation, kMaxSaturation);
    handOffSaturation();
}

void SensorDevice::applyPictureSettings() {
    std::lock_guard lock(pictureLock_);
    handOffGains();
    handOffGamma();
    handOffContrast();
    handOffSaturation();
}

// Both processors always get the same values, so either can decode the next frame.
void SensorDevice::handOffGains() {
    const float blue = gainFactor(state_.blueGain), green = gainFactor(state_.greenGain),
                red = gainFactor(state_.redGain);
    processor8_.setGains(blue, green, red);
    processor16_.setGains(blue, green, red);
}

void SensorDevice::handOffGamma() {
    const float exponent = gammaExponent(state_.gamma);
    processor8_.setGamma(exponent);
    processor16_.setGamma(exponent);
}

void SensorDevice::handOffContrast() {
    const float factor = contrastFactor(state_.contrast);
    processor8_.setContrast(factor);
    processor16_.setContrast(factor);
}

void SensorDevice::handOffSaturation() {
    const float value = saturationFactor(state_.saturation);
    processor8_.setSaturation(value);
    processor16_.setSaturation(value);
}

void SensorDevice::gains(int& red, int& green, int& blue) const {
    red = state_.redGain;
    green = state_.greenGain;
    blue = state_.blueGain;
}

float SensorDevice::rowTime() const {
    return rowTimeMicros(state_.mode, state_.frameSpeed);
}

void SensorDevice::imageSize(int& width, int& height) const {
    std::lock_guard lock(state_.layoutLock);
    width = state_.geometry.outputWidth;
    height = state_.geometry.outputHeight;
}

void SensorDevice::rawSize(int& width, int& height) const {
    width = state_.rawWidth;
    height = state_.rawHeight;
}

ModeGeometry SensorDevice::geometry() const {
    std::lock_guard lock(state_.layoutLock);
    return state_.geometry;
}

FrameLayout SensorDevice::frameLayout() const {
    std::lock_guard lock(state_.layoutLock);
    FrameLayout layout;
    layout.width = state_.geometry.processingWidth;
    layout.height = state_.geometry.processingHeight;
    layout.outputWidth = state_.geometry.outputWidth;
    layout.outputHeight = state_.geometry.outputHeight;
    layout.rotate180 = state_.rotate180 != 0;
    layout.mirrorLeftRight = state_.mirrorLeftRight != 0;
    return layout;
}

}  // namespace ostra
