// The JPEG writer, read back with OpenCV: colour and grey pictures, the grey weights
// truncated, files that cannot be written, and earlier files that a failed write keeps.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "file_size_limit.h"
#include "file_text.h"
#include "jpeg_file.h"
#include "scratch_directory.h"

namespace {

namespace fs = std::filesystem;
using ostra::writeJpeg;

struct Rgb {
    std::uint8_t r, g, b;
};

// A top-down picture of horizontal bands, each 16 rows of one colour: whole 8 x 8 and
// 16 x 16 blocks of one colour come back from the lossy coding (nearly) unchanged.
std::vector<std::uint8_t> bands(const std::vector<Rgb>& colours, int width) {
    std::vector<std::uint8_t> p;
    for (const Rgb& c : colours)
        for (int i = 0; i < 16 * width; ++i) p.insert(p.end(), {c.r, c.g, c.b});
    return p;
}

// Names in `dir`, sorted.
std::vector<std::string> filesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class JpegFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = scratch.path().string();
        path = dir + "/picture.jpg";
    }
    ScratchDirectory scratch{"jpeg"};
    std::string dir, path;
};

TEST_F(JpegFile, ColourPictureComesBackTopDownInRgbOrder) {
    const std::vector<Rgb> colours = {{220, 40, 60}, {30, 200, 90}, {50, 70, 210}};
    const auto rgb = bands(colours, 32);
    ASSERT_TRUE(writeJpeg(path, rgb.data(), 32, 48, 1, 75));
    const cv::Mat read = cv::imread(path, cv::IMREAD_UNCHANGED);
    ASSERT_EQ(read.type(), CV_8UC3);
    ASSERT_EQ(read.cols, 32);
    ASSERT_EQ(read.rows, 48);
    for (int band = 0; band < 3; ++band) {
        const cv::Vec3b bgr = read.at<cv::Vec3b>(band * 16 + 8, 16);
        EXPECT_NEAR(bgr[2], colours[band].r, 4) << "band " << band;
        EXPECT_NEAR(bgr[1], colours[band].g, 4) << "band " << band;
        EXPECT_NEAR(bgr[0], colours[band].b, 4) << "band " << band;
    }
}

TEST_F(JpegFile, GreyPictureTruncatesTheWeightedSum) {
    // Worked by hand: 0.299 x 255 = 76.245 -> 76; 0.587 x 255 = 149.685 -> 149 (not 150);
    // 0.114 x 255 = 29.07 -> 29; 0.299 x 10 + 0.587 x 20 + 0.114 x 30 = 18.15 -> 18.
    const auto rgb = bands({{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30}}, 16);
    ASSERT_TRUE(writeJpeg(path, rgb.data(), 16, 64, 0, 75));
    const cv::Mat read = cv::imread(path, cv::IMREAD_UNCHANGED);
    ASSERT_EQ(read.type(), CV_8UC1) << "one grey component";
    const int want[] = {76, 149, 29, 18};
    for (int band = 0; band < 4; ++band)
        for (int y = band * 16; y < band * 16 + 16; ++y)
            for (int x = 0; x < 16; ++x)
                ASSERT_EQ(read.at<std::uint8_t>(y, x), want[band]) << "row " << y;
}

TEST_F(JpegFile, ReplacesAnExistingFile) {
    const auto small = bands({{1, 2, 3}}, 8);
    const auto large = bands({{9, 9, 9}, {200, 200, 200}}, 64);
    ASSERT_TRUE(writeJpeg(path, large.data(), 64, 32, 1, 75));
    ASSERT_TRUE(writeJpeg(path, small.data(), 8, 16, 1, 75));
    const cv::Mat read = cv::imread(path);
    EXPECT_EQ(read.cols, 8);
    EXPECT_EQ(read.rows, 16);
}

TEST_F(JpegFile, PathThatCannotBeOpenedIsReported) {
    const auto rgb = bands({{1, 2, 3}}, 8);
    const std::string missing = dir + "/missing/picture.jpg";
    testing::internal::CaptureStderr();
    EXPECT_FALSE(writeJpeg(missing, rgb.data(), 8, 16, 1, 75));
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(messages.rfind("JpegFile :\nCan't open " + missing + "\n", 0), 0u) << messages;
    EXPECT_TRUE(has(messages, std::strerror(ENOENT))) << messages;
}

// Saving over something that is not a file (here the full device) is refused and
// leaves it in place.
TEST_F(JpegFile, TargetThatIsNotAFileIsRefusedAndKept) {
    fs::create_symlink("/dev/full", path);
    const auto rgb = bands({{1, 2, 3}, {4, 5, 6}}, 256);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(writeJpeg(path, rgb.data(), 256, 32, 1, 75));
    EXPECT_TRUE(has(testing::internal::GetCapturedStderr(), "not a regular file"));
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(filesIn(dir), std::vector<std::string>{"picture.jpg"});
}

// The disk fills up halfway through: the earlier picture of that name stays byte for
// byte, and no temporary file is left beside it.
TEST_F(JpegFile, WriteErrorKeepsTheEarlierFileByteForByte) {
    writeText(path, "an earlier picture\n");
    // Noise codes to far more than the room left.
    std::vector<std::uint8_t> rgb(512 * 48 * 3);
    std::uint32_t state = 12345;
    for (auto& v : rgb) v = static_cast<std::uint8_t>((state = state * 1103515245u + 12345u) >> 24);
    testing::internal::CaptureStderr();
    {
        FileSizeLimit limit(1024);
        EXPECT_FALSE(writeJpeg(path, rgb.data(), 512, 48, 1, 75));
    }
    EXPECT_TRUE(has(testing::internal::GetCapturedStderr(), "JPEG Error"));
    EXPECT_EQ(readText(path), "an earlier picture\n");
    EXPECT_EQ(filesIn(dir), std::vector<std::string>{"picture.jpg"});
}

TEST_F(JpegFile, ReadOnlyFileIsRefusedAndKept) {
    writeText(path, "keep me\n");
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const auto rgb = bands({{1, 2, 3}}, 8);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(writeJpeg(path, rgb.data(), 8, 16, 1, 75));
    EXPECT_TRUE(has(testing::internal::GetCapturedStderr(), "refusing to replace " + path));
    EXPECT_EQ(readText(path), "keep me\n");
    EXPECT_EQ(filesIn(dir), std::vector<std::string>{"picture.jpg"});
}

TEST_F(JpegFile, ReplacingAFileKeepsItsPermissions) {
    writeText(path, "older\n");
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    const auto rgb = bands({{10, 20, 30}}, 16);
    ASSERT_TRUE(writeJpeg(path, rgb.data(), 16, 16, 1, 75));
    EXPECT_FALSE(cv::imread(path).empty());
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(JpegFile, PictureThatCannotBeCodedIsRefusedWithoutAFile) {
    const auto rgb = bands({{1, 2, 3}}, 8);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(writeJpeg(path, rgb.data(), 0, 16, 1, 75));
    EXPECT_FALSE(writeJpeg(path, nullptr, 8, 16, 1, 75));
    EXPECT_FALSE(writeJpeg(path, rgb.data(), 70000, 1, 1, 75));
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(fs::exists(path));
}

}  // namespace
