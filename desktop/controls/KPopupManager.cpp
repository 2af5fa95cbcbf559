#include "desktop/controls/KPopupManager.h"

#include "desktop/controls/KAnimatedPopup.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

KPopupManager::KPopupManager(int displayMs, int maxCount)
    : m_displayMs(displayMs), m_maxCount(std::max(1, maxCount)), m_slots(static_cast<size_t>(m_maxCount)) {}

KPopupManager::~KPopupManager() {
    for (auto& slot : m_slots) delete slot.data();
}

KAnimatedPopup* KPopupManager::At(int slot) const {
    if (slot < 0 || slot >= m_maxCount) return nullptr;
    return m_slots[static_cast<size_t>(slot)].data();
}

QPoint KPopupManager::SlotPosition(const QSize& size, int slot, const QRect& area) {
    return {area.right() + 1 - size.width() - 2, area.bottom() + 1 - (size.height() + 2) * (slot + 1)};
}

void KPopupManager::Place(KAnimatedPopup* popup, int slot) {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
    popup->move(SlotPosition(popup->size(), slot, area));
}

KAnimatedPopup* KPopupManager::ShowPopup(const QString& text) {
    auto* popup = new KAnimatedPopup(this, text, m_displayMs);
    int slot = -1;
    for (int i = 0; i < m_maxCount && slot < 0; ++i)
        if (!m_slots[static_cast<size_t>(i)]) slot = i;
    if (slot < 0) {
        if (KAnimatedPopup* lowest = At(0)) lowest->hide();
        CleanUp();
        slot = m_maxCount - 1;
    }
    Place(popup, slot);
    m_slots[static_cast<size_t>(slot)] = popup;
    popup->Start();
    return popup;
}

void KPopupManager::CleanUp() {
    for (auto& slot : m_slots) {
        if (slot && !slot->isVisible()) {
            // Never deleted here: this may run inside the notice's own handler.
            slot->deleteLater();
            slot = nullptr;
        }
    }
    for (int i = 0; i < m_maxCount; ++i) {
        if (m_slots[static_cast<size_t>(i)]) continue;
        for (int j = i + 1; j < m_maxCount; ++j) {
            if (!m_slots[static_cast<size_t>(j)]) continue;
            m_slots[static_cast<size_t>(i)] = m_slots[static_cast<size_t>(j)];
            m_slots[static_cast<size_t>(j)] = nullptr;
            if (m_slots[static_cast<size_t>(i)]->isVisible()) Place(m_slots[static_cast<size_t>(i)], i);
            break;
        }
    }
}
