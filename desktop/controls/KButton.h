#pragma once
// Skinned push buttons: hover, press, latch and disabled states, a tracking
// tooltip, and a plain drawn look when no bitmap state is current.
#include "desktop/controls/KToolTip.h"
#include "desktop/controls/KWndSkin.h"

#include <cstdint>

class KButton : public KWndSkin {
    Q_OBJECT
public:
    // Style bits.
    static constexpr uint8_t kStyleLatching = 0x02;
    static constexpr uint8_t kStyleFlat = 0x04;
    static constexpr uint8_t kStyleFramed = 0x08;
    // State bits.
    static constexpr uint8_t kPressed = 0x01;
    static constexpr uint8_t kHover = 0x02;
    static constexpr uint8_t kDisabled = 0x04;
    // Codes of the press and release notifications, in the order sent.
    static constexpr int kNotifyPressPoint = 0x122;
    static constexpr int kNotifyPress = 0x120;
    static constexpr int kNotifyPressWindow = 0x123;
    static constexpr int kNotifyRelease = 0x121;
    static constexpr int kNotifyReleaseWindow = 0x124;

    explicit KButton(QWidget* parent = nullptr);
    ~KButton() override;

    bool AttachToDlgItem(QWidget* item, QWidget* newParent = nullptr) override;
    void ReleaseBitmaps() override;

    void SetStyle(uint8_t style) { m_style = style; }
    uint8_t GetStyle() const { return m_style; }
    void SetPressed();
    uint8_t GetState() const { return m_state; }
    bool IsLatched() const { return m_latched != 0; }
    virtual void SetText(const QString& text);
    virtual void UpdateState() {}
    virtual void ModifyState(uint8_t bits, bool on);
    KToolTip& ToolTip() { return m_toolTip; }
    // A click as from the keyboard: a press and a release over the button.
    virtual void Click();

signals:
    // Sent at once, in order: press 0x122 (screen point), 0x120, 0x123;
    // release 0x121, 0x124. The click itself follows as a queued command.
    void parentNotify(int code, QPoint screenPoint);

protected:
    void DrawEmpty(QPainter& painter) override;
    virtual void DrawButton(QPainter& painter);
    virtual void OnMouseMove(const QPoint& pos);
    virtual void OnLButtonDown(const QPoint& pos, const QPoint& globalPos);
    virtual void OnLButtonUp(const QPoint& pos, const QPoint& globalPos);
    virtual void OnCaptureChanged();
    virtual void OnEnable(bool enabled);
    bool IsInside(const QPoint& pos) const;
    void Changed();

    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

    uint8_t m_style = 1;
    uint8_t m_state = 0;
    uint8_t m_latched = 0;
    uint8_t m_announcedLatch = 0;  // the latch assistive tools were last told of
    bool m_toolTipActive = false;
    KToolTip m_toolTip;
};

// Sets a skinned button up on the dialog item with the given control id:
// the bitmaps in order (no region is built for them), then the item's place,
// then the first state. False when the item does not exist.
bool InitSkinButton(QWidget* dialog, KButton& button, int controlId, const int* bitmapIds, int count);
