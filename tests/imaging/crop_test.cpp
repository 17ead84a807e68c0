// Crop of a decoded frame, and the live display picture: histogram, levels and the
// picture made from every frame, then painted.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstring>
#include <vector>

#include "cdib.h"
#include "display_picture.h"
#include "histogram_levels.h"
#include "vantelo.h"

namespace {

CameraRecord recordWithCrop(int width, int height, int left, int top, int right, int bottom) {
    CameraRecord r{};
    r.image_width = width;
    r.image_height = height;
    r.crop_left = left;
    r.crop_top = top;
    r.crop_right = right;
    r.crop_bottom = bottom;
    return r;
}

// A frame whose bytes count up, so every position is recognisable.
std::vector<unsigned char> countingFrame(std::size_t bytes) {
    std::vector<unsigned char> frame(bytes);
    for (std::size_t i = 0; i < bytes; ++i) frame[i] = static_cast<unsigned char>(i * 31 + i / 256);
    return frame;
}

TEST(Crop, WholeFrameIsAPlainCopy) {
    CameraRecord r = recordWithCrop(7, 5, 0, 0, 7, 5);
    const auto frame = countingFrame(7 * 5 * 3);
    std::vector<unsigned char> out(frame.size());
    ASSERT_EQ(Mes_Crop(&r, frame.data(), out.data()), 1);
    EXPECT_EQ(out, frame);

    const auto frame16 = countingFrame(7 * 5 * 6);
    std::vector<unsigned char> out16(frame16.size());
    ASSERT_EQ(Mes_Crop16(&r, frame16.data(), out16.data()), 1);
    EXPECT_EQ(out16, frame16);
}

TEST(Crop, CopiesTheRectangleRowByRow) {
    // Columns 2..4 of rows 1..2 of a 6 x 4 frame.
    CameraRecord r = recordWithCrop(6, 4, 2, 1, 5, 3);
    for (int bytesPerPixel : {3, 6}) {
        const auto frame = countingFrame(6 * 4 * bytesPerPixel);
        std::vector<unsigned char> expected;
        for (int y = 1; y < 3; ++y)
            for (int x = 2; x < 5; ++x)
                for (int k = 0; k < bytesPerPixel; ++k) expected.push_back(frame[(y * 6 + x) * bytesPerPixel + k]);
        std::vector<unsigned char> out(expected.size());
        const int result = bytesPerPixel == 3 ? Mes_Crop(&r, frame.data(), out.data())
                                              : Mes_Crop16(&r, frame.data(), out.data());
        ASSERT_EQ(result, 1);
        EXPECT_EQ(out, expected) << bytesPerPixel;
    }
}

TEST(Crop, RectanglesOutsideTheFrameCopyNothing) {
    const auto frame = countingFrame(6 * 4 * 6);
    std::vector<unsigned char> out(frame.size(), 0xEE);
    const std::vector<CameraRecord> bad = {
        recordWithCrop(6, 4, 0, 0, 7, 4),    // past the right edge
        recordWithCrop(6, 4, 0, 0, 6, 5),    // past the bottom
        recordWithCrop(6, 4, -1, 0, 3, 2),   // before the left edge
        recordWithCrop(6, 4, 0, -1, 3, 2),   // above the top
        recordWithCrop(6, 4, 3, 0, 3, 2),    // empty
        recordWithCrop(6, 4, 4, 2, 2, 3),    // inverted
        recordWithCrop(0, 0, 0, 0, 0, 0),    // no frame
    };
    for (CameraRecord r : bad) {
        EXPECT_EQ(Mes_Crop(&r, frame.data(), out.data()), 0);
        EXPECT_EQ(Mes_Crop16(&r, frame.data(), out.data()), 0);
    }
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](unsigned char b) { return b == 0xEE; }));

    CameraRecord r = recordWithCrop(6, 4, 0, 0, 6, 4);
    EXPECT_EQ(Mes_Crop(&r, nullptr, out.data()), 0);
    EXPECT_EQ(Mes_Crop16(&r, nullptr, out.data()), 0);
    EXPECT_EQ(Mes_Crop(nullptr, frame.data(), out.data()), 0);
}

class ShowBuffer : public ::testing::Test {
protected:
    void SetUp() override {
        Mes_AutoLevels(0);
        Mes_SetLevelsValues(0, 255);
        Mes_InitHistogram();
    }
    void TearDown() override {
        vantelo::destroyDisplayPicture();
        SetUp();
    }
    // The display picture's rows, upright, without padding.
    static std::vector<unsigned char> shownPixels() {
        const CDib* dib = vantelo::displayPicture();
        std::vector<unsigned char> out;
        const std::size_t stride = CDib::Stride(dib->Width(), 24);
        const std::uint8_t* rows = dib->Block().data() + 40;
        for (int y = dib->Height() - 1; y >= 0; --y)
            out.insert(out.end(), rows + y * stride, rows + y * stride + dib->Width() * 3);
        return out;
    }
};

