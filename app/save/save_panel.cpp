#include "save/save_panel.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "control/camera_panel.h"
#include "shell/main_frame.h"
#include "shell/messages.h"

CSavePanel::CSavePanel(CMainFrame* frame, QWidget* parent) : QWidget(parent), frame_(frame) {
    setObjectName(QStringLiteral("140"));

    // Hidden: it lets the keyboard reach "Start Camera" from this tab's dialog.
    startButton_ = new QPushButton(QStringLiteral("Start Camera"), this);
    startButton_->setObjectName(QStringLiteral("1000"));
    startButton_->hide();
    connect(startButton_, &QPushButton::clicked, this,
            [this] { sendMessage(frame_ ? frame_->cameraPanel() : nullptr, msg::StartCameraKey); });

    fileName_ = new QLineEdit(this);
    fileName_->setObjectName(QStringLiteral("1056"));
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("1007"));
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
            if (frame_ != nullptr) startButton_->setEnabled(frame_->uiFlag(1) != 0);
            break;
        case msg::Command:
            if (m->wParam == 1000) startButton_->click();
            break;
        default:
            break;
    }
    m->result = 0;
    return true;
}
