#include "desktop/controls/tests/support/PaintCounter.h"

#include <QEvent>
#include <QWidget>

void PaintCounter::Watch(QWidget* widget) { widget->installEventFilter(this); }

bool PaintCounter::eventFilter(QObject*, QEvent* e) {
    if (e->type() == QEvent::Paint) ++count;
    return false;
}
