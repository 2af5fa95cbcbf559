#pragma once
// An entry field for a time code of hours, minutes, seconds and hundredths.
// The arrow keys move between the four fields and step them, digits type
// into the selected field, and the parent is told of every change. The text
// never differs from the formatted value: edits that bypass the keys
// (paste, cut, drop, undo, Backspace) are undone by reformatting.
#include "service/foundation/KTimecode.h"

#include <QLineEdit>

class KTimecodeCtrl : public QLineEdit {
    Q_OBJECT
public:
    enum Notify { kFormatted = 0, kKeyChanged = 1, kFocusGained = 2 };
    enum Field { kNone = -1, kHours = 0, kMinutes, kSeconds, kHundredths };

    explicit KTimecodeCtrl(QWidget* parent = nullptr);

    KTimecode GetTimecode() const { return m_value; }
    void SetTimecode(const KTimecode& value, bool storeCopy, bool reformat);
    KTimecode GetStoredCopy() const { return m_stored; }
    virtual void FormatText();
    // Our own read-only flag: the field keeps its looks and its caret.
    void SetReadOnlyField(bool on) { m_readOnly = on; }
    bool IsReadOnlyField() const { return m_readOnly; }
    // The field under the caret: the last one that starts at or before the
    // caret's end; kNone past the text.
    Field FieldAtCaret() const;
    void SelectField(Field field);
    static int FieldLimit(Field field);

signals:
    // 0 after formatting, 1 after a key changed the value, 2 on gaining the focus.
    void notify(int code);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    // The text the value formats to; empty while the field has no value.
    QString ValueText() const;
    void StepField(Field field, int delta);
    void TypeDigit(Field field, int digit);

    KTimecode m_value;
    KTimecode m_stored;
    bool m_readOnly = false;
    bool m_hasFocus = false;
};
