// Saving buffered frames: TIFF pages of 8 and 16 bits appended to one file, bitmaps
// whose crop width is brought to a multiple of four (in the record too), JPEG with and without the
// logo, and targets that cannot be written. Every picture is read back with OpenCV and compared
// with the driver's decode of the same frame.
#include <iterator>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <utility>

#include "../driver/allocation_control.h"
#include "file_size_limit.h"
#include "file_text.h"
#include "frame_list_test_support.h"
#include "tiff_info.h"

namespace {

using namespace frame_list_test;

class FrameSave : public ::testing::Test {
  protected:
    void SetUp() override {
        Mes_ClearBuffList(nullptr);
        Mes_AutoLevels(0);
        Mes_SetLevelsValues(0, 255);
    }
    void TearDown() override { Mes_ClearBuffList(nullptr); }

    // Opens the camera and buffers one frame of `raw` (random when empty).
    std::vector<std::uint8_t> snap(CameraRecord& record, unsigned seed) {
        const auto bytes = static_cast<std::size_t>(rawBytes(record));
        auto raw = randomBytes(bytes, seed);
        if (record.data_width_16) {
            for (std::size_t i = 1; i < bytes; i += 2) raw[i] &= 0xF0;  // 12-bit samples
        }
        auto snapped = raw;
        EXPECT_EQ(Mes_SnapToBuffList(&record, snapped.data(), 0), 1);
        return raw;
    }

    static int rawBytes(const CameraRecord& record) {
        unsigned char mode = 0;
        EXPECT_EQ(OstraIICameraGetResolution(&mode), 1);
        return OstraIICameraGrabBytes(mode, record.data_width_16);
    }

    // A picture as OpenCV reads it back against the expected blue-green-red samples.
    template <typename Sample>
    static int mismatches(const cv::Mat& picture, const std::vector<Sample>& expected, int width,
                          int height) {
        EXPECT_EQ(picture.cols, width);
        EXPECT_EQ(picture.rows, height);
        EXPECT_EQ(picture.channels(), 3);
        if (picture.cols != width || picture.rows != height || picture.channels() != 3) return -1;
        int count = 0;
        for (int y = 0; y < height; ++y) {
            const auto* row = picture.ptr<Sample>(y);
            for (int i = 0; i < width * 3; ++i)
                count += row[i] != expected[static_cast<std::size_t>(y) * width * 3 + i];
        }
        return count;
    }

