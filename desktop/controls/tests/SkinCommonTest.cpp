// Sticky dialogs, the coloured list header, dialog fonts, the folder
// browser, wide strings, and what a screen reader reads from the controls.
#include "desktop/controls/tests/support/PointerInput.h"
#include "desktop/controls/tests/support/SkinTestUtil.h"

#include "desktop/controls/CColorListCtrl.h"
#include "desktop/controls/CLabel.h"
#include "desktop/controls/CShowTime.h"
#include "desktop/controls/KAnimatedPopup.h"
#include "desktop/controls/KButton.h"
#include "desktop/controls/KButtonSkin.h"
#include "desktop/controls/KDialogFont.h"
#include "desktop/controls/KFolderBrowser.h"
#include "desktop/controls/KPopupManager.h"
#include "desktop/controls/KScrollButtonSkin.h"
#include "desktop/controls/KSkinMetrics.h"
#include "desktop/controls/KStickyManualSkinDlg.h"
#include "desktop/controls/KTabOrder.h"
#include "desktop/controls/KTabOrderKeeper.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <climits>
#include <functional>
#include <vector>

namespace {

struct Sticky : KStickyManualSkinDlg {
    int snaps = 0;
    QRect mainSeen;
    bool handle = false;
    std::vector<QRect> offered;
    Sticky() {
        SetResizable(true);
        setGeometry(100, 100, 300, 200);
    }
    void SnapTo(QRect& own, const QRect& main, bool) override {
        ++snaps;
        mainSeen = main;
        own.moveTopLeft(main.topRight());
        setGeometry(own);
    }
    bool UpdateStuck(const QRect& r) override {
        offered.push_back(r);
        return handle;
    }
};

}  // namespace

class SkinCommonTest : public QObject {
    Q_OBJECT
private slots:
    void stickyDialogs() {
        {
            Sticky d;
            d.StickToMain(true);  // no main window yet: nothing
            QCOMPARE(d.snaps, 0);
            QWidget main;
            main.setGeometry(10, 20, 50, 60);
            GetSkinBitmaps().SetMainWindow(&main);
            d.StickToMain(true);
            QCOMPARE(d.snaps, 1);
            QCOMPARE(d.mainSeen, main.frameGeometry());
            QCOMPARE(d.pos(), main.frameGeometry().topRight());
            GetSkinBitmaps().SetMainWindow(nullptr);
        }
        // Sized below the minimum, it stops at exactly the minimum.
        Sticky d;
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        const QSize min = d.MinimumSkinSize();
        const QPoint grip(297, 197);
        PressLeft(&d, grip);
        d.DragSize(grip - QPoint(1000, 1000));
        QCOMPARE(d.size(), min);
        QCOMPARE(d.offered.back().size(), min);
        d.DragSizeEdge(QPoint(5000, 197));
        QCOMPARE(d.width(), min.width());
        QCOMPARE(d.geometry().right(), 100 + min.width() - 1);  // the right side stayed put
        ReleaseLeft(&d, grip);
        // A subclass that handles the move itself: the window stays.
        d.handle = true;
        const QPoint before = d.pos();
        Drag(&d, {20, 10}, {60, 30});
        QCOMPARE(d.pos(), before);
        QCOMPARE(d.offered.back().topLeft(), before + QPoint(40, 20));
        d.handle = false;
        Drag(&d, {20, 10}, {60, 30});
        QCOMPARE(d.pos(), before + QPoint(40, 20));
    }

    void headerColours() {
        CColorListCtrl list;
        list.setColumnCount(2);
        list.setHeaderLabels({QStringLiteral("NAME"), QStringLiteral("START AT")});
        list.header()->resizeSection(0, 100);
        list.header()->resizeSection(1, 70);
        list.resize(400, 200);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        const QImage img = list.header()->grab().toImage();
        const QRgb red = CColorHeaderCtrl::kBackground.rgb() & 0xFFFFFF;
        QVERIFY(PixelIs(img, QPoint(2, 2), red, "section"));
        QVERIFY(PixelIs(img, QPoint(150, 2), red, "second-section"));
        QVERIFY(PixelIs(img, QPoint(img.width() - 3, img.height() / 2), red, "empty-area"));
        bool white = false;
        for (int x = 0; x < 100; ++x)
            for (int y = 0; y < img.height(); ++y) white |= (img.pixel(x, y) & 0xFFFFFF) == 0xFFFFFF;
        QVERIFY(white);  // the heading's text
    }

