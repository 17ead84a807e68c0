#pragma once
#include <array>
#include <string>

#include "control/picture_values.h"

class CameraSession;

// A slider's range.
struct SliderRange {
    int minimum = 0, maximum = 0;
    bool operator==(const SliderRange&) const = default;
};

// Everything the panel shows of the record after a refresh: slider ranges and positions,
// labels, check boxes and the exposure fields.
struct PanelValues {
    picture::ExposureFields exposure;
    unsigned longestExposureMs = picture::kFieldsLongestMs;
    SliderRange gainRange, contrastRange, gammaRange, colourRange, saturationRange;
    int gain = 0, contrast = 0, gamma = 0, saturation = 0;
    std::array<int, 3> colourGains{};  // red, green, blue
    std::string gainLabel, contrastLabel, gammaLabel, saturationLabel;
    std::array<std::string, 3> colourLabels;
    bool adjustSaturation = false, monochrome = false, overExposure = false;
    bool flipHorizontal = false, flipVertical = false;
    int resolutionEntry = 0;
    int frameSpeedEntry = 0;
};

// The control panel's logic, without widgets. Every value lives in the session's record:
// each setter copies the control's value into it and sends one camera command. The
// camera sliders do nothing while the camera is closed; the check boxes and the sharpen
// controls act in any state.
class CameraControls {
  public:
    explicit CameraControls(CameraSession& session) : session_(session) {}

    // The record's family decides the conversions (the second family stores positions).
    bool nimbus() const;

    // Sliders: true when a command reached the camera.
    bool setGain(int position);
    bool setContrast(int position);
    bool setGamma(int position);
    enum Colour { Red = 0, Green = 1, Blue = 2 };
    bool setColourGain(Colour colour, int position);
    bool setSaturation(int position);
    // Labels for a slider position under the record's family.
    std::string contrastLabel(int position) const;
    std::string gammaLabel(int position) const;

    // Check boxes.
    void setColourEnhancement(bool on);
    void setMonochrome(bool on);
    void setFlipHorizontal(bool on);
    void setFlipVertical(bool on);
    void setOverExposureWarning(bool on);
    void setNoiseReduction(bool on);
    void setSharpen(bool on);
    void setSharpenPosition(int position);

    // After a picture change the last frame is shown again (in 200 ms) when the next
    // one is at least a second away.
    bool redisplayWanted() const;

    // "Change Exp": the first press unlocks the fields; the second applies them. The
    // exposure never exceeds what the camera takes at its current speed.
    enum class ExposureStep { Unlocked, Applied };
    struct ExposureChange {
        ExposureStep step = ExposureStep::Unlocked;
        unsigned exposureMs = 0;  // the exposure now in the record
        bool shortened = false;   // the fields asked for more than the camera takes
    };
    ExposureChange changeExposure(const picture::ExposureFields& fields);
    bool exposureEntryOpen() const;

    // "Default": the family's values into the record and to the camera. The panel then
    // refreshes and runs a white balance.
    void setDefaults();

    // "One Push WB". The first family is polled until it reports the balance done, at
    // most kBalancePolls times kBalancePollMs apart; the second answers at once.
    static constexpr int kBalancePollMs = 500;
    static constexpr int kBalancePolls = 10;
    enum class Balance { Running, Done, Failed };
    Balance startWhiteBalance();
    Balance pollWhiteBalance();

    // Reads the second family's ranges from the camera and the record into values.
    PanelValues refresh();

  private:
    bool cameraClosed() const;
    Balance finishWhiteBalance();

    CameraSession& session_;
    int balancePolls_ = 0;
};
