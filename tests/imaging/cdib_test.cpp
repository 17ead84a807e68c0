// The picture class: blank pictures, pictures from pixels, resampling, drawing and the
// upright copy handed to callers.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cstdint>
#include <memory>
#include <vector>

#include "cdib.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t u32(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t{b[at + 3]} << 24;
}

TEST(CDib, BlankPictures) {
    CDib dib;
    ASSERT_EQ(dib.CreateBlank(3, 2, 24), 1);
    const Bytes& b = dib.Block();
    // 40-byte header, rows of 9 bytes padded to 12, no table, zero pixels.
    ASSERT_EQ(b.size(), 40u + 24);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 24),
              (Bytes{40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 24, 0, 0, 0}));
    EXPECT_EQ(Bytes(b.begin() + 24, b.end()), Bytes(40, 0));

    ASSERT_EQ(dib.CreateBlank(5, 1, 7), 1);  // raised to 8 bits, with the grey table
    EXPECT_EQ(dib.BitCount(), 8);
    ASSERT_EQ(dib.Block().size(), 40u + 1024 + 8);
    EXPECT_EQ(u32(dib.Block(), 40 + 4 * 200), 0x00C8C8C8u);

    const Bytes before = dib.Block();
    EXPECT_EQ(dib.CreateBlank(0, 4, 24), 0);
    EXPECT_EQ(dib.CreateBlank(CDib::kMaxSide + 1, 1, 24), 0);
    EXPECT_EQ(dib.CreateBlank(CDib::kMaxSide, CDib::kMaxSide, 24), 0);  // 12 GiB
    EXPECT_EQ(dib.Block(), before);
}

TEST(CDib, PixelsAreStoredBottomUpWithEveryByteKept) {
    const std::vector<unsigned char> pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    CDib dib;
    ASSERT_EQ(dib.SetFromPixels(pixels.data(), 2, 2), 1);
    EXPECT_EQ(dib.ColorCount(), 0);
    EXPECT_EQ(Bytes(dib.Block().begin() + 40, dib.Block().end()),
              (Bytes{7, 8, 9, 10, 11, 12, 0, 0, 1, 2, 3, 4, 5, 6, 0, 0}));
    EXPECT_EQ(dib.SetFromPixels(nullptr, 2, 2), 0);

    // Every byte value, then again into the reused block.
    std::vector<unsigned char> all(16 * 16 * 3);
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t i = 0; i < all.size(); ++i)
            all[i] = static_cast<unsigned char>(i * 7 + pass);
        ASSERT_EQ(dib.SetFromPixels(all.data(), 16, 16), 1);
        for (int row = 0; row < 16; ++row)
            ASSERT_TRUE(std::equal(all.begin() + row * 48, all.begin() + row * 48 + 48,
                                   dib.Block().begin() + 40 + (15 - row) * 48));
    }
}

// A picture whose pixel at column x of stored row y is (x, y, 9).
CDib coordinates(int width, int height) {
    std::vector<unsigned char> pixels;
    for (int y = height - 1; y >= 0; --y)
        for (int x = 0; x < width; ++x)
            pixels.insert(pixels.end(),
                          {static_cast<unsigned char>(x), static_cast<unsigned char>(y), 9});
    CDib dib;
    dib.SetFromPixels(pixels.data(), width, height);
    return dib;
}

// The (x, y) source of each pixel in storage order.
std::vector<std::pair<int, int>> sources(const CDib& dib) {
    std::vector<std::pair<int, int>> out;
    for (int y = 0; y < dib.Height(); ++y)
        for (int x = 0; x < dib.Width(); ++x) {
            const std::size_t at = 40 + y * CDib::Stride(dib.Width(), 24) + 3 * x;
            out.emplace_back(dib.Block()[at], dib.Block()[at + 1]);
        }
    return out;
}

TEST(CDib, ResampleTakesTruncatedSourcePositions) {
    CDib dib = coordinates(4, 2);
    ASSERT_EQ(dib.Resample(2, 1), 1);  // ratio 2: columns 0 and 2
    EXPECT_EQ(sources(dib), (std::vector<std::pair<int, int>>{{0, 0}, {2, 0}}));
    dib = coordinates(2, 2);
    ASSERT_EQ(dib.Resample(3, 3), 1);  // ratio 2/3: 0, 0.67, 1.33 give 0, 0, 1
    EXPECT_EQ(sources(dib),
              (std::vector<std::pair<int, int>>{
                  {0, 0}, {0, 0}, {1, 0}, {0, 0}, {0, 0}, {1, 0}, {0, 1}, {0, 1}, {1, 1}}));

    const Bytes before = dib.Block();
    EXPECT_EQ(dib.Resample(0, 3), 0);
    EXPECT_EQ(dib.Resample(3, -1), 0);
    EXPECT_EQ(dib.Resample(3, 3), 1);
    EXPECT_EQ(dib.Block(), before);
    EXPECT_EQ(CDib().Resample(2, 2), 0);
}

// 2 x 2: top row red, green; bottom row blue, white (stored blue, green, red).
CDib fourColours() {
    const std::vector<unsigned char> pixels = {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255};
    CDib dib;
    dib.SetFromPixels(pixels.data(), 2, 2);
    return dib;
}

TEST(CDib, DrawStretchedRepeatsPixelsUprightInsideTheRectangle) {
    QImage canvas(8, 8, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    {
        QPainter painter(&canvas);
        const RECT rect{2, 1, 6, 5};
        fourColours().DrawStretched(&painter, &rect);
    }
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            QRgb expected = qRgb(0, 0, 0);
            if (x >= 2 && x < 6 && y >= 1 && y < 5) {
                const bool right = x >= 4, lower = y >= 3;
                expected = lower ? (right ? qRgb(255, 255, 255) : qRgb(0, 0, 255))
                                 : (right ? qRgb(0, 255, 0) : qRgb(255, 0, 0));
            }
            ASSERT_EQ(canvas.pixel(x, y), expected) << x << "," << y;
        }
}

TEST(CDib, MakeBitmapIsAnUprightCopyThatOutlivesThePicture) {
    std::unique_ptr<QImage> bitmap(fourColours().MakeBitmap(nullptr));
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(bitmap->pixel(1, 1), qRgb(255, 255, 255));
    // A single row is not mirrored, but must still be copied.
    const std::vector<unsigned char> one = {1, 2, 3};
    auto dib = std::make_unique<CDib>();
    dib->SetFromPixels(one.data(), 1, 1);
    bitmap.reset(dib->MakeBitmap(nullptr));
    dib.reset();
    EXPECT_EQ(bitmap->pixel(0, 0), qRgb(3, 2, 1));
    EXPECT_EQ(CDib().MakeBitmap(nullptr), nullptr);
}

}  // namespace
