#pragma once
#include <QWidget>

class QLineEdit;
class QProgressBar;
class QPushButton;
class CMainFrame;

// The "Picture" tab. For now it carries what the camera path and the function keys
// use: the hidden "Start Camera" button (1000, which asks the control panel to start
// or stop the camera), the file-name field (1056) and the exposure progress bar
// (1007), which the control panel drives.
class CSavePanel : public QWidget {
    Q_OBJECT
  public:
    explicit CSavePanel(CMainFrame* frame, QWidget* parent = nullptr);

    bool event(QEvent* event) override;

  private:
    CMainFrame* frame_;
    QPushButton* startButton_ = nullptr;
    QLineEdit* fileName_ = nullptr;
    QProgressBar* progress_ = nullptr;
};