    ScratchDirectory directory_;
};

TEST_F(FrameSave, TiffSavedTwiceHoldsTwoUnsignedPagesOfTheCrop) {
    CameraRecord record;
    ASSERT_NO_FATAL_FAILURE(openCamera(record, 4, false));
    setCrop(record, 10, 20, 110, 100);
    record.save_format = 8;
    const auto first = snap(record, 1);
    const auto second = snap(record, 2);
    const std::string base = directory_ / "pages";
    ASSERT_EQ(Mes_SaveBuffList(&record, base.c_str(), 1), 1);
    ASSERT_EQ(Mes_SaveBuffList(&record, base.c_str(), 2), 1);

    if (testing_tiff::haveTiffinfo()) {
        const auto pages = testing_tiff::tiffinfoPages(base + ".tif");
        ASSERT_EQ(pages.size(), 2u);
        for (const auto& page : pages) {
            EXPECT_TRUE(has(page, "Image Width: 100 Image Length: 80")) << page;
            EXPECT_TRUE(has(page, "Bits/Sample: 8")) << page;
            EXPECT_TRUE(has(page, "Sample Format: unsigned integer")) << page;
        }
    } else {
        ADD_FAILURE() << "tiffinfo (libtiff-tools) is needed to check the pages";
    }
    std::vector<cv::Mat> pictures;
    ASSERT_TRUE(cv::imreadmulti(base + ".tif", pictures, cv::IMREAD_UNCHANGED));
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(mismatches(pictures[0], expectedCrop<std::uint8_t>(record, first), 100, 80), 0);
    EXPECT_EQ(mismatches(pictures[1], expectedCrop<std::uint8_t>(record, second), 100, 80), 0);
}

TEST_F(FrameSave, SixteenBitTiffKeepsTheUpperTwelveBitsOfTheDecode) {
    CameraRecord record;
    ASSERT_NO_FATAL_FAILURE(openCamera(record, 4, true));
    setCrop(record, 5, 6, 69, 54);
    record.save_format = 8;
    const auto raw = snap(record, 3);
    const std::string base = directory_ / "wide";
    ASSERT_EQ(Mes_SaveBuffList(&record, base.c_str(), 1), 1);

    if (testing_tiff::haveTiffinfo()) {
        const auto pages = testing_tiff::tiffinfoPages(base + ".tif");
        ASSERT_EQ(pages.size(), 1u);
        EXPECT_TRUE(has(pages[0], "Bits/Sample: 16")) << pages[0];
        EXPECT_TRUE(has(pages[0], "Sample Format: unsigned integer")) << pages[0];
    }
    auto expected = expectedCrop<std::uint16_t>(record, raw);
    for (auto& s : expected) s &= 0xFFF0;  // levels 0 and 255 keep the 12 significant bits
    const cv::Mat picture = cv::imread(base + ".tif", cv::IMREAD_UNCHANGED);
    ASSERT_EQ(picture.depth(), CV_16U);
    EXPECT_EQ(mismatches(picture, expected, 64, 48), 0);
}

TEST_F(FrameSave, BitmapCropWidthBecomesAMultipleOfFourInTheRecordToo) {
    CameraRecord record;
    ASSERT_NO_FATAL_FAILURE(openCamera(record, 2, false));
    ASSERT_EQ(record.image_width, 1516);
    record.save_format = 2;
    Mes_SetLevelsValues(40, 180);
    const auto raw = snap(record, 4);
    struct Case {
        int left, width, savedWidth;
    };
    // 4k + 2 loses two columns, 4k + 3 gains one, 4k stays; a gain that would pass the
    // right edge narrows instead.
    const Case cases[] = {{100, 1022, 1020}, {100, 1024, 1024}, {100, 7, 8}, {1509, 7, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.left) + " + " + std::to_string(c.width));
        setCrop(record, c.left, 10, c.left + c.width, 50);
        const std::string base =
            directory_ / ("bitmap" + std::to_string(c.width) + "_" + std::to_string(c.left));
        ASSERT_EQ(Mes_SaveBuffList(&record, base.c_str(), 1), 1);
        EXPECT_EQ(record.crop_right, c.left + c.savedWidth);
        EXPECT_EQ(fs::file_size(base + ".bmp"),
                  54u + static_cast<std::uintmax_t>(c.savedWidth) * 40u * 3u);
        auto expected = expectedCrop<std::uint8_t>(record, raw);
        for (auto& b : expected) b = static_cast<std::uint8_t>(levelled(b, 40, 180));
        EXPECT_EQ(
            mismatches(cv::imread(base + ".bmp", cv::IMREAD_UNCHANGED), expected, c.savedWidth, 40),
            0);
    }
}

class FrameSaveJpeg : public FrameSave {
  protected:
    // The logo is looked for in the configuration folder, here the scratch folder.
    void SetUp() override {
        FrameSave::SetUp();
        setenv("CORVALIS_CONFIG_DIR", directory_.path().c_str(), 1);
    }
    void TearDown() override {
        unsetenv("CORVALIS_CONFIG_DIR");
        FrameSave::TearDown();
    }

    // A smooth frame, so that the JPEG's losses stay small.
    std::vector<std::uint8_t> snapSmooth(CameraRecord& record) {
        std::vector<std::uint8_t> raw(static_cast<std::size_t>(rawBytes(record)));
        for (std::size_t i = 0; i < raw.size(); ++i) {
            raw[i] = static_cast<std::uint8_t>(60 + (i % 756) / 8 + (i / 756) / 8);
        }
        auto snapped = raw;
        EXPECT_EQ(Mes_SnapToBuffList(&record, snapped.data(), 0), 1);
        return raw;
    }

    // Mean absolute difference over a region of the picture read back.
    static double meanDifference(const cv::Mat& picture, const std::vector<std::uint8_t>& expected,
                                 int width, cv::Rect region) {
        double sum = 0;
        for (int y = region.y; y < region.y + region.height; ++y) {
            for (int x = region.x; x < region.x + region.width; ++x) {
                for (int c = 0; c < 3; ++c) {
                    sum += std::abs(picture.at<cv::Vec3b>(y, x)[c] -
                                    expected[(static_cast<std::size_t>(y) * width + x) * 3 + c]);
                }
            }
        }
        return sum / (region.area() * 3.0);
    }
};

