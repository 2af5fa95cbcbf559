#pragma once
// A list in the skin's colours: its header a CColorHeaderCtrl, its rows in
// colours the owner sets. A row is selected whole, and the selection stays
// visible while the list does not have the focus.
#include "desktop/controls/CColorHeaderCtrl.h"

#include <QColor>
#include <QStyledItemDelegate>
#include <QTreeWidget>

class CColorListCtrl : public QTreeWidget {
    Q_OBJECT
public:
    // Left and right padding of a cell's text, in pixels.
    static constexpr int kTextMargin = 4;

    explicit CColorListCtrl(QWidget* parent = nullptr);
    CColorHeaderCtrl* ColorHeader() const { return m_header; }

    // The list's background (the area without rows), the rows' background
    // and their text.
    void SetBkColor(const QColor& colour);
    void SetTextBkColor(const QColor& colour);
    void SetTextColor(const QColor& colour);
    QColor GetBkColor() const { return m_bk; }
    QColor GetTextBkColor() const { return m_textBk; }
    QColor GetTextColor() const { return m_text; }
    // A selected row swaps the two: text-coloured, with its text in the
    // rows' background colour.
    QColor SelectedBkColor() const { return m_text; }
    QColor SelectedTextColor() const { return m_textBk; }

private:
    class Delegate;
    void ApplyPalette();

    CColorHeaderCtrl* m_header;
    QColor m_bk = Qt::white;
    QColor m_textBk = Qt::white;
    QColor m_text = Qt::black;
};
