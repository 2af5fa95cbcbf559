#pragma once
// The main window's pop-up notices: the skinned notices of the controls
// library (display time, at most a few at once), with the focus given back
// to the widget that had it and a record of what was shown.
#include <QString>
#include <QStringList>

#include <memory>

class KPopupManager;
class QWidget;

namespace parvane {

class Notices {
public:
    Notices(int displayMs, int maxShown);
    ~Notices();
    void Show(const QString& text);
    // The texts on screen now, lowest slot first.
    QStringList Shown() const;
    // Every text shown so far, oldest first.
    const QStringList& History() const { return m_history; }

private:
    std::unique_ptr<KPopupManager> m_manager;
    QStringList m_history;
};

}  // namespace parvane
