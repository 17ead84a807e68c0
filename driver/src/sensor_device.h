#pragma once
#include <cstdint>
#include <mutex>

#include "color_processor.h"
#include "frame_layout.h"
#include "mode_geometry.h"
#include "sensor_command_table.h"
#include "sensor_state.h"
#include "usb_channel.h"

namespace ostra {

// The driver's model of the camera: keeps every sensor parameter in the SensorState,
// programs the sensor through the command table, and hands the picture settings to
// both colour processors.
//
// Life: construct (nothing opened) -> attach(mode) opens the camera -> startup()
// programs it -> setters re-program it while frames are read on other threads ->
// stop() and close at the end.
//
// Every re-programming raises the busy flag first and lowers it last, so a frame read
// that overlaps it gives no frame. Re-programmings are serialised among themselves so
// that their requests never interleave on the wire and one never lowers the flag
// while another is still sending.
class SensorDevice {
  public:
    // `decodeLock` is the owner's lock around every decode; the colour processors
    // take it while they rebuild their tables.
    explicit SensorDevice(std::mutex& decodeLock);
    ~SensorDevice();
    SensorDevice(const SensorDevice&) = delete;
    SensorDevice& operator=(const SensorDevice&) = delete;

    // Stores the mode (0..4), fills the mode table and opens the camera. False for a
    // mode outside 0..4 or when no camera opens; the device is usable only after true.
    bool attach(int mode);
    bool isOpen() const { return channel_.isOpen(); }

    // End of the camera's initialisation: stamps the read-start and settle ticks,
    // programs frame speed and mode, and hands the picture settings to the processors.
    void startup();

    // Sensor parameters. Each clamps, stores and sends.
    bool setMode(int mode);  // false (nothing changes) for a mode outside 0..4
    void setFrameSpeed(int speed);
    void setAnalogueGain(int gain);
    void setExposureRows(std::uint32_t rows);
    void setDataWidth(int bytesPerSample);
    void setBlackLevel(int level);
    void setLongExposurePower(int power);
    void restart();  // stop/restart the sensor, then program the current mode again
    void stop();     // stop/restart request only, before closing

    // Mirror flags: axis 0 horizontal, 1 vertical; other axes are ignored.
    void setMirror(int axis, bool on);
    bool mirror(int axis) const;

    // Picture settings, handed to both colour processors at once.
    void setGains(int red, int green, int blue);  // 1/64 units
    void setGamma(int value);                     // 20..150
    void setContrast(int value);                  // 0..255
    void setSaturation(int effective);            // 0..255
    void applyPictureSettings();

    // Getters of the stored values.
    int mode() const { return state_.mode; }
    int frameSpeed() const { return state_.frameSpeed; }
    int analogueGain() const { return state_.analogueGain; }
    std::uint32_t exposureRows() const { return state_.exposureRows; }
    int dataWidth() const { return state_.dataWidth; }
    int blackLevel() const { return state_.blackLevel; }
    int longExposurePower() const { return state_.longExposurePower; }
    int gamma() const { return state_.gamma; }
    int contrast() const { return state_.contrast; }
    int saturation() const { return state_.saturation; }
    void gains(int& red, int& green, int& blue) const;
    float rowTime() const;                          // microseconds
    void imageSize(int& width, int& height) const;  // output size of the current mode
    void rawSize(int& width, int& height) const;    // read-out size of the current mode
    ModeGeometry geometry() const;
    // Sizes and mirror bytes for the decode, taken together.
    FrameLayout frameLayout() const;

    bool busy() const { return state_.busy.load(std::memory_order_relaxed) != 0; }
    // Set by a data-width change; the frame reader drops the next short read.
    bool discardNextFrame() const { return discardNextFrame_; }
    void setDiscardNextFrame(bool discard) { discardNextFrame_ = discard; }

    SensorState& state() { return state_; }
    const SensorState& state() const { return state_; }
    UsbChannel& channel() { return channel_; }
    ColorProcessor8& processor8() { return processor8_; }
    ColorProcessor16& processor16() { return processor16_; }

  private:
    // Raises the busy flag for the life of one re-programming.
    class Programming;

    void runSlot(int slot) { state_.commands->run(slot, state_); }
    void programMode(int mode);
    void loadGeometry(const ModeGeometry& geometry);
    void handOffGains();
    void handOffGamma();
    void handOffContrast();
    void handOffSaturation();
    void stampSettle(std::uint32_t delayMs);

    SensorState state_;
    UsbChannel channel_;
    std::mutex programmingLock_;
    std::mutex pictureLock_;  // keeps the stored picture settings and the processors' alike
    ColorProcessor8 processor8_;
    ColorProcessor16 processor16_;
    RelaxedAtomic<std::uint8_t> mirrorHorizontal_{0};
    RelaxedAtomic<std::uint8_t> mirrorVertical_{0};
    RelaxedAtomic<bool> discardNextFrame_{false};
};

}  // namespace ostra
