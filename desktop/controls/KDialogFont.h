#pragma once
// Lays a window out from its dialog template, kept here as a table in
// dialog units: the template's font at a reference resolution, the window
// at the template's size in that font's units, and each child at its place.
#include <QFont>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <utility>
#include <vector>

struct SDialogItem {
    int id;
    QRect rect;  // dialog units
};

struct SDialogTemplate {
    int id = 0;
    QSize size;            // dialog units
    bool hasFont = false;  // without one: 8 points, weight 400, "Tahoma"
    int pointSize = 8;
    int weight = 400;
    bool italic = false;
    QString face;
    std::vector<SDialogItem> items;

    // A template with a font of its own (weight 400, not italic).
    static SDialogTemplate WithFont(int id, QSize size, const QString& face, int pointSize, std::vector<SDialogItem> items) {
        SDialogTemplate t;
        t.id = id;
        t.size = size;
        t.hasFont = true;
        t.pointSize = pointSize;
        t.face = face;
        t.items = std::move(items);
        return t;
    }
};

class KDialogFont {
public:
    static constexpr int kReferenceDpi = 96;

    KDialogFont() = default;
    ~KDialogFont() { Release(); }
    KDialogFont(const KDialogFont&) = delete;
    KDialogFont& operator=(const KDialogFont&) = delete;

    static void RegisterTemplate(const SDialogTemplate& dialog);
    static const SDialogTemplate* FindTemplate(int dialogId);

    // False when no template of that id is known.
    bool Apply(QWidget* window, int dialogId, int referenceDpi = kReferenceDpi);
    // Forgets the font once its window is gone; while it exists, nothing.
    void Release();
    void Reset();

    // A font of the given face, sized in pixels; the faces the dialogs name
    // ("Tahoma", "Verdana", "MS Shell Dlg") map to DejaVu Sans.
    static QFont MakeFont(const QString& face, int pixelHeight, int weight, bool italic);
    // The pixel height of a point size: a negative size or one above 32767
    // is first negated and cut to 16 bits; what remains is taken as a size,
    // at most kMaxPointSize points (a larger one fits no window and costs
    // the font engine seconds), at 1 to kMaxDpi dots per inch.
    static int PixelHeight(int pointSize, int referenceDpi);
    static constexpr int kMaxPointSize = 400;
    static constexpr int kMaxDpi = 2400;
    // Dialog base units of a font: the average width of A-Z and a-z, and the
    // text height.
    static QSize BaseUnits(const QFont& font);
    static QRect ToPixels(const QRect& dialogUnits, const QSize& baseUnits);

    int DialogId() const { return m_dialogId; }
    const QFont& Font() const { return m_font; }

private:
    int m_dialogId = 0;
    QPointer<QWidget> m_window;
    QFont m_font;
    QFont m_oldFont;
    bool m_applied = false;
};
