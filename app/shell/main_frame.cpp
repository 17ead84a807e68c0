#include "shell/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <cstring>
#include <mutex>

#include "config/function_keys.h"
#include "config/program_files.h"
#include "control/camera_panel.h"
#include "save/save_panel.h"
#include "session/window_fit.h"
#include "shell/about_dialog.h"
#include "shell/child_frame.h"
#include "shell/customize_dialog.h"
#include "shell/hotplug_watcher.h"
#include "shell/kd_gel_view.h"
#include "shell/panel_host.h"
#include "shell/view_printing.h"
#include "ui/control_ids.h"
#include "ui/message_box.h"
#include "ui/messages.h"

// The icons are compiled into the static app library, which has to register them.
static void initResources() {
    Q_INIT_RESOURCE(corvalis);
}

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent), session_(initialSaveDirectory()) {
    initResources();
    context().mainFrame = this;
    connectSession();

    setWindowTitle(QCoreApplication::applicationName().isEmpty()
                       ? QStringLiteral("Corvalis")
                       : QCoreApplication::applicationName());
    // Every window of the program, the image windows included, carries its icon.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/corvalis.png")));
    setAcceptDrops(true);
    createMenusAndToolbar();

    mdiArea_ = new QMdiArea(this);
    mdiArea_->setViewMode(QMdiArea::TabbedView);
    mdiArea_->setDocumentMode(true);
    mdiArea_->setBackground(palette().window());
    setCentralWidget(mdiArea_);

    pane_ = new QDockWidget(QStringLiteral("Panel Manage"), this);
    pane_->setObjectName(ctrl::name(ctrl::PanelPane));
    pane_->setAccessibleName(QStringLiteral("Panel Manage"));
    pane_->setFeatures(QDockWidget::NoDockWidgetFeatures);
    pane_->setAllowedAreas(Qt::RightDockWidgetArea);
    panelHost_ = new CPanelHost(session_, this, pane_);
    panelHost_->startUp();
    pane_->setWidget(panelHost_);
    // The pane is as wide as the control panel needs and cannot be resized.
    paneWidth_ = panelHost_->cameraPanel()->sizeHint().width() + 16;
    pane_->setFixedWidth(paneWidth_);
    addDockWidget(Qt::RightDockWidgetArea, pane_);

    watcher_ = std::make_unique<HotplugWatcher>();
    watcher_->registerFor(this);

    sendMessage(panelHost_, msg::PanelsEnable);
    sendMessage(panelHost_, msg::PanelsUpdate);
    sendMessage(panelHost_, msg::PanelsReload);

    // Function keys are taken before any window of the frame sees them.
    qApp->installEventFilter(this);
    newImageWindow();
}

CMainFrame::~CMainFrame() {
    qApp->removeEventFilter(this);
    if (watcher_) watcher_->unregister();
    // Windows may go without a close event (a test deleting the frame): the camera
    // must not outlive the record and the image windows.
    if (!session_.closed()) closeCamera();
}

void CMainFrame::connectSession() {
    SessionWindows windows;
    windows.openCamera = [this] { sendMessage(this, msg::OpenCamera); };
    windows.closeCamera = [this] { sendMessage(this, msg::CloseCamera); };
    windows.startPreview = [this] { return sendMessage(cameraChild(), msg::OpenCamera); };
    windows.stopPreviews = [this] {
        // Only the camera's window runs a preview; any other is stopped all the same,
        // since stopping a stopped preview does nothing and no thread may outlive the
        // camera.
        if (CChildFrame* child = cameraChild()) sendMessage(child, msg::CloseCamera);
        if (mdiArea_ == nullptr) return;
        for (QMdiSubWindow* window : mdiArea_->subWindowList()) {
            if (auto* other = qobject_cast<CChildFrame*>(window))
                sendMessage(other, msg::CloseCamera);
        }
    };
    windows.fitImageWindow = [this] { fitImageWindow(); };
    windows.flagsChanged = [this] { sendMessage(panelHost_, msg::PanelsEnable); };
    windows.reloadPanels = [this] { sendMessage(this, msg::PanelsReload); };
    windows.error = [this](const std::string& text, const std::string& caption) {
        showMessageBox(this, QString::fromStdString(text), QString::fromStdString(caption),
                       QMessageBox::Critical);
    };
    session_.setWindows(std::move(windows));
}

