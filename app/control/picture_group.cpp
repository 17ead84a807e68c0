#include "control/picture_group.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QSlider>

#include "session/camera_session.h"
#include "ui/control_ids.h"

namespace {
constexpr int kSharpenMin = 1, kSharpenMax = 30, kSharpenStart = 10;

QCheckBox* checkBox(const QString& caption, int id, QWidget* parent) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(ctrl::name(id));
    return box;
}
}  // namespace

PictureGroup::PictureGroup(CameraControls& controls, CameraSession& session, QWidget* parent)
    : QGroupBox(QString::fromLatin1(ctrl::camera::PictureTitle), parent),
      controls_(controls),
      session_(session) {
    using namespace ctrl::camera;
    setObjectName(QString::fromLatin1(PictureTitle));
    auto* grid = new QGridLayout(this);
    gain_ = SliderRow::add(grid, 0, QStringLiteral("Gain:"), GainLabel, Gain, GainValue,
                           QStringLiteral("Gain value"));
    contrast_ = SliderRow::add(grid, 1, QStringLiteral("Contrast:"), ContrastLabel, Contrast,
                               ContrastValue, QStringLiteral("Contrast value"));
    gamma_ = SliderRow::add(grid, 2, QStringLiteral("Gamma:"), GammaLabel, Gamma, GammaValue,
                            QStringLiteral("Gamma value"));
    gain_.show(25, 570, 40, QString::fromStdString(picture::gainLabel(40)));
    contrast_.show(0, 40, 20, QStringLiteral("0"));
    gamma_.show(0, 40, 20, QStringLiteral("0"));

    noise_ = checkBox(QStringLiteral("Noise reduction"), NoiseReduction, this);
    flipH_ = checkBox(QStringLiteral("Flip Horizontal"), FlipHorizontal, this);
    flipV_ = checkBox(QStringLiteral("Flip Vertical"), FlipVertical, this);
    grid->addWidget(noise_, 3, 0, 1, 3);
    grid->addWidget(flipH_, 4, 0, 1, 2);
    grid->addWidget(flipV_, 4, 1, 1, 2, Qt::AlignRight);

    sharpen_ = checkBox(QStringLiteral("Sharpen"), Sharpen, this);
    grid->addWidget(sharpen_, 5, 0, 1, 3);
    sharpenStrength_ = SliderRow::add(grid, 6, QStringLiteral("Strength:"), 0, SharpenStrength,
                                      SharpenValue, QStringLiteral("Sharpen strength value"));
    sharpenStrength_.caption->setObjectName(QString());
    sharpenStrength_.slider->setAccessibleName(QStringLiteral("Sharpen strength"));
    sharpenStrength_.show(kSharpenMin, kSharpenMax, kSharpenStart,
                          QString::fromStdString(picture::sharpenLabel(kSharpenStart)));
    controls_.setSharpenPosition(kSharpenStart);

    connect(gain_.slider, &QSlider::valueChanged, this, [this](int position) {
        if (controls_.setGain(position))
            gain_.setValueText(QString::fromStdString(picture::gainLabel(position)));
    });
    connect(contrast_.slider, &QSlider::valueChanged, this, [this](int position) {
        if (!controls_.setContrast(position)) return;
        contrast_.setValueText(QString::fromStdString(controls_.contrastLabel(position)));
        emit pictureChanged();
    });
    connect(gamma_.slider, &QSlider::valueChanged, this, [this](int position) {
        if (!controls_.setGamma(position)) return;
        gamma_.setValueText(QString::fromStdString(controls_.gammaLabel(position)));
        emit pictureChanged();
    });
    connect(noise_, &QCheckBox::toggled, this,
            [this](bool on) { controls_.setNoiseReduction(on); });
    connect(flipH_, &QCheckBox::toggled, this,
            [this](bool on) { controls_.setFlipHorizontal(on); });
    connect(flipV_, &QCheckBox::toggled, this, [this](bool on) { controls_.setFlipVertical(on); });
    connect(sharpen_, &QCheckBox::toggled, this, [this](bool on) { controls_.setSharpen(on); });
    connect(sharpenStrength_.slider, &QSlider::valueChanged, this, [this](int position) {
        controls_.setSharpenPosition(position);
        sharpenStrength_.setValueText(QString::fromStdString(picture::sharpenLabel(position)));
    });
}

void PictureGroup::setFamily(int family) {
    noise_->setText(family == KD_FAMILY_NIMBUS ? QStringLiteral("Dead correct")
                                               : QStringLiteral("Noise reduction"));
}

void PictureGroup::applyEnableRules() {
    const bool picture = session_.uiFlag(UiFlag::PictureControls) != 0;
    gain_.setEnabled(picture);
    contrast_.setEnabled(picture);
    gamma_.setEnabled(picture);
    noise_->setEnabled(session_.uiFlag(UiFlag::NoiseReduction) != 0);
    flipH_->setEnabled(session_.uiFlag(UiFlag::FlipHorizontal) != 0);
    flipV_->setEnabled(session_.uiFlag(UiFlag::FlipVertical) != 0);
}

void PictureGroup::refresh(const PanelValues& v) {
    gain_.show(v.gainRange.minimum, v.gainRange.maximum, v.gain,
               QString::fromStdString(v.gainLabel));
    contrast_.show(v.contrastRange.minimum, v.contrastRange.maximum, v.contrast,
                   QString::fromStdString(v.contrastLabel));
    gamma_.show(v.gammaRange.minimum, v.gammaRange.maximum, v.gamma,
                QString::fromStdString(v.gammaLabel));
    for (auto [box, on] :
         {std::pair{flipH_, v.flipHorizontal}, std::pair{flipV_, v.flipVertical}}) {
        const QSignalBlocker quiet(box);
        box->setChecked(on);
    }
}
