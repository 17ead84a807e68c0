// The serial-port choice kept in ChoseAndSaveCom.ini: what the controls show for a
// given file, and what a click on the switch leaves in it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/ini_file.h"
#include "config/serial_port_choice.h"
#include "file_text.h"
#include "scratch_directory.h"

namespace {

namespace fs = std::filesystem;

class SerialPortChoiceTest : public ::testing::Test {
  protected:
    // The value the file holds for a key, as a fresh reader sees it.
    std::string stored(const char* key) {
        corvalis::IniFile ini;
        std::string error;
        EXPECT_TRUE(ini.load(file_.string(), error)) << error;
        return ini.readString("ChoseAndSaveCom", key, "<missing>");
    }

    ScratchDirectory scratch_{"serial-port"};
    fs::path file_ = scratch_.path() / "ChoseAndSaveCom.ini";
};

TEST_F(SerialPortChoiceTest, WithoutAFileTheSwitchIsOffOnComOneAndTheListDisabled) {
    const SerialPortChoice choice = readSerialPortChoice(file_.string());
    EXPECT_EQ(choice.enableValue, 0);
    EXPECT_EQ(choice.selectedEntry, 0);
    EXPECT_FALSE(choice.listEnabled);
    EXPECT_FALSE(fs::exists(file_));
}

TEST_F(SerialPortChoiceTest, AStoredChoiceOfComThreeShowsTheSwitchOnAndThirdEntry) {
    writeText(file_, "[ChoseAndSaveCom]\r\nChoose=1\r\nCOM=3\r\n");
    const SerialPortChoice choice = readSerialPortChoice(file_.string());
    EXPECT_EQ(choice.enableValue, 1);
    EXPECT_EQ(choice.selectedEntry, 2);
    EXPECT_TRUE(choice.listEnabled);
}

TEST_F(SerialPortChoiceTest, APortOutsideTheListSelectsNothing) {
    for (const char* port : {"0", "11", "x", "-4", "99999999999999999999"}) {
        writeText(file_, std::string("[ChoseAndSaveCom]\nChoose=1\nCOM=") + port + "\n");
        const SerialPortChoice choice = readSerialPortChoice(file_.string());
        EXPECT_EQ(choice.selectedEntry, SerialPortChoice::kNoEntry) << port;
        EXPECT_TRUE(choice.listEnabled) << port;
    }
}

TEST_F(SerialPortChoiceTest, AnOffSwitchIgnoresTheStoredPort) {
    writeText(file_, "[ChoseAndSaveCom]\nChoose=0\nCOM=7\n");
    const SerialPortChoice choice = readSerialPortChoice(file_.string());
    EXPECT_EQ(choice.enableValue, 0);
    EXPECT_EQ(choice.selectedEntry, 0);
    EXPECT_FALSE(choice.listEnabled);
}

TEST_F(SerialPortChoiceTest, SwitchingOnWithComFiveThenOffKeepsThePort) {
    bool saved = false;
    SerialPortChoice choice = clickSerialPortSwitch(file_.string(), 1, 4, &saved);
    EXPECT_TRUE(saved);
    EXPECT_TRUE(choice.listEnabled);
    EXPECT_EQ(stored("Choose"), "1");
    EXPECT_EQ(stored("COM"), "5");

    choice = clickSerialPortSwitch(file_.string(), 0, 4, &saved);
    EXPECT_TRUE(saved);
    EXPECT_FALSE(choice.listEnabled);
    EXPECT_EQ(stored("Choose"), "0");
    EXPECT_EQ(stored("COM"), "5");

    // And the next start shows what was stored.
    EXPECT_EQ(readSerialPortChoice(file_.string()).enableValue, 0);
    clickSerialPortSwitch(file_.string(), 1, 9);
    const SerialPortChoice again = readSerialPortChoice(file_.string());
    EXPECT_EQ(again.selectedEntry, 9);
}

TEST_F(SerialPortChoiceTest, OtherLinesOfTheFileAreKept) {
    writeText(file_, "; written by hand\n[Other]\nkeep=me\n[ChoseAndSaveCom]\nChoose=0\n");
    clickSerialPortSwitch(file_.string(), 1, 1);
    const std::string text = readText(file_);
    EXPECT_TRUE(has(text, "; written by hand"));
    EXPECT_TRUE(has(text, "keep=me"));
    EXPECT_EQ(stored("COM"), "2");
}

TEST_F(SerialPortChoiceTest, AFileThatCannotBeWrittenIsReportedToTheCallerOnly) {
    writeText(scratch_.path() / "blocked", "");
    const std::string path = (scratch_.path() / "blocked" / "ChoseAndSaveCom.ini").string();
    bool saved = true;
    const SerialPortChoice choice = clickSerialPortSwitch(path, 1, 2, &saved);
    EXPECT_FALSE(saved);
    EXPECT_TRUE(choice.listEnabled);
    EXPECT_EQ(choice.selectedEntry, 2);
}

}  // namespace
