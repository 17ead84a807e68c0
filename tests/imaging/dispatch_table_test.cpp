// KdCamera_ReadWrite against recording doubles of both camera libraries: every code
// from 0 to 60 for both families and for no camera, in both directions, with a willing
// and with a refusing camera; then the frame-speed index, the exposure in float
// milliseconds, the lifecycle in every state and the dispatcher's scratch byte.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "dispatch_fakes.h"
#include "dispatcher.h"
#include "vantelo.h"

namespace {

using dispatch_fakes::fake;
using Calls = std::vector<std::string>;

constexpr int kRefused = -4;

// A record whose values show which part of each field is passed: high bits set where
// only a byte or 16 bits go to the camera, and values unlike the doubles' answers.
CameraRecord testRecord(int type, int state = 4) {
    CameraRecord r;
    std::memset(&r, 0, sizeof r);
    r.state = state;
    r.camera_type = type;
    r.resolution_index = 0x102;  // one byte: 2
    r.init_window_1 = &dispatch_fakes::window1;
    r.init_window_2 = &dispatch_fakes::window2;
    r.image_width = 1360;
    r.image_height = 1024;
    r.auto_exposure = 0;
    r.exposure_ms = 1234;
    r.long_exp_power = 0;
    r.analog_gain = 0x20030;  // 16 bits: 48
    r.frame_speed = 0x103;    // one byte: 3
    r.gain_r = 0x10041;       // 65
    r.gain_g = 66;
    r.gain_b = 0x30043;    // 67
    r.saturation = 0x1C8;  // one byte: 200
    r.color_enhancement = 0;
    r.monochrome = 1;
    r.contrast = 7;
    r.gamma = 11;
    r.data_width_16 = 0;
    r.mirror_1 = 1;
    r.mirror_2 = 0;
    r.frame_speed_index = 0x102;  // one byte: 2
    r.crop_right = 1360;
    r.crop_bottom = 1024;
    r.sequence_count = 1;
    r.save_format = 8;
    std::strcpy(r.file_name, "night");
    return r;
}

// Every field, so that a change to any of them shows in a failure.
std::string describe(const CameraRecord& r) {
    std::ostringstream s;
    s << "state=" << r.state << " type=" << r.camera_type << " res=" << r.resolution_index
      << " w1=" << r.init_window_1 << " w2=" << r.init_window_2 << " size=" << r.image_width << "x"
      << r.image_height << " ae=" << r.auto_exposure << " exp=" << r.exposure_ms
      << " lep=" << r.long_exp_power << " again=" << r.analog_gain << " roi=" << r.roi_x0 << ","
      << r.roi_y0 << "," << r.roi_x1 << "," << r.roi_y1 << " speed=" << r.frame_speed
      << " gains=" << r.gain_r << "," << r.gain_g << "," << r.gain_b << " sat=" << r.saturation
      << " enh=" << r.color_enhancement << " mono=" << r.monochrome << " awb=" << r.awb_state
      << " exprange=" << r.exposure_range[0] << "," << r.exposure_range[1] << ","
      << r.exposure_range[2] << " range=" << r.param_range[0] << "," << r.param_range[1] << ","
      << r.param_range[2] << " contrast=" << int(r.contrast) << " gamma=" << int(r.gamma)
      << " wide=" << r.data_width_16 << " warn=" << r.over_exposure_warning
      << " mirror=" << r.mirror_1 << "," << r.mirror_2 << " index=" << r.frame_speed_index
      << " crop=" << r.crop_left << "," << r.crop_top << "," << r.crop_right << "," << r.crop_bottom
      << " flags=" << r.full_screen << "," << r.area_selected << "," << r.custom_sequence << ","
      << r.stack_checked << " seq=" << r.sequence_count << " times=" << r.frame_time_ms << ","
      << r.frame_time_copy_ms << " custom=";
    for (int t : r.custom_exposure_ms) s << t << ",";
    s << " name=" << r.file_name << " findex=" << r.file_index << " fmt=" << r.save_format
      << " usetime=" << r.file_use_time << " dir=" << r.save_directory
      << " counters=" << r.captured_total << "," << r.captured_current << "," << r.series_flag
      << "," << r.stack_series << "," << r.auto_levels;
    return s.str();
}

// --- The command table, written out by hand ----------------------------------------------

constexpr int kCamera = 1000;  // "the result of the camera call"

using Change = std::function<void(CameraRecord&)>;

struct Row {
    int result = 0;
    Calls calls;
    Change change;      // with a willing camera
    int fromState = 4;  // the record's state before the command
    // With a refusing camera (every call answers -4): reads change nothing; what does
    // change, or a different result or call list, is given here.
    Change refusedChange;
    std::optional<int> refusedResult;
    std::optional<Calls> refusedCalls;
};

Row row(int result, Calls calls, Change change = {}, int fromState = 4, Change refusedChange = {},
        std::optional<int> refusedResult = {}, std::optional<Calls> refusedCalls = {}) {
    return {result,
            std::move(calls),
            std::move(change),
            fromState,
            std::move(refusedChange),
            refusedResult,
            std::move(refusedCalls)};
}

using Key = std::tuple<int, int, int>;  // type, code, read

// Rows for both directions at once.
void both(std::map<Key, Row>& t, int type, int code, const Row& row) {
    t[{type, code, 0}] = row;
    t[{type, code, 1}] = row;
}

std::map<Key, Row> commandTable() {
    std::map<Key, Row> t;
    const Change none;
    const auto state = [](int s) { return [s](CameraRecord& r) { r.state = s; }; };

    // First family.
    t[{21, 2, 1}] =
        row(kCamera, {"OstraIICameraGetFrameSpeed()"}, [](CameraRecord& r) { r.frame_speed = 5; });
    t[{21, 2, 0}] = row(1,
                        {"OstraIICameraSetFrameSpeed(3)", "OstraIICameraGetRowTime()",
                         "OstraIICameraGetExposureTime()"},
                        [](CameraRecord& r) { r.exposure_ms = 1500; });
    t[{21, 3, 1}] =
        row(kCamera, {"OstraIICameraGetDataWide()"}, [](CameraRecord& r) { r.data_width_16 = 1; });
    t[{21, 3, 0}] = row(kCamera, {"OstraIICameraSetDataWide(0)"});
    t[{21, 6, 1}] =
        row(kCamera, {"OstraIICameraGetAWBState()"}, [](CameraRecord& r) { r.awb_state = 1; });
    t[{21, 6, 0}] = row(kCamera, {"OstraIICameraSetAWBState(1)"});
    t[{21, 7, 1}] = row(kCamera, {"OstraIICameraGetGain()"}, [](CameraRecord& r) {
        r.gain_r = 70;
        r.gain_g = 80;
        r.gain_b = 90;
    });
    t[{21, 7, 0}] = row(kCamera, {"OstraIICameraSetGain(65,66,67)"});
    both(t, 21, 8, row(kCamera, {"OstraIICameraSetMonochrome(1)"}));
    both(t, 21, 9, row(kCamera, {"OstraIICameraSetColorEnhancement(0)"}));
    t[{21, 10, 1}] =
        row(kCamera, {"OstraIICameraGetGamma()"}, [](CameraRecord& r) { r.gamma = 12; });
    t[{21, 10, 0}] = row(kCamera, {"OstraIICameraSetGamma(11)"});
    t[{21, 11, 1}] =
        row(kCamera, {"OstraIICameraGetContrast()"}, [](CameraRecord& r) { r.contrast = 3; });
    t[{21, 11, 0}] = row(kCamera, {"OstraIICameraSetContrast(7)"});
    t[{21, 12, 1}] =
        row(kCamera, {"OstraIICameraGetSaturation()"});  // the record keeps its saturation
    t[{21, 12, 0}] = row(kCamera, {"OstraIICameraSetSaturation(200)"});
    t[{21, 15, 1}] =
        row(kCamera, {"OstraIICameraGetAeState()"}, [](CameraRecord& r) { r.auto_exposure = 1; });
    t[{21, 15, 0}] = row(kCamera, {"OstraIICameraSetAeState(0)"});
    t[{21, 17, 1}] =
        row(kCamera, {"OstraIICameraGetAnalogGain()"}, [](CameraRecord& r) { r.analog_gain = 33; });
    t[{21, 17, 0}] = row(kCamera, {"OstraIICameraSetAnalogGain(48)"});
    t[{21, 18, 1}] = row(1, {"OstraIICameraGetRowTime()", "OstraIICameraGetExposureTime()"},
                         [](CameraRecord& r) { r.exposure_ms = 1500; });
    t[{21, 18, 0}] = row(1, {"OstraIICameraGetRowTime()", "OstraIICameraSetExposureTime(1234)"});
    t[{21, 20, 1}] = row(kCamera, {"OstraIICameraGetImageSize()"}, [](CameraRecord& r) {
        r.image_width = 1516;
        r.image_height = 1008;
    });
    // Speed 5 is list index 4; a fresh dispatcher's scratch is 0, which reads as index 0.
    t[{21, 21, 1}] = row(
        1, {"OstraIICameraGetFrameSpeed()"}, [](CameraRecord& r) { r.frame_speed_index = 4; }, 4,
        [](CameraRecord& r) { r.frame_speed_index = 0; });
    t[{21, 21, 0}] = row(1, {"OstraIICameraSetFrameSpeed(3)"});
    t[{21, 22, 1}] = row(kCamera, {"OstraIICameraGetLongExpPower()"},
                         [](CameraRecord& r) { r.long_exp_power = 1; });
    t[{21, 22, 0}] = row(kCamera, {"OstraIICameraSetLongExpPower(0)"});
    both(t, 21, 23,
         row(1,
             {"OstraIICameraInit(2,w1,w2)", "OstraIICameraSetAeState(0)",
              "OstraIICameraSetFrameSpeed(4)"},
             state(0), 4, none, -1, Calls{"OstraIICameraInit(2,w1,w2)"}));
    both(t, 21, 24, row(1, {"OstraIICameraUnInit()"}, state(4), 3, state(4), 1));
    both(t, 21, 25, row(1, {"OstraIICameraSetMonochrome(0)"}, state(1), 0, state(1), 1));
    both(t, 21, 27, row(1, {}, state(3), 1, state(3), 1));
    both(t, 21, 34, row(1, {"OstraIICameraGetRowTime()", "OstraIICameraSetExposureTime(1234)"}));
    both(t, 21, 35,
         row(kCamera, {"OstraIICameraGetRowTime()", "OstraIICameraSetExposureTime(1234)",
                       "OstraIICameraRestartLongExposure(0)"}));
    both(t, 21, 36, row(kCamera, {"OstraIICameraRestartLongExposure(1)"}));
    both(t, 21, 37, row(kCamera, {"OstraIICameraRestartLongExposure(0)"}));
    t[{21, 39, 1}] = row(kCamera, {"OstraIICameraDisplayEnable(1)"});
    t[{21, 39, 0}] = row(kCamera, {"OstraIICameraDisplayEnable(0)"});
    both(t, 21, 40, row(0, {"OstraIICameraSetMirror(0,1)"}));
    both(t, 21, 41, row(0, {"OstraIICameraSetMirror(1,0)"}));

    // Second family.
    t[{31, 2, 1}] =
        row(kCamera, {"CameraGetFrameSpeed()"}, [](CameraRecord& r) { r.frame_speed = 2; });
    t[{31, 2, 0}] = row(1, {"CameraSetFrameSpeed(3)", "CameraGetExposureTimeMS()"},
                        [](CameraRecord& r) { r.exposure_ms = 199; });
    t[{31, 6, 0}] = row(kCamera, {"CameraWhiteBalance()"});
    t[{31, 7, 1}] = row(kCamera, {"CameraGetGain()"}, [](CameraRecord& r) {
        r.gain_r = 60;
        r.gain_g = 61;
        r.gain_b = 62;
    });
    t[{31, 7, 0}] = row(kCamera, {"CameraSetGain(65,66,67)"});
    both(t, 31, 8, row(kCamera, {"CameraSetMonochrome(1)"}));
    both(t, 31, 9, row(kCamera, {"CameraSetColorEnhancement(0)"}));
    t[{31, 10, 1}] = row(kCamera, {"CameraGetGamma()"}, [](CameraRecord& r) { r.gamma = 9; });
    t[{31, 10, 0}] = row(kCamera, {"CameraSetGamma(11)"});
    t[{31, 11, 1}] = row(kCamera, {"CameraGetContrast()"}, [](CameraRecord& r) { r.contrast = 4; });
    t[{31, 11, 0}] = row(kCamera, {"CameraSetContrast(7)"});
    t[{31, 12, 1}] = row(kCamera, {"CameraGetSaturation()"});
    t[{31, 12, 0}] = row(kCamera, {"CameraSetSaturation(200)"});
    t[{31, 15, 1}] =
        row(kCamera, {"CameraGetAeState()"}, [](CameraRecord& r) { r.auto_exposure = 1; });
    t[{31, 15, 0}] = row(kCamera, {"CameraSetAeState(0)"});
    t[{31, 17, 1}] =
        row(kCamera, {"CameraGetAnalogGain()"}, [](CameraRecord& r) { r.analog_gain = 21; });
    t[{31, 17, 0}] = row(kCamera, {"CameraSetAnalogGain(48)"});
    for (int code : {18, 22}) {
        t[{31, code, 1}] =
            row(1, {"CameraGetExposureTimeMS()"}, [](CameraRecord& r) { r.exposure_ms = 199; });
        t[{31, code, 0}] = row(1, {"CameraSetExposureTimeMS(1234)"});
    }
    t[{31, 20, 1}] = row(kCamera, {"CameraGetImageSize()"}, [](CameraRecord& r) {
        r.image_width = 1272;
        r.image_height = 952;
    });
    t[{31, 21, 1}] = row(
        1, {"CameraGetFrameSpeed()"}, [](CameraRecord& r) { r.frame_speed_index = 2; }, 4,
        [](CameraRecord& r) { r.frame_speed_index = 0; });
    t[{31, 21, 0}] = row(1, {"CameraSetFrameSpeed(2)"});
    both(t, 31, 23,
         row(1, {"CameraInit(0,2,w1,w2)", "CameraSetAeState(0)"}, state(0), 4, none, -1,
             Calls{"CameraInit(0,2,w1,w2)"}));
    both(t, 31, 24, row(1, {"CameraUnInit()"}, state(4), 3, state(4), 1));
    both(t, 31, 25, row(1, {"CameraSetMonochrome(0)"}, state(1), 0, state(1), 1));
    both(t, 31, 27, row(1, {}, state(3), 1, state(3), 1));
    both(t, 31, 34, row(1, {"CameraSetExposureTimeMS(1234)"}));
    both(t, 31, 35, row(0, {"CameraSetExposureTimeMS(1234)"}));
    t[{31, 39, 1}] = row(kCamera, {"CameraDisplayEnable(1)"});
    t[{31, 39, 0}] = row(kCamera, {"CameraDisplayEnable(0)"});
    both(t, 31, 40, row(0, {"CameraSetMirror(0,1)"}));
    both(t, 31, 41, row(0, {"CameraSetMirror(1,0)"}));
    both(t, 31, 44, row(kCamera, {"CameraGetExposureTimeRange()"}, [](CameraRecord& r) {
             r.exposure_range[0] = 0.1f;
             r.exposure_range[1] = 3600000.0f;
             r.exposure_range[2] = 200.0f;
         }));
    const auto range = [](int a, int b, int c) {
        return [a, b, c](CameraRecord& r) {
            r.param_range[0] = a;
            r.param_range[1] = b;
            r.param_range[2] = c;
        };
    };
    both(t, 31, 45, row(kCamera, {"CameraGetAnalogGainRange()"}, range(1, 63, 16)));
    both(t, 31, 46, row(kCamera, {"CameraGetContrastRange()"}, range(2, 100, 50)));
    both(t, 31, 47, row(kCamera, {"CameraGetGammaRange()"}, range(3, 250, 100)));
    both(t, 31, 48, row(kCamera, {"CameraGetSaturationRange()"}, range(4, 255, 128)));
    both(t, 31, 49, row(kCamera, {"CameraGetGainRange()"}, range(5, 512, 64)));
    return t;
}

class Dispatch : public ::testing::Test {
  protected:
    void SetUp() override {
        dispatch_fakes::install();
        vantelo::destroyDispatcher();
    }
    void TearDown() override {
        vantelo::destroyDispatcher();
        dispatch_fakes::restore();
    }
};

void walk(bool willing) {
    const auto table = commandTable();
    for (int type : {21, 31, -1}) {
        for (int code = 0; code <= 60; ++code) {
            for (int read : {0, 1}) {
                SCOPED_TRACE("type " + std::to_string(type) + " code " + std::to_string(code) +
                             (read ? " read" : " write") + (willing ? "" : ", camera refusing"));
                const auto found = table.find({type, code, read});
                const Row row = found == table.end() ? Row{} : found->second;

                vantelo::destroyDispatcher();  // every row starts with a fresh scratch byte
                fake = dispatch_fakes::State{};
                fake.result = willing ? 1 : kRefused;
                CameraRecord record = testRecord(type, row.fromState);
                CameraRecord expected = record;
                const Change& change = willing ? row.change : row.refusedChange;
                if (change) change(expected);
                int result = row.result == kCamera ? fake.result : row.result;
                Calls calls = row.calls;
                if (!willing && row.refusedResult) result = *row.refusedResult;
                if (!willing && row.refusedCalls) calls = *row.refusedCalls;

                EXPECT_EQ(KdCamera_ReadWrite(&record, code, read), result);
                EXPECT_EQ(fake.calls, calls);
                EXPECT_EQ(describe(record), describe(expected));
            }
        }
    }
}

TEST_F(Dispatch, EveryCodeWithAWillingCamera) {
    walk(true);
}

TEST_F(Dispatch, EveryCodeWithARefusingCamera) {
    walk(false);
}

TEST_F(Dispatch, AnyNonZeroReadFlagReads) {
    for (int flag : {2, -1, 0x100}) {
        CameraRecord record = testRecord(21);
        EXPECT_EQ(KdCamera_ReadWrite(&record, CAMCMD_GAMMA, flag), 1);
        EXPECT_EQ(record.gamma, 12);
    }
    EXPECT_EQ(fake.calls, Calls(3, "OstraIICameraGetGamma()"));
}

// --- Frame-speed index --------------------------------------------------------------------

TEST_F(Dispatch, FrameSpeedIndexOfTheFirstFamilyCountsFromSpeedOne) {
    const std::pair<int, int> reads[] = {{0, 0}, {1, 0}, {2, 1}, {4, 3}, {5, 4}};
    for (auto [speed, index] : reads) {
        fake.ostraFrameSpeed = static_cast<unsigned char>(speed);
        CameraRecord record = testRecord(21);
        EXPECT_EQ(KdCamera_ReadWrite(&record, CAMCMD_FRAME_SPEED_INDEX, 1), 1);
        EXPECT_EQ(record.frame_speed_index, index) << "speed " << speed;
    }
    fake.calls.clear();
    for (int index : {0, 3, 4, 0x1FF}) {
        CameraRecord record = testRecord(21);
        record.frame_speed_index = index;
        EXPECT_EQ(KdCamera_ReadWrite(&record, CAMCMD_FRAME_SPEED_INDEX, 0), 1);
    }
    // Index 0x1FF: its low byte 255, plus one, wraps to speed 0 in one byte.
    EXPECT_EQ(fake.calls,
              (Calls{"OstraIICameraSetFrameSpeed(1)", "OstraIICameraSetFrameSpeed(4)",
                     "OstraIICameraSetFrameSpeed(5)", "OstraIICameraSetFrameSpeed(0)"}));
}

TEST_F(Dispatch, ScratchByteLivesAsLongAsTheDispatcher) {
    CameraRecord record = testRecord(21);
    record.frame_speed_index = 6;
    KdCamera_ReadWrite(&record, CAMCMD_FRAME_SPEED_INDEX, 0);  // scratch 7
    ASSERT_NE(vantelo::dispatcher(), nullptr);

    // A camera that answers nothing leaves the last speed in the scratch.
    fake.result = kRefused;
    record.frame_speed_index = 0;
    EXPECT_EQ(KdCamera_ReadWrite(&record, CAMCMD_FRAME_SPEED_INDEX, 1), 1);
    EXPECT_EQ(record.frame_speed_index, 6);

    vantelo::destroyDispatcher();
    EXPECT_EQ(vantelo::dispatcher(), nullptr);
    EXPECT_EQ(KdCamera_ReadWrite(&record, CAMCMD_FRAME_SPEED_INDEX, 1), 1);
    EXPECT_EQ(record.frame_speed_index, 0);
    EXPECT_NE(vantelo::dispatcher(), nullptr);
}

// --- Exposure in float milliseconds (second family) ---------------------------------------

TEST_F(Dispatch, SecondFamilyExposureTruncatesTowardZeroAndClamps) {
    struct Case {
        float reported;
        std::uint32_t stored;
    };
    const Case cases[] = {
        {199.9f, 199},
        {0.999f, 0},
        {3'359'999.0f, 3'359'999},     // 55 min 59.999 s
        {-3.0f, 0},                    // below the unsigned field
        {4294967040.0f, 4294967040u},  // largest float below 2^32
        {1e10f, 4294967295u},          // beyond it
        {INFINITY, 4294967295u},
    };
    for (const Case& c : cases) {
        fake.nimbusExposure = c.reported;
        for (int code : {CAMCMD_EXPOSURE, CAMCMD_LONG_EXP_POWER}) {
            CameraRecord record = testRecord(31);
            EXPECT_EQ(KdCamera_ReadWrite(&record, code, 1), 1);
            EXPECT_EQ(record.exposure_ms, c.stored) << c.reported << " ms, code " << code;
        }
    }
    fake.nimbusExposure = NAN;
    CameraRecord record = testRecord(31);
    KdCamera_ReadWrite(&record, CAMCMD_EXPOSURE, 1);
    EXPECT_EQ(record.exposure_ms, 1234u)
        << "a reading that is not a number keeps the record's time";
}

// --- Lifecycle ----------------------------------------------------------------------------

TEST_F(Dispatch, LifecycleCommandsActOnlyInTheirOwnState) {
    // The one state each command leaves from, and where it goes.
    const std::map<int, std::pair<int, int>> moves = {{CAMCMD_INIT, {4, 0}},
                                                      {CAMCMD_START, {0, 1}},
                                                      {CAMCMD_STOP, {1, 3}},
                                                      {CAMCMD_UNINIT, {3, 4}}};
    for (int type : {21, 31}) {
        for (const auto& [command, move] : moves) {
            for (int state : {4, 0, 1, 3, 2, -1}) {
                fake.calls.clear();
                CameraRecord record = testRecord(type, state);
                const int result = KdCamera_ReadWrite(&record, command, 0);
                if (state == move.first) {
                    EXPECT_EQ(result, 1);
                    EXPECT_EQ(record.state, move.second);
                } else {
                    SCOPED_TRACE("type " + std::to_string(type) + " command " +
                                 std::to_string(command) + " in state " + std::to_string(state));
                    EXPECT_EQ(result, 0);
                    EXPECT_EQ(record.state, state);
                    EXPECT_TRUE(fake.calls.empty());
                }
            }
        }
    }
}

}  // namespace
