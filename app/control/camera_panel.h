#pragma once
#include <QTimer>
#include <QWidget>

#include "control/camera_controls.h"
#include "vantelo.h"

class QCheckBox;
class QComboBox;
class QProgressBar;
class QPushButton;
class CameraSession;
class CColourButton;
class CSavePanel;
class ColourGroup;
class ExposureGroup;
class PictureGroup;
class ReservedGroup;

// The "Property" tab: the column of groups from which the user opens and closes the
// camera and sets every picture value. Its controls carry their identifiers
// (ui/control_ids.h) as object names. Every value lives in the session's record: the
// groups hand the controls' values to CameraControls, which writes the record and sends
// the camera one command each. The panel routes the main frame's messages to the groups
// that own them and applies the enable rules and the refresh across them.
class CCameraPanel : public QWidget {
    Q_OBJECT
  public:
    // `mainFrame` receives the panel's messages (1225 after each start or stop, 1692).
    CCameraPanel(CameraSession& session, QObject* mainFrame, QWidget* parent = nullptr);
    ~CCameraPanel() override;

    // The save panel whose progress bar, start button and file-name field follow this
    // panel's; set once by the panel host.
    void setSavePanel(CSavePanel* savePanel);
    // The start-up work, once both panels exist: the camera scan that decides the
    // resolution names and whether "16-bit" shows.
    void startUp();

    // The family the scan at start-up found (the second family's names are listed
    // for KD_FAMILY_NIMBUS, the first family's otherwise).
    int detectedFamily() const { return detectedFamily_; }
    QPushButton* startButton() const;
    QPushButton* defaultButton() const;
    QProgressBar* progressBar() const;
    QCheckBox* sixteenBitBox() const { return sixteenBit_; }
    QComboBox* resolutionList() const { return resolution_; }
    // Null until the capture controls are built.
    QPushButton* captureButton() const { return captureButton_; }
    ExposureGroup* exposureGroup() const { return exposure_; }
    PictureGroup* pictureGroup() const { return picture_; }
    ColourGroup* colourGroup() const { return colour_; }
    ReservedGroup* captureGroup() const { return captureGroup_; }
    ReservedGroup* histogramGroup() const { return histogram_; }
    ReservedGroup* areaDisplayGroup() const { return areaDisplay_; }
    ReservedGroup* settingsGroup() const { return settings_; }
    CameraControls& controls() { return controls_; }

    bool event(QEvent* event) override;

  private:
    void startCamera();  // "Start Camera" / "Stop Camera"
    void setDefaults();  // "Default"
    void sixteenBitClicked(bool on);
    void applyEnableRules();
    void refreshFromRecord();
    void resolutionChanged(int entry);
    void setStartCaption();
    void pictureChanged();

    CameraSession& session_;
    CameraControls controls_;
    QObject* mainFrame_;
    CSavePanel* savePanel_ = nullptr;
    int detectedFamily_ = KD_FAMILY_NONE;
    QComboBox* resolution_ = nullptr;
    QCheckBox* sixteenBit_ = nullptr;
    CColourButton* startButton_ = nullptr;
    CColourButton* defaultButton_ = nullptr;
    QPushButton* captureButton_ = nullptr;
    ExposureGroup* exposure_ = nullptr;
    PictureGroup* picture_ = nullptr;
    ColourGroup* colour_ = nullptr;
    ReservedGroup* captureGroup_ = nullptr;
    ReservedGroup* histogram_ = nullptr;
    ReservedGroup* areaDisplay_ = nullptr;
    ReservedGroup* settings_ = nullptr;
    QTimer redisplay_;  // shows the last frame again once a change has settled
};
