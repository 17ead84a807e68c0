// The live histogram: its update with carry-over, the automatic choice of levels, and
// the bars and level markers painted into a picture.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <atomic>
#include <initializer_list>
#include <thread>
#include <utility>
#include <vector>

#include "histogram_levels.h"
#include "vantelo.h"

namespace {

class Histogram : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset() {
        Mes_AutoLevels(0);
        Mes_SetLevelsValues(0, 255);
        Mes_InitHistogram();
    }
    // Bytes with `count` copies of each value; counts are multiples of 3 so that the
    // bytes form whole pixels.
    static std::vector<unsigned char> frame(std::initializer_list<std::pair<int, int>> valueCounts) {
        std::vector<unsigned char> bytes;
        for (auto [value, count] : valueCounts) bytes.insert(bytes.end(), count, static_cast<unsigned char>(value));
        return bytes;
    }
    static void update(const std::vector<unsigned char>& bytes) {
        vantelo::updateHistogram(bytes.data(), bytes.size() / 3);
    }
    static std::pair<int, int> levels() {
        short black = 0, white = 0;
        Mes_GetLevelsValues(&black, &white);
        return {black, white};
    }
};

TEST_F(Histogram, EachUpdateAddsTheOldCountsAndDividesByThree) {
    const auto bytes = frame({{200, 30}, {7, 3}});
    update(bytes);
    EXPECT_EQ(vantelo::histogramBin(200), 10);
    EXPECT_EQ(vantelo::histogramBin(7), 1);
    update(bytes);
    EXPECT_EQ(vantelo::histogramBin(200), 13);  // (10 + 30) / 3
    EXPECT_EQ(vantelo::histogramBin(7), 1);     // (1 + 3) / 3
    update(bytes);
    EXPECT_EQ(vantelo::histogramBin(200), 14);  // (13 + 30) / 3
    EXPECT_EQ(vantelo::histogramBin(0), 0);

    Mes_InitHistogram();
    for (int i = 0; i < 256; ++i) EXPECT_EQ(vantelo::histogramBin(i), 0);
}

TEST_F(Histogram, CountsEveryByteOfAFrameWhateverItsLength) {
    // Long enough for the word-at-a-time counting, with a tail that is not.
    std::vector<unsigned char> bytes(3 * 1001);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i % 256);
    update(bytes);
    // 3003 bytes: values 0..186 occur 12 times, the rest 11 times.
    EXPECT_EQ(vantelo::histogramBin(0), 4);
    EXPECT_EQ(vantelo::histogramBin(186), 4);
    EXPECT_EQ(vantelo::histogramBin(187), 3);
    EXPECT_EQ(vantelo::histogramBin(255), 3);
}

TEST_F(Histogram, UniformGreyFrameGivesBothLevelsAtItsValue) {
    Mes_AutoLevels(1);
    const std::vector<unsigned char> grey(100 * 100 * 3, 128);
    update(grey);
    EXPECT_EQ(vantelo::histogramBin(128), 10000);
    EXPECT_EQ(levels(), std::make_pair(128, 128));
}

TEST_F(Histogram, NoWellFilledBinGivesTheFullRange) {
    Mes_AutoLevels(1);
    Mes_SetLevelsValues(0, 255);
    update(frame({{40, 90}, {220, 90}}));  // 30 each: not above the threshold
    EXPECT_EQ(levels(), std::make_pair(0, 255));
}

TEST_F(Histogram, BlackScanStopsWhereABinFiveToEightAboveIsFilled) {
    Mes_AutoLevels(1);
    // 99 bytes give 33 after the division, above the threshold of 30.
    update(frame({{20, 99}, {22, 99}, {40, 99}, {45, 99}}));
    // 20 and 22 have nothing 5 to 8 above them; 40 has 45.
    EXPECT_EQ(levels().first, 40);
    // From the top, 45 has 40 five below it.
    EXPECT_EQ(levels().second, 45);

    Mes_InitHistogram();
    update(frame({{20, 99}, {29, 99}}));  // 29 is 9 above 20: too far
    EXPECT_EQ(levels().first, 29);
}

TEST_F(Histogram, WhiteScanNeedsSevenAndEightBelowTogether) {
    Mes_AutoLevels(1);
    update(frame({{100, 99}, {93, 99}}));
    // 100 has only 93 (seven below) without 92, so the scan goes on to 93.
    EXPECT_EQ(levels().second, 93);

    Mes_InitHistogram();
    update(frame({{100, 99}, {93, 99}, {92, 99}}));
    EXPECT_EQ(levels().second, 100);

    Mes_InitHistogram();
    update(frame({{100, 99}, {94, 99}}));  // six below
    EXPECT_EQ(levels().second, 100);
}

// Pixels of `image` that differ from `background`, as (x, y, colour).
struct Painted {
    int x, y;
    QRgb colour;
};
std::vector<Painted> painted(const QImage& image, QRgb background) {
    std::vector<Painted> out;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != background) out.push_back({x, y, image.pixel(x, y)});
    return out;
}

