#pragma once
// Pop-up notices: small windows that fade in at the bottom-right corner of
// the screen's work area, show a text on a background bitmap for a while
// and fade out. The manager stacks a few of them upward from that corner.
// A notice never takes the focus.
#include <QImage>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class QPropertyAnimation;
class KPopupManager;

class KAnimatedPopup : public QWidget {
    Q_OBJECT
public:
    static constexpr int kFadeMs = 200;
    static constexpr int kTextInset = 10;

    KAnimatedPopup(KPopupManager* manager, const QString& text, int displayMs);
    ~KAnimatedPopup() override;

    QString Text() const { return m_text; }
    bool IsTimerRunning() const { return m_timer.isActive(); }
    // Fades in and starts the display time.
    void Start();
    // Fades out and hides; the manager removes hidden notices.
    void FadeOut();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void OnTimer();
    void Finished();

    KPopupManager* m_manager;
    QString m_text;
    int m_displayMs;
    QTimer m_timer;
    QImage m_composition;  // background with the text drawn on it
    QPointer<QPropertyAnimation> m_fade;
};
