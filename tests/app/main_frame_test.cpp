// The main frame with its panels and image window on the simulated camera: start-up
// state, message routing, opening and closing the camera, fitting and cropping, the
// function keys, an unplug while the camera runs, and close in order.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <functional>
#include <memory>
#include <vector>

#include "../driver/allocation_control.h"
#include "control/camera_panel.h"
#include "platform/sim.h"
#include "save/save_panel.h"
#include "shell/child_frame.h"
#include "shell/kd_gel_view.h"
#include "shell/main_frame.h"
#include "shell/panel_host.h"
#include "ui/message_box.h"
#include "ui/messages.h"

namespace {

QApplication& app() {
    static int argc = 1;
    static char name[] = "test_main_frame";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = [] {
        auto* a = new QApplication(argc, argv);
        QCoreApplication::setOrganizationName(QStringLiteral("Astronomy RQ-9"));
        QCoreApplication::setApplicationName(QStringLiteral("Corvalis"));
        return a;
    }();
    return *instance;
}

struct Seen {
    QString target;
    unsigned message;
    quintptr wParam;
    qintptr lParam;
};

// Watches the window messages that reach an object; `swallow` keeps chosen ones from
// their handler.
class MessageSpy : public QObject {
  public:
    MessageSpy(std::vector<Seen>& log, QString name) : log_(log), name_(std::move(name)) {}
    std::function<bool(unsigned)> swallow = [](unsigned) { return false; };
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != KdMessageEvent::eventType()) return false;
        auto* m = static_cast<KdMessageEvent*>(event);
        log_.push_back({name_, m->message, m->wParam, m->lParam});
        return swallow(m->message);
    }

  private:
    std::vector<Seen>& log_;
    QString name_;
};

bool waitUntil(const std::function<bool()>& done, int ms = 30000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QTest::qWait(5);
    }
    return true;
}

class MainFrameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        app();
        ASSERT_TRUE(dir_.isValid());
        // Capture.ini is looked up in the configuration folder.
        qputenv("CORVALIS_CONFIG_DIR", dir_.path().toLocal8Bit());
        corvalis::platform::sim::reset();
        setMessageBoxHook([this](const MessageBoxRequest& box) { boxes_.push_back(box); });
        frame_ = std::make_unique<CMainFrame>();
        frame_->resize(1600, 1000);
        frame_->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override {
        frame_.reset();
        setMessageBoxHook({});
        qunsetenv("CORVALIS_CONFIG_DIR");
    }

    void writeCaptureIni(const QByteArray& text) {
        QFile file(dir_.filePath(QStringLiteral("Capture.ini")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    void spyOn(QObject* object, const QString& name) {
        spies_.push_back(std::make_unique<MessageSpy>(log_, name));
        object->installEventFilter(spies_.back().get());
    }
    std::vector<Seen> seen(const QString& target) const {
        std::vector<Seen> out;
        for (const Seen& s : log_)
            if (s.target == target) out.push_back(s);
        return out;
    }
    QPushButton* startButton() {
        return frame_->cameraPanel()->findChild<QPushButton*>(QStringLiteral("1000"));
    }
    CameraRecord& record() { return frame_->record(); }

    QTemporaryDir dir_;
    std::vector<MessageBoxRequest> boxes_;
    std::vector<Seen> log_;
    std::vector<std::unique_ptr<MessageSpy>> spies_;
    std::unique_ptr<CMainFrame> frame_;
};

}  // namespace

TEST_F(MainFrameTest, StartsClosedWithItsPaneTabsAndImageWindow) {
    const CameraRecord& r = record();
    EXPECT_EQ(r.state, KD_STATE_UNINITIALISED);
    EXPECT_EQ(r.camera_type, KD_FAMILY_NONE);
    EXPECT_EQ(r.image_width, 1360);
    EXPECT_EQ(r.image_height, 1024);
    EXPECT_EQ(r.exposure_ms, 200u);
    EXPECT_EQ(r.frame_speed, 2);
    EXPECT_EQ(r.gamma, 10);
    EXPECT_EQ(r.crop_right, 1360);
    EXPECT_EQ(r.crop_bottom, 1024);
    EXPECT_EQ(r.sequence_count, 1);
    EXPECT_EQ(r.save_format, 8);
    // The private pictures folder the tests' desktop settings name, beside their
    // configuration folder.
    const QString pictures =
        QFileInfo(qEnvironmentVariable("XDG_CONFIG_HOME")).dir().filePath("pictures");
    EXPECT_EQ(QString::fromLocal8Bit(r.save_directory), pictures + "/Corvalis/");
    for (std::size_t i = 0; i < kUiFlagCount; ++i)
        EXPECT_EQ(frame_->uiFlag(static_cast<UiFlag>(i)), i <= 1 ? 1 : 0) << i;

    EXPECT_EQ(frame_->panelPane()->windowTitle(), "Panel Manage");
    EXPECT_EQ(frame_->dockWidgetArea(frame_->panelPane()), Qt::RightDockWidgetArea);
    EXPECT_EQ(frame_->panelPane()->minimumWidth(), frame_->panelPane()->maximumWidth());
    QTabWidget* tabs = frame_->panelHost()->tabs();
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(0), "Property");
    EXPECT_EQ(tabs->tabText(1), "Picture");
    EXPECT_EQ(frame_->mdiArea()->viewMode(), QMdiArea::TabbedView);
    EXPECT_NE(frame_->findChild<QToolBar*>(QStringLiteral("Standard")), nullptr);
    EXPECT_EQ(frame_->menuBar()->windowTitle(), "Menu Bar");
    EXPECT_NE(frame_->activeChild(), nullptr);

    // The simulator lists the first family: its four resolution names and "16-bit".
    auto* list = frame_->cameraPanel()->findChild<QComboBox*>(QStringLiteral("1051"));
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 4);
    EXPECT_EQ(list->itemText(0), "3032*2018");
    EXPECT_EQ(list->itemText(3), "(4*4Bin)");
    EXPECT_FALSE(frame_->cameraPanel()->findChild<QCheckBox*>(QStringLiteral("1104"))->isHidden());
    EXPECT_EQ(startButton()->text(), "Start Camera");
}

