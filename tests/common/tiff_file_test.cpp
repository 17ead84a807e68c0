// The RGB TIFF writer, checked with libtiff's tiffinfo and OpenCV: tags and pixels of
// 8- and 16-bit pages, pages appended one per call, and failures that leave every
// byte of an existing file as it was.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "common/tiff_file.h"
#include "file_text.h"
#include "scratch_directory.h"
#include "tiff_info.h"

namespace {

namespace fs = std::filesystem;
using corvalis::appendTiffRgb;
using testing_tiff::tiffinfoPages;

// Top-down RGB pictures with a different value in every sample.
std::vector<std::uint8_t> picture8(int width, int height, int seed) {
    std::vector<std::uint8_t> p(static_cast<std::size_t>(width) * height * 3);
    for (std::size_t i = 0; i < p.size(); ++i)
        p[i] = static_cast<std::uint8_t>(i * 37 + seed * 11 + 5);
    return p;
}
std::vector<std::uint16_t> picture16(int width, int height, int seed) {
    std::vector<std::uint16_t> p(static_cast<std::size_t>(width) * height * 3);
    for (std::size_t i = 0; i < p.size(); ++i)
        p[i] = static_cast<std::uint16_t>(i * 9973 + seed * 4099 + 32768);
    return p;
}

// A page as OpenCV reads it is blue-green-red; `rgb` is the red-green-blue source.
template <typename Sample>
void expectPixels(const cv::Mat& page, const std::vector<Sample>& rgb, int width, int height) {
    ASSERT_EQ(page.cols, width);
    ASSERT_EQ(page.rows, height);
    ASSERT_EQ(page.type(), (sizeof(Sample) == 1 ? CV_8UC3 : CV_16UC3));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                const Sample want = rgb[(static_cast<std::size_t>(y) * width + x) * 3 + (2 - c)];
                ASSERT_EQ(page.ptr<Sample>(y)[x * 3 + c], want)
                    << "x " << x << " y " << y << " channel " << c;
            }
}

class TiffFile : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!testing_tiff::haveTiffinfo())
            GTEST_SKIP() << "tiffinfo (libtiff-tools) is not installed";
        dir = scratch.path().string();
        path = dir + "/picture.tif";
    }
    ScratchDirectory scratch{"tiff"};
    std::string dir, path;
};

// ---- tags and pixels ----

TEST_F(TiffFile, EightBitPageHasTheRgbTagsAndTheRowsAsGiven) {
    const auto rgb = picture8(5, 3, 1);
    ASSERT_TRUE(appendTiffRgb(path, rgb.data(), 5, 3, 8));
    const auto pages = tiffinfoPages(path);
    ASSERT_EQ(pages.size(), 1u);
    const std::string& info = pages[0];
    EXPECT_TRUE(has(info, "Image Width: 5 Image Length: 3")) << info;
    EXPECT_TRUE(has(info, "Bits/Sample: 8")) << info;
    EXPECT_TRUE(has(info, "Sample Format: unsigned integer")) << info;
    EXPECT_TRUE(has(info, "Samples/Pixel: 3")) << info;
    EXPECT_TRUE(has(info, "Photometric Interpretation: RGB color")) << info;
    EXPECT_TRUE(has(info, "Compression Scheme: None")) << info;
    EXPECT_TRUE(has(info, "Planar Configuration: single image plane")) << info;
    EXPECT_TRUE(has(info, "FillOrder: msb-to-lsb")) << info;
    EXPECT_TRUE(has(info, "Orientation: row 0 top, col 0 lhs")) << info;
    EXPECT_TRUE(has(info, "Rows/Strip:")) << info;
    expectPixels(cv::imread(path, cv::IMREAD_UNCHANGED), rgb, 5, 3);
}

TEST_F(TiffFile, SixteenBitSamplesAboveHalfScaleReadBackUnsigned) {
    auto rgb = picture16(4, 2, 2);
    rgb[0] = 65535;
    rgb[1] = 0;
    rgb[2] = 40000;
    ASSERT_TRUE(appendTiffRgb(path, rgb.data(), 4, 2, 16));
    const auto pages = tiffinfoPages(path);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_TRUE(has(pages[0], "Bits/Sample: 16")) << pages[0];
    EXPECT_TRUE(has(pages[0], "Sample Format: unsigned integer")) << pages[0];
    expectPixels(cv::imread(path, cv::IMREAD_UNCHANGED), rgb, 4, 2);
}

TEST_F(TiffFile, CallersPictureIsNotChanged) {
    const auto rgb = picture16(3, 3, 3);
    auto copy = rgb;
    ASSERT_TRUE(appendTiffRgb(path, copy.data(), 3, 3, 16));
    EXPECT_EQ(copy, rgb);
}

// ---- appending ----

