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

#include "control/camera_panel.h"
#include "save/save_panel.h"
#include "shell/about_dialog.h"
#include "shell/child_frame.h"
#include "shell/customize_dialog.h"
#include "shell/function_keys.h"
#include "shell/hotplug_watcher.h"
#include "shell/kd_gel_view.h"
#include "shell/message_box.h"
#include "shell/messages.h"
#include "shell/panel_host.h"
#include "shell/view_printing.h"
#include "shell/window_fit.h"

// The icons are compiled into the static app library, which has to register them.
static void initResources() {
    Q_INIT_RESOURCE(corvalis);
}

namespace {

// The directory of the running program with its trailing separator: the first save
// directory.
void setProgramDirectory(CameraRecord& record) {
    QString dir = QCoreApplication::applicationDirPath();
    if (!dir.endsWith('/')) dir += '/';
    const QByteArray bytes = dir.toLocal8Bit();
    if (bytes.size() < CAMERA_RECORD_TEXT)
        std::memcpy(record.save_directory, bytes.constData(), bytes.size() + 1);
}

void setInitialRecord(CameraRecord& r) {
    r = CameraRecord{};
    r.state = 4;
    r.camera_type = -1;
    r.resolution_index = 0;
    r.image_width = 1360;
    r.image_height = 1024;
    r.auto_exposure = 0;
    r.exposure_ms = 200;
    r.analog_gain = 40;
    r.frame_speed = 2;
    r.gain_r = r.gain_g = r.gain_b = 64;
    r.saturation = 128;
    r.color_enhancement = 1;
    r.monochrome = 0;
    r.contrast = 0;
    r.gamma = 10;
    r.data_width_16 = r.mirror_1 = r.mirror_2 = 0;
    r.crop_left = r.crop_top = 0;
    r.crop_right = 1360;
    r.crop_bottom = 1024;
    r.full_screen = r.area_selected = r.custom_sequence = 0;
    r.sequence_count = r.frame_time_ms = r.frame_time_copy_ms = 1;
    r.file_index = r.file_use_time = 0;
    r.save_format = 8;
    setProgramDirectory(r);
    r.captured_total = r.captured_current = 0;
}

// Holds the image window's display lock while the crop region or the show buffer
// changes, so a running preview never crops with half-written edges.
std::unique_lock<std::mutex> lockDisplay(CChildFrame* child) {
    if (child == nullptr) return {};
    return std::unique_lock<std::mutex>(child->displayLock());
}

}  // namespace

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
    initResources();
    setInitialRecord(context_.record);
    context_.mainFrame = this;
    context_.sharpenOn.store(0, std::memory_order_relaxed);
    uiFlags_.fill(0);
    uiFlags_[0] = 1;
    uiFlags_[1] = 1;

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

    // The pane is as wide as the control panel needs and cannot be resized.
    paneWidth_ = CCameraPanel(this).sizeHint().width() + 16;
    pane_ = new QDockWidget(QStringLiteral("Panel Manage"), this);
    pane_->setObjectName(QString::number(kPanelPaneId));
    pane_->setFeatures(QDockWidget::NoDockWidgetFeatures);
    pane_->setAllowedAreas(Qt::RightDockWidgetArea);
    panelHost_ = new CPanelHost(this, pane_);
    pane_->setWidget(panelHost_);
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
    if (context_.record.state != 4) closeCamera();
}

int CMainFrame::uiFlag(int index) const {
    return index >= 0 && index < kUiFlagCount ? uiFlags_[static_cast<std::size_t>(index)] : 0;
}

void CMainFrame::setUiFlag(int index, int value) {
    if (index >= 0 && index < kUiFlagCount) uiFlags_[static_cast<std::size_t>(index)] = value;
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

CChildFrame* CMainFrame::newImageWindow() {
    auto* child = new CChildFrame(&context_);
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
    printAction->setObjectName(QStringLiteral("57607"));
    printAction->setShortcut(QKeySequence::Print);
    connect(printAction, &QAction::triggered, this,
            [this, activeView] { printing_->print(activeView()); });
    auto* printDirectAction =
        new QAction(QIcon::fromTheme(QStringLiteral("document-print")), tr("Print"), this);
    printDirectAction->setObjectName(QStringLiteral("57608"));
    connect(printDirectAction, &QAction::triggered, this,
            [this, activeView] { printing_->printDirect(activeView()); });
    auto* previewAction = new QAction(tr("Print Pre&view"), this);
    previewAction->setObjectName(QStringLiteral("57609"));
    connect(previewAction, &QAction::triggered, this,
            [this, activeView] { printing_->printPreview(activeView()); });
    auto* setupAction = new QAction(tr("P&rint Setup..."), this);
    setupAction->setObjectName(QStringLiteral("57606"));
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
    customize->setObjectName(QStringLiteral("35001"));
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
            postMessage(activeChild(), message);
            return 0;
        case msg::CameraRemoved:
            return cameraRemoved(static_cast<int>(static_cast<qintptr>(wParam)));
        default:
            return 0;
    }
}

