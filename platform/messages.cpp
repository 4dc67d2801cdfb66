#include "platform/messages.h"

#include <QCoreApplication>

QEvent::Type TMessageEvent::Type() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void PostMessage(QObject* target, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    if (!target) return;
    QCoreApplication::postEvent(target, new TMessageEvent(msg, wParam, lParam));
}

intptr_t SendMessage(QObject* target, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    if (!target) return 0;
    TMessageEvent e(msg, wParam, lParam);
    QCoreApplication::sendEvent(target, &e);
    return e.Result();
}
