#pragma once
// Helpers of the skinned-control tests: pixel checks that save the image of
// a failing check in the test's output folder, and a per-pixel reference
// for regions.
#include <QImage>
#include <QRegion>
#include <QString>

#include <functional>

// Saves the image as <output>/<test function>-<what>.png.
void SaveFailureImage(const QImage& image, const QString& what);

// True when the pixel at p is rgb (0x00RRGGBB); otherwise saves the image.
bool PixelIs(const QImage& image, const QPoint& p, QRgb rgb, const QString& what);

// True when the region holds exactly the pixels whose colour is not key;
// otherwise saves the image and tells the first pixel that differs.
bool RegionMatchesPixels(const QRegion& region, const QImage& image, QRgb key, QString* why);

// An image of the given size whose pixels the function chooses.
QImage MakeImage(int w, int h, const std::function<QRgb(int x, int y)>& pixel);
