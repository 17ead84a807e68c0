// The control panel in the main frame on the simulated camera: the groups and their
// enable rules, an exposure change that reaches the camera and brightens the picture,
// the fields' limits, "Default" and "One Push WB", the number field, open and close
// cycles, and the accessibility names of every control.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <map>
#include <memory>

#include "../support/qt_test_application.h"
#include "control/camera_panel.h"
#include "control/colour_group.h"
#include "control/exposure_group.h"
#include "control/picture_group.h"
#include "control/reserved_groups.h"
#include "platform/sim.h"
#include "shell/child_frame.h"
#include "shell/kd_gel_view.h"
#include "shell/main_frame.h"
#include "ui/colour_button.h"
#include "ui/message_box.h"
#include "ui/number_edit.h"

namespace sim = corvalis::platform::sim;

namespace {

const auto* const qtApp =
    ::testing::AddGlobalTestEnvironment(new QtTestApplication("test_camera_panel"));

class CameraPanelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::reset();
        setMessageBoxHook([this](const MessageBoxRequest& box) { boxes_.push_back(box); });
        frame_ = std::make_unique<CMainFrame>();
        frame_->resize(1366, 768);
        frame_->show();
        QApplication::processEvents();
        panel_ = frame_->cameraPanel();
    }
    void TearDown() override {
        frame_.reset();
        setMessageBoxHook({});
    }
    void open() {
        panel_->startButton()->click();
        ASSERT_TRUE(frame_->session().running());
        ASSERT_TRUE(waitFrames(1));
    }
    // Waits until `count` more frames were shown in the camera's window.
    bool waitFrames(int count) {
        CChildFrame* child = frame_->cameraChild();
        const int start = child->displayedFrames();
        return eventuallyWithEvents([&] { return child->displayedFrames() >= start + count; });
    }
    double meanBrightness() {
        const QImage picture = frame_->cameraChild()->view()->grab().toImage();
        double sum = 0;
        int n = 0;
        for (int y = 0; y < picture.height(); y += 2)
            for (int x = 0; x < picture.width(); x += 2, ++n) sum += qGray(picture.pixel(x, y));
        return sum / n;
    }
    void changeExposure(int minutes, int seconds, int millis) {
        ExposureGroup* e = panel_->exposureGroup();
        e->changeButton()->click();
        ASSERT_EQ(e->changeButton()->text(), QStringLiteral("OK"));
        ASSERT_TRUE(e->minutesField()->isEnabled());
        QTest::keyClicks(selectAll(e->minutesField()), QString::number(minutes));
        QTest::keyClicks(selectAll(e->secondsField()), QString::number(seconds));
        QTest::keyClicks(selectAll(e->millisecondsField()), QString::number(millis));
        e->changeButton()->click();
        ASSERT_EQ(e->changeButton()->text(), QStringLiteral("Change Exp"));
    }
    static QLineEdit* selectAll(QLineEdit* edit) {
        edit->setFocus();
        edit->selectAll();
        return edit;
    }
    CameraRecord& record() { return frame_->record(); }

    std::vector<MessageBoxRequest> boxes_;
    std::unique_ptr<CMainFrame> frame_;
    CCameraPanel* panel_ = nullptr;
};

