#pragma once
#include <QWidget>

class QTabWidget;
class CMainFrame;
class CCameraPanel;
class CSavePanel;

// The window inside the docked pane: a tab control with the control panel ("Property")
// and the save panel ("Picture"). It passes the main frame's messages on to the panels.
class CPanelHost : public QWidget {
    Q_OBJECT
  public:
    explicit CPanelHost(CMainFrame* frame, QWidget* parent = nullptr);

    CCameraPanel* cameraPanel() const { return cameraPanel_; }
    CSavePanel* savePanel() const { return savePanel_; }
    QTabWidget* tabs() const { return tabs_; }

    bool event(QEvent* event) override;

  private:
    QTabWidget* tabs_ = nullptr;
    CCameraPanel* cameraPanel_ = nullptr;
    CSavePanel* savePanel_ = nullptr;
};
