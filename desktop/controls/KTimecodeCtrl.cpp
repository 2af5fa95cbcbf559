#include "desktop/controls/KTimecodeCtrl.h"

#include <QKeyEvent>

namespace {

struct FieldRange {
    int start, end;
};
constexpr FieldRange kFields[] = {{0, 2}, {3, 5}, {6, 8}, {9, 11}};
constexpr int kTextLength = 11;

int FieldValue(const KTimecode& t, KTimecodeCtrl::Field f) {
    switch (f) {
        case KTimecodeCtrl::kHours: return t.GetHours();
        case KTimecodeCtrl::kMinutes: return t.GetMinutes();
        case KTimecodeCtrl::kSeconds: return t.GetSeconds();
        default: return t.GetFrames();
    }
}

void SetField(KTimecode& t, KTimecodeCtrl::Field f, int v) {
    switch (f) {
        case KTimecodeCtrl::kHours: t.SetHours(v); break;
        case KTimecodeCtrl::kMinutes: t.SetMinutes(v); break;
        case KTimecodeCtrl::kSeconds: t.SetSeconds(v); break;
        default: t.SetFrames(v); break;
    }
}

}  // namespace

KTimecodeCtrl::KTimecodeCtrl(QWidget* parent) : QLineEdit(parent) {
    m_value.SetInvalid(true);
    setDragEnabled(false);
    setAcceptDrops(false);
    setMaxLength(kTextLength);
    // Any change that did not come through the keys (paste, cut, drop, undo)
    // is put back to the value.
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (text() != ValueText()) FormatText();
    });
    FormatText();
}

int KTimecodeCtrl::FieldLimit(Field field) {
    switch (field) {
        case kHours: return 99;
        case kMinutes:
        case kSeconds: return 59;
        default: return static_cast<int>(KTimecode::GetRate());
    }
}

void KTimecodeCtrl::SetTimecode(const KTimecode& value, bool storeCopy, bool reformat) {
    m_value = value;
    if (storeCopy) m_stored = value;
    if (reformat) FormatText();
}

QString KTimecodeCtrl::ValueText() const {
    // A field without a value shows nothing (in the hundredths mode a value
    // is never without one: making it so clears it to zero).
    if (m_value.IsInvalid()) return QString();
    return QString::asprintf("%02d:%02d:%02d.%02d", m_value.GetHours(), m_value.GetMinutes(), m_value.GetSeconds(),
                             m_value.GetFrames());
}

void KTimecodeCtrl::FormatText() {
    const QString formatted = ValueText();
    if (formatted != text()) {
        const Field selected = m_hasFocus && !formatted.isEmpty() ? FieldAtCaret() : kNone;
        const QSignalBlocker block(this);
        setText(formatted);
        if (selected != kNone) SelectField(selected);
    }
    emit notify(kFormatted);
}

KTimecodeCtrl::Field KTimecodeCtrl::FieldAtCaret() const {
    const int caretEnd = hasSelectedText() ? selectionEnd() : cursorPosition();
    if (caretEnd > kTextLength) return kNone;
    Field found = kNone;
    for (int i = 0; i < 4; ++i)
        if (kFields[i].start <= caretEnd) found = static_cast<Field>(i);
    return found;
}

void KTimecodeCtrl::SelectField(Field field) {
    if (field == kNone) return;
    const FieldRange r = kFields[field];
    setSelection(r.start, r.end - r.start);
}

void KTimecodeCtrl::StepField(Field field, int delta) {
    if (m_value.IsInvalid()) m_value.Zero();
    SetField(m_value, field, FieldValue(m_value, field) + delta);
    FormatText();
    SelectField(field);
}

void KTimecodeCtrl::TypeDigit(Field field, int digit) {
    if (m_value.IsInvalid()) m_value.Zero();
    // The field's two characters and the new digit, cut to the last two.
    const int typed = FieldValue(m_value, field) % 10 * 10 + digit;
    SetField(m_value, field, typed > FieldLimit(field) ? digit : typed);
    FormatText();
    SelectField(field);
}

void KTimecodeCtrl::keyPressEvent(QKeyEvent* e) {
    const int key = e->key();
    // Tab and Backtab move the focus as in any field.
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab || (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier) &&
                                                         !e->matches(QKeySequence::Paste) &&
                                                         !e->matches(QKeySequence::Cut) &&
                                                         !e->matches(QKeySequence::Undo) &&
                                                         !e->matches(QKeySequence::Redo) &&
                                                         !e->matches(QKeySequence::DeleteEndOfWord) &&
                                                         !e->matches(QKeySequence::DeleteStartOfWord))) {
        QLineEdit::keyPressEvent(e);
        return;
    }
    const Field field = FieldAtCaret();
    bool handled = true;
    if (key == Qt::Key_Left) {
        if (field > kHours) SelectField(static_cast<Field>(field - 1));
        else if (field == kNone) SelectField(kHundredths);
    } else if (key == Qt::Key_Right) {
        if (field != kNone && field < kHundredths) SelectField(static_cast<Field>(field + 1));
    } else if (key == Qt::Key_Up || key == Qt::Key_Down) {
        if (!m_readOnly && field != kNone) {
            StepField(field, key == Qt::Key_Up ? 1 : -1);
            emit notify(kKeyChanged);
        }
    } else if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        if (!m_readOnly && field != kNone) {
            TypeDigit(field, key - Qt::Key_0);
            emit notify(kKeyChanged);
        }
    } else if (key == Qt::Key_Home || key == Qt::Key_End || key == Qt::Key_Escape || key == Qt::Key_Return ||
               key == Qt::Key_Enter || (key >= Qt::Key_F1 && key <= Qt::Key_F35)) {
        handled = false;
    }
    // Everything else (letters, punctuation, Insert, Delete, Backspace,
    // paste, cut, undo) is swallowed: the text stays the value's.
    if (!handled) QLineEdit::keyPressEvent(e);
    else e->accept();
}

void KTimecodeCtrl::mouseReleaseEvent(QMouseEvent* e) {
    QLineEdit::mouseReleaseEvent(e);
    if (!m_readOnly) SelectField(FieldAtCaret());
}

void KTimecodeCtrl::focusInEvent(QFocusEvent* e) {
    QLineEdit::focusInEvent(e);
    if (!m_readOnly) SelectField(FieldAtCaret());
    emit notify(kFocusGained);
    m_hasFocus = true;
}

void KTimecodeCtrl::focusOutEvent(QFocusEvent* e) {
    m_hasFocus = false;
    QLineEdit::focusOutEvent(e);
}

void KTimecodeCtrl::contextMenuEvent(QContextMenuEvent* e) { e->accept(); }

void KTimecodeCtrl::inputMethodEvent(QInputMethodEvent* e) { e->accept(); }