TEST_F(ShowBuffer, DisplayPictureStartsBlankAtTheCropSize) {
    vantelo::resetDisplayPicture(5, 3);
    ASSERT_NE(vantelo::displayPicture(), nullptr);
    EXPECT_EQ(vantelo::displayPicture()->Width(), 5);
    EXPECT_EQ(vantelo::displayPicture()->Height(), 3);
    EXPECT_EQ(shownPixels(), std::vector<unsigned char>(5 * 3 * 3, 0));
    vantelo::destroyDisplayPicture();
    EXPECT_EQ(vantelo::displayPicture(), nullptr);
    CameraRecord r = recordWithCrop(5, 3, 0, 0, 5, 3);
    std::vector<unsigned char> pixels(45, 1);
    EXPECT_EQ(Mes_CopyToShowBuffer(&r, pixels.data()), 0);
}

TEST_F(ShowBuffer, FrameGetsLevelsInPlaceAndBecomesThePicture) {
    // Odd width, so that rows are padded and the fused copy has a tail.
    CameraRecord r = recordWithCrop(100, 50, 10, 5, 15, 8);
    vantelo::resetDisplayPicture(5, 3);
    Mes_SetLevelsValues(10, 20);
    auto pixels = countingFrame(5 * 3 * 3);
    const auto original = pixels;
    ASSERT_EQ(Mes_CopyToShowBuffer(&r, pixels.data()), 1);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const int b = original[i];
        const int expected = b <= 10 ? 0 : b >= 20 ? 255 : static_cast<int>((b - 10) * 25.5 + 0.5);
        ASSERT_EQ(pixels[i], expected) << i;
    }
    EXPECT_EQ(shownPixels(), pixels);
    // The histogram saw the frame before its levels.
    EXPECT_EQ(vantelo::histogramBin(original[0]),
              static_cast<int>(std::count(original.begin(), original.end(), original[0])) / 3);
}

TEST_F(ShowBuffer, UniformGreyWithAutomaticLevelsTurnsWhite) {
    // After a cleared histogram, 100 x 100 pixels of 128 set both levels to 128, and
    // the table sends 128 to white.
    CameraRecord r = recordWithCrop(100, 100, 0, 0, 100, 100);
    vantelo::resetDisplayPicture(100, 100);
    Mes_AutoLevels(1);
    std::vector<unsigned char> grey(100 * 100 * 3, 128);
    ASSERT_EQ(Mes_CopyToShowBuffer(&r, grey.data()), 1);
    short black = 0, white = 0;
    Mes_GetLevelsValues(&black, &white);
    EXPECT_EQ(black, 128);
    EXPECT_EQ(white, 128);
    EXPECT_TRUE(std::all_of(grey.begin(), grey.end(), [](unsigned char b) { return b == 255; }));
    EXPECT_EQ(shownPixels(), grey);
}

TEST_F(ShowBuffer, ACropOfNewSizeReplacesThePictureAndIsPainted) {
    vantelo::resetDisplayPicture(4, 4);
    CameraRecord r = recordWithCrop(10, 10, 0, 0, 2, 1);
    // One row: a blue pixel, then a red one.
    std::vector<unsigned char> pixels = {255, 0, 0, 0, 0, 255};
    ASSERT_EQ(Mes_CopyToShowBuffer(&r, pixels.data()), 1);
    EXPECT_EQ(vantelo::displayPicture()->Width(), 2);
    EXPECT_EQ(vantelo::displayPicture()->Height(), 1);

    QImage canvas(4, 2, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    {
        QPainter painter(&canvas);
        RECT rect{0, 0, 4, 2};
        EXPECT_EQ(Mes_ShowBuffer(&r, &painter, &rect), 1);
        EXPECT_EQ(Mes_ShowBuffer(&r, &painter, nullptr), 0);
    }
    for (int y = 0; y < 2; ++y) {
        EXPECT_EQ(canvas.pixel(0, y), qRgb(0, 0, 255));
        EXPECT_EQ(canvas.pixel(1, y), qRgb(0, 0, 255));
        EXPECT_EQ(canvas.pixel(2, y), qRgb(255, 0, 0));
        EXPECT_EQ(canvas.pixel(3, y), qRgb(255, 0, 0));
    }
}

TEST_F(ShowBuffer, EmptyCropIsRefused) {
    vantelo::resetDisplayPicture(4, 4);
    const auto before = vantelo::displayPicture()->Block();
    CameraRecord r = recordWithCrop(10, 10, 5, 5, 5, 9);
    std::vector<unsigned char> pixels(48, 3);
    EXPECT_EQ(Mes_CopyToShowBuffer(&r, pixels.data()), 0);
    EXPECT_EQ(Mes_CopyToShowBuffer(&r, nullptr), 0);
    EXPECT_EQ(vantelo::displayPicture()->Block(), before);
}

}  // namespace
