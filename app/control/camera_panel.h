#pragma once
#include <QWidget>

#include "vantelo.h"

class QCheckBox;
class QComboBox;
class QProgressBar;
class QPushButton;
class CMainFrame;

// The "Property" tab: opening and closing the camera. Its controls carry their
// identifiers as object names ("1000" Start Camera, "1104" 16-bit, "1051" resolution
// list, "1007" exposure progress). Every value lives in the main frame's record; the
// panel only moves control values into it and sends the camera commands.
//
// Start Camera, with the camera closed: detect the camera, let the main frame open it
// (1245), send every picture setting of the record to the camera, and start the
// preview in the image window (1245 to it). A child frame that cannot allocate its
// preview buffers answers 1245 with -2; the panel then closes the camera again and
// reports "Init Camera failed!". With the camera open: let the main frame close it.
class CCameraPanel : public QWidget {
    Q_OBJECT
  public:
    explicit CCameraPanel(CMainFrame* frame, QWidget* parent = nullptr);

    // The type the panel detected at start-up (31 for the second family, else the
    // first family's names are listed).
    int detectedType() const { return detection_.camera_type; }
    // Steps of one exposure on the progress bars: 99 beyond 600 000 ms, else
    // (exposure + 750) / 15.
    static int progressRange(unsigned exposureMs);
    // Progress timer period in ms: exposure / 100 beyond 600 000 ms, else 10.
    static int progressPeriod(unsigned exposureMs);

    bool event(QEvent* event) override;

  protected:
    void timerEvent(QTimerEvent* event) override;

  private:
    void startCamera();  // "Start Camera" / "Stop Camera"
    void sendPictureSettings();
    void applyEnableRules();
    void refreshFromRecord();
    void resolutionChanged(int entry);
    void restartProgress();
    void armProgressBars(int range);
    void stopProgressTimer();
    void setStartCaption();

    CMainFrame* frame_;
    CameraRecord detection_{};  // used only for detection
    QComboBox* resolution_ = nullptr;
    QCheckBox* sixteenBit_ = nullptr;
    QPushButton* startButton_ = nullptr;
    QProgressBar* progress_ = nullptr;
    int progressTimer_ = 0;  // timer 1: one step of the exposure progress
    int progressRange_ = 0;
    int settingsApplied_ = 0;
};
