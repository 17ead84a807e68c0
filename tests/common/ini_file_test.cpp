#include "common/ini_file.h"
#include "file_size_limit.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "file_text.h"
#include "scratch_directory.h"

using corvalis::IniFile;
namespace fs = std::filesystem;

namespace {

const char* const kCaptureIni =
    "; written by hand\n"
    "[Path]\n"
    "SaveDir = /home/observer/frames \n"
    "Quoted=\"  spaced  \"\n"
    "Single='x'\n"
    "\n"
    "[Keys]\n"
    "F1=Capture\n";

// A scratch directory removed at the end of each test.
class IniFiles : public ::testing::Test {
  protected:
    void SetUp() override { dir = scratch.path(); }

    ScratchDirectory scratch{"ini"};
    fs::path dir;
};

}  // namespace

// --- Reading as the profile string read does ---

TEST(IniRead, NamesCompareWithoutCase) {
    const IniFile file = IniFile::parse(kCaptureIni);
    EXPECT_EQ(file.value("path", "savedir").value_or("?"), "/home/observer/frames");
    EXPECT_EQ(file.value("PATH", "SAVEDIR").value_or("?"), "/home/observer/frames");
    EXPECT_TRUE(file.hasSection("keys"));
    EXPECT_EQ(file.value("kEYs", "f1").value_or("?"), "Capture");
}

TEST(IniRead, MissingSectionOrKeyGivesTheDefault) {
    const IniFile file = IniFile::parse(kCaptureIni);
    EXPECT_EQ(file.readString("Path", "Nothing", "fallback"), "fallback");
    EXPECT_EQ(file.readString("Nowhere", "SaveDir", "fallback"), "fallback");
    EXPECT_FALSE(file.value("Nowhere", "SaveDir").has_value());
    // A key of another section is not found in this one.
    EXPECT_EQ(file.readString("Path", "F1", ""), "");
}

TEST(IniRead, BlanksAroundNamesAndValuesAndMatchingQuotesAreRemoved) {
    const IniFile file = IniFile::parse(kCaptureIni);
    EXPECT_EQ(file.readString("Path", "Quoted", ""), "  spaced  ");
    EXPECT_EQ(file.readString("Path", "Single", ""), "x");
    const IniFile loose = IniFile::parse("  [ Loose ]  \n  key  =  a = b  \nhalf=\"open\n");
    EXPECT_EQ(loose.readString("Loose", "key", ""), "a = b");
    EXPECT_EQ(loose.readString("Loose", "half", ""), "\"open");
}

TEST(IniRead, FirstSectionAndFirstKeyWin) {
    const IniFile file = IniFile::parse("[A]\nk=1\nk=2\n[a]\nk=3\nj=4\n");
    EXPECT_EQ(file.readString("A", "k", ""), "1");
    // Only the first section of the name is looked at.
    EXPECT_EQ(file.readString("A", "j", "none"), "none");
}

TEST(IniRead, ValuesAreCutToTheBuffer) {
    const std::string longValue(300, 'v');
    const IniFile file = IniFile::parse("[S]\nlong=" + longValue + "\n");
    EXPECT_EQ(file.readString("S", "long", "").size(), 259u);
    EXPECT_EQ(file.readString("S", "long", "", 5), "vvvv");
    EXPECT_EQ(file.readString("S", "long", "", 1), "");
    EXPECT_EQ(file.readString("S", "long", "", 0), "");
    EXPECT_EQ(file.readString("S", "missing", "abcdef", 4), "abc");
    EXPECT_EQ(file.value("S", "long").value_or("").size(), 300u);
}

// --- Writing ---

TEST(IniWrite, ReplacingAValueKeepsEveryOtherLine) {
    IniFile file = IniFile::parse(kCaptureIni);
    ASSERT_TRUE(file.setValue("PATH", "savedir", "/data"));
    EXPECT_EQ(file.text(),
              "; written by hand\n"
              "[Path]\n"
              "SaveDir=/data\n"
              "Quoted=\"  spaced  \"\n"
              "Single='x'\n"
              "\n"
              "[Keys]\n"
              "F1=Capture\n");
}

TEST(IniWrite, NewKeysGoAfterTheLastKeyOfTheirSectionAndNewSectionsAtTheEnd) {
    IniFile file = IniFile::parse(kCaptureIni);
    ASSERT_TRUE(file.setValue("Path", "Format", "tif"));
    ASSERT_TRUE(file.setValue("Serial", "Port", "3"));
    EXPECT_EQ(file.text(),
              "; written by hand\n"
              "[Path]\n"
              "SaveDir = /home/observer/frames \n"
              "Quoted=\"  spaced  \"\n"
              "Single='x'\n"
              "Format=tif\n"
              "\n"
              "[Keys]\n"
              "F1=Capture\n"
              "[Serial]\n"
              "Port=3\n");
    EXPECT_EQ(file.readString("serial", "port", ""), "3");
}

