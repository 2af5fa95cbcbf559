#pragma once
// "Fine position": the user types a play position in hh:mm:ss.hh; OK is
// offered only inside the cache's readable range.
#include <QDialog>

#include "platform/core/WinTypes.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace parvane {

// Parses "h:mm:ss.hh" (also "hh:mm:ss:hh" and without hundredths) into
// milliseconds; false for anything else.
bool ParsePosition(const QString& text, ULONG* ms);
// "hh:mm:ss:hh" of a position in milliseconds (as the dialog's labels show it).
QString PositionText(ULONG ms);

class CPlayPositionDialog : public QDialog {
public:
    explicit CPlayPositionDialog(QWidget* parent);
    void SetMinPosition(ULONG ms);
    void SetMaxPosition(ULONG ms);
    // The entered position (the minimum until the user types).
    ULONG Position() const;
    QLineEdit* Entry() const { return m_entry; }
    QPushButton* OkButton() const { return m_ok; }
    QLabel* MinLabel() const { return m_minLabel; }
    QLabel* MaxLabel() const { return m_maxLabel; }

private:
    void OnChangeEdit();

    ULONG m_min = 0;
    ULONG m_max = 0;
    bool m_typed = false;
    QLineEdit* m_entry;
    QLabel* m_minLabel;
    QLabel* m_maxLabel;
    QPushButton* m_ok;
};

}  // namespace parvane
