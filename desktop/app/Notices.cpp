#include "desktop/app/Notices.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>

namespace parvane {

Notices::~Notices() {
    for (auto& popup : m_popups)
        if (popup) delete popup.data();
}

void Notices::Show(const QString& text) {
    m_history << text;
    QPointer<QWidget> focus = QApplication::focusWidget();
    while (int(m_popups.size()) >= m_max) {
        if (m_popups.front()) delete m_popups.front().data();
        m_popups.pop_front();
    }
    auto* popup = new QLabel(text.left(1000), nullptr, Qt::ToolTip | Qt::FramelessWindowHint);
    popup->setObjectName(QStringLiteral("notice"));
    popup->setAttribute(Qt::WA_ShowWithoutActivating);
    popup->setWordWrap(true);
    popup->setMaximumWidth(320);
    popup->setMargin(8);
    popup->setStyleSheet(QStringLiteral("background:#6f1822;color:white;border:1px solid #97281a;"));
    m_popups.push_back(popup);
    Place();
    popup->show();
    QPointer<QWidget> guard(popup);
    QTimer::singleShot(m_displayMs, popup, [this, guard] {
        if (guard) Remove(guard.data());
    });
    if (focus) focus->setFocus();
}

void Notices::Remove(QWidget* popup) {
    for (auto it = m_popups.begin(); it != m_popups.end(); ++it)
        if (it->data() == popup) {
            m_popups.erase(it);
            break;
        }
    popup->deleteLater();
    Place();
}

void Notices::Place() {
    if (!m_anchor) return;
    QPoint corner = m_anchor->geometry().bottomRight();
    int y = corner.y();
    for (auto it = m_popups.rbegin(); it != m_popups.rend(); ++it) {
        if (!*it) continue;
        QWidget* w = it->data();
        w->adjustSize();
        y -= w->height() + 4;
        w->move(corner.x() - w->width(), y);
    }
}

QStringList Notices::Shown() const {
    QStringList texts;
    for (const auto& popup : m_popups)
        if (auto* label = qobject_cast<QLabel*>(popup.data())) texts << label->text();
    return texts;
}

}  // namespace parvane