TEST(IniWrite, AnEmptyFileGrowsFromNothing) {
    IniFile file;
    ASSERT_TRUE(file.addSection("Software\\VELMAR\\Pelion\\setupa"));
    ASSERT_TRUE(file.addSection("software\\velmar\\pelion\\SETUPA"));  // already there
    ASSERT_TRUE(file.setValue("Software\\VELMAR\\Pelion\\setupa", "paraTeam", "2"));
    EXPECT_EQ(file.text(), "[Software\\VELMAR\\Pelion\\setupa]\nparaTeam=2\n");
}

TEST(IniWrite, ValuesReadBackAsAReloadWouldReadThem) {
    IniFile file;
    ASSERT_TRUE(file.setValue("S", "k", "  padded  "));
    EXPECT_EQ(file.readString("S", "k", ""), IniFile::parse(file.text()).readString("S", "k", "?"));
    EXPECT_EQ(file.readString("S", "k", ""), "padded");
}

TEST(IniWrite, NamesAndValuesTheFileCannotHoldAreRefusedAndChangeNothing) {
    IniFile file = IniFile::parse(kCaptureIni);
    const std::string before = file.text();
    EXPECT_FALSE(file.setValue("Pa]th", "k", "v"));
    EXPECT_FALSE(file.setValue("", "k", "v"));
    EXPECT_FALSE(file.setValue("Path", "", "v"));
    EXPECT_FALSE(file.setValue("Path", "a=b", "v"));
    EXPECT_FALSE(file.setValue("Path", "[k", "v"));
    EXPECT_FALSE(file.setValue("Path", ";k", "v"));
    EXPECT_FALSE(file.setValue("Path", "k", "two\nlines"));
    EXPECT_FALSE(file.setValue("Path\n[Evil]", "k", "v"));
    EXPECT_FALSE(file.addSection("a]b"));
    EXPECT_FALSE(file.addSection("  "));
    EXPECT_EQ(file.text(), before);
}

TEST(IniWrite, WindowsLineBreaksAndAMissingLastLineBreakAreKept) {
    IniFile crlf = IniFile::parse("[S]\r\na=1\r\n");
    EXPECT_EQ(crlf.readString("S", "a", ""), "1");
    ASSERT_TRUE(crlf.setValue("S", "b", "2"));
    EXPECT_EQ(crlf.text(), "[S]\r\na=1\r\nb=2\r\n");

    IniFile open = IniFile::parse("[S]\na=1");
    EXPECT_EQ(open.text(), "[S]\na=1");
    ASSERT_TRUE(open.setValue("S", "a", "5"));
    EXPECT_EQ(open.text(), "[S]\na=5");
    ASSERT_TRUE(open.setValue("S", "b", "6"));
    EXPECT_EQ(open.text(), "[S]\na=5\nb=6\n");
}

// --- Damaged input ---

TEST(IniDamaged, BadLinesAreSkippedByLookupsAndKeptWhenRewriting) {
    const std::string damaged = std::string(
                                    "orphan=before any section\n"
                                    "[Good]\n"
                                    "this line has no equals sign\n"
                                    "=no key\n"
                                    "value=1\n"
                                    "[Unclosed\n"
                                    "hidden=2\n") +
                                std::string("\x01\xff\xfe binary\0 junk\n", 17) +
                                "[Other]\n"
                                "x=3\n";
    IniFile file = IniFile::parse(damaged);
    EXPECT_EQ(file.readString("Good", "value", ""), "1");
    // The unclosed header is no section, so its key still belongs to [Good].
    EXPECT_EQ(file.readString("Good", "hidden", ""), "2");
    EXPECT_FALSE(file.hasSection("Unclosed"));
    EXPECT_EQ(file.readString("Good", "this line has no equals sign", "none"), "none");
    EXPECT_EQ(file.readString("Good", "", "none"), "none");
    EXPECT_EQ(file.readString("Other", "x", ""), "3");

    ASSERT_TRUE(file.setValue("Other", "x", "4"));
    std::string expected = damaged;
    expected.replace(expected.find("x=3"), 3, "x=4");
    EXPECT_EQ(file.text(), expected);
}

// --- Files ---

