#pragma once
#include <QDialog>

// "About Corvalis": the program icon, its version and an OK button.
class CAboutDialog : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDialog(QWidget* parent = nullptr);
};
