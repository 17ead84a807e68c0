#include "control/camera_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "control/colour_group.h"
#include "control/exposure_group.h"
#include "control/picture_group.h"
#include "control/reserved_groups.h"
#include "save/save_panel.h"
#include "session/camera_session.h"
#include "ui/colour_button.h"
#include "ui/control_ids.h"
#include "ui/messages.h"

namespace {
constexpr int kRedisplayDelayMs = 200;
// Read-out speeds "16-bit" selects while the camera is closed; the opening replaces them.
constexpr int kSixteenBitSpeed = 4, kEightBitClosedSpeed = 2;
}  // namespace

CCameraPanel::CCameraPanel(CameraSession& session, QObject* mainFrame, QWidget* parent)
    : QWidget(parent), session_(session), controls_(session), mainFrame_(mainFrame) {
    using namespace ctrl::camera;
    setObjectName(ctrl::name(Dialog));
    setAccessibleName(QStringLiteral("Property"));

    // Camera: resolution, bit depth, open and close, the family's defaults.
    auto* camera = new QGroupBox(QString::fromLatin1(CameraTitle), this);
    camera->setObjectName(QString::fromLatin1(CameraTitle));
    resolution_ = new QComboBox(camera);
    resolution_->setObjectName(ctrl::name(Resolution));
    resolution_->setAccessibleName(QStringLiteral("Resolution"));
    sixteenBit_ = new QCheckBox(QStringLiteral("16-bit"), camera);
    sixteenBit_->setObjectName(ctrl::name(SixteenBit));
    startButton_ = new CColourButton(QStringLiteral("Start Camera"), camera);
    startButton_->setObjectName(ctrl::name(StartCamera));
    defaultButton_ = new CColourButton(QStringLiteral("Default"), camera);
    defaultButton_->setObjectName(ctrl::name(Default));
    auto* cameraLayout = new QGridLayout(camera);
    cameraLayout->addWidget(resolution_, 0, 0);
    cameraLayout->addWidget(sixteenBit_, 0, 1);
    cameraLayout->addWidget(startButton_, 1, 0);
    cameraLayout->addWidget(defaultButton_, 1, 1);
    cameraLayout->setColumnStretch(0, 1);

    exposure_ = new ExposureGroup(controls_, session_, this);
    picture_ = new PictureGroup(controls_, session_, this);
    colour_ = new ColourGroup(controls_, session_, this);
    captureGroup_ = new ReservedGroup(QString::fromLatin1(CaptureTitle), this);
    histogram_ = new ReservedGroup(QString::fromLatin1(HistogramTitle), this);
    areaDisplay_ = new ReservedGroup(QString::fromLatin1(AreaDisplayTitle), this);
    settings_ = new ReservedGroup(QString::fromLatin1(SettingsTitle), this);
    exposure_->setCaptureEnabledQuery(
        [this] { return captureButton_ != nullptr && captureButton_->isEnabled(); });

    connect(startButton_, &QPushButton::clicked, this, &CCameraPanel::startCamera);
    connect(defaultButton_, &QPushButton::clicked, this, &CCameraPanel::setDefaults);
    connect(sixteenBit_, &QCheckBox::clicked, this, &CCameraPanel::sixteenBitClicked);
    connect(resolution_, &QComboBox::activated, this, &CCameraPanel::resolutionChanged);
    connect(picture_, &PictureGroup::pictureChanged, this, &CCameraPanel::pictureChanged);
    connect(colour_, &ColourGroup::pictureChanged, this, &CCameraPanel::pictureChanged);
    redisplay_.setSingleShot(true);
    redisplay_.setInterval(kRedisplayDelayMs);
    connect(&redisplay_, &QTimer::timeout, this,
            [this] { postMessage(mainFrame_, msg::Redisplay); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(settings_);
    layout->addWidget(camera);
    layout->addWidget(exposure_);
    layout->addWidget(picture_);
    layout->addWidget(colour_);
    layout->addWidget(captureGroup_);
    layout->addWidget(histogram_);
    layout->addWidget(areaDisplay_);
    layout->addStretch(1);
}

CCameraPanel::~CCameraPanel() = default;

QPushButton* CCameraPanel::startButton() const {
    return startButton_;
}
QPushButton* CCameraPanel::defaultButton() const {
    return defaultButton_;
}
QProgressBar* CCameraPanel::progressBar() const {
    return exposure_->progressBar();
}

void CCameraPanel::setSavePanel(CSavePanel* savePanel) {
    savePanel_ = savePanel;
    exposure_->setSaveProgressBar(savePanel != nullptr ? savePanel->progressBar() : nullptr);
}

void CCameraPanel::startUp() {
    // Which family is attached decides the resolution names and the 16-bit box.
    detectedFamily_ = session_.detectFamily();
    const bool nimbus = detectedFamily_ == KD_FAMILY_NIMBUS;
    sixteenBit_->setVisible(!nimbus);
    picture_->setFamily(detectedFamily_);
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

bool CCameraPanel::event(QEvent* event) {
    if (event->type() != KdMessageEvent::eventType()) return QWidget::event(event);
    auto* m = static_cast<KdMessageEvent*>(event);
    m->result = 0;
    switch (m->message) {
        case msg::PanelsEnable:
            applyEnableRules();
            break;
        case msg::PanelsReload:
            refreshFromRecord();
            break;
        case msg::PanelsUpdate:
            m->result = settings_->message(*m);
            break;
        case msg::MainClosing:
            exposure_->stopProgressTimer();
            break;
        case msg::StartCameraKey:
            startCamera();
            break;
        case msg::RestartExposure:
            exposure_->restartProgress();
            break;
        case msg::FrameDisplayed:
        case msg::CaptureKey:
        case msg::ExposureTimesDone:
        case msg::DelayedCapture:
        case msg::CapturePending:
            m->result = captureGroup_->message(*m);
            break;
        case msg::RefreshHistogram:
            m->result = histogram_->message(*m);
            break;
        case msg::Command:
            if (m->wParam == static_cast<quintptr>(ctrl::camera::StartCamera)) startCamera();
            break;
        default:
            break;
    }
    return true;
}

void CCameraPanel::startCamera() {
    switch (session_.toggle(sixteenBit_->isChecked())) {
        case CameraSession::Toggle::Opened:
            exposure_->cameraOpened();
            break;
        case CameraSession::Toggle::Closed:
            exposure_->stopProgressTimer();
            colour_->stopWhiteBalance();
            redisplay_.stop();
            break;
        case CameraSession::Toggle::OpenFailed:
            break;
    }
    setStartCaption();
    sendMessage(mainFrame_, msg::PanelsEnable);
    if (savePanel_ != nullptr) savePanel_->fileNameField()->setFocus();
}

void CCameraPanel::setDefaults() {
    controls_.setDefaults();
    sendMessage(this, msg::PanelsReload);
    colour_->startWhiteBalance();
}

void CCameraPanel::sixteenBitClicked(bool on) {
    CameraRecord& r = session_.record();
    r.data_width_16 = on ? 1 : 0;
    session_.readWrite(CAMCMD_DATA_WIDTH);
    r.frame_speed = on ? kSixteenBitSpeed : kEightBitClosedSpeed;
    session_.readWrite(CAMCMD_FRAME_SPEED);
    r.exposure_ms = picture::exposureMs(exposure_->fields());
}

void CCameraPanel::setStartCaption() {
    const bool closed = session_.closed();
    const QString caption = closed ? QStringLiteral("Start Camera") : QStringLiteral("Stop Camera");
    startButton_->setText(caption);
    if (savePanel_ != nullptr) savePanel_->startButton()->setText(caption);
    sixteenBit_->setEnabled(closed);
}

void CCameraPanel::applyEnableRules() {
    const bool running = session_.running();
    resolution_->setEnabled(session_.closed());
    startButton_->setEnabled(session_.uiFlag(UiFlag::StartCamera) != 0);
    defaultButton_->setEnabled(running);
    exposure_->applyEnableRules();
    picture_->applyEnableRules();
    colour_->applyEnableRules();
    for (ReservedGroup* group : {captureGroup_, histogram_, areaDisplay_, settings_})
        group->applyEnableRules();
}

void CCameraPanel::refreshFromRecord() {
    detectedFamily_ = session_.detectFamily();
    const PanelValues values = controls_.refresh();
    if (values.resolutionEntry >= 0 && values.resolutionEntry < resolution_->count())
        resolution_->setCurrentIndex(values.resolutionEntry);
    exposure_->refresh(values);
    picture_->refresh(values);
    colour_->refresh(values);
}

void CCameraPanel::resolutionChanged(int entry) {
    if (entry < 0) return;
    session_.selectResolution(CameraSession::resolutionOfEntry(detectedFamily_, entry));
}

void CCameraPanel::pictureChanged() {
    if (controls_.redisplayWanted()) redisplay_.start();
}
