#include "config/function_keys.h"

#include "common/ini_file.h"

FunctionKeyAssignments readFunctionKeyAssignments(const std::string& iniPath) {
    corvalis::IniFile ini;
    std::string error;
    FunctionKeyAssignments keys;
    if (!ini.load(iniPath, error)) return keys;
    keys.waitScan = ini.readString("Key", "WaitScan", "");
    keys.capture = ini.readString("Key", "Capture", "");
    keys.startCamera = ini.readString("Key", "StartCamera", "");
    return keys;
}

FunctionKeyAction functionKeyAction(int keyNumber, const FunctionKeyAssignments& keys,
                                    bool cameraRunning) {
    const std::string name = "F" + std::to_string(keyNumber);
    if (name == keys.waitScan) return FunctionKeyAction::FocusFileName;
    if (name == keys.capture && cameraRunning) return FunctionKeyAction::Capture;
    if (name == keys.startCamera) return FunctionKeyAction::StartCamera;
    return FunctionKeyAction::None;
}
