// What assistive tools hear from the skinned controls, caught with an
// accessibility update handler. Qt passes events on only while a screen
// reader listens, so this runs on the X server of the private environment
// with its accessibility bus switched on (never on the user's own session).
#include "desktop/controls/CShowTime.h"
#include "desktop/controls/KAnimatedPopup.h"
#include "desktop/controls/KButton.h"
#include "desktop/controls/KButtonSkin.h"
#include "desktop/controls/KPopupManager.h"
#include "desktop/controls/KScrollButtonSkin.h"
#include "desktop/controls/KShowPercentsCtrl.h"

#include <QAccessible>
#include <QApplication>
#include <QProcess>
#include <QTest>

#include <cstdio>
#include <functional>
#include <vector>

class SkinAccessibleXvfbTest : public QObject {
    Q_OBJECT
private slots:
    void accessibilityEvents() {
        // What assistive tools are told, caught as they would get it.
        struct Heard {
            QObject* object;
            QAccessible::Event type;
            QVariant value;
            bool checked;
        };
        static std::vector<Heard> heard;
        heard.clear();
        const QAccessible::UpdateHandler previous = QAccessible::installUpdateHandler([](QAccessibleEvent* e) {
            Heard h{e->object(), e->type(), {}, false};
            if (e->type() == QAccessible::ValueChanged) h.value = static_cast<QAccessibleValueChangeEvent*>(e)->value();
            if (e->type() == QAccessible::StateChanged)
                h.checked = static_cast<QAccessibleStateChangeEvent*>(e)->changedStates().checked;
            heard.push_back(h);
        });
        struct Restore {
            QAccessible::UpdateHandler handler;
            ~Restore() { QAccessible::installUpdateHandler(handler); }
        } restore{previous};
        // The events of one kind that reached one object (moves and the
        // like, which Qt reports itself, are left aside).
        auto take = [](QObject* o, QAccessible::Event type) {
            std::vector<Heard> mine;
            for (const Heard& h : heard)
                if (h.object == o && h.type == type) mine.push_back(h);
            heard.clear();
            return mine;
        };

        QWidget dialog;
        CShowTime time(&dialog);
        time.setAccessibleName(QStringLiteral("Play position"));
        KShowPercentsCtrl percent(&dialog);
        KScrollButtonSkin thumb(&dialog);
        thumb.setGeometry(10, 50, 10, 14);
        thumb.Attach(335);
        thumb.SetRange(10000);
        thumb.SetBounds(0, 10000);
        KButtonSkin latching(&dialog), plain(&dialog);
        latching.SetStyle(KButton::kStyleLatching);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        heard.clear();

        struct ValueCase {
            const char* what;
            std::function<void()> change;
            QObject* object;
            QVariant value;  // invalid: nothing is heard
        };
        KTimecode t;
        const ValueCase cases[] = {
            {"time shown", [&] { t.AssignMilliseconds(3723000); time.SetTime(t); }, &time, QStringLiteral("01:02:03")},
            {"same seconds", [&] { t.AssignMilliseconds(3723450); time.SetTime(t); }, &time, QVariant()},
            {"percentage", [&] { percent.SetPercent(7); }, &percent, QStringLiteral("7%")},
            {"same percentage", [&] { percent.SetPercent(7); }, &percent, QVariant()},
            {"slider moved", [&] { thumb.SetValue(5000); }, &thumb, qint64(5000)},
            {"slider kept", [&] { thumb.SetValue(5000); }, &thumb, QVariant()},
        };
        for (const ValueCase& c : cases) {
            c.change();
            const auto mine = take(c.object, QAccessible::ValueChanged);
            if (!c.value.isValid()) {
                QVERIFY2(mine.empty(), c.what);
                continue;
            }
            QVERIFY2(mine.size() == 1, qPrintable(QStringLiteral("%1: %2 heard").arg(c.what).arg(mine.size())));
            QVERIFY2(mine[0].value == c.value, qPrintable(QString(c.what) + ": " + mine[0].value.toString()));
        }
        // The display is named for what it shows; the figure is its value.
        QAccessibleInterface* d = QAccessible::queryAccessibleInterface(&time);
        QCOMPARE(d->text(QAccessible::Name), QStringLiteral("Play position"));
        QCOMPARE(d->text(QAccessible::Value), QStringLiteral("01:02:03"));

        // A latch and its release are state changes of "checked"; a plain
        // click changes no latch.
        for (int i = 0; i < 2; ++i) {
            latching.Click();
            const auto mine = take(&latching, QAccessible::StateChanged);
            QVERIFY(mine.size() == 1 && mine[0].checked);
            QCOMPARE(latching.IsLatched(), i == 0);
        }
        plain.Click();
        QVERIFY(take(&plain, QAccessible::StateChanged).empty());
        // A toggle's new face is a new name.
        plain.SetText(QStringLiteral("Pause"));
        QCOMPARE(take(&plain, QAccessible::NameChanged).size(), size_t(1));
        plain.SetText(QStringLiteral("Pause"));
        QVERIFY(take(&plain, QAccessible::NameChanged).empty());

        // A notice is an alert.
        KPopupManager manager(600000, 2);
        KAnimatedPopup* notice = manager.ShowPopup(QStringLiteral("The disk is almost full"));
        QCOMPARE(take(notice, QAccessible::Alert).size(), size_t(1));
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") || qgetenv("TONQUIL_TESTENV") != "1") {
        std::puts("SKIP: needs the X display and the private bus of scripts/testenv");
        return 77;
    }
    // A screen reader's switch: the accessibility bus says it is enabled.
    const int rc = QProcess::execute(QStringLiteral("busctl"),
                                     {QStringLiteral("--user"), QStringLiteral("set-property"), QStringLiteral("org.a11y.Bus"),
                                      QStringLiteral("/org/a11y/bus"), QStringLiteral("org.a11y.Status"),
                                      QStringLiteral("IsEnabled"), QStringLiteral("b"), QStringLiteral("true")});
    QApplication app(argc, argv);
    QWidget probe;
    probe.show();
    if (rc != 0 || !QTest::qWaitFor([] { return QAccessible::isActive(); }, 30000)) {
        std::puts("SKIP: the accessibility bus did not come up (at-spi2-core missing?)");
        return 77;
    }
    SkinAccessibleXvfbTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "SkinAccessibleXvfbTest.moc"
