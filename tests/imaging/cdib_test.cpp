// The picture class: blank pictures, pictures from pixels, resampling, drawing and the
// upright copy handed to callers.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "cdib.h"

namespace {

std::uint32_t u32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t{b[at + 3]} << 24;
}
std::uint16_t u16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

TEST(CDibBlank, Has40ByteHeaderPaddedRowsAndZeroPixels) {
    CDib dib;
    EXPECT_TRUE(dib.IsEmpty());
    EXPECT_EQ(dib.Width(), 0);
    ASSERT_EQ(dib.CreateBlank(3, 2, 24), 1);
    const auto& b = dib.Block();
    // 3 pixels of 3 bytes pad to 12 bytes a row.
    ASSERT_EQ(b.size(), 40u + 2 * 12);
    EXPECT_EQ(u32(b, 0), 40u);
    EXPECT_EQ(u32(b, 4), 3u);
    EXPECT_EQ(u32(b, 8), 2u);
    EXPECT_EQ(u16(b, 12), 1);
    EXPECT_EQ(u16(b, 14), 24);
    EXPECT_EQ(u32(b, 16), 0u);
    EXPECT_EQ(u32(b, 20), 24u);
    for (std::size_t i = 24; i < b.size(); ++i) ASSERT_EQ(b[i], 0) << i;
    EXPECT_EQ(dib.Width(), 3);
    EXPECT_EQ(dib.Height(), 2);
    EXPECT_EQ(dib.ColorCount(), 0);
}

TEST(CDibBlank, RaisesBitCountsAndGives8BitsAGreyTable) {
    CDib dib;
    ASSERT_EQ(dib.CreateBlank(5, 1, 7), 1);
    EXPECT_EQ(dib.BitCount(), 8);
    ASSERT_EQ(dib.ColorCount(), 256);
    const auto& b = dib.Block();
    ASSERT_EQ(b.size(), 40u + 1024 + 8);  // 5 bytes pad to 8
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(b[40 + 4 * i], i);
        EXPECT_EQ(b[40 + 4 * i + 1], i);
        EXPECT_EQ(b[40 + 4 * i + 2], i);
        EXPECT_EQ(b[40 + 4 * i + 3], 0);
    }
    dib.CreateBlank(2, 2, 3);
    EXPECT_EQ(dib.BitCount(), 4);
    EXPECT_EQ(dib.ColorCount(), 16);
    dib.CreateBlank(2, 2, 0);
    EXPECT_EQ(dib.BitCount(), 1);
    dib.CreateBlank(2, 2, 16);
    EXPECT_EQ(dib.BitCount(), 24);
}

TEST(CDibBlank, RefusedSizesKeepThePicture) {
    CDib dib;
    ASSERT_EQ(dib.CreateBlank(4, 4, 24), 1);
    const auto before = dib.Block();
    EXPECT_EQ(dib.CreateBlank(0, 4, 24), 0);
    EXPECT_EQ(dib.CreateBlank(4, -1, 24), 0);
    EXPECT_EQ(dib.CreateBlank(CDib::kMaxSide + 1, 1, 24), 0);
    EXPECT_EQ(dib.CreateBlank(CDib::kMaxSide, CDib::kMaxSide, 24), 0);  // 12 GiB
    EXPECT_EQ(dib.Block(), before);
}

TEST(CDibPixels, RowsAreStoredBottomUpWithEveryByteKept) {
    // Two rows of two pixels, every byte distinct.
    const std::vector<unsigned char> pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    CDib dib;
    ASSERT_EQ(dib.SetFromPixels(pixels.data(), 2, 2), 1);
    const auto& b = dib.Block();
    ASSERT_EQ(b.size(), 40u + 2 * 8);
    EXPECT_EQ(dib.ColorCount(), 0);
    const std::vector<std::uint8_t> rows(b.begin() + 40, b.end());
    EXPECT_EQ(rows, (std::vector<std::uint8_t>{7, 8, 9, 10, 11, 12, 0, 0, 1, 2, 3, 4, 5, 6, 0, 0}));

    EXPECT_EQ(dib.SetFromPixels(nullptr, 2, 2), 0);
    EXPECT_EQ(dib.Block(), b);
}

TEST(CDibPixels, AllByteValuesSurviveIncludingAReusedBlock) {
    std::vector<unsigned char> pixels(16 * 16 * 3);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<unsigned char>(i * 7);
    CDib dib;
    ASSERT_EQ(dib.SetFromPixels(pixels.data(), 16, 16), 1);
    for (int pass = 0; pass < 2; ++pass) {
        const auto& b = dib.Block();
        ASSERT_EQ(b.size(), 40u + pixels.size());
        for (int row = 0; row < 16; ++row)
            ASSERT_EQ(std::memcmp(b.data() + 40 + (15 - row) * 48, pixels.data() + row * 48, 48), 0) << row;
        for (auto& p : pixels) p = static_cast<unsigned char>(p + 1);
        ASSERT_EQ(dib.SetFromPixels(pixels.data(), 16, 16), 1);
    }
    // A new size replaces the block.
    ASSERT_EQ(dib.SetFromPixels(pixels.data(), 8, 2), 1);
    EXPECT_EQ(dib.Width(), 8);
    EXPECT_EQ(dib.Height(), 2);
}

