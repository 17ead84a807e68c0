// The frame formats of the second-family camera without the camera: how the sensor's
// samples become the raw frame of each resolution, and how a raw frame becomes the
// picture. Expected values are worked out by hand from the documented formulas.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "frame_format.h"
#include "picture_decode.h"
#include "sensor_readout.h"

namespace nimbus = corvalis::nimbus;

namespace {

// 12-bit samples that name their own place: row % 16 in the high nibble and
// column % 16 in the middle one, so the 8-bit result reads (row % 16) * 16 + column % 16.
std::vector<std::uint16_t> placeCoded(const nimbus::Resolution& res) {
    const int w = res.width * res.step, h = res.height * res.step;
    std::vector<std::uint16_t> s(static_cast<std::size_t>(w) * h);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
            s[static_cast<std::size_t>(r) * w + c] =
                static_cast<std::uint16_t>((r % 16) * 256 + (c % 16) * 16);
    return s;
}

// Every sample of a colour the same: green, red / blue, green.
std::vector<std::uint16_t> byColour(const nimbus::Resolution& res, std::uint16_t red,
                                    std::uint16_t green, std::uint16_t blue) {
    const int w = res.width * res.step, h = res.height * res.step;
    std::vector<std::uint16_t> s(static_cast<std::size_t>(w) * h);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
            s[static_cast<std::size_t>(r) * w + c] =
                (r & 1) == 0 ? ((c & 1) == 0 ? green : red) : ((c & 1) == 0 ? blue : green);
    return s;
}

std::uint8_t at(const std::vector<std::uint8_t>& frame, const nimbus::Resolution& res, int row,
                int col) {
    return frame[static_cast<std::size_t>(row) * res.width + col];
}

}  // namespace

TEST(ReadOut, FullFrameAndSkippingKeepTheirSamplesHighBits) {
    const nimbus::Resolution& full = *nimbus::resolution(0);
    auto sensor = placeCoded(full);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(full.width) * full.height);
    nimbus::readOut(sensor.data(), static_cast<std::size_t>(full.width), full, out.data());
    EXPECT_EQ(at(out, full, 3, 5), 3 * 16 + 5);
    EXPECT_EQ(at(out, full, 1935, 2583), (1935 % 16) * 16 + 2583 % 16);

    // Skipping keeps the first row and column pair of every `step`.
    const nimbus::Resolution& skip2 = *nimbus::resolution(1);
    sensor = placeCoded(skip2);
    out.assign(static_cast<std::size_t>(skip2.width) * skip2.height, 0);
    nimbus::readOut(sensor.data(), static_cast<std::size_t>(skip2.width * skip2.step), skip2,
                    out.data());
    EXPECT_EQ(at(out, skip2, 1, 1), 1 * 16 + 1);  // input (1, 1): still in the first pair
    EXPECT_EQ(at(out, skip2, 2, 3),
              4 * 16 + 5);  // second pairs come from input rows 4, 5 / columns 4, 5
    EXPECT_EQ(at(out, skip2, 3, 2), 5 * 16 + 4);

    const nimbus::Resolution& skip4 = *nimbus::resolution(2);
    sensor = placeCoded(skip4);
    out.assign(static_cast<std::size_t>(skip4.width) * skip4.height, 0);
    nimbus::readOut(sensor.data(), static_cast<std::size_t>(skip4.width * skip4.step), skip4,
                    out.data());
    EXPECT_EQ(at(out, skip4, 2, 3), 8 * 16 + 9);
    EXPECT_EQ(at(out, skip4, 5, 4), 1 * 16 + 0);  // input row 17, column 16
}

TEST(ReadOut, BinningSumsSameColourSamplesAndClamps) {
    // Red 1000, green 500, blue 200 counts.
    const nimbus::Resolution& bin2 = *nimbus::resolution(3);
    auto sensor = byColour(bin2, 1000, 500, 200);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(bin2.width) * bin2.height);
    nimbus::readOut(sensor.data(), static_cast<std::size_t>(bin2.width * bin2.step), bin2,
                    out.data());
    EXPECT_EQ(at(out, bin2, 10, 11), 4000 >> 4);  // red: 4 x 1000
    EXPECT_EQ(at(out, bin2, 10, 10), 2000 >> 4);  // green
    EXPECT_EQ(at(out, bin2, 11, 10), 800 >> 4);   // blue
    EXPECT_EQ(at(out, bin2, 11, 11), 2000 >> 4);

    const nimbus::Resolution& bin4 = *nimbus::resolution(4);
    sensor = byColour(bin4, 1000, 500, 200);
    out.assign(static_cast<std::size_t>(bin4.width) * bin4.height, 0);
    nimbus::readOut(sensor.data(), static_cast<std::size_t>(bin4.width * bin4.step), bin4,
                    out.data());
    EXPECT_EQ(at(out, bin4, 0, 1), 255);        // 16 x 1000 clamps at 4095
    EXPECT_EQ(at(out, bin4, 0, 0), 255);        // 16 x 500 too
    EXPECT_EQ(at(out, bin4, 1, 0), 3200 >> 4);  // 16 x 200

    // One bright sample counts only in its own colour's bin.
    sensor = byColour(bin2, 0, 0, 0);
    const std::size_t stride = static_cast<std::size_t>(bin2.width * bin2.step);
    sensor[6 * stride + 7] = 1600;  // input (6, 7): red, block row 1, block column 1
    out.assign(out.size(), 0);
    nimbus::readOut(sensor.data(), stride, bin2, out.data());
    EXPECT_EQ(at(out, bin2, 2, 3), 100);
    EXPECT_EQ(at(out, bin2, 2, 2), 0);
    EXPECT_EQ(at(out, bin2, 3, 3), 0);
    EXPECT_EQ(at(out, bin2, 0, 1), 0);
}