TEST_F(MainFrameTest, MessagesAreRoutedAsTheTableSays) {
    spyOn(frame_->cameraPanel(), "control");
    spyOn(frame_->savePanel(), "save");
    spyOn(frame_->activeChild(), "child");

    sendMessage(frame_.get(), msg::PanelsEnable);
    sendMessage(frame_.get(), msg::FrameCaptured, 3, 7);
    sendMessage(frame_.get(), msg::PanelsReload);
    sendMessage(frame_.get(), msg::FrameDisplayed);
    sendMessage(frame_.get(), msg::DelayedCapture, 5, 2);
    sendMessage(frame_.get(), msg::CapturePending, 0, 1);
    sendMessage(frame_.get(), msg::PanelsUpdate);  // the main frame has no handler for it
    const std::vector<Seen> sent = log_;
    ASSERT_EQ(sent.size(), 9u);
    const std::vector<std::pair<QString, unsigned>> expected = {
        {"control", msg::PanelsEnable},  {"save", msg::PanelsEnable},
        {"save", msg::FrameCaptured},    {"control", msg::PanelsReload},
        {"save", msg::PanelsReload},     {"control", msg::FrameDisplayed},
        {"save", msg::FrameDisplayed},   {"control", msg::DelayedCapture},
        {"control", msg::CapturePending}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(sent[i].target, expected[i].first) << i;
        EXPECT_EQ(sent[i].message, expected[i].second) << i;
    }
    EXPECT_EQ(sent[2].wParam, 3u);
    EXPECT_EQ(sent[2].lParam, 7);
    EXPECT_EQ(sent[7].wParam, 5u);
    EXPECT_EQ(sent[7].lParam, 2);
    EXPECT_EQ(sent[8].lParam, 1);

    // 1227 from the host reaches the control panel only.
    log_.clear();
    sendMessage(frame_->panelHost(), msg::PanelsUpdate);
    ASSERT_EQ(log_.size(), 1u);
    EXPECT_EQ(log_[0].target, "control");

    // 1262, 1263 and 1692 are posted on: nothing arrives until the queue runs.
    log_.clear();
    sendMessage(frame_.get(), msg::RefreshHistogram);
    sendMessage(frame_.get(), msg::RestartExposure);
    sendMessage(frame_.get(), msg::Redisplay);
    EXPECT_TRUE(log_.empty());
    QCoreApplication::processEvents();
    ASSERT_EQ(log_.size(), 3u);
    EXPECT_EQ(seen("control").size(), 2u);
    EXPECT_EQ(seen("control")[0].message, msg::RefreshHistogram);
    EXPECT_EQ(seen("control")[1].message, msg::RestartExposure);
    ASSERT_EQ(seen("child").size(), 1u);
    EXPECT_EQ(seen("child")[0].message, msg::Redisplay);
}

