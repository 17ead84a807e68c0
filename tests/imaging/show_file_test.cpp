// Image files shown as thumbnails and drawn into a rectangle.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <filesystem>
#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <unistd.h>

#include "vantelo.h"

namespace {

namespace fs = std::filesystem;

class ShowFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("corvalis_show_file_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A picture of `width` x `height` in one colour (blue, green, red), written by OpenCV.
    std::string writePicture(const std::string& name, int width, int height, cv::Scalar bgr = {40, 120, 200}) {
        const std::string path = (dir_ / name).string();
        const cv::Mat image(height, width, CV_8UC3, bgr);
        EXPECT_TRUE(cv::imwrite(path, image)) << path;
        return path;
    }
    std::unique_ptr<QImage> thumbnail(const std::string& path, int maxWidth = 200, int maxHeight = 150) {
        return std::unique_ptr<QImage>(Mes_ShowFile(path.c_str(), maxWidth, maxHeight, nullptr));
    }

    fs::path dir_;
};

TEST_F(ShowFile, WidePicturesFitTheWidthAndTallOnesTheHeight) {
    auto image = thumbnail(writePicture("wide.bmp", 1360, 1024));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->size(), QSize(200, 150));

    image = thumbnail(writePicture("tall.bmp", 300, 600));  // 150 / 600
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->size(), QSize(75, 150));
}

TEST_F(ShowFile, SmallPicturesAreNeverEnlarged) {
    auto image = thumbnail(writePicture("small.bmp", 100, 50, {1, 2, 3}));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->size(), QSize(100, 50));
    EXPECT_EQ(image->pixel(99, 49), qRgb(3, 2, 1));
    image = thumbnail(writePicture("square.bmp", 60, 60));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->size(), QSize(60, 60));
}

TEST_F(ShowFile, JpegAndTiffGoThroughATemporaryBitmapThatIsRemoved) {
    for (const char* name : {"shot.jpg", "shot.tif"}) {
        const std::string path = writePicture(name, 1360, 1024);
        auto image = thumbnail(path);
        ASSERT_NE(image, nullptr) << name;
        EXPECT_EQ(image->size(), QSize(200, 150));
        const QColor c = image->pixelColor(100, 75);
        EXPECT_NEAR(c.red(), 200, 4);
        EXPECT_NEAR(c.green(), 120, 4);
        EXPECT_NEAR(c.blue(), 40, 4);
        EXPECT_FALSE(fs::exists(dir_ / "shot_tmp.bmp"));
    }
    // A grey JPEG comes back through an 8-bit bitmap with its grey table.
    const std::string grey = (dir_ / "grey.jpg").string();
    ASSERT_TRUE(cv::imwrite(grey, cv::Mat(40, 80, CV_8UC1, cv::Scalar(90))));
    auto image = thumbnail(grey);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->size(), QSize(80, 40));
    EXPECT_NEAR(image->pixelColor(10, 10).green(), 90, 3);
}

TEST_F(ShowFile, ExtensionTestIsCaseSensitive) {
    const std::string upper = writePicture("upper.jpg", 64, 48);
    fs::rename(upper, dir_ / "upper.JPG");
    EXPECT_EQ(thumbnail((dir_ / "upper.JPG").string()), nullptr);  // read as a bitmap
    EXPECT_FALSE(fs::exists(dir_ / "upper_tmp.bmp"));
}

TEST_F(ShowFile, RawMissingAndUnreadableFilesGiveNothing) {
    const std::string bmp = writePicture("frame.bmp", 8, 8);
    fs::copy_file(bmp, dir_ / "frame.raw");
    EXPECT_EQ(thumbnail((dir_ / "frame.raw").string()), nullptr);
    EXPECT_EQ(thumbnail((dir_ / "missing.jpg").string()), nullptr);
    EXPECT_EQ(thumbnail((dir_ / "missing.bmp").string()), nullptr);
    EXPECT_EQ(Mes_ShowFile(nullptr, 200, 150, nullptr), nullptr);
    EXPECT_EQ(thumbnail("g"), nullptr);
}

TEST_F(ShowFile, DisplayFileDrawsTheFileIntoTheRectangle) {
    // Left half blue, right half red.
    const std::string path = (dir_ / "halves.bmp").string();
    cv::Mat image(2, 2, CV_8UC3, cv::Scalar(255, 0, 0));
    image.at<cv::Vec3b>(0, 1) = image.at<cv::Vec3b>(1, 1) = cv::Vec3b(0, 0, 255);
    ASSERT_TRUE(cv::imwrite(path, image));

    QImage canvas(6, 4, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    {
        QPainter painter(&canvas);
        RECT rect{1, 0, 5, 4};
        EXPECT_EQ(Mes_DisplayFile(path.c_str(), &painter, &rect), 1);
        EXPECT_EQ(Mes_DisplayFile((dir_ / "missing.jpg").c_str(), &painter, &rect), 1);
    }
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(canvas.pixel(0, y), qRgb(0, 0, 0));
        EXPECT_EQ(canvas.pixel(1, y), qRgb(0, 0, 255));
        EXPECT_EQ(canvas.pixel(2, y), qRgb(0, 0, 255));
        EXPECT_EQ(canvas.pixel(3, y), qRgb(255, 0, 0));
        EXPECT_EQ(canvas.pixel(4, y), qRgb(255, 0, 0));
        EXPECT_EQ(canvas.pixel(5, y), qRgb(0, 0, 0));
    }
}

}  // namespace
