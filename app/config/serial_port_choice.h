#pragma once
#include <string>
#include <vector>

// The stored serial-port choice: an on/off switch and a port COM1 ... COM10, kept in
// section "ChoseAndSaveCom" of ChoseAndSaveCom.ini ("Choose" = 0 or 1, "COM" = the
// port number). Nothing opens a port; the choice is only kept across runs. The panel's
// hidden list and check box show a SerialPortChoice and hand clicks back here.
struct SerialPortChoice {
    static constexpr int kPortCount = 10;
    static constexpr int kNoEntry = -1;  // the list shows no selection

    int enableValue = 0;    // the check box: 0 off, otherwise on
    int selectedEntry = 0;  // list entry, port number - 1, or kNoEntry
    bool listEnabled = false;
};

// "COM1" ... "COM10", the list's entries in order.
std::vector<std::string> serialPortNames();

// The choice as the file holds it. No file or no "Choose" key: off, COM1, list
// disabled. On: the list is enabled and shows "COM" - 1, or no entry when that is
// not a port of the list.
SerialPortChoice readSerialPortChoice(const std::string& iniPath);

// The check box was clicked with `enableValue` and the list showing `selectedEntry`:
// writes "Choose" and, when on, "COM" = entry + 1 (when off, the stored port stays).
// Returns the new state of the controls; `saved` tells whether the file was written
// (a failure is not reported to the user: the choice is only a convenience).
SerialPortChoice clickSerialPortSwitch(const std::string& iniPath, int enableValue,
                                       int selectedEntry, bool* saved = nullptr);
