// The shell's tables and arithmetic: hot-plug device paths and the model table, the
// watcher's messages, the image window's fit and the selection crop, function keys.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <fstream>
#include <vector>

#include "config/function_keys.h"
#include "platform/sim.h"
#include "session/window_fit.h"
#include "shell/hotplug_watcher.h"
#include "ui/messages.h"

namespace {

QCoreApplication& app() {
    static int argc = 1;
    static char name[] = "test_shell_logic";
    static char* argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}

// Records the window messages posted to it.
class MessageLog : public QObject {
  public:
    struct Entry {
        unsigned message;
        int wParam;
    };
    std::vector<Entry> entries;

    bool event(QEvent* event) override {
        if (event->type() != KdMessageEvent::eventType()) return QObject::event(event);
        auto* m = static_cast<KdMessageEvent*>(event);
        entries.push_back({m->message, static_cast<int>(static_cast<qintptr>(m->wParam))});
        return true;
    }
    // Delivers posted messages until `count` have arrived or 10 s have passed.
    void waitFor(std::size_t count) {
        QElapsedTimer clock;
        clock.start();
        while (entries.size() < count && clock.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
    }
};

int modelOf(const char* path) {
    const DeviceIds ids = deviceIdsFromPath(path);
    return cameraModelNumber(ids.product, ids.vendor);
}

}  // namespace

TEST(HotplugModels, DevicePathsGiveTheirModel) {
    EXPECT_EQ(
        modelOf("\\\\?\\USB#Vid_0547&Pid_d002#5&1f2e&0&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"),
        21);
    EXPECT_EQ(modelOf("\\\\?\\usb#Vid_0547&Pid_D002#1-1#{a5dcbf10}"), 21);
    // The markers are case-sensitive: capitals are not found and the ids come from the
    // path's fourth character on.
    EXPECT_EQ(modelOf("\\\\?\\USB#VID_0547&PID_D002#5&1f2e"), -1);
    EXPECT_EQ(modelOf("\\\\?\\usb#Vid_0546&Pid_4D33#1-1"), 4);
    EXPECT_EQ(modelOf("\\\\?\\usb#Vid_0547&Pid_4d33#1-1"), 4);
    EXPECT_EQ(modelOf("\\\\?\\usb#Vid_093a&Pid_2468#1-1"), 0);
    EXPECT_EQ(modelOf("\\\\?\\usb#Vid_0547&Pid_A004#1-1"), -1);
    EXPECT_EQ(modelOf("\\\\?\\usb#Vid_04b4&Pid_3002#1-1"), 11);
    EXPECT_EQ(modelOf(""), -1);
}

TEST(HotplugModels, MissingMarkerReadsFromTheFourthCharacter) {
    const DeviceIds ids = deviceIdsFromPath("usbD002xyz");
    EXPECT_EQ(ids.vendor, "D002");
    EXPECT_EQ(ids.product, "D002");
    const DeviceIds shortIds = deviceIdsFromPath("ab");
    EXPECT_EQ(shortIds.vendor, "");
    // An id cut short by the end of the path does not match a four-character entry.
    EXPECT_EQ(modelOf("x#Vid_0547&Pid_D00"), -1);
}

TEST(HotplugWatcherMessages, ArrivalAndRemovalArePostedOthersIgnored) {
    app();
    MessageLog log;
    HotplugWatcher watcher;
    const char* path = "\\\\?\\usb#Vid_0547&Pid_D002#1-1";
    EXPECT_EQ(watcher.deviceChange(HotplugWatcher::kDeviceRemovePending,
                                   HotplugWatcher::kDeviceInterface, path),
              0);
    EXPECT_EQ(watcher.deviceChange(HotplugWatcher::kDeviceRemoveComplete, 2, path), 0);
    // Without a registered main frame nothing is posted anywhere.
    watcher.deviceChange(HotplugWatcher::kDeviceArrival, HotplugWatcher::kDeviceInterface, path);
    QCoreApplication::processEvents();
    EXPECT_TRUE(log.entries.empty());
}

TEST(HotplugWatcherMessages, SimulatedPlugAndUnplugReachTheMainFrame) {
    app();
    MessageLog log;
    HotplugWatcher watcher;
    ASSERT_TRUE(watcher.registerFor(&log));
    corvalis::platform::usb::DeviceInfo where;
    where.vendor = 0x0547;
    where.product = 0xD002;
    where.bus = 3;
    where.portPath = {2};
    const int camera = corvalis::platform::sim::plug(where, false);
    where.vendor = 0x0546;
    where.product = 0x4D33;
    where.portPath = {3};
    const int other = corvalis::platform::sim::plug(where, false);
    ASSERT_TRUE(corvalis::platform::sim::unplug(camera));
    ASSERT_TRUE(corvalis::platform::sim::unplug(other));
    log.waitFor(4);
    ASSERT_EQ(log.entries.size(), 4u);
    EXPECT_EQ(log.entries[0].message, msg::CameraArrived);
    EXPECT_EQ(log.entries[0].wParam, 21);
    EXPECT_EQ(log.entries[1].message, msg::CameraArrived);
    EXPECT_EQ(log.entries[1].wParam, 4);
    EXPECT_EQ(log.entries[2].message, msg::CameraRemoved);
    EXPECT_EQ(log.entries[2].wParam, 21);
    EXPECT_EQ(log.entries[3].message, msg::CameraRemoved);
    EXPECT_EQ(log.entries[3].wParam, 4);

    // After unregistering no further event arrives.
    watcher.unregister();
    const int again = corvalis::platform::sim::plug(where, false);
    corvalis::platform::sim::unplug(again);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 200);
    EXPECT_EQ(log.entries.size(), 4u);
}

