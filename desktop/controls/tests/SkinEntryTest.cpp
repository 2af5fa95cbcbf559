// The time and percentage displays and the time-code entry field, by key
// and mouse.
#include "desktop/controls/tests/support/PaintCounter.h"
#include "desktop/controls/tests/support/SkinTestUtil.h"

#include "desktop/controls/CShowTime.h"
#include "desktop/controls/CShowTimeBckg.h"
#include "desktop/controls/KShowPercentsCtrl.h"
#include "desktop/controls/KSkinManifest.h"
#include "desktop/controls/KSkinResources.h"
#include "desktop/controls/KTimecodeCtrl.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>

namespace {

const std::vector<int> kSmallDigits = {298, 299, 301, 302, 303, 304, 305, 306, 307, 297, 308};

KTimecode Tc(int h, int m, int s, int f) {
    KTimecode t;
    t.Set(static_cast<BYTE>(h), static_cast<BYTE>(m), static_cast<BYTE>(s), static_cast<BYTE>(f));
    return t;
}

// True when the digit bitmap `id` stands at x in the image (all its probes).
bool DigitAt(const QImage& img, int x, int id) {
    for (const SSkinProbe& p : KSkinManifest::Probes(id))
        if ((img.pixel(p.at + QPoint(x, 0)) & 0xFFFFFF) != p.rgb) return false;
    return true;
}

}  // namespace

class SkinEntryTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { KTimecode::SetRateMode(KTimecode::kHundredthsMode); }

    void percentShowsBothDigits() {
        KShowPercentsCtrl pc;
        pc.resize(24, 14);
        pc.SetBitmaps(LoadSkinPixmaps(std::vector<int>(kSmallDigits.begin(), kSmallDigits.begin() + 10)));
        pc.SetPercent(7);
        const QImage img = pc.grab().toImage();
        const int w0 = KSkinManifest::BitmapSize(298).width();
        if (!DigitAt(img, 0, 298) || !DigitAt(img, w0 + 3, 306)) {
            SaveFailureImage(img, "percent");
            QFAIL("07 is not shown");
        }
        QCOMPARE(pc.Text(), QStringLiteral("7%"));
    }

    void displaysRedrawOnlyOnChange() {
        CShowTime t;
        t.resize(80, 14);
        t.SetBitmaps(LoadSkinPixmaps(kSmallDigits));
        KShowPercentsCtrl pc;
        pc.resize(24, 14);
        t.show();
        pc.show();
        QVERIFY(QTest::qWaitForWindowExposed(&t));
        QVERIFY(QTest::qWaitForWindowExposed(&pc));
        t.SetTime(Tc(1, 2, 3, 0));
        pc.SetPercent(40);
        QTRY_COMPARE(t.Text(), QStringLiteral("01:02:03"));
        QApplication::processEvents();
        PaintCounter timePaints(&t), percentPaints(&pc);
        // A poll every 100 ms for 10 s with unchanged values: 100 calls.
        for (int i = 0; i < 100; ++i) {
            t.SetTime(Tc(1, 2, 3, i % 100));  // only the hundredths differ
            pc.SetPercent(40);
            QApplication::processEvents();
        }
        QCOMPARE(timePaints.count, 0);
        QCOMPARE(percentPaints.count, 0);
        t.SetTime(Tc(1, 2, 4, 0));
        QTRY_VERIFY(timePaints.count > 0);
    }

    void timeDigitsAndColons() {
        CShowTimeBckg t;
        t.resize(92, 20);
        t.SetBitmaps(LoadSkinPixmaps(kSmallDigits));
        t.SetBackground(QPixmap::fromImage(LoadSkinBitmap(512)));
        t.SetMargins(8, 4);
        t.SetTime(Tc(12, 34, 56, 78));
        const QImage img = t.grab().toImage();
        // Digits 8 px wide, colons 2 px, each item 3 px after the previous.
        const int digitIds[] = {299, 301, 302, 303, 304, 305};
        const int xs[] = {8, 19, 35, 46, 62, 73};
        for (int i = 0; i < 6; ++i) {
            QImage digits = img.copy(0, 4, img.width(), 12);
            if (!DigitAt(digits, xs[i], digitIds[i])) {
                SaveFailureImage(img, QStringLiteral("digit%1").arg(i));
                QFAIL("digit misplaced");
            }
        }
        // The colon's top dot, centred against the digit height (12 vs 6).
        const SSkinProbe colon = KSkinManifest::Probes(308).front();
        QVERIFY(PixelIs(img, QPoint(30, 4 + 3) + colon.at, colon.rgb, "colon"));
        // The background shows where nothing is drawn.
        QVERIFY(PixelIs(img, QPoint(1, 1), KSkinManifest::Probes(512).front().rgb, "background"));
    }

    void typingIntoFields() {
        struct Case {
            const char* name;
            QString start;
            KTimecodeCtrl::Field field;
            QString keys;  // digits, or u/d for Up/Down
            QString expected;
        };
        const Case cases[] = {
            {"1, 2, 3 into minutes", "00:00:00.00", KTimecodeCtrl::kMinutes, "123", "00:23:00.00"},
            {"7 after 59 minutes", "00:59:00.00", KTimecodeCtrl::kMinutes, "7", "00:07:00.00"},
            {"up on 59 seconds", "00:00:59.00", KTimecodeCtrl::kSeconds, "u", "00:01:00.00"},
            {"down on hours 00", "00:10:00.00", KTimecodeCtrl::kHours, "d", "99:10:00.00"},
            {"up on the largest value", "99:59:59.99", KTimecodeCtrl::kHundredths, "u", "00:00:00.00"},
            {"hours take 99", "00:00:00.00", KTimecodeCtrl::kHours, "99", "99:00:00.00"},
            {"hundredths", "00:00:00.00", KTimecodeCtrl::kHundredths, "57", "00:00:00.57"},
        };
        for (const Case& c : cases) {
            KTimecodeCtrl edit;
            KTimecode start;
            const QStringList parts = c.start.split(QRegularExpression("[:.]"));
            start.Set(parts[0].toInt(), parts[1].toInt(), parts[2].toInt(), parts[3].toInt());
            edit.SetTimecode(start, false, true);
            edit.show();
            QVERIFY(QTest::qWaitForWindowExposed(&edit));
            edit.SelectField(c.field);
            int changed = 0;
            connect(&edit, &KTimecodeCtrl::notify, this, [&](int code) { changed += code == KTimecodeCtrl::kKeyChanged; });
            for (QChar k : c.keys) {
                if (k == 'u') QTest::keyClick(&edit, Qt::Key_Up);
                else if (k == 'd') QTest::keyClick(&edit, Qt::Key_Down);
                else QTest::keyClick(&edit, static_cast<Qt::Key>(Qt::Key_0 + k.digitValue()));
            }
            QVERIFY2(edit.text() == c.expected, qPrintable(QString(c.name) + ": " + edit.text()));
            QCOMPARE(changed, c.keys.size());
            QCOMPARE(edit.FieldAtCaret(), c.field);  // the field stays selected
            QCOMPARE(edit.selectedText().size(), 2);
        }
    }

    void arrowsMoveBetweenFields() {
        KTimecodeCtrl edit;
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        edit.SelectField(KTimecodeCtrl::kHours);
        QTest::keyClick(&edit, Qt::Key_Left);
        QCOMPARE(edit.FieldAtCaret(), KTimecodeCtrl::kHours);
        for (auto f : {KTimecodeCtrl::kMinutes, KTimecodeCtrl::kSeconds, KTimecodeCtrl::kHundredths,
                       KTimecodeCtrl::kHundredths}) {
            QTest::keyClick(&edit, Qt::Key_Right);
            QCOMPARE(edit.FieldAtCaret(), f);
        }
        QCOMPARE(edit.selectedText(), QStringLiteral("00"));
    }

    void textNeverDiffersFromTheValue() {
        QWidget form;
        auto* edit = new KTimecodeCtrl(&form);
        auto* next = new QLineEdit(&form);
        next->move(0, 40);
        KTimecode v;
        v.AssignMilliseconds(5LL * 3600000 + 1234);
        edit->SetTimecode(v, true, true);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        edit->setFocus();
        QTRY_VERIFY(edit->hasFocus());
        const QString shown = edit->text();
        QCOMPARE(shown, QStringLiteral("05:00:01.23"));
        edit->SelectField(KTimecodeCtrl::kSeconds);
        for (auto key : {Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_A, Qt::Key_Colon, Qt::Key_Insert, Qt::Key_Space})
            QTest::keyClick(edit, key);
        QCOMPARE(edit->text(), shown);
        QApplication::clipboard()->setText(QStringLiteral("junk \U0001F600"));
        QTest::keySequence(edit, QKeySequence::Paste);
        edit->paste();
        QCOMPARE(edit->text(), shown);
        edit->selectAll();
        edit->cut();
        QCOMPARE(edit->text(), shown);
        edit->undo();
        edit->insert(QStringLiteral("12"));
        QCOMPARE(edit->text(), shown);
        QTest::keySequence(edit, QKeySequence::Undo);
        QCOMPARE(edit->text(), shown);
        QCOMPARE(edit->GetTimecode().ToMilliseconds(), 5LL * 3600000 + 1230);
        // Tab still moves the focus on.
        QTest::keyClick(edit, Qt::Key_Tab);
        QTRY_VERIFY(next->hasFocus());
    }

    void aFieldWithoutValueTakesNoText() {
        // Outside the hundredths mode a value can be "none": its field shows
        // nothing, and text that bypasses the keys (a middle-click paste, an
        // insert) is put back to nothing, not left standing.
        struct ModeGuard {
            ~ModeGuard() { KTimecode::SetRateMode(KTimecode::kHundredthsMode); }
        } guard;
        KTimecode::SetRateMode(1);
        KTimecodeCtrl edit;
        QVERIFY(edit.GetTimecode().IsInvalid());
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        QCOMPARE(edit.text(), QString());
        edit.insert(QStringLiteral("junk text"));
        QCOMPARE(edit.text(), QString());
        QApplication::clipboard()->setText(QStringLiteral("12:34"));
        edit.paste();
        QCOMPARE(edit.text(), QString());
        QVERIFY(edit.GetTimecode().IsInvalid());
        // A digit typed into the empty field (its caret in the hours) gives
        // it a value; text pasted then goes too.
        QTest::keyClick(&edit, Qt::Key_4);
        QCOMPARE(edit.text(), QStringLiteral("04:00:00.00"));
        edit.insert(QStringLiteral("junk"));
        QCOMPARE(edit.text(), QStringLiteral("04:00:00.00"));
        // Made "none" again, the field empties.
        KTimecode none;
        none.SetInvalid(true);
        edit.SetTimecode(none, false, true);
        QCOMPARE(edit.text(), QString());
    }

    void readOnlyAndClicks() {
        KTimecodeCtrl edit;
        edit.resize(120, 24);
        edit.SetReadOnlyField(true);
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        edit.SelectField(KTimecodeCtrl::kMinutes);
        QTest::keyClick(&edit, Qt::Key_5);
        QTest::keyClick(&edit, Qt::Key_Up);
        QCOMPARE(edit.text(), QStringLiteral("00:00:00.00"));
        QTest::keyClick(&edit, Qt::Key_Right);
        QCOMPARE(edit.FieldAtCaret(), KTimecodeCtrl::kSeconds);
        // Not read-only: a click selects the field under the caret.
        edit.SetReadOnlyField(false);
        edit.setCursorPosition(0);
        const int x = QFontMetrics(edit.font()).horizontalAdvance(QStringLiteral("00:00:0")) + 4;
        QTest::mouseClick(&edit, Qt::LeftButton, {}, QPoint(x, edit.height() / 2));
        QCOMPARE(edit.FieldAtCaret(), KTimecodeCtrl::kSeconds);
        QCOMPARE(edit.selectedText().size(), 2);
    }
};

QTEST_MAIN(SkinEntryTest)
#include "SkinEntryTest.moc"
