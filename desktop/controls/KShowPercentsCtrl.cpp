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
    if (value == m_nLast) return;
    m_nLast = value;
    m_nTens = (value / 10) % 10;
    m_nUnits = value % 10;
    if (m_nTens < 0) m_nTens = 0;
    if (m_nUnits < 0) m_nUnits = 0;
    update();
    AnnounceValue(this, Text());
}

QString KShowPercentsCtrl::Text() const { return QStringLiteral("%1%").arg(std::max(0, m_nLast)); }

void KShowPercentsCtrl::DrawEmpty(QPainter& p) {
    p.fillRect(rect(), Qt::black);
    DrawSkinPixmap(p, m_bitmaps, static_cast<size_t>(m_nTens), 0, 0);
    DrawSkinPixmap(p, m_bitmaps, static_cast<size_t>(m_nUnits), SkinPixmapWidth(m_bitmaps, static_cast<size_t>(m_nTens)) + kGap, 0);
}