TEST_F(MainFrameTest, StartCameraOpensPreviewsAndClosesTheSimulatedCamera) {
    startButton()->click();
    CameraRecord& r = record();
    ASSERT_EQ(r.state, KD_STATE_STARTED);
    EXPECT_EQ(r.camera_type, KD_FAMILY_OSTRA);
    EXPECT_EQ(startButton()->text(), "Stop Camera");
    EXPECT_EQ(frame_->savePanel()->findChild<QPushButton*>(QStringLiteral("1000"))->text(),
              "Stop Camera");
    EXPECT_FALSE(frame_->cameraPanel()->findChild<QCheckBox*>(QStringLiteral("1104"))->isEnabled());
    EXPECT_FALSE(frame_->cameraPanel()->findChild<QComboBox*>(QStringLiteral("1051"))->isEnabled());
    EXPECT_EQ(frame_->uiFlag(UiFlag::CameraClosed), 0);
    for (int flag : {3, 4, 5, 6, 7, 9, 10, 11, 12, 20})
        EXPECT_EQ(frame_->uiFlag(static_cast<UiFlag>(flag)), 1) << flag;
    EXPECT_EQ(frame_->uiFlag(UiFlag::ExposureEntry), 0);
    // The crop is the whole frame the camera reports, and the user's exposure survived
    // the frame-speed command; 8-bit at frame speed 3.
    int w = 0, h = 0;
    ASSERT_EQ(KdCamera_GetImageSize(&r, &w, &h), 1);
    EXPECT_EQ(r.image_width, w);
    EXPECT_EQ(r.image_height, h);
    EXPECT_EQ(r.crop_right, w);
    EXPECT_EQ(r.crop_bottom, h);
    EXPECT_EQ(r.exposure_ms, 200u);
    EXPECT_EQ(r.frame_speed, 3);
    EXPECT_EQ(r.data_width_16, 0);
    EXPECT_TRUE(boxes_.empty());

    CChildFrame* child = frame_->activeChild();
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->preview().runState(), PreviewLoop::Running);
    // Progress bar armed for a 200 ms exposure: range 0 .. (200 + 750) / 15 + 1.
    auto* bar = frame_->cameraPanel()->findChild<QProgressBar*>(QStringLiteral("1007"));
    EXPECT_EQ(bar->maximum(), 64);
    ASSERT_TRUE(waitUntil([&] { return child->displayedFrames() >= 2; }));
    EXPECT_EQ(child->windowTitle().toInt(), child->displayedFrames());
    // The camera library holds the window's handle: it stays open with the camera.
    EXPECT_FALSE(child->close());

    startButton()->click();
    EXPECT_EQ(r.state, KD_STATE_UNINITIALISED);
    EXPECT_EQ(child->preview().runState(), PreviewLoop::Stopped);
    EXPECT_EQ(startButton()->text(), "Start Camera");
    EXPECT_TRUE(frame_->cameraPanel()->findChild<QCheckBox*>(QStringLiteral("1104"))->isEnabled());
    EXPECT_EQ(frame_->uiFlag(UiFlag::CameraClosed), 1);
    for (int flag : {3, 4, 5, 6, 7, 9, 10, 11, 12, 20})
        EXPECT_EQ(frame_->uiFlag(static_cast<UiFlag>(flag)), 0) << flag;
    EXPECT_EQ(r.captured_total, 0);

    // And again: a second opening works as the first did.
    startButton()->click();
    EXPECT_EQ(r.state, KD_STATE_STARTED);
    startButton()->click();
    EXPECT_EQ(r.state, KD_STATE_UNINITIALISED);
}

TEST_F(MainFrameTest, SixteenBitOpensAtFrameSpeedFour) {
    frame_->cameraPanel()->findChild<QCheckBox*>(QStringLiteral("1104"))->setChecked(true);
    startButton()->click();
    ASSERT_EQ(record().state, KD_STATE_STARTED);
    EXPECT_EQ(record().frame_speed, 4);
    EXPECT_EQ(record().data_width_16, 1);
    startButton()->click();
    EXPECT_EQ(record().state, KD_STATE_UNINITIALISED);
}

