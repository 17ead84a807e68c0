// The image view: the white name mark while the camera is closed, and the crop
// selection dragged with the mouse while its preview runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>

#include "preview/preview_loop.h"
#include "qt_test_application.h"
#include "shell/kd_gel_view.h"

namespace {

const auto* const qtApp =
    ::testing::AddGlobalTestEnvironment(new QtTestApplication("kd_gel_view_test"));

// A camera that never delivers a frame: the preview runs, and the view is the
// camera's, with nothing drawn into the show buffer.
PreviewCalls idleCamera() {
    PreviewCalls c;
    c.getImageSize = [](CameraRecord*, int* w, int* h) {
        *w = 8, *h = 4;
        return 1;
    };
    c.grabFrame = [](CameraRecord*, void*) { return 0; };
    c.decode = [](CameraRecord*, const void*, void*, int, int, int) { return 1; };
    c.readWrite = [](CameraRecord*, int, int) { return 1; };
    c.crop = [](CameraRecord*, const unsigned char*, unsigned char*) { return 1; };
    c.copyToShowBuffer = [](CameraRecord*, unsigned char*) { return 1; };
    return c;
}

class KdGelViewTest : public ::testing::Test {
  protected:
    KdGelViewTest() : preview(context, idleCamera()), view(&context, &preview) {
        EXPECT_EQ(preview.start(), KD_DONE);
        context.record.state = KD_STATE_STARTED;
        // The program's first picture size: a 100-pixel selection is 340 picture pixels.
        context.record.image_width = 1360;
        context.record.image_height = 1024;
        view.resize(400, 300);
    }
    void send(QEvent::Type type, QPoint p, Qt::MouseButtons buttons) {
        sendTo(view, type, p, buttons);
    }
    static void sendTo(QWidget& target, QEvent::Type type, QPoint p, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(p), target.mapToGlobal(QPointF(p)), Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(&target, &event);
    }
    void drag(QPoint from, QPoint to) {
        send(QEvent::MouseButtonPress, from, Qt::LeftButton);
        send(QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
        send(QEvent::MouseMove, to, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, to, Qt::NoButton);
    }
    RECT selection() const { return context.selection; }

    FrameContext context;
    PreviewLoop preview;
    CKdGelView view;
};

bool sameRect(const RECT& r, int l, int t, int rt, int b) {
    return r.left == l && r.top == t && r.right == rt && r.bottom == b;
}

TEST_F(KdGelViewTest, ClosedCameraShowsWhiteWithTheNameMarkAtTheBottomRight) {
    context.record.state = KD_STATE_UNINITIALISED;
    const QImage picture = view.grab().toImage();
    EXPECT_EQ(picture.pixelColor(5, 5), QColor(Qt::white));
    EXPECT_EQ(picture.pixelColor(200, 150), QColor(Qt::white));
    // The name's black copy lies in the bottom-right corner and nowhere else.
    int dark = 0, darkElsewhere = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (picture.pixelColor(x, y).lightness() < 64)
                (x > 200 && y > 230 ? dark : darkElsewhere)++;
    EXPECT_GT(dark, 100);
    EXPECT_EQ(darkElsewhere, 0);
    // The live picture is never wiped before painting.
    EXPECT_TRUE(view.testAttribute(Qt::WA_OpaquePaintEvent));
}

TEST_F(KdGelViewTest, ADraggedRectangleBecomesTheSelection) {
    drag({10, 20}, {110, 70});
    EXPECT_EQ(view.trackerRect(), QRect(10, 20, 100, 50));
    EXPECT_TRUE(sameRect(selection(), 10, 20, 110, 70));
    EXPECT_EQ(context.record.area_selected, 1);

    // Dragged up and left: the rectangle comes out normalised.
    drag({300, 200}, {250, 150});
    EXPECT_TRUE(sameRect(selection(), 250, 150, 300, 200));

    drag({270, 170}, {280, 180});  // inside: moves
    EXPECT_TRUE(sameRect(selection(), 260, 160, 310, 210));
    drag({312, 212}, {342, 222});  // the bottom-right handle, outside the corner
    EXPECT_TRUE(sameRect(selection(), 260, 160, 340, 220));
    EXPECT_EQ(context.record.area_selected, 1);
}

TEST_F(KdGelViewTest, AnEdgeSelectionOrAClickIsNoValidCrop) {
    drag({10, 20}, {110, 70});
    ASSERT_EQ(context.record.area_selected, 1);
    drag({0, 20}, {110, 70});  // on the left edge: copied, but no crop
    EXPECT_TRUE(sameRect(selection(), 0, 20, 110, 70));
    EXPECT_EQ(context.record.area_selected, 0);

    drag({10, 20}, {110, 70});
    drag({300, 250}, {300, 250});  // a click without dragging clears it
    EXPECT_TRUE(view.trackerRect().isEmpty());
    EXPECT_TRUE(sameRect(selection(), 0, 0, 0, 0));
    EXPECT_EQ(context.record.area_selected, 0);

    drag({10, 20}, {110, 70});
    drag({50, 40}, {50, 40});  // a click on it without moving clears it too
    EXPECT_TRUE(view.trackerRect().isEmpty());
}

TEST_F(KdGelViewTest, ASelectionUnderTwoPicturePixelsIsNoValidCrop) {
    // A 200 x 150 picture in the 400 x 300 view: two view pixels to a picture pixel.
    context.record.image_width = 200;
    context.record.image_height = 150;
    drag({200, 150}, {300, 250});
    ASSERT_EQ(context.record.area_selected, 1);
    // 12..15 across is picture 6..7: an even crop of nothing. Refused, and it clears
    // the earlier selection's flag.
    drag({12, 20}, {15, 70});
    EXPECT_TRUE(sameRect(selection(), 12, 20, 15, 70));
    EXPECT_EQ(context.record.area_selected, 0);
    // The same down.
    drag({200, 150}, {300, 250});
    drag({20, 12}, {120, 15});
    EXPECT_EQ(context.record.area_selected, 0);
    // Four view pixels from an even start are two picture pixels: a valid crop.
    drag({12, 20}, {16, 70});
    EXPECT_EQ(context.record.area_selected, 1);
}

TEST_F(KdGelViewTest, ClicksWhileClosedLeaveTheSelectionAlone) {
    drag({10, 20}, {110, 70});
    context.record.state = KD_STATE_UNINITIALISED;
    drag({50, 60}, {150, 160});
    EXPECT_TRUE(sameRect(selection(), 10, 20, 110, 70));
    EXPECT_EQ(context.record.area_selected, 1);
}

TEST_F(KdGelViewTest, AViewWithoutTheCamerasPreviewLeavesTheSelectionAlone) {
    drag({10, 20}, {110, 70});
    // A file's window while the camera runs: its preview is stopped.
    PreviewLoop stopped(context, idleCamera());
    CKdGelView other(&context, &stopped);
    other.resize(400, 300);
    sendTo(other, QEvent::MouseButtonPress, {50, 60}, Qt::LeftButton);
    sendTo(other, QEvent::MouseMove, {150, 160}, Qt::LeftButton);
    sendTo(other, QEvent::MouseButtonRelease, {150, 160}, Qt::NoButton);
    EXPECT_TRUE(sameRect(selection(), 10, 20, 110, 70));
    EXPECT_EQ(context.record.area_selected, 1);
    EXPECT_TRUE(other.trackerRect().isEmpty());
}

TEST_F(KdGelViewTest, PaintingWhileRunningDropsASelectionThatIsNotValid) {
    drag({10, 20}, {110, 70});
    (void)view.grab();
    EXPECT_FALSE(view.trackerRect().isEmpty());
    context.record.area_selected = 0;
    (void)view.grab();
    EXPECT_TRUE(view.trackerRect().isEmpty());
}

}  // namespace
