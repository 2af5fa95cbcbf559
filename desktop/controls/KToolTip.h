#pragma once
// A tracking tooltip: a small window that appears once, 200 ms after the
// pointer arrived over its owner, beside the pointer and inside the screen.
#include <QObject>
#include <QPoint>
#include <QString>
#include <QTimer>

#include <memory>

class QLabel;
class QWidget;

class KToolTip : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxText = 1024;
    static constexpr int kDelayMs = 200;

    KToolTip();
    ~KToolTip() override;

    // Makes the tip window for an owner; the owner's text is the first text.
    bool Create(QWidget* owner);
    void Destroy();
    // On: shows the tip once, 200 ms from now, unless switched off before.
    void Activate(bool on);
    void Show();
    void Hide();
    // At most 1024 UTF-16 units; a pair of surrogates is never split.
    void SetText(const QString& text);
    // Where the pointer is, in screen coordinates (the owner reports it).
    void TrackCursor(const QPoint& globalPos) { m_cursor = globalPos; m_cursorKnown = true; }
    // Places the tip's top-left corner (the slider's tip follows its thumb).
    void MoveTo(const QPoint& globalPos);

    bool IsActive() const { return m_active; }
    bool IsPending() const { return m_pending; }
    QString Text() const { return m_text; }
    // The tip window, null before Create.
    QWidget* Window() const;

signals:
    void shown();

private:
    void OnTimer();

    QWidget* m_owner = nullptr;
    std::unique_ptr<QLabel> m_tip;
    QTimer m_timer;  // one per tooltip
    QString m_text;
    QPoint m_cursor;
    bool m_cursorKnown = false;
    bool m_active = false;
    bool m_pending = false;
};
