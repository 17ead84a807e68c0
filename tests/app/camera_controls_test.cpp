// The control panel's logic over a recording camera: what each control writes into the
// record and which commands reach the camera, "Change Exp" in its two steps with the
// longest exposure, "Default", the white balance by family, and the refresh values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/camera_controls.h"
#include "session/camera_session.h"

namespace {

struct Camera {
    std::vector<std::string> calls;
    int family = KD_FAMILY_OSTRA;
    int balancePollsUntilDone = 3;  // first family: reads of the state before it ends
    int balanceResult = KD_DONE;    // second family's answer to the balance
    int balanceReads = 0;

    SessionCalls sessionCalls() {
        SessionCalls c;
        c.refreshCamera = [this](CameraRecord* r) -> int {
            r->camera_type = family;
            return KD_DONE;
        };
        c.readWrite = [this](CameraRecord* r, int command, int read) -> int {
            calls.push_back(std::to_string(command) + (read ? "r" : ""));
            switch (command) {
                case CAMCMD_INIT:
                    r->state = KD_STATE_INITIALISED;
                    break;
                case CAMCMD_START:
                    r->state = KD_STATE_STARTED;
                    break;
                case CAMCMD_UNINIT:
                    r->state = KD_STATE_UNINITIALISED;
                    break;
                case CAMCMD_WHITE_BALANCE:
                    if (!read) return family == KD_FAMILY_NIMBUS ? balanceResult : KD_DONE;
                    r->awb_state = ++balanceReads < balancePollsUntilDone ? 1 : 0;
                    break;
                case CAMCMD_RGB_GAIN:
                    if (read) r->gain_r = 90, r->gain_g = 64, r->gain_b = 110;
                    break;
                case CAMCMD_EXPOSURE_RANGE:
                    r->exposure_range[1] = 1200000.5f;
                    break;
                case CAMCMD_ANALOG_GAIN_RANGE:
                case CAMCMD_CONTRAST_RANGE:
                case CAMCMD_GAMMA_RANGE:
                case CAMCMD_SATURATION_RANGE:
                case CAMCMD_GAIN_RANGE:
                    r->param_range[1] = 100 + command;  // tells the ranges apart
                    break;
                default:
                    break;
            }
            return KD_DONE;
        };
        c.showBufferInit = [](CameraRecord*) -> int { return KD_DONE; };
        c.showBufferUnInit = [](CameraRecord*) -> int { return KD_DONE; };
        return c;
    }
};

std::string cmd(int command) {
    return std::to_string(command);
}
std::string readCmd(int command) {
    return std::to_string(command) + "r";
}

class CameraControlsTest : public ::testing::Test {
  protected:
    CameraControlsTest() : session("/tmp/", camera.sessionCalls()), controls(session) {
        SessionWindows w;
        w.openCamera = [this] { session.open(nullptr); };
        w.closeCamera = [this] { session.close(); };
        w.startPreview = [this]() -> long {
            camera.calls.push_back("start preview");
            return KD_DONE;
        };
        w.stopPreviews = [this] { camera.calls.push_back("stop previews"); };
        session.setWindows(w);
    }
    void open(int family) {
        camera.family = family;
        ASSERT_EQ(session.toggle(false), CameraSession::Toggle::Opened);
        camera.calls.clear();
    }
    std::vector<std::string> take() {
        std::vector<std::string> calls;
        calls.swap(camera.calls);
        return calls;
    }

