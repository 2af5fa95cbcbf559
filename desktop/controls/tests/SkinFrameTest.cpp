// Frame dialogs: their shape, moving, every sizing zone, the keys that must
// not close them, the stored-rectangle check, and the child layout.
#include "desktop/controls/tests/support/PointerInput.h"
#include "desktop/controls/tests/support/SkinTestUtil.h"

#include "desktop/controls/KManualSkinDlg.h"
#include "desktop/controls/KSkinManifest.h"
#include "desktop/controls/KSkinMetrics.h"
#include "desktop/controls/KSkinResources.h"

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QTest>

namespace {

struct Dialog : KManualSkinDlg {
    Dialog(bool resizable) {
        SetResizable(resizable);
        setGeometry(100, 100, 300, 200);
    }
};

}  // namespace

class SkinFrameTest : public QObject {
    Q_OBJECT
private slots:
    void shapeIsBuiltAtTheFirstShow() {
        Dialog d(true);
        d.OnInitDialog();
        QCOMPARE(d.RegionBuilds(), 0);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QCOMPARE(d.RegionBuilds(), 1);
        const QImage composed = d.Compose(d.size());
        QString why;
        QVERIFY2(RegionMatchesPixels(d.mask(), composed, kSkinKeyColour, &why), qPrintable(why));
        QVERIFY(!d.mask().contains(QPoint(0, 0)));
        QVERIFY(!d.mask().contains(QPoint(299, 0)));
        QVERIFY(d.mask().contains(QPoint(150, 100)));
        // Painting again at the same size builds nothing.
        d.repaint();
        d.repaint();
        QCOMPARE(d.RegionBuilds(), 1);
        d.resize(320, 220);
        QCOMPARE(d.RegionBuilds(), 2);
        QVERIFY(!d.mask().contains(QPoint(319, 0)));
        QVERIFY(d.mask().contains(QPoint(310, 100)));
        // The grips are drawn at the bottom corners of a resizable dialog.
        const QImage img = d.grab().toImage();
        const auto probe = KSkinManifest::Probes(508).front();
        QVERIFY(PixelIs(img, QPoint(320 - 26, 220 - 28) + probe.at, probe.rgb, "grip"));
    }

    void extraPartAtItsPlaceholder() {
        Dialog d(false);
        auto* mark = new QLabel(QStringLiteral("placeholder"), &d);
        mark->setProperty(kControlIdProperty, 1122);
        // Wider than the bitmap: it is cut, not stretched; the rest stays frame.
        const QSize bitmap = KSkinManifest::BitmapSize(495);
        const QRect place(20, 8, bitmap.width() + 14, bitmap.height() - 3);
        mark->setGeometry(place);
        const QImage before = d.Compose(d.size());
        QVERIFY(!d.LoadExtraSkinPart(495, 4242));  // no such item
        QVERIFY(!d.LoadExtraSkinPart(424242, 1122));  // no such bitmap
        QVERIFY(mark->isVisibleTo(&d));
        QCOMPARE(d.Compose(d.size()), before);
        QVERIFY(d.LoadExtraSkinPart(495, 1122));
        QVERIFY(!mark->isVisibleTo(&d));
        QCOMPARE(d.ExtraPartRect(), place);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        const QImage img = d.grab().toImage(), part = LoadSkinBitmap(495);
        int differs = 0;
        for (int y = place.top(); y <= place.bottom(); ++y)
            for (int x = place.left(); x <= place.right(); ++x) {
                const QPoint in = QPoint(x, y) - place.topLeft();
                const QRgb want = part.rect().contains(in) ? part.pixel(in) : before.pixel(x, y);
                if (!PixelIs(img, QPoint(x, y), want & 0xFFFFFF, "extra-part")) QFAIL("the extra part differs");
                differs += (want & 0xFFFFFF) != (before.pixel(x, y) & 0xFFFFFF);
            }
        QVERIFY(differs > 0);  // the bitmap shows, not the frame under it
        QVERIFY(PixelIs(img, place.bottomLeft() + QPoint(0, 1), before.pixel(place.bottomLeft() + QPoint(0, 1)) & 0xFFFFFF,
                        "below-the-place"));
    }

