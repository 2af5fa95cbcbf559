#include "desktop/controls/KButton.h"

#include "desktop/controls/KSkinAccessible.h"
#include "desktop/controls/KSkinResources.h"
#include "desktop/controls/KTabOrder.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

KButton::KButton(QWidget* parent) : KWndSkin(parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
}

KButton::~KButton() { m_toolTip.Destroy(); }

bool KButton::AttachToDlgItem(QWidget* item, QWidget* newParent) {
    if (!KWndSkin::AttachToDlgItem(item, newParent)) return false;
    m_toolTip.Create(this);
    return true;
}

void KButton::ReleaseBitmaps() {
    KWndSkin::ReleaseBitmaps();
    m_toolTip.Destroy();
}

void KButton::Changed() {
    UpdateState();
    update();
    if (m_latched != m_announcedLatch) {
        m_announcedLatch = m_latched;
        AnnounceChecked(this);
    }
}

void KButton::SetPressed() {
    m_state |= kPressed;
    if (m_style & kStyleLatching) m_latched = 1;
    Changed();
}

void KButton::SetText(const QString& text) {
    const bool changed = text != WindowText();
    SetWindowText(text);
    m_toolTip.SetText(text);
    // A toggle's face tells its next command ("Play", "Pause"): read it anew.
    if (changed) AnnounceName(this);
}

void KButton::ModifyState(uint8_t bits, bool on) {
    if (on) m_state |= bits;
    else m_state &= static_cast<uint8_t>(~bits);
    Changed();
}

bool KButton::IsInside(const QPoint& pos) const {
    const auto& region = Skin().WindowRegion();
    if (Skin().GetCurrentState() >= 0 && region && !region->isEmpty()) return region->contains(pos);
    return rect().contains(pos);
}

void KButton::OnMouseMove(const QPoint& pos) {
    if (IsInside(pos)) {
        if (!(m_state & kHover)) {
            m_state |= kHover;
            Changed();
        }
        if (!m_toolTipActive) {
            m_toolTipActive = true;
            m_toolTip.Activate(true);
        }
        return;
    }
    if (m_state & kHover) {
        // A pressed button keeps the pointer (Qt's implicit grab) until the
        // release; only an unpressed or latched one lets the tip go here.
        if (!(m_state & kPressed) || m_latched) {
            m_toolTipActive = false;
            m_toolTip.Activate(false);
        }
        m_state &= static_cast<uint8_t>(~kHover);
        Changed();
    }
}

void KButton::OnLButtonDown(const QPoint& pos, const QPoint& globalPos) {
    // A click clears the hover state, and a pointer that stays still sends no
    // move before the next press: the press itself says where the pointer is.
    if (IsInside(pos)) m_state |= kHover;
    if (!(m_state & kPressed)) {
        m_state |= kPressed;
        Changed();
    }
    emit parentNotify(kNotifyPressPoint, globalPos);
    emit parentNotify(kNotifyPress, QPoint());
    emit parentNotify(kNotifyPressWindow, QPoint());
}

void KButton::OnLButtonUp(const QPoint& pos, const QPoint&) {
    const bool inside = (m_state & kHover) != 0 && IsInside(pos);
    if (m_state & kPressed) {
        if (!(m_style & kStyleLatching) || !inside) {
            m_state &= static_cast<uint8_t>(~kPressed);
            m_latched = 0;
        } else if (!m_latched) {
            m_latched = 1;
        } else {
            m_latched = 0;
            m_state &= static_cast<uint8_t>(~kPressed);
        }
    }
    if (inside) {
        PostCommand(m_id);
        m_state &= static_cast<uint8_t>(~kHover);
    }
    emit parentNotify(kNotifyRelease, QPoint());
    emit parentNotify(kNotifyReleaseWindow, QPoint());
    m_toolTipActive = false;
    m_toolTip.Activate(false);
    Changed();
}

void KButton::OnCaptureChanged() {
    if ((m_state & kHover) && !(m_state & kPressed)) {
        m_state &= static_cast<uint8_t>(~kHover);
        m_toolTipActive = false;
        m_toolTip.Activate(false);
        Changed();
    }
}

