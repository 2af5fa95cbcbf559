#include "desktop/controls/CShowTime.h"

#include "desktop/controls/KSkinAccessible.h"
#include "desktop/controls/KSkinResources.h"

#include <QPainter>

CShowTime::CShowTime(QWidget* parent) : KWndSkin(parent) {}

void CShowTime::SetBitmaps(std::vector<QPixmap> bitmaps) {
    m_bitmaps = std::move(bitmaps);
    update();
}

void CShowTime::SetMargins(int x, int y) {
    m_marginX = x;
    m_marginY = y;
    update();
}

void CShowTime::SetTime(const KTimecode& t) {
    if (t.GetHours() == m_time.GetHours() && t.GetMinutes() == m_time.GetMinutes() &&
        t.GetSeconds() == m_time.GetSeconds())
        return;
    m_time = t;
    const int fields[3] = {t.GetHours(), t.GetMinutes(), t.GetSeconds()};
    for (int i = 0; i < 3; ++i) {
        m_digits[2 * i] = fields[i] / 10 % 10;
        m_digits[2 * i + 1] = fields[i] % 10;
    }
    update();
    AnnounceValue(this, Text());
}

QString CShowTime::Text() const {
    return QString::asprintf("%d%d:%d%d:%d%d", m_digits[0], m_digits[1], m_digits[2], m_digits[3], m_digits[4],
                             m_digits[5]);
}

void CShowTime::DrawEmpty(QPainter& p) {
    p.fillRect(rect(), Qt::black);
    DrawBackground(p);
    const int digitHeight = m_bitmaps.empty() ? 0 : m_bitmaps[0].height();
    int x = m_marginX;
    const int y = m_marginY;
    bool first = true;
    auto item = [&](size_t index, bool colon) {
        if (!first) x += kGap;
        first = false;
        // Colons stand centred against the digits' height.
        const int h = index < m_bitmaps.size() ? m_bitmaps[index].height() : 0;
        DrawSkinPixmap(p, m_bitmaps, index, x, colon ? y + (digitHeight - h) / 2 : y);
        x += SkinPixmapWidth(m_bitmaps, index);
    };
    for (int pair = 0; pair < 3; ++pair) {
        if (pair > 0) item(kColon, true);
        item(static_cast<size_t>(m_digits[2 * pair]), false);
        item(static_cast<size_t>(m_digits[2 * pair + 1]), false);
    }
}
