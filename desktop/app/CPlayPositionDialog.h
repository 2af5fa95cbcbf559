#pragma once
// "Fine position": the user enters a play position as a time code; OK is
// offered only inside the cache's readable range.
#include <QDialog>

#include "platform/core/WinTypes.h"

class KTimecodeCtrl;
class QLabel;
class QPushButton;

namespace parvane {


class CPlayPositionDialog : public QDialog {
public:
    explicit CPlayPositionDialog(QWidget* parent);
    void SetMinPosition(ULONG ms);
    void SetMaxPosition(ULONG ms);
    // The entered position (the minimum until the user types).
    ULONG Position() const;
    KTimecodeCtrl* Entry() const { return m_entry; }
    QPushButton* OkButton() const { return m_ok; }
    QLabel* MinLabel() const { return m_minLabel; }
    QLabel* MaxLabel() const { return m_maxLabel; }

private:
    void OnChangeEdit();

    ULONG m_min = 0;
    ULONG m_max = 0;
    bool m_typed = false;
    KTimecodeCtrl* m_entry;
    QLabel* m_minLabel;
    QLabel* m_maxLabel;
    QPushButton* m_ok;
};

}  // namespace parvane
