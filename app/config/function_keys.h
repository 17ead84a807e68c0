#pragma once
#include <string>

// Function keys F1 to F12 and the actions assigned to them in section "Key" of
// Capture.ini in the configuration folder (read at each key press).
struct FunctionKeyAssignments {
    std::string waitScan;     // focus the save panel's file-name field
    std::string capture;      // take a capture (only while the camera runs)
    std::string startCamera;  // start or stop the camera
};

enum class FunctionKeyAction { None, FocusFileName, Capture, StartCamera };

// A missing or unreadable file gives empty values, so no key matches.
FunctionKeyAssignments readFunctionKeyAssignments(const std::string& iniPath);

// The action for F<keyNumber> (1 to 12): the name "F<n>" compared case-sensitively with
// "WaitScan", then "Capture" (skipped while the camera is not running), then
// "StartCamera".
FunctionKeyAction functionKeyAction(int keyNumber, const FunctionKeyAssignments& keys,
                                    bool cameraRunning);
