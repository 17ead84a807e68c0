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
constexpr int Gain = 1002;              // analogue gain slider
constexpr int ChangeExposure = 1003;    // "Change Exp" / "OK"
constexpr int Capture = 1004;           // built with the capture controls
constexpr int ExposureSeconds = 1005;   // exposure field
constexpr int ExposureMillis = 1006;    // exposure field
constexpr int ExposureProgress = 1007;  // progress of the exposure in progress
constexpr int ExposureMinutes = 1009;   // exposure field
constexpr int Gamma = 1011;             // gamma slider
constexpr int ExposureLabel = 1019;     // "Exposure:"
constexpr int GainRed = 1020;           // colour gain sliders
constexpr int GainGreen = 1021;
constexpr int MinutesUnit = 1022;
constexpr int GainBlue = 1024;
constexpr int Contrast = 1025;    // contrast slider
constexpr int Saturation = 1026;  // saturation slider
constexpr int FlipHorizontal = 1031;
constexpr int GammaLabel = 1032;
constexpr int ContrastLabel = 1033;
constexpr int FlipVertical = 1034;
constexpr int GainValue = 1035;
constexpr int ContrastValue = 1036;
constexpr int GainLabel = 1037;
constexpr int GammaValue = 1038;
constexpr int SecondsUnit = 1041;
constexpr int MillisUnit = 1043;
constexpr int RedLabel = 1048;
constexpr int RedValue = 1049;
constexpr int Resolution = 1051;  // the resolution list
constexpr int GreenLabel = 1054;
constexpr int GreenValue = 1055;
constexpr int BlueLabel = 1056;
constexpr int BlueValue = 1057;
constexpr int SaturationLabel = 1058;
constexpr int SaturationValue = 1059;
constexpr int AdjustSaturation = 1082;  // "Adjust saturation"
constexpr int OnePushWhiteBalance = 1088;
constexpr int Monochrome = 1089;
constexpr int Default = 1101;         // "Default": the family's picture values
constexpr int NoiseReduction = 1102;  // "Noise reduction" / "Dead correct"
constexpr int SixteenBit = 1104;      // "16-bit"
constexpr int Sharpen = 1114;         // "Sharpen"
constexpr int SharpenStrength = 1115;
constexpr int SharpenValue = 1116;
// Names of this panel's own group boxes (no identifiers of their own).
constexpr const char* CameraTitle = "Camera";
constexpr const char* ExposureTitle = "Exposure";
constexpr const char* PictureTitle = "Picture";
constexpr const char* ColourTitle = "Colour";
constexpr const char* CaptureTitle = "Capture";
constexpr const char* HistogramTitle = "Histogram";
constexpr const char* AreaDisplayTitle = "Area Display";
constexpr const char* SettingsTitle = "Settings configurations";
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
