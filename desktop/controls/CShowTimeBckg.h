#pragma once
// The time display on a background bitmap.
#include "desktop/controls/CShowTime.h"

#include <QPixmap>

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
