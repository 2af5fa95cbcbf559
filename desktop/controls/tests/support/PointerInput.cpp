#include "desktop/controls/tests/support/PointerInput.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

void SendMouse(QWidget* w, QEvent::Type type, const QPoint& pos, Qt::MouseButtons held) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, pos, w->mapToGlobal(pos), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

void Hover(QWidget* w, const QPoint& pos) { SendMouse(w, QEvent::MouseMove, pos, Qt::NoButton); }

void PressLeft(QWidget* w, const QPoint& pos) { SendMouse(w, QEvent::MouseButtonPress, pos, Qt::LeftButton); }

void ReleaseLeft(QWidget* w, const QPoint& pos) { SendMouse(w, QEvent::MouseButtonRelease, pos, Qt::NoButton); }

void Leave(QWidget* w) {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(w, &e);
}

void Drag(QWidget* w, const QPoint& from, const QPoint& to) {
    const QPoint globalTo = w->mapToGlobal(from) + (to - from);
    PressLeft(w, from);
    SendMouse(w, QEvent::MouseMove, w->mapFromGlobal(globalTo), Qt::LeftButton);
    ReleaseLeft(w, w->mapFromGlobal(globalTo));
}