CCameraPanel* CMainFrame::cameraPanel() const {
    return panelHost_ ? panelHost_->cameraPanel() : nullptr;
}
CSavePanel* CMainFrame::savePanel() const {
    return panelHost_ ? panelHost_->savePanel() : nullptr;
}

CChildFrame* CMainFrame::activeChild() const {
    if (mdiArea_ == nullptr) return nullptr;
    if (auto* child = qobject_cast<CChildFrame*>(mdiArea_->currentSubWindow())) return child;
    for (QMdiSubWindow* window : mdiArea_->subWindowList()) {
        if (auto* child = qobject_cast<CChildFrame*>(window)) return child;
    }
    return nullptr;
}

CChildFrame* CMainFrame::cameraChild() const {
    if (cameraWindow_ != nullptr) return cameraWindow_.data();
    return activeChild();
}

CChildFrame* CMainFrame::newImageWindow() {
    auto* child = new CChildFrame(&context());
    child->setAttribute(Qt::WA_DeleteOnClose);
    mdiArea_->addSubWindow(child);
    child->show();
    mdiArea_->setActiveSubWindow(child);
    return child;
}

bool CMainFrame::openDocument(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        showMessageBox(this, QStringLiteral("Cannot open %1.").arg(QDir::toNativeSeparators(path)),
                       QString(), QMessageBox::Warning);
        return false;
    }
    CChildFrame* child = newImageWindow();
    child->setWindowFilePath(QFileInfo(path).absoluteFilePath());
    addRecentFile(QFileInfo(path).absoluteFilePath());
    return true;
}

QStringList CMainFrame::recentFiles() const {
    QSettings settings;
    QStringList files;
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const QString file =
            settings.value(QStringLiteral("Recent File List/File%1").arg(i)).toString();
        if (!file.isEmpty()) files << file;
    }
    return files;
}

void CMainFrame::addRecentFile(const QString& path) {
    QStringList files = recentFiles();
    files.removeAll(path);
    files.prepend(path);
    QSettings settings;
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const QString key = QStringLiteral("Recent File List/File%1").arg(i);
        if (i <= files.size())
            settings.setValue(key, files[i - 1]);
        else
            settings.remove(key);
    }
    rebuildRecentMenu();
}

void CMainFrame::rebuildRecentMenu() {
    if (recentMenu_ == nullptr) return;
    recentMenu_->clear();
    const QStringList files = recentFiles();
    for (int i = 0; i < files.size(); ++i) {
        const QString path = files[i];
        recentMenu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName()),
                               this, [this, path] { openDocument(path); });
    }
    recentMenu_->setEnabled(!files.isEmpty());
}

