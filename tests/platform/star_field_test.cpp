#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "star_field.h"

using corvalis::platform::sim::StarField;

namespace {

// A dark, noiseless sky with the given stars only: what the optics alone do.
StarField::Options bare(std::vector<StarField::Star> stars) {
    StarField::Options o;
    o.seed = 7;
    o.randomStars = 0;
    o.stars = std::move(stars);
    o.skyRate = 0;
    o.darkRate = 0;
    o.hotPixels = 0;
    o.noise = false;
    return o;
}

StarField::Star whiteStar(double x, double y, double flux) {
    StarField::Star s;
    s.x = x;
    s.y = y;
    s.flux = flux;
    return s;
}

StarField::Exposure exposure(double micros, int gain = 64, int black = 16,
                             std::uint64_t frame = 0) {
    return StarField::Exposure{micros, gain, black, frame};
}

}  // namespace

TEST(StarFieldFilter, BayerPhaseByRowAndColumnParity) {
    using C = StarField::Colour;
    EXPECT_EQ(StarField::colourAt(0, 0), C::Green);
    EXPECT_EQ(StarField::colourAt(0, 1), C::Red);
    EXPECT_EQ(StarField::colourAt(1, 0), C::Blue);
    EXPECT_EQ(StarField::colourAt(1, 1), C::Green);
    EXPECT_EQ(StarField::colourAt(2178, 3031), C::Red);
}

TEST(StarFieldFilter, ColouredStarIsSeenThroughTheFilter) {
    StarField::Star red = whiteStar(500, 500, 2e5);
    red.green = 0;
    red.blue = 0;
    StarField field(bare({red}));
    auto px = field.render(490, 490, 21, 21, exposure(1e5));
    for (int r = 0; r < 21; ++r) {
        for (int c = 0; c < 21; ++c) {
            bool isRed = StarField::colourAt(490 + r, 490 + c) == StarField::Colour::Red;
            if (!isRed) {
                EXPECT_EQ(px[r * 21 + c], 16) << r << "," << c;
            }
        }
    }
    EXPECT_GT(px[10 * 21 + 11], 16);  // (500, 501) is red
}

TEST(StarFieldPhysics, StarIsSymmetricAboutItsCentre) {
    StarField field(bare({whiteStar(1000, 700, 1e6)}));
    const int half = 8, side = 2 * half + 1;
    auto px = field.render(1000 - half, 700 - half, side, side, exposure(2e4));
    auto at = [&](int dx, int dy) { return px[(dy + half) * side + dx + half]; };
    EXPECT_GT(at(0, 0), 16);
    for (int dy = -half; dy <= half; ++dy) {
        for (int dx = -half; dx <= half; ++dx) {
            EXPECT_EQ(at(dx, dy), at(-dx, -dy)) << dx << "," << dy;
            EXPECT_EQ(at(dx, dy), at(dy, dx)) << dx << "," << dy;
            EXPECT_LE(at(dx, dy), at(0, 0));
        }
    }
    EXPECT_GT(at(1, 0), at(2, 0));
}

TEST(StarFieldPhysics, SignalLinearInExposure) {
    StarField::Options o = bare({whiteStar(300, 300, 5e5)});
    o.skyRate = 800;
    o.darkRate = 10;
    StarField field(o);
    auto one = field.render(290, 290, 21, 21, exposure(10000));
    auto two = field.render(290, 290, 21, 21, exposure(20000));
    auto four = field.render(290, 290, 21, 21, exposure(40000));
    for (std::size_t i = 0; i < one.size(); ++i) {
        ASSERT_LT(four[i], StarField::kFullScale);
        EXPECT_NEAR(two[i] - 16, 2.0 * (one[i] - 16), 1.5) << i;
        EXPECT_NEAR(four[i] - 16, 4.0 * (one[i] - 16), 2.5) << i;
    }
    EXPECT_GT(four[10 * 21 + 10], 400);
}

TEST(StarFieldPhysics, SignalLinearInGainAboveTheBlackLevel) {
    StarField::Options o = bare({whiteStar(300, 300, 5e5)});
    o.skyRate = 800;
    StarField field(o);
    auto low = field.render(290, 290, 21, 21, exposure(10000, 32, 40));
    auto high = field.render(290, 290, 21, 21, exposure(10000, 96, 40));
    for (std::size_t i = 0; i < low.size(); ++i) {
        ASSERT_LT(high[i], StarField::kFullScale);
        EXPECT_NEAR(high[i] - 40, 3.0 * (low[i] - 40), 2.0) << i;
    }
}

TEST(StarFieldPhysics, ZeroExposureGivesTheBlackLevel) {
    StarField::Options o = bare({whiteStar(300, 300, 5e5)});
    o.skyRate = 800;
    StarField field(o);
    auto px = field.render(280, 280, 40, 40, exposure(0, 200, 37));
    EXPECT_TRUE(std::all_of(px.begin(), px.end(), [](std::uint16_t v) { return v == 37; }));
}

TEST(StarFieldPhysics, ClampsAtFullScale) {
    StarField::Options o = bare({whiteStar(300, 300, 1e9)});
    o.noise = true;
    o.skyRate = 1000;
    StarField field(o);
    auto px = field.render(280, 280, 41, 41, exposure(1e6, 1023, 255));
    EXPECT_EQ(px[20 * 41 + 20], StarField::kFullScale);
    EXPECT_TRUE(std::all_of(px.begin(), px.end(),
                            [](std::uint16_t v) { return v <= StarField::kFullScale; }));
}