namespace {

// A raw frame of resolution 2 (632 x 472) made by hand.
struct RawFrame {
    static constexpr int kWidth = 632, kHeight = 472;
    std::vector<std::uint8_t> bytes =
        std::vector<std::uint8_t>(nimbus::rawBytes(kWidth, kHeight), 0);

    RawFrame() {
        NimbusFrameHeader h{};
        h.width = kWidth;
        h.height = kHeight;
        h.resolution = 2;
        h.frame_number = 7;
        nimbus::writeHeader(bytes.data(), h);
    }
    std::uint8_t& sample(int row, int col) {
        return bytes[NIMBUS_HEADER_BYTES + static_cast<std::size_t>(row) * kWidth + col];
    }
    void fillByColour(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
        for (int r = 0; r < kHeight; ++r)
            for (int c = 0; c < kWidth; ++c)
                sample(r, c) =
                    (r & 1) == 0 ? ((c & 1) == 0 ? green : red) : ((c & 1) == 0 ? blue : green);
    }
};

struct Picture {
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(
        NIMBUS_DECODED_BYTES(std::size_t{RawFrame::kWidth}, std::size_t{RawFrame::kHeight}), 0xCD);
    // Pixel x of the memory row k (row 0 is the picture's bottom row unmirrored): B, G, R.
    const std::uint8_t* pixel(int k, int x) const {
        return bytes.data() + NIMBUS_HEADER_BYTES +
               (static_cast<std::size_t>(k) * RawFrame::kWidth + x) * 3;
    }
};

void expectPixel(const Picture& p, int k, int x, int b, int g, int r) {
    const std::uint8_t* px = p.pixel(k, x);
    EXPECT_EQ(px[0], b) << "row " << k << " column " << x;
    EXPECT_EQ(px[1], g) << "row " << k << " column " << x;
    EXPECT_EQ(px[2], r) << "row " << k << " column " << x;
}

}  // namespace

TEST(Decode, NeutralSettingsGiveTheMosaicColoursAndCopyTheHeader) {
    RawFrame raw;
    raw.fillByColour(200, 100, 50);
    raw.bytes[300] = 0xAB;  // the whole header block is copied, not only the structure
    Picture out;
    ASSERT_TRUE(nimbus::decodeFrame(raw.bytes.data(), out.bytes.data(), nimbus::PictureSettings{}));
    EXPECT_EQ(std::memcmp(out.bytes.data(), raw.bytes.data(), NIMBUS_HEADER_BYTES), 0);
    for (int k : {1, 100, 470})
        for (int x : {1, 2, 317, 630}) expectPixel(out, k, x, 50, 100, 200);
}

TEST(Decode, GainsSaturationContrastAndGammaByHand) {
    RawFrame raw;
    raw.fillByColour(100, 100, 50);
    Picture out;
    nimbus::PictureSettings s;
    s.gainRed = 128;  // 100 -> 200
    s.gainBlue = 32;  // 50 -> 25
    ASSERT_TRUE(nimbus::decodeFrame(raw.bytes.data(), out.bytes.data(), s));
    expectPixel(out, 200, 300, 25, 100, 200);

    // Saturation 0: every channel is Y = (77 x 200 + 150 x 100 + 29 x 25 + 128) >> 8 = 122.
    s.saturation = 0;
    ASSERT_TRUE(nimbus::decodeFrame(raw.bytes.data(), out.bytes.data(), s));
    expectPixel(out, 200, 300, 122, 122, 122);
    // ... unless colour enhancement is off, which leaves the colours alone.
    s.colorEnhancement = false;
    ASSERT_TRUE(nimbus::decodeFrame(raw.bytes.data(), out.bytes.data(), s));
    expectPixel(out, 200, 300, 25, 100, 200);
    // Monochrome gives Y whatever the saturation.
    s.monochrome = true;
    ASSERT_TRUE(nimbus::decodeFrame(raw.bytes.data(), out.bytes.data(), s));
    expectPixel(out, 200, 300, 122, 122, 122);
    s.monochrome = false;

    // Contrast 64 halves the distance from 128: 200 -> 164, 100 -> 114, 25 -> 128 - 51 = 77.
    s.contrast = 64;
    ASSERT_TRUE(nimbus::decodeFrame(raw.bytes.data(), out.bytes.data(), s));
    expectPixel(out, 200, 300, 77, 114, 164);
    // Gamma 200 then takes square roots: 255 x sqrt(v / 255) = sqrt(255 v), so
    // sqrt(41820) = 204.499 -> 204, sqrt(29070) = 170.499 -> 170, sqrt(19635) = 140.12 -> 140.
    s.gamma = 200;
    ASSERT_TRUE(nimbus::decodeFrame(raw.bytes.data(), out.bytes.data(), s));
    expectPixel(out, 200, 300, 140, 170, 204);
}

