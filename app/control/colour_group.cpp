#include "control/colour_group.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include "session/camera_session.h"
#include "ui/control_ids.h"

namespace {
constexpr int kFailCaptionMs = 1500;
const QString kBalanceCaption = QStringLiteral("One Push WB");
}  // namespace

ColourGroup::ColourGroup(CameraControls& controls, CameraSession& session, QWidget* parent)
    : QGroupBox(QString::fromLatin1(ctrl::camera::ColourTitle), parent),
      controls_(controls),
      session_(session) {
    using namespace ctrl::camera;
    setObjectName(QString::fromLatin1(ColourTitle));
    auto* grid = new QGridLayout(this);
    balance_ = new QPushButton(kBalanceCaption, this);
    balance_->setObjectName(ctrl::name(OnePushWhiteBalance));
    grid->addWidget(balance_, 0, 0, 1, 3);
    const struct {
        const char* caption;
        int captionId, sliderId, valueId;
        const char* valueName;
    } rows[] = {{"R gain:", RedLabel, GainRed, RedValue, "Red gain value"},
                {"G gain:", GreenLabel, GainGreen, GreenValue, "Green gain value"},
                {"B gain:", BlueLabel, GainBlue, BlueValue, "Blue gain value"}};
    for (int i = 0; i < 3; ++i) {
        gains_[i] = SliderRow::add(grid, 1 + i, QString::fromLatin1(rows[i].caption),
                                   rows[i].captionId, rows[i].sliderId, rows[i].valueId,
                                   QString::fromLatin1(rows[i].valueName));
        gains_[i].show(0, 255, 64, QString::fromStdString(picture::colourGainLabel(64)));
        connect(gains_[i].slider, &QSlider::valueChanged, this, [this, i](int position) {
            if (!controls_.setColourGain(static_cast<CameraControls::Colour>(i), position)) return;
            gains_[i].setValueText(QString::fromStdString(picture::colourGainLabel(position)));
            emit pictureChanged();
        });
    }
    adjust_ = new QCheckBox(QStringLiteral("Adjust saturation"), this);
    adjust_->setObjectName(ctrl::name(AdjustSaturation));
    grid->addWidget(adjust_, 4, 0, 1, 3);
    saturation_ = SliderRow::add(grid, 5, QStringLiteral("Saturation:"), SaturationLabel,
                                 Saturation, SaturationValue, QStringLiteral("Saturation value"));
    saturation_.show(0, 255, 128, QStringLiteral("128"));
    mono_ = new QCheckBox(QStringLiteral("Monochrome"), this);
    mono_->setObjectName(ctrl::name(Monochrome));
    grid->addWidget(mono_, 6, 0, 1, 3);

    connect(saturation_.slider, &QSlider::valueChanged, this, [this](int position) {
        if (!controls_.setSaturation(position)) return;
        saturation_.setValueText(QString::number(position));
        emit pictureChanged();
    });
    connect(adjust_, &QCheckBox::toggled, this, [this](bool on) {
        controls_.setColourEnhancement(on);
        applyEnableRules();
    });
    connect(mono_, &QCheckBox::toggled, this, [this](bool on) {
        controls_.setMonochrome(on);
        emit pictureChanged();
    });
    connect(balance_, &QPushButton::clicked, this, &ColourGroup::startWhiteBalance);

    poll_.setInterval(CameraControls::kBalancePollMs);
    connect(&poll_, &QTimer::timeout, this, [this] { balanceStep(controls_.pollWhiteBalance()); });
    restoreCaption_.setSingleShot(true);
    restoreCaption_.setInterval(kFailCaptionMs);
    connect(&restoreCaption_, &QTimer::timeout, this,
            [this] { balance_->setText(kBalanceCaption); });
}

void ColourGroup::startWhiteBalance() {
    if (poll_.isActive()) return;  // one balance at a time
    balanceStep(controls_.startWhiteBalance());
}

void ColourGroup::stopWhiteBalance() {
    poll_.stop();
}

void ColourGroup::balanceStep(CameraControls::Balance state) {
    switch (state) {
        case CameraControls::Balance::Running:
            if (!poll_.isActive()) poll_.start();
            return;
        case CameraControls::Balance::Done:
            poll_.stop();
            showColourGains();
            return;
        case CameraControls::Balance::Failed:
            poll_.stop();
            balance_->setText(QStringLiteral("Fail"));
            restoreCaption_.start();
            return;
    }
}

void ColourGroup::showColourGains() {
    const CameraRecord& r = session_.record();
    const int gains[] = {r.gain_r, r.gain_g, r.gain_b};
    for (int i = 0; i < 3; ++i) {
        const QSignalBlocker quiet(gains_[i].slider);
        gains_[i].slider->setValue(gains[i]);
        gains_[i].setValueText(QString::fromStdString(picture::colourGainLabel(gains[i])));
    }
}

void ColourGroup::applyEnableRules() {
    const bool picture = session_.uiFlag(UiFlag::PictureControls) != 0;
    balance_->setEnabled(picture);
    for (const SliderRow& row : gains_) row.setEnabled(picture);
    adjust_->setEnabled(picture);
    mono_->setEnabled(picture);
    saturation_.setEnabled(picture && session_.record().color_enhancement != 0);
}

void ColourGroup::refresh(const PanelValues& v) {
    for (int i = 0; i < 3; ++i)
        gains_[i].show(v.colourRange.minimum, v.colourRange.maximum, v.colourGains[i],
                       QString::fromStdString(v.colourLabels[i]));
    saturation_.show(v.saturationRange.minimum, v.saturationRange.maximum, v.saturation,
                     QString::fromStdString(v.saturationLabel));
    for (auto [box, on] :
         {std::pair{adjust_, v.adjustSaturation}, std::pair{mono_, v.monochrome}}) {
        const QSignalBlocker quiet(box);
        box->setChecked(on);
    }
}
