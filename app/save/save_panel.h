#pragma once
#include <QWidget>

class QLineEdit;
class QProgressBar;
class QPushButton;
class CameraSession;

// The "Picture" tab. For now it carries what the camera path and the function keys
// use: the hidden "Start Camera" button (which asks the control panel to start or stop
// the camera), the file-name field and the exposure progress bar, which the control
// panel drives. The other panels reach these through the members below.
class CSavePanel : public QWidget {
    Q_OBJECT
  public:
    explicit CSavePanel(CameraSession& session, QWidget* parent = nullptr);

    QPushButton* startButton() const { return startButton_; }
    QLineEdit* fileNameField() const { return fileName_; }
    QProgressBar* progressBar() const { return progress_; }
    // Null until the capture controls are built.
    QPushButton* captureButton() const { return captureButton_; }

    bool event(QEvent* event) override;

  signals:
    // The hidden "Start Camera" was pressed: the control panel starts or stops it.
    void startCameraRequested();

  private:
    CameraSession& session_;
    QPushButton* startButton_ = nullptr;
    QPushButton* captureButton_ = nullptr;
    QLineEdit* fileName_ = nullptr;
    QProgressBar* progress_ = nullptr;
};
