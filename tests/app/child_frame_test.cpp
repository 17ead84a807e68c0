// The image window's message handling, its caption counter and its notifications,
// first over a scripted camera, then over the simulated camera through the libraries.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "../driver/allocation_control.h"
#include "platform/sim.h"
#include "qt_test_application.h"
#include "shell/child_frame.h"
#include "shell/kd_gel_view.h"
#include "ui/messages.h"

namespace {

using namespace std::chrono_literals;
namespace sim = corvalis::platform::sim;

const auto* const qtApp =
    ::testing::AddGlobalTestEnvironment(new QtTestApplication("child_frame_test"));

// Stands in for the main frame: records every message it gets, and whether it came
// while a handler of the image window was still running (sent) or later (posted).
class MainFrameRecorder : public QObject {
  public:
    struct Entry {
        unsigned message;
        bool sent;
    };
    std::vector<Entry> entries;
    bool inHandler = false;
    std::vector<unsigned> messages() const {
        std::vector<unsigned> m;
        for (const Entry& e : entries) m.push_back(e.message);
        return m;
    }

  protected:
    bool event(QEvent* event) override {
        if (event->type() != KdMessageEvent::eventType()) return QObject::event(event);
        entries.push_back({static_cast<KdMessageEvent*>(event)->message, inHandler});
        return true;
    }
};

// A camera whose grab hands out a frame only when the test releases one.
struct ScriptedCamera {
    std::atomic<int> permits{0};
    PreviewCalls calls() {
        PreviewCalls c;
        c.getImageSize = [](CameraRecord*, int* w, int* h) {
            *w = 8, *h = 4;
            return 1;
        };
        c.grabFrame = [this](CameraRecord*, void*) {
            int p = permits.load();
            while (p > 0)
                if (permits.compare_exchange_weak(p, p - 1)) return 1;
            return 0;
        };
        c.decode = [](CameraRecord*, const void*, void*, int, int, int) { return 1; };
        c.readWrite = [](CameraRecord*, int, int) { return 1; };
        c.crop = [](CameraRecord*, const unsigned char*, unsigned char*) { return 1; };
        c.copyToShowBuffer = [](CameraRecord*, unsigned char*) { return 1; };
        return c;
    }
};

class ChildFrameMessages : public ::testing::Test {
  protected:
    ChildFrameMessages() {
        context.mainFrame = &mainFrame;
        CameraRecord& r = context.record;
        r.camera_type = KD_FAMILY_OSTRA, r.resolution_index = 4, r.exposure_ms = 200;
        r.image_width = 8, r.image_height = 4, r.crop_right = 8, r.crop_bottom = 4;
    }
    long send(unsigned message) {
        mainFrame.inHandler = true;
        const long result = sendMessage(&frame, message);
        mainFrame.inHandler = false;
        return result;
    }
    void showFrame() {
        const int before = frame.displayedFrames();
        camera.permits++;
        ASSERT_TRUE(eventuallyWithEvents([&] { return frame.displayedFrames() == before + 1; }));
    }