void KButton::OnEnable(bool enabled) {
    if (!enabled) {
        m_state &= static_cast<uint8_t>(~kHover);
        m_toolTipActive = false;
        m_toolTip.Activate(false);
    }
    if (enabled) m_state &= static_cast<uint8_t>(~kDisabled);
    else m_state |= kDisabled;
    Changed();
}

void KButton::mouseMoveEvent(QMouseEvent* e) {
    m_toolTip.TrackCursor(e->globalPosition().toPoint());
    OnMouseMove(e->position().toPoint());
}

void KButton::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) OnLButtonDown(e->position().toPoint(), e->globalPosition().toPoint());
}

void KButton::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) OnLButtonUp(e->position().toPoint(), e->globalPosition().toPoint());
}

void KButton::leaveEvent(QEvent* e) {
    // The pointer left while no button was held: the same as a move outside.
    if (!(m_state & kPressed) || m_latched) OnMouseMove(QPoint(-1, -1));
    KWndSkin::leaveEvent(e);
}

void KButton::hideEvent(QHideEvent* e) {
    OnCaptureChanged();
    KWndSkin::hideEvent(e);
}

void KButton::changeEvent(QEvent* e) {
    if (e->type() == QEvent::EnabledChange) OnEnable(isEnabled());
    KWndSkin::changeEvent(e);
}

void KButton::keyPressEvent(QKeyEvent* e) {
    const int key = e->key();
    if ((key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) && !e->isAutoRepeat()) {
        Click();
        return;
    }
    KWndSkin::keyPressEvent(e);
}

void KButton::Click() {
    const QPoint centre = rect().center();
    const QPoint global = mapToGlobal(centre);
    OnLButtonDown(centre, global);
    m_state |= kHover;
    OnLButtonUp(centre, global);
}

void KButton::focusInEvent(QFocusEvent* e) {
    update();
    KWndSkin::focusInEvent(e);
}

void KButton::focusOutEvent(QFocusEvent* e) {
    update();
    KWndSkin::focusOutEvent(e);
}

void KButton::paintEvent(QPaintEvent* e) {
    KWndSkin::paintEvent(e);
    if (hasFocus()) {
        // The focus mark, one pixel inside the edge.
        QPainter p(this);
        DrawFocusMark(p, rect().adjusted(1, 1, -1, -1), QColor(255, 255, 255));
    }
}

void KButton::DrawEmpty(QPainter& p) { DrawButton(p); }

void KButton::DrawButton(QPainter& p) {
    const bool pressed = m_state & kPressed;
    const bool hover = m_state & kHover;
    const QColor face = palette().color(QPalette::Button);
    const QColor hoverBrush(125, 170, 255);
    const QColor pressedHover(40, 116, 255);
    const QColor frame(0, 0, 50);
    QColor light = palette().color(QPalette::Light);
    QColor dark = palette().color(QPalette::Shadow);
    QColor brush = face;
    if (pressed && hover) {
        brush = pressedHover;
        std::swap(light, dark);
    } else if (pressed || hover) {
        brush = hoverBrush;
    }
    const QRect r = rect();
    if (!(m_style & kStyleFlat)) {
        p.fillRect(r, brush);
        if (pressed || hover || (m_style & kStyleFramed)) {
            p.setPen(frame);
            p.setBrush(Qt::NoBrush);
            p.drawRect(r.adjusted(0, 0, -1, -1));
        }
        return;
    }
    if (!pressed && !hover) {
        p.fillRect(r, brush);
        return;
    }
    p.setPen(QPen(light, 0));
    p.drawLine(r.bottomLeft(), r.topLeft());
    p.drawLine(r.topLeft(), r.topRight());
    p.setPen(QPen(dark, 0));
    p.drawLine(r.topRight(), r.bottomRight());
    p.drawLine(r.bottomRight(), r.bottomLeft());
}

bool InitSkinButton(QWidget* dialog, KButton& button, int controlId, const int* bitmapIds, int count) {
    QWidget* item = FindDlgItem(dialog, controlId);
    if (!item) return false;
    for (int i = 0; i < count; ++i) button.AddBitmapResource(bitmapIds[i], 0, kSkinKeyColour);
    if (!button.AttachToDlgItem(item)) return false;
    button.SelectState(0);
    return true;
}
