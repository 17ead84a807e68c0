#pragma once
#include <QString>

// The identifiers of the program's windows and controls. The two panels are separate
// dialogs, so the same number can name different controls on each (1051 and 1056);
// each panel's identifiers therefore live in their own namespace. A control's
// identifier is also its object name and the wParam of its Command message.
namespace ctrl {

// Windows of the main frame, and the OK button of its dialogs.
constexpr int Ok = 1;
constexpr int AboutDialog = 100;
constexpr int PanelPane = 61446;  // the docked pane that holds the panel host

// Framework commands of the main frame's menus and toolbar.
constexpr int PrintSetup = 57606;
constexpr int Print = 57607;
constexpr int PrintDirect = 57608;
constexpr int PrintPreview = 57609;
constexpr int Customize = 35001;

// The control panel ("Property" tab).
namespace camera {
constexpr int Dialog = 130;
constexpr int StartCamera = 1000;       // "Start Camera" / "Stop Camera"
constexpr int Capture = 1004;           // built with the capture controls
constexpr int ExposureProgress = 1007;  // progress of the exposure in progress
constexpr int Resolution = 1051;        // the resolution list
constexpr int SixteenBit = 1104;        // "16-bit"
}  // namespace camera

// The save panel ("Picture" tab).
namespace save {
constexpr int Dialog = 140;
constexpr int StartCamera = 1000;       // hidden: reaches the control panel's button
constexpr int Capture = 1004;           // built with the capture controls
constexpr int ExposureProgress = 1007;  // mirrors the control panel's bar
constexpr int FileName = 1056;          // the file-name field
constexpr int AbortDelay = 1110;        // "Abort" of the delay timer
}  // namespace save

// The object name a control with identifier `id` carries.
inline QString name(int id) {
    return QString::number(id);
}

}  // namespace ctrl
