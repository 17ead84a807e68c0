// The folder of the program's own files, by the environment: the program's own
// variable first, then an absolute XDG_CONFIG_HOME, then the home folder.
#include "common/configuration_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>

namespace {

// Sets or clears a variable for one test and puts the old value back.
class Variable {
  public:
    Variable(const char* name, const char* value) : name_(name) {
        if (const char* old = getenv(name)) old_ = old;
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~Variable() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(ConfigurationFolder, TheProgramsOwnVariableComesFirstAndGetsItsSlash) {
    Variable own("CORVALIS_CONFIG_DIR", "/srv/corvalis");
    Variable xdg("XDG_CONFIG_HOME", "/home/ann/.cfg");
    EXPECT_EQ(corvalis::configurationFolder(), "/srv/corvalis/");
    Variable slashed("CORVALIS_CONFIG_DIR", "/srv/corvalis/");
    EXPECT_EQ(corvalis::configurationFolder(), "/srv/corvalis/");
}

TEST(ConfigurationFolder, AnAbsoluteXdgFolderIsUsedARelativeOneIgnored) {
    Variable own("CORVALIS_CONFIG_DIR", nullptr);
    Variable home("HOME", "/home/ann");
    {
        Variable xdg("XDG_CONFIG_HOME", "/home/ann/.cfg");
        EXPECT_EQ(corvalis::configurationFolder(), "/home/ann/.cfg/corvalis/");
    }
    {
        Variable xdg("XDG_CONFIG_HOME", "cfg");
        EXPECT_EQ(corvalis::configurationFolder(), "/home/ann/.config/corvalis/");
    }
    {
        Variable xdg("XDG_CONFIG_HOME", "");
        Variable empty("CORVALIS_CONFIG_DIR", "");
        EXPECT_EQ(corvalis::configurationFolder(), "/home/ann/.config/corvalis/");
    }
}

}  // namespace
