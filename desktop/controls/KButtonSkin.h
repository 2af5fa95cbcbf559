#pragma once
// A skinned button that selects one of four bitmaps per face: normal,
// hover, pressed, disabled.
#include "desktop/controls/KButton.h"

class KButtonSkin : public KButton {
    Q_OBJECT
public:
    explicit KButtonSkin(QWidget* parent = nullptr);
    void SetBitmapIndex(int base);
    int GetBitmapIndex() const { return m_base; }
    void UpdateState() override;

protected:
    int m_base = 0;
};
