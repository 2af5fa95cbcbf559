#include "desktop/app/Notices.h"

#include <QApplication>
#include <QPointer>

#include "desktop/controls/KAnimatedPopup.h"
#include "desktop/controls/KPopupManager.h"

namespace parvane {

Notices::Notices(int displayMs, int maxShown) : m_manager(std::make_unique<KPopupManager>(displayMs, maxShown)) {}

Notices::~Notices() = default;

void Notices::Show(const QString& text) {
    m_history << text;
    QPointer<QWidget> focus = QApplication::focusWidget();
    m_manager->ShowPopup(text.left(1000));
    if (focus) focus->setFocus();
}

QStringList Notices::Shown() const {
    QStringList texts;
    for (int slot = 0; slot < m_manager->MaxCount(); ++slot)
        if (KAnimatedPopup* popup = m_manager->At(slot); popup && popup->isVisible()) texts << popup->Text();
    return texts;
}

}  // namespace parvane
