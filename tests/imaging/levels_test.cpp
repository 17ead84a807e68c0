// The black and white levels: how they are set and read, and the 8-bit and 16-bit
// transforms built from them.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "histogram_levels.h"
#include "vantelo.h"

namespace {

class Levels : public ::testing::Test {
protected:
    void SetUp() override { resetLevels(); }
    void TearDown() override { resetLevels(); }
    static void resetLevels() {
        Mes_AutoLevels(0);
        Mes_SetLevelsValues(0, 255);
        Mes_InitHistogram();
    }
    // The 8-bit transform of every byte value under the given levels.
    static std::vector<unsigned char> table8(int black, int white) {
        Mes_SetLevelsValues(black, white);
        std::vector<unsigned char> bytes(256);
        for (int i = 0; i < 256; ++i) bytes[i] = static_cast<unsigned char>(i);
        vantelo::applyLevels8(bytes.data(), bytes.size());
        return bytes;
    }
};

TEST_F(Levels, StartAtBlackZeroWhiteFullAndReadBackTheirLow16Bits) {
    short black = -1, white = -1;
    ASSERT_EQ(Mes_GetLevelsValues(&black, &white), 1);
    EXPECT_EQ(black, 0);
    EXPECT_EQ(white, 255);

    Mes_SetLevelsValues(0x12345, -1);
    Mes_GetLevelsValues(&black, &white);
    EXPECT_EQ(black, 0x2345);
    EXPECT_EQ(white, -1);
    EXPECT_EQ(Mes_GetLevelsValues(nullptr, &white), 0);
}

TEST_F(Levels, SettingIsIgnoredWhileAutomaticLevelsAreOn) {
    Mes_SetLevelsValues(40, 90);
    Mes_AutoLevels(1);
    Mes_SetLevelsValues(10, 200);
    short black = 0, white = 0;
    Mes_GetLevelsValues(&black, &white);
    EXPECT_EQ(black, 40);
    EXPECT_EQ(white, 90);

    Mes_AutoLevels(0);
    Mes_SetLevelsValues(10, 200);
    Mes_GetLevelsValues(&black, &white);
    EXPECT_EQ(black, 10);
    EXPECT_EQ(white, 200);
}

TEST_F(Levels, FullRangeIsTheIdentity) {
    const auto t = table8(0, 255);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(t[i], i) << "byte " << i;
}

TEST_F(Levels, StretchBetweenBlackAndWhiteRoundsHalfUp) {
    // Black 10, white 20: entry i is floor((i - 10) / 10 x 255 + 0.5).
    const auto t = table8(10, 20);
    EXPECT_EQ(t[0], 0);
    EXPECT_EQ(t[10], 0);
    EXPECT_EQ(t[11], 26);   // 25.5 + 0.5
    EXPECT_EQ(t[15], 128);  // 127.5 + 0.5
    EXPECT_EQ(t[19], 230);  // 229.5 + 0.5
    EXPECT_EQ(t[20], 255);
    EXPECT_EQ(t[255], 255);
}

TEST_F(Levels, BlackAboveWhiteSplitsAtWhite) {
    const auto t = table8(100, 50);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(t[i], 0) << "byte " << i;
    for (int i = 50; i < 256; ++i) EXPECT_EQ(t[i], 255) << "byte " << i;
}

TEST_F(Levels, BlackIsLimitedTo253AndWhiteTo2) {
    // Black 255 acts as 253: only 254 lies between it and white 255.
    auto t = table8(255, 255);
    EXPECT_EQ(t[253], 0);
    EXPECT_EQ(t[254], 128);
    EXPECT_EQ(t[255], 255);
    // A black level past 16 bits is used by its low 16 bits, still above 253.
    t = table8(0x10000 + 300, 255);
    EXPECT_EQ(t[253], 0);
    EXPECT_EQ(t[254], 128);
    // White 1 acts as 2.
    t = table8(0, 1);
    EXPECT_EQ(t[0], 0);
    EXPECT_EQ(t[1], 128);
    EXPECT_EQ(t[2], 255);
}

TEST_F(Levels, Full16BitRangeKeepsTheUpper12BitsAndClearsTheLowFour) {
    std::vector<std::uint16_t> s = {0x0000, 0x000F, 0x0010, 0x1237, 0x8009, 0xFFF0, 0xFFFF};
    vantelo::applyLevels16(s.data(), s.size());
    EXPECT_EQ(s, (std::vector<std::uint16_t>{0x0000, 0x0000, 0x0010, 0x1230, 0x8000, 0xFFF0, 0xFFF0}));
}

TEST_F(Levels, Stretch16UsesLevelsTimesSixteen) {
    // Black 16, white 127: lo = 256, hi = 2048 in 12-bit steps.
    Mes_SetLevelsValues(16, 127);
    std::vector<std::uint16_t> s = {0x1000, 0x100F, 0x4800, 0x8000, 0xFFFF, 0x1010};
    vantelo::applyLevels16(s.data(), s.size());
    EXPECT_EQ(s[0], 0);            // step 256 is black
    EXPECT_EQ(s[1], 0);            // the low four bits do not count
    EXPECT_EQ(s[2], 2048 * 16);    // step 1152: 896 / 1792 x 4095 + 0.5 = 2048
    EXPECT_EQ(s[3], 4095 * 16);    // step 2048 is white
    EXPECT_EQ(s[4], 4095 * 16);
    EXPECT_EQ(s[5], 2 * 16);       // step 257: 1 / 1792 x 4095 + 0.5 = 2.78
}

TEST_F(Levels, Limits16) {
    // Black 300: 4800 steps, limited to 4094; white 0: 16.
    Mes_SetLevelsValues(300, 4000);
    std::vector<std::uint16_t> s = {4094 * 16, 4095 * 16};
    vantelo::applyLevels16(s.data(), s.size());
    EXPECT_EQ(s[0], 0);
    EXPECT_EQ(s[1], 4095 * 16);
    // White 0: hi = 16, so everything from step 16 up is white.
    Mes_SetLevelsValues(0, 0);
    s = {15 * 16, 16 * 16, 8 * 16};
    vantelo::applyLevels16(s.data(), s.size());
    EXPECT_EQ(s[0], 3839 * 16);  // 15 / 16 x 4095 + 0.5 = 3839.5
    EXPECT_EQ(s[1], 4095 * 16);
    EXPECT_EQ(s[2], 2048 * 16);  // 2047.5 + 0.5
}

}  // namespace
