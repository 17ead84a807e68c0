// Where the program's files live: the configuration folder by the three variables in
// their order, the files' names in it, and the first save folder from the desktop's
// pictures folder.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

#include "config/program_files.h"

namespace {

// Sets or clears the variables for one test and puts them back afterwards.
class ProgramFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : kNames) saved_.push_back(qgetenv(name));
        for (const char* name : kNames) hadValue_.push_back(qEnvironmentVariableIsSet(name));
        ASSERT_TRUE(home_.isValid());
        qputenv("HOME", home_.path().toLocal8Bit());
        qunsetenv("CORVALIS_CONFIG_DIR");
        qunsetenv("XDG_CONFIG_HOME");
    }
    void TearDown() override {
        for (std::size_t i = 0; i < std::size(kNames); ++i) {
            if (hadValue_[i])
                qputenv(kNames[i], saved_[i]);
            else
                qunsetenv(kNames[i]);
        }
    }
    std::string home() const { return home_.path().toStdString(); }

    static constexpr const char* kNames[] = {"HOME", "CORVALIS_CONFIG_DIR", "XDG_CONFIG_HOME"};
    std::vector<QByteArray> saved_;
    std::vector<bool> hadValue_;
    QTemporaryDir home_;
};

TEST_F(ProgramFiles, WithoutVariablesTheFilesLiveInTheHomesConfigFolder) {
    EXPECT_EQ(configDirectory(), home() + "/.config/corvalis/");
    EXPECT_EQ(programFilePath(ProgramFile::Capture), home() + "/.config/corvalis/Capture.ini");
    // Empty and relative values do not count.
    qputenv("CORVALIS_CONFIG_DIR", "");
    qputenv("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(configDirectory(), home() + "/.config/corvalis/");
}

TEST_F(ProgramFiles, XdgConfigHomeComesNextAndTheProgramsOwnVariableFirst) {
    qputenv("XDG_CONFIG_HOME", "/srv/settings");
    EXPECT_EQ(configDirectory(), "/srv/settings/corvalis/");
    qputenv("XDG_CONFIG_HOME", "/srv/settings/");
    EXPECT_EQ(configDirectory(), "/srv/settings/corvalis/");

    qputenv("CORVALIS_CONFIG_DIR", "/opt/observatory/corvalis");
    EXPECT_EQ(configDirectory(), "/opt/observatory/corvalis/");
    // Every file keeps its old name, in that one folder.
    EXPECT_EQ(programFilePath(ProgramFile::Config), "/opt/observatory/corvalis/Config.xml");
    EXPECT_EQ(programFilePath(ProgramFile::SelectPath), "/opt/observatory/corvalis/SelectPath.ini");
    EXPECT_EQ(programFilePath(ProgramFile::ChoseAndSaveCom),
              "/opt/observatory/corvalis/ChoseAndSaveCom.ini");
    EXPECT_EQ(programFilePath(ProgramFile::Capture), "/opt/observatory/corvalis/Capture.ini");
    EXPECT_EQ(programFilePath(ProgramFile::AddLogo), "/opt/observatory/corvalis/addlogo.jpg");
}

TEST_F(ProgramFiles, TheFirstSaveFolderFollowsTheDesktopsPicturesFolder) {
    // No folder settings: the pictures folder is ~/Pictures.
    qputenv("XDG_CONFIG_HOME", (home_.path() + "/config").toLocal8Bit());
    EXPECT_EQ(initialSaveDirectory(), home() + "/Pictures/Corvalis/");

    // A desktop in another language names its own folder, relative to home.
    ASSERT_TRUE(QDir(home_.path()).mkpath("config"));
    QFile dirs(home_.path() + "/config/user-dirs.dirs");
    ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
    dirs.write("XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
    dirs.close();
    EXPECT_EQ(initialSaveDirectory(), home() + "/Bilder/Corvalis/");
    // Nothing is made before the first save.
    EXPECT_FALSE(QDir(home_.path() + "/Bilder/Corvalis").exists());
}

}  // namespace
