// Reading bitmap files: the depths the picture class holds, and refusal of every file
// that is cut short, claims more than it holds or is malformed, with the picture kept.
// The files the fuzzer kept are replayed here too.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "cdib.h"

namespace {

namespace fs = std::filesystem;

void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

// A bitmap file: file header, an information header of `headerBytes` (40 or more),
// `colours` table entries (entry i is i, 2i, 3i) and rows where byte k of the rows is
// k * 13 + 1.
struct BmpSpec {
    int width = 3, height = 2, bits = 24, colours = 0, headerBytes = 40;
    std::uint32_t usedColours = 0;
};
std::vector<std::uint8_t> makeBmp(const BmpSpec& s) {
    const std::size_t stride = (static_cast<std::size_t>(s.width) * s.bits + 31) / 32 * 4;
    const std::size_t image = stride * s.height;
    const std::size_t tableAt = 14 + s.headerBytes;
    const std::size_t pixelsAt = tableAt + 4 * s.colours;
    std::vector<std::uint8_t> b(pixelsAt + image, 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, static_cast<std::uint32_t>(b.size()));
    put32(b, 10, static_cast<std::uint32_t>(pixelsAt));
    put32(b, 14, s.headerBytes);
    put32(b, 18, s.width);
    put32(b, 22, s.height);
    put16(b, 26, 1);
    put16(b, 28, static_cast<std::uint16_t>(s.bits));
    put32(b, 34, static_cast<std::uint32_t>(image));
    put32(b, 46, s.usedColours);
    for (int i = 0; i < s.colours; ++i) {
        b[tableAt + 4 * i] = static_cast<std::uint8_t>(i);
        b[tableAt + 4 * i + 1] = static_cast<std::uint8_t>(2 * i);
        b[tableAt + 4 * i + 2] = static_cast<std::uint8_t>(3 * i);
    }
    for (std::size_t k = 0; k < image; ++k) b[pixelsAt + k] = static_cast<std::uint8_t>(k * 13 + 1);
    return b;
}

class LoadBmp : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("corvalis_load_bmp_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        path_ = (dir_ / "picture.bmp").string();
        // A picture that every refused load must leave alone.
        const std::vector<unsigned char> pixels(4 * 4 * 3, 77);
        kept_.SetFromPixels(pixels.data(), 4, 4);
        before_ = kept_.Block();
    }
    void TearDown() override { fs::remove_all(dir_); }

