#include "ui/messages.h"

#include <QCoreApplication>

QEvent::Type KdMessageEvent::eventType() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void postMessage(QObject* target, unsigned message, quintptr wParam, qintptr lParam) {
    if (target == nullptr) return;
    QCoreApplication::postEvent(target, new KdMessageEvent(message, wParam, lParam));
}

long sendMessage(QObject* target, unsigned message, quintptr wParam, qintptr lParam) {
    if (target == nullptr) return 0;
    KdMessageEvent event(message, wParam, lParam);
    QCoreApplication::sendEvent(target, &event);
    return event.result;
}
