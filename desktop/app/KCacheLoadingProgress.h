#pragma once
// The small modal window shown while the service loads another cache folder.
// The service gives no progress, so the bar only runs back and forth; the
// user cannot close it: the main window ends it when the load is done.
#include <QDialog>

class QProgressBar;
class QTimer;

namespace parvane {

class KCacheLoadingProgress : public QDialog {
public:
    explicit KCacheLoadingProgress(QWidget* parent);
    // One step of the bar (the timer calls it every 300 ms).
    void Step();
    int Position() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override {}

private:
    QProgressBar* m_bar;
    QTimer* m_timer;
    bool m_forward = true;
};

}  // namespace parvane
