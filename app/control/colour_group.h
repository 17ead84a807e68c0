#pragma once
#include <QGroupBox>
#include <QTimer>
#include <array>

#include "control/camera_controls.h"
#include "ui/slider_row.h"

class QCheckBox;
class QPushButton;

// The "Colour" group: "One Push WB" (polled from a timer, so the window stays live),
// the red, green and blue gains, saturation with "Adjust saturation", and "Monochrome".
class ColourGroup : public QGroupBox {
    Q_OBJECT
  public:
    ColourGroup(CameraControls& controls, CameraSession& session, QWidget* parent = nullptr);

    QPushButton* whiteBalanceButton() const { return balance_; }
    const SliderRow& colourGain(int colour) const { return gains_[colour]; }
    const SliderRow& saturation() const { return saturation_; }
    QCheckBox* adjustSaturation() const { return adjust_; }
    QCheckBox* monochrome() const { return mono_; }
    bool whiteBalanceRunning() const { return poll_.isActive(); }

    void startWhiteBalance();
    void stopWhiteBalance();
    void applyEnableRules();
    void refresh(const PanelValues& values);

  signals:
    void pictureChanged();

  private:
    void balanceStep(CameraControls::Balance state);
    void showColourGains();

    CameraControls& controls_;
    CameraSession& session_;
    QPushButton* balance_ = nullptr;
    std::array<SliderRow, 3> gains_;
    SliderRow saturation_;
    QCheckBox* adjust_ = nullptr;
    QCheckBox* mono_ = nullptr;
    QTimer poll_;            // the first family's balance state, every 500 ms
    QTimer restoreCaption_;  // "Fail" shows for 1.5 s
};
