#include "desktop/controls/KTabOrderKeeper.h"

#include "desktop/controls/KTabOrder.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

void KTabOrderKeeper::Install() {
    static KTabOrderKeeper* keeper = nullptr;
    if (keeper || !QCoreApplication::instance()) return;
    keeper = new KTabOrderKeeper(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(keeper);
}

bool KTabOrderKeeper::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* w = static_cast<QWidget*>(watched);
        if (w->isWindow()) SetTabOrderByPlace(w);
    }
    return false;
}
