#include "control/exposure_group.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QTimerEvent>
#include <algorithm>

#include "session/camera_session.h"
#include "ui/colour_button.h"
#include "ui/control_ids.h"
#include "ui/number_edit.h"

namespace {
constexpr int kMaxSeconds = 59, kMaxMillis = 999;

QString clockText(unsigned ms) {
    const picture::ExposureFields f = picture::exposureFields(ms);
    return QStringLiteral("%1:%2.%3")
        .arg(f.minutes)
        .arg(f.seconds, 2, 10, QLatin1Char('0'))
        .arg(f.milliseconds, 3, 10, QLatin1Char('0'));
}
}  // namespace

ExposureGroup::ExposureGroup(CameraControls& controls, CameraSession& session, QWidget* parent)
    : QGroupBox(QString::fromLatin1(ctrl::camera::ExposureTitle), parent),
      controls_(controls),
      session_(session) {
    using namespace ctrl::camera;
    setObjectName(QString::fromLatin1(ExposureTitle));
    label_ = new QLabel(QStringLiteral("Exposure:"), this);
    label_->setObjectName(ctrl::name(ExposureLabel));
    auto field = [this](int id, const QString& name, int maximum) {
        auto* edit = new CNumberEdit(this);
        edit->setObjectName(ctrl::name(id));
        edit->setAccessibleName(name);
        edit->setRange(0, maximum);
        edit->setText(QStringLiteral("0"));
        edit->setAlignment(Qt::AlignRight);
        edit->setMaximumWidth(
            QFontMetrics(edit->font()).horizontalAdvance(QStringLiteral("00000")));
        return edit;
    };
    minutes_ = field(ExposureMinutes, QStringLiteral("Exposure minutes"), 55);
    seconds_ = field(ExposureSeconds, QStringLiteral("Exposure seconds"), kMaxSeconds);
    millis_ = field(ExposureMillis, QStringLiteral("Exposure milliseconds"), kMaxMillis);
    const int unitIds[] = {MinutesUnit, SecondsUnit, MillisUnit};
    const QString unitTexts[] = {QStringLiteral("min"), QStringLiteral("s"), QStringLiteral("ms")};
    auto* fieldsRow = new QHBoxLayout;
    CNumberEdit* edits[] = {minutes_, seconds_, millis_};
    for (int i = 0; i < 3; ++i) {
        units_[i] = new QLabel(unitTexts[i], this);
        units_[i]->setObjectName(ctrl::name(unitIds[i]));
        fieldsRow->addWidget(edits[i]);
        fieldsRow->addWidget(units_[i]);
    }
    fieldsRow->addStretch(1);

    change_ = new CColourButton(QStringLiteral("Change Exp"), this);
    change_->setObjectName(ctrl::name(ChangeExposure));
    connect(change_, &QPushButton::clicked, this, &ExposureGroup::changeExposure);

    progress_ = new QProgressBar(this);
    progress_->setObjectName(ctrl::name(ExposureProgress));
    progress_->setAccessibleName(QStringLiteral("Exposure progress"));
    progress_->setTextVisible(false);
    progress_->setRange(0, 100);
    progress_->setValue(0);

    longest_ = new QLabel(this);
    longest_->setAccessibleName(QStringLiteral("Longest exposure"));
    longest_->setWordWrap(true);
    longest_->hide();

    auto* grid = new QGridLayout(this);
    grid->addWidget(label_, 0, 0);
    grid->addLayout(fieldsRow, 0, 1);
    grid->addWidget(longest_, 1, 0, 1, 2);
    grid->addWidget(change_, 2, 0);
    grid->addWidget(progress_, 2, 1);
}

picture::ExposureFields ExposureGroup::fields() const {
    // An empty field counts as 0.
    return {std::max(minutes_->value(), 0), std::max(seconds_->value(), 0),
            std::max(millis_->value(), 0)};
}

