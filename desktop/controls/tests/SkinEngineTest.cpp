// The skin engine: regions against a per-pixel reference, state selection,
// stretching, attaching to a placeholder, and the bitmaps drawn at build time.
#include "desktop/controls/tests/support/SkinTestUtil.h"

#include "desktop/controls/KSkinManifest.h"
#include "desktop/controls/KSkinResources.h"
#include "desktop/controls/KWndSkin.h"

#include <QLabel>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTest>

namespace {

constexpr QRgb kBlue = 0x0000FF;

struct RegionCase {
    const char* name;
    QImage image;
    qint64 colour;  // as given to AddBitmap
    QRgb key;       // what the reference treats as outside
};

std::vector<RegionCase> RegionCases() {
    std::vector<RegionCase> cases;
    // The top-left pixel is blue and the colour is -1: every blue pixel goes.
    cases.push_back({"top-left key, colour -1",
                     MakeImage(9, 7, [](int x, int y) { return (x + y) % 3 == 0 ? kBlue : 0x808080u; }), -1, kBlue});
    // A row wholly of the key colour disappears from the region.
    cases.push_back({"key row",
                     MakeImage(6, 5, [](int x, int y) { return y == 2 || (x == 0 && y == 0) ? kBlue : 0x102030u; }),
                     kBlue, kBlue});
    cases.push_back({"no key pixel", MakeImage(5, 4, [](int, int) { return 0x00FF00u; }), kBlue, kBlue});
    cases.push_back({"all key", MakeImage(5, 4, [](int, int) { return kBlue; }), kBlue, kBlue});
    cases.push_back({"other key colour",
                     MakeImage(8, 3, [](int x, int) { return x % 2 ? 0x00FF00u : kBlue; }), 0x00FF00, 0x00FF00});
    cases.push_back({"single pixel", MakeImage(1, 1, [](int, int) { return 0x111111u; }), -1, 0x111111});
    QRandomGenerator rng(20261209);
    for (int i = 0; i < 6; ++i) {
        const int w = 1 + static_cast<int>(rng.bounded(60)), h = 1 + static_cast<int>(rng.bounded(40));
        const int density = 1 + static_cast<int>(rng.bounded(5));
        QImage img = MakeImage(w, h, [&](int, int) {
            return rng.bounded(density + 1) == 0 ? 0x123456u : (rng.bounded(2) ? kBlue : 0x654321u);
        });
        cases.push_back({"random", img, kBlue, kBlue});
    }
    return cases;
}

QImage Grab(QWidget& w) { return w.grab().toImage().convertToFormat(QImage::Format_RGB32); }

}  // namespace

class SkinEngineTest : public QObject {
    Q_OBJECT
private slots:
    void regionsMatchThePixels() {
        for (const RegionCase& c : RegionCases()) {
            QWidget host;
            KDialogSkin skin(&host);
            const int index = skin.AddBitmap(c.image, KDialogSkin::kBuildRegion, c.colour);
            QCOMPARE(index, 0);
            const auto region = skin.StateRegion(index);
            QVERIFY2(region.has_value(), c.name);
            QString why;
            QVERIFY2(RegionMatchesPixels(*region, c.image, c.key, &why), qPrintable(QString(c.name) + ": " + why));
        }
    }

    void selectingTheCurrentStateAgainBuildsNothing() {
        QWidget parent;
        parent.resize(100, 100);
        KWndSkin w(&parent);
        QCOMPARE(w.AddBitmapResource(510, KDialogSkin::kBuildRegion, kSkinKeyColour), 0);
        QCOMPARE(w.AddBitmapResource(500, KDialogSkin::kBuildRegion, -1), 1);
        QCOMPARE(w.Skin().RegionBuilds(), 2);  // built once each, when added
        w.SelectState(0);
        const QRegion first = w.mask();
        QVERIFY(!first.contains(QPoint(0, 0)));  // a cut corner of the shape
        w.SelectState(0);
        w.SelectState(0);
        QCOMPARE(w.Skin().RegionBuilds(), 2);
        QCOMPARE(w.mask(), first);
        w.SelectState(1);
        w.SelectState(0);
        QCOMPARE(w.Skin().RegionBuilds(), 2);
        // A stretch change rebuilds every state's region once, and applies it.
        w.resize(200, 60);
        w.SetStretchMode(KDialogSkin::kStretchHorizontal);
        QCOMPARE(w.Skin().RegionBuilds(), 4);
        QVERIFY(w.mask() != first);
    }

