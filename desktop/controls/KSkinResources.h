#pragma once
// The skin bitmaps drawn at build time, embedded as ":/skin/<id>.png", and
// the manifest written beside them: each bitmap's size and probe points,
// and the main window's control rectangles in pixels of its shape bitmap.
#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>

#include <vector>

// Pure blue: pixels of this colour lie outside a skinned window's shape.
constexpr quint32 kSkinKeyColour = 0x0000FF;

// The bitmap as 32-bit RGB, or a null image when there is none of that id.
QImage LoadSkinBitmap(int id);

struct SSkinProbe {
    QPoint at;
    QRgb rgb;  // 0x00RRGGBB
};

class KSkinManifest {
public:
    static QSize BitmapSize(int id);
    static std::vector<SSkinProbe> Probes(int id);
    // Whether the bitmap holds key-coloured pixels.
    static bool IsKeyed(int id);
    static std::vector<int> BitmapIds();
    // A control of the main window in pixels of bitmap 510; empty when unknown.
    static QRect MainControlRect(int controlId);
};
