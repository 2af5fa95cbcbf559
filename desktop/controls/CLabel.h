#pragma once
// A text label with its own colours and font, an optional gradient
// background, 3-D text, rotation, flashing, and link behaviour (a web or
// mail link, opened by a click or Enter). Every setter returns the label.
#include <QColor>
#include <QFont>
#include <QFrame>
#include <QTimer>
#include <QUrl>

#include <functional>

class CLabel : public QFrame {
    Q_OBJECT
public:
    // Text placement, as the static styles give it.
    enum Align { kLeft = 0, kCenter = 1, kRight = 2, kLeftNoWordWrap = 3 };
    enum Flash { kFlashNone = 0, kFlashText = 1, kFlashBackground = 2 };
    enum Link { kLinkNone = 0, kLinkWeb = 1, kLinkMail = 2 };
    static constexpr int kFlashMs = 500;
    static constexpr int kNotifyCode = 0x8200;
    static constexpr int kMaxGradientSteps = 100;

    using Opener = std::function<bool(const QUrl&)>;

    explicit CLabel(QWidget* parent = nullptr);

    CLabel& SetBkColor(const QColor& colour, const QColor& end = QColor(), bool gradient = false);
    CLabel& SetTextColor(const QColor& colour);
    CLabel& SetText(const QString& text);
    CLabel& SetFontBold(bool on);
    CLabel& SetFontName(const QString& face);
    CLabel& SetFontUnderline(bool on);
    CLabel& SetFontItalic(bool on);
    CLabel& SetFontSize(int points);
    CLabel& SetSunken(bool on);
    CLabel& SetBorder(bool on);
    CLabel& SetTransparent(bool on);
    CLabel& FlashText(bool on);
    CLabel& FlashBackground(bool on);
    CLabel& SetLink(bool on, bool notify);
    CLabel& SetLinkCursor(const QCursor& cursor);
    CLabel& SetText3D(bool on, int kind = 1);
    CLabel& SetRotationAngle(int degrees, bool on);
    CLabel& SetHighlightColor(const QColor& colour);
    CLabel& SetFontValues(const QFont& font);
    CLabel& SetMailLink(bool on, bool notify);
    CLabel& SetLinkURL(const QString& target);
    CLabel& ApplyFont();
    CLabel& SetAlignment(Align align, bool centreVertically = false);

    QString Text() const { return m_text; }
    bool IsLink() const { return m_link != kLinkNone; }
    int FlashKind() const { return m_flashKind; }
    bool FlashPhase() const { return m_flashPhase; }
    bool IsFlashTimerRunning() const { return m_flashTimer.isActive(); }
    // How links are opened; the desktop's URL handler unless replaced.
    void SetOpener(Opener opener) { m_opener = std::move(opener); }
    // Opens the link (or notifies), as a click does.
    void Activate();
    // The colour the text is drawn in now (the background's while a text
    // flash hides it).
    QColor CurrentTextColour() const;
    // The colour the background is filled with now: while a background
    // flash is in its dark phase the label shows in reverse, the text's
    // colour behind the background's. Invalid when nothing is filled (a
    // transparent or gradient label outside that phase).
    QColor CurrentBackgroundColour() const;

signals:
    void notify(int code);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QColor BackgroundColour() const;
    bool Reversed() const { return m_flashKind == kFlashBackground && !m_flashPhase; }
    void Redraw();
    CLabel& SetFlash(int kind, bool on);
    void OnFlash();

    QString m_text;
    QColor m_textColour;
    QColor m_highlightColour = Qt::white;
    QColor m_backgroundColour;
    QColor m_gradientEnd;
    bool m_gradient = false;
    bool m_hasBackground = false;
    QFont m_font;
    bool m_flashPhase = true;
    int m_flashKind = kFlashNone;
    QTimer m_flashTimer;
    int m_link = kLinkNone;
    bool m_notify = false;
    QString m_linkTarget;
    bool m_transparent = false;
    bool m_text3D = false;
    int m_text3DKind = 1;
    bool m_rotation = false;
    int m_angle = 0;
    Align m_align = kLeft;
    bool m_centreVertically = false;
    Opener m_opener;
};