void CMainFrame::createMenusAndToolbar() {
    menuBar()->setObjectName(QStringLiteral("Menu Bar"));
    menuBar()->setWindowTitle(QStringLiteral("Menu Bar"));
    QStyle* s = style();

    auto* newAction = new QAction(s->standardIcon(QStyle::SP_FileIcon), tr("&New"), this);
    newAction->setShortcut(QKeySequence::New);
    connect(newAction, &QAction::triggered, this, [this] { newImageWindow(); });
    auto* openAction =
        new QAction(s->standardIcon(QStyle::SP_DialogOpenButton), tr("&Open..."), this);
    openAction->setShortcut(QKeySequence::Open);
    connect(openAction, &QAction::triggered, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, tr("Open"));
        if (!path.isEmpty()) openDocument(path);
    });
    // Printing of the active image window's view (the framework's standard commands).
    printing_ = new ViewPrinting(this);
    auto activeView = [this]() -> QWidget* {
        CChildFrame* child = activeChild();
        return child != nullptr ? child->view() : nullptr;
    };
    auto* printAction = new QAction(tr("&Print..."), this);
    printAction->setObjectName(ctrl::name(ctrl::Print));
    printAction->setShortcut(QKeySequence::Print);
    connect(printAction, &QAction::triggered, this,
            [this, activeView] { printing_->print(activeView()); });
    auto* printDirectAction =
        new QAction(QIcon::fromTheme(QStringLiteral("document-print")), tr("Print"), this);
    printDirectAction->setObjectName(ctrl::name(ctrl::PrintDirect));
    connect(printDirectAction, &QAction::triggered, this,
            [this, activeView] { printing_->printDirect(activeView()); });
    auto* previewAction = new QAction(tr("Print Pre&view"), this);
    previewAction->setObjectName(ctrl::name(ctrl::PrintPreview));
    connect(previewAction, &QAction::triggered, this,
            [this, activeView] { printing_->printPreview(activeView()); });
    auto* setupAction = new QAction(tr("P&rint Setup..."), this);
    setupAction->setObjectName(ctrl::name(ctrl::PrintSetup));
    connect(setupAction, &QAction::triggered, this, [this] { printing_->pageSetup(); });

    auto* aboutAction = new QAction(windowIcon(), tr("&About Corvalis..."), this);
    connect(aboutAction, &QAction::triggered, this, &CMainFrame::showAbout);

    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(newAction);
    file->addAction(openAction);
    file->addSeparator();
    file->addAction(printAction);
    file->addAction(previewAction);
    file->addAction(setupAction);
    file->addSeparator();
    recentMenu_ = file->addMenu(tr("Recent &Files"));
    rebuildRecentMenu();
    file->addSeparator();
    file->addAction(tr("E&xit"), this, &QWidget::close);

    QMenu* view = menuBar()->addMenu(tr("&View"));
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(aboutAction);

    QToolBar* standard = addToolBar(QStringLiteral("Standard"));
    standard->setObjectName(QStringLiteral("Standard"));
    standard->setMovable(false);
    standard->addAction(newAction);
    standard->addAction(openAction);
    standard->addSeparator();
    standard->addAction(printDirectAction);
    standard->addAction(aboutAction);
    view->addAction(standard->toggleViewAction());
    view->addSeparator();
    auto* customize = view->addAction(tr("&Customize..."), this, [this, standard] {
        CustomizeDialog dialog(this, standard);
        dialog.exec();
    });
    customize->setObjectName(ctrl::name(ctrl::Customize));
}

void CMainFrame::showAbout() {
    CAboutDialog dialog(this);
    dialog.exec();
}

bool CMainFrame::event(QEvent* event) {
    if (event->type() == KdMessageEvent::eventType()) {
        auto* message = static_cast<KdMessageEvent*>(event);
        message->result = handleMessage(message->message, message->wParam, message->lParam);
        return true;
    }
    return QMainWindow::event(event);
}

long CMainFrame::handleMessage(unsigned message, quintptr wParam, qintptr lParam) {
    switch (message) {
        case msg::OpenCamera:
            return openCamera();
        case msg::CloseCamera:
            closeCamera();
            return 0;
        case msg::PanelsEnable:
        case msg::PanelsReload:
        case msg::FrameDisplayed:
            sendMessage(panelHost_, message);
            return 0;
        case msg::FrameCaptured:
            sendMessage(panelHost_, message, wParam, lParam);
            return 0;
        case msg::CropToSelection:
            cropToSelection();
            return 0;
        case msg::RestoreFullArea:
            restoreFullArea();
            return 0;
        case msg::FitImageWindow:
            fitImageWindow();
            return 0;
        case msg::RefreshHistogram:
        case msg::RestartExposure:
            postMessage(cameraPanel(), message);
            return 0;
        case msg::DelayedCapture:
        case msg::CapturePending:
            sendMessage(cameraPanel(), message, wParam, lParam);
            return 0;
        case msg::Redisplay:
            postMessage(cameraChild(), message);
            return 0;
        case msg::CameraRemoved:
            return cameraRemoved(static_cast<int>(static_cast<qintptr>(wParam)));
        default:
            return 0;
    }
}

long CMainFrame::openCamera() {
    // The active window takes the camera and keeps it until it closes.
    CChildFrame* child = activeChild();
    cameraWindow_ = child;
    const long result = session_.open(child != nullptr ? child->kdWindow() : nullptr);
    if (session_.closed()) cameraWindow_ = nullptr;
    return result;
}

