#pragma once
// A frame dialog that can be glued to the main window. While it is moved or
// sized, its subclass may handle the change itself (UpdateStuck); sizing
// below the minimum stops at exactly the minimum.
#include "desktop/controls/KManualSkinDlg.h"

class KStickyManualSkinDlg : public KManualSkinDlg {
    Q_OBJECT
public:
    explicit KStickyManualSkinDlg(QWidget* parent = nullptr);

    // Places the window glued beside the main window; nothing while there
    // is no main window.
    void StickToMain(bool keepSize);
    virtual void SnapTo(QRect& own, const QRect& main, bool keepSize);
    virtual bool IsNearMain(const QRect& own, const QRect& main) const;
    // The subclass's chance to handle a move or a size; true when it did.
    virtual bool UpdateStuck(const QRect& rect);

    void DragSize(const QPoint& pos) override;
    void DragSizeEdge(const QPoint& pos) override;
    void DragMove(const QPoint& pos) override;

protected:
    // Grows the rectangle a pixel at a time until it is no longer below the
    // minimum; fromLeft moves its left side instead of its right.
    void GrowToMinimum(QRect& rect, bool fromLeft) const;
};
