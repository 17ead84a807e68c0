// The sharpen filter against values worked out by hand from its truncated weights.
#include <gtest/gtest.h>

#include <vector>

#include "preview/sharpen_filter.h"

namespace {

std::vector<unsigned char> uniform(int width, int height, unsigned char value) {
    return std::vector<unsigned char>(static_cast<std::size_t>(width) * height * 3, value);
}

TEST(SharpenFilter, WeightsAreTruncatedAndNotNormalised) {
    int k[11];
    SharpenFilter::kernel(1.0, k);
    EXPECT_EQ(std::vector<int>(k, k + 11),
              (std::vector<int>{0, 0, 4, 53, 241, 398, 241, 53, 4, 0, 0}));
    SharpenFilter::kernel(0.5, k);
    EXPECT_EQ(std::vector<int>(k, k + 11),
              (std::vector<int>{0, 0, 0, 0, 107, 797, 107, 0, 0, 0, 0}));
    SharpenFilter::kernel(2.0, k);
    EXPECT_EQ(std::vector<int>(k, k + 11),
              (std::vector<int>{8, 26, 64, 120, 176, 199, 176, 120, 64, 26, 8}));
}

TEST(SharpenFilter, ShiftsAFlatAreaByTheWeightsShortfall) {
    struct Case {
        double strength;
        unsigned char expected;
    };
    for (Case c : {Case{1.0, 102}, Case{2.0, 108}, Case{0.5, 99}}) {
        // Also pictures narrower and lower than the kernel: the mirrored edge repeats.
        for (auto [w, h] : {std::pair{16, 12}, std::pair{2, 3}, std::pair{1, 1}}) {
            auto picture = uniform(w, h, 100);
            SharpenFilter filter;
            ASSERT_EQ(filter.apply(picture.data(), w, h, c.strength, c.strength, 0), 1);
            for (unsigned char v : picture)
                ASSERT_EQ(v, c.expected) << c.strength << " " << w << "x" << h;
        }
    }
}

// One row of 100 with a spike of 150 in the middle, strength 1. Horizontal pass:
// 119 at the spike, 111, 102, 99 beside it, 99 elsewhere; the vertical pass over the
// one mirrored row takes 0.994 of that: 118, 110, 101, 98, 98.
TEST(SharpenFilter, SharpensASpikeAsWorkedByHand) {
    const int w = 11;
    auto picture = uniform(w, 1, 100);
    for (int c = 0; c < 3; ++c) picture[5 * 3 + c] = 150;
    SharpenFilter filter;
    ASSERT_EQ(filter.apply(picture.data(), w, 1, 1.0, 1.0, 0), 1);
    const int expected[w] = {102, 102, 102, 99, 90, 182, 90, 99, 102, 102, 102};
    for (int x = 0; x < w; ++x)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(picture[x * 3 + c], expected[x]) << x;

    // Only differences above the threshold change; it counts as an unsigned byte, so
    // 261 is 5.
    for (int threshold : {5, 261}) {
        picture = uniform(w, 1, 100);
        picture[5 * 3] = 150;  // blue only: the channels are filtered apart
        ASSERT_EQ(filter.apply(picture.data(), w, 1, 1.0, 1.0, threshold), 1);
        const int blue[w] = {100, 100, 100, 100, 90, 182, 90, 100, 100, 100, 100};
        for (int x = 0; x < w; ++x) {
            EXPECT_EQ(picture[x * 3], blue[x]) << x;
            EXPECT_EQ(picture[x * 3 + 1], 100);
        }
    }
}

TEST(SharpenFilter, NoPictureOrNoStrengthChangesNothing) {
    SharpenFilter filter;
    EXPECT_EQ(filter.apply(nullptr, 4, 4, 1.0, 1.0, 0), 0);
    auto picture = uniform(4, 4, 100);
    EXPECT_EQ(filter.apply(picture.data(), 0, 4, 1.0, 1.0, 0), 0);
    // Strength 0 (slider at the left) would divide by zero in the weights.
    EXPECT_EQ(filter.apply(picture.data(), 4, 4, 0.0, 0.0, 0), 1);
    for (unsigned char v : picture) ASSERT_EQ(v, 100);
}

}  // namespace
