// FITS and SER files as astronomy programs read them: FITS read back with cfitsio and
// with astropy (a reader that is not ours), SER checked byte by byte against values
// worked out by hand, and both cut short by a size limit that stands in for a full disk.
#include <fitsio.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/bayer_pattern.h"
#include "common/fits_file.h"
#include "common/ser_file.h"
#include "file_size_limit.h"
#include "file_text.h"
#include "scratch_directory.h"

namespace fs = std::filesystem;
using corvalis::BayerPattern;
using corvalis::FitsFrameInfo;
using corvalis::SerWriter;
using Clock = std::chrono::system_clock;

namespace {

std::int64_t le(const std::vector<std::uint8_t>& bytes, std::size_t at, int width) {
    std::uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = value << 8 | bytes.at(at + i);
    return width == 4 ? static_cast<std::int32_t>(value) : static_cast<std::int64_t>(value);
}

// 2000-01-01T00:00:00Z is 946 684 800 s after 1970 and 630 822 816 000 000 000 ticks
// of 100 ns after 0001-01-01 (730 119 days of 864 000 000 000 ticks).
const Clock::time_point kY2k = Clock::from_time_t(946684800);
constexpr std::int64_t kY2kTicks = 630822816000000000LL;

class AstroFiles : public ::testing::Test {
  protected:
    ScratchDirectory scratch_{"astro"};
    const fs::path& dir_ = scratch_.path();
};

}  // namespace

TEST(BayerPatternTest, CropsAndFlipsMoveThePattern) {
    const BayerPattern grbg = BayerPattern::GRBG;
    // An odd column start moves the first pixel onto red, an odd row onto blue.
    EXPECT_EQ(grbg.shifted(1, 0), BayerPattern::RGGB);
    EXPECT_EQ(grbg.shifted(0, 1), BayerPattern::BGGR);
    EXPECT_EQ(grbg.shifted(1, 1), BayerPattern::GBRG);
    EXPECT_EQ(grbg.shifted(2, 4), BayerPattern::GRBG);
    // Mirrored, a 3032-pixel row ends on red, a 1515-pixel one on green.
    EXPECT_EQ(grbg.flipped(true, false, 3032, 2018), BayerPattern::RGGB);
    EXPECT_EQ(grbg.flipped(true, false, 1515, 2018), BayerPattern::GRBG);
    EXPECT_EQ(grbg.flipped(false, true, 3032, 2018), BayerPattern::BGGR);
    EXPECT_EQ(grbg.flipped(true, true, 3032, 2018), BayerPattern::GBRG);
    EXPECT_STREQ(grbg.name(), "GRBG");
    EXPECT_STREQ(grbg.shifted(1, 1).name(), "GBRG");
    EXPECT_EQ(grbg.serColorId(), 9);
    EXPECT_EQ(BayerPattern(BayerPattern::RGGB).serColorId(), 8);
    EXPECT_EQ(BayerPattern(BayerPattern::BGGR).serColorId(), 11);
}

TEST(FitsTimeTest, DateObsHasMillisecondsInUtc) {
    EXPECT_EQ(corvalis::isoUtcMilliseconds(kY2k + std::chrono::milliseconds(1125)),
              "2000-01-01T00:00:01.125");
    EXPECT_EQ(corvalis::isoUtcMilliseconds(Clock::from_time_t(1796772599) +
                                           std::chrono::microseconds(999999)),
              "2026-12-08T23:29:59.999");
}

