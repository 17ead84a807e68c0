// FITS saves of buffered frames: the stored mosaic under the crop, mapped back through
// the mirrors, read back with cfitsio; and the Bayer pattern proved by demosaicking the
// file by its own BAYERPAT with OpenCV against the driver's decode of the same frame,
// in every mirror setting and for odd crop offsets, where each wrong pattern fails.
#include <fitsio.h>

#include <array>
#include <cmath>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "file_text.h"
#include "frame_list_test_support.h"
#include "kd_frame_info.h"
#include "nimbus.h"

namespace {

using namespace frame_list_test;

constexpr int kMode = 4;  // 756 x 504, one mosaic sample a pixel
// A scene of three different colour planes, each sloping its own way so that a cut
// from the wrong place shows: a wrong pattern swaps or mixes the planes and is far off;
// the two demosaic methods differ only slightly.
int sceneValue(int channel, int x, int y) {
    const int base[3] = {40, 110, 190};  // blue, green, red
    const int slope[3] = {x / 24, y / 16, (x + y) / 40};
    return base[channel] + slope[channel];
}

// The sensor's mosaic: green at (0, 0) and (1, 1), red at (0, 1), blue at (1, 0).
std::vector<std::uint8_t> sceneMosaic(int width, int height) {
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int channel = (x + y) % 2 == 0 ? 1 : (y % 2 == 0 ? 2 : 0);
            raw[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint8_t>(sceneValue(channel, x, y));
        }
    return raw;
}

struct FitsPicture {
    int width = 0, height = 0, bitpix = 0;
    std::vector<std::uint16_t> samples;
    std::string bayer;
    double exposure = 0;
    long gain = 0, combined = 0, xOffset = -1, yOffset = -1;
};

FitsPicture readFits(const std::string& path) {
    FitsPicture p;
    fitsfile* file = nullptr;
    int status = 0;
    if (fits_open_file(&file, path.c_str(), READONLY, &status)) {
        ADD_FAILURE() << "cfitsio cannot open " << path << " (" << status << ")";
        return p;
    }
    long sides[2] = {0, 0};
    int axes = 0;
    fits_get_img_param(file, 2, &p.bitpix, &axes, sides, &status);
    fits_get_img_equivtype(file, &p.bitpix, &status);  // 16 bits with BZERO read unsigned
    p.width = static_cast<int>(sides[0]);
    p.height = static_cast<int>(sides[1]);
    p.samples.resize(static_cast<std::size_t>(sides[0] * sides[1]));
    long first[2] = {1, 1};
    fits_read_pix(file, TUSHORT, first, static_cast<LONGLONG>(p.samples.size()), nullptr,
                  p.samples.data(), nullptr, &status);
    char text[FLEN_VALUE] = "";
    fits_read_key(file, TSTRING, "BAYERPAT", text, nullptr, &status);
    p.bayer = text;
    fits_read_key(file, TDOUBLE, "EXPTIME", &p.exposure, nullptr, &status);
    fits_read_key(file, TLONG, "GAIN", &p.gain, nullptr, &status);
    fits_read_key(file, TLONG, "XBAYROFF", &p.xOffset, nullptr, &status);
    fits_read_key(file, TLONG, "YBAYROFF", &p.yOffset, nullptr, &status);
    int optional = 0;
    p.combined = 1;
    fits_read_key(file, TLONG, "NCOMBINE", &p.combined, nullptr, &optional);
    fits_close_file(file, &status);
    EXPECT_EQ(status, 0) << "cfitsio reading " << path;
    return p;
}

// OpenCV names a pattern by its second row's first two colours.
int openCvCode(const std::string& pattern) {
    if (pattern == "GRBG") return cv::COLOR_BayerGB2BGR;
    if (pattern == "RGGB") return cv::COLOR_BayerBG2BGR;
    if (pattern == "GBRG") return cv::COLOR_BayerGR2BGR;
    if (pattern == "BGGR") return cv::COLOR_BayerRG2BGR;
    ADD_FAILURE() << "no such pattern: " << pattern;
    return cv::COLOR_BayerGB2BGR;
}

// The file's mosaic demosaicked by `pattern`, turned the way the decode shows it: the
// unmirrored picture is the mosaic as read; each mirror turns its axis over.
cv::Mat demosaicUpright(const FitsPicture& p, const std::string& pattern, bool horizontal,
                        bool vertical) {
    cv::Mat mosaic(p.height, p.width, CV_8UC1);
    for (int i = 0; i < p.width * p.height; ++i) mosaic.data[i] = static_cast<uchar>(p.samples[i]);
    cv::Mat bgr;
    cv::cvtColor(mosaic, bgr, openCvCode(pattern));
    if (vertical) cv::flip(bgr, bgr, 0);
    if (horizontal) cv::flip(bgr, bgr, 1);
    return bgr;
}

// The decode's tone curve per channel at the settings in force (the black level taken
// off, the gamma table): read from the driver's decode of flat 16 x 16 blocks of every
// value, whose centres any demosaic leaves at the block's value.
using ToneCurves = std::array<std::array<std::uint8_t, 256>, 3>;
ToneCurves toneCurves(const CameraRecord& picture) {
    constexpr int kBlock = 16;
    CameraRecord record = picture;
    setCrop(record, 0, 0, record.image_width, record.image_height);
    const int width = record.image_width, height = record.image_height;
    const int across = width / kBlock;
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(width) * height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            raw[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint8_t>(std::min(255, (y / kBlock) * across + x / kBlock));
    EXPECT_GE((height / kBlock) * across, 256);
    const auto decoded = expectedCrop<std::uint8_t>(record, raw);  // unmirrored: as the mosaic
    ToneCurves curves{};
    for (int value = 0; value < 256; ++value) {
        const int x = (value % across) * kBlock + kBlock / 2;
        const int y = (value / across) * kBlock + kBlock / 2;
        for (int c = 0; c < 3; ++c)
            curves[c][value] = decoded[(static_cast<std::size_t>(y) * width + x) * 3 + c];
    }
    return curves;
}

void applyTone(cv::Mat& bgr, const ToneCurves& curves) {
    for (int y = 0; y < bgr.rows; ++y)
        for (int x = 0; x < bgr.cols * 3; ++x)
            bgr.ptr<uchar>(y)[x] = curves[x % 3][bgr.ptr<uchar>(y)[x]];
}

// The largest per-channel mean absolute difference away from a 2-pixel border, where
// the two demosaic methods treat the edge each its own way.
double worstChannelError(const cv::Mat& bgr, const std::vector<std::uint8_t>& expected) {
    double worst = 0;
    for (int c = 0; c < 3; ++c) {
        double sum = 0;
        long count = 0;
        for (int y = 2; y < bgr.rows - 2; ++y)
            for (int x = 2; x < bgr.cols - 2; ++x) {
                const std::size_t at = (static_cast<std::size_t>(y) * bgr.cols + x) * 3 + c;
                sum += std::abs(int{bgr.ptr<uchar>(y)[x * 3 + c]} - int{expected[at]});
                ++count;
            }
        worst = std::max(worst, sum / static_cast<double>(count));
    }
    return worst;
}

class FrameFits : public ::testing::Test {
  protected:
    void SetUp() override {
        Mes_ClearBuffList(nullptr);
        Mes_AutoLevels(0);
        Mes_SetLevelsValues(0, 255);
    }
    void TearDown() override {
        Mes_ClearBuffList(nullptr);
        OstraIICameraSetMirror(0, 0);
        OstraIICameraSetMirror(1, 0);
    }

    // Neutral picture settings and no mirrors (the settings persist from run to run),
    // so that the decode is a demosaic and a tone curve.
    static void neutral() {
        ASSERT_EQ(OstraIICameraSetMirror(0, 0), 1);
        ASSERT_EQ(OstraIICameraSetMirror(1, 0), 1);
        ASSERT_EQ(OstraIICameraSetGain(64, 64, 64), 1);
        ASSERT_EQ(OstraIICameraSetGamma(100), 1);
        ASSERT_EQ(OstraIICameraSetContrast(0), 1);
        ASSERT_EQ(OstraIICameraSetColorEnhancement(0), 1);
        ASSERT_EQ(OstraIICameraSetMonochrome(0), 1);
    }

    ScratchDirectory directory_;
};

TEST_F(FrameFits, BayerPatternDemosaicsLikeTheDriverInEveryMirrorAndCrop) {
    CameraRecord record;
    ASSERT_NO_FATAL_FAILURE(openCamera(record, kMode, false));
    ASSERT_NO_FATAL_FAILURE(neutral());
    const ToneCurves curves = toneCurves(record);
    const auto raw = sceneMosaic(record.image_width, record.image_height);
    auto demosaicked = [&](const FitsPicture& p, const std::string& pattern, int h, int v) {
        cv::Mat bgr = demosaicUpright(p, pattern, h != 0, v != 0);
        applyTone(bgr, curves);
        return bgr;
    };
    const std::array<const char*, 4> patterns = {"RGGB", "GRBG", "GBRG", "BGGR"};
    // Even and odd offsets on both axes, and a crop against the far edges.
    const int crops[][4] = {
        {0, 0, 756, 504}, {11, 7, 91, 67}, {10, 9, 70, 49}, {697, 445, 756, 504}};
    int file = 0;
    for (int h = 0; h < 2; ++h) {
        for (int v = 0; v < 2; ++v) {
            ASSERT_EQ(OstraIICameraSetMirror(0, h), 1);
            ASSERT_EQ(OstraIICameraSetMirror(1, v), 1);
            record.mirror_1 = h;
            record.mirror_2 = v;
            Mes_ClearBuffList(nullptr);
            auto snapped = raw;
            ASSERT_EQ(Mes_SnapToBuffList(&record, snapped.data(), 0), 1);
            for (const auto& c : crops) {
                SCOPED_TRACE(testing::Message() << "mirror " << h << v << " crop " << c[0] << ","
                                                << c[1] << " to " << c[2] << "," << c[3]);
                setCrop(record, c[0], c[1], c[2], c[3]);
                record.save_format = KD_SAVE_FITS;
                const std::string base = directory_ / ("f" + std::to_string(file++));
                ASSERT_EQ(Mes_SaveBuffList(&record, base.c_str(), 1), 1);
                const FitsPicture p = readFits(base + ".fits");
                ASSERT_EQ(p.width, c[2] - c[0]);
                ASSERT_EQ(p.height, c[3] - c[1]);
                EXPECT_EQ(p.bitpix, BYTE_IMG);
                EXPECT_EQ(p.xOffset, 0);
                EXPECT_EQ(p.yOffset, 0);
                const auto expected = expectedCrop<std::uint8_t>(record, raw);
                const double right = worstChannelError(demosaicked(p, p.bayer, h, v), expected);
                EXPECT_LT(right, 3.0) << "demosaicked by its own " << p.bayer;
                for (const char* wrong : patterns) {
                    if (p.bayer == wrong) continue;
                    EXPECT_GT(worstChannelError(demosaicked(p, wrong, h, v), expected), 10.0)
                        << wrong << " passes as well as " << p.bayer;
                }
            }
        }
    }
}

// The samples are the stored frame's own, and the keywords what the list kept.
TEST_F(FrameFits, SixteenBitSamplesAndTheKeptInformation) {
    CameraRecord record;
    ASSERT_NO_FATAL_FAILURE(openCamera(record, kMode, true));
    const int width = record.image_width;
    const int height = record.image_height;
    // 12-bit values at the top of big-endian words, as the camera sends them.
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(width) * height * 2);
    auto value = [](int x, int y) { return static_cast<unsigned>((x * 7 + y * 13) % 4096); };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            putPacked(&raw[(std::size_t(y) * width + x) * 2], value(x, y));
    const KdFrameInfo first{1'796'770'000'000'000, 0.75, 321, kMode, 1, 1};
    const KdFrameInfo second{1'796'770'010'000'000, 1.25, 321, kMode, 1, 1};
    auto a = raw, b = std::vector<std::uint8_t>(raw.size(), 0);
    ASSERT_EQ(CorvalisKdSnapToBuffList(&record, a.data(), 0, &first), 1);
    ASSERT_EQ(CorvalisKdSnapToBuffList(&record, b.data(), 1, &second), 1);  // adds zeros

    record.mirror_1 = 1;  // columns turned over: the crop's left edge is the mosaic's right
    setCrop(record, 3, 4, 23, 14);
    std::snprintf(record.file_name, sizeof record.file_name, "M 42");
    record.save_format = KD_SAVE_FITS;
    const std::string base = directory_ / "wide";
    ASSERT_EQ(Mes_SaveBuffList(&record, base.c_str(), 2), 1);
    const FitsPicture p = readFits(base + ".fits");
    ASSERT_EQ(p.width, 20);
    ASSERT_EQ(p.height, 10);
    EXPECT_EQ(p.bitpix, USHORT_IMG);
    // Sensor columns 756 - 23 = 733 .. 752, rows 4 .. 13.
    int wrong = 0;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            wrong += p.samples[static_cast<std::size_t>(y) * 20 + x] != value(733 + x, 4 + y) << 4;
    EXPECT_EQ(wrong, 0);
    // Offset (733, 4): odd column, even row of GRBG starts on red.
    EXPECT_EQ(p.bayer, "RGGB");
    EXPECT_DOUBLE_EQ(p.exposure, 2.0);
    EXPECT_EQ(p.combined, 2);
    EXPECT_EQ(p.gain, 321);
    const std::string header = readText(base + ".fits").substr(0, 2880 * 2);
    EXPECT_NE(header.find("2026-12-08T"), std::string::npos) << "DATE-OBS of the first start";
    EXPECT_NE(header.find("'M 42"), std::string::npos);
    EXPECT_NE(header.find("'Corvalis 2.7"), std::string::npos);
}

TEST_F(FrameFits, ASecondFamilyFrameIsRefused) {
    CameraRecord record = makeRecord(KD_FAMILY_NIMBUS, 4, 4, false);
    std::vector<std::uint8_t> raw(NIMBUS_HEADER_BYTES + 4 * 4 * 2, 0);
    Mes_SnapToBuffList(&record, raw.data(), 0);  // kept, though nothing decodes it here
    KdFrameInfo info{};
    ASSERT_EQ(CorvalisKdListFrameInfo(&record, 1, &info), 1);
    record.save_format = KD_SAVE_FITS;
    const std::string base = directory_ / "nimbus";
    EXPECT_EQ(Mes_SaveBuffList(&record, base.c_str(), 1), 0);
    EXPECT_FALSE(std::filesystem::exists(base + ".fits"));
}

}  // namespace
