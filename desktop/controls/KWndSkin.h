#pragma once
// A widget drawn by the skin engine. Skinned buttons, displays and the
// time-code entry build on it. It either stands on its own or takes the
// place of a placeholder widget of a dialog (AttachToDlgItem).
#include "desktop/controls/KDialogSkin.h"

#include <QWidget>

// The dynamic property that gives a placeholder widget its control id.
inline constexpr const char* kControlIdProperty = "controlId";

// The child of a dialog whose control id is id, or null.
QWidget* FindDlgItem(QWidget* dialog, int id);

class KWndSkin : public QWidget {
    Q_OBJECT
public:
    explicit KWndSkin(QWidget* parent = nullptr);
    ~KWndSkin() override;

    // Places the widget under parent; the rectangle's width and height each
    // grow by one; no rectangle gives (0, 0, 10, 10).
    bool Create(QWidget* parent, const QString& title, int stretchMode, const QRect* rect, int id);
    int AddBitmap(const QImage& image, uint8_t flags, qint64 transparent = -1, int marginX = 0, int marginY = 0);
    int AddBitmapResource(int resourceId, uint8_t flags, qint64 transparent = -1, int marginX = 0, int marginY = 0);
    void SelectState(int index, std::optional<QRegion>* outRegion = nullptr);
    void SetAlignment(uint8_t flags, bool allStates);
    void SetStretchMode(int mode);
    int GetCurrentState() const { return m_skin.GetCurrentState(); }
    // Takes the placeholder's geometry (in newParent's coordinates when
    // given), text, control id, place in the tab order and accessible name,
    // then hides the placeholder.
    virtual bool AttachToDlgItem(QWidget* item, QWidget* newParent = nullptr);
    virtual void ReleaseBitmaps();
    void Redraw() { update(); }

    int ControlId() const { return m_id; }
    QString WindowText() const { return m_text; }
    void SetWindowText(const QString& text);
    KDialogSkin& Skin() { return m_skin; }
    const KDialogSkin& Skin() const { return m_skin; }

signals:
    // A command for the parent; always delivered from the event loop, after
    // the handler that raised it has returned.
    void command(int id);

protected:
    // Drawing when no state is current.
    virtual void DrawEmpty(QPainter& painter);
    virtual void OnCreate(int id);
    void PostCommand(int id);
    void paintEvent(QPaintEvent* event) override;

    int m_id = 0;
    QString m_text;

private:
    KDialogSkin m_skin;
};
