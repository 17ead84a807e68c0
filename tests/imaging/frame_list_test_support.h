#pragma once
// Shared by the frame-list tests: records, raw frames in the camera's packing, a
// scratch directory, and the picture a first-family frame should become, worked out
// from the driver's own decode with the flip and crop done here by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "file_text.h"
#include "ostra.h"
#include "vantelo.h"

namespace frame_list_test {

namespace fs = std::filesystem;

inline CameraRecord makeRecord(int cameraType, int width, int height, bool wide) {
    CameraRecord record{};
    record.camera_type = cameraType;
    record.image_width = width;
    record.image_height = height;
    record.data_width_16 = wide ? 1 : 0;
    record.crop_right = width;
    record.crop_bottom = height;
    record.save_format = 4;
    return record;
}

inline void setCrop(CameraRecord& record, int left, int top, int right, int bottom) {
    record.crop_left = left;
    record.crop_top = top;
    record.crop_right = right;
    record.crop_bottom = bottom;
}

// A 12-bit value as the camera sends it: high byte first, value in the upper 12 bits.
inline void putPacked(std::uint8_t* at, unsigned value) {
    at[0] = static_cast<std::uint8_t>(value >> 4);
    at[1] = static_cast<std::uint8_t>((value & 0xF) << 4);
}

inline std::vector<std::uint8_t> randomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    return bytes;
}

// A fresh directory that is the working directory for the test's lifetime.
class ScratchDirectory {
  public:
    ScratchDirectory() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = fs::temp_directory_path() / ("corvalis-framelist-" + std::string(info->name()) +
                                             "-" + std::to_string(::getpid()));
        fs::remove_all(path_);
        fs::create_directories(path_);
        previous_ = fs::current_path();
        fs::current_path(path_);
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        fs::current_path(previous_, ignored);
        fs::remove_all(path_, ignored);
    }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
    fs::path previous_;
};

// The 8-bit levels table entry for byte `b` with levels lo < hi, as the transform
// defines it: 0 up to lo, 255 from hi, rounded linear in between.
inline int levelled(int b, int lo, int hi) {
    if (b <= lo) return 0;
    if (b >= hi) return 255;
    return static_cast<int>(std::floor(static_cast<double>(b - lo) / (hi - lo) * 255.0 + 0.5));
}

// Opens the simulated first-family camera in `mode` with the data width asked for and
// gives the record the camera's picture size with the whole picture as crop.
inline void openCamera(CameraRecord& record, int mode, bool wide) {
    if (OstraIICameraSetResolution(mode) != 1) {
        ASSERT_EQ(OstraIICameraInit(mode, nullptr, nullptr), 1);
    }
    ASSERT_EQ(OstraIICameraSetDataWide(wide ? 1 : 0), 1);
    int width = 0;
    int height = 0;
    ASSERT_EQ(OstraIICameraGetImageSize(&width, &height), 1);
    record = makeRecord(21, width, height, wide);
}

// The record's crop of the driver's decode of `raw` (decoded from a copy), upright:
// top row first, `channels` samples a pixel (blue, green, red) of 8 or 16 bits.
template <typename Sample>
std::vector<Sample> expectedCrop(const CameraRecord& record, std::vector<std::uint8_t> raw) {
    const int width = record.image_width;
    const int height = record.image_height;
    const bool to8 = sizeof(Sample) == 1;
    std::vector<Sample> decoded(static_cast<std::size_t>(width) * height * 3);
    EXPECT_EQ(OstraIICameraDecode(raw.data(), reinterpret_cast<unsigned char*>(decoded.data()),
                                  width, height, to8 ? 1 : 0),
              1);
    std::vector<Sample> crop;
    for (int y = record.crop_top; y < record.crop_bottom; ++y) {
        const std::size_t row =
            static_cast<std::size_t>(height - 1 - y) * width;  // decode is bottom-up
        for (int x = record.crop_left; x < record.crop_right; ++x) {
            for (int c = 0; c < 3; ++c) crop.push_back(decoded[(row + x) * 3 + c]);
        }
    }
    return crop;
}

}  // namespace frame_list_test
