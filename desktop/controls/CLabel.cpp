#include "desktop/controls/CLabel.h"

#include "desktop/controls/KDialogFont.h"
#include "desktop/controls/KSkinAccessible.h"
#include "desktop/controls/KTabOrder.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QPainter>

CLabel::CLabel(QWidget* parent) : QFrame(parent) {
    m_textColour = palette().color(QPalette::WindowText);
    m_font = font();
    m_flashTimer.setInterval(kFlashMs);
    connect(&m_flashTimer, &QTimer::timeout, this, &CLabel::OnFlash);
    m_opener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    InstallSkinAccessibility();
}

void CLabel::Redraw() {
    update();
    // A transparent label shows its parent: that area is drawn again too.
    if (m_transparent && parentWidget()) parentWidget()->update(geometry());
}

CLabel& CLabel::SetBkColor(const QColor& colour, const QColor& end, bool gradient) {
    m_backgroundColour = colour;
    m_gradientEnd = end;
    m_gradient = gradient && end.isValid();
    m_hasBackground = colour.isValid();
    Redraw();
    return *this;
}

CLabel& CLabel::SetTextColor(const QColor& colour) {
    m_textColour = colour;
    Redraw();
    return *this;
}

CLabel& CLabel::SetText(const QString& text) {
    m_text = text;
    setAccessibleName(text);
    Redraw();
    return *this;
}

CLabel& CLabel::SetFontBold(bool on) {
    m_font.setWeight(on ? QFont::Bold : QFont::Normal);
    return ApplyFont();
}

CLabel& CLabel::SetFontName(const QString& face) {
    m_font.setFamily(KDialogFont::MakeFont(face, 10, 400, false).family());
    return ApplyFont();
}

CLabel& CLabel::SetFontUnderline(bool on) {
    m_font.setUnderline(on);
    return ApplyFont();
}

CLabel& CLabel::SetFontItalic(bool on) {
    m_font.setItalic(on);
    return ApplyFont();
}

CLabel& CLabel::SetFontSize(int points) {
    m_font.setPixelSize(std::max(1, -KDialogFont::PixelHeight(points, KDialogFont::kReferenceDpi)));
    return ApplyFont();
}

CLabel& CLabel::SetSunken(bool on) {
    setFrameStyle(on ? (QFrame::StyledPanel | QFrame::Sunken) : QFrame::NoFrame);
    Redraw();
    return *this;
}

CLabel& CLabel::SetBorder(bool on) {
    setFrameStyle(on ? (QFrame::Box | QFrame::Plain) : QFrame::NoFrame);
    Redraw();
    return *this;
}

CLabel& CLabel::SetTransparent(bool on) {
    m_transparent = on;
    setAttribute(Qt::WA_TranslucentBackground, on);
    Redraw();
    return *this;
}

CLabel& CLabel::FlashText(bool on) { return SetFlash(kFlashText, on); }

CLabel& CLabel::FlashBackground(bool on) { return SetFlash(kFlashBackground, on); }

CLabel& CLabel::SetFlash(int kind, bool on) {
    m_flashTimer.stop();
    if (on) {
        m_flashPhase = false;
        m_flashKind = kind;
        m_flashTimer.start();
    } else {
        // Stopping either flash leaves the text visible.
        m_flashKind = kFlashNone;
        m_flashPhase = true;
    }
    Redraw();
    return *this;
}

void CLabel::OnFlash() {
    m_flashPhase = !m_flashPhase;
    Redraw();
}

CLabel& CLabel::SetLink(bool on, bool notify) {
    m_link = on ? kLinkWeb : kLinkNone;
    m_notify = notify;
    setFocusPolicy(on ? Qt::StrongFocus : Qt::NoFocus);
    return *this;
}

CLabel& CLabel::SetMailLink(bool on, bool notify) {
    m_link = on ? kLinkMail : kLinkNone;
    m_notify = notify;
    setFocusPolicy(on ? Qt::StrongFocus : Qt::NoFocus);
    return *this;
}

CLabel& CLabel::SetLinkURL(const QString& target) {
    m_linkTarget = target;
    return *this;
}

CLabel& CLabel::SetLinkCursor(const QCursor& cursor) {
    setCursor(cursor);
    return *this;
}

CLabel& CLabel::SetText3D(bool on, int kind) {
    m_text3D = on;
    m_text3DKind = kind;
    Redraw();
    return *this;
}

CLabel& CLabel::SetRotationAngle(int degrees, bool on) {
    m_angle = degrees;
    m_rotation = on;
    Redraw();
    return *this;
}

CLabel& CLabel::SetHighlightColor(const QColor& colour) {
    m_highlightColour = colour;
    Redraw();
    return *this;
}

