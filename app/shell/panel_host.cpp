#include "shell/panel_host.h"

#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

#include "control/camera_panel.h"
#include "save/save_panel.h"
#include "ui/messages.h"

CPanelHost::CPanelHost(CameraSession& session, QObject* mainFrame, QWidget* parent)
    : QWidget(parent) {
    tabs_ = new QTabWidget(this);
    tabs_->setDocumentMode(true);
    tabs_->setAccessibleName(QStringLiteral("Panels"));
    cameraPanel_ = new CCameraPanel(session, mainFrame, tabs_);
    savePanel_ = new CSavePanel(session, tabs_);
    cameraPanel_->setSavePanel(savePanel_);
    connect(savePanel_, &CSavePanel::startCameraRequested, cameraPanel_,
            [this] { sendMessage(cameraPanel_, msg::StartCameraKey); });
    // Each panel scrolls vertically when the frame is too short to show all of it.
    auto scrolling = [this](QWidget* panel) {
        auto* area = new QScrollArea(tabs_);
        area->setWidget(panel);
        area->setWidgetResizable(true);
        area->setFrameShape(QFrame::NoFrame);
        area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        return area;
    };
    tabs_->addTab(scrolling(cameraPanel_), QStringLiteral("Property"));
    tabs_->addTab(scrolling(savePanel_), QStringLiteral("Picture"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(tabs_);
}

void CPanelHost::startUp() {
    cameraPanel_->startUp();
}

bool CPanelHost::event(QEvent* event) {
    if (event->type() != KdMessageEvent::eventType()) return QWidget::event(event);
    auto* m = static_cast<KdMessageEvent*>(event);
    switch (m->message) {
        case msg::PanelsEnable:
        case msg::PanelsReload:
        case msg::FrameDisplayed:
        case msg::MainClosing:
            sendMessage(cameraPanel_, m->message, m->wParam, m->lParam);
            sendMessage(savePanel_, m->message, m->wParam, m->lParam);
            break;
        case msg::FrameCaptured:
            sendMessage(savePanel_, m->message, m->wParam, m->lParam);
            break;
        case msg::PanelsUpdate:
            sendMessage(cameraPanel_, m->message, m->wParam, m->lParam);
            break;
        default:
            break;
    }
    m->result = 0;
    return true;
}
