#pragma once
// The draggable thumb of the position slider. Its value is milliseconds
// after the lower bound; positions are 64-bit (a cache holds hours).
#include "desktop/controls/KButton.h"
#include "desktop/controls/KButtonSkin.h"

class KScrollButtonSkin : public KButtonSkin {
    Q_OBJECT
public:
    // The command posted to the parent when a drag or a key move ends.
    static constexpr int kReleasedCommand = 0x303B;
    static constexpr qint64 kKeyStepMs = 5000;
    static constexpr qint64 kSnapMs = 1000;

    explicit KScrollButtonSkin(QWidget* parent = nullptr);

    // The track runs from the thumb's present place over trackLength pixels.
    void Attach(int trackLength);
    void SetRange(qint64 milliseconds) { m_range = milliseconds; }
    void SetBounds(qint64 low, qint64 high);
    // Ignored when v is negative or above upper minus lower bound.
    void SetValue(qint64 v);
    qint64 GetValue() const { return m_value; }
    // Sets the value as the user would (clamped to the bounds), ending like
    // a release: keys and assistive tools move the thumb this way.
    void MoveTo(qint64 v);
    // Keys click nothing: they move the thumb.
    void Click() override {}
    qint64 GetRange() const { return m_range; }
    qint64 GetLow() const { return m_low; }
    qint64 GetHigh() const { return m_high; }
    int GetPixel() const { return m_pixel; }
    int GetTravel() const { return m_travel; }
    bool IsDragging() const { return m_dragging; }
    // "hh:mm:ss:mmm" of low + value.
    static QString FormatTime(qint64 milliseconds);

protected:
    void OnMouseMove(const QPoint& pos) override;
    void OnLButtonDown(const QPoint& pos, const QPoint& globalPos) override;
    void OnLButtonUp(const QPoint& pos, const QPoint& globalPos) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    qint64 m_value = 0;
    int m_pixel = 0;
    qint64 m_range = 10000;
    qint64 m_low = 0;
    qint64 m_high = 0;
    int m_travel = 0;
    int m_offset = 0;
    int m_anchor = 0;
    bool m_dragging = false;
};