CLabel& CLabel::SetFontValues(const QFont& font) {
    m_font = font;
    return ApplyFont();
}

CLabel& CLabel::ApplyFont() {
    setFont(m_font);
    Redraw();
    return *this;
}

CLabel& CLabel::SetAlignment(Align align, bool centreVertically) {
    m_align = align;
    m_centreVertically = centreVertically;
    Redraw();
    return *this;
}

QColor CLabel::BackgroundColour() const {
    return m_hasBackground ? m_backgroundColour : palette().color(QPalette::Button);
}

QColor CLabel::CurrentTextColour() const {
    if ((m_flashKind == kFlashText && !m_flashPhase) || Reversed()) return BackgroundColour();
    return m_textColour;
}

QColor CLabel::CurrentBackgroundColour() const {
    if (Reversed()) return m_textColour;
    if (m_transparent || m_gradient) return QColor();
    return BackgroundColour();
}

void CLabel::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    const QRect r = contentsRect();
    if (Reversed()) {
        p.fillRect(r, CurrentBackgroundColour());
    } else if (!m_transparent) {
        if (m_gradient) {
            // At most 100 bands from the start colour to the end colour.
            const int steps = std::max(1, std::min(kMaxGradientSteps, r.width()));
            for (int i = 0; i < steps; ++i) {
                const int x0 = r.left() + r.width() * i / steps, x1 = r.left() + r.width() * (i + 1) / steps;
                const auto mix = [&](int a, int b) { return a + (b - a) * i / std::max(1, steps - 1); };
                p.fillRect(QRect(x0, r.top(), x1 - x0, r.height()),
                           QColor(mix(m_backgroundColour.red(), m_gradientEnd.red()),
                                  mix(m_backgroundColour.green(), m_gradientEnd.green()),
                                  mix(m_backgroundColour.blue(), m_gradientEnd.blue())));
            }
        } else {
            p.fillRect(r, BackgroundColour());
        }
    }
    int flags = Qt::TextWordWrap;
    switch (m_align) {
        case kCenter: flags = Qt::AlignHCenter | Qt::TextWordWrap; break;
        case kRight: flags = Qt::AlignRight | Qt::TextWordWrap; break;
        case kLeftNoWordWrap: flags = Qt::AlignLeft | Qt::TextSingleLine; break;
        default: flags = Qt::AlignLeft | Qt::TextWordWrap; break;
    }
    if (m_text.contains(QLatin1Char('\t'))) flags |= Qt::TextExpandTabs;
    if (m_centreVertically) {
        flags |= Qt::AlignHCenter;
        if (!m_text.contains(QLatin1Char('\n'))) flags = (flags & ~Qt::TextWordWrap) | Qt::AlignVCenter | Qt::TextSingleLine;
    }
    p.setFont(m_font);
    auto draw = [&](const QColor& c, const QPoint& shift) {
        p.setPen(c);
        if (m_rotation) {
            p.save();
            p.translate(r.center() + shift);
            p.rotate(-m_angle);
            const int w = p.fontMetrics().horizontalAdvance(m_text);
            p.drawText(QPoint(-w / 2, 0), m_text);
            p.restore();
        } else {
            p.drawText(r.translated(shift), flags, m_text);
        }
    };
    draw(CurrentTextColour(), QPoint());
    if (m_text3D) draw(m_highlightColour, m_text3DKind == 1 ? QPoint(1, 1) : QPoint(-1, -1));
    if (IsLink() && hasFocus()) {
        // A link with the focus shows it in the text's colour, so the
        // keyboard user sees where Enter goes.
        DrawFocusMark(p, rect(), CurrentTextColour());
    }
    QFrame::paintEvent(e);
}

void CLabel::focusInEvent(QFocusEvent* e) {
    update();
    QFrame::focusInEvent(e);
}

void CLabel::focusOutEvent(QFocusEvent* e) {
    update();
    QFrame::focusOutEvent(e);
}

void CLabel::Activate() {
    if (m_link == kLinkNone) return;
    if (m_notify) {
        emit notify(kNotifyCode);
        return;
    }
    if (!m_opener) return;
    if (m_link == kLinkMail) m_opener(QUrl(QStringLiteral("mailto:") + m_text));
    else m_opener(QUrl::fromUserInput(m_linkTarget.isEmpty() ? m_text : m_linkTarget));
}

void CLabel::mousePressEvent(QMouseEvent* e) {
    if (m_link != kLinkNone) Activate();
    QFrame::mousePressEvent(e);
}

void CLabel::keyPressEvent(QKeyEvent* e) {
    if (m_link != kLinkNone && (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)) {
        Activate();
        return;
    }
    QFrame::keyPressEvent(e);
}
