#include "ui/message_box.h"

#include <QCoreApplication>

namespace {
MessageBoxHook& hook() {
    static MessageBoxHook current;
    return current;
}
}  // namespace

void showMessageBox(QWidget* parent, const QString& text, const QString& caption,
                    QMessageBox::Icon icon) {
    const QString title = caption.isEmpty() ? QCoreApplication::applicationName() : caption;
    if (hook()) {
        hook()(MessageBoxRequest{parent, text, title, icon});
        return;
    }
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

MessageBoxHook setMessageBoxHook(MessageBoxHook next) {
    MessageBoxHook previous = std::move(hook());
    hook() = std::move(next);
    return previous;
}