TEST_F(MainFrameTest, NoCameraGivesInitFailedAndStaysClosed) {
    for (int handle : corvalis::platform::sim::devices()) corvalis::platform::sim::unplug(handle);
    QCoreApplication::processEvents();
    startButton()->click();
    EXPECT_EQ(record().state, KD_STATE_UNINITIALISED);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, "Init Camera failed!");
    EXPECT_EQ(boxes_[0].caption, "Error");
    EXPECT_EQ(boxes_[0].icon, QMessageBox::Critical);
    EXPECT_EQ(startButton()->text(), "Start Camera");
    EXPECT_EQ(frame_->uiFlag(UiFlag::Capture), 0);
}

TEST_F(MainFrameTest, PreviewWithoutMemoryLeavesTheCameraClosed) {
    // The preview's buffers are refused; everything before them (the driver's own
    // buffers) is not.
    CChildFrame* child = frame_->activeChild();
    MessageSpy refuse(log_, "child");
    refuse.swallow = [](unsigned m) {
        if (m == msg::OpenCamera) allocation_control::refuseLarge(true);
        return false;
    };
    MessageSpy allow(log_, "frame");
    allow.swallow = [](unsigned m) {
        if (m == msg::CloseCamera) allocation_control::refuseLarge(false);
        return false;
    };
    child->installEventFilter(&refuse);
    frame_->installEventFilter(&allow);
    startButton()->click();
    allocation_control::refuseLarge(false);
    child->removeEventFilter(&refuse);
    frame_->removeEventFilter(&allow);

    EXPECT_EQ(record().state, KD_STATE_UNINITIALISED);
    EXPECT_EQ(child->preview().runState(), PreviewLoop::Stopped);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, "Init Camera failed!");
    EXPECT_EQ(startButton()->text(), "Start Camera");
    // The camera opens normally afterwards.
    startButton()->click();
    EXPECT_EQ(record().state, KD_STATE_STARTED);
    startButton()->click();
}

TEST_F(MainFrameTest, CropToSelectionAndRestoreRefitTheWindow) {
    CameraRecord& r = record();
    r.image_width = 1024;
    r.image_height = 512;
    CChildFrame* child = frame_->activeChild();
    QWidget* view = child->view();
    // Make the view 512 x 256, the window size around it whatever the frame adds.
    child->resize(512 + child->width() - view->width(), 256 + child->height() - view->height());
    QCoreApplication::processEvents();
    ASSERT_EQ(view->size(), QSize(512, 256));

    frame_->context().selection = RECT{128, 64, 384, 192};
    sendMessage(frame_.get(), msg::CropToSelection);
    EXPECT_EQ(r.crop_left, 256);
    EXPECT_EQ(r.crop_top, 128);
    EXPECT_EQ(r.crop_right, 768);
    EXPECT_EQ(r.crop_bottom, 384);
    EXPECT_EQ(r.roi_x0, 256);
    EXPECT_EQ(r.roi_y0, 128);
    EXPECT_EQ(r.roi_x1, 511);
    EXPECT_EQ(r.roi_y1, 255);
    // 512 x 256 fits the area: centred at natural size.
    const QSize area = frame_->mdiArea()->viewport()->size();
    EXPECT_EQ(child->geometry(),
              QRect((area.width() - 512) / 2, (area.height() - 256) / 2, 512, 256));

    sendMessage(frame_.get(), msg::RestoreFullArea);
    EXPECT_EQ(r.crop_left, 0);
    EXPECT_EQ(r.crop_right, 1024);
    EXPECT_EQ(r.crop_bottom, 512);
    EXPECT_EQ(r.roi_x0, 1);
    EXPECT_EQ(r.roi_x1, 1023);
    EXPECT_EQ(r.roi_y1, 511);
    // 1023 x 511 (capped at size - 1) fits a 1600 x 1000 frame's area only if there is
    // room; either way the window keeps the crop's aspect within a pixel.
    if (1023 < area.width() && 511 < area.height()) {
        EXPECT_EQ(child->size(), QSize(1023, 511));
    } else {
        EXPECT_LE(child->width(), area.width());
        EXPECT_LE(child->height(), area.height());
        EXPECT_NEAR(child->width() * 511.0 / 1023.0, child->height(), 1.0);
    }
}

