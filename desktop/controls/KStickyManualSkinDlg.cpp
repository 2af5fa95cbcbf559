#include "desktop/controls/KStickyManualSkinDlg.h"

#include "desktop/controls/KSkinMetrics.h"

KStickyManualSkinDlg::KStickyManualSkinDlg(QWidget* parent) : KManualSkinDlg(parent) {}

void KStickyManualSkinDlg::StickToMain(bool keepSize) {
    QRect main;
    if (FAILED(GetSkinBitmaps().GetMainWindowRect(&main))) return;
    QRect own = geometry();
    SnapTo(own, main, keepSize);
}

void KStickyManualSkinDlg::SnapTo(QRect&, const QRect&, bool) {}

bool KStickyManualSkinDlg::IsNearMain(const QRect&, const QRect&) const { return false; }

bool KStickyManualSkinDlg::UpdateStuck(const QRect&) { return false; }

void KStickyManualSkinDlg::GrowToMinimum(QRect& r, bool fromLeft) const {
    const QSize min = MinimumSkinSize();
    // One pixel at a time, as far as the minimum and no further.
    if (IsBelowMinWidth(r.width())) {
        if (fromLeft) r.setLeft(r.right() + 1 - min.width());
        else r.setWidth(min.width());
    }
    if (IsBelowMinHeight(r.height())) r.setHeight(min.height());
}

void KStickyManualSkinDlg::DragSize(const QPoint& pt) {
    QRect g = geometry();
    g.setRight(g.right() + pt.x() - m_lastPoint.x());
    g.setBottom(g.bottom() + pt.y() - m_lastPoint.y());
    GrowToMinimum(g, false);
    const QPoint before = pos();
    if (UpdateStuck(g)) {
        m_lastPoint -= pos() - before;
        return;
    }
    resize(g.size());
    m_lastPoint = pt;
}

void KStickyManualSkinDlg::DragSizeEdge(const QPoint& pt) {
    QRect g = geometry();
    g.setLeft(g.left() + pt.x() - m_lastPoint.x());
    g.setBottom(g.bottom() + pt.y() - m_lastPoint.y());
    GrowToMinimum(g, true);
    const QPoint before = pos();
    if (!UpdateStuck(g)) setGeometry(g);
    // The pointer's point in the window moves back by the window's own move.
    m_lastPoint = pt - (pos() - before);
}

void KStickyManualSkinDlg::DragMove(const QPoint& pt) {
    if (!m_movable) return;
    const QRect g = geometry().translated(pt - m_lastPoint);
    if (UpdateStuck(g)) return;
    move(g.topLeft());
    repaint();
}
