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

#include "save/save_panel.h"
#include "shell/child_frame.h"
#include "shell/main_frame.h"
#include "shell/message_box.h"
#include "shell/messages.h"

namespace {

constexpr int kSecondFamily = 31;

QPushButton* saveStartButton(CMainFrame* frame) {
    CSavePanel* panel = frame ? frame->savePanel() : nullptr;
    return panel ? panel->findChild<QPushButton*>(QStringLiteral("1000")) : nullptr;
}

}  // namespace

CCameraPanel::CCameraPanel(CMainFrame* frame, QWidget* parent) : QWidget(parent), frame_(frame) {
    setObjectName(QStringLiteral("130"));

    startButton_ = new QPushButton(QStringLiteral("Start Camera"), this);
    startButton_->setObjectName(QStringLiteral("1000"));
    connect(startButton_, &QPushButton::clicked, this, &CCameraPanel::startCamera);

    resolution_ = new QComboBox(this);
    resolution_->setObjectName(QStringLiteral("1051"));
    sixteenBit_ = new QCheckBox(QStringLiteral("16-bit"), this);
    sixteenBit_->setObjectName(QStringLiteral("1104"));

    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("1007"));
    progress_->setTextVisible(false);
    progress_->setRange(0, 100);
    progress_->setValue(0);

    // Which family is attached decides the resolution names and the 16-bit box.
    detection_.camera_type = kSecondFamily;
    KdCamera_RefreshCamera(&detection_);
    sixteenBit_->setVisible(detection_.camera_type != kSecondFamily);
    if (detection_.camera_type == kSecondFamily) {
        resolution_->addItems({QStringLiteral("2584*1936"), QStringLiteral("1272*952Skip2"),
                               QStringLiteral("632*472Skip4"), QStringLiteral("1272*952Bin2"),
                               QStringLiteral("632*472Bin4")});
    } else {
        resolution_->addItems({QStringLiteral("3032*2018"), QStringLiteral("(2*2Bin)"),
                               QStringLiteral("(3*3Bin)"), QStringLiteral("(4*4Bin)")});
    }
    resolution_->setCurrentIndex(0);
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

int CCameraPanel::progressRange(unsigned exposureMs) {
    if (exposureMs > 600000u) return 99;
    return static_cast<int>((exposureMs + 750u) / 15u);
}

int CCameraPanel::progressPeriod(unsigned exposureMs) {
    if (exposureMs > 600000u) return static_cast<int>(exposureMs / 100u);
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
            if (m->wParam == 1000) startCamera();
            break;
        default:
            break;
    }
    m->result = 0;
    return true;
}

void CCameraPanel::startCamera() {
    if (frame_ == nullptr) return;
    CameraRecord& r = frame_->record();
    if (r.state == 4) {
        KdCamera_RefreshCamera(&r);
        sendMessage(frame_, msg::OpenCamera);
        if (r.state == 1) {
            settingsApplied_ = 1;
            sendMessage(frame_, msg::PanelsReload);
            const bool sixteen = sixteenBit_->isChecked();
            if (r.camera_type == kSecondFamily) {
                r.frame_speed = 1;
                r.data_width_16 = 0;
            } else {
                r.frame_speed = sixteen ? 4 : 3;
                r.data_width_16 = sixteen ? 1 : 0;
            }
            sendPictureSettings();
            const long started = sendMessage(frame_->activeChild(), msg::OpenCamera);
            if (started < 0) {
                // The preview could not get its buffers: no half-open camera is left.
                sendMessage(frame_, msg::CloseCamera);
                settingsApplied_ = 0;
                showMessageBox(frame_, QStringLiteral("Init Camera failed!"),
                               QStringLiteral("Error"), QMessageBox::Critical);
            } else {
                progressRange_ = progressRange(r.exposure_ms);
                progress_->setRange(0, progressRange_ + 1);
                progress_->setValue(1);
            }
        }
    } else {
        sendMessage(frame_, msg::CloseCamera);
        stopProgressTimer();
        if (r.state == 4) settingsApplied_ = 0;
    }
    setStartCaption();
    sendMessage(frame_, msg::PanelsEnable);
    if (CSavePanel* save = frame_->savePanel()) {
        if (auto* field = save->findChild<QLineEdit*>(QStringLiteral("1056"))) field->setFocus();
    }
}