    MainFrameRecorder mainFrame;
    FrameContext context;
    ScriptedCamera camera;
    CChildFrame frame{&context, nullptr, camera.calls()};
};

TEST_F(ChildFrameMessages, StartSendsTheExposureRestartAndEachFrameIsCountedAndForwarded) {
    EXPECT_EQ(send(msg::OpenCamera), 1);
    ASSERT_EQ(mainFrame.entries.size(), 1u);
    EXPECT_EQ(mainFrame.entries[0].message, msg::RestartExposure);
    EXPECT_TRUE(mainFrame.entries[0].sent);
    EXPECT_EQ(send(msg::OpenCamera), 0);  // already running: nothing more sent
    EXPECT_EQ(mainFrame.entries.size(), 1u);

    showFrame();
    EXPECT_EQ(frame.windowTitle(), "1");
    ASSERT_TRUE(eventuallyWithEvents([&] { return mainFrame.entries.size() >= 4; }));
    const std::vector<unsigned> expected{msg::RestartExposure, msg::RestartExposure,
                                         msg::RefreshHistogram, msg::FrameDisplayed};
    EXPECT_EQ(mainFrame.messages(), expected);
    for (std::size_t i = 1; i < 4; ++i) EXPECT_FALSE(mainFrame.entries[i].sent);

    // The caption keeps counting across a stop and a new start.
    send(msg::CloseCamera);
    send(msg::CloseCamera);  // a second stop is harmless
    EXPECT_EQ(send(msg::OpenCamera), 1);
    showFrame();
    EXPECT_EQ(frame.windowTitle(), "2");
}

TEST_F(ChildFrameMessages, AStartWithoutMemoryIsReportedAndLeavesThePreviewStopped) {
    int reported = 0;
    QObject::connect(&frame, &CChildFrame::previewStartFailed,
                     [&](int result) { reported = result; });
    // The scripted camera's picture is tiny; the first family's raw read-out in mode 0
    // is not.
    context.record.resolution_index = 0;
    allocation_control::refuseLarge(true);
    const long result = send(msg::OpenCamera);
    allocation_control::refuseLarge(false);
    EXPECT_EQ(result, -2);
    EXPECT_EQ(reported, -2);
    EXPECT_EQ(frame.preview().runState(), PreviewLoop::Stopped);
    EXPECT_TRUE(mainFrame.entries.empty());
    EXPECT_EQ(send(msg::OpenCamera), 1);
}

TEST_F(ChildFrameMessages, APictureTheLibraryDrawsIsShownUprightWhileNoPreviewRuns) {
    context.record.state = KD_STATE_STARTED;
    frame.resize(200, 150);
    // Bottom-up: the first row (blue) is the picture's bottom, the second (red) its top.
    const unsigned char bgr[] = {255, 0, 0,   255, 0, 0,   255, 0, 0,   255, 0, 0,
                                 0,   0, 255, 0,   0, 255, 0,   0, 255, 0,   0, 255};
    KdWindow* window = frame.kdWindow();
    window->draw(window->context, bgr, 4, 2);
    QApplication::processEvents();
    // Stretched over the view: red above, blue below.
    const QImage shown = frame.view()->grab().toImage();
    ASSERT_GE(shown.height(), 4);
    EXPECT_EQ(shown.pixelColor(shown.width() / 2, 1), QColor(Qt::red));
    EXPECT_EQ(shown.pixelColor(shown.width() / 2, shown.height() - 2), QColor(Qt::blue));
}

// The camera opened as the main frame opens it, on the simulated camera in mode 4.
class SimulatedCamera : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::reset();
        context.mainFrame = &mainFrame;
        CameraRecord& r = context.record;
        r.state = KD_STATE_UNINITIALISED, r.camera_type = KD_FAMILY_NONE, r.resolution_index = 4;
        r.exposure_ms = 200, r.analog_gain = 40, r.frame_speed = 2;
        r.gain_r = r.gain_g = r.gain_b = 64, r.saturation = 128, r.color_enhancement = 1,
        r.gamma = 10;
        ASSERT_EQ(KdCamera_RefreshCamera(&r), 1);
        ASSERT_EQ(r.camera_type, KD_FAMILY_OSTRA);
        r.init_window_1 = r.init_window_2 = frame.kdWindow();
        ASSERT_EQ(KdCamera_ReadWrite(&r, CAMCMD_INIT, 0), 1);
        KdCamera_ReadWrite(&r, CAMCMD_START, 0);
        ASSERT_EQ(r.state, KD_STATE_STARTED);
        KdCamera_ReadWrite(&r, CAMCMD_DISPLAY_ENABLE, 0);
        KdCamera_ReadWrite(&r, CAMCMD_IMAGE_SIZE, 1);
        r.crop_left = r.crop_top = 0, r.crop_right = r.image_width, r.crop_bottom = r.image_height;
        Mes_Init(&r);
        frame.resize(r.image_width / 2, r.image_height / 2);
    }
    void TearDown() override {
        sendMessage(&frame, msg::CloseCamera);
        Mes_UnInit(&context.record);
        KdCamera_ReadWrite(&context.record, CAMCMD_STOP, 0);
        KdCamera_ReadWrite(&context.record, CAMCMD_UNINIT, 0);
        sim::reset();
    }
    // Stops the preview; a stop that hangs is ended by unplugging after the liveness
    // bound, and counts as a failure.
    void stopWithinBound() {
        std::atomic<bool> stopped{false}, rescued{false};
        std::thread watchdog([&] {
            for (int i = 0; i < 3000 && !stopped; ++i) std::this_thread::sleep_for(10ms);
            if (!stopped)
                for (int handle : sim::devices()) rescued = true, sim::unplug(handle);
        });
        sendMessage(&frame, msg::CloseCamera);
        stopped = true;
        watchdog.join();
        EXPECT_FALSE(rescued) << "the stop waited for the device to go away";
        EXPECT_EQ(frame.preview().runState(), PreviewLoop::Stopped);
    }

    MainFrameRecorder mainFrame;
    FrameContext context;
    CChildFrame frame{&context};
};

