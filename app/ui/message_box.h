#pragma once
#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

// Every message box of the program goes through here, so that tests can take the
// boxes instead of a modal window (which would block an offscreen run).
struct MessageBoxRequest {
    QWidget* parent = nullptr;
    QString text;
    QString caption;  // empty: the program's name
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};
using MessageBoxHook = std::function<void(const MessageBoxRequest&)>;

// Shows a modal box with an OK button, or hands the request to the hook if one is set.
void showMessageBox(QWidget* parent, const QString& text, const QString& caption,
                    QMessageBox::Icon icon);
// Replaces the hook (an empty hook restores the real boxes); returns the previous one.
MessageBoxHook setMessageBoxHook(MessageBoxHook hook);