    void sizingZones() {
        struct Case {
            QPoint at;
            int zone;
        };
        // 300 x 200; grips 26 x 28, so their triangles reach 31 and 33 px.
        const Case cases[] = {
            {{298, 100}, KManualSkinDlg::kZoneRight},
            {{2, 100}, KManualSkinDlg::kZoneLeft},
            {{150, 197}, KManualSkinDlg::kZoneBottom},
            {{150, 100}, KManualSkinDlg::kZoneNone},  // the middle is no zone
            {{150, 193}, KManualSkinDlg::kZoneNone},
            {{297, 197}, KManualSkinDlg::kZoneBottomRight},
            {{285, 190}, KManualSkinDlg::kZoneBottomRight},
            {{2, 197}, KManualSkinDlg::kZoneBottomLeft},
            {{12, 185}, KManualSkinDlg::kZoneBottomLeft},
            {{50, 197}, KManualSkinDlg::kZoneBottom},
        };
        Dialog d(true);
        d.OnInitDialog();
        for (const Case& c : cases) QCOMPARE(d.HitTestFrame(c.at, false), c.zone);
        Dialog fixed(false);
        fixed.OnInitDialog();
        for (const Case& c : cases) QCOMPARE(fixed.HitTestFrame(c.at, false), int(KManualSkinDlg::kZoneNone));
    }

    void movingAndSizing() {
        struct Case {
            const char* name;
            QPoint from, to;
            QRect expected;  // from (100, 100, 300, 200)
        };
        const Case cases[] = {
            {"move by the top band", {150, 10}, {180, 30}, QRect(130, 120, 300, 200)},
            // Past the edge being dragged, the edge goes to the pointer.
            {"right edge", {298, 100}, {318, 140}, QRect(100, 100, 318, 200)},
            {"right edge inward", {298, 100}, {296, 100}, QRect(100, 100, 298, 200)},
            {"left edge", {2, 100}, {-13, 90}, QRect(87, 100, 313, 200)},
            {"left edge inward", {2, 100}, {4, 100}, QRect(102, 100, 298, 200)},
            {"bottom edge", {150, 197}, {170, 209}, QRect(100, 100, 300, 209)},
            {"bottom-right grip", {297, 197}, {317, 207}, QRect(100, 100, 317, 207)},
            {"bottom-right grip inward", {297, 197}, {290, 193}, QRect(100, 100, 293, 196)},
            {"bottom-left grip", {2, 197}, {-8, 207}, QRect(92, 100, 308, 207)},
            {"the middle", {150, 100}, {190, 140}, QRect(100, 100, 300, 200)},
        };
        for (const Case& c : cases) {
            Dialog d(true);
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            Drag(&d, c.from, c.to);
            QVERIFY2(d.geometry() == c.expected,
                     qPrintable(QStringLiteral("%1: %2,%3 %4x%5").arg(c.name).arg(d.x()).arg(d.y()).arg(d.width()).arg(d.height())));
            QCOMPARE(d.SizingZone(), int(KManualSkinDlg::kZoneNone));
            QVERIFY(!d.IsMoving());
        }
        // Inward below the minimum size: the window stays as it is.
        Dialog small(true);
        small.OnInitDialog();
        const QSize min = small.MinimumSkinSize();
        small.setGeometry(100, 100, min.width() + 10, min.height() + 10);
        small.show();
        QVERIFY(QTest::qWaitForWindowExposed(&small));
        const QPoint grip(small.width() - 3, small.height() - 3);
        Drag(&small, grip, grip - QPoint(20, 5));
        QCOMPARE(small.size(), min + QSize(10, 10));
        Drag(&small, grip, grip - QPoint(5, 3));
        QCOMPARE(small.size(), min + QSize(5, 7));

        // Not resizable, not in the top band: nothing happens.
        Dialog fixed(false);
        fixed.show();
        QVERIFY(QTest::qWaitForWindowExposed(&fixed));
        Drag(&fixed, {297, 197}, {317, 207});
        Drag(&fixed, {150, 100}, {170, 120});
        QCOMPARE(fixed.geometry(), QRect(100, 100, 300, 200));
    }