    void rowColours() {
        const QColor back(10, 60, 20), rows(111, 24, 34);
        CColorListCtrl list;
        list.SetBkColor(back);
        list.SetTextBkColor(rows);
        list.SetTextColor(Qt::white);
        list.setColumnCount(4);
        list.setHeaderLabels({QStringLiteral("NAME"), QStringLiteral("START AT"), QStringLiteral("STOP AT"),
                              QStringLiteral("DURATION")});
        for (int c = 0; c < 4; ++c) list.setColumnWidth(c, c == 0 ? 100 : 70);
        for (const char* name : {"first", "second", "third"})
            list.addTopLevelItem(new QTreeWidgetItem(QStringList{QString::fromUtf8(name), "00:00:01", "00:00:02", "00:00:01"}));
        list.setSelectionMode(QAbstractItemView::ExtendedSelection);
        list.resize(400, 200);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        // A click on any cell selects its whole row.
        const QRect third = list.visualItemRect(list.topLevelItem(2));
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(260, third.center().y()));
        QCOMPARE(list.selectedItems(), QList<QTreeWidgetItem*>{list.topLevelItem(2)});
        // The selection stays visible while another window has the focus.
        QWidget other;
        other.show();
        other.activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(!list.isActiveWindow(), 30000);
        const QImage img = list.viewport()->grab().toImage();
        const QRect first = list.visualItemRect(list.topLevelItem(0));
        const int y0 = first.center().y(), y2 = third.center().y();
        const QRgb rowRgb = rows.rgb() & 0xFFFFFF, white = 0xFFFFFF;
        QVERIFY(PixelIs(img, QPoint(1, y0), rowRgb, "row-first-column"));
        QVERIFY(PixelIs(img, QPoint(305, y0), rowRgb, "row-last-column"));
        QVERIFY(PixelIs(img, QPoint(1, y2), white, "selected-first-column"));
        QVERIFY(PixelIs(img, QPoint(305, y2), white, "selected-last-column"));
        QVERIFY(PixelIs(img, QPoint(200, img.height() - 2), back.rgb() & 0xFFFFFF, "below-the-rows"));
        // Texts: white on the rows, the rows' colour on the selected one.
        // (Glyphs are smoothed: a pixel near the colour is enough.)
        auto has = [&](int y, QRgb rgb) {
            for (int x = CColorListCtrl::kTextMargin; x < 90; ++x)
                for (int dy = -4; dy <= 4; ++dy) {
                    const QRgb p = img.pixel(x, y + dy);
                    if (std::abs(qRed(p) - qRed(rgb)) + std::abs(qGreen(p) - qGreen(rgb)) + std::abs(qBlue(p) - qBlue(rgb)) < 90)
                        return true;
                }
            return false;
        };
        const bool texts = has(y0, white) && has(y2, rowRgb);
        if (!texts) SaveFailureImage(img, "texts");
        QVERIFY(texts);
    }

    void dialogFonts() {
        // Sizes in points to pixel heights at 96 dpi.
        // Sizes beyond 400 points are cut to 400 (533 pixels); the smallest
        // int is negated without overflow (UBSan checks it).
        const std::pair<int, int> heights[] = {{8, -11},        {10, -13},        {0, 0},          {-8, -11},
                                               {400, -533},     {401, -533},      {32767, -533},   {32768, -533},
                                               {40000, -533},   {-32768, -533},   {INT_MIN, 0},    {INT_MAX, -1},
                                               {-65544, -11},   {INT_MIN + 1, -1}};
        for (auto [points, height] : heights)
            QVERIFY2(KDialogFont::PixelHeight(points, 96) == height,
                     qPrintable(QStringLiteral("%1 points: %2").arg(points).arg(KDialogFont::PixelHeight(points, 96))));
        QCOMPARE(KDialogFont::PixelHeight(8, INT_MAX), -267);  // at 2400 dpi
        QCOMPARE(KDialogFont::PixelHeight(8, INT_MIN), 0);
        // Fonts made from any height stay within those bounds.
        for (int pixels : {INT_MIN, -1, 0, 7, INT_MAX})
            QVERIFY(KDialogFont::MakeFont(QStringLiteral("Tahoma"), pixels, 400, false).pixelSize() <=
                    -KDialogFont::PixelHeight(KDialogFont::kMaxPointSize, KDialogFont::kMaxDpi));

        // A template without a font is laid out in 8-point "Tahoma" (DejaVu Sans here).
        SDialogTemplate t;
        t.id = 9001;
        t.size = QSize(100, 40);
        t.items = {{11, QRect(4, 8, 40, 12)}};
        KDialogFont::RegisterTemplate(t);
        QWidget window;
        auto* child = new QLabel(&window);
        child->setProperty(kControlIdProperty, 11);
        KDialogFont font;
        QVERIFY(font.Apply(&window, 9001));
        QCOMPARE(font.Font().family(), QStringLiteral("DejaVu Sans"));
        QCOMPARE(font.Font().pixelSize(), 11);
        const QSize base = KDialogFont::BaseUnits(font.Font());
        QVERIFY(base.width() > 3 && base.height() > 8);
        QCOMPARE(window.size(), KDialogFont::ToPixels(QRect(0, 0, 100, 40), base).size());
        QCOMPARE(child->geometry(), KDialogFont::ToPixels(QRect(4, 8, 40, 12), base));
        QCOMPARE(child->font().pixelSize(), 11);
        QVERIFY(!font.Apply(&window, 424242));
    }

    void folderBrowser() {
        const std::pair<QString, bool> paths[] = {
            {"/home/user/music", true}, {"/", true}, {"//server/share", false}, {"smb://server/share", false},
            {"sftp://host/dir", false}, {"relative/dir", false}, {"", false}, {"file:///tmp", false},
        };
        for (const auto& [path, ok] : paths) QVERIFY2(IsLocalFolderPath(path) == ok, qPrintable(path));

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        int reported = 0;
        const KErrorReporter report = [&](QWidget*, const QString& caption, const QString& text) {
            reported += caption == "Error" && text == "Failed get directory";
        };
        // The user chooses a local folder.
        bool nonNative = false;
        CWideString chosen = BrowseForFolder(nullptr, QStringLiteral("Cache folder"), true, [&](QFileDialog& d) {
            nonNative = d.testOption(QFileDialog::DontUseNativeDialog);
            d.setDirectory(dir.path());
            d.selectFile(dir.path());
            static_cast<QDialog&>(d).accept();
            return d.result() == QDialog::Accepted;
        }, report);
        QVERIFY(nonNative);
        QCOMPARE(chosen.ToQString(), dir.path());
        // A network path keeps OK disabled and the dialog open.
        bool okEnabled = true;
        chosen = BrowseForFolder(nullptr, QString(), true, [&](QFileDialog& d) {
            d.show();
            emit d.currentChanged(QStringLiteral("//server/share"));
            okEnabled = FolderDialogOkButton(d) && FolderDialogOkButton(d)->isEnabled();
            d.hide();
            return false;
        }, report);
        QVERIFY(!okEnabled);
        QVERIFY(chosen.IsEmpty());
        QCOMPARE(reported, 0);  // cancelling is no failure
    }

    void folderBrowserFailure() {
        // The user chose, but the dialog gives no folder: the failure is
        // reported to the owner as "Failed get directory", with or without
        // validation, and nothing is returned.
        for (bool validate : {true, false}) {
            QWidget owner;
            QStringList reports;
            QWidget* reportedOwner = nullptr;
            const CWideString chosen = BrowseForFolder(&owner, QStringLiteral("Cache folder"), validate, [](QFileDialog& d) {
                d.setDirectory(QString());
                d.selectFile(QString());
                return true;
            }, [&](QWidget* o, const QString& caption, const QString& text) {
                reportedOwner = o;
                reports << caption + QLatin1Char('|') + text;
            });
            QVERIFY(chosen.IsEmpty());
            QCOMPARE(reports, QStringList{QStringLiteral("Error|Failed get directory")});
            QCOMPARE(reportedOwner, &owner);
        }
    }

    void wideStrings() {
        const std::u16string text = u"Müzik \U0001F3B5 日本";
        CWideString s;
        s = text;
        QCOMPARE(s.Length(), text.size());
        const std::string narrow = s.Narrow();
        QCOMPARE(QString::fromStdString(narrow), QString::fromStdU16String(text));
        QVERIFY(narrow.size() > text.size() + 5);  // more than the length plus a little
        s = std::u16string();
        QVERIFY(s.IsEmpty());
        QVERIFY(s.Narrow().empty());
    }

    void accessibility() {
        QWidget dialog;
        auto* item = new QLabel(QStringLiteral("Always on top"), &dialog);
        item->setProperty(kControlIdProperty, 1012);
        KButtonSkin button;
        const int ids[] = {236, 237, 237, 239};
        QVERIFY(InitSkinButton(&dialog, button, 1012, ids, 4));
        button.SetStyle(KButton::kStyleLatching);
        button.ToolTip().SetText(QStringLiteral("Keep the window above others"));
        KScrollButtonSkin thumb(&dialog);
        thumb.setGeometry(10, 50, 10, 14);
        thumb.Attach(335);
        thumb.SetRange(7200000);
        thumb.SetBounds(0, 7200000);
        thumb.SetValue(3600000);
        CShowTime time(&dialog);
        KTimecode t;
        t.AssignMilliseconds(3723000);
        time.SetTime(t);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        QAccessibleInterface* b = QAccessible::queryAccessibleInterface(&button);
        QVERIFY(b);
        QCOMPARE(b->role(), QAccessible::Button);
        QCOMPARE(b->text(QAccessible::Name), QStringLiteral("Always on top"));
        QCOMPARE(b->text(QAccessible::Description), QStringLiteral("Keep the window above others"));
        QVERIFY(b->state().checkable);
        QVERIFY(!b->state().checked);
        int commands = 0;
        connect(&button, &KWndSkin::command, this, [&] { ++commands; });
        b->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QVERIFY(b->state().checked);  // latched
        QTRY_COMPARE(commands, 1);
        button.setEnabled(false);
        QVERIFY(b->state().disabled);

        QAccessibleInterface* s = QAccessible::queryAccessibleInterface(&thumb);
        QCOMPARE(s->role(), QAccessible::Slider);
        QAccessibleValueInterface* v = s->valueInterface();
        QVERIFY(v);
        QCOMPARE(v->currentValue().toLongLong(), 3600000);
        QCOMPARE(v->maximumValue().toLongLong(), 7200000);
        QCOMPARE(s->text(QAccessible::Value), QStringLiteral("01:00:00:000"));
        v->setCurrentValue(qint64(7200000 + 5));
        QCOMPARE(thumb.GetValue(), 7200000);

        QAccessibleInterface* d = QAccessible::queryAccessibleInterface(&time);
        QCOMPARE(d->role(), QAccessible::StaticText);
        QCOMPARE(d->text(QAccessible::Value), QStringLiteral("01:02:03"));

        CLabel link(&dialog);
        link.SetText(QStringLiteral("example.org")).SetLink(true, false);
        QStringList opened;
        link.SetOpener([&](const QUrl& url) { opened << url.host(); return true; });
        QAccessibleInterface* l = QAccessible::queryAccessibleInterface(&link);
        QCOMPARE(l->role(), QAccessible::Link);
        QCOMPARE(l->text(QAccessible::Name), QStringLiteral("example.org"));
        l->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(opened, QStringList{QStringLiteral("example.org")});

        KPopupManager manager(600000, 2);
        KAnimatedPopup* notice = manager.ShowPopup(QStringLiteral("The cache is almost full"));
        QAccessibleInterface* n = QAccessible::queryAccessibleInterface(notice);
        QCOMPARE(n->role(), QAccessible::AlertMessage);
        QCOMPARE(n->text(QAccessible::Name), QStringLiteral("The cache is almost full"));
    }

    void tabFollowsTheScreen() {
        // Controls made in another order than they stand: Tab reads them row
        // by row, left to right; a hidden placeholder and the inner field of
        // a spin box are not stops of their own; a tall list heads its row.
        struct Place {
            const char* name;
            QRect rect;
        };
        const Place made[] = {{"play", {80, 100, 30, 20}}, {"record", {120, 100, 30, 20}}, {"back", {10, 100, 30, 20}},
                              {"close", {200, 4, 14, 14}}, {"help", {160, 4, 14, 14}}, {"list", {10, 30, 60, 60}},
                              {"spin", {100, 60, 60, 20}}, {"side", {100, 30, 60, 20}}, {"back5", {45, 101, 30, 20}}};
        const QStringList expected = {"help", "close", "list", "side", "spin", "back", "back5", "play", "record"};
        for (bool keeper : {false, true}) {
            QWidget window;
            window.resize(240, 140);
            for (const Place& p : made) {
                QWidget* w = QString(p.name) == "spin" ? static_cast<QWidget*>(new QSpinBox(&window))
                                                         : new QPushButton(QString::fromUtf8(p.name), &window);
                w->setObjectName(QString::fromUtf8(p.name));
                w->setGeometry(p.rect);
            }
            auto* placeholder = new QPushButton(&window);
            placeholder->setGeometry(0, 0, 5, 5);
            placeholder->hide();
            if (keeper) KTabOrderKeeper::Install();
            else SetTabOrderByPlace(&window);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QStringList order;
            QWidget* w = window.findChild<QWidget*>(QStringLiteral("help"));
            w->setFocus();
            QTRY_VERIFY(w->hasFocus());
            // The control that has the focus (a spin box gives it to its field).
            auto focused = [&] {
                QWidget* f = QApplication::focusWidget();
                while (f && !expected.contains(f->objectName())) f = f->parentWidget();
                return f ? f->objectName() : QString();
            };
            for (int i = 0; i < expected.size(); ++i) {
                order << focused();
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            }
            QCOMPARE(order, expected);
            QCOMPARE(focused(), QStringLiteral("help"));  // round again
        }
    }
};

QTEST_MAIN(SkinCommonTest)
#include "SkinCommonTest.moc"
