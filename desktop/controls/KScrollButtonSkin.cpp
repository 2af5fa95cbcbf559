#include "desktop/controls/KScrollButtonSkin.h"

#include "desktop/controls/KSkinAccessible.h"
#include "service/foundation/KTimecode.h"

#include <QKeyEvent>

#include <algorithm>

KScrollButtonSkin::KScrollButtonSkin(QWidget* parent) : KButtonSkin(parent) {}

void KScrollButtonSkin::Attach(int trackLength) {
    m_offset = x();
    m_travel = std::max(0, trackLength - width());
    SetText(QStringLiteral("0"));
}

void KScrollButtonSkin::SetBounds(qint64 low, qint64 high) {
    m_low = low;
    m_high = high;
}

QString KScrollButtonSkin::FormatTime(qint64 milliseconds) {
    KTimecode tc;
    tc.AssignMilliseconds(std::max<qint64>(0, milliseconds));
    return QString::asprintf("%.2d:%.2d:%.2d:%.3d", tc.GetHours(), tc.GetMinutes(), tc.GetSeconds(),
                             tc.GetFrames() * 10);
}

void KScrollButtonSkin::SetValue(qint64 v) {
    if (v < 0 || v > m_high - m_low) return;
    qint64 pixel = m_range > 0 ? static_cast<qint64>(m_travel) * v / m_range : 0;
    if (pixel > m_travel) {
        pixel = m_travel;
        v = m_range;
    }
    m_pixel = static_cast<int>(pixel);
    const bool changed = v != m_value;
    m_value = v;
    SetText(FormatTime(m_low + v));
    if (QWidget* parent = parentWidget()) {
        m_toolTip.MoveTo(parent->mapToGlobal(QPoint(m_offset + m_pixel, y() - 20)));
    }
    const QPoint target(m_offset + m_pixel, y());
    if (pos() != target) move(target);
    if (changed) AnnounceValue(this, m_value);
}

void KScrollButtonSkin::OnLButtonDown(const QPoint& pos, const QPoint& globalPos) {
    m_dragging = true;
    m_anchor = pos.x();
    if (!(m_state & kPressed)) {
        m_state |= kPressed;
        Changed();
    }
    Q_UNUSED(globalPos);
}

void KScrollButtonSkin::OnMouseMove(const QPoint& pos) {
    if (!m_dragging) {
        KButtonSkin::OnMouseMove(pos);
        return;
    }
    // Mouse positions are in the thumb's own coordinates, which move with it.
    const qint64 p = std::max<qint64>(0, m_pixel - m_anchor + std::max(0, pos.x()));
    // No travel: every point is the start.
    const qint64 v = m_travel > 0 ? (m_range * p + m_travel / 2) / m_travel : 0;
    const qint64 a = m_high - m_low;
    if (a - v >= kSnapMs && v <= a) SetValue(v);
    else SetValue(a);
}

void KScrollButtonSkin::OnLButtonUp(const QPoint&, const QPoint&) {
    m_dragging = false;
    m_state &= static_cast<uint8_t>(~kPressed);
    Changed();
    PostCommand(kReleasedCommand);
}

void KScrollButtonSkin::MoveTo(qint64 v) {
    SetValue(std::clamp<qint64>(v, 0, std::max<qint64>(0, m_high - m_low)));
    // Each move ends like a release of a drag.
    PostCommand(kReleasedCommand);
}

void KScrollButtonSkin::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Left: MoveTo(m_value - kKeyStepMs); break;
        case Qt::Key_Right: MoveTo(m_value + kKeyStepMs); break;
        case Qt::Key_Home: MoveTo(0); break;
        case Qt::Key_End: MoveTo(m_high - m_low); break;
        default: KButtonSkin::keyPressEvent(e); break;
    }
}
