// The camera session without any window: the order of the camera calls when "Start
// Camera" opens and closes the camera, the picture settings by family and data width,
// the refusals on the way, and the UI-state flags. The camera is a recording double.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "session/camera_session.h"
#include "session/window_fit.h"

namespace {

constexpr int kSensorWidth = 3032, kSensorHeight = 2018;

// Every call the session made, camera commands as "cmd <code>" and window hooks by
// name, in order.
struct Recorder {
    std::vector<std::string> calls;
    int family = KD_FAMILY_OSTRA;
    int initResult = KD_DONE;
    bool startWorks = true;
    long previewResult = KD_DONE;
    bool displayLockHeldAtUnInit = false;
    FrameContext* context = nullptr;

    SessionCalls sessionCalls() {
        SessionCalls c;
        c.refreshCamera = [this](CameraRecord* r) -> int {
            calls.push_back("refresh");
            r->camera_type = family;
            return KD_DONE;
        };
        c.readWrite = [this](CameraRecord* r, int command, int read) -> int {
            calls.push_back("cmd " + std::to_string(command) + (read ? " read" : ""));
            switch (command) {
                case CAMCMD_INIT:
                    if (initResult == KD_DONE) r->state = KD_STATE_INITIALISED;
                    return initResult;
                case CAMCMD_START:
                    if (startWorks) r->state = KD_STATE_STARTED;
                    return startWorks ? KD_DONE : KD_NOTHING_DONE;
                case CAMCMD_STOP:
                    r->state = KD_STATE_STOPPED;
                    return KD_DONE;
                case CAMCMD_UNINIT:
                    r->state = KD_STATE_UNINITIALISED;
                    return KD_DONE;
                case CAMCMD_IMAGE_SIZE:
                    r->image_width = kSensorWidth;
                    r->image_height = kSensorHeight;
                    return KD_DONE;
                case CAMCMD_FRAME_SPEED:
                    r->exposure_ms = 12345;  // the camera's own exposure read back
                    return KD_DONE;
                default:
                    return KD_DONE;
            }
        };
        c.showBufferInit = [this](CameraRecord*) -> int {
            calls.push_back("show buffer init");
            return KD_DONE;
        };
        c.showBufferUnInit = [this](CameraRecord*) -> int {
            calls.push_back("show buffer release");
            if (context != nullptr) {
                displayLockHeldAtUnInit = !context->displayLock.try_lock();
                if (!displayLockHeldAtUnInit) context->displayLock.unlock();
            }
            return KD_DONE;
        };
        return c;
    }

    // The windows as the main frame wires them: open and close come back into the
    // session, as the main frame's 1245 and 1246 handlers do.
    SessionWindows windows(CameraSession& session, KdWindow* window) {
        SessionWindows w;
        w.openCamera = [this, &session, window] {
            calls.push_back("open");
            session.open(window);
        };
        w.closeCamera = [this, &session] {
            calls.push_back("close");
            session.close();
        };
        w.startPreview = [this]() -> long {
            calls.push_back("start preview");
            return previewResult;
        };
        w.stopPreviews = [this] { calls.push_back("stop previews"); };
        w.fitImageWindow = [this] { calls.push_back("fit"); };
        w.flagsChanged = [this] { calls.push_back("flags"); };
        w.reloadPanels = [this] { calls.push_back("reload"); };
        w.error = [this](const std::string& text, const std::string& caption) {
            calls.push_back("error " + text + " / " + caption);
        };
        return w;
    }
};

std::string cmd(int command) {
    return "cmd " + std::to_string(command);
}

// The calls of a successful opening up to the preview, for a first-family camera.
std::vector<std::string> openingCalls() {
    return {"refresh",
            "open",
            cmd(CAMCMD_INIT),
            cmd(CAMCMD_START),
            cmd(CAMCMD_DISPLAY_ENABLE),
            cmd(CAMCMD_IMAGE_SIZE) + " read",
            "fit",
            "flags",
            "reload",
            cmd(CAMCMD_FRAME_SPEED),
            cmd(CAMCMD_EXPOSURE),
            cmd(CAMCMD_DATA_WIDTH),
            cmd(CAMCMD_ANALOG_GAIN),
            cmd(CAMCMD_CONTRAST),
            cmd(CAMCMD_GAMMA),
            cmd(CAMCMD_APPLY_EXPOSURE_RESTART),
            cmd(CAMCMD_RGB_GAIN),
            cmd(CAMCMD_SATURATION),
            cmd(CAMCMD_MIRROR_2),
            cmd(CAMCMD_MIRROR_1),
            cmd(CAMCMD_MONOCHROME),
            "start preview"};
}

const std::vector<std::string> kClosingCalls = {
    "close", "stop previews", "show buffer release", cmd(CAMCMD_STOP), cmd(CAMCMD_UNINIT), "flags"};

class CameraSessionTest : public ::testing::Test {
  protected:
    CameraSessionTest() : session("/pictures/", recorder.sessionCalls()) {
        recorder.context = &session.context();
        session.setWindows(recorder.windows(session, &window));
    }
    std::vector<std::string> takeCalls() {
        std::vector<std::string> calls;
        calls.swap(recorder.calls);
        return calls;
    }
    void expectRunningFlags(int value) {
        for (UiFlag flag : kRunningFlags) EXPECT_EQ(session.uiFlag(flag), value) << int(flag);
        EXPECT_EQ(session.uiFlag(UiFlag::StartCamera), 1);
    }

