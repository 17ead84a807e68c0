#pragma once
#include <QGroupBox>

#include "control/camera_controls.h"

class QLabel;
class QProgressBar;
class CColourButton;
class CNumberEdit;

// The "Exposure" group: minutes, seconds and milliseconds, "Change Exp" in its two steps,
// the exposure's progress bar (with the save panel's beside it) and its timer.
class ExposureGroup : public QGroupBox {
    Q_OBJECT
  public:
    ExposureGroup(CameraControls& controls, CameraSession& session, QWidget* parent = nullptr);

    void setSaveProgressBar(QProgressBar* bar) { saveProgress_ = bar; }
    QProgressBar* progressBar() const { return progress_; }
    CColourButton* changeButton() const { return change_; }
    CNumberEdit* minutesField() const { return minutes_; }
    CNumberEdit* secondsField() const { return seconds_; }
    CNumberEdit* millisecondsField() const { return millis_; }
    QLabel* longestLabel() const { return longest_; }
    picture::ExposureFields fields() const;

    void applyEnableRules();
    void refresh(const PanelValues& values);
    // The camera opened: this panel's bar shows the start of an exposure, no timer yet.
    void cameraOpened();
    void stopProgressTimer();
    // 1263: a frame was shown or the live view started.
    void restartProgress();
    // Is the Capture button usable (the progress keeps still while the entry is open)?
    void setCaptureEnabledQuery(std::function<bool()> query) { captureEnabled_ = std::move(query); }

  protected:
    void timerEvent(QTimerEvent* event) override;

  private:
    void changeExposure();
    void armProgressBars(int range);
    void startProgressTimer();
    void showFields(unsigned exposureMs);
    void showLongest(unsigned longestMs, bool shortened);

    CameraControls& controls_;
    CameraSession& session_;
    QLabel* label_ = nullptr;
    CNumberEdit* minutes_ = nullptr;
    CNumberEdit* seconds_ = nullptr;
    CNumberEdit* millis_ = nullptr;
    QLabel* units_[3] = {};
    CColourButton* change_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QProgressBar* saveProgress_ = nullptr;
    QLabel* longest_ = nullptr;
    std::function<bool()> captureEnabled_;
    int progressTimer_ = 0;  // one step of the exposure progress
    int progressRange_ = 0;
};
