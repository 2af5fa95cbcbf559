#include "desktop/controls/KSkinManifest.h"

#include "desktop/controls/KSkinResources.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QJsonObject& Manifest() {
    static const QJsonObject manifest = [] {
        EnsureSkinResources();
        QFile f(QStringLiteral(":/skin/manifest.json"));
        if (!f.open(QIODevice::ReadOnly)) return QJsonObject();
        return QJsonDocument::fromJson(f.readAll()).object();
    }();
    return manifest;
}

QJsonObject Bitmap(int id) { return Manifest().value("bitmaps").toObject().value(QString::number(id)).toObject(); }

}  // namespace

QSize KSkinManifest::BitmapSize(int id) {
    const QJsonObject b = Bitmap(id);
    if (b.isEmpty()) return {};
    return {b.value("w").toInt(), b.value("h").toInt()};
}

std::vector<SSkinProbe> KSkinManifest::Probes(int id) {
    std::vector<SSkinProbe> out;
    for (const QJsonValue& v : Bitmap(id).value("probes").toArray()) {
        const QJsonObject o = v.toObject();
        out.push_back({QPoint(o.value("x").toInt(), o.value("y").toInt()),
                       QColor(o.value("rgb").toString()).rgb() & 0xFFFFFF});
    }
    return out;
}

bool KSkinManifest::IsKeyed(int id) { return Bitmap(id).value("keyed").toBool(); }

std::vector<int> KSkinManifest::BitmapIds() {
    std::vector<int> ids;
    for (const QString& k : Manifest().value("bitmaps").toObject().keys()) ids.push_back(k.toInt());
    return ids;
}

QRect KSkinManifest::MainControlRect(int controlId) {
    const QJsonArray a = Manifest().value("mainControls").toObject().value(QString::number(controlId)).toArray();
    if (a.size() != 4) return {};
    return {a[0].toInt(), a[1].toInt(), a[2].toInt(), a[3].toInt()};
}