TEST_F(FrameSaveJpeg, WithoutTheLogoTheJpegIsThePictureAndNoTemporaryFileStays) {
    CameraRecord record;
    ASSERT_NO_FATAL_FAILURE(openCamera(record, 4, false));
    setCrop(record, 0, 0, 202, 100);
    record.save_format = 1;
    const auto raw = snapSmooth(record);
    const std::string base = directory_ / "plain";
    ASSERT_EQ(Mes_SaveBuffList(&record, base.c_str(), 1), 1);
    EXPECT_FALSE(fs::exists(base + "__.bmp"));
    EXPECT_EQ(record.crop_right, 200);
    const cv::Mat picture = cv::imread(base + ".jpg", cv::IMREAD_COLOR);
    ASSERT_EQ(picture.cols, 200);
    ASSERT_EQ(picture.rows, 100);
    const auto expected = expectedCrop<std::uint8_t>(record, raw);
    EXPECT_LT(meanDifference(picture, expected, 200, cv::Rect(0, 0, 200, 100)), 3.0);
}

TEST_F(FrameSaveJpeg, TheLogoIsStampedIntoTheBottomRightCornerWhenItFits) {
    CameraRecord record;
    ASSERT_NO_FATAL_FAILURE(openCamera(record, 4, false));
    setCrop(record, 0, 0, 200, 100);
    record.save_format = 1;
    const auto raw = snapSmooth(record);
    ASSERT_TRUE(
        cv::imwrite(directory_ / "addlogo.jpg", cv::Mat(24, 40, CV_8UC3, cv::Scalar(0, 0, 255))));
    const std::string base = directory_ / "stamped";
    ASSERT_EQ(Mes_SaveBuffList(&record, base.c_str(), 1), 1);
    EXPECT_FALSE(fs::exists(base + "__.bmp"));
    const cv::Mat picture = cv::imread(base + ".jpg", cv::IMREAD_COLOR);
    ASSERT_EQ(picture.cols, 200);
    ASSERT_EQ(picture.rows, 100);
    const cv::Scalar logo =
        cv::mean(picture(cv::Rect(164, 80, 32, 16)));  // inside the 40 x 24 corner
    EXPECT_LT(logo[0], 30);
    EXPECT_LT(logo[1], 30);
    EXPECT_GT(logo[2], 225);
    const auto expected = expectedCrop<std::uint8_t>(record, raw);
    EXPECT_LT(meanDifference(picture, expected, 200, cv::Rect(0, 0, 150, 70)), 3.0);

    // A logo larger than the picture is left out.
    ASSERT_TRUE(
        cv::imwrite(directory_ / "addlogo.jpg", cv::Mat(120, 40, CV_8UC3, cv::Scalar(0, 0, 255))));
    const std::string unstamped = directory_ / "unstamped";
    ASSERT_EQ(Mes_SaveBuffList(&record, unstamped.c_str(), 1), 1);
    EXPECT_LT(meanDifference(cv::imread(unstamped + ".jpg", cv::IMREAD_COLOR), expected, 200,
                             cv::Rect(0, 0, 200, 100)),
              3.0);
}

TEST_F(FrameSave, ATargetThatCannotBeWrittenFailsAndTheFrameStays) {
    CameraRecord record;
    ASSERT_NO_FATAL_FAILURE(openCamera(record, 4, false));
    setCrop(record, 0, 0, 64, 32);
    snap(record, 6);
    const std::string missing = directory_ / "no-such-directory/frame";
    for (int format : {1, 2, 4, 8}) {
        record.save_format = format;
        EXPECT_EQ(Mes_SaveBuffList(&record, missing.c_str(), 1), 0) << format;
    }
    EXPECT_FALSE(fs::exists(directory_ / "no-such-directory"));

    // A file in the way that is not a TIFF stays as it was.
    const std::string clash = directory_ / "clash";
    { std::ofstream(clash + ".tif", std::ios::binary) << "not a picture"; }
    record.save_format = 8;
    EXPECT_EQ(Mes_SaveBuffList(&record, clash.c_str(), 1), 0);
    const auto kept = readBytes(clash + ".tif");
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "not a picture");

    // The frame can still be saved elsewhere.
    for (int format : {1, 2, 4, 8}) {
        record.save_format = format;
        const std::string elsewhere = directory_ / ("elsewhere" + std::to_string(format));
        EXPECT_EQ(Mes_SaveBuffList(&record, elsewhere.c_str(), 1), 1) << format;
    }
    for (const auto& entry : fs::directory_iterator(directory_.path())) {
        EXPECT_FALSE(has(entry.path().filename().string(), "__.bmp")) << entry.path();
    }
}

