#include "desktop/controls/CColorHeaderCtrl.h"

#include <QPainter>

const QColor CColorHeaderCtrl::kBackground(102, 12, 23);
const QColor CColorHeaderCtrl::kText(255, 255, 255);

CColorHeaderCtrl::CColorHeaderCtrl(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setStretchLastSection(false);
}

void CColorHeaderCtrl::paintEvent(QPaintEvent* e) {
    QHeaderView::paintEvent(e);
    // The area after the last section takes the same colour.
    const int end = length() - offset();
    if (end < viewport()->width()) {
        QPainter p(viewport());
        p.fillRect(QRect(end, 0, viewport()->width() - end, viewport()->height()), kBackground);
    }
}

void CColorHeaderCtrl::paintSection(QPainter* p, const QRect& rect, int logicalIndex) const {
    if (!rect.isValid()) return;
    p->save();
    p->fillRect(rect, kBackground);
    p->setPen(kText);
    const QString text = model() ? model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString() : QString();
    p->drawText(rect.adjusted(4, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter, text);
    p->restore();
}