TEST_F(SimulatedCamera, ShowsTheSkyAndCountsFrames) {
    frame.show();
    ASSERT_EQ(sendMessage(&frame, msg::OpenCamera), 1);
    ASSERT_TRUE(eventuallyWithEvents([&] { return frame.displayedFrames() >= 2; }));
    EXPECT_EQ(frame.windowTitle().toInt(), frame.displayedFrames());
    // The view draws the show buffer: a picture, not the closed camera's white.
    const QImage picture = frame.view()->grab().toImage();
    int white = 0;
    for (int y = 0; y < picture.height(); y += 4)
        for (int x = 0; x < picture.width(); x += 4)
            white += picture.pixelColor(x, y) == QColor(Qt::white);
    EXPECT_LT(white, picture.width() * picture.height() / 32);
    EXPECT_EQ(context.frameShown.load(), 1);
    stopWithinBound();
}

TEST_F(SimulatedCamera, AnUnplugDuringALongExposureLetsTheStopFinish) {
    context.record.exposure_ms = 60000;
    KdCamera_ReadWrite(&context.record, CAMCMD_EXPOSURE, 0);
    ASSERT_EQ(sendMessage(&frame, msg::OpenCamera), 1);
    sim::camera()->injectFault(sim::Fault::UnplugDuringExposure);
    ASSERT_TRUE(eventuallyWithEvents([&] { return sim::devices().empty(); }));
    std::this_thread::sleep_for(50ms);  // the grab thread now retries a camera that is gone
    stopWithinBound();
    EXPECT_EQ(context.record.exposure_ms, 60000u);
}

TEST_F(SimulatedCamera, AStalledReadLetsTheStopFinish) {
    ASSERT_EQ(sendMessage(&frame, msg::OpenCamera), 1);
    ASSERT_TRUE(eventuallyWithEvents([&] { return frame.displayedFrames() >= 1; }));
    // An exposure so long that a stalled read's own time limit lies far beyond the
    // liveness bound: only the stop can end it.
    context.record.exposure_ms = 3000000;
    KdCamera_ReadWrite(&context.record, CAMCMD_EXPOSURE, 0);
    // The read in flight may already wait on the long exposure; the restart ends it, so
    // that the next read takes the stall. A stall taken before the restart is ended by
    // it too, hence a second one.
    auto camera = sim::camera();
    camera->injectFault(sim::Fault::Stall);
    camera->injectFault(sim::Fault::Stall);
    KdCamera_ReadWrite(&context.record, CAMCMD_RESTART_LONG_EXP_0, 0);
    ASSERT_TRUE(eventuallyWithEvents([&] { return camera->stalledReads() > 0; }))
        << "no read took the stall";
    camera->clearFaults();
    stopWithinBound();
    EXPECT_EQ(camera->stalledReads(), 0);
}

}  // namespace