TEST_F(TiffFile, EachCallAddsOnePageAfterTheOthers) {
    const auto first = picture8(4, 2, 4);
    const auto second = picture16(3, 5, 5);
    const auto third = picture8(7, 1, 6);
    ASSERT_TRUE(appendTiffRgb(path, first.data(), 4, 2, 8));
    ASSERT_TRUE(appendTiffRgb(path, second.data(), 3, 5, 16));
    ASSERT_TRUE(appendTiffRgb(path, third.data(), 7, 1, 8));

    const auto pages = tiffinfoPages(path);
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_TRUE(has(pages[0], "Image Width: 4 Image Length: 2")) << pages[0];
    EXPECT_TRUE(has(pages[1], "Image Width: 3 Image Length: 5")) << pages[1];
    EXPECT_TRUE(has(pages[1], "Bits/Sample: 16")) << pages[1];
    EXPECT_TRUE(has(pages[2], "Image Width: 7 Image Length: 1")) << pages[2];

    std::vector<cv::Mat> read;
    ASSERT_TRUE(cv::imreadmulti(path, read, cv::IMREAD_UNCHANGED));
    ASSERT_EQ(read.size(), 3u);
    expectPixels(read[0], first, 4, 2);
    expectPixels(read[1], second, 3, 5);
    expectPixels(read[2], third, 7, 1);
}

// ---- failures ----

TEST_F(TiffFile, MissingDirectoryFailsWithTheOpenMessage) {
    const auto rgb = picture8(2, 2, 7);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(appendTiffRgb(dir + "/missing/picture.tif", rgb.data(), 2, 2, 8));
    EXPECT_TRUE(has(testing::internal::GetCapturedStderr(), "Cannot open file for output.\n"));
    EXPECT_FALSE(fs::exists(dir + "/missing"));
}

TEST_F(TiffFile, FileThatIsNotATiffIsLeftAlone) {
    const std::string text = "not a picture, but someone's notes\n";
    writeText(path, text);
    const auto rgb = picture8(2, 2, 8);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(appendTiffRgb(path, rgb.data(), 2, 2, 8));
    EXPECT_TRUE(has(testing::internal::GetCapturedStderr(), "Cannot open file for output.\n"));
    EXPECT_EQ(readText(path), text);
}

TEST_F(TiffFile, PictureThatCannotBeDescribedCreatesNothing) {
    const auto rgb = picture16(2, 2, 9);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(appendTiffRgb(path, rgb.data(), 2, 2, 12));
    EXPECT_FALSE(appendTiffRgb(path, rgb.data(), 0, 2, 16));
    EXPECT_FALSE(appendTiffRgb(path, nullptr, 2, 2, 16));
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(fs::exists(path));
}

// Lets the file grow only `room` bytes more, as a full disk would, for one call.
bool appendWithRoom(const std::string& path, std::uintmax_t room, const void* rgb, int width,
                    int height, int bits) {
    const std::uintmax_t size = fs::exists(path) ? fs::file_size(path) : 0;
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit tight = old;
    tight.rlim_cur = size + room;
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &tight);
    const bool ok = appendTiffRgb(path, rgb, width, height, bits);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    return ok;
}

TEST_F(TiffFile, AppendThatRunsOutOfRoomLeavesTheEarlierPagesByteForByte) {
    const auto first = picture8(6, 4, 10);
    ASSERT_TRUE(appendTiffRgb(path, first.data(), 6, 4, 8));
    const std::string before = readText(path);

    // Several strips, so the failure comes part-way through the rows.
    const auto big = picture16(64, 200, 11);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(appendWithRoom(path, 20000, big.data(), 64, 200, 16));
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(has(messages, "scanline ") && has(messages, ": Write error.\n")) << messages;
    EXPECT_EQ(readText(path), before);
    ASSERT_EQ(tiffinfoPages(path).size(), 1u);

    // The file still takes pages afterwards.
    ASSERT_TRUE(appendTiffRgb(path, big.data(), 64, 200, 16));
    std::vector<cv::Mat> read;
    ASSERT_TRUE(cv::imreadmulti(path, read, cv::IMREAD_UNCHANGED));
    ASSERT_EQ(read.size(), 2u);
    expectPixels(read[0], first, 6, 4);
    expectPixels(read[1], big, 64, 200);
}

TEST_F(TiffFile, FailureOnTheLastBytesStillUndoesTheLink) {
    // Room for all the strips but not for the directory, which is written last.
    const auto first = picture8(6, 4, 12);
    ASSERT_TRUE(appendTiffRgb(path, first.data(), 6, 4, 8));
    const std::string before = readText(path);
    const auto second = picture8(10, 10, 13);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(appendWithRoom(path, 10 * 10 * 3 + 20, second.data(), 10, 10, 8));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(readText(path), before);
    ASSERT_EQ(tiffinfoPages(path).size(), 1u);
}

TEST_F(TiffFile, NewFileThatCannotBeWrittenWholeIsRemoved) {
    const auto big = picture16(64, 200, 14);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(appendWithRoom(path, 20000, big.data(), 64, 200, 16));
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(fs::exists(path));
}

}  // namespace
