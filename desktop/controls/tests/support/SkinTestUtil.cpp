#include "desktop/controls/tests/support/SkinTestUtil.h"

#include <QDir>
#include <QTest>

void SaveFailureImage(const QImage& image, const QString& what) {
    QString dir = qEnvironmentVariable("TONQUIL_TEST_OUTPUT");
    if (dir.isEmpty()) dir = QDir::tempPath();
    QDir().mkpath(dir);
    const QString name = QStringLiteral("%1/%2-%3.png")
                             .arg(dir, QString::fromLatin1(QTest::currentTestFunction()), what);
    image.save(name);
    qWarning("saved %s", qPrintable(name));
}

bool PixelIs(const QImage& image, const QPoint& p, QRgb rgb, const QString& what) {
    if (image.valid(p) && (image.pixel(p) & 0xFFFFFF) == (rgb & 0xFFFFFF)) return true;
    qWarning("%s: pixel (%d, %d) is %06x, expected %06x", qPrintable(what), p.x(), p.y(),
             image.valid(p) ? image.pixel(p) & 0xFFFFFF : 0u, rgb & 0xFFFFFF);
    SaveFailureImage(image, what);
    return false;
}

bool RegionMatchesPixels(const QRegion& region, const QImage& image, QRgb key, QString* why) {
    if (!region.isEmpty() && !image.rect().contains(region.boundingRect())) {
        *why = QStringLiteral("region passes the image's edge");
        SaveFailureImage(image, QStringLiteral("region"));
        return false;
    }
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const bool opaque = (image.pixel(x, y) & 0xFFFFFF) != (key & 0xFFFFFF);
            if (region.contains(QPoint(x, y)) != opaque) {
                *why = QStringLiteral("pixel (%1, %2): region %3, pixel %4")
                           .arg(x)
                           .arg(y)
                           .arg(opaque ? "misses it" : "holds it")
                           .arg(image.pixel(x, y) & 0xFFFFFF, 6, 16, QChar('0'));
                SaveFailureImage(image, QStringLiteral("region"));
                return false;
            }
        }
    }
    return true;
}

QImage MakeImage(int w, int h, const std::function<QRgb(int x, int y)>& pixel) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.setPixel(x, y, pixel(x, y) | 0xFF000000u);
    return img;
}
