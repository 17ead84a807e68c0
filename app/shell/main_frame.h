#pragma once
#include <QMainWindow>
#include <QString>
#include <array>
#include <memory>

#include "shell/frame_context.h"

class QDockWidget;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class CChildFrame;
class CPanelHost;
class CCameraPanel;
class CSavePanel;
class HotplugWatcher;
class ViewPrinting;

// The main window. It owns the camera record (through the frame context), opens and
// closes the camera, keeps the image window sized to the crop region, hosts the two
// panels in the docked pane at the right, routes the window messages between the
// panels, the image window and the preview threads, turns function keys into panel
// actions, and shuts the camera down when it closes.
class CMainFrame : public QMainWindow {
    Q_OBJECT
  public:
    static constexpr int kUiFlagCount = 23;
    // Identifier of the docked pane that holds the panel host.
    static constexpr int kPanelPaneId = 61446;
    static constexpr int kRecentFileCount = 4;

    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    FrameContext& context() { return context_; }
    CameraRecord& record() { return context_.record; }

    // The UI-state flags the panels read to enable their controls. Flag 20 is set
    // while the camera runs.
    int uiFlag(int index) const;
    void setUiFlag(int index, int value);

    CPanelHost* panelHost() const { return panelHost_; }
    CCameraPanel* cameraPanel() const;
    CSavePanel* savePanel() const;
    QMdiArea* mdiArea() const { return mdiArea_; }
    QDockWidget* panelPane() const { return pane_; }
    HotplugWatcher* hotplugWatcher() const { return watcher_.get(); }

    // The image window the frame works with: the active MDI child, or the first one
    // when none has been activated yet. Null when there is none.
    CChildFrame* activeChild() const;
    // A new empty document with its image window (File New).
    CChildFrame* newImageWindow();
    // Opens a file as a document: a new image window named after it, entered in the
    // recent-file list. The document holds no data, so only readability is checked.
    bool openDocument(const QString& path);
    QStringList recentFiles() const;

    // Room for the image window: the client area left of the pane, below the tabs.
    int availableImageWidth() const;
    int availableImageHeight() const;

    bool event(QEvent* event) override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    long handleMessage(unsigned message, quintptr wParam, qintptr lParam);
    long openCamera();
    void closeCamera();
    void refreshUiFlags();
    void fitImageWindow();
    void cropToSelection();
    void restoreFullArea();
    long cameraRemoved(int model);
    // F1 to F12: true when the key was one of them (it is then consumed).
    bool functionKey(int keyNumber);
    void createMenusAndToolbar();
    void addRecentFile(const QString& path);
    void rebuildRecentMenu();
    void showAbout();

    FrameContext context_;
    std::array<int, kUiFlagCount> uiFlags_{};
    QMdiArea* mdiArea_ = nullptr;
    QDockWidget* pane_ = nullptr;
    CPanelHost* panelHost_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    ViewPrinting* printing_ = nullptr;
    std::unique_ptr<HotplugWatcher> watcher_;
    int paneWidth_ = 0;
};
