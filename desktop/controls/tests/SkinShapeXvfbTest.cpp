// Shaped windows on a real X server: over a backdrop of known colour, the
// screen shows the backdrop where the shape cuts and the skin inside it.
#include "desktop/controls/tests/support/SkinTestUtil.h"

#include "desktop/controls/KAnimatedPopup.h"
#include "desktop/controls/KManualSkinDlg.h"
#include "desktop/controls/KPopupManager.h"
#include "desktop/controls/KSkinManifest.h"
#include "desktop/controls/KSkinResources.h"
#include "desktop/controls/KWndSkin.h"

#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QTest>

#include <cstdio>

namespace {

constexpr QRgb kBackdrop = 0x20C040;

class Backdrop : public QWidget {
public:
    Backdrop() : QWidget(nullptr, Qt::FramelessWindowHint) {}
protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), QColor(kBackdrop)); }
};

QImage ScreenAt(const QRect& r) {
    return QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()).toImage().convertToFormat(
        QImage::Format_RGB32);
}

bool ScreenPixelIs(const QPoint& p, QRgb rgb) {
    const QImage img = ScreenAt(QRect(p, QSize(1, 1)));
    return !img.isNull() && (img.pixel(0, 0) & 0xFFFFFF) == rgb;
}

}  // namespace

class SkinShapeXvfbTest : public QObject {
    Q_OBJECT
private slots:
    void shapedWindowsShowTheBackdropWhereCut() {
        Backdrop back;
        back.setGeometry(0, 0, 1000, 600);
        back.show();
        QVERIFY(QTest::qWaitForWindowExposed(&back));
        QTRY_VERIFY_WITH_TIMEOUT(ScreenPixelIs(QPoint(500, 300), kBackdrop), 10000);

        KManualSkinDlg dialog;
        dialog.setGeometry(50, 50, 300, 200);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const SSkinProbe band = KSkinManifest::Probes(504).back();
        QTRY_VERIFY_WITH_TIMEOUT(ScreenPixelIs(QPoint(50 + 150, 50 + band.at.y()), band.rgb), 10000);
        QVERIFY(ScreenPixelIs(QPoint(50 + 150, 50 + 100), 0xFFFFFF));
        const QImage shot = ScreenAt(QRect(50, 50, 300, 200));
        QVERIFY(PixelIs(shot, QPoint(0, 0), kBackdrop, "dialog-corner"));
        QVERIFY(PixelIs(shot, QPoint(299, 199), kBackdrop, "dialog-bottom-corner"));
        QVERIFY(PixelIs(shot, QPoint(6, 6), LoadSkinBitmap(500).pixel(6, 6) & 0xFFFFFF, "dialog-inside"));

        KWndSkin main;
        main.setWindowFlags(Qt::FramelessWindowHint);
        main.AddBitmapResource(510, KDialogSkin::kBuildRegion | KDialogSkin::kSizeToBitmap, kSkinKeyColour);
        main.SelectState(0);
        main.move(400, 300);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        const QSize size = KSkinManifest::BitmapSize(510);
        for (const SSkinProbe& p : KSkinManifest::Probes(510)) {
            const QRgb expected = p.rgb == kSkinKeyColour ? kBackdrop : p.rgb;
            QTRY_VERIFY_WITH_TIMEOUT(ScreenPixelIs(QPoint(400, 300) + p.at, expected), 10000);
        }
        const QImage mainShot = ScreenAt(QRect(QPoint(400, 300), size));
        QVERIFY(PixelIs(mainShot, QPoint(size.width() - 1, 0), kBackdrop, "main-corner"));
    }

    void noticesLeaveTheFocusWhereItWas() {
        QWidget window;
        auto* edit = new QLineEdit(&window);
        window.setGeometry(100, 100, 200, 60);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        edit->setFocus();
        QTRY_VERIFY_WITH_TIMEOUT(edit->hasFocus(), 10000);
        KPopupManager manager(600000, 5);
        std::vector<KAnimatedPopup*> shown;
        for (int i = 0; i < 3; ++i) shown.push_back(manager.ShowPopup(QStringLiteral("warning %1").arg(i)));
        for (KAnimatedPopup* p : shown) QVERIFY(QTest::qWaitForWindowExposed(p));
        // Give the server every chance to move the focus, then look.
        QTRY_VERIFY_WITH_TIMEOUT(ScreenPixelIs(shown[0]->pos() + QPoint(90, 40),
                                               KSkinManifest::Probes(300).front().rgb),
                                 10000);
        QApplication::processEvents();
        QVERIFY(edit->hasFocus());
        QCOMPARE(QApplication::activeWindow(), &window);
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::puts("SKIP: no X display (run inside scripts/testenv, which starts Xvfb)");
        return 77;
    }
    QApplication app(argc, argv);
    SkinShapeXvfbTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "SkinShapeXvfbTest.moc"
