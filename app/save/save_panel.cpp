#include "save/save_panel.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "session/camera_session.h"
#include "ui/control_ids.h"
#include "ui/messages.h"

CSavePanel::CSavePanel(CameraSession& session, QWidget* parent)
    : QWidget(parent), session_(session) {
    setObjectName(ctrl::name(ctrl::save::Dialog));
    setAccessibleName(QStringLiteral("Picture"));

    // Hidden: it lets the keyboard reach "Start Camera" from this tab's dialog.
    startButton_ = new QPushButton(QStringLiteral("Start Camera"), this);
    startButton_->setObjectName(ctrl::name(ctrl::save::StartCamera));
    startButton_->setAccessibleName(QStringLiteral("Start Camera"));
    startButton_->hide();
    connect(startButton_, &QPushButton::clicked, this, &CSavePanel::startCameraRequested);

    fileName_ = new QLineEdit(this);
    fileName_->setObjectName(ctrl::name(ctrl::save::FileName));
    fileName_->setAccessibleName(QStringLiteral("File name"));
    progress_ = new QProgressBar(this);
    progress_->setObjectName(ctrl::name(ctrl::save::ExposureProgress));
    progress_->setAccessibleName(QStringLiteral("Exposure progress"));
    progress_->setTextVisible(false);
    progress_->setRange(0, 100);
    progress_->setValue(0);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("File name:"), fileName_);
    form->addRow(QStringLiteral("Exposure:"), progress_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addStretch(1);
}

bool CSavePanel::event(QEvent* event) {
    if (event->type() != KdMessageEvent::eventType()) return QWidget::event(event);
    auto* m = static_cast<KdMessageEvent*>(event);
    switch (m->message) {
        case msg::PanelsEnable:
            startButton_->setEnabled(session_.uiFlag(UiFlag::StartCamera) != 0);
            break;
        case msg::Command:
            if (m->wParam == static_cast<quintptr>(ctrl::save::StartCamera)) startButton_->click();
            break;
        default:
            break;
    }
    m->result = 0;
    return true;
}
