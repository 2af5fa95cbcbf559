#pragma once
// The manifest written beside the skin bitmaps: each bitmap's size and
// probe points, and the main window's control rectangles in pixels of its
// shape bitmap.
#include <QColor>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <vector>

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