TEST_F(CameraPanelTest, PictureControlsFollowTheCameraAcrossOpenAndCloseCycles) {
    PictureGroup* picture = panel_->pictureGroup();
    ColourGroup* colour = panel_->colourGroup();
    for (int cycle = 0; cycle < 2; ++cycle) {
        EXPECT_FALSE(picture->gain().slider->isEnabled());
        EXPECT_FALSE(colour->whiteBalanceButton()->isEnabled());
        EXPECT_FALSE(panel_->defaultButton()->isEnabled());
        EXPECT_FALSE(panel_->exposureGroup()->changeButton()->isEnabled());
        EXPECT_TRUE(panel_->resolutionList()->isEnabled());
        open();
        EXPECT_EQ(panel_->startButton()->text(), QStringLiteral("Stop Camera"));
        EXPECT_TRUE(picture->gain().slider->isEnabled());
        EXPECT_TRUE(picture->flipVertical()->isEnabled());
        EXPECT_TRUE(colour->saturation().slider->isEnabled());
        EXPECT_TRUE(panel_->defaultButton()->isEnabled());
        EXPECT_TRUE(panel_->exposureGroup()->changeButton()->isEnabled());
        EXPECT_FALSE(panel_->exposureGroup()->minutesField()->isEnabled());
        EXPECT_FALSE(panel_->resolutionList()->isEnabled());
        EXPECT_FALSE(panel_->sixteenBitBox()->isEnabled());
        // Saturation follows "Adjust saturation".
        colour->adjustSaturation()->click();
        EXPECT_EQ(record().color_enhancement, 0);
        EXPECT_FALSE(colour->saturation().slider->isEnabled());
        colour->adjustSaturation()->click();
        EXPECT_TRUE(colour->saturation().slider->isEnabled());
        panel_->startButton()->click();
        EXPECT_TRUE(frame_->session().closed());
        EXPECT_EQ(panel_->startButton()->text(), QStringLiteral("Start Camera"));
    }
}

TEST_F(CameraPanelTest, SlidersWriteTheRecordAndTheirLabels) {
    open();
    PictureGroup* picture = panel_->pictureGroup();
    picture->gain().slider->setValue(25);
    EXPECT_EQ(record().analog_gain, 25);
    EXPECT_EQ(picture->gain().value->text(), QStringLiteral("6.878 dB"));
    const int contrast[][3] = {{0, 0, -20}, {19, 19, -1}, {20, 20, 0}, {21, 24, 1}, {40, 100, 20}};
    for (const auto& row : contrast) {
        picture->contrast().slider->setValue(row[0]);
        EXPECT_EQ(record().contrast, row[1]);
        EXPECT_EQ(picture->contrast().value->text(), QString::number(row[2]));
    }
    const int gamma[][3] = {{0, 20, -20}, {20, 100, 0}, {21, 102, 1}, {40, 150, 20}};
    for (const auto& row : gamma) {
        picture->gamma().slider->setValue(row[0]);
        EXPECT_EQ(record().gamma, row[1]);
        EXPECT_EQ(picture->gamma().value->text(), QString::number(row[2]));
    }
    panel_->colourGroup()->colourGain(CameraControls::Red).slider->setValue(128);
    EXPECT_EQ(record().gain_r, 128);
    EXPECT_EQ(panel_->colourGroup()->colourGain(CameraControls::Red).value->text(),
              QStringLiteral(" 2.00"));
    picture->flipHorizontal()->click();
    EXPECT_EQ(record().mirror_1, 1);
    picture->sharpen()->click();
    picture->sharpenStrength().slider->setValue(30);
    EXPECT_EQ(frame_->context().sharpenOn.load(), 1);
    EXPECT_EQ(picture->sharpenStrength().value->text(), QStringLiteral("3.00"));
    // A refresh from the record puts every slider back where its stored byte says.
    record().gamma = 10;
    sendMessage(panel_, msg::PanelsReload);
    EXPECT_EQ(picture->gamma().slider->value(), 0);
    EXPECT_EQ(picture->gamma().value->text(), QStringLiteral("-20"));
    EXPECT_EQ(picture->contrast().slider->value(), 40);
}

TEST_F(CameraPanelTest, ALongerExposureReachesTheCameraAndBrightensThePicture) {
    open();
    ASSERT_EQ(record().frame_speed, 3);
    ASSERT_TRUE(waitFrames(2));
    auto camera = sim::camera();
    ASSERT_TRUE(camera);
    // 200 000 us over rows of 3607 x 0.1 us: 555 rows (554.5 rounded up).
    EXPECT_EQ(camera->exposureRows(), 555);
    const double before = meanBrightness();
    changeExposure(0, 4, 0);
    EXPECT_EQ(record().exposure_ms, 4000u);
    EXPECT_EQ(record().frame_time_ms, 4000);
    // 4 000 000 us: 11 090 rows (11 089.5 rounded up), as 9 steps of 1155 and 695.
    EXPECT_EQ(camera->exposureRows(), 11090);
    EXPECT_EQ(camera->settings().exposureHigh, 9);
    EXPECT_EQ(camera->settings().exposureLow, 695);
    // Twenty times the light: the sky goes from nearly black to bright. Frames already
    // on their way show first, so this waits for the new ones.
    EXPECT_TRUE(eventuallyWithEvents([&] { return meanBrightness() > before + 50.0; }))
        << before << " -> " << meanBrightness();
    // The progress bar was armed for 4 s: (4000 + 750) / 15 = 316 steps.
    EXPECT_EQ(panel_->progressBar()->maximum(), 317);
}