    Recorder recorder;
    KdWindow window{};
    CameraSession session;
};

TEST_F(CameraSessionTest, StartsClosedWithTheProgramsFirstValues) {
    const CameraRecord& r = session.record();
    EXPECT_TRUE(session.closed());
    EXPECT_EQ(r.camera_type, KD_FAMILY_NONE);
    EXPECT_EQ(r.crop_right, 1360);
    EXPECT_EQ(r.crop_bottom, 1024);
    EXPECT_EQ(r.save_format, KD_SAVE_TIFF);
    EXPECT_STREQ(r.save_directory, "/pictures/");
    EXPECT_EQ(session.pictureValuesFamily(), KD_FAMILY_NONE);
    EXPECT_EQ(session.uiFlag(UiFlag::CameraClosed), 1);
    expectRunningFlags(0);
    // A folder too long for the record is left out rather than cut.
    CameraSession longPath(std::string(CAMERA_RECORD_TEXT, 'x'), recorder.sessionCalls());
    EXPECT_STREQ(longPath.record().save_directory, "");
}

TEST_F(CameraSessionTest, StartCameraOpensSendsTheSettingsInOrderAndStartsThePreview) {
    session.record().exposure_ms = 200;
    EXPECT_EQ(session.toggle(false), CameraSession::Toggle::Opened);
    EXPECT_EQ(takeCalls(), openingCalls());

    const CameraRecord& r = session.record();
    EXPECT_TRUE(session.running());
    EXPECT_EQ(r.init_window_1, &window);
    EXPECT_EQ(r.init_window_2, &window);
    // The crop is the whole picture the camera reported; the user's exposure survived
    // the frame-speed command's read-back.
    EXPECT_EQ(r.crop_left, 0);
    EXPECT_EQ(r.crop_right, kSensorWidth);
    EXPECT_EQ(r.crop_bottom, kSensorHeight);
    EXPECT_EQ(r.exposure_ms, 200u);
    EXPECT_EQ(r.frame_speed, 3);
    EXPECT_EQ(r.data_width_16, 0);
    EXPECT_EQ(session.pictureValuesFamily(), KD_FAMILY_OSTRA);
    EXPECT_EQ(session.uiFlag(UiFlag::CameraClosed), 0);
    expectRunningFlags(1);

    // Stop: previews first, then the show buffer under the display lock, then the camera.
    session.record().captured_total = 5;
    EXPECT_EQ(session.toggle(false), CameraSession::Toggle::Closed);
    EXPECT_EQ(takeCalls(), kClosingCalls);
    EXPECT_TRUE(recorder.displayLockHeldAtUnInit);
    EXPECT_TRUE(session.closed());
    EXPECT_EQ(session.record().captured_total, 0);
    EXPECT_EQ(session.uiFlag(UiFlag::CameraClosed), 1);
    expectRunningFlags(0);
    // The values stay known as the first family's after the camera closed.
    EXPECT_EQ(session.pictureValuesFamily(), KD_FAMILY_OSTRA);
}

TEST_F(CameraSessionTest, FrameSpeedAndDataWidthFollowFamilyAndSixteenBit) {
    ASSERT_EQ(session.toggle(true), CameraSession::Toggle::Opened);
    EXPECT_EQ(session.record().frame_speed, 4);
    EXPECT_EQ(session.record().data_width_16, 1);
    session.toggle(true);

    // The second family has no 16-bit read-out: the box is ignored.
    recorder.family = KD_FAMILY_NIMBUS;
    ASSERT_EQ(session.toggle(true), CameraSession::Toggle::Opened);
    EXPECT_EQ(session.record().camera_type, KD_FAMILY_NIMBUS);
    EXPECT_EQ(session.record().frame_speed, 1);
    EXPECT_EQ(session.record().data_width_16, 0);
    EXPECT_EQ(session.pictureValuesFamily(), KD_FAMILY_NIMBUS);
}

TEST_F(CameraSessionTest, ACameraThatWillNotInitialiseIsReportedAndNothingElseHappens) {
    recorder.initResult = KD_NO_CAMERA;
    EXPECT_EQ(session.toggle(false), CameraSession::Toggle::OpenFailed);
    const std::vector<std::string> expected = {"refresh", "open", cmd(CAMCMD_INIT),
                                               "error Init Camera failed! / Error"};
    EXPECT_EQ(takeCalls(), expected);
    EXPECT_TRUE(session.closed());
    EXPECT_EQ(session.pictureValuesFamily(), KD_FAMILY_NONE);
    EXPECT_EQ(session.uiFlag(UiFlag::CameraClosed), 1);
}

TEST_F(CameraSessionTest, ACameraThatWillNotStartOnlyRefreshesTheFlags) {
    recorder.startWorks = false;
    EXPECT_EQ(session.open(&window), CameraSession::NotOpened);
    const std::vector<std::string> expected = {cmd(CAMCMD_INIT), cmd(CAMCMD_START), "flags"};
    EXPECT_EQ(takeCalls(), expected);
    EXPECT_FALSE(session.running());
    expectRunningFlags(0);
}

TEST_F(CameraSessionTest, APreviewWithoutMemoryClosesTheCameraAgainAndSaysSo) {
    recorder.previewResult = KD_OUT_OF_MEMORY;
    EXPECT_EQ(session.toggle(false), CameraSession::Toggle::OpenFailed);
    std::vector<std::string> expected = openingCalls();
    expected.insert(expected.end(), kClosingCalls.begin(), kClosingCalls.end());
    expected.push_back("error Init Camera failed! / Error");
    EXPECT_EQ(takeCalls(), expected);
    EXPECT_TRUE(session.closed());
    expectRunningFlags(0);

    // The next start works as the first would have.
    recorder.previewResult = KD_DONE;
    EXPECT_EQ(session.toggle(false), CameraSession::Toggle::Opened);
}

TEST_F(CameraSessionTest, TheResolutionListSkipsTheFirstFamilysHalfWidthMode) {
    // First family: entries 0..3 are modes 0, 2, 3, 4; the second lists all five.
    const int ostraModes[] = {0, 2, 3, 4};
    for (int entry = 0; entry < 4; ++entry) {
        EXPECT_EQ(CameraSession::resolutionOfEntry(KD_FAMILY_OSTRA, entry), ostraModes[entry]);
        EXPECT_EQ(CameraSession::resolutionEntry(KD_FAMILY_OSTRA, ostraModes[entry]), entry);
    }
    for (int entry = 0; entry < 5; ++entry)
        EXPECT_EQ(CameraSession::resolutionOfEntry(KD_FAMILY_NIMBUS, entry), entry);

    // A new mode resets the crop to the whole picture.
    SelectionCrop part;
    part.crop = RECT{100, 50, 300, 250};
    session.cropTo(part);
    EXPECT_EQ(session.record().crop_left, 100);
    session.selectResolution(3);
    EXPECT_EQ(session.record().resolution_index, 3);
    EXPECT_EQ(session.record().crop_left, 0);
    EXPECT_EQ(session.record().crop_top, 0);
    EXPECT_EQ(session.record().crop_right, 1360);
    EXPECT_EQ(session.record().crop_bottom, 1024);
}

}  // namespace

