#pragma once
#include <QEvent>
#include <QObject>

// The window messages the program's windows exchange, by their absolute numbers
// (WM_USER + n, WM_USER = 1024), and the one event type that carries them. Posting
// queues the event for the target's thread; sending delivers it at once on the
// calling thread, so only the user-interface thread sends. Worker threads only post.
namespace msg {

constexpr unsigned kUser = 1024;

constexpr unsigned Command = 0x0111;          // WM_COMMAND: wParam = control identifier (a click)
constexpr unsigned ExposureTimesDone = 1075;  // WM_USER+51: exposure-times dialog closed
constexpr unsigned PanelsEnable = 1225;       // WM_USER+201: panels refresh enabled state
constexpr unsigned PanelsReload = 1226;       // WM_USER+202: panels reload values from the camera
constexpr unsigned PanelsUpdate = 1227;       // WM_USER+203: panel host
constexpr unsigned CameraArrived = 1237;      // WM_USER+213: wParam = model number
constexpr unsigned CameraRemoved = 1238;      // WM_USER+214: wParam = model number
constexpr unsigned OpenCamera = 1245;   // WM_USER+221: main frame: open; child frame: start preview
                                        // (a child answers -2 when it cannot allocate its buffers)
constexpr unsigned CloseCamera = 1246;  // WM_USER+222: main frame: close; child frame: stop preview
constexpr unsigned FrameDisplayed = 1247;    // WM_USER+223
constexpr unsigned FrameCaptured = 1248;     // WM_USER+224: wParam = frames still to capture
constexpr unsigned MainClosing = 1255;       // WM_USER+231
constexpr unsigned CropToSelection = 1256;   // WM_USER+232
constexpr unsigned RestoreFullArea = 1257;   // WM_USER+233
constexpr unsigned FitImageWindow = 1258;    // WM_USER+234
constexpr unsigned StartCameraKey = 1260;    // WM_USER+236: "Start Camera" by key or the save panel
constexpr unsigned CaptureKey = 1261;        // WM_USER+237
constexpr unsigned RefreshHistogram = 1262;  // WM_USER+238
constexpr unsigned RestartExposure = 1263;   // WM_USER+239: restart the exposure progress
constexpr unsigned PausePreview = 1264;      // WM_USER+240
constexpr unsigned ResumePreview = 1265;     // WM_USER+241
constexpr unsigned DelayedCapture = 1690;    // WM_USER+666: lParam = images to capture
constexpr unsigned CapturePending = 1691;    // WM_USER+667: lParam 1 start, 0 stop the indicator
constexpr unsigned Redisplay = 1692;         // WM_USER+668: show the last frame again

}  // namespace msg

// One window message as a Qt event.
class KdMessageEvent : public QEvent {
  public:
    KdMessageEvent(unsigned message, quintptr wParam, qintptr lParam)
        : QEvent(eventType()), message(message), wParam(wParam), lParam(lParam) {}
    static QEvent::Type eventType();

    const unsigned message;
    const quintptr wParam;
    const qintptr lParam;
    long result = 0;  // what the handler returns to a sender
};

// PostMessage: queued for the target's thread; safe from any thread. Does nothing for
// a null target.
void postMessage(QObject* target, unsigned message, quintptr wParam = 0, qintptr lParam = 0);
// SendMessage: handled at once on the calling (user-interface) thread; returns the
// handler's result, 0 for a null target or an unhandled message.
long sendMessage(QObject* target, unsigned message, quintptr wParam = 0, qintptr lParam = 0);
