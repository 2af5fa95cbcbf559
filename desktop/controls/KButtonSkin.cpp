#include "desktop/controls/KButtonSkin.h"

KButtonSkin::KButtonSkin(QWidget* parent) : KButton(parent) {}

void KButtonSkin::SetBitmapIndex(int base) {
    m_base = base;
    UpdateState();
    update();
}

void KButtonSkin::UpdateState() {
    int index = m_base;
    if (m_state & kPressed) index = m_base + 2;
    else if (m_state & kDisabled) index = m_base + 3;
    else if (m_state & kHover) index = m_base + 1;
    if (index != GetCurrentState()) SelectState(index);
}
