#include "desktop/controls/KShowPercentsCtrl.h"

#include "desktop/controls/KSkinAccessible.h"
#include "desktop/controls/KSkinResources.h"

#include <QPainter>

#include <algorithm>

KShowPercentsCtrl::KShowPercentsCtrl(QWidget* parent) : KWndSkin(parent) {}

void KShowPercentsCtrl::SetBitmaps(std::vector<QPixmap> bitmaps) {
    m_bitmaps = std::move(bitmaps);
    update();
}

void KShowPercentsCtrl::SetPercent(int value) {
    if (value == m_last) return;
    m_last = value;
    m_tens = (value / 10) % 10;
    m_units = value % 10;
    if (m_tens < 0) m_tens = 0;
    if (m_units < 0) m_units = 0;
    update();
    AnnounceValue(this, Text());
}

QString KShowPercentsCtrl::Text() const { return QStringLiteral("%1%").arg(std::max(0, m_last)); }

void KShowPercentsCtrl::DrawEmpty(QPainter& p) {
    p.fillRect(rect(), Qt::black);
    DrawSkinPixmap(p, m_bitmaps, static_cast<size_t>(m_tens), 0, 0);
    const int unitsX = SkinPixmapWidth(m_bitmaps, static_cast<size_t>(m_tens)) + kGap;
    DrawSkinPixmap(p, m_bitmaps, static_cast<size_t>(m_units), unitsX, 0);
}
