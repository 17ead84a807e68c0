// Crop of a decoded frame, and the live display picture: histogram, levels and the
// picture made from each frame, then painted.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <vector>

#include "../driver/allocation_control.h"
#include "cdib.h"
#include "display_picture.h"
#include "histogram_levels.h"
#include "vantelo.h"

namespace {

CameraRecord record(int width, int height, int left, int top, int right, int bottom) {
    CameraRecord r{};
    r.image_width = width, r.image_height = height;
    r.crop_left = left, r.crop_top = top, r.crop_right = right, r.crop_bottom = bottom;
    return r;
}

std::vector<unsigned char> countingFrame(std::size_t bytes) {
    std::vector<unsigned char> frame(bytes);
    for (std::size_t i = 0; i < bytes; ++i) frame[i] = static_cast<unsigned char>(i * 31 + i / 256);
    return frame;
}

int crop(CameraRecord r, int pixelBytes, const unsigned char* source, unsigned char* target) {
    return pixelBytes == 3 ? Mes_Crop(&r, source, target) : Mes_Crop16(&r, source, target);
}

TEST(Crop, CopiesTheRectangleAndRefusesOneOutsideTheFrame) {
    for (int pixelBytes : {3, 6}) {
        const auto frame = countingFrame(6 * 4 * pixelBytes);
        std::vector<unsigned char> out(frame.size());
        ASSERT_EQ(crop(record(6, 4, 0, 0, 6, 4), pixelBytes, frame.data(), out.data()), 1);
        EXPECT_EQ(out, frame);  // the whole frame is a plain copy

        // Columns 2..4 of rows 1..2.
        std::vector<unsigned char> expected;
        for (int y = 1; y < 3; ++y)
            expected.insert(expected.end(), frame.begin() + (y * 6 + 2) * pixelBytes,
                            frame.begin() + (y * 6 + 5) * pixelBytes);
        std::fill(out.begin(), out.end(), 0xEE);
        ASSERT_EQ(crop(record(6, 4, 2, 1, 5, 3), pixelBytes, frame.data(), out.data()), 1);
        EXPECT_EQ(std::vector<unsigned char>(out.begin(), out.begin() + expected.size()), expected);

        std::fill(out.begin(), out.end(), 0xEE);
        for (const CameraRecord& r :
             {record(6, 4, 0, 0, 7, 4), record(6, 4, 0, 0, 6, 5), record(6, 4, -1, 0, 3, 2),
              record(6, 4, 0, -1, 3, 2), record(6, 4, 3, 0, 3, 2), record(6, 4, 4, 2, 2, 3)})
            EXPECT_EQ(crop(r, pixelBytes, frame.data(), out.data()), 0);
        EXPECT_EQ(crop(record(6, 4, 0, 0, 6, 4), pixelBytes, nullptr, out.data()), 0);
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](unsigned char b) { return b == 0xEE; }));
    }
}

class ShowBuffer : public ::testing::Test {
  protected:
    void SetUp() override { TearDown(); }
    void TearDown() override {
        vantelo::destroyDisplayPicture();
        Mes_AutoLevels(0);
        Mes_SetLevelsValues(0, 255);
        Mes_InitHistogram();
    }
    // The display picture's pixels, upright, without padding.
    static std::vector<unsigned char> shown() {
        const CDib* dib = vantelo::displayPicture();
        const std::size_t stride = CDib::Stride(dib->Width(), 24), row = dib->Width() * 3;
        std::vector<unsigned char> out;
        for (int y = dib->Height() - 1; y >= 0; --y) {
            const auto start = dib->Block().begin() + 40 + y * stride;
            out.insert(out.end(), start, start + row);
        }
        return out;
    }
};

TEST_F(ShowBuffer, FrameGetsItsLevelsInPlaceAndBecomesThePicture) {
    CameraRecord r = record(100, 50, 10, 5, 15, 8);  // 5 x 3: padded rows, odd length
    EXPECT_EQ(Mes_CopyToShowBuffer(&r, countingFrame(45).data()), 0);  // no picture yet
    vantelo::resetDisplayPicture(5, 3);
    EXPECT_EQ(shown(), std::vector<unsigned char>(45, 0));
    Mes_SetLevelsValues(10, 20);
    auto pixels = countingFrame(45);
    const auto original = pixels;
    ASSERT_EQ(Mes_CopyToShowBuffer(&r, pixels.data()), 1);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const int b = original[i];
        ASSERT_EQ(pixels[i], b <= 10   ? 0
                             : b >= 20 ? 255
                                       : static_cast<int>((b - 10) * 25.5 + 0.5))
            << i;
    }
    EXPECT_EQ(shown(), pixels);
    // The histogram saw the frame before its levels.
    EXPECT_EQ(vantelo::histogramBin(original[0]),
              std::count(original.begin(), original.end(), original[0]) / 3);

    r = record(100, 50, 5, 5, 5, 9);  // an empty crop changes nothing
    EXPECT_EQ(Mes_CopyToShowBuffer(&r, pixels.data()), 0);
    EXPECT_EQ(shown(), pixels);
}

TEST_F(ShowBuffer, UniformGreyWithAutomaticLevelsTurnsWhite) {
    // Both levels become 128, and the table sends 128 to white.
    CameraRecord r = record(100, 100, 0, 0, 100, 100);
    vantelo::resetDisplayPicture(100, 100);
    Mes_AutoLevels(1);
    std::vector<unsigned char> grey(100 * 100 * 3, 128);
    ASSERT_EQ(Mes_CopyToShowBuffer(&r, grey.data()), 1);
    EXPECT_EQ(grey, std::vector<unsigned char>(grey.size(), 255));
    EXPECT_EQ(shown(), grey);
}

TEST_F(ShowBuffer, ANewCropSizeReplacesThePictureWhichIsPainted) {
    vantelo::resetDisplayPicture(4, 4);
    CameraRecord r = record(10, 10, 0, 0, 2, 1);
    std::vector<unsigned char> pixels = {255, 0, 0, 0, 0, 255};  // blue, red
    ASSERT_EQ(Mes_CopyToShowBuffer(&r, pixels.data()), 1);
    QImage canvas(4, 2, QImage::Format_RGB32);
    {
        QPainter painter(&canvas);
        RECT rect{0, 0, 4, 2};
        EXPECT_EQ(Mes_ShowBuffer(&r, &painter, &rect), 1);
    }
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(canvas.pixel(x, y), x < 2 ? qRgb(0, 0, 255) : qRgb(255, 0, 0));
}

TEST_F(ShowBuffer, WithoutMemoryForANewPictureTheOldOneStays) {
    vantelo::resetDisplayPicture(2, 1);
    const auto before = vantelo::displayPicture()->Block();
    CameraRecord r = record(1000, 1000, 0, 0, 1000, 1000);  // a 3 MB picture
    std::vector<unsigned char> pixels(1000 * 1000 * 3, 128);
    Mes_SetLevelsValues(0, 127);
    allocation_control::refuseLarge(true);
    const int result = Mes_CopyToShowBuffer(&r, pixels.data());
    CDib dib;
    const int made = dib.SetFromPixels(pixels.data(), 1000, 1000);
    allocation_control::refuseLarge(false);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(made, 0);
    EXPECT_TRUE(dib.IsEmpty());
    EXPECT_EQ(vantelo::displayPicture()->Block(), before);
    EXPECT_EQ(pixels[0], 255);  // the frame still got its levels
}

}  // namespace
