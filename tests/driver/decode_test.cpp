// The raw frame decode: demosaic borders, tone curve, white balance, smoothing,
// mirrors, halving, edge rows and 16-bit handling, by hand-worked values and against
// a plain whole-image reference on small odd and even sizes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "bayer_demosaic.h"
#include "color_processor.h"
#include "decode_reference.h"
#include "frame_decode.h"
#include "lookup_vbmi.h"
#include "mode_geometry.h"

using namespace ostra;

namespace {

// A 4 x 4 mosaic: rows alternate green/red and blue/green.
//   10  20  30  40      G R G R
//   50  60  70  80      B G B G
//   90 100 110 120      G R G R
//  130 140 150 160      B G B G
const std::vector<std::uint8_t> kMosaic4 = {10, 20,  30,  40,  50,  60,  70,  80,
                                            90, 100, 110, 120, 130, 140, 150, 160};

struct Bgr {
    int b, g, r;
    bool operator==(const Bgr&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Bgr& p) {
    return os << "(" << p.b << "," << p.g << "," << p.r << ")";
}

template <typename Sample>
std::vector<Bgr> demosaicAll(const std::vector<Sample>& mosaic, int w, int h, int code = 6) {
    std::vector<Sample> b(w), g(w), r(w), even(w);
    columnMask(even.data(), w);
    std::vector<Bgr> out;
    for (int row = 0; row < h; ++row) {
        demosaicRow(mosaic.data(), w, h, row, code, even.data(), b.data(), g.data(), r.data());
        for (int c = 0; c < w; ++c) out.push_back({b[c], g[c], r[c]});
    }
    return out;
}

TEST(Demosaic, FourByFourThroughEveryBorderRule) {
    auto px = demosaicAll(kMosaic4, 4, 4);
    auto at = [&](int r, int c) { return px[r * 4 + c]; };
    // Corner green: one horizontal and one vertical neighbour are copied.
    EXPECT_EQ(at(0, 0), (Bgr{50, 10, 20}));
    // Red on the top edge: three direct neighbours divide by 3 (100 / 3 = 33), two
    // diagonals shift by 1.
    EXPECT_EQ(at(0, 1), (Bgr{60, 33, 20}));
    EXPECT_EQ(at(0, 2), (Bgr{70, 30, 30}));
    // Red corner: two direct neighbours, one diagonal copied.
    EXPECT_EQ(at(0, 3), (Bgr{70, 55, 40}));
    // Blue on the left edge: 160 / 3 = 53.
    EXPECT_EQ(at(1, 0), (Bgr{50, 53, 60}));
    EXPECT_EQ(at(1, 1), (Bgr{60, 60, 60}));
    // Interior blue: four of each, shifted by 2.
    EXPECT_EQ(at(1, 2), (Bgr{70, 70, 70}));
    EXPECT_EQ(at(1, 3), (Bgr{70, 80, 80}));
    // Red on the right edge: 350 / 3 = 116.
    EXPECT_EQ(at(2, 3), (Bgr{110, 116, 120}));
    EXPECT_EQ(at(3, 0), (Bgr{130, 115, 100}));
    EXPECT_EQ(at(3, 3), (Bgr{150, 160, 120}));
}

TEST(Demosaic, PatternCodesTwoAndSeven) {
    auto bgr = demosaicAll(kMosaic4, 4, 4, 6);
    auto rgb = demosaicAll(kMosaic4, 4, 4, 2);
    for (std::size_t i = 0; i < bgr.size(); ++i)
        EXPECT_EQ(rgb[i], (Bgr{bgr[i].r, bgr[i].g, bgr[i].b}));
    auto mono = demosaicAll(kMosaic4, 4, 4, 7);
    for (std::size_t i = 0; i < mono.size(); ++i)
        EXPECT_EQ(mono[i], (Bgr{kMosaic4[i], kMosaic4[i], kMosaic4[i]}));
}

TEST(Demosaic, SixteenBitSumsDoNotOverflow) {
    std::vector<std::uint16_t> m(16, 65535);
    m[5] = 0;  // the green at (1,1)
    auto px = demosaicAll(m, 4, 4);
    // Blue at (1,2): greens 65535 * 3 + 0 = 196605, shifted by 2; four red diagonals
    // sum to 262140 and shift back to 65535.
    EXPECT_EQ(px[6], (Bgr{65535, 49151, 65535}));
    // Blue at (1,0): up, down and the zero green on the right, 131070 / 3.
    EXPECT_EQ(px[4].g, 43690);
}

struct Processors {
    std::mutex lock;
    ColorProcessor8 p8{lock};
    ColorProcessor16 p16{lock};
};

// ---- Tone curve and tables -------------------------------------------------------

TEST(ToneCurve, SettingConversions) {
    EXPECT_EQ(gammaExponent(80), 1.0f);
    EXPECT_EQ(gammaExponent(150), 1.546875f);
    EXPECT_EQ(gammaExponent(20), 0.53125f);
    EXPECT_EQ(contrastFactor(0), 1.0f);
    EXPECT_FLOAT_EQ(contrastFactor(255), 3.55f);
    EXPECT_EQ(saturationFactor(128), 1.0f);
    EXPECT_EQ(gainFactor(64), 1.0f);
}

TEST(ToneCurve, NeutralSettingsGiveEqualTablesWithFixedEnds) {
    Processors p;
    p.p8.setGamma(gammaExponent(80));
    p.p8.setContrast(contrastFactor(0));
    p.p8.setSaturation(saturationFactor(128));
    p.p8.setGains(gainFactor(64), gainFactor(64), gainFactor(64));
    EXPECT_EQ(p.p8.table(1)[0], 0);
    EXPECT_EQ(p.p8.table(1)[255], 255);
    EXPECT_EQ(std::memcmp(p.p8.table(0), p.p8.table(1), 256), 0);
    EXPECT_EQ(std::memcmp(p.p8.table(2), p.p8.table(1), 256), 0);
    EXPECT_EQ(p.p16.table(1)[0], 0);
    EXPECT_EQ(p.p16.table(1)[65535], 65535);
}

TEST(ToneCurve, GammaEndsOfItsRange) {
    Processors p;
    // 128 / 255 = 0.50196; 0.50196 ^ 1.546875 * 255 = 87.8 and ^ 0.53125 * 255 = 176.8.
    p.p8.setGamma(gammaExponent(150));
    EXPECT_EQ(p.p8.table(1)[128], 87);
    EXPECT_EQ(p.p8.table(1)[64], 30);
    p.p8.setGamma(gammaExponent(20));
    EXPECT_EQ(p.p8.table(1)[128], 176);
    EXPECT_EQ(p.p8.table(1)[64], 122);
    EXPECT_EQ(p.p8.table(1)[255], 255);
}

TEST(ToneCurve, ContrastPivotsAboutHalfScale) {
    Processors p;
    p.p8.setContrast(contrastFactor(255));
    const std::uint8_t* t = p.p8.table(1);
    // ((i / 255 - 0.5) * 3.55 + 0.5) * 255: 100 -> 29.9, 127 -> 125.7, 128 -> 129.3.
    EXPECT_EQ(t[50], 0);
    EXPECT_EQ(t[100], 29);
    EXPECT_EQ(t[127], 125);
    EXPECT_EQ(t[128], 129);
    EXPECT_EQ(t[200], 255);
}

TEST(ToneCurve, SettersClamp) {
    Processors p;
    p.p8.setContrast(9.0f);
    EXPECT_FLOAT_EQ(p.p8.contrast(), 3.55f);
    p.p8.setGamma(-1.0f);
    EXPECT_EQ(p.p8.gamma(), 0.0f);
    p.p8.setSaturation(3.0f);
    EXPECT_EQ(p.p8.saturationFixed(), 131072);
    p.p8.setSaturation(saturationFactor(255));
    EXPECT_EQ(p.p8.saturationFixed(), 130560);
    EXPECT_FALSE(p.p8.setPatternCode(0));
    EXPECT_FALSE(p.p8.setPatternCode(8));
    EXPECT_TRUE(p.p8.setPatternCode(7));
}

TEST(ToneCurve, GainsScaleTowardOneWithSaturation) {
    Processors p;
    p.p8.setGains(2.0f, 1.0f, 0.5f);  // blue, green, red
    p.p8.setSaturation(0.5f);         // factor = 1 - s + s * g: 1.5, 1.0, 0.75
    p.p8.setContrast(1.0f);
    const std::uint8_t* tone = p.p8.table(1);
    EXPECT_EQ(p.p8.table(0)[100], tone[150]);
    EXPECT_EQ(p.p8.table(2)[100], tone[75]);
    EXPECT_EQ(p.p8.table(0)[200], tone[255]);  // 300 clamps to full scale
    p.p8.setSaturation(0.0f);
    EXPECT_EQ(std::memcmp(p.p8.table(0), p.p8.table(2), 256), 0);
}

// ---- White balance -------------------------------------------------------------

template <typename Sample>
std::vector<Sample> uniformMosaic(int w, int h, int green, int blue, int red) {
    std::vector<Sample> m(static_cast<std::size_t>(w) * h);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
            m[r * w + c] = static_cast<Sample>((r % 2) == (c % 2) ? green : (r % 2 ? blue : red));
    return m;
}

TEST(WhiteBalance, EachProcessorClampsItsGains) {
    // Blue twice green and red a fifth of green: gains 0.5 and 5.
    Processors p;
    const int w = 20, h = 16;
    FrameLayout layout{w, h, w, h, false, false};
    std::vector<std::uint8_t> out(w * h * 6);

    p.p8.setSize(w, h);
    auto m8 = uniformMosaic<std::uint8_t>(w, h, 50, 100, 10);
    p.p8.setWhiteBalancePending(true);
    ASSERT_TRUE(p.p8.process(m8.data(), out.data(), layout, false));
    EXPECT_FALSE(p.p8.whiteBalancePending());
    float b, g, r;
    p.p8.gains(b, g, r);
    EXPECT_EQ(b, 1.0f);
    EXPECT_EQ(g, 1.0f);
    EXPECT_EQ(r, 2.0f);
    p.p8.channelMeans(b, g, r);
    EXPECT_FLOAT_EQ(b, 100.0f);
    EXPECT_FLOAT_EQ(g, 50.0f);
    EXPECT_FLOAT_EQ(r, 10.0f);

    p.p16.setSize(w, h);
    auto m16 = uniformMosaic<std::uint16_t>(w, h, 50 * 256, 100 * 256, 10 * 256);
    p.p16.setWhiteBalancePending(true);
    ASSERT_TRUE(p.p16.process(m16.data(), out.data(), layout, false));
    p.p16.gains(b, g, r);
    EXPECT_FLOAT_EQ(b, 0.5f);
    EXPECT_EQ(r, 3.5f);
}

TEST(WhiteBalance, DarkChannelsCountAsOne) {
    Processors p;
    const int w = 10, h = 10;
    FrameLayout layout{w, h, w, h, false, false};
    std::vector<std::uint8_t> out(w * h * 3);
    p.p8.setSize(w, h);
    auto m = uniformMosaic<std::uint8_t>(w, h, 0, 0, 0);
    p.p8.setWhiteBalancePending(true);
    ASSERT_TRUE(p.p8.process(m.data(), out.data(), layout, false));
    float b, g, r;
    p.p8.channelMeans(b, g, r);
    EXPECT_EQ(b, 1.0f);
    p.p8.gains(b, g, r);
    EXPECT_EQ(b, 1.0f);
    EXPECT_EQ(r, 1.0f);
}

// ---- Whole decode against the plain reference ------------------------------------

struct Case {
    int w, h, bits;
    bool halve, rotate, mirror, balance, to8;
    std::int32_t saturationByte;
    int pattern;
};

void runAgainstReference(const Case& k, std::mt19937& rng) {
    SCOPED_TRACE(::testing::Message()
                 << k.w << "x" << k.h << " bits " << k.bits << " halve " << k.halve << " rot "
                 << k.rotate << " lr " << k.mirror << " wb " << k.balance << " to8 " << k.to8
                 << " sat " << k.saturationByte << " code " << k.pattern);
    const int maxv = k.bits == 8 ? 255 : 65535;
    std::uniform_int_distribution<int> dist(0, maxv);
    std::vector<int> mosaic(static_cast<std::size_t>(k.w) * k.h);
    for (int& v : mosaic) v = dist(rng);

    Processors p;
    const int gammaValue = 60 + static_cast<int>(rng() % 60),
              contrastValue = static_cast<int>(rng() % 120);
    reference::Settings s;
    s.bits = k.bits;
    s.gamma = gammaExponent(gammaValue);
    s.contrast = contrastFactor(contrastValue);
    s.saturation = static_cast<std::int32_t>(saturationFactor(k.saturationByte) * 65536.0f);
    s.gainB = gainFactor(80), s.gainG = gainFactor(64), s.gainR = gainFactor(50);
    s.balancePending = k.balance;
    s.patternCode = k.pattern;
    auto configure = [&](auto& proc) {
        proc.setGamma(s.gamma);
        proc.setContrast(s.contrast);
        proc.setSaturation(saturationFactor(k.saturationByte));
        proc.setGains(s.gainB, s.gainG, s.gainR);
        ASSERT_TRUE(proc.setSize(k.w, k.h));
        ASSERT_TRUE(proc.setPatternCode(k.pattern));
    };
    configure(p.p8);
    configure(p.p16);

    reference::Frame f{k.w, k.h, k.halve ? k.w / 2 : k.w, k.h, k.rotate, k.mirror};
    FrameLayout layout{f.width, f.height, f.outputWidth, f.outputHeight, k.rotate, k.mirror};

    // Raw bytes as the camera hands them: 16-bit big-endian.
    std::vector<std::uint8_t> raw;
    for (int v : mosaic) {
        if (k.bits == 16) raw.push_back(static_cast<std::uint8_t>(v >> 8));
        raw.push_back(static_cast<std::uint8_t>(v));
    }
    if (k.balance && k.bits == 8) p.p8.setWhiteBalancePending(true);
    if (k.balance && k.bits == 16) p.p16.setWhiteBalancePending(true);

    const std::size_t bytes = decodedBytes(layout, k.bits / 8, k.to8);
    std::vector<std::uint8_t> out(bytes + 16, 0xA5);
    ASSERT_TRUE(
        decodeFrame(p.lock, p.p8, p.p16, k.bits / 8, layout, raw.data(), out.data(), k.to8));
    for (std::size_t i = bytes; i < out.size(); ++i)
        ASSERT_EQ(out[i], 0xA5) << "wrote past the picture";
    out.resize(bytes);

    auto expected = reference::decode(mosaic, f, s, k.to8);
    ASSERT_EQ(expected.size(), out.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out[i] != expected[i]) {
            const std::size_t sample = k.bits == 16 && !k.to8 ? 2 : 1;
            const std::size_t pixel = i / (3 * sample);
            FAIL() << "first difference at byte " << i << " (row " << pixel / f.outputWidth
                   << ", column " << pixel % f.outputWidth << "): " << int(out[i])
                   << " != " << int(expected[i]);
        }
    }
    if (k.balance) {
        float b, g, r;
        if (k.bits == 8) {
            p.p8.gains(b, g, r);
        } else {
            p.p16.gains(b, g, r);
        }
        EXPECT_EQ(b, s.gainB);
        EXPECT_EQ(r, s.gainR);
    }
    // The caller's raw buffer is left in host order, all W x H samples of it.
    if (k.bits == 16) {
        for (std::size_t i = 0; i < mosaic.size(); ++i) {
            std::uint16_t v;
            std::memcpy(&v, raw.data() + 2 * i, 2);
            ASSERT_EQ(v, mosaic[i]) << "sample " << i << " not swapped";
        }
    }
}

TEST(DecodeReference, SmallOddAndEvenSizesAllMirrors) {
    std::mt19937 rng(7);
    const std::pair<int, int> sizes[] = {{2, 2}, {3, 3}, {4, 4}, {5, 4}, {4, 5},
                                         {6, 6}, {7, 7}, {8, 3}, {3, 8}};
    for (auto [w, h] : sizes)
        for (int bits : {8, 16})
            for (int mirrors = 0; mirrors < 4; ++mirrors)
                runAgainstReference({w, h, bits, false, (mirrors & 1) != 0, (mirrors & 2) != 0,
                                     false, false, 128, 6},
                                    rng);
}

TEST(DecodeReference, EdgeRowsHalvingAndSaturation) {
    std::mt19937 rng(11);
    for (auto [w, h] : {std::pair{16, 15}, std::pair{18, 16}, std::pair{20, 22}, std::pair{33, 24}})
        for (int bits : {8, 16})
            for (int mirrors = 0; mirrors < 4; ++mirrors)
                for (int sat : {0, 128, 200, 255}) {
                    const bool halve = w % 2 == 0 && sat == 200;
                    runAgainstReference({w, h, bits, halve, (mirrors & 1) != 0, (mirrors & 2) != 0,
                                         false, false, sat, 6},
                                        rng);
                }
}

TEST(DecodeReference, WhiteBalanceTo8AndPatternCodes) {
    std::mt19937 rng(13);
    for (int mirrors = 0; mirrors < 4; ++mirrors) {
        const bool rot = (mirrors & 1) != 0, lr = (mirrors & 2) != 0;
        runAgainstReference({24, 18, 8, false, rot, lr, true, false, 160, 6}, rng);
        runAgainstReference({24, 18, 16, false, rot, lr, true, false, 160, 6}, rng);
        runAgainstReference({24, 18, 16, true, rot, lr, false, true, 100, 6}, rng);
        runAgainstReference({24, 18, 16, false, rot, lr, false, true, 0, 6}, rng);
        runAgainstReference({17, 16, 8, false, rot, lr, false, false, 128, 2}, rng);
        runAgainstReference({17, 16, 16, false, rot, lr, false, false, 140, 7}, rng);
    }
}

TEST(DecodeReference, WideRowsThroughEveryLookupPath) {
    // Rows long enough for the vector lookups (64 pixels at a time) and their tails.
    std::mt19937 rng(19);
    for (bool vector : {true, false}) {
        setVbmiEnabled(vector);
        for (int w : {64, 130, 197, 258})
            for (int mirrors = 0; mirrors < 4; ++mirrors)
                for (int bits : {8, 16})
                    runAgainstReference(
                        {w, 16, bits, w % 2 == 0 && mirrors == 1, (mirrors & 1) != 0,
                         (mirrors & 2) != 0, false, bits == 16, 170, 6},
                        rng);
    }
    setVbmiEnabled(true);
}

TEST(DecodeReference, BothThreadsGiveTheSamePicture) {
    std::mt19937 rng(17);
    const int w = 64, h = 200;
    std::vector<std::uint8_t> raw(w * h);
    for (auto& v : raw) v = static_cast<std::uint8_t>(rng());
    FrameLayout layout{w, h, w, h, true, false};
    std::vector<std::uint8_t> one(w * h * 3), two(w * h * 3);
    Processors p;
    p.p8.setSize(w, h);
    p.p8.setGamma(0.7f);
    ASSERT_TRUE(p.p8.process(raw.data(), one.data(), layout, false));
    p.p8.setThreads(2);
    ASSERT_TRUE(p.p8.process(raw.data(), two.data(), layout, false));
    EXPECT_EQ(one, two);
}

TEST(DecodeThreads, SettersWhileAnotherThreadDecodes) {
    // The tables are rebuilt under the decode lock: a decode sees either the old or
    // the new tables, so every picture equals one decoded with a single setting.
    const int w = 96, h = 160;
    std::mt19937 rng(23);
    std::vector<std::uint8_t> raw(w * h);
    for (auto& v : raw) v = static_cast<std::uint8_t>(rng());
    FrameLayout layout{w, h, w, h, false, false};
    auto pictureWith = [&](float gamma) {
        Processors p;
        p.p8.setSize(w, h);
        p.p8.setGamma(gamma);
        std::vector<std::uint8_t> out(w * h * 3);
        p.p8.process(raw.data(), out.data(), layout, false);
        return out;
    };
    const auto dark = pictureWith(1.5f), bright = pictureWith(0.6f);

    Processors p;
    p.p8.setSize(w, h);
    p.p8.setThreads(2);
    p.p8.setGamma(1.5f);
    std::atomic<bool> done{false};
    std::thread setter([&] {
        for (int i = 0; i < 200; ++i) p.p8.setGamma(i % 2 ? 0.6f : 1.5f);
        done = true;
    });
    int decodes = 0;
    std::vector<std::uint8_t> out(w * h * 3);
    while (!done || decodes < 20) {
        std::vector<std::uint8_t> copy = raw;
        ASSERT_TRUE(decodeFrame(p.lock, p.p8, p.p16, 1, layout, copy.data(), out.data(), false));
        ASSERT_TRUE(out == dark || out == bright) << "a decode saw tables half rebuilt";
        ++decodes;
    }
    setter.join();
}

// ---- Properties of the finished picture ------------------------------------------

TEST(DecodePicture, MonochromeHasEqualChannels) {
    std::mt19937 rng(3);
    const int w = 40, h = 30;
    Processors p;
    p.p16.setSize(w, h);
    p.p16.setGains(1.8f, 1.0f, 0.6f);
    p.p16.setSaturation(0.0f);
    std::vector<std::uint8_t> raw(w * h * 2), out(w * h * 6);
    for (auto& v : raw) v = static_cast<std::uint8_t>(rng());
    FrameLayout layout{w, h, w, h, false, true};
    ASSERT_TRUE(decodeFrame(p.lock, p.p8, p.p16, 2, layout, raw.data(), out.data(), false));
    const auto* px = reinterpret_cast<const std::uint16_t*>(out.data());
    for (int i = 0; i < w * h; ++i) {
        ASSERT_EQ(px[3 * i], px[3 * i + 1]);
        ASSERT_EQ(px[3 * i], px[3 * i + 2]);
    }
}

TEST(DecodePicture, FirstAndLastSevenRowsRepeatRowsSevenAndHoMinusEight) {
    std::mt19937 rng(5);
    const int w = 30, h = 40;
    Processors p;
    p.p8.setSize(w, h);
    std::vector<std::uint8_t> raw(w * h), out(w * h * 3);
    for (auto& v : raw) v = static_cast<std::uint8_t>(rng());
    FrameLayout layout{w, h, w, h, false, false};
    ASSERT_TRUE(decodeFrame(p.lock, p.p8, p.p16, 1, layout, raw.data(), out.data(), false));
    const std::size_t row = w * 3;
    for (int r = 0; r < 7; ++r) EXPECT_EQ(std::memcmp(&out[r * row], &out[7 * row], row), 0) << r;
    for (int r = h - 7; r < h; ++r)
        EXPECT_EQ(std::memcmp(&out[r * row], &out[(h - 8) * row], row), 0) << r;
    EXPECT_NE(std::memcmp(&out[7 * row], &out[8 * row], row), 0);
}

TEST(DecodePicture, SixteenBitOutputIsLittleEndianAndTo8KeepsTheHighByte) {
    std::mt19937 rng(9);
    const int w = 24, h = 20;
    Processors p;
    p.p16.setSize(w, h);
    p.p16.setGamma(0.8f);
    std::vector<std::uint8_t> raw(w * h * 2);
    for (auto& v : raw) v = static_cast<std::uint8_t>(rng());
    auto raw2 = raw;
    FrameLayout layout{w, h, w / 2, h, false, false};
    std::vector<std::uint8_t> wide(decodedBytes(layout, 2, false)),
        narrow(decodedBytes(layout, 2, true));
    EXPECT_EQ(wide.size(), 2 * narrow.size());
    ASSERT_TRUE(decodeFrame(p.lock, p.p8, p.p16, 2, layout, raw.data(), wide.data(), false));
    ASSERT_TRUE(decodeFrame(p.lock, p.p8, p.p16, 2, layout, raw2.data(), narrow.data(), true));
    for (std::size_t i = 0; i < narrow.size(); ++i) ASSERT_EQ(narrow[i], wide[2 * i + 1]) << i;
}

TEST(DecodePicture, To8WithEightBitDataChangesNothing) {
    const int w = 16, h = 16;
    Processors p;
    p.p8.setSize(w, h);
    std::vector<std::uint8_t> raw(w * h, 77), a(w * h * 3), b(w * h * 3);
    FrameLayout layout{w, h, w, h, false, false};
    EXPECT_EQ(decodedBytes(layout, 1, true), decodedBytes(layout, 1, false));
    ASSERT_TRUE(decodeFrame(p.lock, p.p8, p.p16, 1, layout, raw.data(), a.data(), true));
    ASSERT_TRUE(decodeFrame(p.lock, p.p8, p.p16, 1, layout, raw.data(), b.data(), false));
    EXPECT_EQ(a, b);
}

TEST(DecodePicture, MismatchedLayoutLeavesTheOutputAlone) {
    Processors p;
    p.p8.setSize(8, 8);
    std::vector<std::uint8_t> raw(16 * 16, 1), out(16 * 16 * 3, 0x5A);
    FrameLayout layout{16, 16, 16, 16, false, false};
    EXPECT_FALSE(decodeFrame(p.lock, p.p8, p.p16, 1, layout, raw.data(), out.data(), false));
    for (auto v : out) ASSERT_EQ(v, 0x5A);
}

// ---- Mode geometry -----------------------------------------------------------------

TEST(ModeGeometry, TableOfFiveModes) {
    const auto& t = modeTable();
    EXPECT_EQ(t[0].processingWidth * t[0].processingHeight, 3032 * 2018);
    EXPECT_TRUE(t[1].halvesWidth());
    EXPECT_EQ(t[1].fieldBStart, 588);
    EXPECT_EQ(t[1].fieldPairs, 500);
    EXPECT_EQ(t[0].fieldBStart, 1092);
    EXPECT_EQ(t[0].fieldPairs, 1088);
    for (int m = 0; m < kModeCount; ++m) {
        const ModeGeometry& g = t[m];
        if (m != 1) {
            EXPECT_FALSE(g.halvesWidth()) << m;
        }
        EXPECT_EQ(g.outputHeight, g.processingHeight) << m;
        // Cropped and binned, the window holds the processing size (mode 2 drops
        // the last of its 1009 binned rows).
        EXPECT_EQ((g.cropY1 - g.cropY0) / g.binning - (m == 2 ? 1 : 0), g.processingHeight) << m;
        EXPECT_EQ((g.cropX1 - g.cropX0) / g.binning, g.processingWidth) << m;
    }
    EXPECT_EQ(modeGeometry(5), nullptr);
    EXPECT_EQ(modeGeometry(-1), nullptr);
}

TEST(Mirror, BytesFromFlags) {
    bool rot, lr;
    mirrorBytes(true, false, rot, lr);
    EXPECT_TRUE(!rot && lr);
    mirrorBytes(false, true, rot, lr);
    EXPECT_TRUE(rot && lr);
    mirrorBytes(true, true, rot, lr);
    EXPECT_TRUE(rot && !lr);
    mirrorBytes(false, false, rot, lr);
    EXPECT_TRUE(!rot && !lr);
}

}  // namespace