    Camera camera;
    CameraSession session;
    CameraControls controls;
};

TEST_F(CameraControlsTest, CameraSlidersDoNothingWhileTheCameraIsClosed) {
    const CameraRecord before = session.record();
    EXPECT_FALSE(controls.setGain(300));
    EXPECT_FALSE(controls.setContrast(30));
    EXPECT_FALSE(controls.setGamma(30));
    EXPECT_FALSE(controls.setColourGain(CameraControls::Red, 100));
    EXPECT_FALSE(controls.setSaturation(10));
    EXPECT_TRUE(take().empty());
    EXPECT_EQ(session.record().analog_gain, before.analog_gain);
    EXPECT_EQ(session.record().gain_r, before.gain_r);
    // Check boxes act in any state.
    controls.setFlipHorizontal(true);
    EXPECT_EQ(session.record().mirror_1, 1);
    EXPECT_EQ(take(), std::vector<std::string>{cmd(CAMCMD_MIRROR_1)});
}

TEST_F(CameraControlsTest, FirstFamilySlidersStoreTheirBytesAndSendOneCommand) {
    open(KD_FAMILY_OSTRA);
    EXPECT_TRUE(controls.setGain(300));
    EXPECT_FALSE(controls.setGain(300));  // unchanged: nothing sent
    EXPECT_TRUE(controls.setContrast(21));
    EXPECT_EQ(session.record().contrast, 24);
    EXPECT_EQ(controls.contrastLabel(21), "1");
    EXPECT_FALSE(controls.setContrast(21));
    EXPECT_TRUE(controls.setGamma(0));
    EXPECT_EQ(session.record().gamma, 20);
    EXPECT_EQ(controls.gammaLabel(0), "-20");
    EXPECT_TRUE(controls.setGamma(0));  // gamma sends on every move
    EXPECT_TRUE(controls.setColourGain(CameraControls::Blue, 100));
    EXPECT_EQ(session.record().gain_b, 100);
    EXPECT_TRUE(controls.setSaturation(77));
    const std::vector<std::string> expected = {cmd(CAMCMD_ANALOG_GAIN), cmd(CAMCMD_CONTRAST),
                                               cmd(CAMCMD_GAMMA),       cmd(CAMCMD_GAMMA),
                                               cmd(CAMCMD_RGB_GAIN),    cmd(CAMCMD_SATURATION)};
    EXPECT_EQ(take(), expected);
    EXPECT_EQ(session.record().analog_gain, 300);
    EXPECT_EQ(session.record().saturation, 77);
}

TEST_F(CameraControlsTest, SecondFamilyStoresPositionsAndNamesItsNoiseCommand) {
    open(KD_FAMILY_NIMBUS);
    EXPECT_TRUE(controls.setContrast(140));
    EXPECT_EQ(session.record().contrast, 140);
    EXPECT_EQ(controls.contrastLabel(140), "140");
    controls.setNoiseReduction(true);
    EXPECT_EQ(take(),
              (std::vector<std::string>{cmd(CAMCMD_CONTRAST), cmd(CAMCMD_NOISE_REDUCTION_2)}));
    session.toggle(false);
    open(KD_FAMILY_OSTRA);
    controls.setNoiseReduction(true);
    EXPECT_EQ(take(), std::vector<std::string>{cmd(CAMCMD_LONG_EXP_POWER)});
    EXPECT_EQ(session.record().long_exp_power, 1);
}

TEST_F(CameraControlsTest, SharpenActsWithTheCameraClosed) {
    controls.setSharpen(true);
    controls.setSharpenPosition(30);
    EXPECT_EQ(session.context().sharpenOn.load(), 1);
    EXPECT_FLOAT_EQ(session.context().sharpenStrength.load(), 3.0f);
}

TEST_F(CameraControlsTest, ChangeExpUnlocksThenAppliesAroundAPreviewRestart) {
    open(KD_FAMILY_OSTRA);
    auto change = controls.changeExposure({});
    EXPECT_EQ(change.step, CameraControls::ExposureStep::Unlocked);
    EXPECT_TRUE(controls.exposureEntryOpen());
    EXPECT_TRUE(take().empty());

    change = controls.changeExposure({0, 2, 500});
    EXPECT_EQ(change.step, CameraControls::ExposureStep::Applied);
    EXPECT_EQ(change.exposureMs, 2500u);
    EXPECT_FALSE(change.shortened);
    EXPECT_FALSE(controls.exposureEntryOpen());
    const CameraRecord& r = session.record();
    EXPECT_EQ(r.exposure_ms, 2500u);
    EXPECT_EQ(r.sequence_count, 1);
    EXPECT_EQ(r.frame_time_ms, 2500);
    EXPECT_EQ(r.frame_time_copy_ms, 2500);
    EXPECT_EQ(take(), (std::vector<std::string>{"stop previews", "start preview"}));
    EXPECT_TRUE(controls.redisplayWanted());
}

TEST_F(CameraControlsTest, AnExposureBeyondWhatTheSpeedAllowsIsShortened) {
    open(KD_FAMILY_OSTRA);  // 8-bit: speed 3, at most 28:24.345
    ASSERT_EQ(session.record().frame_speed, 3);
    controls.changeExposure({});
    const auto change = controls.changeExposure({55, 59, 999});
    EXPECT_TRUE(change.shortened);
    EXPECT_EQ(change.exposureMs, 1704345u);
    EXPECT_EQ(session.record().exposure_ms, 1704345u);
    // 16-bit runs at speed 4, which takes the fields' whole range.
    session.toggle(false);
    camera.family = KD_FAMILY_OSTRA;
    session.toggle(true);
    controls.changeExposure({});
    EXPECT_EQ(controls.changeExposure({55, 59, 999}).exposureMs, 3359999u);
}

TEST_F(CameraControlsTest, ChangeExpWithTheCameraClosedOnlyLocksTheFields) {
    controls.changeExposure({});
    const auto change = controls.changeExposure({1, 0, 0});
    EXPECT_EQ(change.exposureMs, 200u);
    EXPECT_EQ(session.record().frame_time_ms, 200);
    EXPECT_FALSE(controls.exposureEntryOpen());
    EXPECT_TRUE(take().empty());
}

TEST_F(CameraControlsTest, DefaultKeepsTheFirstFamilysColourGainsAndSendsInOrder) {
    open(KD_FAMILY_OSTRA);
    CameraRecord& r = session.record();
    r.gain_r = 80, r.gain_g = 70, r.gain_b = 120;
    r.contrast = 60, r.gamma = 30, r.analog_gain = 500, r.mirror_1 = 1, r.monochrome = 1;
    controls.setDefaults();
    const std::vector<std::string> expected = {cmd(CAMCMD_MONOCHROME),  cmd(CAMCMD_COLOR_ENHANCE),
                                               cmd(CAMCMD_ANALOG_GAIN), cmd(CAMCMD_CONTRAST),
                                               cmd(CAMCMD_GAMMA),       cmd(CAMCMD_SATURATION),
                                               cmd(CAMCMD_MIRROR_2),    cmd(CAMCMD_MIRROR_1)};
    EXPECT_EQ(take(), expected);
    EXPECT_EQ(r.gain_r, 80);
    EXPECT_EQ(r.gain_b, 120);
    EXPECT_EQ(r.analog_gain, 40);
    EXPECT_EQ(r.contrast, 0);
    EXPECT_EQ(r.gamma, 100);
    EXPECT_EQ(r.saturation, 128);
    EXPECT_EQ(r.mirror_1, 0);
    EXPECT_EQ(r.monochrome, 0);
    EXPECT_EQ(r.color_enhancement, 1);
}

TEST_F(CameraControlsTest, SecondFamilyDefaultsResetTheColourGains) {
    open(KD_FAMILY_NIMBUS);
    CameraRecord& r = session.record();
    r.gain_r = 80;
    controls.setDefaults();
    EXPECT_EQ(r.gain_r, 64);
    EXPECT_EQ(r.contrast, 128);
    EXPECT_EQ(r.gamma, 100);
    EXPECT_EQ(r.saturation, 100);
    EXPECT_EQ(r.analog_gain, 0);
}

TEST_F(CameraControlsTest, FirstFamilyBalanceIsPolledUntilTheCameraSaysDone) {
    open(KD_FAMILY_OSTRA);
    camera.balancePollsUntilDone = 3;
    EXPECT_EQ(controls.startWhiteBalance(), CameraControls::Balance::Running);
    EXPECT_EQ(controls.pollWhiteBalance(), CameraControls::Balance::Running);
    EXPECT_EQ(controls.pollWhiteBalance(), CameraControls::Balance::Done);
    const std::vector<std::string> expected = {
        cmd(CAMCMD_WHITE_BALANCE), readCmd(CAMCMD_WHITE_BALANCE), readCmd(CAMCMD_WHITE_BALANCE),
        readCmd(CAMCMD_WHITE_BALANCE), readCmd(CAMCMD_RGB_GAIN)};
    EXPECT_EQ(take(), expected);
    EXPECT_EQ(session.record().gain_r, 90);
    EXPECT_EQ(session.record().gain_b, 110);
}

TEST_F(CameraControlsTest, ABalanceThatNeverEndsIsTakenAfterTenPolls) {
    open(KD_FAMILY_OSTRA);
    camera.balancePollsUntilDone = 1000;
    int polls = 1;
    auto state = controls.startWhiteBalance();
    while (state == CameraControls::Balance::Running) {
        state = controls.pollWhiteBalance();
        ++polls;
        ASSERT_LE(polls, 20);
    }
    EXPECT_EQ(polls, CameraControls::kBalancePolls);
    EXPECT_EQ(state, CameraControls::Balance::Done);
    EXPECT_EQ(take().back(), readCmd(CAMCMD_RGB_GAIN));
}

TEST_F(CameraControlsTest, SecondFamilyBalanceAnswersAtOnceOrFails) {
    open(KD_FAMILY_NIMBUS);
    EXPECT_EQ(controls.startWhiteBalance(), CameraControls::Balance::Done);
    EXPECT_EQ(take(),
              (std::vector<std::string>{cmd(CAMCMD_WHITE_BALANCE), readCmd(CAMCMD_RGB_GAIN)}));
    camera.balanceResult = KD_NOTHING_DONE;
    session.record().gain_r = 1;
    EXPECT_EQ(controls.startWhiteBalance(), CameraControls::Balance::Failed);
    EXPECT_EQ(take(), std::vector<std::string>{cmd(CAMCMD_WHITE_BALANCE)});
    EXPECT_EQ(session.record().gain_r, 1);  // the gains are not read back
}

TEST_F(CameraControlsTest, RefreshShowsTheFirstFamilysRecordOnItsScales) {
    open(KD_FAMILY_OSTRA);
    CameraRecord& r = session.record();
    r.exposure_ms = 3359999;
    r.contrast = 24;
    r.gamma = 10;
    r.analog_gain = 25;
    r.gain_r = 64;
    r.resolution_index = 3;
    const PanelValues v = controls.refresh();
    EXPECT_TRUE(take().empty());
    EXPECT_EQ(v.exposure, (picture::ExposureFields{55, 59, 999}));
    EXPECT_EQ(v.longestExposureMs, 1704345u);
    EXPECT_EQ(v.contrast, 21);
    EXPECT_EQ(v.contrastLabel, "1");
    EXPECT_EQ(v.gamma, 0);
    EXPECT_EQ(v.gammaLabel, "-20");
    EXPECT_EQ(v.gainLabel, "6.878 dB");
    EXPECT_EQ(v.colourLabels[0], " 1.00");
    EXPECT_EQ(v.resolutionEntry, 2);
    EXPECT_EQ(v.gainRange, (SliderRange{25, 570}));
    EXPECT_EQ(v.contrastRange, (SliderRange{0, 40}));
    EXPECT_EQ(v.frameSpeedEntry, 2);
}

TEST_F(CameraControlsTest, RefreshReadsTheSecondFamilysRanges) {
    open(KD_FAMILY_NIMBUS);
    const PanelValues v = controls.refresh();
    const std::vector<std::string> expected = {
        readCmd(CAMCMD_EXPOSURE_RANGE),   readCmd(CAMCMD_ANALOG_GAIN_RANGE),
        readCmd(CAMCMD_CONTRAST_RANGE),   readCmd(CAMCMD_GAMMA_RANGE),
        readCmd(CAMCMD_SATURATION_RANGE), readCmd(CAMCMD_GAIN_RANGE)};
    EXPECT_EQ(take(), expected);
    EXPECT_EQ(v.longestExposureMs, 1200000u);
    EXPECT_EQ(v.gainRange, (SliderRange{0, 100 + CAMCMD_ANALOG_GAIN_RANGE}));
    EXPECT_EQ(v.gammaRange, (SliderRange{0, 100 + CAMCMD_GAMMA_RANGE}));
    EXPECT_EQ(v.colourRange, (SliderRange{0, 100 + CAMCMD_GAIN_RANGE}));
    // Positions are the stored bytes themselves: the family's defaults on first open.
    EXPECT_EQ(v.contrast, 128);
    EXPECT_EQ(v.gamma, 100);
}

}  // namespace
