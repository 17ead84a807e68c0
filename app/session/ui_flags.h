#pragma once
#include <array>
#include <cstddef>

// The 23 UI-state flags the panels read to enable their controls. The camera session
// sets the "running" group each time the camera opens or closes; the panels set the
// entry flags themselves.
enum class UiFlag : int {
    CameraClosed = 0,     // the camera is closed
    StartCamera = 1,      // "Start Camera" usable (always 1)
    ExposureEntry = 2,    // the exposure fields are unlocked ("Change Exp" pressed)
    NoiseReduction = 3,   // running
    RunningSpare4 = 4,    // running; no control reads it yet
    PictureControls = 5,  // running: gain, contrast, gamma, colour and speed controls
    RunningSpare6 = 6,    // running; no control reads it yet
    RunningSpare7 = 7,    // running; no control reads it yet
    Unused8 = 8,
    FlipHorizontal = 9,  // running
    FlipVertical = 10,   // running
    OverExposure = 11,   // running
    AreaDisplay = 12,    // running: selection, crop and full-screen controls
    Unused13 = 13,
    Unused14 = 14,
    Unused15 = 15,
    Unused16 = 16,
    Unused17 = 17,
    Unused18 = 18,
    Unused19 = 19,
    Capture = 20,          // running: capture allowed
    SequenceEntry = 21,    // the sequence fields are unlocked ("Change" pressed)
    SaveSettingsOpen = 22  // cleared by the save panel's "Change Setting"
};

constexpr std::size_t kUiFlagCount = 23;

// The flags that follow "the camera is running" on every open and close.
constexpr UiFlag kRunningFlags[] = {
    UiFlag::NoiseReduction, UiFlag::RunningSpare4,  UiFlag::PictureControls, UiFlag::RunningSpare6,
    UiFlag::RunningSpare7,  UiFlag::FlipHorizontal, UiFlag::FlipVertical,    UiFlag::OverExposure,
    UiFlag::AreaDisplay,    UiFlag::Capture};

// The flags as the main frame starts: only CameraClosed and StartCamera set.
class UiFlags {
  public:
    UiFlags() {
        set(UiFlag::CameraClosed, 1);
        set(UiFlag::StartCamera, 1);
    }
    int get(UiFlag flag) const { return flags_[index(flag)]; }
    void set(UiFlag flag, int value) { flags_[index(flag)] = value; }

  private:
    static std::size_t index(UiFlag flag) { return static_cast<std::size_t>(flag); }
    std::array<int, kUiFlagCount> flags_{};
};