long CMainFrame::openCamera() {
    CameraRecord& r = context_.record;
    r.state = 4;
    CChildFrame* child = activeChild();
    KdWindow* window = child ? child->kdWindow() : nullptr;
    r.init_window_1 = window;
    r.init_window_2 = window;

    if (KdCamera_ReadWrite(&r, CAMCMD_INIT, 0) != 1) {
        showMessageBox(this, QStringLiteral("Init Camera failed!"), QStringLiteral("Error"),
                       QMessageBox::Critical);
        return 1;
    }
    KdCamera_ReadWrite(&r, CAMCMD_START, 0);
    if (r.state != 1) {
        refreshUiFlags();
        return 1;
    }
    KdCamera_ReadWrite(&r, CAMCMD_DISPLAY_ENABLE, 0);
    KdCamera_ReadWrite(&r, CAMCMD_IMAGE_SIZE, 1);
    {
        auto lock = lockDisplay(child);
        r.crop_left = 0;
        r.crop_top = 0;
        r.crop_right = r.image_width;
        r.crop_bottom = r.image_height;
    }
    fitImageWindow();
    refreshUiFlags();
    return 0;
}

void CMainFrame::closeCamera() {
    CameraRecord& r = context_.record;
    // Every image window's preview stops, the active one's first and then the others':
    // a window opened while the camera ran may have become active, and no preview
    // thread may outlive the camera. Stopping a stopped preview does nothing.
    if (CChildFrame* child = activeChild()) sendMessage(child, msg::CloseCamera);
    if (mdiArea_ != nullptr) {
        for (QMdiSubWindow* window : mdiArea_->subWindowList()) {
            if (auto* other = qobject_cast<CChildFrame*>(window))
                sendMessage(other, msg::CloseCamera);
        }
    }
    Mes_UnInit(&r);
    KdCamera_ReadWrite(&r, CAMCMD_STOP, 0);
    KdCamera_ReadWrite(&r, CAMCMD_UNINIT, 0);
    r.state = 4;
    refreshUiFlags();
    r.captured_total = 0;
    r.captured_current = 0;
    sendMessage(savePanel(), msg::Command, 1110);
}

void CMainFrame::refreshUiFlags() {
    const int running = context_.record.state == 1 ? 1 : 0;
    uiFlags_[0] = context_.record.state == 4 ? 1 : 0;
    uiFlags_[1] = 1;
    for (int flag : {3, 4, 5, 6, 7, 9, 10, 11, 12, 20})
        uiFlags_[static_cast<std::size_t>(flag)] = running;
    sendMessage(panelHost_, msg::PanelsEnable);
}

void CMainFrame::fitImageWindow() {
    CameraRecord& r = context_.record;
    CChildFrame* child = activeChild();
    {
        auto lock = lockDisplay(child);
        Mes_UnInit(&r);
        Mes_Init(&r);
    }
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
    CChildFrame* child = activeChild();
    if (child == nullptr || child->view() == nullptr) return;
    CameraRecord& r = context_.record;
    const QRect client = child->view()->rect();
    const RECT clientRect{client.left(), client.top(), client.left() + client.width(),
                          client.top() + client.height()};
    SelectionCrop mapped;
    if (!cropFromSelection(clientRect, context_.selection, r.image_width, r.image_height, mapped))
        return;
    {
        auto lock = lockDisplay(child);
        r.crop_left = mapped.crop.left;
        r.crop_top = mapped.crop.top;
        r.crop_right = mapped.crop.right;
        r.crop_bottom = mapped.crop.bottom;
        r.roi_x0 = mapped.roiX0;
        r.roi_y0 = mapped.roiY0;
        r.roi_x1 = mapped.roiX1;
        r.roi_y1 = mapped.roiY1;
    }
    fitImageWindow();
}

void CMainFrame::restoreFullArea() {
    CameraRecord& r = context_.record;
    {
        auto lock = lockDisplay(activeChild());
        r.crop_left = 0;
        r.crop_top = 0;
        r.crop_right = r.image_width;
        r.crop_bottom = r.image_height;
        r.roi_x0 = 1;
        r.roi_y0 = 1;
        r.roi_x1 = r.image_width - 1;
        r.roi_y1 = r.image_height - 1;
    }
    fitImageWindow();
}

long CMainFrame::cameraRemoved(int model) {
    if (context_.record.state == 4 || model != 21) return 0;
    sendMessage(cameraPanel(), msg::Command, 1000);
    for (QWidget* panel :
         {static_cast<QWidget*>(cameraPanel()), static_cast<QWidget*>(savePanel())}) {
        if (panel == nullptr) continue;
        if (auto* bar = panel->findChild<QProgressBar*>(QStringLiteral("1007"))) bar->setValue(0);
    }
    if (CChildFrame* child = activeChild(); child && child->view()) child->view()->update();
    showMessageBox(this, QStringLiteral("Camera Disconnect,Please connect the camera."), QString(),
                   QMessageBox::NoIcon);
    return 1;
}

bool CMainFrame::functionKey(int keyNumber) {
    const FunctionKeyAssignments keys = readFunctionKeyAssignments();
    switch (functionKeyAction(keyNumber, keys, uiFlags_[20] != 0)) {
        case FunctionKeyAction::FocusFileName:
            if (CSavePanel* panel = savePanel()) {
                if (auto* field = panel->findChild<QLineEdit*>(QStringLiteral("1056")))
                    field->setFocus();
            }
            break;
        case FunctionKeyAction::Capture:
            if (CSavePanel* panel = savePanel()) {
                if (auto* capture = panel->findChild<QWidget*>(QStringLiteral("1004")))
                    capture->setEnabled(true);
            }
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
    // The camera library holds the image window's handle while the camera is open, so
    // no image window closes before the camera does.
    if (event->type() == QEvent::Close && context_.record.state != 4 &&
        qobject_cast<CChildFrame*>(watched)) {
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
    if (context_.record.state == 1) sendMessage(this, msg::CloseCamera);
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
