// The pictures skingen draws: every command a glyph of its own, the faces
// of one button distinct, captions where titles and lamps stand, and a main
// window whose controls fit their places with nothing floating.
#include "desktop/controls/tests/support/SkinTestUtil.h"

#include "desktop/controls/KSkinManifest.h"
#include "desktop/controls/KSkinResources.h"

#include <QTest>

#include <bitset>
#include <vector>

namespace {

constexpr int kGrid = 16;
using Mask = std::bitset<kGrid * kGrid>;

// The glyph of a face as a 16 x 16 mask: the pixels inside the border that
// stand out from the plate's tint by at least half as much as the glyph's
// strongest pixel (so edges smoothed in one tint count as in another), cut
// to their bounding box and scaled into the grid with their proportions kept
// (a bar stays a bar, a square a square).
Mask GlyphMask(int id) {
    const QImage face = LoadSkinBitmap(id).convertToFormat(QImage::Format_RGB32);
    const QRgb tint = face.pixel(2, 2) & 0xFFFFFF;
    auto distance = [&](int x, int y) {
        const QRgb p = face.pixel(x, y);
        return std::abs(qRed(p) - qRed(tint)) + std::abs(qGreen(p) - qGreen(tint)) + std::abs(qBlue(p) - qBlue(tint));
    };
    int strongest = 0;
    for (int y = 1; y < face.height() - 1; ++y)
        for (int x = 1; x < face.width() - 1; ++x) strongest = std::max(strongest, distance(x, y));
    auto ink = [&](int x, int y) { return distance(x, y) * 2 > strongest; };
    QRect box;
    for (int y = 1; y < face.height() - 1; ++y)
        for (int x = 1; x < face.width() - 1; ++x)
            if (ink(x, y)) box |= QRect(x, y, 1, 1);
    Mask mask;
    if (box.isEmpty()) return mask;
    // Each cell samples the pixel under its middle.
    const double scale = double(kGrid) / std::max(box.width(), box.height());
    const int cw = std::max(1, int(box.width() * scale + 0.5)), ch = std::max(1, int(box.height() * scale + 0.5));
    for (int gy = 0; gy < ch && gy < kGrid; ++gy)
        for (int gx = 0; gx < cw && gx < kGrid; ++gx) {
            const int x = std::min(box.right(), box.left() + int((gx + 0.5) / scale));
            const int y = std::min(box.bottom(), box.top() + int((gy + 0.5) / scale));
            if (ink(x, y)) mask.set(static_cast<size_t>(gy * kGrid + gx));
        }
    return mask;
}

struct Command {
    const char* name;
    std::vector<int> faces;  // normal, hover, pressed, disabled (a toggle's second face after)
};

// Every command of the main window and the playlist with the bitmaps of its faces.
const std::vector<Command> kCommands = {
    {"Play", {531, 532, 533, 534}},
    {"Pause", {535, 536, 537, 538}},
    {"Record", {523, 524, 525, 526}},
    {"Stop record", {527, 528, 529, 530}},
    {"Live", {196, 197, 198, 199}},
    {"Skip 30 seconds", {179, 180, 181, 182}},
    {"Back 30 seconds", {183, 184, 185, 186}},
    {"Skip 5 seconds", {175, 176, 177, 178}},
    {"Back 5 seconds", {171, 172, 173, 174}},
    {"Record from playback device", {412, 411}},
    {"Record from recording device", {414, 413}},
    {"Always on top", {236, 237, 239}},
    {"Settings", {247, 248, 249, 250}},
    {"New recording", {240, 241, 242, 243}},
    {"Playlist", {520, 521, 522, 519, 518}},
    {"Radio", {515, 516, 517, 514, 513}},
    {"Fine position", {415, 416, 417, 418}},
    {"Help", {244, 245, 246}},
    {"Minimize", {255, 256, 257}},
    {"Close", {259, 260, 261}},
    {"Add a selection", {223, 224, 225, 226}},
    {"Save selections", {228, 229, 230, 231}},
    {"Delete selections", {232, 233, 234, 235}},
    {"Select all", {291, 293, 294, 295}},
    {"Set start", {187, 188, 189, 190}},
    {"Set end", {191, 192, 193, 194}},
};

// Two glyphs count as one picture when fewer than this many of the grid's
// 256 cells differ (a glyph against itself at another size differs in a few
// edge cells only).
constexpr size_t kMinDifferentCells = 24;

// Light pixels (captions) in a rectangle of an image.
int Ink(const QImage& image, const QRect& r) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) n += qGray(image.pixel(x, y)) > 140;
    return n;
}

}  // namespace

class SkinGlyphTest : public QObject {
    Q_OBJECT
private slots:
    void everyCommandHasItsOwnPicture() {
        std::vector<Mask> masks;
        for (const Command& c : kCommands) {
            masks.push_back(GlyphMask(c.faces.front()));
            QVERIFY2(masks.back().count() > 12, c.name);  // a glyph, not an empty plate
        }
        size_t closest = kGrid * kGrid;
        QString pair;
        for (size_t a = 0; a < masks.size(); ++a)
            for (size_t b = a + 1; b < masks.size(); ++b) {
                const size_t differ = (masks[a] ^ masks[b]).count();
                if (differ < closest) {
                    closest = differ;
                    pair = QStringLiteral("%1 / %2").arg(kCommands[a].name, kCommands[b].name);
                }
                if (differ < kMinDifferentCells) {
                    SaveFailureImage(LoadSkinBitmap(kCommands[a].faces.front()), kCommands[a].name);
                    SaveFailureImage(LoadSkinBitmap(kCommands[b].faces.front()), kCommands[b].name);
                    QFAIL(qPrintable(QStringLiteral("%1 share a picture (%2 cells differ)").arg(pair).arg(differ)));
                }
            }
        qInfo("closest pair: %s, %zu cells apart", qPrintable(pair), closest);
        // The measure itself reads one glyph in other tints as one picture.
        for (const Command& c : kCommands)
            QVERIFY2((GlyphMask(c.faces[0]) ^ GlyphMask(c.faces[1])).count() < kMinDifferentCells ||
                         c.faces.size() == 2,  // a source toggle's second face is struck through
                     c.name);
    }