// A picture of width x height whose pixel (column x, stored row y) is (x, y, 9).
CDib coordinatePicture(int width, int height) {
    std::vector<unsigned char> pixels;
    for (int row = height - 1; row >= 0; --row)
        for (int x = 0; x < width; ++x) pixels.insert(pixels.end(), {static_cast<unsigned char>(x),
                                                                      static_cast<unsigned char>(row), 9});
    CDib dib;
    dib.SetFromPixels(pixels.data(), width, height);
    return dib;
}

// (column, row) of every pixel of a coordinate picture after resampling, by stored row.
std::vector<std::vector<std::pair<int, int>>> sources(const CDib& dib) {
    std::vector<std::vector<std::pair<int, int>>> out;
    const auto& b = dib.Block();
    for (int y = 0; y < dib.Height(); ++y) {
        out.emplace_back();
        for (int x = 0; x < dib.Width(); ++x) {
            const std::size_t at = 40 + y * CDib::Stride(dib.Width(), 24) + 3 * x;
            EXPECT_EQ(b[at + 2], 9);
            out.back().emplace_back(b[at], b[at + 1]);
        }
    }
    return out;
}

TEST(CDibResample, NearestNeighbourTakesTruncatedSourcePositions) {
    CDib dib = coordinatePicture(4, 2);
    ASSERT_EQ(dib.Resample(2, 1), 1);
    // Ratios 2 and 2: columns 0 and 2 of row 0.
    EXPECT_EQ(sources(dib), (std::vector<std::vector<std::pair<int, int>>>{{{0, 0}, {2, 0}}}));

    dib = coordinatePicture(2, 2);
    ASSERT_EQ(dib.Resample(3, 3), 1);
    // Ratio 2/3: positions 0, 0.67 and 1.33 truncate to 0, 0 and 1.
    const std::vector<std::pair<int, int>> row0 = {{0, 0}, {0, 0}, {1, 0}};
    const std::vector<std::pair<int, int>> row1 = {{0, 1}, {0, 1}, {1, 1}};
    EXPECT_EQ(sources(dib), (std::vector<std::vector<std::pair<int, int>>>{row0, row0, row1}));
}

TEST(CDibResample, ZeroOrSameSizeLeavesThePicture) {
    CDib dib = coordinatePicture(5, 3);
    const auto before = dib.Block();
    EXPECT_EQ(dib.Resample(0, 3), 0);
    EXPECT_EQ(dib.Resample(5, 0), 0);
    EXPECT_EQ(dib.Resample(-2, 3), 0);
    EXPECT_EQ(dib.Resample(5, 3), 1);
    EXPECT_EQ(dib.Block(), before);
    CDib empty;
    EXPECT_EQ(empty.Resample(2, 2), 0);
}

// 2 x 2 picture: top row red, green; bottom row blue, white (pixels in BGR order).
CDib fourColours() {
    const std::vector<unsigned char> pixels = {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255};
    CDib dib;
    dib.SetFromPixels(pixels.data(), 2, 2);
    return dib;
}

TEST(CDibDraw, StretchesUprightIntoTheRectangleOnly) {
    const CDib dib = fourColours();
    QImage canvas(8, 8, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    {
        QPainter painter(&canvas);
        const RECT rect{2, 1, 6, 5};
        dib.DrawStretched(&painter, &rect);
    }
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            QRgb expected = qRgb(0, 0, 0);
            if (x >= 2 && x < 6 && y >= 1 && y < 5) {
                const bool right = x >= 4, lower = y >= 3;
                expected = !lower ? (right ? qRgb(0, 255, 0) : qRgb(255, 0, 0))
                                  : (right ? qRgb(255, 255, 255) : qRgb(0, 0, 255));
            }
            EXPECT_EQ(canvas.pixel(x, y), expected) << x << "," << y;
        }
    }
}

TEST(CDibDraw, EmptyPictureDrawsNothing) {
    const CDib dib;
    QImage canvas(4, 4, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    {
        QPainter painter(&canvas);
        const RECT rect{0, 0, 4, 4};
        dib.DrawStretched(&painter, &rect);
        dib.DrawStretched(nullptr, &rect);
    }
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(canvas.pixel(x, y), qRgb(0, 0, 0));
}

TEST(CDibBitmap, IsAnUprightCopyThatOutlivesThePicture) {
    std::unique_ptr<QImage> bitmap;
    {
        const CDib dib = fourColours();
        bitmap.reset(dib.MakeBitmap(nullptr));
    }
    ASSERT_NE(bitmap, nullptr);
    ASSERT_EQ(bitmap->size(), QSize(2, 2));
    EXPECT_EQ(bitmap->pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(bitmap->pixel(1, 0), qRgb(0, 255, 0));
    EXPECT_EQ(bitmap->pixel(0, 1), qRgb(0, 0, 255));
    EXPECT_EQ(bitmap->pixel(1, 1), qRgb(255, 255, 255));

    // One row: a mirror that does nothing must still be a copy.
    const std::vector<unsigned char> row = {1, 2, 3};
    auto dib = std::make_unique<CDib>();
    dib->SetFromPixels(row.data(), 1, 1);
    bitmap.reset(dib->MakeBitmap(nullptr));
    dib.reset();
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->pixel(0, 0), qRgb(3, 2, 1));

    EXPECT_EQ(CDib().MakeBitmap(nullptr), nullptr);
}

}  // namespace
