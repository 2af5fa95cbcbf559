#pragma once
// Pop-up notices: small windows that fade in at the bottom-right corner of
// the screen's work area, show a text on a background bitmap for a while
// and fade out. The manager stacks a few of them upward from that corner.
// A notice never takes the focus.
#include <QImage>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <vector>

class QPropertyAnimation;
class KPopupManager;

class KAnimatedPopup : public QWidget {
    Q_OBJECT
public:
    static constexpr int kFadeMs = 200;
    static constexpr int kTextInset = 10;

    KAnimatedPopup(KPopupManager* manager, const QString& text, int displayMs);
    ~KAnimatedPopup() override;

    QString Text() const { return m_strText; }
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
    QString m_strText;
    int m_nDisplayMs;
    QTimer m_timer;
    QImage m_composition;  // background with the text drawn on it
    QPointer<QPropertyAnimation> m_fade;
};

class KPopupManager : public QObject {
    Q_OBJECT
public:
    KPopupManager(int displayMs, int maxCount);
    ~KPopupManager() override;

    // Shows a notice in the lowest free slot; when every slot is taken the
    // notice in slot 0 goes and the others slide down.
    KAnimatedPopup* ShowPopup(const QString& text);
    // Removes the notices that have been hidden (later, from the event loop)
    // and slides the others down into the gaps.
    void CleanUp();
    // The notice in a slot (0 = lowest), or null.
    KAnimatedPopup* At(int slot) const;
    int MaxCount() const { return m_nMax; }
    // Where a notice of that size stands in a slot.
    static QPoint SlotPosition(const QSize& size, int slot, const QRect& workArea);

private:
    void Place(KAnimatedPopup* popup, int slot);

    int m_nDisplayMs;
    int m_nMax;
    std::vector<QPointer<KAnimatedPopup>> m_slots;
};