    void theFacesOfAButtonDiffer() {
        for (const Command& c : kCommands)
            for (size_t a = 0; a < c.faces.size(); ++a)
                for (size_t b = a + 1; b < c.faces.size(); ++b)
                    QVERIFY2(LoadSkinBitmap(c.faces[a]) != LoadSkinBitmap(c.faces[b]),
                             qPrintable(QStringLiteral("%1: %2 and %3").arg(c.name).arg(c.faces[a]).arg(c.faces[b])));
        // A toggle's two settings show different glyphs, not only other tints.
        for (auto [on, off] : {std::pair{412, 411}, std::pair{414, 413}})
            QVERIFY((GlyphMask(on) ^ GlyphMask(off)).count() >= kMinDifferentCells);
    }

    void titlesAndLampsAreCaptioned() {
        // The program's name in the main window's drag band; the playlist's
        // title; each lamp's caption in both of its states.
        const QImage main = LoadSkinBitmap(510);
        QVERIFY(Ink(main, QRect(12, 6, 90, 16)) > 40);
        QVERIFY(Ink(main, QRect(120, 6, 250, 16)) == 0);  // the rest of the band is free for dragging
        QVERIFY(Ink(LoadSkinBitmap(496), QRect(QPoint(0, 0), KSkinManifest::BitmapSize(496))) > 30);
        for (int lamp : {155, 156, 157, 158, 159, 160}) {
            const QImage img = LoadSkinBitmap(lamp);
            const QRect caption(img.height(), 0, img.width() - img.height(), img.height());
            int lit = 0;
            for (int y = 0; y < img.height(); ++y)
                for (int x = caption.left(); x < img.width(); ++x) lit += qGray(img.pixel(x, y)) > 70;
            QVERIFY2(lit > 20, qPrintable(QString::number(lamp)));
        }
    }

    void mainWindowLayout() {
        const QRect window(QPoint(0, 0), KSkinManifest::BitmapSize(510));
        const std::vector<int> ids = {1077, 1076, 1075, 1051, 1052, 1053, 1066, 1080, 1065, 1063, 1064, 1081,
                                      1006, 1008, 1001, 1007, 1005, 1000, 1004, 1014, 1107, 1108, 1119, 1015,
                                      1011, 1013, 1012};
        std::vector<QRect> rects;
        for (int id : ids) {
            rects.push_back(KSkinManifest::MainControlRect(id));
            QVERIFY2(window.contains(rects.back()), qPrintable(QString::number(id)));
        }
        for (size_t a = 0; a < rects.size(); ++a)
            for (size_t b = a + 1; b < rects.size(); ++b)
                QVERIFY2(!rects[a].intersects(rects[b]), qPrintable(QStringLiteral("%1 overlaps %2").arg(ids[a]).arg(ids[b])));
        // A face fills its control exactly.
        for (auto [control, bitmap] : {std::pair{1001, 531}, {1013, 247}, {1075, 259}, {1081, 326}, {1063, 155},
                                       {1064, 157}, {1065, 160}, {1066, 311}, {1080, 310}})
            QCOMPARE(KSkinManifest::MainControlRect(control).size(), KSkinManifest::BitmapSize(bitmap));
        // The slider's thumb rides on the fullness strip (102, 142)-(437, 150),
        // starting where it starts.
        const QRect thumb = KSkinManifest::MainControlRect(1081);
        QCOMPARE(thumb.left(), 102);
        QVERIFY(thumb.top() <= 142 && thumb.bottom() >= 149);
        // The displays' boxes are as wide as their digits: six digits, two
        // colons, three pixels after each item; two digits for the percentage.
        auto width = [](int digit, int colon) {
            return 6 * KSkinManifest::BitmapSize(digit).width() + 2 * KSkinManifest::BitmapSize(colon).width() + 7 * 3;
        };
        QCOMPARE(KSkinManifest::MainControlRect(1051).size(), QSize(width(143, 153), KSkinManifest::BitmapSize(143).height()));
        QCOMPARE(KSkinManifest::MainControlRect(1052).size(), QSize(width(298, 308), KSkinManifest::BitmapSize(298).height()));
        QCOMPARE(KSkinManifest::MainControlRect(1053).width(), 2 * KSkinManifest::BitmapSize(298).width() + 3);
        // No empty band: below the drag band, every 12 rows down to the
        // buttons hold a control or a caption.
        const QImage main = LoadSkinBitmap(510);
        const int buttonsTop = KSkinManifest::MainControlRect(1001).top();
        for (int y = 28; y + 12 <= buttonsTop; ++y) {
            const QRect band(0, y, window.width(), 12);
            bool filled = Ink(main, band.adjusted(12, 0, -12, 0)) > 0;
            for (const QRect& r : rects) filled |= r.intersects(band);
            QVERIFY2(filled, qPrintable(QStringLiteral("rows %1 to %2 are empty").arg(y).arg(y + 11)));
        }
    }
};

QTEST_MAIN(SkinGlyphTest)
#include "SkinGlyphTest.moc"
