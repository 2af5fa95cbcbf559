#pragma once
// Counts the paint events of the widgets it watches.
#include <QObject>

class QWidget;

class PaintCounter : public QObject {
public:
    PaintCounter() = default;
    explicit PaintCounter(QWidget* widget) { Watch(widget); }
    void Watch(QWidget* widget);
    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
