#include "desktop/controls/KToolTip.h"

#include "desktop/controls/KWndSkin.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

KToolTip::KToolTip() {
    m_timer.setSingleShot(true);
    m_timer.setInterval(kDelayMs);
    m_timer.setTimerType(Qt::PreciseTimer);  // never early
    connect(&m_timer, &QTimer::timeout, this, &KToolTip::OnTimer);
}

KToolTip::~KToolTip() = default;

bool KToolTip::Create(QWidget* owner) {
    m_owner = owner;
    m_tip = std::make_unique<QLabel>(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                                  Qt::WindowDoesNotAcceptFocus);
    m_tip->setAttribute(Qt::WA_ShowWithoutActivating);
    m_tip->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_tip->setMargin(2);
    m_tip->setTextFormat(Qt::PlainText);
    m_tip->setStyleSheet(QStringLiteral("QLabel { background: #ffffe1; color: black; border: 1px solid black; }"));
    if (auto* skin = qobject_cast<KWndSkin*>(owner)) SetText(skin->WindowText());
    return true;
}

void KToolTip::Destroy() {
    m_timer.stop();
    m_active = m_pending = false;
    m_tip.reset();
}

QWidget* KToolTip::Window() const { return m_tip.get(); }

void KToolTip::Activate(bool on) {
    if (on) {
        if (m_active) return;
        m_active = m_pending = true;
        m_timer.start();
    } else {
        m_timer.stop();
        m_active = m_pending = false;
        Hide();
    }
}

void KToolTip::OnTimer() {
    if (!m_pending) return;
    m_pending = false;
    Show();
}

void KToolTip::Show() {
    if (!m_tip) return;
    if (m_text.isEmpty())
        if (auto* skin = qobject_cast<KWndSkin*>(m_owner)) SetText(skin->WindowText());
    m_tip->adjustSize();
    const QPoint cursor = m_cursorKnown ? m_cursor : QCursor::pos();
    QScreen* screen = m_owner && m_owner->screen() ? m_owner->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 1 << 16, 1 << 16);
    const QSize size = m_tip->size();
    QPoint at = cursor + QPoint(25, 10);
    if (at.x() + size.width() > area.right() + 1) at.setX(area.right() + 1 - size.width() - 30);
    if (at.y() + size.height() > area.bottom() + 1) at.setY(area.bottom() + 1 - size.height() - 15);
    m_tip->move(at);
    m_tip->show();
    emit shown();
}

void KToolTip::Hide() {
    if (m_tip) m_tip->hide();
}

void KToolTip::SetText(const QString& text) {
    int n = std::min<int>(static_cast<int>(text.size()), kMaxText);
    if (n < text.size() && n > 0 && text.at(n - 1).isHighSurrogate()) --n;
    m_text = text.left(n);
    if (m_tip) {
        m_tip->setText(m_text);
        if (m_tip->isVisible()) m_tip->adjustSize();
    }
}

void KToolTip::MoveTo(const QPoint& globalPos) {
    if (m_tip) m_tip->move(globalPos);
}
