// Pop-up notices and the label control.
#include "desktop/controls/tests/support/PointerInput.h"
#include "desktop/controls/tests/support/SkinTestUtil.h"

#include "desktop/controls/CLabel.h"
#include "desktop/controls/KAnimatedPopup.h"
#include "desktop/controls/KPopupManager.h"
#include "desktop/controls/KSkinManifest.h"

#include <QApplication>
#include <QLineEdit>
#include <QScreen>
#include <QTest>

namespace {

// The box of the pixels that stand out from a black background.
QRect Ink(const QImage& image) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) + qGreen(p) + qBlue(p) > 3 * 64) box |= QRect(x, y, 1, 1);
        }
    return box;
}

}  // namespace

class SkinNoticeTest : public QObject {
    Q_OBJECT
private slots:
    void noticesStackAndSlideDown() {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        KPopupManager manager(600000, 5);
        std::vector<QPointer<KAnimatedPopup>> shown;
        for (int i = 0; i < 5; ++i) shown.emplace_back(manager.ShowPopup(QStringLiteral("notice %1").arg(i)));
        const QSize size = KSkinManifest::BitmapSize(300);
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(manager.At(i), shown[static_cast<size_t>(i)].data());
            QCOMPARE(shown[static_cast<size_t>(i)]->size(), size);  // the bitmap's size, nothing cut off
            QCOMPARE(shown[static_cast<size_t>(i)]->pos(), KPopupManager::SlotPosition(size, i, area));
        }
        // Slots never overlap: one window height plus 2 pixels apart.
        QCOMPARE(manager.At(0)->y() - manager.At(1)->y(), size.height() + 2);
        QCOMPARE(manager.At(0)->x(), area.right() + 1 - size.width() - 2);

