#include "desktop/controls/KTabOrder.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <vector>

namespace {

// Disabled controls are placed too: they take the Tab again once enabled.
bool TakesTab(const QWidget* w) { return (w->focusPolicy() & Qt::TabFocus) && !w->isHidden(); }

// True when a widget between w and the window (both excluded) takes the Tab
// itself: w is a part of it.
bool InsideAnother(const QWidget* w, const QWidget* window) {
    for (const QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
        if (p->focusPolicy() & Qt::TabFocus) return true;
    return false;
}

}  // namespace

void DrawFocusMark(QPainter& p, const QRect& r, const QColor& colour) {
    QPen pen(colour);
    pen.setStyle(Qt::DotLine);
    pen.setCosmetic(true);
    p.save();
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0, 0, -1, -1));
    p.restore();
}

void SetTabOrderByPlace(QWidget* window) {
    if (!window) return;
    struct Item {
        QWidget* widget;
        QRect place;  // in the window's coordinates
    };
    std::vector<Item> items;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (w->isWindow() || !TakesTab(w) || InsideAnother(w, window)) continue;
        items.push_back({w, QRect(w->mapTo(window, QPoint(0, 0)), w->size())});
    }
    if (items.size() < 2) return;
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        return a.place.top() != b.place.top() ? a.place.top() < b.place.top() : a.place.left() < b.place.left();
    });
    // Rows: the first control of a row spans the middles of the others.
    std::vector<Item> ordered;
    for (size_t i = 0; i < items.size();) {
        const QRect first = items[i].place;
        size_t end = i + 1;
        while (end < items.size() && items[end].place.center().y() <= first.bottom()) ++end;
        std::stable_sort(items.begin() + static_cast<std::ptrdiff_t>(i), items.begin() + static_cast<std::ptrdiff_t>(end),
                         [](const Item& a, const Item& b) { return a.place.left() < b.place.left(); });
        ordered.insert(ordered.end(), items.begin() + static_cast<std::ptrdiff_t>(i),
                       items.begin() + static_cast<std::ptrdiff_t>(end));
        i = end;
    }
    for (size_t i = 1; i < ordered.size(); ++i) QWidget::setTabOrder(ordered[i - 1].widget, ordered[i].widget);
}
