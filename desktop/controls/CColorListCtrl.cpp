#include "desktop/controls/CColorListCtrl.h"

#include <QPainter>

// Draws every cell itself, so the rows keep the list's colours whatever the
// style would give them.
class CColorListCtrl::Delegate : public QStyledItemDelegate {
public:
    explicit Delegate(CColorListCtrl* list) : QStyledItemDelegate(list), m_list(list) {}

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const bool selected = option.state.testFlag(QStyle::State_Selected);
        p->save();
        p->fillRect(option.rect, selected ? m_list->SelectedBkColor() : m_list->GetTextBkColor());
        p->setPen(selected ? m_list->SelectedTextColor() : m_list->GetTextColor());
        p->setFont(option.font);
        const QRect r = option.rect.adjusted(kTextMargin, 0, -kTextMargin, 0);
        const QString text = option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, r.width());
        p->drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
        p->restore();
    }

private:
    CColorListCtrl* m_list;
};

CColorListCtrl::CColorListCtrl(QWidget* parent) : QTreeWidget(parent), m_header(new CColorHeaderCtrl(this)) {
    setHeader(m_header);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setItemsExpandable(false);
    setSortingEnabled(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setItemDelegate(new Delegate(this));
    ApplyPalette();
}

void CColorListCtrl::SetBkColor(const QColor& colour) {
    m_bk = colour;
    ApplyPalette();
}

void CColorListCtrl::SetTextBkColor(const QColor& colour) {
    m_textBk = colour;
    ApplyPalette();
}

void CColorListCtrl::SetTextColor(const QColor& colour) {
    m_text = colour;
    ApplyPalette();
}

void CColorListCtrl::ApplyPalette() {
    // The palette serves what the delegate does not draw: the empty area and
    // the editor of a row's label. Active and inactive alike, so that the
    // selection shows without the focus too.
    QPalette pal = palette();
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
        pal.setColor(g, QPalette::Base, m_bk);
        pal.setColor(g, QPalette::AlternateBase, m_textBk);
        pal.setColor(g, QPalette::Text, m_text);
        pal.setColor(g, QPalette::Highlight, SelectedBkColor());
        pal.setColor(g, QPalette::HighlightedText, SelectedTextColor());
    }
    setPalette(pal);
    viewport()->update();
}