TEST_F(CameraPanelTest, TheFieldsTakeNoMoreThanTheSpeedAllows) {
    open();
    ExposureGroup* e = panel_->exposureGroup();
    // 8-bit opens at speed 3: at most 28:24.345, and the panel says so.
    EXPECT_TRUE(e->longestLabel()->isVisible());
    EXPECT_TRUE(e->longestLabel()->text().contains(QStringLiteral("28:24.345")));
    e->changeButton()->click();
    QTest::keyClicks(selectAll(e->minutesField()), QStringLiteral("29"));
    EXPECT_EQ(e->minutesField()->text(), QStringLiteral("2"));  // "29" refused: "2" again
    QTest::keyClicks(selectAll(e->minutesField()), QStringLiteral("28"));
    QTest::keyClicks(selectAll(e->secondsField()), QStringLiteral("59"));
    e->changeButton()->click();
    EXPECT_EQ(record().exposure_ms, 1704345u);
    EXPECT_EQ(e->secondsField()->text(), QStringLiteral("24"));
    EXPECT_TRUE(e->longestLabel()->text().contains(QStringLiteral("shortened")));
    // The camera exposes exactly its longest: 4090 steps of 1155 rows plus 1154.
    EXPECT_EQ(sim::camera()->exposureRows(), 4090L * 1155 + 1154);
}

TEST_F(CameraPanelTest, SixteenBitTakesTheWholeRangeOfTheFields) {
    panel_->sixteenBitBox()->click();
    EXPECT_EQ(record().data_width_16, 1);
    open();
    ExposureGroup* e = panel_->exposureGroup();
    EXPECT_EQ(record().frame_speed, 4);
    EXPECT_FALSE(e->longestLabel()->isVisible());
    e->changeButton()->click();
    QTest::keyClicks(selectAll(e->minutesField()), QStringLiteral("56"));
    EXPECT_EQ(e->minutesField()->text(), QStringLiteral("5"));  // "56" refused: "5" again
    QTest::keyClicks(selectAll(e->minutesField()), QStringLiteral("55"));
    QTest::keyClicks(selectAll(e->secondsField()), QStringLiteral("59"));
    QTest::keyClicks(selectAll(e->millisecondsField()), QStringLiteral("999"));
    EXPECT_EQ(picture::exposureMs(e->fields()), 3359999u);
    // Not applied: a 56-minute frame would hold the test up.
}

// Counts the "show the last frame again" messages that reach a window.
class RedisplayCounter : public QObject {
  public:
    int seen = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == KdMessageEvent::eventType() &&
            static_cast<KdMessageEvent*>(event)->message == msg::Redisplay)
            ++seen;
        return false;
    }
};

TEST_F(CameraPanelTest, APictureChangeShowsTheLastFrameAgainOnlyForLongExposures) {
    open();
    RedisplayCounter counter;
    frame_->cameraChild()->installEventFilter(&counter);
    // 200 ms: the next frame comes soon enough.
    panel_->pictureGroup()->contrast().slider->setValue(30);
    QTest::qWait(400);
    EXPECT_EQ(counter.seen, 0);
    changeExposure(0, 1, 0);
    panel_->pictureGroup()->contrast().slider->setValue(31);
    panel_->pictureGroup()->gamma().slider->setValue(25);
    // Both changes within 200 ms give one redisplay.
    EXPECT_TRUE(eventuallyWithEvents([&] { return counter.seen >= 1; }));
    QTest::qWait(400);
    EXPECT_EQ(counter.seen, 1);
}