    void write(const std::vector<std::uint8_t>& bytes) {
        std::ofstream(path_, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    // Loads `bytes` into the kept picture; a refusal must not touch it.
    int load(const std::vector<std::uint8_t>& bytes) {
        write(bytes);
        const int result = kept_.LoadBmpFile(path_.c_str());
        if (result == 0) {
            EXPECT_EQ(kept_.Block(), before_);
        }
        return result;
    }

    fs::path dir_;
    std::string path_;
    CDib kept_;
    std::vector<std::uint8_t> before_;
};

TEST_F(LoadBmp, Reads24BitRowsAsStored) {
    const auto file = makeBmp({});
    ASSERT_EQ(load(file), 1);
    EXPECT_EQ(kept_.Width(), 3);
    EXPECT_EQ(kept_.Height(), 2);
    EXPECT_EQ(kept_.BitCount(), 24);
    const auto& b = kept_.Block();
    ASSERT_EQ(b.size(), 40u + 24);
    EXPECT_TRUE(std::equal(b.begin() + 40, b.end(), file.begin() + 54));
}

TEST_F(LoadBmp, IndexedPicturesShowTheirTableColours) {
    // 8 bits, 3 used colours; row bytes are 1, 14, 27, ... so index 1 appears once and
    // the others point past the table and show black.
    BmpSpec spec{3, 1, 8, 3, 40, 3};
    ASSERT_EQ(load(makeBmp(spec)), 1);
    EXPECT_EQ(kept_.ColorCount(), 3);
    std::unique_ptr<QImage> image(kept_.MakeBitmap(nullptr));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixel(0, 0), qRgb(3, 2, 1));  // entry 1: blue 1, green 2, red 3
    EXPECT_EQ(image->pixel(1, 0), qRgb(0, 0, 0));

    // 1 bit, two entries: byte 1 = bits 0000 0001 for the first eight columns.
    spec = {9, 1, 1, 2, 40, 0};
    ASSERT_EQ(load(makeBmp(spec)), 1);
    ASSERT_EQ(kept_.Resample(9, 2), 1);  // through the table to 24 bits
    image.reset(kept_.MakeBitmap(nullptr));
    EXPECT_EQ(image->pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(image->pixel(7, 1), qRgb(3, 2, 1));
    EXPECT_EQ(image->pixel(8, 0), qRgb(0, 0, 0));  // second byte 14 = 0000 1110

    // 4 bits, sixteen entries: byte 1 holds index 0 then 1.
    spec = {2, 1, 4, 16, 40, 0};
    ASSERT_EQ(load(makeBmp(spec)), 1);
    image.reset(kept_.MakeBitmap(nullptr));
    EXPECT_EQ(image->pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(image->pixel(1, 0), qRgb(3, 2, 1));
}

TEST_F(LoadBmp, LongerHeadersAreReadFromTheirOwnLength) {
    // A 124-byte header: the table follows it, not the first 40 bytes.
    BmpSpec spec{2, 2, 8, 256, 124, 0};
    ASSERT_EQ(load(makeBmp(spec)), 1);
    const auto& b = kept_.Block();
    ASSERT_EQ(b.size(), 40u + 1024 + 8);
    EXPECT_EQ(b[40 + 4 * 5 + 2], 15);  // entry 5, red 3 x 5
    EXPECT_EQ(b[0], 40);
}

TEST_F(LoadBmp, EveryCutShortFileIsRefused) {
    for (const BmpSpec& spec : {BmpSpec{}, BmpSpec{5, 3, 8, 256, 40, 0}}) {
        const auto file = makeBmp(spec);
        // Every cut through the headers, then cuts through the table and rows.
        std::vector<std::size_t> cuts;
        for (std::size_t n = 0; n < file.size(); n += n < 64 ? 1 : 37) cuts.push_back(n);
        cuts.push_back(file.size() - 1);
        for (std::size_t n : cuts)
            EXPECT_EQ(load(std::vector<std::uint8_t>(file.begin(), file.begin() + n)), 0) << "length " << n;
    }
}

TEST_F(LoadBmp, SizesBeyondTheFileOrBeyondReasonAreRefused) {
    auto file = makeBmp({});
    auto bad = file;
    put32(bad, 18, 30000);  // rows far longer than the file
    put32(bad, 22, 30000);
    EXPECT_EQ(load(bad), 0);
    bad = file;
    put32(bad, 18, 0x7FFFFFFF);  // a stride that would overflow
    EXPECT_EQ(load(bad), 0);
    bad = file;
    put32(bad, 18, CDib::kMaxSide + 1);
    put32(bad, 22, 1);
    bad.resize(bad.size() + 4 * (CDib::kMaxSide + 1));
    EXPECT_EQ(load(bad), 0);
    bad = file;
    put32(bad, 10, 0xFFFFFFF0u);  // pixel data past the end
    EXPECT_EQ(load(bad), 0);
    bad = file;
    put32(bad, 46, 1000);  // a table longer than any depth has
    EXPECT_EQ(load(bad), 0);
    bad = makeBmp({4, 4, 8, 256, 40, 0});
    put32(bad, 46, 0xFFFFFFFFu);
    EXPECT_EQ(load(bad), 0);
}

TEST_F(LoadBmp, MalformedHeadersAreRefused) {
    const auto file = makeBmp({});
    const auto refusedWith = [&](std::size_t at, std::uint32_t value, int width) {
        auto bad = file;
        if (width == 2) {
            put16(bad, at, static_cast<std::uint16_t>(value));
        } else {
            put32(bad, at, value);
        }
        return load(bad) == 0;
    };
    auto bad = file;
    bad[1] = 'A';
    EXPECT_EQ(load(bad), 0) << "signature";
    EXPECT_TRUE(refusedWith(14, 12, 4)) << "12-byte core header";
    EXPECT_TRUE(refusedWith(14, 20, 4)) << "header shorter than 40";
    EXPECT_TRUE(refusedWith(14, 0xFFFFFFF0u, 4)) << "header longer than the file";
    EXPECT_TRUE(refusedWith(18, 0, 4)) << "zero width";
    EXPECT_TRUE(refusedWith(18, static_cast<std::uint32_t>(-3), 4)) << "negative width";
    EXPECT_TRUE(refusedWith(22, 0, 4)) << "zero height";
    EXPECT_TRUE(refusedWith(22, static_cast<std::uint32_t>(-2), 4)) << "top-down rows";
    EXPECT_TRUE(refusedWith(28, 16, 2)) << "16 bits";
    EXPECT_TRUE(refusedWith(28, 0, 2)) << "0 bits";
    EXPECT_TRUE(refusedWith(30, 1, 4)) << "run-length compression";
    EXPECT_TRUE(refusedWith(30, 3, 4)) << "bit fields";
    EXPECT_TRUE(refusedWith(34, 23, 4)) << "image size below the rows";
    EXPECT_TRUE(refusedWith(10, 20, 4)) << "rows inside the headers";
    EXPECT_EQ(kept_.LoadBmpFile((dir_ / "missing.bmp").c_str()), 0);
    EXPECT_EQ(kept_.LoadBmpFile(nullptr), 0);
    EXPECT_EQ(kept_.LoadBmpFile(dir_.c_str()), 0);  // a directory
    EXPECT_EQ(kept_.Block(), before_);
}

TEST_F(LoadBmp, ToleratesAZeroImageSizeAndAZeroPixelOffset) {
    auto file = makeBmp({});
    put32(file, 34, 0);
    ASSERT_EQ(load(file), 1);
    put32(file, 10, 0);  // rows straight after the (empty) table
    ASSERT_EQ(load(file), 1);
    EXPECT_TRUE(std::equal(kept_.Block().begin() + 40, kept_.Block().end(), file.begin() + 54));
}

// Every file the fuzzer kept, and its seeds: each is either read or refused, and a
// read picture can be resampled, drawn and copied out.
TEST(LoadBmpRegressions, EveryKeptInputIsReadOrRefusedSafely) {
    const fs::path dir = BMP_REGRESSIONS_DIR;
    ASSERT_TRUE(fs::is_directory(dir)) << dir;
    int files = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        ++files;
        CDib dib;
        const int result = dib.LoadBmpFile(entry.path().c_str());
        EXPECT_TRUE(result == 0 || result == 1) << entry.path();
        if (result == 0) {
            EXPECT_TRUE(dib.IsEmpty()) << entry.path();
            continue;
        }
        std::unique_ptr<QImage> image(dib.MakeBitmap(nullptr));
        ASSERT_NE(image, nullptr) << entry.path();
        EXPECT_EQ(image->width(), dib.Width());
        EXPECT_EQ(dib.Resample(3, 2), 1) << entry.path();
    }
    EXPECT_GT(files, 0);
}

}  // namespace
