#pragma once
#include <functional>
#include <string>

#include "session/frame_context.h"
#include "session/ui_flags.h"

struct SelectionCrop;

// The camera and imaging calls the session makes, always with its record. The
// defaults are the library's exports; tests put recording doubles in their place.
struct SessionCalls {
    std::function<int(CameraRecord*)> refreshCamera = KdCamera_RefreshCamera;
    std::function<int(CameraRecord*, int, int)> readWrite = KdCamera_ReadWrite;
    std::function<int(CameraRecord*)> showBufferInit = Mes_Init;
    std::function<int(CameraRecord*)> showBufferUnInit = Mes_UnInit;
};

// What the windows do for the session. Each runs on the user-interface thread; an
// empty one does nothing (a stopped preview for startPreview).
struct SessionWindows {
    // Open the camera in the main frame (its message 1245), which calls open().
    std::function<void()> openCamera;
    // Close the camera in the main frame (its message 1246), which calls close().
    std::function<void()> closeCamera;
    // Start the preview in the image window that holds the camera: 1 started, 0 already
    // running, -1 or -2 when it could not start.
    std::function<long()> startPreview;
    // Stop every preview; runs before the camera closes.
    std::function<void()> stopPreviews;
    // The camera opened: place its image window for the new crop region.
    std::function<void()> fitImageWindow;
    // The UI-state flags were refreshed: the panels re-apply their enable rules (1225).
    std::function<void()> flagsChanged;
    // The camera's values are in the record: the panels reload them (1226).
    std::function<void()> reloadPanels;
    // A message box for the user.
    std::function<void(const std::string& text, const std::string& caption)> error;
};

// The camera as the program uses it, without any window: opening and closing, the
// picture settings sent in their fixed order, the preview start, the UI-state flags and
// the crop region. The main frame and the control panel forward the user's actions to
// it and show what it reports. Everything runs on the user-interface thread; only the
// crop region and the show buffer are shared with the preview threads, under the frame
// context's display lock.
class CameraSession {
  public:
    // What "Start Camera" / "Stop Camera" did.
    enum class Toggle {
        Opened,      // open, picture settings sent, preview running
        OpenFailed,  // the camera or its preview could not start; it is closed
        Closed,      // was open, is closed now
    };

    explicit CameraSession(std::string saveDirectory, SessionCalls calls = {});
    ~CameraSession();
    CameraSession(const CameraSession&) = delete;
    CameraSession& operator=(const CameraSession&) = delete;

    void setWindows(SessionWindows windows) { windows_ = std::move(windows); }

    FrameContext& context() { return context_; }
    CameraRecord& record() { return context_.record; }
    const CameraRecord& record() const { return context_.record; }
    bool closed() const { return context_.record.state == KD_STATE_UNINITIALISED; }
    bool running() const { return context_.record.state == KD_STATE_STARTED; }

    int uiFlag(UiFlag flag) const { return flags_.get(flag); }
    void setUiFlag(UiFlag flag, int value) { flags_.set(flag, value); }

    // The family the record's picture values were last sent to, KD_FAMILY_NONE before
    // the first opening. The values are each family's own numbers, so whoever loads or
    // resets them needs to know whose they are.
    int pictureValuesFamily() const { return pictureValuesFamily_; }
    // Whoever loads a whole set of picture values (a settings configuration) says whose
    // they are; a camera of another family then opens with its own defaults instead.
    void setPictureValuesFamily(int family) { pictureValuesFamily_ = family; }

    // One camera command with the session's record (read: fetch into the record).
    int readWrite(int command, int read = 0) {
        return calls_.readWrite(&context_.record, command, read);
    }
    // Stops the preview and starts it again in the camera's window; a stop writes the
    // record's exposure to the camera.
    void restartPreview();

    // The family attached now, as a detection scan finds it (KD_FAMILY_NONE when none);
    // the record is not touched.
    int detectFamily();

    // "Start Camera" with the camera closed: detect, open through the main frame, start
    // from the family's defaults when the record's values are another family's (or
    // nobody's), send the picture settings (at 16 bits when `sixteenBit`, first family only), start
    // the preview. With it open: close it through the main frame.
    Toggle toggle(bool sixteenBit);

    // What open() returns, as the main frame's message 1245 answers.
    enum OpenResult : long { Opened = 0, NotOpened = 1 };
    // The main frame's open, with `window` for the libraries' init windows: NotOpened
    // when the camera did not initialise (reported) or did not start.
    long open(KdWindow* window);
    // Stops every preview, releases the show buffer and closes the camera.
    void close();

    // The resolution list's entries by family: the second family lists every mode, the
    // first family skips mode 1 (entry 0 is mode 0, entry n is mode n + 1).
    static int resolutionOfEntry(int family, int entry);
    static int resolutionEntry(int family, int resolutionIndex);
    // A new resolution mode, for the next opening; the crop is the whole picture again.
    void selectResolution(int resolutionIndex);

    // Releases and rebuilds the show buffer for the current crop region.
    void resetShowBuffer();
    // The crop region and sensor window of a selection, or of the whole frame.
    void cropTo(const SelectionCrop& crop);
    void restoreFullArea();

  private:
    void refreshUiFlags();
    void sendPictureSettings();
    void setFullCrop();

    FrameContext context_;
    SessionCalls calls_;
    SessionWindows windows_;
    UiFlags flags_;
    int pictureValuesFamily_ = KD_FAMILY_NONE;
};

// The record as the program starts: closed, no family, 1360 x 1024, 200 ms, and
// `saveDirectory` (cut off if it does not fit) as the save folder.
void setInitialRecord(CameraRecord& record, const std::string& saveDirectory);
