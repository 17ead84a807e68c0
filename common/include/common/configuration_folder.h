#pragma once
#include <string>

namespace corvalis {

// The folder of the program's own files (its settings, the logo stamped into JPEG
// saves), with a trailing '/': $CORVALIS_CONFIG_DIR when set, else
// $XDG_CONFIG_HOME/corvalis/ when that is an absolute path, else
// $HOME/.config/corvalis/. Read from the environment at each call; nothing is created.
std::string configurationFolder();

}  // namespace corvalis