namespace {

struct FitsReader {
    explicit FitsReader(const fs::path& path) {
        fits_open_diskfile(&file, path.c_str(), READONLY, &status);
    }
    ~FitsReader() {
        int ignored = 0;
        if (file != nullptr) fits_close_file(file, &ignored);
    }
    std::string text(const char* key) {
        char value[FLEN_VALUE] = {};
        int s = 0;
        fits_read_key(file, TSTRING, key, value, nullptr, &s);
        return s == 0 ? value : "<missing>";
    }
    double number(const char* key) {
        double value = -1;
        int s = 0;
        fits_read_key(file, TDOUBLE, key, &value, nullptr, &s);
        return s == 0 ? value : -12345;
    }
    std::vector<long> axes() {
        int naxis = 0;
        long n[3] = {};
        fits_get_img_dim(file, &naxis, &status);
        fits_get_img_size(file, 3, n, &status);
        return std::vector<long>(n, n + naxis);
    }
    std::vector<double> pixels(std::size_t count) {
        std::vector<double> values(count);
        int anyNull = 0;
        fits_read_img(file, TDOUBLE, 1, static_cast<LONGLONG>(count), nullptr, values.data(),
                      &anyNull, &status);
        return values;
    }
    fitsfile* file = nullptr;
    int status = 0;
};

FitsFrameInfo sampleInfo() {
    FitsFrameInfo info;
    info.startUtc = kY2k + std::chrono::milliseconds(250);
    info.exposureSeconds = 0.5;
    info.gain = 25;
    info.xBinning = info.yBinning = 2;
    info.instrument = "Test camera";
    info.software = "Corvalis 2.7";
    info.object = "M42";
    info.bayer = BayerPattern::GRBG;
    info.significantBits = 12;
    return info;
}

}  // namespace

TEST_F(AstroFiles, FitsMosaicReadsBackWithItsKeywords) {
    // 16-bit samples as the camera delivers them: 12 bits at the top of the word.
    const std::vector<std::uint16_t> samples = {0, 16, 4095 * 16, 65535, 32768, 1234 * 16};
    const fs::path path = dir_ / "m42.fits";
    ASSERT_TRUE(corvalis::writeFitsMosaic(path, samples.data(), 3, 2, 16, sampleInfo()));

    FitsReader fits(path);
    ASSERT_EQ(fits.status, 0);
    EXPECT_EQ(fits.number("BITPIX"), 16);
    EXPECT_EQ(fits.number("BZERO"), 32768);
    EXPECT_EQ(fits.axes(), (std::vector<long>{3, 2}));
    const std::vector<double> read = fits.pixels(6);
    EXPECT_EQ(read, std::vector<double>(samples.begin(), samples.end()));
    EXPECT_EQ(fits.number("EXPTIME"), 0.5);
    EXPECT_EQ(fits.text("DATE-OBS"), "2000-01-01T00:00:00.250");
    EXPECT_EQ(fits.number("GAIN"), 25);
    EXPECT_EQ(fits.number("XBINNING"), 2);
    EXPECT_EQ(fits.number("YBINNING"), 2);
    EXPECT_EQ(fits.text("INSTRUME"), "Test camera");
    EXPECT_EQ(fits.text("SWCREATE"), "Corvalis 2.7");
    EXPECT_EQ(fits.text("OBJECT"), "M42");
    EXPECT_EQ(fits.text("IMAGETYP"), "Light");
    EXPECT_EQ(fits.text("ROWORDER"), "TOP-DOWN");
    EXPECT_EQ(fits.text("BAYERPAT"), "GRBG");
    EXPECT_EQ(fits.number("XBAYROFF"), 0);
    EXPECT_EQ(fits.number("YBAYROFF"), 0);
    EXPECT_EQ(fits.text("NCOMBINE"), "<missing>");
    EXPECT_EQ(fs::file_size(path) % 2880, 0u);
}

