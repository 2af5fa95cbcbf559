// Skinned buttons, their tooltips and the position slider's thumb, driven
// by mouse and key clicks.
#include "desktop/controls/tests/support/PointerInput.h"
#include "desktop/controls/tests/support/SkinTestUtil.h"

#include "desktop/controls/KButton.h"
#include "desktop/controls/KButtonSkin.h"
#include "desktop/controls/KScrollButtonSkin.h"
#include "desktop/controls/KSkinManifest.h"
#include "desktop/controls/KSkinResources.h"

#include "service/foundation/KTimecode.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTest>

#include <memory>

namespace {

constexpr int kPlayIds[] = {531, 532, 533, 534};

// A dialog with a placeholder for one button.
struct Fixture {
    QWidget dialog;
    QLabel* item;
    KButtonSkin button;
    std::vector<int> events;  // notifications as codes, commands as -id

    explicit Fixture(int id = 1001, const int* ids = kPlayIds, int count = 4) {
        dialog.resize(200, 100);
        item = new QLabel(QStringLiteral("Play"), &dialog);
        item->setGeometry(40, 30, 32, 24);
        item->setProperty(kControlIdProperty, id);
        InitSkinButton(&dialog, button, id, ids, count);
        QObject::connect(&button, &KButton::parentNotify, [this](int code, QPoint) { events.push_back(code); });
        QObject::connect(&button, &KWndSkin::command, [this](int cid) { events.push_back(-cid); });
        dialog.show();
    }
    int Commands() const { return static_cast<int>(std::count_if(events.begin(), events.end(), [](int e) { return e < 0; })); }
    QImage Face() { return button.grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

QRgb ProbeOf(int id) { return KSkinManifest::Probes(id).front().rgb; }

QImage KButtonFaceWithoutFocus(Fixture& f) {
    f.button.clearFocus();
    QImage img = f.Face();
    f.button.setFocus();
    return img;
}

}  // namespace

class SkinButtonTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { KTimecode::SetRateMode(KTimecode::kHundredthsMode); }

