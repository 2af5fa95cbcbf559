#pragma once
// Pop-up notices: small windows near the main window that close by
// themselves after the display time; at most a few at once (the oldest goes
// first). The focus returns to the widget that had it.
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <deque>

namespace parvane {

class Notices {
public:
    Notices(QWidget* anchor, int displayMs, int maxShown) : m_anchor(anchor), m_displayMs(displayMs), m_max(maxShown) {}
    ~Notices();
    void Show(const QString& text);
    // The texts on screen now, oldest first.
    QStringList Shown() const;
    // Every text shown so far, oldest first.
    const QStringList& History() const { return m_history; }

private:
    void Remove(QWidget* popup);
    void Place();

    QWidget* m_anchor;
    int m_displayMs;
    int m_max;
    std::deque<QPointer<QWidget>> m_popups;
    QStringList m_history;
};

}  // namespace parvane