    void enterAndEscapeDoNotClose() {
        Dialog d(false);
        int finished = 0;
        connect(&d, &QDialog::finished, this, [&] { ++finished; });
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) QTest::keyClick(&d, key);
        QVERIFY(d.isVisible());
        QCOMPARE(finished, 0);
    }

    void storedRectangles() {
        Dialog d(false);
        d.OnInitDialog();
        const QSize min = d.MinimumSkinSize();
        QCOMPARE(min, QSize(11 + 11 + 9 + 9, 42 + 42 + 40 + 40));
        const QRect screen = d.screen()->geometry();
        const std::pair<QRect, bool> cases[] = {
            {QRect(10, 20, 300, 200), true},
            {QRect(-5, 20, 300, 200), false},
            {QRect(10, -1, 300, 200), false},
            {QRect(0, 0, 0, 0), false},
            {QRect(10, 10, screen.width(), 100), false},
            {QRect(0, 0, screen.width(), screen.height()), true},
        };
        for (auto [rect, stands] : cases) {
            QRect r = rect;
            QCOMPARE(d.CheckWindowRect(r), stands);
            QCOMPARE(r, stands ? rect : QRect(QPoint(0, 0), min));
        }
        QVERIFY(d.IsBelowMinSize(QSize(min.width() - 1, min.height())));
        QVERIFY(!d.IsBelowMinSize(min));
    }

    void closeButtonAndLayout() {
        Dialog d(true);
        auto* item = new QLabel(&d);
        item->setProperty(kControlIdProperty, 2007);
        item->setGeometry(250, 10, 15, 15);
        d.OnInitDialog();
        d.LayoutSkinControls(2007);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        const int half = LoadSkinBitmap(259).width() / 2;
        QCOMPARE(d.CloseButton().geometry(), QRect(300 - 15 - half, 10, 14, 14));
        QCOMPARE(d.CloseButton().ControlId(), 2007);
        d.resize(360, 240);
        QCOMPARE(d.CloseButton().geometry(), QRect(360 - 15 - half, 10, 14, 14));
    }

    void containerAnchors() {
        struct Case {
            int anchors;
            QRect after;  // child at (20, 30, 40, 10) in 200 x 100, owner made 260 x 140
        };
        const Case cases[] = {
            {0x6, QRect(80, 30, 40, 10)},   // right and top: keeps its size and right distance
            {0xF, QRect(20, 30, 100, 50)},  // every edge from its own side: stretches
            {0x5, QRect(20, 30, 40, 10)},   // left and top
            {0xA, QRect(80, 70, 40, 10)},   // right and bottom
        };
        for (const Case& c : cases) {
            QWidget owner;
            owner.resize(200, 100);
            auto* child = new QWidget(&owner);
            child->setGeometry(20, 30, 40, 10);
            KWndContainer container(&owner);
            container.Layout(child, c.anchors);
            container.Update(260, 140);
            QCOMPARE(child->geometry(), c.after);
        }
        // Equal guides are shared, and a child deleted first is skipped.
        QWidget owner;
        owner.resize(200, 100);
        auto* a = new QWidget(&owner);
        auto* b = new QWidget(&owner);
        a->setGeometry(10, 10, 20, 20);
        b->setGeometry(10, 40, 20, 20);
        KWndContainer container(&owner);
        container.Layout(a, 0x5);
        container.Layout(b, 0x5);
        QCOMPARE(container.GuideCount(), 6);  // the left and right edges are shared
        delete a;
        container.Update(300, 300);
        QCOMPARE(b->geometry(), QRect(10, 40, 20, 20));
    }

    void skinMetrics() {
        KSkinMetrics& m = GetSkinBitmaps();
        QCOMPARE(m.m_mainSize, KSkinManifest::BitmapSize(510));
        QCOMPARE(m.m_listExtra, KSkinManifest::BitmapSize(511).height() - KSkinManifest::BitmapSize(510).height());
        QCOMPARE(m.m_halfClose, KSkinManifest::BitmapSize(259).width() / 2);
        QWidget* main = nullptr;
        QRect r;
        QCOMPARE(m.GetMainWindow(&main), E_FAIL);
        QCOMPARE(m.GetMainWindowRect(&r), E_FAIL);
        {
            QWidget window;
            window.setGeometry(10, 10, 50, 50);
            m.SetMainWindow(&window);
            QCOMPARE(m.GetMainWindow(&main), S_OK);
            QCOMPARE(main, &window);
            // A dialog that is disabled takes the main window with it.
            Dialog d(false);
            d.setEnabled(false);
            QVERIFY(!window.isEnabled());
            d.setEnabled(true);
            QVERIFY(window.isEnabled());
        }
        QCOMPARE(m.GetMainWindow(&main), E_FAIL);  // gone with its window
    }
};

QTEST_MAIN(SkinFrameTest)
#include "SkinFrameTest.moc"
