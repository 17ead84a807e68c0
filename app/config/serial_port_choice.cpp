#include "config/serial_port_choice.h"

#include <climits>
#include <filesystem>

#include "common/ini_file.h"
#include "config/decimal_text.h"

namespace {

constexpr const char* kSection = "ChoseAndSaveCom";
constexpr const char* kChooseKey = "Choose";
constexpr const char* kPortKey = "COM";

int readInt(const std::string& text) {
    return readClampedDecimal(text, INT_MIN, INT_MAX);
}

}  // namespace

std::vector<std::string> serialPortNames() {
    std::vector<std::string> names;
    for (int port = 1; port <= SerialPortChoice::kPortCount; ++port)
        names.push_back("COM" + std::to_string(port));
    return names;
}

SerialPortChoice readSerialPortChoice(const std::string& iniPath) {
    corvalis::IniFile ini;
    std::string error;
    ini.load(iniPath, error);  // an unreadable file reads as no file
    SerialPortChoice choice;
    choice.enableValue = readInt(ini.readString(kSection, kChooseKey, ""));
    if (choice.enableValue == 0) return choice;
    choice.listEnabled = true;
    const int entry = readInt(ini.readString(kSection, kPortKey, "")) - 1;
    const bool inList = entry >= 0 && entry < SerialPortChoice::kPortCount;
    choice.selectedEntry = inList ? entry : SerialPortChoice::kNoEntry;
    return choice;
}

SerialPortChoice clickSerialPortSwitch(const std::string& iniPath, int enableValue,
                                       int selectedEntry, bool* saved) {
    corvalis::IniFile ini;
    std::string error;
    // A file that exists but cannot be read is not overwritten: the write is skipped.
    bool written = ini.load(iniPath, error);
    if (written) {
        ini.setValue(kSection, kChooseKey, std::to_string(enableValue));
        if (enableValue != 0) ini.setValue(kSection, kPortKey, std::to_string(selectedEntry + 1));
        std::error_code ignored;
        const std::filesystem::path folder = std::filesystem::path(iniPath).parent_path();
        if (!folder.empty()) std::filesystem::create_directories(folder, ignored);
        written = ini.save(iniPath, error);
    }
    if (saved != nullptr) *saved = written;
    SerialPortChoice choice;
    choice.enableValue = enableValue;
    choice.selectedEntry = selectedEntry;
    choice.listEnabled = enableValue != 0;
    return choice;
}