void CCameraPanel::sendPictureSettings() {
    CameraRecord& r = frame_->record();
    // The frame-speed command re-reads the exposure into the record; keep the user's.
    const unsigned exposure = r.exposure_ms;
    KdCamera_ReadWrite(&r, CAMCMD_FRAME_SPEED, 0);
    r.exposure_ms = exposure;
    for (int command : {CAMCMD_EXPOSURE, CAMCMD_DATA_WIDTH, CAMCMD_ANALOG_GAIN, CAMCMD_CONTRAST,
                        CAMCMD_GAMMA, CAMCMD_APPLY_EXPOSURE_RESTART, CAMCMD_RGB_GAIN,
                        CAMCMD_SATURATION, CAMCMD_MIRROR_2, CAMCMD_MIRROR_1, CAMCMD_MONOCHROME}) {
        KdCamera_ReadWrite(&r, command, 0);
    }
}

void CCameraPanel::setStartCaption() {
    const bool closed = frame_->record().state == 4;
    const QString caption = closed ? QStringLiteral("Start Camera") : QStringLiteral("Stop Camera");
    startButton_->setText(caption);
    if (QPushButton* hidden = saveStartButton(frame_)) hidden->setText(caption);
    sixteenBit_->setEnabled(closed);
}

void CCameraPanel::applyEnableRules() {
    if (frame_ == nullptr) return;
    const int state = frame_->record().state;
    resolution_->setEnabled(state == 4);
    startButton_->setEnabled(frame_->uiFlag(1) != 0);
    progress_->setEnabled(frame_->uiFlag(2) != 0);
}

void CCameraPanel::refreshFromRecord() {
    if (frame_ == nullptr) return;
    KdCamera_RefreshCamera(&detection_);
    const CameraRecord& r = frame_->record();
    int entry = r.resolution_index;
    if (detection_.camera_type != kSecondFamily)
        entry = r.resolution_index == 0 ? 0 : r.resolution_index - 1;
    if (entry >= 0 && entry < resolution_->count()) resolution_->setCurrentIndex(entry);
}

void CCameraPanel::resolutionChanged(int entry) {
    if (frame_ == nullptr || entry < 0) return;
    CameraRecord& r = frame_->record();
    r.resolution_index =
        detection_.camera_type == kSecondFamily ? entry : (entry == 0 ? 0 : entry + 1);
    r.crop_left = 0;
    r.crop_top = 0;
    r.crop_right = r.image_width;
    r.crop_bottom = r.image_height;
}

void CCameraPanel::armProgressBars(int range) {
    QProgressBar* bars[] = {progress_, nullptr};
    if (CSavePanel* save = frame_ ? frame_->savePanel() : nullptr) {
        bars[1] = save->findChild<QProgressBar*>(QStringLiteral("1007"));
    }
    for (QProgressBar* bar : bars) {
        if (bar == nullptr) continue;
        bar->setRange(0, range + 1);
        bar->setValue(1);
    }
}

void CCameraPanel::restartProgress() {
    if (frame_ == nullptr || frame_->record().state != 1) return;
    stopProgressTimer();
    // While the exposure entry is open the bars stay as the user left them.
    if (frame_->uiFlag(2) == 1) {
        auto* capture = findChild<QWidget*>(QStringLiteral("1004"));
        if (capture != nullptr && capture->isEnabled()) return;
    }
    armProgressBars(progressRange_);
    progressTimer_ = startTimer(progressPeriod(frame_->record().exposure_ms));
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
    if (CSavePanel* save = frame_ ? frame_->savePanel() : nullptr) {
        if (auto* bar = save->findChild<QProgressBar*>(QStringLiteral("1007"))) bar->setValue(step);
    }
}
