#pragma once
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <memory>

#include "session/camera_session.h"

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

// The main window. It holds the camera session and shows it: it opens and closes the
// camera through it, keeps the camera's image window sized to the crop region, hosts
// the two panels in the docked pane at the right, routes the window messages between
// the panels, the image window and the preview threads, turns function keys into panel
// actions, and shuts the camera down when it closes.
//
// The image window that was active when the camera opened holds the camera until it
// closes: every preview message goes to it, whichever window is active meanwhile.
class CMainFrame : public QMainWindow {
    Q_OBJECT
  public:
    static constexpr int kRecentFileCount = 4;

    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    CameraSession& session() { return session_; }
    FrameContext& context() { return session_.context(); }
    CameraRecord& record() { return session_.record(); }

    // The UI-state flags the panels read to enable their controls.
    int uiFlag(UiFlag flag) const { return session_.uiFlag(flag); }
    void setUiFlag(UiFlag flag, int value) { session_.setUiFlag(flag, value); }

    CPanelHost* panelHost() const { return panelHost_; }
    CCameraPanel* cameraPanel() const;
    CSavePanel* savePanel() const;
    QMdiArea* mdiArea() const { return mdiArea_; }
    QDockWidget* panelPane() const { return pane_; }
    HotplugWatcher* hotplugWatcher() const { return watcher_.get(); }

    // The active image window: the active MDI child, or the first one when none has
    // been activated yet. Null when there is none.
    CChildFrame* activeChild() const;
    // The image window that holds the camera while it is open; otherwise the active one.
    CChildFrame* cameraChild() const;
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
    void connectSession();
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

    CameraSession session_;
    // The image window that opened the camera; null while it is closed.
    QPointer<CChildFrame> cameraWindow_;
    QMdiArea* mdiArea_ = nullptr;
    QDockWidget* pane_ = nullptr;
    CPanelHost* panelHost_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    ViewPrinting* printing_ = nullptr;
    std::unique_ptr<HotplugWatcher> watcher_;
    int paneWidth_ = 0;
};
