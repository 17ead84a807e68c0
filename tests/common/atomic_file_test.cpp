// Replacing a file only once its new contents are complete: what a failure at each step
// leaves, read-only and odd targets, the permission bits, and the folder afterwards.
#include "common/atomic_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "file_size_limit.h"

namespace {

namespace fs = std::filesystem;
using corvalis::replaceFile;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}
bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Writes `text` through the file and reports success.
auto writing(const std::string& text) {
    return [text](std::FILE* file) {
        return std::fwrite(text.data(), 1, text.size(), file) == text.size();
    };
}

class ReplaceFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/corvalis-replace-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        path = dir / "frame.raw";
    }
    void TearDown() override { fs::remove_all(dir); }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename());
        std::sort(out.begin(), out.end());
        return out;
    }
    fs::path dir, path;
    std::string error;
};

TEST_F(ReplaceFile, WritesANewFileAndReplacesAnOldOne) {
    ASSERT_TRUE(replaceFile(path, writing("first"), error)) << error;
    EXPECT_EQ(readFile(path), "first");
    ASSERT_TRUE(replaceFile(path, writing("second, longer"), error)) << error;
    EXPECT_EQ(readFile(path), "second, longer");
    ASSERT_TRUE(replaceFile(path, writing(""), error)) << error;
    EXPECT_EQ(readFile(path), "");
    EXPECT_EQ(names(), std::vector<std::string>{"frame.raw"});
}

// While the new contents are written the target still holds the old ones: they go
// somewhere else first.
TEST_F(ReplaceFile, TheTargetKeepsItsContentsUntilTheNewOnesAreComplete) {
    writeFile(path, "earlier");
    std::string seenMeanwhile;
    std::vector<std::string> namesMeanwhile;
    ASSERT_TRUE(replaceFile(
        path,
        [&](std::FILE* file) {
            std::fputs("later", file);
            std::fflush(file);
            seenMeanwhile = readFile(path);
            namesMeanwhile = names();
            return true;
        },
        error));
    EXPECT_EQ(seenMeanwhile, "earlier");
    EXPECT_EQ(namesMeanwhile.size(), 2u) << "the new contents go to a file beside the target";
    EXPECT_EQ(readFile(path), "later");
    EXPECT_EQ(names(), std::vector<std::string>{"frame.raw"});
}

TEST_F(ReplaceFile, AFailedFillKeepsTheEarlierFileByteForByte) {
    const std::string earlier("\x00\x01\xff earlier\r\n", 13);
    writeFile(path, earlier);
    EXPECT_FALSE(replaceFile(
        path,
        [](std::FILE* file) {
            std::fputs("half of it", file);
            errno = ENOSPC;
            return false;
        },
        error));
    EXPECT_EQ(readFile(path), earlier);
    EXPECT_TRUE(has(error, path.string())) << error;
    EXPECT_TRUE(has(error, std::strerror(ENOSPC))) << error;
    EXPECT_EQ(names(), std::vector<std::string>{"frame.raw"});
}

TEST_F(ReplaceFile, RunningOutOfRoomKeepsTheEarlierFile) {
    writeFile(path, "earlier");
    const std::string big(64 * 1024, 'x');
    {
        FileSizeLimit limit(1000);
        EXPECT_FALSE(replaceFile(path, writing(big), error));
    }
    EXPECT_TRUE(has(error, std::strerror(EFBIG))) << error;
    EXPECT_EQ(readFile(path), "earlier");
    EXPECT_EQ(names(), std::vector<std::string>{"frame.raw"});
}

TEST_F(ReplaceFile, AReadOnlyFileIsRefusedAndKept) {
    writeFile(path, "calibration");
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read);
    bool filled = false;
    EXPECT_FALSE(replaceFile(
        path,
        [&](std::FILE*) {
            filled = true;
            return true;
        },
        error));
    EXPECT_FALSE(filled);
    EXPECT_TRUE(has(error, "refusing to replace " + path.string())) << error;
    EXPECT_EQ(readFile(path), "calibration");
    EXPECT_EQ(names(), std::vector<std::string>{"frame.raw"});
}

TEST_F(ReplaceFile, WhatIsNotARegularFileIsRefusedAndKept) {
    fs::create_directory(path);
    EXPECT_FALSE(replaceFile(path, writing("x"), error));
    EXPECT_TRUE(has(error, "not a regular file")) << error;
    EXPECT_TRUE(fs::is_directory(path));

    const fs::path link = dir / "link.raw";
    fs::create_symlink("/dev/null", link);
    EXPECT_FALSE(replaceFile(link, writing("x"), error));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(names(), (std::vector<std::string>{"frame.raw", "link.raw"}));
}

TEST_F(ReplaceFile, AMissingFolderIsReported) {
    EXPECT_FALSE(replaceFile(dir / "missing" / "frame.raw", writing("x"), error));
    EXPECT_TRUE(has(error, (dir / "missing" / "frame.raw").string())) << error;
    EXPECT_TRUE(has(error, std::strerror(ENOENT))) << error;
    EXPECT_TRUE(names().empty());
}

TEST_F(ReplaceFile, AReplacedFileKeepsItsPermissionBits) {
    writeFile(path, "old");
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(replaceFile(path, writing("new"), error)) << error;
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

// Files beside the target, whatever their names, are never touched.
TEST_F(ReplaceFile, OtherFilesInTheFolderAreLeftAlone) {
    writeFile(dir / "frame.raw.tmp", "user's");
    writeFile(dir / ".frame.raw.part", "user's too");
    writeFile(dir / "frame_tmp.bmp", "and this");
    ASSERT_TRUE(replaceFile(path, writing("new"), error)) << error;
    EXPECT_EQ(readFile(dir / "frame.raw.tmp"), "user's");
    EXPECT_EQ(readFile(dir / ".frame.raw.part"), "user's too");
    EXPECT_EQ(readFile(dir / "frame_tmp.bmp"), "and this");
    EXPECT_EQ(names().size(), 4u);
}

}  // namespace