    void aStateHandedOutThenSelectedIsApplied() {
        // Two shaped states built once each: their builds carry the same
        // count, which must not pass for "already applied".
        QWidget parent;
        parent.resize(100, 100);
        KWndSkin w(&parent);
        w.resize(20, 20);
        const QImage left = MakeImage(20, 20, [](int x, int) { return x < 10 ? kBlue : 0x336699u; });
        const QImage top = MakeImage(20, 20, [](int, int y) { return y < 10 ? kBlue : 0x336699u; });
        QCOMPARE(w.AddBitmap(left, KDialogSkin::kBuildRegion, kBlue), 0);
        QCOMPARE(w.AddBitmap(top, KDialogSkin::kBuildRegion, kBlue), 1);
        const QRegion right(10, 0, 10, 20), bottom(0, 10, 20, 10);
        auto same = [](const QRegion& a, const QRegion& b) { return (a ^ b).isEmpty(); };
        w.SelectState(0);
        QVERIFY(same(w.mask(), right));
        std::optional<QRegion> handed;
        w.SelectState(1, &handed);
        QVERIFY(same(handed.value(), bottom));
        QVERIFY(same(w.mask(), right));  // handed out, not applied
        w.SelectState(1);
        QVERIFY(same(w.mask(), bottom));
        QVERIFY(same(w.Skin().WindowRegion().value(), bottom));
        QCOMPARE(w.Skin().RegionBuilds(), 2);
    }

