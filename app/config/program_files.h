#pragma once
#include <string>

// Where the program keeps its files in the user's folders. The program's own settings
// files live in its configuration folder under their old names and formats:
// $CORVALIS_CONFIG_DIR when set, else $XDG_CONFIG_HOME/corvalis/, else
// ~/.config/corvalis/. Captures go to the user's pictures folder (as the desktop's
// folder settings name it) under Corvalis/. The driver's key store keeps its own rule.
enum class ProgramFile {
    Config,           // "Config.xml": the settings configurations
    SelectPath,       // "SelectPath.ini": the save panel's folder choice
    ChoseAndSaveCom,  // "ChoseAndSaveCom.ini": the serial port choice
    Capture,          // "Capture.ini": the function keys
    AddLogo,          // "addlogo.jpg": the logo stamped on JPEG captures
};

// The configuration folder with a trailing '/'. Relative XDG_CONFIG_HOME values are
// ignored, as the XDG rules say; an empty variable counts as unset.
std::string configDirectory();
// The full path of one of the program's files in the configuration folder.
std::string programFilePath(ProgramFile file);
// The first save folder, with a trailing '/': the pictures folder plus "Corvalis/". It
// is not created here; the first save makes it.
std::string initialSaveDirectory();
