#pragma once
#include <QDialog>

class QListWidget;
class QMainWindow;
class QMenuBar;
class QToolBar;

// "Customize...": the command bars' customise sheet. The options page switches toolbar
// looks; the commands page lists every command by category (the menus, all commands,
// the built-in menus and a new-menu category) and adds a command to the "Standard"
// toolbar or takes one off it.
class CustomizeDialog : public QDialog {
    Q_OBJECT
  public:
    CustomizeDialog(QMainWindow* frame, QToolBar* toolbar);

    // The categories in list order, and the commands of one (for tests).
    QStringList categories() const;
    QStringList commandsOf(const QString& category) const;

    // Adds the command with this text to the toolbar (once), or takes it off.
    bool addToToolbar(const QString& command);
    bool removeFromToolbar(const QString& command);

  private:
    QList<QAction*> actionsOf(const QString& category) const;
    QAction* findCommand(const QString& text) const;
    void showCategory(int row);

    QMainWindow* frame_;
    QToolBar* toolbar_;
    QListWidget* categories_ = nullptr;
    QListWidget* commands_ = nullptr;
};
