// Levels and their transforms, the histogram update with its automatic levels, and the
// bars and markers painted into a picture.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <atomic>
#include <thread>
#include <utility>
#include <vector>

#include "histogram_levels.h"
#include "vantelo.h"

namespace {

class Levels : public ::testing::Test {
  protected:
    void SetUp() override { TearDown(); }
    void TearDown() override {
        Mes_AutoLevels(0);
        Mes_SetLevelsValues(0, 255);
        Mes_InitHistogram();
    }
    static std::vector<unsigned char> table8(int black, int white) {
        Mes_SetLevelsValues(black, white);
        std::vector<unsigned char> t(256);
        for (int i = 0; i < 256; ++i) t[i] = static_cast<unsigned char>(i);
        vantelo::applyLevels8(t.data(), t.size());
        return t;
    }
    static std::vector<std::uint16_t> levels16(int black, int white, std::vector<std::uint16_t> s) {
        Mes_SetLevelsValues(black, white);
        vantelo::applyLevels16(s.data(), s.size());
        return s;
    }
    // Bytes holding `count` copies of each value, as whole pixels.
    static void update(std::initializer_list<std::pair<int, int>> valueCounts) {
        std::vector<unsigned char> bytes;
        for (auto [value, count] : valueCounts)
            bytes.insert(bytes.end(), count, static_cast<unsigned char>(value));
        vantelo::updateHistogram(bytes.data(), bytes.size() / 3);
    }
    static std::pair<int, int> levels() {
        short black = 0, white = 0;
        Mes_GetLevelsValues(&black, &white);
        return {black, white};
    }
};

TEST_F(Levels, Tables8) {
    auto t = table8(0, 255);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(t[i], i);
    t = table8(10, 20);  // floor((i - 10) / 10 x 255 + 0.5)
    EXPECT_EQ(std::vector<int>(t.begin() + 9, t.begin() + 22),
              (std::vector<int>{0, 0, 26, 51, 77, 102, 128, 153, 179, 204, 230, 255, 255}));
    t = table8(100, 50);  // the white range, written last, wins
    for (int i = 0; i < 256; ++i) ASSERT_EQ(t[i], i < 50 ? 0 : 255) << i;
    t = table8(255, 255);  // black limited to 253
    EXPECT_EQ(std::vector<int>(t.begin() + 253, t.end()), (std::vector<int>{0, 128, 255}));
    t = table8(0, 1);  // white raised to 2
    EXPECT_EQ(std::vector<int>(t.begin(), t.begin() + 3), (std::vector<int>{0, 128, 255}));
}

TEST_F(Levels, Tables16) {
    // Full range: the upper 12 bits stay, the low four are cleared.
    EXPECT_EQ(levels16(0, 255, {0x000F, 0x0010, 0x1237, 0x8009, 0xFFFF}),
              (std::vector<std::uint16_t>{0, 0x0010, 0x1230, 0x8000, 0xFFF0}));
    // Black 16, white 127: steps 256 to 2048; step 1152 is 896 / 1792 x 4095 + 0.5.
    EXPECT_EQ(levels16(16, 127, {0x100F, 0x1010, 0x4800, 0x8000}),
              (std::vector<std::uint16_t>{0, 2 * 16, 2048 * 16, 4095 * 16}));
    // Black 300 is limited to step 4094; white 0 puts white at step 16.
    EXPECT_EQ(levels16(300, 4000, {4094 * 16, 4095 * 16}),
              (std::vector<std::uint16_t>{0, 4095 * 16}));
    EXPECT_EQ(levels16(0, 0, {8 * 16, 15 * 16, 16 * 16}),
              (std::vector<std::uint16_t>{2048 * 16, 3839 * 16, 4095 * 16}));
}

TEST_F(Levels, SetGetAndAutomatic) {
    Mes_SetLevelsValues(0x12345, -1);
    EXPECT_EQ(levels(), std::make_pair(0x2345, -1));  // low 16 bits
    Mes_SetLevelsValues(40, 90);
    Mes_AutoLevels(1);
    Mes_SetLevelsValues(10, 200);
    EXPECT_EQ(levels(), std::make_pair(40, 90));
    Mes_AutoLevels(0);
    Mes_SetLevelsValues(10, 200);
    EXPECT_EQ(levels(), std::make_pair(10, 200));
}

TEST_F(Levels, HistogramCarriesAThirdForward) {
    update({{200, 30}, {7, 3}});
    EXPECT_EQ(vantelo::histogramBin(200), 10);
    update({{200, 30}});
    EXPECT_EQ(vantelo::histogramBin(200), 13);  // (10 + 30) / 3
    EXPECT_EQ(vantelo::histogramBin(7), 0);     // (1 + 0) / 3
    // 3003 bytes counting up: values 0..186 occur 12 times, the rest 11.
    Mes_InitHistogram();
    std::vector<unsigned char> ramp(3003);
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<unsigned char>(i);
    vantelo::updateHistogram(ramp.data(), 1001);
    EXPECT_EQ(vantelo::histogramBin(186), 4);
    EXPECT_EQ(vantelo::histogramBin(187), 3);
}

TEST_F(Levels, AutomaticScans) {
    Mes_AutoLevels(1);
    update({{128, 30000}});  // a uniform grey 100 x 100 crop
    EXPECT_EQ(vantelo::histogramBin(128), 10000);
    EXPECT_EQ(levels(), std::make_pair(128, 128));
    // 99 bytes leave 33 counts, above the threshold; 90 leave 30, not above it.
    const auto scan = [](std::initializer_list<std::pair<int, int>> frame) {
        Mes_InitHistogram();
        update(frame);
        return levels();
    };
    EXPECT_EQ(scan({{40, 90}, {220, 90}}), std::make_pair(0, 255));
    // 20 and 22 have nothing 5 to 8 above; 40 has 45. From the top, 45 has 40 five below.
    EXPECT_EQ(scan({{20, 99}, {22, 99}, {40, 99}, {45, 99}}), std::make_pair(40, 45));
    EXPECT_EQ(scan({{20, 99}, {29, 99}}).first, 29);    // nine above is too far
    EXPECT_EQ(scan({{100, 99}, {93, 99}}).second, 93);  // seven below alone does not stop
    EXPECT_EQ(scan({{100, 99}, {93, 99}, {92, 99}}).second, 100);
    EXPECT_EQ(scan({{100, 99}, {94, 99}}).second, 100);
}

// Rows painted in each column of `image` (anything not white), all in `colour` unless
// it is 0.
std::vector<int> paintedColumns(const QImage& image, QRgb colour) {
    std::vector<int> count(image.width(), 0);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == qRgb(255, 255, 255)) continue;
            if (colour != 0) {
                EXPECT_EQ(image.pixel(x, y), colour) << x << "," << y;
            }
            ++count[x];
        }
    return count;
}