TEST_F(IniFiles, SaveAndLoadRoundTrip) {
    const fs::path path = dir / "Capture.ini";
    IniFile file = IniFile::parse(kCaptureIni);
    ASSERT_TRUE(file.setValue("Path", "SaveDir", "/srv/night"));
    std::string error;
    ASSERT_TRUE(file.save(path, error)) << error;
    EXPECT_FALSE(fs::exists(path.string() + ".tmp"));
    EXPECT_EQ(readText(path), file.text());

    IniFile loaded;
    ASSERT_TRUE(loaded.load(path, error)) << error;
    EXPECT_EQ(loaded.readString("path", "savedir", ""), "/srv/night");
    EXPECT_EQ(loaded.readString("keys", "f1", ""), "Capture");
}

TEST_F(IniFiles, AMissingFileReadsAsEmpty) {
    IniFile file = IniFile::parse("[Kept]\nk=1\n");
    std::string error;
    ASSERT_TRUE(file.load(dir / "absent.ini", error));
    EXPECT_EQ(file.text(), "");
    EXPECT_EQ(file.readString("Kept", "k", "default"), "default");
}

TEST_F(IniFiles, AnUnreadableFileIsAnErrorAndChangesNothing) {
    IniFile file = IniFile::parse("[Kept]\nk=1\n");
    std::string error;
    EXPECT_FALSE(file.load(dir, error));  // a directory
    EXPECT_NE(error.find(dir.string()), std::string::npos) << error;
    EXPECT_EQ(file.readString("Kept", "k", ""), "1");
}

TEST_F(IniFiles, AnOversizedFileIsRefused) {
    const fs::path path = dir / "huge.ini";
    writeText(path, "[S]\nk=1\n");
    fs::resize_file(path, IniFile::kMaxFileBytes + 1);
    IniFile file = IniFile::parse("[Kept]\nk=1\n");
    std::string error;
    EXPECT_FALSE(file.load(path, error));
    EXPECT_NE(error.find("larger"), std::string::npos) << error;
    EXPECT_EQ(file.readString("Kept", "k", ""), "1");

    fs::resize_file(path, IniFile::kMaxFileBytes);
    ASSERT_TRUE(file.load(path, error)) << error;
    EXPECT_EQ(file.readString("S", "k", ""), "1");
}

// Every line keeps its own break: a file mixing both kinds (edited by hand on two
// systems) loses no character of the lines a write does not touch.
TEST(IniText, MixedLineBreaksSurviveAnEditElsewhere) {
    IniFile file = IniFile::parse("[A]\nx=1\r\ny=2\n[B]\r\nz=3\r\nnote\r");
    ASSERT_TRUE(file.setValue("A", "y", "20"));
    EXPECT_EQ(file.text(), "[A]\nx=1\r\ny=20\n[B]\r\nz=3\r\nnote\r");
    ASSERT_TRUE(file.setValue("A", "x", "10"));
    EXPECT_EQ(file.text(), "[A]\nx=10\r\ny=20\n[B]\r\nz=3\r\nnote\r");
    // A new key takes the file's first break (and an added line ends the file with one).
    ASSERT_TRUE(file.setValue("A", "w", "5"));
    EXPECT_EQ(file.text(), "[A]\nx=10\r\ny=20\nw=5\n[B]\r\nz=3\r\nnote\r\n");
    EXPECT_EQ(file.value("B", "z"), "3");
}

TEST_F(IniFiles, AFailedSaveReportsAndLeavesTheOldFile) {
    const fs::path path = dir / "kept.ini";
    writeText(path, "[S]\nk=old\n");
    IniFile file = IniFile::parse("[S]\nk=new\n");
    std::string error;
    EXPECT_FALSE(file.save(dir / "no-such-dir" / "x.ini", error));
    EXPECT_FALSE(error.empty());

    // The disk fills up after four bytes: nothing of the new text reaches the file.
    error.clear();
    {
        FileSizeLimit limit(4);
        EXPECT_FALSE(file.save(path, error));
    }
    EXPECT_NE(error.find(std::strerror(EFBIG)), std::string::npos) << error;
    EXPECT_EQ(readText(path), "[S]\nk=old\n");

    // A read-only file is refused, not replaced.
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    error.clear();
    EXPECT_FALSE(file.save(path, error));
    EXPECT_NE(error.find("refusing to replace " + path.string()), std::string::npos) << error;
    EXPECT_EQ(readText(path), "[S]\nk=old\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

// A user's file named as temporary files often are is none of ours: it stays as it was.
TEST_F(IniFiles, AFileNamedLikeATemporaryOneIsLeftAlone) {
    const fs::path path = dir / "store.ini";
    writeText(path.string() + ".tmp", "[Half\nwrit");
    IniFile file = IniFile::parse("[S]\nk=1\n");
    std::string error;
    ASSERT_TRUE(file.save(path, error)) << error;
    EXPECT_EQ(readText(path), "[S]\nk=1\n");
    EXPECT_EQ(readText(path.string() + ".tmp"), "[Half\nwrit");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}