void ExposureGroup::showFields(unsigned exposureMs) {
    const picture::ExposureFields f = picture::exposureFields(exposureMs);
    minutes_->setValue(f.minutes);
    seconds_->setValue(f.seconds);
    millis_->setValue(f.milliseconds);
}

void ExposureGroup::showLongest(unsigned longestMs, bool shortened) {
    // The fields cannot hold more than the camera takes at its current speed.
    minutes_->setRange(0, static_cast<int>(longestMs / 60000u));
    if (longestMs >= picture::kFieldsLongestMs) {
        longest_->hide();
        return;
    }
    const QString text = QStringLiteral("Longest at this speed: %1").arg(clockText(longestMs));
    longest_->setText(shortened ? text + QStringLiteral(" (shortened)") : text);
    longest_->show();
}

void ExposureGroup::changeExposure() {
    const CameraControls::ExposureChange change = controls_.changeExposure(fields());
    if (change.step == CameraControls::ExposureStep::Unlocked) {
        change_->setText(QStringLiteral("OK"));
        stopProgressTimer();
    } else {
        if (session_.running()) {
            progressRange_ = picture::progressRange(change.exposureMs);
            armProgressBars(progressRange_);
            startProgressTimer();
        }
        showFields(change.exposureMs);
        showLongest(picture::longestExposureMs(session_.record()), change.shortened);
        change_->setText(QStringLiteral("Change Exp"));
    }
    applyEnableRules();
}

void ExposureGroup::applyEnableRules() {
    const bool entry = controls_.exposureEntryOpen();
    for (QWidget* w : {static_cast<QWidget*>(label_), static_cast<QWidget*>(minutes_),
                       static_cast<QWidget*>(seconds_), static_cast<QWidget*>(millis_),
                       static_cast<QWidget*>(progress_)})
        w->setEnabled(entry);
    for (QLabel* unit : units_) unit->setEnabled(entry);
    if (saveProgress_ != nullptr) saveProgress_->setEnabled(entry);
    change_->setEnabled(session_.running());
}

void ExposureGroup::refresh(const PanelValues& values) {
    showLongest(values.longestExposureMs, false);
    const picture::ExposureFields& f = values.exposure;
    minutes_->setValue(f.minutes);
    seconds_->setValue(f.seconds);
    millis_->setValue(f.milliseconds);
}

void ExposureGroup::cameraOpened() {
    progressRange_ = picture::progressRange(session_.record().exposure_ms);
    progress_->setRange(0, progressRange_ + 1);
    progress_->setValue(1);
    // The opening chose the read-out speed after the panels refreshed.
    showLongest(picture::longestExposureMs(session_.record()), false);
}

void ExposureGroup::armProgressBars(int range) {
    for (QProgressBar* bar : {progress_, saveProgress_}) {
        if (bar == nullptr) continue;
        bar->setRange(0, range + 1);
        bar->setValue(1);
    }
}

void ExposureGroup::startProgressTimer() {
    stopProgressTimer();
    progressTimer_ = startTimer(picture::progressPeriod(session_.record().exposure_ms));
}

void ExposureGroup::stopProgressTimer() {
    if (progressTimer_ != 0) killTimer(progressTimer_);
    progressTimer_ = 0;
}

void ExposureGroup::restartProgress() {
    if (!session_.running()) return;
    stopProgressTimer();
    // While the exposure entry is open the bars stay as the user left them.
    if (controls_.exposureEntryOpen() && captureEnabled_ && captureEnabled_()) return;
    armProgressBars(progressRange_);
    startProgressTimer();
}

void ExposureGroup::timerEvent(QTimerEvent* event) {
    if (event->timerId() != progressTimer_) {
        QGroupBox::timerEvent(event);
        return;
    }
    const int step = std::min(progress_->value() + 1, progressRange_);
    progress_->setValue(step);
    if (saveProgress_ != nullptr) saveProgress_->setValue(step);
}
