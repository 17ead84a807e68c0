#include "control/camera_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimerEvent>
#include <QVBoxLayout>
#include <algorithm>

#include "save/save_panel.h"
#include "session/camera_session.h"
#include "ui/control_ids.h"
#include "ui/messages.h"

// Exposures beyond this many milliseconds step the progress bars in hundredths.
constexpr unsigned kLongExposureMs = 600000u;

CCameraPanel::CCameraPanel(CameraSession& session, QObject* mainFrame, QWidget* parent)
    : QWidget(parent), session_(session), mainFrame_(mainFrame) {
    setObjectName(ctrl::name(ctrl::camera::Dialog));
    setAccessibleName(QStringLiteral("Property"));

    startButton_ = new QPushButton(QStringLiteral("Start Camera"), this);
    startButton_->setObjectName(ctrl::name(ctrl::camera::StartCamera));
    startButton_->setAccessibleName(QStringLiteral("Start Camera"));
    connect(startButton_, &QPushButton::clicked, this, &CCameraPanel::startCamera);

    resolution_ = new QComboBox(this);
    resolution_->setObjectName(ctrl::name(ctrl::camera::Resolution));
    resolution_->setAccessibleName(QStringLiteral("Resolution"));
    sixteenBit_ = new QCheckBox(QStringLiteral("16-bit"), this);
    sixteenBit_->setObjectName(ctrl::name(ctrl::camera::SixteenBit));
    sixteenBit_->setAccessibleName(QStringLiteral("16-bit"));

    progress_ = new QProgressBar(this);
    progress_->setObjectName(ctrl::name(ctrl::camera::ExposureProgress));
    progress_->setAccessibleName(QStringLiteral("Exposure progress"));
    progress_->setTextVisible(false);
    progress_->setRange(0, 100);
    progress_->setValue(0);
    connect(resolution_, &QComboBox::activated, this, &CCameraPanel::resolutionChanged);

    auto* camera = new QGroupBox(QStringLiteral("Camera"), this);
    auto* cameraLayout = new QVBoxLayout(camera);
    auto* resolutionRow = new QHBoxLayout;
    resolutionRow->addWidget(resolution_, 1);
    resolutionRow->addWidget(sixteenBit_);
    cameraLayout->addLayout(resolutionRow);
    cameraLayout->addWidget(startButton_);
    cameraLayout->addWidget(progress_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(camera);
    layout->addStretch(1);
}

void CCameraPanel::startUp() {
    // Which family is attached decides the resolution names and the 16-bit box.
    detectedFamily_ = session_.detectFamily();
    const bool nimbus = detectedFamily_ == KD_FAMILY_NIMBUS;
    sixteenBit_->setVisible(!nimbus);
    resolution_->clear();
    if (nimbus) {
        resolution_->addItems({QStringLiteral("2584*1936"), QStringLiteral("1272*952Skip2"),
                               QStringLiteral("632*472Skip4"), QStringLiteral("1272*952Bin2"),
                               QStringLiteral("632*472Bin4")});
    } else {
        resolution_->addItems({QStringLiteral("3032*2018"), QStringLiteral("(2*2Bin)"),
                               QStringLiteral("(3*3Bin)"), QStringLiteral("(4*4Bin)")});
    }
    resolution_->setCurrentIndex(0);
}

int CCameraPanel::progressRange(unsigned exposureMs) {
    if (exposureMs > kLongExposureMs) return 99;
    return static_cast<int>((exposureMs + 750u) / 15u);
}

int CCameraPanel::progressPeriod(unsigned exposureMs) {
    if (exposureMs > kLongExposureMs) return static_cast<int>(exposureMs / 100u);
    return 10;
}

bool CCameraPanel::event(QEvent* event) {
    if (event->type() != KdMessageEvent::eventType()) return QWidget::event(event);
    auto* m = static_cast<KdMessageEvent*>(event);
    switch (m->message) {
        case msg::PanelsEnable:
            applyEnableRules();
            break;
        case msg::PanelsReload:
            refreshFromRecord();
            break;
        case msg::MainClosing:
            stopProgressTimer();
            break;
        case msg::StartCameraKey:
            startCamera();
            break;
        case msg::RestartExposure:
            restartProgress();
            break;
        case msg::Command:
            if (m->wParam == static_cast<quintptr>(ctrl::camera::StartCamera)) startCamera();
            break;
        default:
            break;
    }
    m->result = 0;
    return true;
}

void CCameraPanel::startCamera() {
    switch (session_.toggle(sixteenBit_->isChecked())) {
        case CameraSession::Toggle::Opened:
            progressRange_ = progressRange(session_.record().exposure_ms);
            progress_->setRange(0, progressRange_ + 1);
            progress_->setValue(1);
            break;
        case CameraSession::Toggle::Closed:
            stopProgressTimer();
            break;
        case CameraSession::Toggle::OpenFailed:
            break;
    }
    setStartCaption();
    sendMessage(mainFrame_, msg::PanelsEnable);
    if (savePanel_ != nullptr) savePanel_->fileNameField()->setFocus();
}

void CCameraPanel::setStartCaption() {
    const bool closed = session_.closed();
    const QString caption = closed ? QStringLiteral("Start Camera") : QStringLiteral("Stop Camera");
    startButton_->setText(caption);
    if (savePanel_ != nullptr) savePanel_->startButton()->setText(caption);
    sixteenBit_->setEnabled(closed);
}

void CCameraPanel::applyEnableRules() {
    resolution_->setEnabled(session_.closed());
    startButton_->setEnabled(session_.uiFlag(UiFlag::StartCamera) != 0);
    progress_->setEnabled(session_.uiFlag(UiFlag::ExposureEntry) != 0);
}

void CCameraPanel::refreshFromRecord() {
    detectedFamily_ = session_.detectFamily();
    const int entry =
        CameraSession::resolutionEntry(detectedFamily_, session_.record().resolution_index);
    if (entry >= 0 && entry < resolution_->count()) resolution_->setCurrentIndex(entry);
}

void CCameraPanel::resolutionChanged(int entry) {
    if (entry < 0) return;
    session_.selectResolution(CameraSession::resolutionOfEntry(detectedFamily_, entry));
}

void CCameraPanel::armProgressBars(int range) {
    QProgressBar* bars[] = {progress_, savePanel_ ? savePanel_->progressBar() : nullptr};
    for (QProgressBar* bar : bars) {
        if (bar == nullptr) continue;
        bar->setRange(0, range + 1);
        bar->setValue(1);
    }
}

void CCameraPanel::restartProgress() {
    if (!session_.running()) return;
    stopProgressTimer();
    // While the exposure entry is open the bars stay as the user left them.
    if (session_.uiFlag(UiFlag::ExposureEntry) == 1 && captureButton_ != nullptr &&
        captureButton_->isEnabled())
        return;
    armProgressBars(progressRange_);
    progressTimer_ = startTimer(progressPeriod(session_.record().exposure_ms));
}

void CCameraPanel::stopProgressTimer() {
    if (progressTimer_ != 0) killTimer(progressTimer_);
    progressTimer_ = 0;
}

void CCameraPanel::timerEvent(QTimerEvent* event) {
    if (event->timerId() != progressTimer_) {
        QWidget::timerEvent(event);
        return;
    }
    const int step = std::min(progress_->value() + 1, progressRange_);
    progress_->setValue(step);
    if (savePanel_ != nullptr) savePanel_->progressBar()->setValue(step);
}