TEST_F(AstroFiles, FitsColourAndStackedFrames) {
    // Two pixels, red-green-blue interleaved, become three planes.
    const std::uint8_t rgb[] = {10, 20, 30, 40, 50, 60};
    FitsFrameInfo info = sampleInfo();
    info.bayer.reset();
    info.combined = 3;
    info.exposureSeconds = 1.5;
    info.imageType = "Dark";
    const fs::path path = dir_ / "stack.fits";
    ASSERT_TRUE(corvalis::writeFitsRgb(path, rgb, 2, 1, 8, info));
    FitsReader fits(path);
    EXPECT_EQ(fits.number("BITPIX"), 8);
    EXPECT_EQ(fits.axes(), (std::vector<long>{2, 1, 3}));
    EXPECT_EQ(fits.pixels(6), (std::vector<double>{10, 40, 20, 50, 30, 60}));
    EXPECT_EQ(fits.number("NCOMBINE"), 3);
    EXPECT_EQ(fits.number("EXPTIME"), 1.5);
    EXPECT_EQ(fits.text("IMAGETYP"), "Dark");
    EXPECT_EQ(fits.text("BAYERPAT"), "<missing>");
}

TEST_F(AstroFiles, AstropyReadsTheFitsAsWritten) {
    if (std::system("/usr/bin/python3 -c 'import astropy.io.fits' 2>/dev/null") != 0)
        GTEST_SKIP() << "python3-astropy is not installed";
    const std::vector<std::uint16_t> samples = {100, 200, 300, 400, 500, 65535};
    const fs::path path = dir_ / "astropy.fits";
    ASSERT_TRUE(corvalis::writeFitsMosaic(path, samples.data(), 3, 2, 16, sampleInfo()));
    const fs::path out = dir_ / "astropy.txt";
    // astropy applies BZERO and indexes [row][column] with the first stored row first.
    const std::string script =
        "import sys, astropy.io.fits as f\n"
        "h = f.open(sys.argv[1])[0]\n"
        "d = h.data\n"
        "print(d.shape, d.dtype.kind, int(d[0][0]), int(d[0][2]), int(d[1][2]),\n"
        "      h.header['EXPTIME'], h.header['DATE-OBS'], h.header['BAYERPAT'],\n"
        "      h.header['GAIN'], h.header['ROWORDER'])\n";
    const std::string command =
        "/usr/bin/python3 -c \"" + script + "\" " + path.string() + " > " + out.string() + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << readText(out);
    EXPECT_EQ(readText(out),
              "(2, 3) u 100 300 65535 0.5 2000-01-01T00:00:00.250 GRBG 25 TOP-DOWN\n");
}

TEST_F(AstroFiles, FitsThatCannotBeWrittenLeavesTheEarlierFile) {
    const fs::path path = dir_ / "kept.fits";
    writeText(path, "earlier");
    std::vector<std::uint16_t> samples(64 * 64, 1000);
    {
        FileSizeLimit full(4096);
        EXPECT_FALSE(corvalis::writeFitsMosaic(path, samples.data(), 64, 64, 16, sampleInfo()));
    }
    EXPECT_EQ(readText(path), "earlier");
    EXPECT_FALSE(corvalis::writeFitsMosaic(dir_ / "no" / "such.fits", samples.data(), 64, 64, 16,
                                           sampleInfo()));
    EXPECT_FALSE(corvalis::writeFitsMosaic(path, samples.data(), 64, 64, 12, sampleInfo()));
}

namespace {

SerWriter::Format serFormat() {
    SerWriter::Format format;
    format.width = 3;
    format.height = 2;
    format.bitsPerPlane = 16;
    format.colorId = BayerPattern(BayerPattern::GRBG).serColorId();
    format.instrument = "Test camera";
    return format;
}

}  // namespace

