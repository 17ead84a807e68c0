// Building the caller's frame from one read-out: integrity check, header, the two
// interlaced fields, the crop window and same-colour binning.
#include <gtest/gtest.h>

#include <vector>

#include "frame_builder.h"
#include "mode_geometry.h"

using namespace ostra;

namespace {

TEST(FrameIntegrity, MarkerRules) {
    std::vector<std::uint8_t> read(4096, 0);
    EXPECT_FALSE(frameIntact(read.data(), read.size(), 1)) << "no marker";
    EXPECT_TRUE(frameIntact(read.data(), read.size(), 4)) << "speed 4 frames have no header";
    std::fill_n(read.begin(), 10, 0x88);
    EXPECT_TRUE(frameIntact(read.data(), read.size(), 1));
    EXPECT_FALSE(frameIntact(read.data(), 10, 1)) << "ten bytes are too few";
    EXPECT_FALSE(frameIntact(read.data(), 0, 4));
    std::fill_n(read.begin() + 9, 1, 0x87);
    EXPECT_FALSE(frameIntact(read.data(), read.size(), 2)) << "nine marker bytes are not a marker";
    std::fill_n(read.begin(), 10, 0x88);
    // A second marker inside a block is sample data; at a block start it is a second frame.
    std::fill_n(read.begin() + 700, 10, 0x88);
    EXPECT_TRUE(frameIntact(read.data(), read.size(), 1));
    std::fill_n(read.begin() + 1536, 10, 0x88);
    EXPECT_FALSE(frameIntact(read.data(), read.size(), 1));
    EXPECT_FALSE(frameIntact(read.data(), read.size(), 4));
    // The last, partial block is not a block start that counts.
    EXPECT_TRUE(frameIntact(read.data(), 1536 + 100, 1));
}

TEST(FrameSizes, ReadRequestHoldsHeaderAndFrame) {
    const ModeGeometry& g = modeTable()[0];
    EXPECT_EQ(rawFrameBytes(g, 2), 3032u * 2180 * 2);
    // 13,219,520 bytes: 25,819 whole blocks and a spare, then the channel's block.
    EXPECT_EQ(readRequestBytes(g, 2), (25819u + 2) * 512);
    EXPECT_GE(readRequestBytes(g, 2), rawFrameBytes(g, 2) + kFrameHeaderBytes);
    for (const ModeGeometry& m : modeTable())
        for (int bps : {1, 2})
            EXPECT_GE(readRequestBytes(m, bps), rawFrameBytes(m, bps) + kFrameHeaderBytes);
    EXPECT_EQ(builtFrameBytes(modeTable()[1], 2), 3032u * 844 * 2);
}

// An interlaced read-out (with header) whose de-interlaced sample (y, x) is value(y, x).
template <typename F>
std::vector<std::uint8_t> interlaced(const ModeGeometry& g, int bps, F value) {
    std::vector<std::uint8_t> read(kFrameHeaderBytes + rawFrameBytes(g, bps), 0);
    std::fill_n(read.begin(), 10, 0x88);
    for (int k = 0; k < g.fieldPairs; ++k)
        for (int field = 0; field < 2; ++field) {
            const int y = 2 * k + field;
            const int rawRow = field == 0 ? k : g.fieldBStart + k;
            for (int x = 0; x < g.rawWidth; ++x) {
                const unsigned v = value(y, x);
                std::uint8_t* p = &read[kFrameHeaderBytes +
                                        (static_cast<std::size_t>(rawRow) * g.rawWidth + x) * bps];
                if (bps == 1) {
                    p[0] = static_cast<std::uint8_t>(v);
                } else {
                    p[0] = static_cast<std::uint8_t>(v >> 8);
                    p[1] = static_cast<std::uint8_t>(v);
                }
            }
        }
    return read;
}

unsigned sampleAt(const std::vector<std::uint8_t>& frame, const ModeGeometry& g, int bps, int row,
                  int col) {
    const std::size_t i = (static_cast<std::size_t>(row) * g.processingWidth + col) * bps;
    return bps == 1 ? frame[i] : (frame[i] << 8 | frame[i + 1]);
}

TEST(FrameBuild, DeinterlaceAndCropInModesZeroAndOne) {
    for (int mode : {0, 1}) {
        const ModeGeometry& g = modeTable()[mode];
        // 16-bit samples carry their de-interlaced row and column.
        auto read =
            interlaced(g, 2, [](int y, int x) { return static_cast<unsigned>(y * 16 + x % 16); });
        std::vector<std::uint8_t> frame(builtFrameBytes(g, 2));
        buildFrame(g, 2, true, read.data(), frame.data());
        const int dataRows = 2 * g.fieldPairs;  // 2176 in mode 0, 1000 in mode 1
        for (int row = 0; row < g.processingHeight; ++row) {
            const int y = g.cropY0 + row;
            for (int col : {0, 5, g.processingWidth - 1}) {
                const unsigned want = y < dataRows ? static_cast<unsigned>(y * 16 + col % 16) : 0u;
                ASSERT_EQ(sampleAt(frame, g, 2, row, col), want)
                    << "mode " << mode << " row " << row;
            }
        }
    }
    // Mode 1's crop is rows 158..1001: its last two rows (read-out rows 1000, 1001) are zero.
    const ModeGeometry& g1 = modeTable()[1];
    auto read = interlaced(g1, 1, [](int, int) { return 200u; });
    std::vector<std::uint8_t> frame(builtFrameBytes(g1, 1));
    buildFrame(g1, 1, true, read.data(), frame.data());
    EXPECT_EQ(sampleAt(frame, g1, 1, 841, 100), 200u);
    EXPECT_EQ(sampleAt(frame, g1, 1, 842, 100), 0u);
    EXPECT_EQ(sampleAt(frame, g1, 1, 843, 3031), 0u);
}

TEST(FrameBuild, WithoutHeaderAtSpeedFour) {
    const ModeGeometry& g = modeTable()[0];
    auto withHeader =
        interlaced(g, 1, [](int y, int x) { return static_cast<unsigned>((y + x) & 0xFF); });
    std::vector<std::uint8_t> noHeader(withHeader.begin() + kFrameHeaderBytes, withHeader.end());
    std::vector<std::uint8_t> a(builtFrameBytes(g, 1)), b(builtFrameBytes(g, 1));
    buildFrame(g, 1, true, withHeader.data(), a.data());
    buildFrame(g, 1, false, noHeader.data(), b.data());
    EXPECT_EQ(a, b);
}

// The colour phase: green at (even, even) and (odd, odd), red (even, odd), blue (odd, even).
unsigned phaseValue(int y, int x, unsigned green, unsigned red, unsigned blue) {
    if (y % 2 == x % 2) return green;
    return y % 2 == 0 ? red : blue;
}

TEST(FrameBuild, BinningSumsSameColoursAndKeepsThePhase) {
    for (int mode : {2, 3, 4}) {
        const ModeGeometry& g = modeTable()[mode];
        const unsigned n = static_cast<unsigned>(g.binning * g.binning);
        for (int bps : {1, 2}) {
            const unsigned green = bps == 1 ? 1 : 1000, red = bps == 1 ? 2 : 2000,
                           blue = bps == 1 ? 3 : 3000;
            auto read = interlaced(
                g, bps, [&](int y, int x) { return phaseValue(y, x, green, red, blue); });
            std::vector<std::uint8_t> frame(builtFrameBytes(g, bps));
            buildFrame(g, bps, true, read.data(), frame.data());
            SCOPED_TRACE(::testing::Message() << "mode " << mode << " bytes " << bps);
            // The last two output rows reach de-interlaced rows 2176 and 2177, past the
            // fields (zero rows): they sum b - 1 of their b rows.
            const unsigned partial = static_cast<unsigned>(g.binning * (g.binning - 1));
            for (int row = 0; row < g.processingHeight; ++row) {
                const unsigned factor = row < g.processingHeight - 2 ? n : partial;
                for (int col : {0, 1, 2, 3, g.processingWidth - 2, g.processingWidth - 1}) {
                    ASSERT_EQ(sampleAt(frame, g, bps, row, col),
                              factor * phaseValue(row, col, green, red, blue))
                        << row << "," << col;
                }
            }
        }
    }
}

TEST(FrameBuild, BinningPicksTheRightSamples) {
    // Mode 2, output (1, 3): rows 1 and 3, columns 4 * 1 + 1 and + 2 of the crop.
    const ModeGeometry& g = modeTable()[2];
    auto value = [](int y, int x) { return static_cast<unsigned>((y % 13) * 100 + (x % 97)); };
    auto read = interlaced(g, 2, value);
    std::vector<std::uint8_t> frame(builtFrameBytes(g, 2));
    buildFrame(g, 2, true, read.data(), frame.data());
    const int y = g.cropY0;
    EXPECT_EQ(sampleAt(frame, g, 2, 1, 3),
              value(y + 1, 5) + value(y + 1, 7) + value(y + 3, 5) + value(y + 3, 7));
    // Output row 2 starts four rows down: rows 4 and 6.
    EXPECT_EQ(sampleAt(frame, g, 2, 2, 0),
              value(y + 4, 0) + value(y + 4, 2) + value(y + 6, 0) + value(y + 6, 2));
    // Mode 4, output (3, 2): rows 9, 11, 13, 15; columns 8, 10, 12, 14.
    const ModeGeometry& g4 = modeTable()[4];
    auto read4 = interlaced(g4, 2, value);
    std::vector<std::uint8_t> frame4(builtFrameBytes(g4, 2));
    buildFrame(g4, 2, true, read4.data(), frame4.data());
    unsigned sum = 0;
    for (int r : {9, 11, 13, 15})
        for (int c : {8, 10, 12, 14}) sum += value(g4.cropY0 + r, c);
    EXPECT_EQ(sampleAt(frame4, g4, 2, 3, 2), sum);
}

TEST(FrameBuild, BinnedSumsSaturate) {
    for (int mode : {2, 4}) {
        const ModeGeometry& g = modeTable()[mode];
        auto read8 = interlaced(g, 1, [](int, int) { return 70u; });  // 4 x 70 = 280
        std::vector<std::uint8_t> f8(builtFrameBytes(g, 1));
        buildFrame(g, 1, true, read8.data(), f8.data());
        EXPECT_EQ(sampleAt(f8, g, 1, 10, 10), 255u);
        auto read16 = interlaced(g, 2, [](int, int) { return 20000u; });  // 4 x 20000 = 80000
        std::vector<std::uint8_t> f16(builtFrameBytes(g, 2));
        buildFrame(g, 2, true, read16.data(), f16.data());
        EXPECT_EQ(sampleAt(f16, g, 2, 10, 11), 65535u);
    }
}

}  // namespace