TEST_F(MainFrameTest, FunctionKeysAreAlwaysConsumed) {
    spyOn(frame_->cameraPanel(), "control");
    auto* field = frame_->savePanel()->findChild<QLineEdit*>(QStringLiteral("1056"));
    // Without Capture.ini no key matches, and none reaches the focused field.
    field->setFocus();
    for (int k = 0; k < 12; ++k) QTest::keyClick(field, static_cast<Qt::Key>(Qt::Key_F1 + k));
    EXPECT_TRUE(log_.empty());
    QTest::keyClick(field, Qt::Key_A);
    EXPECT_EQ(field->text(), "a");

    // "Capture" and "StartCamera" both F5: with the camera closed F5 falls through to
    // "StartCamera"; with it running it captures.
    writeCaptureIni("[Key]\nWaitScan=F2\nCapture=F5\nStartCamera=F5\n");
    spies_.back()->swallow = [](unsigned m) {
        return m == msg::StartCameraKey || m == msg::CaptureKey;
    };
    QTest::keyClick(frame_.get(), Qt::Key_F5);
    ASSERT_EQ(log_.size(), 1u);
    EXPECT_EQ(log_[0].message, msg::StartCameraKey);
    frame_->setUiFlag(UiFlag::Capture, 1);
    QTest::keyClick(frame_.get(), Qt::Key_F5);
    ASSERT_EQ(log_.size(), 2u);
    EXPECT_EQ(log_[1].message, msg::CaptureKey);
    frame_->setUiFlag(UiFlag::Capture, 0);

    frame_->cameraPanel()->findChild<QPushButton*>(QStringLiteral("1000"))->setFocus();
    QTest::keyClick(frame_.get(), Qt::Key_F2);
    EXPECT_EQ(frame_->focusWidget(), field);
    EXPECT_EQ(log_.size(), 2u);
}

TEST_F(MainFrameTest, StartCameraKeyOpensTheCamera) {
    writeCaptureIni("[Key]\nStartCamera=F8\n");
    QTest::keyClick(frame_.get(), Qt::Key_F8);
    EXPECT_EQ(record().state, KD_STATE_STARTED);
    QTest::keyClick(frame_.get(), Qt::Key_F8);
    EXPECT_EQ(record().state, KD_STATE_UNINITIALISED);
}

TEST_F(MainFrameTest, UnplugDuringALongExposureClosesAndTellsTheUser) {
    record().exposure_ms = 60000;  // 0.6 s at the tests' time scale
    startButton()->click();
    ASSERT_EQ(record().state, KD_STATE_STARTED);
    auto camera = corvalis::platform::sim::camera();
    ASSERT_NE(camera, nullptr);
    ASSERT_TRUE(waitUntil([&] { return camera->waitingReads() > 0; }));

    // Another device leaving changes nothing.
    sendMessage(frame_.get(), msg::CameraRemoved, 4);
    EXPECT_EQ(record().state, KD_STATE_STARTED);
    EXPECT_TRUE(boxes_.empty());

    const std::vector<int> devices = corvalis::platform::sim::devices();
    ASSERT_FALSE(devices.empty());
    ASSERT_TRUE(corvalis::platform::sim::unplug(devices.front()));
    ASSERT_TRUE(waitUntil([&] { return !boxes_.empty(); }));
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, "Camera Disconnect,Please connect the camera.");
    EXPECT_EQ(record().state, KD_STATE_UNINITIALISED);
    EXPECT_EQ(frame_->activeChild()->preview().runState(), PreviewLoop::Stopped);
    EXPECT_EQ(startButton()->text(), "Start Camera");
    EXPECT_EQ(frame_->cameraPanel()->findChild<QProgressBar*>(QStringLiteral("1007"))->value(), 0);

    // With the camera closed a removal is ignored.
    sendMessage(frame_.get(), msg::CameraRemoved, 21);
    EXPECT_EQ(boxes_.size(), 1u);
}

TEST_F(MainFrameTest, ClosingTheWindowClosesTheRunningCamera) {
    startButton()->click();
    ASSERT_EQ(record().state, KD_STATE_STARTED);
    CChildFrame* child = frame_->activeChild();
    ASSERT_TRUE(frame_->close());
    EXPECT_EQ(record().state, KD_STATE_UNINITIALISED);
    EXPECT_EQ(child->preview().runState(), PreviewLoop::Stopped);
    EXPECT_EQ(frame_->hotplugWatcher(), nullptr);
}

