#pragma once
// A list whose header is drawn in the skin's colours: white text on a dark
// red, the header's empty area included.
#include <QColor>
#include <QHeaderView>
#include <QTreeWidget>

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

class CColorListCtrl : public QTreeWidget {
    Q_OBJECT
public:
    explicit CColorListCtrl(QWidget* parent = nullptr);
    CColorHeaderCtrl* ColorHeader() const { return m_header; }

private:
    CColorHeaderCtrl* m_header;
};