    void facesFollowTheState() {
        Fixture f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.dialog));
        const QPoint inside(10, 10);
        QVERIFY(PixelIs(f.Face(), {2, 2}, ProbeOf(531), "normal"));
        Hover(&f.button, inside);
        QVERIFY(f.button.GetState() & KButton::kHover);
        QVERIFY(PixelIs(f.Face(), {2, 2}, ProbeOf(532), "hover"));
        QTest::mousePress(&f.button, Qt::LeftButton, {}, inside);
        QVERIFY(PixelIs(f.Face(), {2, 2}, ProbeOf(533), "pressed"));
        QTest::mouseRelease(&f.button, Qt::LeftButton, {}, inside);
        f.button.setEnabled(false);
        QVERIFY(f.button.GetState() & KButton::kDisabled);
        QVERIFY(PixelIs(f.Face(), {2, 2}, ProbeOf(534), "disabled"));
        f.button.setEnabled(true);
        QVERIFY(PixelIs(f.Face(), {2, 2}, ProbeOf(531), "enabled again"));
        // The second face of a toggle.
        const int ids[] = {531, 532, 533, 534, 535, 536, 537, 538};
        Fixture g(1001, ids, 8);
        g.button.SetBitmapIndex(4);
        QVERIFY(PixelIs(g.Face(), {2, 2}, ProbeOf(535), "second face"));
        QCOMPARE(g.button.GetCurrentState(), 4);
    }

    void plainLookWithoutBitmaps() {
        struct Case {
            uint8_t style;
            uint8_t state;
            QRgb fill;      // the centre
            QRgb edge;      // the top-left corner
        };
        const QRgb face = QApplication::palette().color(QPalette::Button).rgb() & 0xFFFFFF;
        const Case cases[] = {
            {0, 0, face, face},
            {0, KButton::kHover, 0x7DAAFF, 0x000032},
            {0, KButton::kPressed, 0x7DAAFF, 0x000032},
            {0, KButton::kPressed | KButton::kHover, 0x2874FF, 0x000032},
            {KButton::kStyleFramed, 0, face, 0x000032},
        };
        for (const Case& c : cases) {
            KButton b;
            b.resize(20, 16);
            b.SetStyle(c.style);
            b.ModifyState(c.state, true);
            const QImage img = b.grab().toImage();
            QVERIFY(PixelIs(img, QPoint(10, 8), c.fill, QStringLiteral("fill%1").arg(c.state)));
            QVERIFY(PixelIs(img, QPoint(0, 0), c.edge, QStringLiteral("edge%1").arg(c.state)));
        }
    }

    void clickOrderAndLatch() {
        Fixture f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.dialog));
        f.button.SetStyle(KButton::kStyleLatching);
        const QPoint inside(10, 10);
        Hover(&f.button, inside);
        QTest::mouseClick(&f.button, Qt::LeftButton, {}, inside);
        // The notifications come at once, the click after them.
        QCOMPARE(f.Commands(), 0);
        QTRY_COMPARE(f.Commands(), 1);
        const std::vector<int> expected = {0x122, 0x120, 0x123, 0x121, 0x124, -1001};
        QCOMPARE(f.events, expected);
        QVERIFY(f.button.IsLatched());
        QVERIFY(f.button.GetState() & KButton::kPressed);
        Hover(&f.button, inside + QPoint(1, 0));
        QTest::mouseClick(&f.button, Qt::LeftButton, {}, inside + QPoint(1, 0));
        QTRY_COMPARE(f.Commands(), 2);
        QVERIFY(!f.button.IsLatched());
        QVERIFY(!(f.button.GetState() & KButton::kPressed));
    }

    void everyClickCountsWithoutAMove() {
        // A real pointer that stays still sends no move between two clicks:
        // only the presses and releases arrive.
        Fixture f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.dialog));
        const QPoint inside(10, 10);
        Hover(&f.button, inside);
        for (int click = 1; click <= 3; ++click) {
            PressLeft(&f.button, inside);
            ReleaseLeft(&f.button, inside);
            QTRY_COMPARE(f.Commands(), click);
        }
    }

    void pressLeaveReleaseIsNoClick() {
        Fixture f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.dialog));
        const QPoint inside(10, 10), outside(100, 10);
        Hover(&f.button, inside);
        QTest::mousePress(&f.button, Qt::LeftButton, {}, inside);
        QTest::mouseMove(&f.button, outside);
        // The pointer stays with the pressed button: it still gets the move.
        QVERIFY(!(f.button.GetState() & KButton::kHover));
        QVERIFY(f.button.GetState() & KButton::kPressed);
        QTest::mouseRelease(&f.button, Qt::LeftButton, {}, outside);
        QVERIFY(!(f.button.GetState() & KButton::kPressed));
        // Let any queued command arrive before counting: one more click
        // arrives after whatever the first release queued.
        Hover(&f.button, inside);
        QTest::mouseClick(&f.button, Qt::LeftButton, {}, inside);
        QTRY_COMPARE(f.Commands(), 1);
        QCOMPARE(std::count(f.events.begin(), f.events.end(), 0x121), 2);
    }

    void keyboardClicks() {
        Fixture f;
        auto* edit = new QLineEdit(&f.dialog);
        edit->setGeometry(100, 30, 60, 20);
        edit->show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.dialog));
        f.dialog.activateWindow();
        f.button.setFocus();
        QTRY_VERIFY(f.button.hasFocus());
        // The focus mark shows on the face.
        const QImage focused = f.Face();
        QVERIFY(focused != KButtonFaceWithoutFocus(f));
        QTest::keyClick(&f.button, Qt::Key_Space);
        QTest::keyClick(&f.button, Qt::Key_Return);
        QTest::keyClick(&f.button, Qt::Key_Enter);
        QTRY_COMPARE(f.Commands(), 3);
        QTest::keyClick(&f.button, Qt::Key_Tab);
        QTRY_VERIFY(edit->hasFocus());
        QTest::keyClick(edit, Qt::Key_Backtab);
        QTRY_VERIFY(f.button.hasFocus());
    }

    void toolTipShowsOnceBesideThePointer() {
        Fixture f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.dialog));
        int shown = 0;
        connect(&f.button.ToolTip(), &KToolTip::shown, this, [&] { ++shown; });
        QElapsedTimer clock;
        clock.start();
        const QPoint inside(10, 10);
        Hover(&f.button, inside);
        QVERIFY(f.button.ToolTip().IsActive());
        QVERIFY(!f.button.ToolTip().Window()->isVisible());
        QWidget* tip = f.button.ToolTip().Window();
        QVERIFY(tip);
        QTRY_VERIFY_WITH_TIMEOUT(tip->isVisible(), 10000);
        QVERIFY(clock.elapsed() >= KToolTip::kDelayMs);
        QCOMPARE(tip->pos(), f.button.mapToGlobal(inside) + QPoint(25, 10));
        QCOMPARE(tip->findChild<QWidget*>(), nullptr);
        Hover(&f.button, inside + QPoint(2, 2));
        QVERIFY(!f.button.ToolTip().IsPending());
        QCOMPARE(shown, 1);
        // Leaving hides it and stops the timer.
        Leave(&f.button);
        QVERIFY(!tip->isVisible());
        QVERIFY(!f.button.ToolTip().IsActive());
    }

    void toolTipStaysOnTheScreen() {
        QScreen* screen = QGuiApplication::primaryScreen();
        const QRect area = screen->geometry();
        KToolTip tip;
        QWidget owner;
        tip.Create(&owner);
        tip.SetText(QStringLiteral("a tip"));
        tip.TrackCursor(area.bottomRight() - QPoint(3, 3));
        tip.Show();
        QWidget* w = tip.Window();
        QCOMPARE(w->pos(), QPoint(area.right() + 1 - w->width() - 30, area.bottom() + 1 - w->height() - 15));
        // Long text is cut at 1024 units without splitting a surrogate pair.
        QString text(1023, QChar('x'));
        text += QString::fromUcs4(U"\U0001F600");
        text += QString(500, QChar('y'));
        tip.SetText(text);
        QCOMPARE(tip.Text().size(), 1023);
        tip.SetText(QString(2000, QChar('z')));
        QCOMPARE(tip.Text().size(), KToolTip::kMaxText);
    }

    void sliderValues() {
        struct Case {
            qint64 range, low, high, value;
            int pixel;
            qint64 stored;
            QString text;
        };
        // Thumb 10 px on a 335 px track: 325 px of travel.
        const qint64 hour = 3600000;
        const Case cases[] = {
            {5 * hour, 0, 5 * hour, 3 * hour, 195, 3 * hour, "03:00:00:000"},
            {5 * hour, hour, 5 * hour, 2 * hour + 1230, 130, 2 * hour + 1230, "03:00:01:230"},
            {10 * hour, 0, 10 * hour, 10 * hour, 325, 10 * hour, "10:00:00:000"},
            {0, 0, hour, 1000, 0, 1000, "00:00:01:000"},            // no range: the thumb stays
            {hour, 0, 2 * hour, 2 * hour, 325, hour, "01:00:00:000"},  // capped at the travel
        };
        for (const Case& c : cases) {
            QWidget track;
            KScrollButtonSkin thumb(&track);
            thumb.setGeometry(102, 122, 10, 14);
            thumb.Attach(335);
            thumb.SetRange(c.range);
            thumb.SetBounds(c.low, c.high);
            thumb.SetValue(c.value);
            QCOMPARE(thumb.GetPixel(), c.pixel);
            QCOMPARE(thumb.GetValue(), c.stored);
            QCOMPARE(thumb.x(), 102 + c.pixel);
            QCOMPARE(thumb.WindowText(), c.text);
            // Out of bounds: ignored.
            thumb.SetValue(c.high - c.low + 1);
            thumb.SetValue(-1);
            QCOMPARE(thumb.GetValue(), c.stored);
        }
    }

    void sliderDragAndKeys() {
        QWidget track;
        track.resize(500, 200);
        KScrollButtonSkin thumb(&track);
        const int ids[] = {326, 327, 325};
        for (int id : ids) thumb.AddBitmapResource(id, 0, kSkinKeyColour);
        thumb.SelectState(0);
        thumb.setGeometry(102, 122, 10, 14);
        thumb.Attach(335);
        const qint64 a = 3 * 3600000;
        thumb.SetRange(a);
        thumb.SetBounds(0, a);
        thumb.SetValue(0);
        std::vector<int> commands;
        connect(&thumb, &KWndSkin::command, this, [&](int id) { commands.push_back(id); });
        track.show();
        QVERIFY(QTest::qWaitForWindowExposed(&track));

        // Drag to within a second of the end: the value snaps to the end.
        QTest::mousePress(&thumb, Qt::LeftButton, {}, QPoint(5, 7));
        QTest::mouseMove(&thumb, QPoint(5 + 325, 7));
        QTRY_COMPARE(thumb.GetValue(), a);
        QTest::mouseRelease(&thumb, Qt::LeftButton, {}, QPoint(5, 7));
        QTRY_COMPARE(commands.size(), size_t(1));
        QCOMPARE(commands[0], KScrollButtonSkin::kReleasedCommand);

        // Halfway by dragging.
        thumb.SetValue(0);
        QTest::mousePress(&thumb, Qt::LeftButton, {}, QPoint(5, 7));
        QTest::mouseMove(&thumb, QPoint(5 + 162, 7));
        QTRY_VERIFY(thumb.GetValue() > 0);
        QCOMPARE(thumb.GetValue(), (a * 162 + 162) / 325);
        QTest::mouseRelease(&thumb, Qt::LeftButton, {}, QPoint(5, 7));
        QTRY_COMPARE(commands.size(), size_t(2));

        // Keys: 5 s steps, Home and End; each ends like a release.
        thumb.setFocus();
        commands.clear();
        thumb.SetValue(60000);
        QTest::keyClick(&thumb, Qt::Key_Right);
        QCOMPARE(thumb.GetValue(), 65000);
        QTest::keyClick(&thumb, Qt::Key_Left);
        QTest::keyClick(&thumb, Qt::Key_Left);
        QCOMPARE(thumb.GetValue(), 55000);
        QTest::keyClick(&thumb, Qt::Key_End);
        QCOMPARE(thumb.GetValue(), a);
        QTest::keyClick(&thumb, Qt::Key_Home);
        QCOMPARE(thumb.GetValue(), 0);
        QTest::keyClick(&thumb, Qt::Key_Left);
        QCOMPARE(thumb.GetValue(), 0);
        QTRY_COMPARE(commands.size(), size_t(6));
    }

    void sliderWithoutTravel() {
        QWidget track;
        KScrollButtonSkin thumb(&track);
        thumb.setGeometry(0, 0, 10, 14);
        thumb.Attach(10);  // the track is the thumb: no travel
        thumb.SetRange(0);
        thumb.SetBounds(0, 500);
        track.show();
        QVERIFY(QTest::qWaitForWindowExposed(&track));
        QTest::mousePress(&thumb, Qt::LeftButton, {}, QPoint(2, 2));
        QTest::mouseMove(&thumb, QPoint(8, 2));
        QTest::mouseRelease(&thumb, Qt::LeftButton, {}, QPoint(8, 2));
        QCOMPARE(thumb.GetPixel(), 0);
        QCOMPARE(thumb.x(), 0);
        QCOMPARE(thumb.GetValue(), 500);  // within a second of the end: the end
    }
};

QTEST_MAIN(SkinButtonTest)
#include "SkinButtonTest.moc"