// Counts the picture's pure white pixels on a 4-pixel grid, as a share of the grid.
double whiteShare(QWidget* view) {
    const QImage picture = view->grab().toImage();
    int white = 0, all = 0;
    for (int y = 0; y < picture.height(); y += 4)
        for (int x = 0; x < picture.width(); x += 4, ++all)
            white += picture.pixelColor(x, y) == QColor(Qt::white);
    return all == 0 ? 0.0 : static_cast<double>(white) / all;
}

TEST_F(MainFrameTest, NewAndOpenWhileTheCameraRunsLeaveThePreviewWhereItWas) {
    startButton()->click();
    ASSERT_EQ(record().state, KD_STATE_STARTED);
    CChildFrame* camera = frame_->activeChild();
    ASSERT_TRUE(waitUntil([&] { return camera->displayedFrames() >= 2; }));

    // A new window and a file's window become active in turn; the camera stays pinned.
    CChildFrame* fresh = frame_->newImageWindow();
    const QString path = dir_.filePath(QStringLiteral("picture.bmp"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(frame_->openDocument(path));
    CChildFrame* document = frame_->activeChild();
    ASSERT_NE(document, camera);
    ASSERT_NE(document, fresh);
    EXPECT_EQ(frame_->cameraChild(), camera);

    // Every preview message still reaches the camera's window only.
    spyOn(camera, "camera");
    spyOn(document, "document");
    sendMessage(frame_.get(), msg::Redisplay);
    QCoreApplication::processEvents();
    auto redisplays = [&](const QString& target) {
        int count = 0;
        for (const Seen& s : seen(target)) count += s.message == msg::Redisplay;
        return count;
    };
    EXPECT_EQ(redisplays("camera"), 1);
    EXPECT_TRUE(seen("document").empty());
    sendMessage(frame_.get(), msg::RestoreFullArea);  // refits the camera's window

    const int shown = camera->displayedFrames();
    ASSERT_TRUE(waitUntil([&] { return camera->displayedFrames() >= shown + 2; }));
    EXPECT_EQ(camera->preview().runState(), PreviewLoop::Running);
    for (CChildFrame* other : {fresh, document}) {
        EXPECT_EQ(other->preview().runState(), PreviewLoop::Stopped);
        EXPECT_EQ(other->displayedFrames(), 0);
        // Not the camera's picture to show: the closed-camera white, not the show buffer.
        other->resize(300, 200);
        EXPECT_GT(whiteShare(other->view()), 0.9);
    }
    EXPECT_LT(whiteShare(camera->view()), 0.5);

    // A file's window may close while the camera runs; the camera's may not.
    EXPECT_TRUE(document->close());
    EXPECT_FALSE(camera->close());

    // Stop: the camera's own preview ends and its view shows the closed picture.
    frame_->mdiArea()->setActiveSubWindow(camera);
    startButton()->click();
    EXPECT_EQ(record().state, KD_STATE_UNINITIALISED);
    EXPECT_EQ(camera->preview().runState(), PreviewLoop::Stopped);
    EXPECT_GT(whiteShare(camera->view()), 0.9);
    // Closed, the camera belongs to no window: the active one is the one it would open in.
    frame_->mdiArea()->setActiveSubWindow(fresh);
    EXPECT_EQ(frame_->cameraChild(), fresh);
}

TEST_F(MainFrameTest, OpenedFilesKeepTheFourMostRecent) {
    QStringList paths;
    for (int i = 0; i < 5; ++i) {
        const QString path = dir_.filePath(QStringLiteral("picture%1.bmp").arg(i));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        paths << path;
    }
    const int windows = frame_->mdiArea()->subWindowList().size();
    for (const QString& path : paths) EXPECT_TRUE(frame_->openDocument(path));
    EXPECT_EQ(frame_->mdiArea()->subWindowList().size(), windows + 5);
    const QStringList recent = frame_->recentFiles();
    ASSERT_EQ(recent.size(), 4);
    EXPECT_EQ(recent.first(), QFileInfo(paths[4]).absoluteFilePath());
    EXPECT_EQ(recent.last(), QFileInfo(paths[1]).absoluteFilePath());

    EXPECT_FALSE(frame_->openDocument(dir_.filePath(QStringLiteral("missing.bmp"))));
    EXPECT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(frame_->mdiArea()->subWindowList().size(), windows + 5);
}