// Each format in turn runs out of room halfway (as on a full disk): the earlier file of
// that name stays byte for byte, and nothing else is left in the folder.
TEST_F(FrameSave, ASaveThatRunsOutOfRoomKeepsTheEarlierFileByteForByte) {
    CameraRecord record;
    ASSERT_NO_FATAL_FAILURE(openCamera(record, 4, false));
    setCrop(record, 0, 0, 400, 300);
    snap(record, 9);
    const std::pair<int, const char*> formats[] = {
        {1, ".jpg"}, {2, ".bmp"}, {4, ".raw"}, {8, ".tif"}};
    for (const auto& [format, extension] : formats) {
        SCOPED_TRACE(extension);
        const fs::path folder = directory_ / ("full" + std::to_string(format));
        fs::create_directory(folder);
        const std::string base = folder / "frame";
        record.save_format = format;
        ASSERT_EQ(Mes_SaveBuffList(&record, base.c_str(), 1), 1);
        const auto earlier = readBytes(base + extension);
        ASSERT_GT(earlier.size(), 8192u);
        testing::internal::CaptureStderr();
        {
            FileSizeLimit limit(8192);
            EXPECT_EQ(Mes_SaveBuffList(&record, base.c_str(), 1), 0);
        }
        const std::string messages = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(messages.empty());
        EXPECT_TRUE(readBytes(base + extension) == earlier) << "the earlier file changed";
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    }
}

TEST_F(FrameSave, AReadOnlyFileIsRefusedAndKept) {
    CameraRecord record;
    ASSERT_NO_FATAL_FAILURE(openCamera(record, 4, false));
    setCrop(record, 0, 0, 64, 32);
    snap(record, 10);
    const std::string base = directory_ / "kept";
    for (const auto& [format, extension] :
         {std::pair{1, ".jpg"}, std::pair{2, ".bmp"}, std::pair{4, ".raw"}, std::pair{8, ".tif"}}) {
        SCOPED_TRACE(extension);
        { std::ofstream(base + extension, std::ios::binary) << "an earlier " << extension; }
        fs::permissions(base + extension,
                        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        record.save_format = format;
        testing::internal::CaptureStderr();
        EXPECT_EQ(Mes_SaveBuffList(&record, base.c_str(), 1), 0);
        const std::string messages = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(has(messages, base + extension)) << messages;
        const auto kept = readBytes(base + extension);
        EXPECT_EQ(std::string(kept.begin(), kept.end()), std::string("an earlier ") + extension);
    }
}

// A user's file named as the JPEG save's temporary bitmap used to be is never touched.
TEST_F(FrameSave, AJpegSaveLeavesAFileNamedLikeAnOldTemporaryAlone) {
    CameraRecord record;
    ASSERT_NO_FATAL_FAILURE(openCamera(record, 4, false));
    setCrop(record, 0, 0, 64, 32);
    snap(record, 11);
    const std::string base = directory_ / "shot";
    { std::ofstream(base + "__.bmp", std::ios::binary) << "the user's own"; }
    record.save_format = 1;
    ASSERT_EQ(Mes_SaveBuffList(&record, base.c_str(), 1), 1);
    const auto kept = readBytes(base + "__.bmp");
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "the user's own");
    EXPECT_FALSE(cv::imread(base + ".jpg").empty());
}

TEST_F(FrameSave, WithoutMemoryForThePictureTheFrameStaysAndNothingIsHalfWritten) {
    CameraRecord record;
    ASSERT_NO_FATAL_FAILURE(openCamera(record, 4, false));  // raw frame below, picture above 1 MiB
    const auto raw = randomBytes(static_cast<std::size_t>(rawBytes(record)), 8);
    auto snapped = raw;
    allocation_control::refuseLarge(true);
    const int snap = Mes_SnapToBuffList(&record, snapped.data(), 0);
    record.save_format = 2;
    const std::string base = directory_ / "starved";
    const int save = Mes_SaveBuffList(&record, base.c_str(), 1);
    allocation_control::refuseLarge(false);

    EXPECT_EQ(snap, -2);
    EXPECT_EQ(save, -2);
    EXPECT_FALSE(fs::exists(base + ".bmp"));
    EXPECT_EQ(Mes_ShowBuffList(&record, 1, 200, 150, nullptr), nullptr);  // no thumbnail was made
    record.save_format = 4;
    ASSERT_EQ(Mes_SaveBuffList(&record, base.c_str(), 1), 1);
    EXPECT_EQ(readBytes(base + ".raw"), raw);
    record.save_format = 2;
    EXPECT_EQ(Mes_SaveBuffList(&record, base.c_str(), 1), 1);
}

}  // namespace
