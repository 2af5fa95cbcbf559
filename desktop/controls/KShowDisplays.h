#pragma once
// Small displays drawn from digit bitmaps: a two-digit percentage and a
// time as hh:mm:ss, optionally on a background bitmap. They redraw only
// when what they show changes.
#include "desktop/controls/KWndSkin.h"

#include "service/foundation/KTimecode.h"

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
    int GetPercent() const { return m_nLast; }
    // The value as read out, "7%".
    QString Text() const;

protected:
    void DrawEmpty(QPainter& painter) override;

private:
    std::vector<QPixmap> m_bitmaps;
    int m_nTens = 0;
    int m_nUnits = 0;
    int m_nLast = -1;  // nothing shown yet
};

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
    int m_nMarginX = 0;
    int m_nMarginY = 0;
};

class CShowTimeBckg : public CShowTime {
    Q_OBJECT
public:
    explicit CShowTimeBckg(QWidget* parent = nullptr);
    void SetBackground(QPixmap background);

protected:
    void DrawBackground(QPainter& painter) override;

private:
    QPixmap m_background;
};

// The skin bitmaps of the listed ids, in order (null pixmaps for missing ids).
std::vector<QPixmap> LoadSkinPixmaps(const std::vector<int>& ids);
