// The control panel's conversions and its number field's rule, by table, against values
// worked out by hand.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "control/picture_values.h"
#include "ui/number_edit_rule.h"

using namespace picture;

namespace {

TEST(ContrastValues, SliderPositionsStoreAndShowTheirValues) {
    // slider position, stored byte, value shown
    const struct {
        int position, stored, shown;
    } rows[] = {{0, 0, -20}, {19, 19, -1}, {20, 20, 0}, {21, 24, 1}, {39, 96, 19}, {40, 100, 20}};
    for (const auto& row : rows) {
        const int display = row.position - kDisplayOffset;
        EXPECT_EQ(contrastByte(display), row.stored) << row.position;
        EXPECT_EQ(contrastDisplay(row.stored), row.shown) << row.position;
    }
    // Out of the slider's range: 0 below, 100 above.
    EXPECT_EQ(contrastByte(-21), 0);
    EXPECT_EQ(contrastByte(25), 100);
}

TEST(ContrastValues, AByteAboveTheScaleReadsBackAtTheSlidersEnd) {
    // (255 - 20) / 4 = 58 would put the slider at 78 of 40.
    EXPECT_EQ(contrastDisplay(255), 20);
    EXPECT_EQ(contrastDisplay(101), 20);
    EXPECT_EQ(contrastDisplay(99), 19);
}

TEST(GammaValues, SliderPositionsStoreAndShowTheirValues) {
    const struct {
        int position, stored, shown;
    } rows[] = {{0, 20, -20}, {19, 96, -1}, {20, 100, 0},  {21, 102, 1},
                {22, 105, 2}, {23, 107, 3}, {39, 147, 19}, {40, 150, 20}};
    for (const auto& row : rows) {
        EXPECT_EQ(gammaByte(row.position - kDisplayOffset), row.stored) << row.position;
        EXPECT_EQ(gammaDisplay(row.stored), row.shown) << row.position;
    }
    // The record's first gamma of 10 lies below the scale and reads back at its end;
    // 99 truncates toward zero.
    EXPECT_EQ(gammaDisplay(10), -20);
    EXPECT_EQ(gammaDisplay(99), 0);
    EXPECT_EQ(gammaDisplay(255), 20);
    EXPECT_EQ(gammaByte(-30), 20);
    EXPECT_EQ(gammaByte(30), 150);
}

TEST(SliderLabels, GainColourAndSharpen) {
    EXPECT_EQ(gainLabel(25), "6.878 dB");
    EXPECT_EQ(gainLabel(570), "26.007 dB");
    EXPECT_EQ(colourGainLabel(64), " 1.00");
    EXPECT_EQ(colourGainLabel(255), " 3.98");
    EXPECT_EQ(colourGainLabel(0), " 0.00");
    EXPECT_EQ(sharpenLabel(1), "0.10");
    EXPECT_EQ(sharpenLabel(30), "3.00");
    EXPECT_FLOAT_EQ(sharpenStrength(15), 1.5f);
}

TEST(ExposureFieldValues, FieldsAndMillisecondsBothWays) {
    const struct {
        ExposureFields fields;
        unsigned ms;
    } rows[] = {{{0, 0, 0}, 0},          {{0, 0, 200}, 200},   {{0, 1, 0}, 1000},
                {{1, 0, 1}, 60001},      {{10, 0, 0}, 600000}, {{55, 59, 999}, 3359999},
                {{28, 24, 345}, 1704345}};
    for (const auto& row : rows) {
        EXPECT_EQ(exposureMs(row.fields), row.ms);
        EXPECT_EQ(exposureFields(row.ms), row.fields) << row.ms;
    }
    EXPECT_EQ(kFieldsLongestMs, 3359999u);
}

TEST(ProgressValues, RangeAndPeriodAroundTenMinutes) {
    EXPECT_EQ(progressRange(1000), 116);
    EXPECT_EQ(progressRange(0), 50);
    EXPECT_EQ(progressRange(600000), 40050);
    EXPECT_EQ(progressPeriod(600000), 10);
    EXPECT_EQ(progressRange(600001), 99);
    EXPECT_EQ(progressPeriod(600001), 6000);
    EXPECT_EQ(progressPeriod(3359999), 33599);
}

CameraRecord firstFamily(int speed, int resolution) {
    CameraRecord r{};
    r.camera_type = KD_FAMILY_OSTRA;
    r.frame_speed = speed;
    r.resolution_index = resolution;
    return r;
}

TEST(LongestExposure, FollowsTheFrameSpeedAndMode) {
    // 4091 x 1155 - 1 = 4 725 104 rows; rows of 3607 us x 0.1 at speed 3 give
    // 1 704 345 012 us: 28:24.345.
    EXPECT_EQ(longestExposureMs(firstFamily(3, 0)), 1704345u);
    // Speed 2 (x 1/15): 240.4667 us a row, 1 136 230 ms.
    EXPECT_NEAR(double(longestExposureMs(firstFamily(2, 0))), 1136230.0, 2.0);
    // Binned modes have the full-frame row time.
    EXPECT_EQ(longestExposureMs(firstFamily(3, 4)), 1704345u);
    // Half width: 4091 x 651 - 1 rows of 408.7 us.
    EXPECT_NEAR(double(longestExposureMs(firstFamily(3, 1))), 1088467.0, 2.0);
    // At speed 4 (16-bit) the sensor goes past what the fields hold.
    EXPECT_EQ(longestExposureMs(firstFamily(4, 0)), kFieldsLongestMs);
}

TEST(LongestExposure, SecondFamilyTakesItsReportedRange) {
    CameraRecord r{};
    r.camera_type = KD_FAMILY_NIMBUS;
    r.exposure_range[1] = 1200000.9f;
    EXPECT_EQ(longestExposureMs(r), 1200000u);
    r.exposure_range[1] = 3600000.0f;
    EXPECT_EQ(longestExposureMs(r), kFieldsLongestMs);
    r.exposure_range[1] = 0.0f;  // never read
    EXPECT_EQ(longestExposureMs(r), kFieldsLongestMs);
}

// One edit of the field's text.
NumberEditRule::Outcome edit(NumberEditRule& rule, const std::string& text) {
    return rule.update(text);
}

TEST(NumberEditRule, TakesValuesInRangeAndRefusesTheRestWithABeep) {
    NumberEditRule rule;
    rule.setRange(0, 55);
    EXPECT_EQ(rule.lastValid(), 0);
    auto out = edit(rule, "28");
    EXPECT_FALSE(out.beep);
    EXPECT_FALSE(out.rewritten);
    EXPECT_EQ(rule.lastValid(), 28);
    out = edit(rule, "56");
    EXPECT_TRUE(out.beep);
    EXPECT_EQ(out.text, "28");
    EXPECT_EQ(rule.lastValid(), 28);
    out = edit(rule, "55");
    EXPECT_EQ(rule.lastValid(), 55);
}

TEST(NumberEditRule, LeadingZerosGoAndTheCaretMovesToTheStart) {
    NumberEditRule rule;
    rule.setRange(0, 999);
    auto out = edit(rule, "007");
    EXPECT_EQ(out.text, "7");
    EXPECT_TRUE(out.rewritten);
    EXPECT_TRUE(out.caretAtStart);
    EXPECT_EQ(rule.lastValid(), 7);
    out = edit(rule, "000");
    EXPECT_EQ(out.text, "0");
    EXPECT_EQ(rule.lastValid(), 0);
    out = edit(rule, "0");
    EXPECT_FALSE(out.rewritten);
}

TEST(NumberEditRule, AnEmptyFieldHoldsNoValueAndARefusalLeavesItEmpty) {
    NumberEditRule rule;
    rule.setRange(0, 59);
    edit(rule, "");
    EXPECT_EQ(rule.lastValid(), -1);
    const auto out = edit(rule, "60");
    EXPECT_TRUE(out.beep);
    EXPECT_EQ(out.text, "");
}

TEST(NumberEditRule, OnlyDigitsAndNumbersThatFitAreTaken) {
    NumberEditRule rule;
    rule.setRange(0, INT_MAX);
    edit(rule, "12");
    for (const char* bad : {"12a", "-5", " 3", "1.5", "99999999999999999999", "2147483648"}) {
        const auto out = edit(rule, bad);
        EXPECT_TRUE(out.beep) << bad;
        EXPECT_EQ(out.text, "12") << bad;
        EXPECT_EQ(rule.lastValid(), 12) << bad;
    }
    edit(rule, "999999999");
    EXPECT_EQ(rule.lastValid(), 999999999);
}

TEST(NumberEditRule, AMinimumOfOneTurnsZeroBack) {
    NumberEditRule rule;
    rule.setRange(1, 50);
    const auto out = edit(rule, "0");
    EXPECT_TRUE(out.beep);
    EXPECT_EQ(out.text, "1");
}

}  // namespace