    void shapesThatAreAllKeyOrNone() {
        QWidget parent;
        parent.resize(50, 50);
        KWndSkin w(&parent);
        w.setGeometry(10, 10, 20, 20);
        const QImage allKey = MakeImage(20, 20, [](int, int) { return kBlue; });
        const QImage plain = MakeImage(20, 20, [](int, int) { return 0x336699u; });
        QCOMPARE(w.AddBitmap(allKey, KDialogSkin::kBuildRegion, kBlue), 0);
        QCOMPARE(w.AddBitmap(plain, 0, kBlue), 1);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));

        // All key: nothing of the widget is shaped in, nor hit by the mouse
        // (an empty mask would make the whole rectangle both).
        w.SelectState(0);
        for (const QPoint p : {QPoint(0, 0), QPoint(10, 10), QPoint(19, 19)}) QVERIFY(!w.mask().contains(p));
        QVERIFY(parent.childAt(20, 20) != &w);

        // A state without a region building clears nothing it did not set;
        // a failed build leaves the widget rectangular.
        KDialogSkin::ApplyRegion(&w, std::nullopt);
        QVERIFY(w.mask().isEmpty());
        QCOMPARE(parent.childAt(20, 20), &w);
    }

    void refusedImagesAndIndexes() {
        QWidget host;
        KDialogSkin skin(&host);
        QCOMPARE(skin.AddBitmap(QImage(), KDialogSkin::kBuildRegion), -1);
        QCOMPARE(skin.AddBitmap(QImage(0, 0, QImage::Format_RGB32), 0), -1);
        QCOMPARE(skin.AddBitmapResource(99999, 0), -1);
        QCOMPARE(skin.StateCount(), 0);
        QCOMPARE(skin.AddBitmapResource(531, 0), 0);
        skin.SelectState(0);
        QCOMPARE(skin.GetCurrentState(), 0);
        for (int bad : {1, -1, 1000}) {
            skin.SelectState(bad);
            QCOMPARE(skin.GetCurrentState(), -1);
        }
    }

    void stateRectanglesWhenStretched() {
        struct Case {
            int mode;
            uint8_t align;
            QRect expected;
        };
        // Host 100 x 60, bitmap 20 x 10.
        const Case cases[] = {
            {0, 0, QRect(0, 0, 100, 60)},
            {KDialogSkin::kStretchHorizontal, KDialogSkin::kAlignNear, QRect(0, 0, 100, 10)},
            {KDialogSkin::kStretchHorizontal, KDialogSkin::kAlignFar, QRect(0, 50, 100, 10)},
            {KDialogSkin::kStretchHorizontal, 0, QRect(0, 25, 100, 10)},
            {KDialogSkin::kStretchVertical, KDialogSkin::kAlignNear, QRect(0, 0, 20, 60)},
            {KDialogSkin::kStretchVertical, KDialogSkin::kAlignFar, QRect(80, 0, 20, 60)},
            {KDialogSkin::kStretchVertical, 0, QRect(40, 0, 20, 60)},
        };
        for (const Case& c : cases) {
            QWidget host;
            host.resize(100, 60);
            KDialogSkin skin(&host);
            skin.SetStretchMode(c.mode);
            skin.AddBitmap(MakeImage(20, 10, [](int x, int) { return x < 2 ? kBlue : 0x445566u; }),
                           KDialogSkin::kBuildRegion | c.align, kBlue);
            skin.SelectState(0);
            QCOMPARE(skin.GetStateRect(0), c.expected);
            // The shape is the stretched bitmap in its rectangle, less its key pixels;
            // unstretched, the bitmap's own.
            const QRegion region = skin.StateRegion(0).value();
            const QRect drawn = c.mode ? c.expected : QRect(0, 0, 20, 10);
            QCOMPARE(region.boundingRect().bottom(), drawn.bottom());
            QVERIFY(!region.contains(drawn.topLeft()));
            QVERIFY(region.contains(drawn.bottomRight()));
            // Another alignment moves the shape with it: rebuilt and applied.
            if (c.mode == KDialogSkin::kStretchHorizontal && c.align == KDialogSkin::kAlignNear) {
                const int builds = skin.RegionBuilds();
                skin.SetAlignment(KDialogSkin::kAlignFar, false);
                QCOMPARE(skin.RegionBuilds(), builds + 1);
                QCOMPARE(skin.GetStateRect(0), QRect(0, 50, 100, 10));
                QCOMPARE(host.mask().boundingRect().top(), 50);
            }
        }
    }

    void sizesToTheBitmap() {
        QWidget host;
        host.resize(5, 5);
        KDialogSkin skin(&host);
        skin.AddBitmapResource(510, KDialogSkin::kSizeToBitmap);
        skin.SelectState(0);
        QCOMPARE(host.size(), KSkinManifest::BitmapSize(510));
    }

    void drawsTheStateAtTheProbePoints() {
        for (int id : {510, 531, 143, 300}) {
            KWndSkin w;
            w.AddBitmapResource(id, 0);
            w.SelectState(0);
            w.resize(KSkinManifest::BitmapSize(id));
            const QImage img = Grab(w);
            const auto probes = KSkinManifest::Probes(id);
            QVERIFY(!probes.empty());
            for (const SSkinProbe& p : probes)
                QVERIFY(PixelIs(img, p.at, p.rgb, QStringLiteral("bitmap%1").arg(id)));
        }
    }

    void attachTakesThePlaceholdersPlace() {
        QWidget dialog;
        QLineEdit before(&dialog);
        QLabel item(QStringLiteral("Play"), &dialog);
        QLineEdit after(&dialog);
        item.setGeometry(30, 40, 32, 24);
        item.setProperty(kControlIdProperty, 1001);
        item.setAccessibleName(QStringLiteral("Play or pause"));
        QWidget::setTabOrder(&before, &item);
        QWidget::setTabOrder(&item, &after);

        KWndSkin w;
        w.setFocusPolicy(Qt::StrongFocus);
        QVERIFY(w.AttachToDlgItem(&item));
        QCOMPARE(w.parentWidget(), &dialog);
        QCOMPARE(w.geometry(), QRect(30, 40, 32, 24));
        QCOMPARE(w.WindowText(), QStringLiteral("Play"));
        QCOMPARE(w.ControlId(), 1001);
        QCOMPARE(w.accessibleName(), QStringLiteral("Play or pause"));
        QVERIFY(item.isHidden());
        QCOMPARE(FindDlgItem(&dialog, 1001), &item);

        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        before.setFocus();
        QTRY_VERIFY(before.hasFocus());
        QTest::keyClick(&before, Qt::Key_Tab);
        QTRY_VERIFY(w.hasFocus());
        QTest::keyClick(&w, Qt::Key_Tab);
        QTRY_VERIFY(after.hasFocus());
    }

    void placeholderTextIsCut() {
        QWidget dialog;
        QLabel item(QString(300, QChar('x')), &dialog);
        KWndSkin w;
        QVERIFY(w.AttachToDlgItem(&item));
        QCOMPARE(w.WindowText().size(), 256);
    }

    void createAddsOnePixelEachWay() {
        QWidget parent;
        KWndSkin a, b;
        const QRect r(5, 6, 30, 20);
        a.Create(&parent, QStringLiteral("t"), 0, &r, 7);
        QCOMPARE(a.geometry(), QRect(5, 6, 31, 21));
        QCOMPARE(a.ControlId(), 7);
        b.Create(&parent, QString(), 0, nullptr, 8);
        QCOMPARE(b.geometry(), QRect(0, 0, 11, 11));
    }

    void commandsArriveQueued() {
        struct Poster : KWndSkin {
            void Post(int id) { PostCommand(id); }
        } w;
        int seen = 0;
        connect(&w, &KWndSkin::command, this, [&](int id) { seen = id; });
        w.Post(42);
        QCOMPARE(seen, 0);  // not inside the handler that raised it
        QTRY_COMPARE(seen, 42);
    }

    void generatedBitmaps() {
        // The frame parts at their sizes (the playlist's bottom band holds its
        // buttons), the notice background at 180 x 86.
        const std::pair<int, QSize> sizes[] = {
            {500, {11, 42}}, {501, {11, 42}}, {502, {9, 40}},  {503, {9, 40}},  {504, {2, 42}},
            {505, {9, 2}},   {506, {9, 2}},   {507, {2, 37}},  {508, {26, 28}}, {509, {26, 28}},
            {497, {9, 66}},  {498, {9, 66}},  {499, {2, 66}},  {300, {180, 86}},
        };
        for (const auto& [id, size] : sizes) {
            QCOMPARE(LoadSkinBitmap(id).size(), size);
            QCOMPARE(KSkinManifest::BitmapSize(id), size);
        }
        // Every id the manifest names loads at its size; the button faces
        // hold no key pixel, as buttons are set up without a region.
        const std::vector<int> ids = KSkinManifest::BitmapIds();
        QVERIFY(ids.size() > 150);
        const std::vector<int> framed = {500, 501, 502, 503, 510, 511, 497, 498};
        for (int id : ids) {
            const QImage img = LoadSkinBitmap(id);
            QVERIFY2(!img.isNull(), qPrintable(QString::number(id)));
            QCOMPARE(img.size(), KSkinManifest::BitmapSize(id));
            bool keyed = false;
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x) keyed |= (img.pixel(x, y) & 0xFFFFFF) == kSkinKeyColour;
            QCOMPARE(keyed, KSkinManifest::IsKeyed(id));
            const bool frame = std::find(framed.begin(), framed.end(), id) != framed.end();
            QVERIFY2(keyed == frame, qPrintable(QString::number(id)));
        }
        // No antialiasing next to the key: every neighbour of a key pixel
        // is either key or a colour the part was drawn with.
        const QImage corner = LoadSkinBitmap(500);
        for (int y = 0; y < corner.height(); ++y)
            for (int x = 0; x < corner.width(); ++x) {
                const QRgb c = corner.pixel(x, y) & 0xFFFFFF;
                const quint32 blue = c & 0xFF, red = (c >> 16) & 0xFF;
                QVERIFY(c == kSkinKeyColour || blue < 0x80 || red > blue);
            }
        // The main window's controls lie inside its shape.
        const QRect main(QPoint(0, 0), KSkinManifest::BitmapSize(510));
        for (int id : {1001, 1000, 1075, 1081, 1051, 1066}) {
            const QRect r = KSkinManifest::MainControlRect(id);
            QVERIFY(!r.isEmpty());
            QVERIFY(main.contains(r));
        }
        QCOMPARE(KSkinManifest::MainControlRect(1001).size(), KSkinManifest::BitmapSize(531));
    }
};

QTEST_MAIN(SkinEngineTest)
#include "SkinEngineTest.moc"
