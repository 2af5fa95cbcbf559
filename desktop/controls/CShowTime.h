#pragma once
// A time as hh:mm:ss drawn from digit bitmaps; it redraws only when what it
// shows changes.
#include "desktop/controls/KWndSkin.h"

#include "service/foundation/KTimecode.h"

#include <QPixmap>

#include <vector>

class CShowTime : public KWndSkin {
    Q_OBJECT
public:
    static constexpr int kGap = 3;
    static constexpr int kColon = 10;

    explicit CShowTime(QWidget* parent = nullptr);
    // Digits 0 to 9, then the colon.
    void SetBitmaps(std::vector<QPixmap> bitmaps);
    // Redraws only when hours, minutes or seconds differ from those shown.
    void SetTime(const KTimecode& time);
    void SetMargins(int x, int y);
    KTimecode GetTime() const { return m_time; }
    // "hh:mm:ss" as shown.
    QString Text() const;

protected:
    void DrawEmpty(QPainter& painter) override;
    virtual void DrawBackground(QPainter&) {}

private:
    std::vector<QPixmap> m_bitmaps;
    int m_digits[6] = {0, 0, 0, 0, 0, 0};
    KTimecode m_time;
    int m_marginX = 0;
    int m_marginY = 0;
};
