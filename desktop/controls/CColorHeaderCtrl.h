#pragma once
// The header of a skin-coloured list: white text on a dark red, the empty
// area after the last section included.
#include <QColor>
#include <QHeaderView>

class CColorHeaderCtrl : public QHeaderView {
    Q_OBJECT
public:
    static const QColor kBackground;
    static const QColor kText;

    explicit CColorHeaderCtrl(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
};
