#pragma once
// The skin bitmaps drawn at build time, embedded as ":/skin/<id>.png" with
// their manifest (KSkinManifest) beside them.
#include <QImage>
#include <QPixmap>

#include <cstddef>
#include <vector>

class QPainter;

// Pure blue: pixels of this colour lie outside a skinned window's shape.
constexpr quint32 kSkinKeyColour = 0x0000FF;

// Registers the embedded skin files; once per process, before the first
// read of ":/skin/".
void EnsureSkinResources();

// The bitmap as 32-bit RGB, or a null image when there is none of that id.
QImage LoadSkinBitmap(int id);

// The skin bitmaps of the listed ids, in order (null pixmaps for missing ids).
std::vector<QPixmap> LoadSkinPixmaps(const std::vector<int>& ids);

// Draws the pixmap at the index with its top left at (x, y); an index past
// the end or a null pixmap draws nothing.
void DrawSkinPixmap(QPainter& painter, const std::vector<QPixmap>& pixmaps, size_t index, int x, int y);
// The width of the pixmap at the index; 0 past the end.
int SkinPixmapWidth(const std::vector<QPixmap>& pixmaps, size_t index);