        // A sixth: the lowest goes, the others slide down, the new one is on top.
        KAnimatedPopup* sixth = manager.ShowPopup(QStringLiteral("notice 5"));
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(manager.At(i), shown[static_cast<size_t>(i) + 1].data());
            QCOMPARE(manager.At(i)->pos(), KPopupManager::SlotPosition(size, i, area));
        }
        QCOMPARE(manager.At(4), sixth);
        QTRY_VERIFY(shown[0].isNull());  // deleted later, from the event loop

        // One closed in the middle: those above slide down.
        QTest::mouseClick(manager.At(2), Qt::LeftButton);
        QTRY_COMPARE(manager.At(2), shown[4].data());
        QCOMPARE(manager.At(3), sixth);
        QCOMPARE(manager.At(4), nullptr);
        QCOMPARE(sixth->pos(), KPopupManager::SlotPosition(size, 3, area));
    }

    void expiryAndPointer() {
        KPopupManager manager(50, 5);
        QPointer<KAnimatedPopup> stays = manager.ShowPopup(QStringLiteral("stays"));
        QPointer<KAnimatedPopup> goes = manager.ShowPopup(QStringLiteral("goes"));
        // The pointer passed over the first one: its display time stops.
        Hover(stays, QPoint(5, 5));
        QVERIFY(!stays->IsTimerRunning());
        QTRY_VERIFY_WITH_TIMEOUT(goes.isNull(), 20000);
        QVERIFY(!stays.isNull());
        QVERIFY(stays->isVisible());
        QCOMPARE(manager.At(0), stays.data());
        QTest::mouseClick(stays, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(stays.isNull(), 20000);
        QCOMPARE(manager.At(0), nullptr);
    }

    void noticeWindows() {
        // (That showing one leaves the focus where it was is checked on a
        // real X server: the offscreen platform activates every window.)
        KPopupManager manager(600000, 5);
        QString big(8000, QChar('w'));
        big += QString::fromUcs4(U"\U0001F600 end");
        for (int i = 0; i < 3; ++i) manager.ShowPopup(i == 1 ? big : QStringLiteral("warning %1").arg(i));
        KAnimatedPopup* p = manager.At(1);
        QVERIFY(p->testAttribute(Qt::WA_ShowWithoutActivating));
        QVERIFY(p->windowFlags() & Qt::WindowDoesNotAcceptFocus);
        QVERIFY(p->windowFlags() & Qt::Tool);
        QCOMPARE(p->focusPolicy(), Qt::NoFocus);
        QVERIFY(p->parent() == nullptr);
        QCOMPARE(p->Text(), big);
        // The text sits on the background: the top band is the bitmap's.
        const QImage img = manager.At(0)->grab().toImage();
        const SSkinProbe band = KSkinManifest::Probes(300).back();
        QVERIFY(PixelIs(img, band.at, band.rgb, "notice-band"));
    }

    void labelLinks() {
        struct Case {
            bool mail;
            bool notify;
            QString target;
            QString expected;  // the URL opened, empty when a notification comes instead
        };
        const Case cases[] = {
            {false, false, QString(), "http://example.org"},
            {false, false, "https://example.com/page", "https://example.com/page"},
            {true, false, QString(), "mailto:someone@example.org"},
            {false, true, QString(), QString()},
        };
        for (const Case& c : cases) {
            CLabel label;
            label.SetText(c.mail ? QStringLiteral("someone@example.org") : QStringLiteral("example.org"));
            if (c.mail) label.SetMailLink(true, c.notify);
            else label.SetLink(true, c.notify);
            label.SetLinkURL(c.target);
            QStringList opened;
            int notified = 0;
            label.SetOpener([&](const QUrl& url) {
                opened << url.toString();
                return true;
            });
            connect(&label, &CLabel::notify, this, [&](int code) { notified += code == CLabel::kNotifyCode; });
            label.show();
            QVERIFY(QTest::qWaitForWindowExposed(&label));
            QTest::mouseClick(&label, Qt::LeftButton);
            label.setFocus();
            QTest::keyClick(&label, Qt::Key_Return);
            if (c.expected.isEmpty()) {
                QVERIFY(opened.isEmpty());
                QCOMPARE(notified, 2);
            } else {
                QCOMPARE(opened, QStringList({c.expected, c.expected}));
                QCOMPARE(notified, 0);
            }
        }
    }

    void labelFlashing() {
        CLabel label;
        label.SetText(QStringLiteral("Flash")).SetBkColor(QColor(10, 20, 30)).SetTextColor(QColor(250, 250, 0));
        label.FlashText(true);
        QVERIFY(label.IsFlashTimerRunning());
        QCOMPARE(label.CurrentTextColour(), QColor(10, 20, 30));  // hidden in the first phase
        QTRY_VERIFY_WITH_TIMEOUT(label.CurrentTextColour() == QColor(250, 250, 0), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(label.CurrentTextColour() == QColor(10, 20, 30), 10000);
        // Stopping either flash leaves the text visible.
        label.FlashBackground(false);
        QVERIFY(!label.IsFlashTimerRunning());
        QCOMPARE(label.CurrentTextColour(), QColor(250, 250, 0));
        label.FlashText(true);
        label.FlashText(false);
        QCOMPARE(label.CurrentTextColour(), QColor(250, 250, 0));
    }

    void labelBackgroundFlashShowsOnScreen() {
        // The background flash turns the label round every 500 ms: the
        // text's colour behind the background's, then back.
        CLabel label;
        label.SetText(QStringLiteral("Flash")).SetBkColor(QColor(10, 20, 30)).SetTextColor(QColor(250, 250, 0));
        label.resize(80, 20);
        label.show();
        QVERIFY(QTest::qWaitForWindowExposed(&label));
        const QRgb text = 0xFAFA00, back = 0x0A141E;
        QVERIFY(PixelIs(label.grab().toImage(), QPoint(1, 1), back, "steady"));
        label.FlashBackground(true);
        QVERIFY(!label.FlashPhase());
        QCOMPARE(label.CurrentBackgroundColour(), QColor(250, 250, 0));
        QCOMPARE(label.CurrentTextColour(), QColor(10, 20, 30));
        QVERIFY(PixelIs(label.grab().toImage(), QPoint(1, 1), text, "reversed"));
        QTRY_VERIFY_WITH_TIMEOUT(label.FlashPhase(), 10000);
        QVERIFY(PixelIs(label.grab().toImage(), QPoint(1, 1), back, "plain phase"));
        QTRY_VERIFY_WITH_TIMEOUT(!label.FlashPhase(), 10000);
        QVERIFY(PixelIs(label.grab().toImage(), QPoint(1, 1), text, "reversed again"));
        label.FlashBackground(false);
        QVERIFY(PixelIs(label.grab().toImage(), QPoint(1, 1), back, "stopped"));
        QCOMPARE(label.CurrentTextColour(), QColor(250, 250, 0));
    }

    void linkLabelShowsItsFocus() {
        QWidget form;
        auto* plain = new QLineEdit(&form);
        auto* link = new CLabel(&form);
        link->setGeometry(0, 40, 120, 20);
        link->SetText(QStringLiteral("example.org")).SetBkColor(QColor(0, 0, 0)).SetTextColor(QColor(0, 200, 0));
        link->SetLink(true, false);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        plain->setFocus();
        QTRY_VERIFY(plain->hasFocus());
        const QImage without = link->grab().toImage();
        QTest::keyClick(plain, Qt::Key_Tab);
        QTRY_VERIFY(link->hasFocus());
        const QImage with = link->grab().toImage();
        // A frame round the label: its edge rows show the mark, in the text's colour.
        int marked = 0;
        for (int x = 0; x < with.width(); ++x)
            if ((with.pixel(x, 0) & 0xFFFFFF) == 0x00C800 && (without.pixel(x, 0) & 0xFFFFFF) == 0) ++marked;
        if (marked < with.width() / 4) {
            SaveFailureImage(with, "focused");
            QFAIL("no focus mark on the link");
        }
    }

    void labelFontSize() {
        // Points at 96 dpi; the label's own font, drawn at that size.
        const std::pair<int, int> sizes[] = {{8, 11}, {9, 12}, {10, 13}, {12, 16}, {72, 96}};
        for (auto [points, pixels] : sizes) {
            CLabel label;
            CLabel& same = label.SetFontSize(points);
            QCOMPARE(&same, &label);
            QCOMPARE(label.font().pixelSize(), pixels);
        }
        CLabel small, large;
        for (CLabel* l : {&small, &large}) {
            l->resize(200, 60);
            l->SetBkColor(Qt::black).SetTextColor(Qt::white).SetText(QStringLiteral("HHH"));
        }
        small.SetFontSize(8).SetFontBold(true);
        large.SetFontSize(24);
        QCOMPARE(large.font().weight(), QFont::Normal);
        QCOMPARE(small.font().weight(), QFont::Bold);  // the size kept the other font values
        const QRect a = Ink(small.grab().toImage()), b = Ink(large.grab().toImage());
        QVERIFY(!a.isEmpty() && !b.isEmpty());
        QVERIFY2(b.height() >= 2 * a.height(), qPrintable(QStringLiteral("%1 vs %2").arg(b.height()).arg(a.height())));
    }

    void labelRotation() {
        CLabel label;
        label.resize(160, 160);
        label.SetBkColor(Qt::black).SetTextColor(Qt::white).SetFontSize(14).SetText(QStringLiteral("HHHHHH"));
        const QPoint centre = label.contentsRect().center();
        // Unrotated: a word across, left-aligned at the top.
        const QRect flat = Ink(label.grab().toImage());
        QVERIFY(flat.width() > flat.height());
        QVERIFY(flat.top() < centre.y() - 10);
        // At 0 degrees with rotation on, the baseline is centred in the label.
        label.SetRotationAngle(0, true);
        const QRect level = Ink(label.grab().toImage());
        QVERIFY2(std::abs(level.bottom() - centre.y()) <= 1, qPrintable(QString::number(level.bottom())));
        QVERIFY2(std::abs(level.center().x() - centre.x()) <= 2, qPrintable(QString::number(level.center().x())));
        // At 90 degrees the word reads upwards, its baseline the vertical
        // line through the centre and the letters on its left.
        label.SetRotationAngle(90, true);
        const QRect up = Ink(label.grab().toImage());
        QVERIFY(up.height() > up.width());
        QVERIFY(std::abs(up.height() - level.width()) <= 2);
        QVERIFY2(std::abs(up.right() - centre.x()) <= 1, qPrintable(QString::number(up.right())));
        QVERIFY2(std::abs(up.center().y() - centre.y()) <= 2, qPrintable(QString::number(up.center().y())));
        // Rotation off again: back across.
        label.SetRotationAngle(90, false);
        QCOMPARE(Ink(label.grab().toImage()), flat);
    }

    void labelGradientAnd3D() {
        CLabel label;
        label.resize(300, 30);
        label.SetBkColor(QColor(0, 0, 0), QColor(200, 100, 0), true);
        const QImage img = label.grab().toImage();
        QSet<QRgb> bands;
        for (int x = 0; x < img.width(); ++x) bands.insert(img.pixel(x, 2));
        QVERIFY(bands.size() <= CLabel::kMaxGradientSteps);
        QVERIFY(bands.size() > 50);
        QVERIFY(PixelIs(img, QPoint(0, 2), 0x000000, "gradient-start"));
        QVERIFY(PixelIs(img, QPoint(299, 2), 0xC86400, "gradient-end"));
        // 3-D text draws a highlight beside the text.
        CLabel plain, raised;
        for (CLabel* l : {&plain, &raised}) {
            l->resize(120, 30);
            l->SetBkColor(Qt::black).SetTextColor(Qt::white).SetText(QStringLiteral("Tonquil"));
        }
        raised.SetHighlightColor(Qt::red).SetText3D(true, 1);
        const QImage a = plain.grab().toImage(), b = raised.grab().toImage();
        bool red = false;
        for (int y = 0; y < b.height(); ++y)
            for (int x = 0; x < b.width(); ++x) red |= QColor(b.pixel(x, y)).red() > 200 && QColor(b.pixel(x, y)).green() < 60;
        QVERIFY(red);
        QVERIFY(a != b);
    }
};

QTEST_MAIN(SkinNoticeTest)
#include "SkinNoticeTest.moc"