TEST_F(Levels, HistogramBars) {
    QImage image(300, 140, QImage::Format_RGB32);
    const auto draw = [&](RECT rect) {
        image.fill(Qt::white);
        QPainter painter(&image);
        EXPECT_EQ(Mes_DrawHistogramData(&painter, &rect), 1);
        return paintedColumns(image, qRgb(0, 0, 222));
    };
    EXPECT_EQ(draw({0, 0, 300, 130}), std::vector<int>(300, 0));  // empty histogram

    // Every bin 33 and bin 7 3300: sum 11715, full height at 45 x 4 = 180, so a bin of
    // 33 is trunc(33 x 110 / 180) = 20 pixels high.
    std::vector<unsigned char> bytes;
    for (int v = 0; v < 256; ++v)
        bytes.insert(bytes.end(), v == 7 ? 9900 : 99, static_cast<unsigned char>(v));
    vantelo::updateHistogram(bytes.data(), bytes.size() / 3);
    auto h = draw({10, 0, 280, 130});
    EXPECT_EQ(h[10], 0);
    EXPECT_EQ(h[11], 20);
    EXPECT_EQ(h[18], 110);
    EXPECT_EQ(h[266], 20);
    EXPECT_EQ(h[267], 0);
    EXPECT_EQ(image.pixel(11, 129), qRgb(0, 0, 222));  // from the last row inside up
    EXPECT_EQ(image.pixel(11, 110), qRgb(0, 0, 222));

    // 33 counts in all: the mean rounds to 0, a filled bin is full height and the
    // empty bins after it repeat it.
    Mes_InitHistogram();
    update({{3, 99}});
    h = draw({0, 0, 270, 130});
    EXPECT_EQ(h[3], 0);
    EXPECT_EQ(h[4], 110);
    EXPECT_EQ(h[201], 110);
}

TEST_F(Levels, LevelMarkers) {
    Mes_SetLevelsValues(64, 192);
    QImage image(300, 100, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        RECT rect{0, 10, 258, 90};  // x scale 257 / 256
        Mes_DrawHistogramFram(&painter, &rect);
    }
    // Rows 11 to 88 at 1 + trunc(64.25) and 1 + trunc(192.75), and nothing else.
    const std::vector<int> columns = paintedColumns(image, 0);
    EXPECT_EQ(std::count(columns.begin(), columns.end(), 0), 298);
    EXPECT_EQ(columns[65], 78);
    EXPECT_EQ(columns[193], 78);
    EXPECT_EQ(image.pixel(65, 11), qRgb(255, 0, 255));
    EXPECT_EQ(image.pixel(193, 88), qRgb(0, 255, 255));
}

TEST_F(Levels, PreviewAndUserInterfaceThreadsShareBinsAndLevels) {
    // Meant for ThreadSanitizer: the preview thread updates and applies while the
    // user-interface thread sets, reads and draws.
    std::atomic<bool> stop{false};
    std::thread preview([&] {
        std::vector<unsigned char> frame(64 * 48 * 3);
        for (int n = 0; n < 200; ++n) {
            for (std::size_t i = 0; i < frame.size(); ++i)
                frame[i] = static_cast<unsigned char>(i * 7 + n);
            vantelo::updateHistogram(frame.data(), frame.size() / 3);
            vantelo::applyLevels8(frame.data(), frame.size());
        }
        stop.store(true);
    });
    QImage image(300, 130, QImage::Format_RGB32);
    QPainter painter(&image);
    RECT rect{0, 0, 300, 130};
    for (int n = 0; !stop.load(); ++n) {
        Mes_AutoLevels(n % 3 == 0);
        Mes_SetLevelsValues(n % 40, 255 - n % 50);
        EXPECT_LE(levels().second, 255);
        Mes_DrawHistogramData(&painter, &rect);
        Mes_DrawHistogramFram(&painter, &rect);
        if (n % 17 == 0) Mes_InitHistogram();
    }
    preview.join();
}

}  // namespace
