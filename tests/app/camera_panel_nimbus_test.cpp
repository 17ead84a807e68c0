// The control panel with a second-family camera attached (simulated): its resolution
// names, no "16-bit", "Dead correct", its ranges read from the camera, and a first
// opening that starts from the family's own picture values instead of a black picture.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <memory>

#include "../support/qt_test_application.h"
#include "control/camera_panel.h"
#include "control/picture_group.h"
#include "shell/child_frame.h"
#include "shell/kd_gel_view.h"
#include "shell/main_frame.h"
#include "ui/message_box.h"

namespace {

const auto* const qtApp =
    ::testing::AddGlobalTestEnvironment(new QtTestApplication("test_camera_panel_nimbus"));

TEST(CameraPanelNimbus, ListsItsModesAndOpensWithAVisiblePicture) {
    setMessageBoxHook([](const MessageBoxRequest&) {});
    auto frame = std::make_unique<CMainFrame>();
    frame->resize(1366, 768);
    frame->show();
    CCameraPanel* panel = frame->cameraPanel();
    ASSERT_EQ(panel->detectedFamily(), KD_FAMILY_NIMBUS);
    ASSERT_EQ(panel->resolutionList()->count(), 5);
    EXPECT_FALSE(panel->sixteenBitBox()->isVisibleTo(panel));
    EXPECT_EQ(panel->pictureGroup()->noiseReduction()->text(), QStringLiteral("Dead correct"));
    // Entry 3 is mode 3 for this family.
    emit panel->resolutionList()->activated(3);
    EXPECT_EQ(frame->record().resolution_index, 3);
    emit panel->resolutionList()->activated(0);

    panel->startButton()->click();
    ASSERT_TRUE(frame->session().running());
    const CameraRecord& r = frame->record();
    EXPECT_EQ(r.contrast, 128);
    EXPECT_EQ(r.gamma, 100);
    // The sliders run over the ranges the camera reported and sit on the stored bytes.
    const QSlider* contrast = panel->pictureGroup()->contrast().slider;
    EXPECT_GT(contrast->maximum(), 128);
    EXPECT_EQ(contrast->value(), 128);
    EXPECT_EQ(panel->pictureGroup()->contrast().value->text(), QStringLiteral("128"));

    CChildFrame* child = frame->cameraChild();
    auto brightness = [&] {
        const QImage picture = child->view()->grab().toImage();
        double sum = 0;
        int n = 0;
        for (int y = 0; y < picture.height(); y += 3)
            for (int x = 0; x < picture.width(); x += 3, ++n) sum += qGray(picture.pixel(x, y));
        return sum / n;
    };
    ASSERT_TRUE(eventuallyWithEvents([&] { return child->displayedFrames() >= 2; }));
    // The sky shows: not the black of the first family's contrast 0 and gamma 10.
    EXPECT_TRUE(eventuallyWithEvents([&] { return brightness() > 3.0; })) << brightness();
    panel->startButton()->click();
    EXPECT_TRUE(frame->session().closed());
    frame.reset();
    setMessageBoxHook({});
}

}  // namespace