TEST_F(CameraPanelTest, DefaultKeepsTheColourGainsAndEndsWithABalance) {
    open();
    ColourGroup* colour = panel_->colourGroup();
    colour->colourGain(CameraControls::Blue).slider->setValue(200);
    panel_->pictureGroup()->gamma().slider->setValue(0);
    panel_->defaultButton()->click();
    EXPECT_EQ(record().gamma, 100);
    EXPECT_EQ(panel_->pictureGroup()->gamma().slider->value(), 20);
    // The balance runs from a timer: the window answers meanwhile.
    ASSERT_TRUE(eventuallyWithEvents([&] { return !colour->whiteBalanceRunning(); }));
    const std::vector<std::uint8_t> requests = [] {
        std::vector<std::uint8_t> r;
        for (const auto& bytes : sim::camera()->requests()) r.push_back(bytes[0]);
        return r;
    }();
    EXPECT_FALSE(requests.empty());
    // The gains the balance read back are shown.
    EXPECT_EQ(colour->colourGain(CameraControls::Blue).slider->value(), record().gain_b);
    EXPECT_EQ(colour->colourGain(CameraControls::Blue).value->text().toStdString(),
              picture::colourGainLabel(record().gain_b));
}

TEST_F(CameraPanelTest, ResolutionEntriesGiveTheFirstFamilysModes) {
    ASSERT_EQ(panel_->resolutionList()->count(), 4);
    const int modes[] = {0, 2, 3, 4};
    for (int entry = 0; entry < 4; ++entry) {
        panel_->resolutionList()->setCurrentIndex(entry);
        emit panel_->resolutionList()->activated(entry);
        EXPECT_EQ(record().resolution_index, modes[entry]);
    }
}

TEST_F(CameraPanelTest, MessagesOfLaterGroupsReachTheirGroups) {
    sendMessage(panel_, msg::RefreshHistogram);
    sendMessage(panel_, msg::CaptureKey);
    sendMessage(panel_, msg::DelayedCapture, 0, 2);
    EXPECT_EQ(panel_->histogramGroup()->messagesSeen(), 1);
    EXPECT_EQ(panel_->captureGroup()->messagesSeen(), 2);
    EXPECT_EQ(panel_->settingsGroup()->title(), QStringLiteral("Settings configurations"));
}

// Every visible control's accessible name, walking the window's accessibility tree.
void collectNames(QAccessibleInterface* node, std::map<QString, int>& names,
                  std::vector<QString>& unnamed, bool underPanel, QWidget* panel) {
    if (node == nullptr) return;
    const bool inPanel = underPanel || node->object() == panel;
    static const QAccessible::Role kControls[] = {
        QAccessible::PushButton, QAccessible::CheckBox,     QAccessible::Slider,
        QAccessible::ComboBox,   QAccessible::EditableText, QAccessible::ProgressBar};
    const bool control =
        std::find(std::begin(kControls), std::end(kControls), node->role()) != std::end(kControls);
    if (control && !node->state().invisible) {
        const QString name = node->text(QAccessible::Name);
        if (name.isEmpty()) {
            if (inPanel)
                unnamed.push_back(node->object() ? node->object()->objectName() : QString());
        } else {
            ++names[name];
        }
    }
    for (int i = 0; i < node->childCount(); ++i)
        collectNames(node->child(i), names, unnamed, inPanel, panel);
}

