#pragma once
// Dialogs without a system frame: the border is composed from ten skin
// parts and the window's shape follows their key-coloured pixels. The
// dialog moves when dragged by its top band and, when resizable, sizes from
// its left, right and bottom edges and its two bottom corners. Enter and
// Escape never close it.
#include "desktop/controls/KButton.h"
#include "desktop/controls/KButtonSkin.h"
#include "desktop/controls/KDialogFont.h"
#include "desktop/controls/KWndContainer.h"

#include <QDialog>
#include <QPixmap>

#include <array>
#include <memory>

class KManualSkinDlg : public QDialog {
    Q_OBJECT
public:
    enum Zone { kZoneNone = 0, kZoneBottomLeft = 2, kZoneBottomRight = 4, kZoneLeft = 5, kZoneRight = 6, kZoneBottom = 7 };
    static constexpr int kPartCount = 10;
    static constexpr int kEdgeBand = 5;

    struct SSkinPart {
        QPixmap pixmap;
        int id = -1;
        int width = 0;
        int height = 0;
        bool loaded() const { return !pixmap.isNull(); }
    };

    explicit KManualSkinDlg(QWidget* parent = nullptr);
    ~KManualSkinDlg() override;

    // Loads the parts and makes the child container; runs once, at the
    // latest when the dialog is first shown.
    virtual void OnInitDialog();

    // A rectangle that is empty, starts off the screen or passes its right
    // or bottom becomes (0, 0, minimum size); the result says whether it stood.
    virtual bool CheckWindowRect(QRect& rect) const;
    virtual void PaintSkin(QPainter& painter, const QSize& size);
    virtual void InvalidateSkinControls() {}
    virtual bool IsBelowMinSize(const QSize& size) const;
    virtual bool IsBelowMinWidth(int width) const;
    virtual bool IsBelowMinHeight(int height) const;
    virtual void LayoutSkinControls(int closeId);
    virtual void SetSkinPartIds();
    virtual int HitTestFrame(const QPoint& pos, bool setCursor);
    virtual void SetZoneCursor(int zone);
    virtual void DragSize(const QPoint& pos);
    virtual void DragSizeEdge(const QPoint& pos);
    virtual void DragMove(const QPoint& pos);

    void SetMovable(bool on) { m_movable = on; }
    void SetResizable(bool on) { m_resizable = on; }
    bool IsMovable() const { return m_movable; }
    bool IsResizable() const { return m_resizable; }
    // The smallest size: the four corner parts side by side; a dialog whose
    // size the skin metrics give answers those instead.
    virtual QSize MinimumSkinSize() const;
    const SSkinPart& Part(int index) const { return m_parts[static_cast<size_t>(index)]; }
    KWndContainer* Container() { return m_container.get(); }
    KButtonSkin& CloseButton() { return m_close; }
    int SizingZone() const { return m_zone; }
    bool IsMoving() const { return m_moving; }
    // How many times the window's shape has been built.
    int RegionBuilds() const { return m_regionBuilds; }
    // The client area inside the frame parts at the given size: from the
    // left part's width and the top part's height to the right and bottom
    // parts, less one pixel each way.
    QRect InsideFrame(const QSize& size) const;
    // The composition of the frame at the given size.
    QImage Compose(const QSize& size);
    // An extra skin bitmap drawn over the frame at the place of a hidden
    // placeholder item (cut to that place, never stretched): takes the
    // item's rectangle and hides the item. False, and nothing drawn, when
    // the item or the bitmap is missing.
    bool LoadExtraSkinPart(int bitmapId, int placeholderId);
    // Lays the dialog out from its template: its font and size, every item
    // the dialog holds at its place, the close button at its item's place,
    // and an extra skin part at its mark's (placeholders are made for those
    // two when the dialog has none). False when a step could not be done.
    bool InitFromTemplate(const SDialogTemplate& dialog, int closeId, int extraBitmapId, int extraMarkId);
    const SSkinPart& ExtraPart() const { return m_extra; }
    QRect ExtraPartRect() const { return m_extraRect; }

protected:
    // The show hook: after showing and after sizing while shown.
    virtual void OnShowHook() {}
    void SetPartId(int part, int id) { m_parts[static_cast<size_t>(part)].id = id; }

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

    std::array<SSkinPart, kPartCount> m_parts;
    SSkinPart m_extra;
    QRect m_extraRect;
    KDialogFont m_dialogFont;  // the subclass applies its template with it
    std::unique_ptr<KWndContainer> m_container;
    KButtonSkin m_close;
    bool m_movable = true;
    bool m_resizable = false;
    QPoint m_lastPoint;  // the last pointer point, in the dialog's coordinates

private:
    void UpdateShape();
    void EndSizing();

    bool m_initialised = false;
    QSize m_regionSize;  // the size the shape was last built for
    bool m_moving = false;
    int m_zone = kZoneNone;
    int m_regionBuilds = 0;
};
