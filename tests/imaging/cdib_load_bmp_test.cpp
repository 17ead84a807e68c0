// Reading bitmap files: what the picture class holds, and refusal, with the picture
// kept, of every file that is cut short, claims more than it holds or is malformed.
// The inputs the fuzzer kept are replayed here too.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QImage>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "cdib.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

void put(Bytes& b, std::size_t at, std::uint32_t v, int bytes = 4) {
    for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A bitmap file with a `header`-byte information header, `colours` table entries
// (entry i is blue i, green 2i, red 3i) and row byte k = k x 13 + 1.
Bytes makeBmp(int width, int height, int bits, int colours = 0, int header = 40,
              std::uint32_t used = 0) {
    const std::size_t image = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4 * height;
    const std::size_t tableAt = 14 + header, pixelsAt = tableAt + 4 * colours;
    Bytes b(pixelsAt + image, 0);
    b[0] = 'B', b[1] = 'M';
    put(b, 10, pixelsAt);
    put(b, 14, header);
    put(b, 18, width);
    put(b, 22, height);
    put(b, 26, 1, 2);
    put(b, 28, bits, 2);
    put(b, 34, image);
    put(b, 46, used);
    for (int i = 0; i < colours; ++i)
        put(b, tableAt + 4 * i, i | (2 * i & 0xFF) << 8 | (3 * i & 0xFF) << 16);
    for (std::size_t k = 0; k < image; ++k) b[pixelsAt + k] = static_cast<std::uint8_t>(k * 13 + 1);
    return b;
}

class LoadBmp : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::vector<unsigned char> pixels(4 * 4 * 3, 77);
        dib_.SetFromPixels(pixels.data(), 4, 4);
        before_ = dib_.Block();
    }
    void TearDown() override { fs::remove(path_); }
    // Loads `bytes`; a refusal must leave the picture as it was.
    int load(const Bytes& bytes) {
        std::ofstream(path_, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        const int result = dib_.LoadBmpFile(path_.c_str());
        if (result == 0) {
            EXPECT_EQ(dib_.Block(), before_);
        }
        return result;
    }
    int loadWith(std::size_t at, std::uint32_t value, int bytes = 4) {
        Bytes b = makeBmp(3, 2, 24);
        put(b, at, value, bytes);
        return load(b);
    }
    std::string path_ =
        (fs::temp_directory_path() / ("corvalis_load_bmp_" + std::to_string(::getpid()))).string();
    CDib dib_;
    Bytes before_;
};

TEST_F(LoadBmp, ReadsRowsTablesAndLongerHeaders) {
    Bytes file = makeBmp(3, 2, 24);
    put(file, 34, 0);  // image size left to the reader
    ASSERT_EQ(load(file), 1);
    EXPECT_EQ(dib_.Width(), 3);
    EXPECT_EQ(Bytes(dib_.Block().begin() + 40, dib_.Block().end()),
              Bytes(file.begin() + 54, file.end()));

    // 8 bits with 3 used colours: byte 1 is entry 1, byte 14 lies past the table.
    ASSERT_EQ(load(makeBmp(3, 1, 8, 3, 40, 3)), 1);
    std::unique_ptr<QImage> image(dib_.MakeBitmap(nullptr));
    EXPECT_EQ(image->pixel(0, 0), qRgb(3, 2, 1));
    EXPECT_EQ(image->pixel(1, 0), qRgb(0, 0, 0));
    // 1 bit: byte 1 sets only column 7; resampled through the table to 24 bits.
    ASSERT_EQ(load(makeBmp(9, 1, 1, 2)), 1);
    ASSERT_EQ(dib_.Resample(9, 2), 1);
    image.reset(dib_.MakeBitmap(nullptr));
    EXPECT_EQ(image->pixel(6, 1), qRgb(0, 0, 0));
    EXPECT_EQ(image->pixel(7, 1), qRgb(3, 2, 1));
    // A 124-byte header: the table follows it, and the picture keeps a 40-byte one.
    ASSERT_EQ(load(makeBmp(2, 2, 8, 256, 124)), 1);
    EXPECT_EQ(dib_.Block()[0], 40);
    EXPECT_EQ(dib_.Block()[40 + 4 * 5 + 2], 15);
}

TEST_F(LoadBmp, CutShortFilesAreRefused) {
    for (const Bytes& file : {makeBmp(3, 2, 24), makeBmp(5, 3, 8, 256)}) {
        // Every cut through the headers, then cuts through the table and rows.
        for (std::size_t n = 0; n < file.size(); n += n < 64 ? 1 : 37)
            EXPECT_EQ(load(Bytes(file.begin(), file.begin() + n)), 0) << n;
        EXPECT_EQ(load(Bytes(file.begin(), file.end() - 1)), 0);
    }
}

TEST_F(LoadBmp, OversizedAndMalformedFilesAreRefused) {
    Bytes huge = makeBmp(3, 2, 24);
    put(huge, 18, 30000);  // 2.7 GB of rows in a 78-byte file
    put(huge, 22, 30000);
    EXPECT_EQ(load(huge), 0);
    EXPECT_EQ(loadWith(18, 0x7FFFFFFF), 0);  // a stride that would overflow
    EXPECT_EQ(loadWith(18, CDib::kMaxSide + 1), 0);
    EXPECT_EQ(loadWith(10, 0xFFFFFFF0u), 0);       // rows past the end
    EXPECT_EQ(loadWith(10, 20), 0);                // rows inside the headers
    EXPECT_EQ(loadWith(46, 1000), 0);              // a table no depth has
    EXPECT_EQ(loadWith(0, 'B' | 'X' << 8, 2), 0);  // signature
    EXPECT_EQ(loadWith(14, 12), 0);                // the old 12-byte header
    EXPECT_EQ(loadWith(14, 20), 0);
    EXPECT_EQ(loadWith(14, 0xFFFFFFF0u), 0);
    EXPECT_EQ(loadWith(18, static_cast<std::uint32_t>(-3)), 0);
    EXPECT_EQ(loadWith(22, 0), 0);
    EXPECT_EQ(loadWith(22, static_cast<std::uint32_t>(-2)), 0);  // top-down rows
    EXPECT_EQ(loadWith(28, 16, 2), 0);
    EXPECT_EQ(loadWith(28, 0, 2), 0);
    EXPECT_EQ(loadWith(30, 1), 0);   // run-length compression
    EXPECT_EQ(loadWith(30, 3), 0);   // bit fields
    EXPECT_EQ(loadWith(34, 23), 0);  // image size below the rows
    EXPECT_EQ(dib_.LoadBmpFile("/nonexistent/picture.bmp"), 0);
    EXPECT_EQ(dib_.LoadBmpFile(fs::temp_directory_path().c_str()), 0);
    EXPECT_EQ(dib_.Block(), before_);
}

TEST(LoadBmpRegressions, EveryKeptInputIsReadOrRefusedSafely) {
    int files = 0;
    for (const auto& entry : fs::directory_iterator(BMP_REGRESSIONS_DIR)) {
        ++files;
        CDib dib;
        if (dib.LoadBmpFile(entry.path().c_str()) == 0) {
            EXPECT_TRUE(dib.IsEmpty());
            continue;
        }
        std::unique_ptr<QImage> image(dib.MakeBitmap(nullptr));
        ASSERT_NE(image, nullptr) << entry.path();
        EXPECT_EQ(image->size(), QSize(dib.Width(), dib.Height()));
        EXPECT_EQ(dib.Resample(3, 2), 1) << entry.path();
    }
    EXPECT_GT(files, 0);
}

}  // namespace