QImage blankCanvas(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

TEST_F(Histogram, EmptyHistogramDrawsNothing) {
    QImage image = blankCanvas(300, 130);
    {
        QPainter painter(&image);
        RECT rect{0, 0, 300, 130};
        EXPECT_EQ(Mes_DrawHistogramData(&painter, &rect), 1);
        EXPECT_EQ(rect.right, 300);
    }
    EXPECT_TRUE(painted(image, qRgb(255, 255, 255)).empty());
}

TEST_F(Histogram, BarsAreScaledToFourTimesTheMeanBin) {
    // Every bin 33 and bin 7 3300: sum 11715, mean 45, full height at 180, so a bin of
    // 33 is trunc(33 x 110 / 180) = 20 pixels high and bin 7 is 110.
    std::vector<unsigned char> bytes;
    for (int v = 0; v < 256; ++v) bytes.insert(bytes.end(), v == 7 ? 9900 : 99, static_cast<unsigned char>(v));
    update(bytes);

    QImage image = blankCanvas(300, 140);
    {
        QPainter painter(&image);
        RECT rect{10, 0, 280, 130};
        Mes_DrawHistogramData(&painter, &rect);
    }
    const QRgb bar = qRgb(0, 0, 222);
    std::vector<int> heights(300, 0);
    for (const Painted& p : painted(image, qRgb(255, 255, 255))) {
        ASSERT_EQ(p.colour, bar);
        ASSERT_LE(p.y, 129);  // from the last row inside the rectangle up
        ++heights[p.x];
    }
    EXPECT_EQ(heights[10], 0);
    EXPECT_EQ(heights[11], 20);
    EXPECT_EQ(heights[11 + 7], 110);
    EXPECT_EQ(heights[11 + 8], 20);
    EXPECT_EQ(heights[11 + 255], 20);
    EXPECT_EQ(heights[11 + 256], 0);
    EXPECT_EQ(image.pixel(11, 129), bar);
    EXPECT_EQ(image.pixel(11, 110), bar);
    EXPECT_EQ(image.pixel(11, 109), qRgb(255, 255, 255));
}

TEST_F(Histogram, EmptyBinsRepeatTheBarBeforeThemAndSmallTotalsDrawFullHeight) {
    // 33 counts in all: the mean rounds to 0, so every bin that holds anything is full
    // height, and the empty bins after it repeat it.
    update(frame({{3, 99}}));
    QImage image = blankCanvas(270, 130);
    {
        QPainter painter(&image);
        RECT rect{0, 0, 270, 130};
        Mes_DrawHistogramData(&painter, &rect);
    }
    std::vector<int> heights(270, 0);
    for (const Painted& p : painted(image, qRgb(255, 255, 255))) ++heights[p.x];
    EXPECT_EQ(heights[1 + 2], 0);
    EXPECT_EQ(heights[1 + 3], 110);
    EXPECT_EQ(heights[1 + 200], 110);
}

TEST_F(Histogram, LevelMarkersAreMagentaForBlackAndCyanForWhite) {
    Mes_SetLevelsValues(64, 192);
    QImage image = blankCanvas(300, 100);
    {
        QPainter painter(&image);
        RECT rect{0, 10, 258, 90};  // s = 257 / 256
        EXPECT_EQ(Mes_DrawHistogramFram(&painter, &rect), 1);
    }
    const auto marks = painted(image, qRgb(255, 255, 255));
    ASSERT_EQ(marks.size(), 2u * 78);  // rows 11 to 88 in each of two columns
    for (const Painted& p : marks) {
        EXPECT_TRUE(p.x == 65 || p.x == 193) << p.x;  // 1 + trunc(64.25), 1 + trunc(192.75)
        EXPECT_GE(p.y, 11);
        EXPECT_LE(p.y, 88);
        EXPECT_EQ(p.colour, p.x == 65 ? qRgb(255, 0, 255) : qRgb(0, 255, 255));
    }
}

TEST_F(Histogram, PreviewAndUserInterfaceThreadsShareBinsAndLevelsWithoutALock) {
    // The preview thread updates and applies; the user-interface thread sets, reads and
    // draws at the same time. Run under ThreadSanitizer this shows any unshared word.
    std::atomic<bool> stop{false};
    std::thread preview([&] {
        std::vector<unsigned char> frame(64 * 48 * 3);
        for (int n = 0; n < 200; ++n) {
            for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<unsigned char>(i * 7 + n);
            vantelo::updateHistogram(frame.data(), frame.size() / 3);
            vantelo::applyLevels8(frame.data(), frame.size());
        }
        stop.store(true);
    });
    QImage image = blankCanvas(300, 130);
    QPainter painter(&image);
    RECT rect{0, 0, 300, 130};
    for (int n = 0; !stop.load(); ++n) {
        Mes_AutoLevels(n % 3 == 0);
        Mes_SetLevelsValues(n % 40, 255 - n % 50);
        short black = 0, white = 0;
        Mes_GetLevelsValues(&black, &white);
        EXPECT_GE(black, 0);
        EXPECT_LE(white, 255);
        Mes_DrawHistogramData(&painter, &rect);
        Mes_DrawHistogramFram(&painter, &rect);
        if (n % 17 == 0) Mes_InitHistogram();
    }
    preview.join();
}

}  // namespace
