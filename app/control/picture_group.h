#pragma once
#include <QGroupBox>

#include "control/camera_controls.h"
#include "ui/slider_row.h"

class QCheckBox;

// The "Picture" group: gain with its dB label, contrast and gamma on their display
// scales, noise reduction, the two flips and sharpening with its strength.
class PictureGroup : public QGroupBox {
    Q_OBJECT
  public:
    PictureGroup(CameraControls& controls, CameraSession& session, QWidget* parent = nullptr);

    const SliderRow& gain() const { return gain_; }
    const SliderRow& contrast() const { return contrast_; }
    const SliderRow& gamma() const { return gamma_; }
    const SliderRow& sharpenStrength() const { return sharpenStrength_; }
    QCheckBox* noiseReduction() const { return noise_; }
    QCheckBox* flipHorizontal() const { return flipH_; }
    QCheckBox* flipVertical() const { return flipV_; }
    QCheckBox* sharpen() const { return sharpen_; }

    // The second family calls noise reduction "Dead correct".
    void setFamily(int family);
    void applyEnableRules();
    void refresh(const PanelValues& values);

  signals:
    // A value that shows in the picture changed (the last frame may be shown again).
    void pictureChanged();

  private:
    CameraControls& controls_;
    CameraSession& session_;
    SliderRow gain_, contrast_, gamma_, sharpenStrength_;
    QCheckBox* noise_ = nullptr;
    QCheckBox* flipH_ = nullptr;
    QCheckBox* flipV_ = nullptr;
    QCheckBox* sharpen_ = nullptr;
};