void CMainFrame::closeCamera() {
    session_.close();
    cameraWindow_ = nullptr;
    sendMessage(savePanel(), msg::Command, ctrl::save::AbortDelay);
}

void CMainFrame::fitImageWindow() {
    const CameraRecord& r = record();
    session_.resetShowBuffer();
    CChildFrame* child = cameraChild();
    if (child == nullptr) return;
    const RECT crop{r.crop_left, r.crop_top, r.crop_right, r.crop_bottom};
    const WindowPlacement place =
        ::fitImageWindow(crop, r.image_width, r.image_height, availableImageWidth(),
                         availableImageHeight(), r.full_screen != 0);
    if (child->isMaximized() || child->isMinimized()) child->showNormal();
    child->setGeometry(place.x, place.y, place.width, place.height);
    child->show();
}

void CMainFrame::cropToSelection() {
    CChildFrame* child = cameraChild();
    if (child == nullptr || child->view() == nullptr) return;
    const CameraRecord& r = record();
    const QRect client = child->view()->rect();
    const RECT clientRect{client.left(), client.top(), client.left() + client.width(),
                          client.top() + client.height()};
    SelectionCrop mapped;
    if (!cropFromSelection(clientRect, context().selection, r.image_width, r.image_height, mapped))
        return;
    session_.cropTo(mapped);
    fitImageWindow();
}

void CMainFrame::restoreFullArea() {
    session_.restoreFullArea();
    fitImageWindow();
}

long CMainFrame::cameraRemoved(int model) {
    if (session_.closed() || model != kOstraCameraModel) return 0;
    CChildFrame* child = cameraChild();
    sendMessage(cameraPanel(), msg::Command, ctrl::camera::StartCamera);
    cameraPanel()->progressBar()->setValue(0);
    savePanel()->progressBar()->setValue(0);
    if (child != nullptr && child->view() != nullptr) child->view()->update();
    showMessageBox(this, QStringLiteral("Camera Disconnect,Please connect the camera."), QString(),
                   QMessageBox::NoIcon);
    return 1;
}

bool CMainFrame::functionKey(int keyNumber) {
    const FunctionKeyAssignments keys =
        readFunctionKeyAssignments(programFilePath(ProgramFile::Capture));
    switch (functionKeyAction(keyNumber, keys, uiFlag(UiFlag::Capture) != 0)) {
        case FunctionKeyAction::FocusFileName:
            savePanel()->fileNameField()->setFocus();
            break;
        case FunctionKeyAction::Capture:
            if (QPushButton* capture = savePanel()->captureButton()) capture->setEnabled(true);
            sendMessage(cameraPanel(), msg::CaptureKey);
            break;
        case FunctionKeyAction::StartCamera:
            sendMessage(cameraPanel(), msg::StartCameraKey);
            break;
        case FunctionKeyAction::None:
            break;
    }
    return true;
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    // The camera library holds the camera window's handle while the camera is open, so
    // that window does not close before the camera does.
    if (event->type() == QEvent::Close && !session_.closed() && watched != nullptr &&
        watched == cameraChild()) {
        event->ignore();
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        auto* widget = qobject_cast<QWidget*>(watched);
        auto* key = static_cast<QKeyEvent*>(event);
        if (widget != nullptr && widget->window() == this && key->key() >= Qt::Key_F1 &&
            key->key() <= Qt::Key_F12) {
            return functionKey(key->key() - Qt::Key_F1 + 1);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

int CMainFrame::availableImageWidth() const {
    return mdiArea_ ? mdiArea_->viewport()->width() : 0;
}
int CMainFrame::availableImageHeight() const {
    return mdiArea_ ? mdiArea_->viewport()->height() : 0;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    postMessage(panelHost_, msg::MainClosing);
    if (watcher_) {
        watcher_->unregister();
        watcher_.reset();
    }
    if (session_.running()) sendMessage(this, msg::CloseCamera);
    QMainWindow::closeEvent(event);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) openDocument(url.toLocalFile());
    }
    event->acceptProposedAction();
}
