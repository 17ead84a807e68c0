#pragma once
#include <QWidget>

class QTabWidget;
class CameraSession;
class CCameraPanel;
class CSavePanel;

// The window inside the docked pane: a tab control with the control panel ("Property")
// and the save panel ("Picture"). It passes the main frame's messages on to the panels
// and introduces each panel to what it uses of the other.
class CPanelHost : public QWidget {
    Q_OBJECT
  public:
    CPanelHost(CameraSession& session, QObject* mainFrame, QWidget* parent = nullptr);
    // The panels' start-up work, once: after both panels and the host exist.
    void startUp();

    CCameraPanel* cameraPanel() const { return cameraPanel_; }
    CSavePanel* savePanel() const { return savePanel_; }
    QTabWidget* tabs() const { return tabs_; }

    bool event(QEvent* event) override;

  private:
    QTabWidget* tabs_ = nullptr;
    CCameraPanel* cameraPanel_ = nullptr;
    CSavePanel* savePanel_ = nullptr;
};