TEST(WindowFit, SmallCropIsCentredAtNaturalSize) {
    WindowPlacement p = fitImageWindow(RECT{0, 0, 640, 480}, 1360, 1024, 1001, 801, false);
    EXPECT_EQ(p.x, 180);
    EXPECT_EQ(p.y, 160);
    EXPECT_EQ(p.width, 640);
    EXPECT_EQ(p.height, 480);
    // The default full frame is capped at 1359 x 1023 and still fits a large area.
    p = fitImageWindow(RECT{0, 0, 1360, 1024}, 1360, 1024, 2000, 2000, false);
    EXPECT_EQ(p.width, 1359);
    EXPECT_EQ(p.height, 1023);
    EXPECT_EQ(p.x, 320);
    EXPECT_EQ(p.y, 488);
}

TEST(WindowFit, LargeCropOrFullScreenIsScaledFromTheCorner) {
    WindowPlacement p = fitImageWindow(RECT{0, 0, 800, 400}, 1360, 1024, 400, 400, false);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
    EXPECT_EQ(p.width, 400);
    EXPECT_EQ(p.height, 200);
    // Full screen scales up a small crop too.
    p = fitImageWindow(RECT{0, 0, 100, 50}, 1360, 1024, 1000, 800, true);
    EXPECT_EQ(p.width, 1000);
    EXPECT_EQ(p.height, 500);
    // A crop as wide as the area does not fit.
    p = fitImageWindow(RECT{100, 100, 612, 356}, 1360, 1024, 512, 1000, false);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.width, 512);
    EXPECT_EQ(p.height, 256);
}

TEST(WindowFit, EmptyCropOrNoRoomPlacesNothing) {
    WindowPlacement p = fitImageWindow(RECT{10, 10, 10, 10}, 1360, 1024, 1000, 800, true);
    EXPECT_EQ(p.width, 0);
    EXPECT_EQ(p.height, 0);
    p = fitImageWindow(RECT{0, 0, 640, 480}, 1360, 1024, -20, 0, false);
    EXPECT_GE(p.width, 0);
    EXPECT_GE(p.height, 0);
}

TEST(SelectionCropTest, SelectionMapsOntoTheSensorWithEvenEdges) {
    SelectionCrop c;
    ASSERT_TRUE(cropFromSelection(RECT{0, 0, 512, 256}, RECT{128, 64, 384, 192}, 1024, 512, c));
    EXPECT_EQ(c.crop.left, 256);
    EXPECT_EQ(c.crop.top, 128);
    EXPECT_EQ(c.crop.right, 768);
    EXPECT_EQ(c.crop.bottom, 384);
    EXPECT_EQ(c.roiX0, 256);
    EXPECT_EQ(c.roiY0, 128);
    EXPECT_EQ(c.roiX1, 511);
    EXPECT_EQ(c.roiY1, 255);

    // Odd results: 13.6 -> 13 -> 12, 693.6 -> 693 -> 692, 10.24 -> 10, 522.24 -> 522.
    ASSERT_TRUE(cropFromSelection(RECT{0, 0, 100, 100}, RECT{1, 1, 51, 51}, 1360, 1024, c));
    EXPECT_EQ(c.crop.left, 12);
    EXPECT_EQ(c.crop.right, 692);
    EXPECT_EQ(c.crop.top, 10);
    EXPECT_EQ(c.crop.bottom, 522);
    EXPECT_EQ(c.roiX0, 14);  // 13 + 13 mod 2
    EXPECT_EQ(c.roiY0, 10);
    EXPECT_EQ(c.roiX1, 679);  // width 680
    EXPECT_EQ(c.roiY1, 511);  // height 512
}

