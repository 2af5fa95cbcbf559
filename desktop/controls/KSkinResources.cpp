#include "desktop/controls/KSkinResources.h"

#include <QPainter>

#include <mutex>

static void InitSkinResourceData() { Q_INIT_RESOURCE(skin); }

void EnsureSkinResources() {
    static std::once_flag once;
    std::call_once(once, [] { InitSkinResourceData(); });
}

QImage LoadSkinBitmap(int id) {
    EnsureSkinResources();
    QImage img(QStringLiteral(":/skin/%1.png").arg(id));
    if (img.isNull()) return {};
    return img.convertToFormat(QImage::Format_RGB32);
}

std::vector<QPixmap> LoadSkinPixmaps(const std::vector<int>& ids) {
    std::vector<QPixmap> out;
    out.reserve(ids.size());
    for (int id : ids) out.push_back(QPixmap::fromImage(LoadSkinBitmap(id)));
    return out;
}

void DrawSkinPixmap(QPainter& p, const std::vector<QPixmap>& pixmaps, size_t index, int x, int y) {
    if (index < pixmaps.size() && !pixmaps[index].isNull()) p.drawPixmap(x, y, pixmaps[index]);
}

int SkinPixmapWidth(const std::vector<QPixmap>& pixmaps, size_t index) {
    return index < pixmaps.size() ? pixmaps[index].width() : 0;
}