TEST(Decode, RowsBottomUpAndMirrors) {
    // Grey mosaic: the top half 200, the bottom half 50; then left 200, right 50.
    RawFrame raw;
    for (int r = 0; r < RawFrame::kHeight; ++r)
        for (int c = 0; c < RawFrame::kWidth; ++c)
            raw.sample(r, c) = r < RawFrame::kHeight / 2 ? 200 : 50;
    Picture out;
    nimbus::PictureSettings s;
    ASSERT_TRUE(nimbus::decodeFrame(raw.bytes.data(), out.bytes.data(), s));
    expectPixel(out, 0, 100, 50, 50, 50);  // the first row in memory is the bottom row
    expectPixel(out, RawFrame::kHeight - 1, 100, 200, 200, 200);
    s.mirrorVertical = true;
    ASSERT_TRUE(nimbus::decodeFrame(raw.bytes.data(), out.bytes.data(), s));
    expectPixel(out, 0, 100, 200, 200, 200);
    expectPixel(out, RawFrame::kHeight - 1, 100, 50, 50, 50);

    for (int r = 0; r < RawFrame::kHeight; ++r)
        for (int c = 0; c < RawFrame::kWidth; ++c)
            raw.sample(r, c) = c < RawFrame::kWidth / 2 ? 200 : 50;
    s = nimbus::PictureSettings{};
    ASSERT_TRUE(nimbus::decodeFrame(raw.bytes.data(), out.bytes.data(), s));
    expectPixel(out, 10, 0, 200, 200, 200);
    expectPixel(out, 10, RawFrame::kWidth - 1, 50, 50, 50);
    s.mirrorHorizontal = true;
    ASSERT_TRUE(nimbus::decodeFrame(raw.bytes.data(), out.bytes.data(), s));
    expectPixel(out, 10, 0, 50, 50, 50);
    expectPixel(out, 10, RawFrame::kWidth - 1, 200, 200, 200);
}

TEST(Decode, DecodesInPlace) {
    RawFrame raw;
    raw.fillByColour(200, 100, 50);
    raw.bytes.resize(
        NIMBUS_DECODED_BYTES(std::size_t{RawFrame::kWidth}, std::size_t{RawFrame::kHeight}));
    ASSERT_TRUE(nimbus::decodeFrame(raw.bytes.data(), raw.bytes.data(), nimbus::PictureSettings{}));
    const std::uint8_t* px =
        raw.bytes.data() + NIMBUS_HEADER_BYTES + (100 * std::size_t{RawFrame::kWidth} + 300) * 3;
    EXPECT_EQ(px[0], 50);
    EXPECT_EQ(px[1], 100);
    EXPECT_EQ(px[2], 200);
}

TEST(Decode, RefusesHeadersThatAreNotOursAndWritesNothing) {
    auto refused = [](RawFrame& raw) {
        Picture out;
        EXPECT_FALSE(
            nimbus::decodeFrame(raw.bytes.data(), out.bytes.data(), nimbus::PictureSettings{}));
        for (std::uint8_t b : out.bytes) {
            if (b != 0xCD) {
                ADD_FAILURE() << "a refused frame wrote into the output";
                break;
            }
        }
    };
    RawFrame badMagic;
    badMagic.bytes[0] = 'X';
    refused(badMagic);

    RawFrame tooWide;  // a width that would run past the buffer
    NimbusFrameHeader h;
    std::memcpy(&h, tooWide.bytes.data(), sizeof h);
    h.width = 2584;
    std::memcpy(tooWide.bytes.data(), &h, sizeof h);
    refused(tooWide);

    RawFrame badResolution;  // the size of resolution 2, but resolution 9
    std::memcpy(&h, badResolution.bytes.data(), sizeof h);
    h.resolution = 9;
    std::memcpy(badResolution.bytes.data(), &h, sizeof h);
    refused(badResolution);

    RawFrame otherResolution;  // 632 x 472 is resolution 2 or 4, never 0
    std::memcpy(&h, otherResolution.bytes.data(), sizeof h);
    h.resolution = 0;
    std::memcpy(otherResolution.bytes.data(), &h, sizeof h);
    refused(otherResolution);
}
