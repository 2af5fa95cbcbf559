#pragma once
// Pointer events handed straight to a widget rather than through the
// platform, so that the widget has handled each one when the call returns
// (a move through the cursor would arrive later, if at all, offscreen).
// Positions are in the widget's coordinates; presses and releases are of
// the left button.
#include <QEvent>
#include <QPoint>

class QWidget;

// One mouse event of the given type; `held` is the buttons down after it.
void SendMouse(QWidget* widget, QEvent::Type type, const QPoint& pos, Qt::MouseButtons held);

// A pointer move with no button held.
void Hover(QWidget* widget, const QPoint& pos);

// A press or a release, with no pointer move before it.
void PressLeft(QWidget* widget, const QPoint& pos);
void ReleaseLeft(QWidget* widget, const QPoint& pos);

// The pointer leaves the widget.
void Leave(QWidget* widget);

// Press at `from`, move by (to - from), release there. The widget may move
// or resize under the pointer, so each point is mapped from the screen at
// the time of its event, as a real pointer's would be.
void Drag(QWidget* widget, const QPoint& from, const QPoint& to);