// Each family's picture values are its own numbers; a camera of another family than the
// record's values were set for opens with its own defaults, a matching one keeps them.
class FamilyDefaultsTest : public CameraSessionTest {};

TEST_F(FamilyDefaultsTest, AFirstOpeningOfTheSecondFamilyStartsFromItsDefaults) {
    recorder.family = KD_FAMILY_NIMBUS;
    session.record().gain_r = 90;
    ASSERT_EQ(session.toggle(false), CameraSession::Toggle::Opened);
    const CameraRecord& r = session.record();
    EXPECT_EQ(r.contrast, 128);
    EXPECT_EQ(r.gamma, 100);
    EXPECT_EQ(r.saturation, 100);
    EXPECT_EQ(r.gain_r, 64);
    EXPECT_EQ(session.pictureValuesFamily(), KD_FAMILY_NIMBUS);
}

TEST_F(FamilyDefaultsTest, ValuesOfTheSameFamilyAreKeptAndAnotherFamilysAreReplaced) {
    ASSERT_EQ(session.toggle(false), CameraSession::Toggle::Opened);  // first family
    session.record().gamma = 77;
    session.record().gain_r = 90;
    session.toggle(false);
    ASSERT_EQ(session.toggle(false), CameraSession::Toggle::Opened);
    EXPECT_EQ(session.record().gamma, 77);
    session.toggle(false);

    recorder.family = KD_FAMILY_NIMBUS;
    ASSERT_EQ(session.toggle(false), CameraSession::Toggle::Opened);
    EXPECT_EQ(session.record().gamma, 100);
    EXPECT_EQ(session.record().contrast, 128);
    session.toggle(false);

    // Back on the first family: its defaults, with the colour gains as they were.
    session.record().gain_r = 70;
    recorder.family = KD_FAMILY_OSTRA;
    ASSERT_EQ(session.toggle(false), CameraSession::Toggle::Opened);
    EXPECT_EQ(session.record().contrast, 0);
    EXPECT_EQ(session.record().saturation, 128);
    EXPECT_EQ(session.record().gain_r, 70);
}

TEST_F(FamilyDefaultsTest, ValuesLoadedForTheFamilyThatOpensAreKept) {
    // A settings configuration loaded before opening says whose values it put there.
    session.record().contrast = 140;
    session.record().gamma = 90;
    session.setPictureValuesFamily(KD_FAMILY_NIMBUS);
    recorder.family = KD_FAMILY_NIMBUS;
    ASSERT_EQ(session.toggle(false), CameraSession::Toggle::Opened);
    EXPECT_EQ(session.record().contrast, 140);
    EXPECT_EQ(session.record().gamma, 90);
}
