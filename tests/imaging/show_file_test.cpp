// Image files shown as thumbnails and drawn into a rectangle.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QImage>
#include <QPainter>
#include <filesystem>
#include <iterator>
#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>

#include "vantelo.h"

namespace {

namespace fs = std::filesystem;

class ShowFile : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directories(dir_); }
    void TearDown() override { fs::remove_all(dir_); }
    // A one-colour picture written by OpenCV.
    std::string write(const std::string& name, int width, int height,
                      cv::Scalar bgr = {40, 120, 200}) {
        const std::string path = (dir_ / name).string();
        EXPECT_TRUE(cv::imwrite(path, cv::Mat(height, width, CV_8UC3, bgr)));
        return path;
    }
    static std::unique_ptr<QImage> thumbnail(const std::string& path) {
        return std::unique_ptr<QImage>(Mes_ShowFile(path.c_str(), 200, 150, nullptr));
    }
    static QSize size(const std::string& path) {
        const auto image = thumbnail(path);
        return image ? image->size() : QSize();
    }
    const fs::path dir_ =
        fs::temp_directory_path() / ("corvalis_show_file_" + std::to_string(::getpid()));
};

TEST_F(ShowFile, ThumbnailsFitTheLimitsWithoutEnlarging) {
    EXPECT_EQ(size(write("wide.bmp", 1360, 1024)), QSize(200, 150));
    EXPECT_EQ(size(write("tall.bmp", 300, 600)), QSize(75, 150));
    EXPECT_EQ(size(write("small.bmp", 100, 50)), QSize(100, 50));
    EXPECT_EQ(size(write("square.bmp", 60, 60)), QSize(60, 60));
}

TEST_F(ShowFile, JpegAndTiffShowWithoutATemporaryBitmap) {
    for (const char* name : {"shot.jpg", "shot.tif"}) {
        const auto image = thumbnail(write(name, 1360, 1024));
        ASSERT_NE(image, nullptr) << name;
        EXPECT_EQ(image->size(), QSize(200, 150));
        const QColor c = image->pixelColor(100, 75);
        EXPECT_NEAR(c.red(), 200, 4);
        EXPECT_NEAR(c.blue(), 40, 4);
        EXPECT_FALSE(fs::exists(dir_ / "shot_tmp.bmp"));
    }
    // A grey JPEG comes back grey.
    ASSERT_TRUE(
        cv::imwrite((dir_ / "grey.jpg").string(), cv::Mat(40, 80, CV_8UC1, cv::Scalar(90))));
    const auto grey = thumbnail((dir_ / "grey.jpg").string());
    ASSERT_NE(grey, nullptr);
    EXPECT_NEAR(grey->pixelColor(10, 10).green(), 90, 3);
}

// JPEG and TIFF files are decoded in memory: a user's file named like the temporary
// bitmap of old stays as it was, and the folder gains nothing.
TEST_F(ShowFile, AFileNamedLikeTheOldTemporaryBitmapIsLeftAlone) {
    for (const char* name : {"sky.jpg", "sky.tif"}) {
        SCOPED_TRACE(name);
        const std::string keep = (dir_ / "sky_tmp.bmp").string();
        write("sky_tmp.bmp", 30, 20, {1, 2, 3});
        const auto before = fs::file_size(keep);
        const auto last = fs::last_write_time(keep);
        const auto image = thumbnail(write(name, 320, 240, {200, 100, 50}));
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->size(), QSize(200, 150));
        EXPECT_NEAR(image->pixelColor(100, 75).blue(), 200, 4);
        EXPECT_EQ(fs::file_size(keep), before);
        EXPECT_EQ(fs::last_write_time(keep), last);
        const cv::Mat kept = cv::imread(keep);
        ASSERT_FALSE(kept.empty());
        EXPECT_EQ(kept.at<cv::Vec3b>(0, 0), cv::Vec3b(1, 2, 3));
        EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
        fs::remove(dir_ / name);
    }
}

TEST_F(ShowFile, UpperCaseJpgRawAndMissingFilesGiveNothing) {
    fs::rename(write("upper.jpg", 64, 48), dir_ / "upper.JPG");  // read as a bitmap
    EXPECT_EQ(thumbnail((dir_ / "upper.JPG").string()), nullptr);
    EXPECT_FALSE(fs::exists(dir_ / "upper_tmp.bmp"));
    fs::rename(write("frame.bmp", 8, 8), dir_ / "frame.raw");
    EXPECT_EQ(thumbnail((dir_ / "frame.raw").string()), nullptr);
    EXPECT_EQ(thumbnail((dir_ / "missing.jpg").string()), nullptr);
    EXPECT_EQ(Mes_ShowFile(nullptr, 200, 150, nullptr), nullptr);
}

TEST_F(ShowFile, DisplayFileStretchesTheFileIntoTheRectangle) {
    cv::Mat halves(2, 2, CV_8UC3, cv::Scalar(255, 0, 0));  // left blue, right red
    halves.at<cv::Vec3b>(0, 1) = halves.at<cv::Vec3b>(1, 1) = cv::Vec3b(0, 0, 255);
    const std::string path = (dir_ / "halves.bmp").string();
    ASSERT_TRUE(cv::imwrite(path, halves));
    QImage canvas(6, 4, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    {
        QPainter painter(&canvas);
        RECT rect{1, 0, 5, 4};
        EXPECT_EQ(Mes_DisplayFile(path.c_str(), &painter, &rect), 1);
        EXPECT_EQ(Mes_DisplayFile((dir_ / "missing.jpg").c_str(), &painter, &rect),
                  1);  // draws nothing
    }
    const QRgb columns[6] = {qRgb(0, 0, 0),   qRgb(0, 0, 255), qRgb(0, 0, 255),
                             qRgb(255, 0, 0), qRgb(255, 0, 0), qRgb(0, 0, 0)};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) EXPECT_EQ(canvas.pixel(x, y), columns[x]) << x << "," << y;
}

}  // namespace