TEST(SelectionCropTest, SelectionOutsideTheWindowIsClamped) {
    SelectionCrop c;
    ASSERT_TRUE(cropFromSelection(RECT{0, 0, 512, 256}, RECT{-50, -20, 600, 300}, 1024, 512, c));
    EXPECT_EQ(c.crop.left, 0);
    EXPECT_EQ(c.crop.top, 0);
    EXPECT_EQ(c.crop.right, 1024);
    EXPECT_EQ(c.crop.bottom, 512);
    EXPECT_EQ(c.roiX0, 1);
    EXPECT_EQ(c.roiY0, 1);
    EXPECT_EQ(c.roiX1, 1023);
    EXPECT_EQ(c.roiY1, 511);
    // An inverted selection collapses to nothing, which is refused like any empty crop.
    EXPECT_FALSE(cropFromSelection(RECT{0, 0, 512, 256}, RECT{300, 200, 100, 50}, 1024, 512, c));
    // A window with no client area maps nothing.
    EXPECT_FALSE(cropFromSelection(RECT{0, 0, 0, 256}, RECT{0, 0, 10, 10}, 1024, 512, c));
}

TEST(SelectionCropTest, ASelectionUnderTwoPicturePixelsIsRefused) {
    // A 1000-pixel view over a 500-pixel picture: 2 view pixels are 1 picture pixel.
    SelectionCrop c;
    c.crop = RECT{7, 7, 7, 7};
    c.roiX0 = 0;
    // 10..14 maps to 5..7, rounded to 4..6: two pixels across, kept.
    ASSERT_TRUE(cropFromSelection(RECT{0, 0, 1000, 1000}, RECT{10, 10, 14, 200}, 500, 500, c));
    EXPECT_EQ(c.crop.right - c.crop.left, 2);
    // 12..15 maps to 6..7.5, rounded to 6..6: empty across; the result is left alone.
    c.crop = RECT{7, 7, 7, 7};
    c.roiX0 = 0;
    EXPECT_FALSE(cropFromSelection(RECT{0, 0, 1000, 1000}, RECT{12, 10, 15, 200}, 500, 500, c));
    EXPECT_EQ(c.crop.left, 7);
    EXPECT_EQ(c.roiX0, 0);
    // The same down.
    EXPECT_FALSE(cropFromSelection(RECT{0, 0, 1000, 1000}, RECT{10, 12, 200, 15}, 500, 500, c));
    // A picture of no size (nothing known yet) gives no crop at all.
    EXPECT_FALSE(cropFromSelection(RECT{0, 0, 100, 100}, RECT{10, 10, 50, 50}, 0, 0, c));
}

TEST(FunctionKeys, ComparisonOrderAndTheRunningCamera) {
    FunctionKeyAssignments keys;
    for (int k = 1; k <= 12; ++k)
        EXPECT_EQ(functionKeyAction(k, keys, true), FunctionKeyAction::None);

    keys.capture = "F5";
    keys.startCamera = "F5";
    EXPECT_EQ(functionKeyAction(5, keys, false), FunctionKeyAction::StartCamera);
    EXPECT_EQ(functionKeyAction(5, keys, true), FunctionKeyAction::Capture);
    keys.waitScan = "F5";
    EXPECT_EQ(functionKeyAction(5, keys, true), FunctionKeyAction::FocusFileName);
    // Case-sensitive, whole name: "f5" and "F1" do not match F5 or F11.
    keys = FunctionKeyAssignments{"f5", "F1", ""};
    EXPECT_EQ(functionKeyAction(5, keys, true), FunctionKeyAction::None);
    EXPECT_EQ(functionKeyAction(11, keys, true), FunctionKeyAction::None);
    EXPECT_EQ(functionKeyAction(1, keys, true), FunctionKeyAction::Capture);
}

TEST(FunctionKeys, AssignmentsAreReadFromTheKeySection) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath("Capture.ini").toStdString();
    std::ofstream(path)
        << "[Other]\nCapture=F9\n[key]\nWaitScan = F2\r\nCapture=\"F3\"\nStartCamera=F12\n";
    const FunctionKeyAssignments keys = readFunctionKeyAssignments(path);
    EXPECT_EQ(keys.waitScan, "F2");
    EXPECT_EQ(keys.capture, "F3");
    EXPECT_EQ(keys.startCamera, "F12");

    const FunctionKeyAssignments none =
        readFunctionKeyAssignments(dir.filePath("missing.ini").toStdString());
    EXPECT_EQ(none.waitScan, "");
    EXPECT_EQ(none.capture, "");
    EXPECT_EQ(none.startCamera, "");
}
