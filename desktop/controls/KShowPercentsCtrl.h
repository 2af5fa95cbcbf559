#pragma once
// A two-digit percentage drawn from digit bitmaps; it redraws only when the
// value changes.
#include "desktop/controls/KWndSkin.h"

#include <QPixmap>

#include <vector>

class KShowPercentsCtrl : public KWndSkin {
    Q_OBJECT
public:
    static constexpr int kGap = 3;

    explicit KShowPercentsCtrl(QWidget* parent = nullptr);
    // Takes the digit bitmaps 0 to 9 in order, dropping those held so far.
    void SetBitmaps(std::vector<QPixmap> bitmaps);
    // Values of 100 or more cannot be shown; the caller limits them to 99.
    void SetPercent(int value);
    int GetPercent() const { return m_last; }
    // The value as read out, "7%".
    QString Text() const;

protected:
    void DrawEmpty(QPainter& painter) override;

private:
    std::vector<QPixmap> m_bitmaps;
    int m_tens = 0;
    int m_units = 0;
    int m_last = -1;  // nothing shown yet
};