TEST_F(AstroFiles, SerHeaderFramesAndTrailerByteByByte) {
    const fs::path path = dir_ / "video.ser";
    SerWriter writer;
    ASSERT_TRUE(writer.open(path, serFormat(), kY2k));
    std::vector<std::uint16_t> frame = {0x1234, 1, 2, 3, 4, 0xFFF0};
    ASSERT_TRUE(writer.append(frame.data(), kY2k + std::chrono::milliseconds(1)));
    frame[0] = 0xABCD;
    ASSERT_TRUE(writer.append(frame.data(), kY2k + std::chrono::milliseconds(2)));
    EXPECT_EQ(writer.bytesWritten(), 178u + 2 * 12);
    ASSERT_TRUE(writer.finish());

    const auto bytes = readBytes(path);
    ASSERT_EQ(bytes.size(), 178u + 2 * 12 + 2 * 8);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 14), "LUCAM-RECORDER");
    EXPECT_EQ(le(bytes, 18, 4), 9);  // ColorID: GRBG
    EXPECT_EQ(le(bytes, 22, 4), 0);  // LittleEndian as the readers take it
    EXPECT_EQ(le(bytes, 26, 4), 3);
    EXPECT_EQ(le(bytes, 30, 4), 2);
    EXPECT_EQ(le(bytes, 34, 4), 16);
    EXPECT_EQ(le(bytes, 38, 4), 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[82])), "Test camera");
    EXPECT_EQ(le(bytes, 170, 8), kY2kTicks);
    // Samples little-endian, frame after frame.
    EXPECT_EQ(bytes[178], 0x34);
    EXPECT_EQ(bytes[179], 0x12);
    EXPECT_EQ(bytes[178 + 10], 0xF0);
    EXPECT_EQ(bytes[178 + 12], 0xCD);
    EXPECT_EQ(bytes[178 + 13], 0xAB);
    // The trailer: one UTC time a frame, 10 000 ticks a millisecond.
    EXPECT_EQ(le(bytes, 178 + 24, 8), kY2kTicks + 10000);
    EXPECT_EQ(le(bytes, 178 + 32, 8), kY2kTicks + 20000);
}

TEST_F(AstroFiles, SerNeverReplacesAFileAndSaysWhy) {
    const fs::path path = dir_ / "taken.ser";
    writeText(path, "mine");
    SerWriter writer;
    EXPECT_FALSE(writer.open(path, serFormat(), kY2k));
    EXPECT_NE(writer.error().find(path.string()), std::string::npos);
    EXPECT_NE(writer.error().find("File exists"), std::string::npos);
    EXPECT_EQ(fs::file_size(path), 4u);
    EXPECT_FALSE(writer.open(dir_ / "missing" / "x.ser", serFormat(), kY2k));
    EXPECT_FALSE(writer.append(nullptr, kY2k));
}

TEST_F(AstroFiles, SerCutShortKeepsWholeFramesAndClaimsNoMore) {
    const fs::path path = dir_ / "full.ser";
    std::vector<std::uint16_t> frame(6, 7);
    {
        FileSizeLimit full(178 + 2 * 12 + 5);
        SerWriter writer;
        ASSERT_TRUE(writer.open(path, serFormat(), kY2k));
        EXPECT_TRUE(writer.append(frame.data(), kY2k));
        EXPECT_TRUE(writer.append(frame.data(), kY2k));
        EXPECT_FALSE(writer.append(frame.data(), kY2k));
        EXPECT_NE(writer.error().find("File too large"), std::string::npos);
        EXPECT_FALSE(writer.append(frame.data(), kY2k));
        EXPECT_EQ(writer.frames(), 2);
        EXPECT_FALSE(writer.finish());
    }
    const auto bytes = readBytes(path);
    EXPECT_EQ(bytes.size(), 178u + 2 * 12);
    EXPECT_EQ(le(bytes, 38, 4), 2);
}

TEST_F(AstroFiles, SerOfAProcessThatDiedHoldsItsFrames) {
    const fs::path path = dir_ / "crash.ser";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SerWriter writer;
        std::vector<std::uint16_t> frame(6, 9);
        bool ok = writer.open(path, serFormat(), kY2k);
        for (int i = 0; i < 3 && ok; ++i) ok = writer.append(frame.data(), kY2k);
        ::_exit(ok ? 0 : 1);  // no finish: as if the process were killed
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    const auto bytes = readBytes(path);
    EXPECT_EQ(bytes.size(), 178u + 3 * 12);
    EXPECT_EQ(le(bytes, 38, 4), 3);
}
