#pragma once
#include <QWidget>

#include "vantelo.h"

class QCheckBox;
class QComboBox;
class QProgressBar;
class QPushButton;
class CameraSession;
class CSavePanel;

// The "Property" tab: opening and closing the camera. Its controls carry their
// identifiers (ui/control_ids.h) as object names. Every value lives in the session's
// record; the panel moves control values into it and forwards the user's actions to
// the session, which opens the camera through the main frame (1245), sends the
// picture settings and starts the preview in the camera's image window.
class CCameraPanel : public QWidget {
    Q_OBJECT
  public:
    // `mainFrame` receives the panel's messages (1225 after each start or stop).
    CCameraPanel(CameraSession& session, QObject* mainFrame, QWidget* parent = nullptr);

    // The save panel whose progress bar, start button and file-name field follow this
    // panel's; set once by the panel host.
    void setSavePanel(CSavePanel* savePanel) { savePanel_ = savePanel; }
    // The start-up work, once both panels exist: the camera scan that decides the
    // resolution names and whether "16-bit" shows.
    void startUp();

    // The family the scan at start-up found (the second family's names are listed
    // for KD_FAMILY_NIMBUS, the first family's otherwise).
    int detectedFamily() const { return detectedFamily_; }
    QPushButton* startButton() const { return startButton_; }
    QProgressBar* progressBar() const { return progress_; }
    QCheckBox* sixteenBitBox() const { return sixteenBit_; }
    QComboBox* resolutionList() const { return resolution_; }
    // Null until the capture controls are built.
    QPushButton* captureButton() const { return captureButton_; }

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
    void applyEnableRules();
    void refreshFromRecord();
    void resolutionChanged(int entry);
    void restartProgress();
    void armProgressBars(int range);
    void stopProgressTimer();
    void setStartCaption();

    CameraSession& session_;
    QObject* mainFrame_;
    CSavePanel* savePanel_ = nullptr;
    int detectedFamily_ = KD_FAMILY_NONE;
    QComboBox* resolution_ = nullptr;
    QCheckBox* sixteenBit_ = nullptr;
    QPushButton* startButton_ = nullptr;
    QPushButton* captureButton_ = nullptr;
    QProgressBar* progress_ = nullptr;
    int progressTimer_ = 0;  // timer 1: one step of the exposure progress
    int progressRange_ = 0;
};
