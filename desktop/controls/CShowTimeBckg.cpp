#include "desktop/controls/CShowTimeBckg.h"

#include <QPainter>

CShowTimeBckg::CShowTimeBckg(QWidget* parent) : CShowTime(parent) {}

void CShowTimeBckg::SetBackground(QPixmap background) {
    m_background = std::move(background);
    update();
}

void CShowTimeBckg::DrawBackground(QPainter& p) {
    if (!m_background.isNull()) p.drawPixmap(0, 0, m_background);
}