TEST_F(CameraPanelTest, EveryVisibleControlHasANameOfItsOwn) {
    for (int pass = 0; pass < 2; ++pass) {
        std::map<QString, int> names;
        std::vector<QString> unnamed;
        collectNames(QAccessible::queryAccessibleInterface(frame_.get()), names, unnamed, false,
                     panel_);
        EXPECT_TRUE(unnamed.empty()) << unnamed.front().toStdString();
        for (const auto& [name, count] : names) EXPECT_EQ(count, 1) << name.toStdString();
        // Names the user reads on the panel, following its captions.
        for (const char* expected : {"Gain:", "Contrast:", "R gain:", "Change Exp", "One Push WB",
                                     "Exposure minutes", "Sharpen strength", "Flip Vertical"})
            EXPECT_EQ(names.count(QString::fromLatin1(expected)), 1u) << expected;
        EXPECT_EQ(
            names.count(pass == 0 ? QStringLiteral("Start Camera") : QStringLiteral("Stop Camera")),
            1u);
        if (pass == 0) open();
    }
}

TEST_F(CameraPanelTest, TheNumberFieldBeepsAndRestoresOnNonDigits) {
    CNumberEdit edit;
    edit.setRange(0, 59);
    int refusals = 0;
    QObject::connect(&edit, &CNumberEdit::refused, [&] { ++refusals; });
    QTest::keyClicks(&edit, QStringLiteral("12a"));
    EXPECT_EQ(edit.text(), QStringLiteral("12"));
    EXPECT_EQ(edit.value(), 12);
    EXPECT_EQ(refusals, 1);
    edit.setText(QStringLiteral("99999999999999999999"));
    EXPECT_EQ(edit.text(), QStringLiteral("12"));
    EXPECT_EQ(refusals, 2);
}

TEST_F(CameraPanelTest, TheColourButtonChangesItsFaceAndComesBack) {
    CColourButton button(QStringLiteral("Capture"));
    const QColor standard = button.faceColour(CColourButton::Normal);
    button.setFaceColour(CColourButton::Pressed, QColor(0x37, 0x37, 0xFF));
    EXPECT_EQ(button.faceColour(CColourButton::Pressed), QColor(0x37, 0x37, 0xFF));
    EXPECT_TRUE(button.styleSheet().contains(QStringLiteral("#3737ff")));
    button.resetColours();
    EXPECT_EQ(button.faceColour(CColourButton::Pressed), standard);
    EXPECT_TRUE(button.styleSheet().isEmpty());
}

}  // namespace

namespace {

// At 1366 x 768 every control of the panel is as wide as it needs and lies inside the
// pane; the panel is taller than the pane there, so it scrolls. With
// CORVALIS_PANEL_SCREENSHOT set, the window with changed values is saved there.
TEST_F(CameraPanelTest, ThePanelFitsASmallScreenAndScrolls) {
    open();
    changeExposure(0, 1, 500);
    panel_->pictureGroup()->gain().slider->setValue(300);
    panel_->pictureGroup()->flipHorizontal()->click();
    panel_->pictureGroup()->sharpen()->click();
    QApplication::processEvents();
    const auto controls = panel_->findChildren<QWidget*>();
    int checked = 0;
    for (QWidget* w : controls) {
        if (!w->isVisibleTo(panel_) || qobject_cast<QGroupBox*>(w) != nullptr) continue;
        if (!(qobject_cast<QAbstractButton*>(w) || qobject_cast<QAbstractSlider*>(w) ||
              qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) ||
              qobject_cast<QLabel*>(w)))
            continue;
        ++checked;
        EXPECT_GE(w->width(), w->minimumSizeHint().width()) << w->objectName().toStdString();
        const QRect inPanel(w->mapTo(panel_, QPoint(0, 0)), w->size());
        EXPECT_LE(inPanel.right(), panel_->width()) << w->objectName().toStdString();
    }
    EXPECT_GT(checked, 40);
    auto* area = qobject_cast<QScrollArea*>(panel_->parentWidget()->parentWidget());
    ASSERT_NE(area, nullptr);
    EXPECT_GT(panel_->height(), area->viewport()->height());
    EXPECT_TRUE(area->verticalScrollBar()->isVisible());

    const QByteArray shot = qgetenv("CORVALIS_PANEL_SCREENSHOT");
    if (!shot.isEmpty()) {
        eventuallyWithEvents([&] { return false; }, std::chrono::milliseconds(2500));
        frame_->grab().save(QString::fromLocal8Bit(shot));
    }
}

}  // namespace