TEST(StarFieldPhysics, NothingDrawnOffTheChip) {
    // A star just off the left edge lights nothing; the window's off-chip part is 0.
    StarField field(bare({whiteStar(-30, 100, 1e7), whiteStar(2, 2, 1e7)}));
    const int w = 60, h = 60, guard = 16;
    std::vector<std::uint16_t> buffer(w * h + guard, 0xBEEF);
    field.render(-20, -20, w, h, exposure(1e5), buffer.data());
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            int chipRow = r - 20, chipCol = c - 20;
            std::uint16_t v = buffer[r * w + c];
            if (chipRow < 0 || chipCol < 0)
                EXPECT_EQ(v, 0) << r << "," << c;
            else
                EXPECT_GE(v, 16);
        }
    }
    for (int i = 0; i < guard; ++i) EXPECT_EQ(buffer[w * h + i], 0xBEEF);
    // Column 0 at row 100 sees nothing of the star at x = -30.
    auto edge = field.render(0, 90, 5, 20, exposure(1e5));
    EXPECT_TRUE(std::all_of(edge.begin(), edge.end(), [](std::uint16_t v) { return v == 16; }));

    auto beyond =
        field.render(StarField::kChipWidth, StarField::kChipHeight - 5, 10, 10, exposure(1e5));
    EXPECT_TRUE(std::all_of(beyond.begin(), beyond.end(), [](std::uint16_t v) { return v == 0; }));
}

TEST(StarFieldScene, SameSeedAndFrameRepeat) {
    StarField a, b;
    auto e = exposure(5e5, 25, 16, 3);
    EXPECT_EQ(a.render(100, 200, 300, 100, e), b.render(100, 200, 300, 100, e));
}

TEST(StarFieldScene, PixelDoesNotDependOnTheWindow) {
    StarField field;
    auto e = exposure(5e5, 25, 16, 9);
    auto big = field.render(0, 0, 400, 300, e);
    auto small = field.render(123, 77, 50, 40, e);
    for (int r = 0; r < 40; ++r) {
        for (int c = 0; c < 50; ++c) ASSERT_EQ(small[r * 50 + c], big[(77 + r) * 400 + 123 + c]);
    }
}

TEST(StarFieldScene, SeedChangesTheScene) {
    StarField::Options o = StarField::defaultOptions();
    o.seed += 1;
    StarField a, b(o);
    auto e = exposure(5e5);
    EXPECT_NE(a.render(0, 0, 200, 200, e), b.render(0, 0, 200, 200, e));
}

TEST(StarFieldScene, StarsDriftFromFrameToFrame) {
    StarField field;
    const auto& star = field.stars().front();
    double x0, y0, x1, y1;
    field.starPosition(star, 0, x0, y0);
    field.starPosition(star, 10, x1, y1);
    double dx = x1 - x0, dy = y1 - y0;
    // Allow for wrapping around the field.
    EXPECT_TRUE(std::abs(dx - 10 * field.options().driftX) < 1e-9 || std::abs(dx) > 1000);
    EXPECT_TRUE(std::abs(dy - 10 * field.options().driftY) < 1e-9 || std::abs(dy) > 1000);
}

TEST(StarFieldScene, NoiseMatchesShotAndReadNoise) {
    StarField::Options o = bare({});
    o.noise = true;
    o.skyRate = 10000;
    o.skyGradientX = o.skyGradientY = 0;
    o.skyRed = o.skyGreen = o.skyBlue = 1;
    o.readNoise = 5;
    StarField field(o);
    // 0.1 s: 1000 electrons, sigma sqrt(1000 + 25) = 32 electrons = 32 counts at gain 64.
    auto px = field.render(1000, 1000, 200, 200, exposure(1e5, 64, 100));
    double mean = std::accumulate(px.begin(), px.end(), 0.0) / px.size();
    double var = 0;
    for (auto v : px) var += (v - mean) * (v - mean);
    double sigma = std::sqrt(var / px.size());
    EXPECT_NEAR(mean, 1100, 3);
    EXPECT_NEAR(sigma, std::sqrt(1025.0), 2.5);
}

TEST(StarFieldScene, HotPixelsStayPutAndGrowWithExposure) {
    StarField::Options o = bare({});
    o.hotPixels = 50;
    StarField field(o);
    auto a =
        field.render(0, 0, StarField::kChipWidth, StarField::kChipHeight, exposure(1e5, 16, 16, 0));
    auto b = field.render(0, 0, StarField::kChipWidth, StarField::kChipHeight,
                          exposure(1e5, 16, 16, 40));
    auto c =
        field.render(0, 0, StarField::kChipWidth, StarField::kChipHeight, exposure(2e5, 16, 16, 0));
    int hot = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] > 16) {
            ++hot;
            EXPECT_EQ(a[i], b[i]);
            EXPECT_NEAR(c[i] - 16, 2.0 * (a[i] - 16), 1.5);
        }
    }
    EXPECT_GE(hot, 45);  // a few may share a pixel
    EXPECT_LE(hot, 50);
}

TEST(StarFieldScene, DefaultSceneHasStarsAboveTheSky) {
    StarField field;
    auto px =
        field.render(0, 0, StarField::kChipWidth, StarField::kChipHeight, exposure(1e6, 25, 16));
    std::vector<std::uint16_t> sorted(px);
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    std::uint16_t median = sorted[sorted.size() / 2];
    auto peak = *std::max_element(px.begin(), px.end());
    EXPECT_GT(median, 16);
    EXPECT_GT(peak, median + 1000);
}
