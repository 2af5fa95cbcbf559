// The playlist window, selection editing, the fine position and saving,
// against the in-memory service with the real playlist object.
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <algorithm>
#include <memory>

#include "desktop/app/CPlayListDlg.h"
#include "desktop/app/CPlayPositionDialog.h"
#include "desktop/app/CSaveSongDlg.h"
#include "desktop/app/CSaveSongProgressDlg.h"
#include "desktop/app/Stragglers.h"
#include "desktop/app/Genres.h"
#include "desktop/app/Strings.h"
#include "desktop/app/tests/support/FakeService.h"
#include "desktop/app/tests/support/TestSeams.h"
#include "desktop/controls/CShowTimeBckg.h"
#include "desktop/controls/KButton.h"
#include "desktop/controls/KButtonSkin.h"
#include "desktop/controls/KDialogFont.h"
#include "desktop/controls/KManualSkinDlg.h"
#include "desktop/controls/KSkinMetrics.h"
#include "desktop/controls/KSkinResources.h"
#include "desktop/controls/KTimecodeCtrl.h"
#include "desktop/controls/KWndSkin.h"
#include "platform/com/Bstr.h"
#include "platform/com/Guid.h"
#include "service/foundation/KTimecode.h"

using namespace parvane;
using namespace parvanetest;

namespace {

QString Braced(const GUID& g) { return QString::fromStdU16String(plat::GuidToString(g)); }

struct Rig {
    TestSeams t;
    plat::ComPtr<FakeService> service{FakeService::CreateInstance()};
    std::unique_ptr<AppCore> core;
    std::unique_ptr<CPlayListDlg> list;
    int ended = -1;

    Rig() {
        core = std::make_unique<AppCore>(t.Make());
        core->controller = service.Get();
        list = std::make_unique<CPlayListDlg>(*core, nullptr);
        list->onEnd = [this](int code) { ended = code; };
    }
    bool Init() {
        bool ok = list->Init();
        service->Calls();
        return ok;
    }
    int Rows() { return list->List()->topLevelItemCount(); }
    QString Text(int row, int column) { return list->List()->topLevelItem(row)->text(column); }
    bool On(int id) { return list->Button(id)->isEnabled(); }
    void Select(std::initializer_list<int> rows) {
        QSignalBlocker block(list->List());
        list->List()->clearSelection();
        for (int r : rows) list->List()->topLevelItem(r)->setSelected(true);
        list->SelectSong(CPlayListDlg::kFromList);
    }
    GUID Current() {
        GUID g = GUID_NULL;
        service->playlist->GetCurrentID(&g);
        return g;
    }
    std::vector<std::string> Calls() { return service->Calls(); }
    plat::ComPtr<ISong> Song(const GUID& id) {
        plat::ComPtr<ISong> song;
        service->playlist->Get(id, song.ReleaseAndGetAddressOf());
        return song;
    }
    plat::ComPtr<IAudioEncoder> Encoder(EEncoderType type) {
        plat::ComPtr<IAudioEncoder> encoder;
        service->CreateNewEncoder(encoder.ReleaseAndGetAddressOf(), type);
        return encoder;
    }
};

}  // namespace

class PlaylistTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { KTimecode::SetRateMode(KTimecode::kHundredthsMode); }
    void guidTexts_data();
    void guidTexts();
    void emptyAndFilledLists();
    void listInTheSkinColours();
    void templateFontAndExtraPart();
    void skinnedButtons_data();
    void controlsAtTheirPlaces_data();
    void controlsAtTheirPlaces();
    void skinnedButtons();
    void buttonsFollowTheSelection();
    void aLeftClickMakesTheRowCurrent();
    void setEndWaitsFourSeconds();
    void songEventsKeepTheRows();
    void deletingRows();
    void editingBorders();
    void renameToEmptyGivesDefault();
    void doubleClickReplaysFromTheSong();
    void contextMenuRules();
    void finePositionDialog();
    void saveDialogFormats();
    void saveDialogChecks();
    void saveProtectsAndReleasesRanges();
    void progressAndCancel();
    void workerOutlivingTheDialog();
    void genres();
};

void PlaylistTest::guidTexts_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::newRow("braced") << "{6DF3FD0A-B148-4341-A361-F690F5E92CAD}" << true;
    QTest::newRow("unbraced") << "6df3fd0a-b148-4341-a361-f690f5e92cad" << true;
    QTest::newRow("short") << "{6DF3FD0A-B148-4341-A361}" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("garbage") << "{zzzzzzzz-b148-4341-a361-f690f5e92cad}" << false;
    QTest::newRow("one brace") << "{6DF3FD0A-B148-4341-A361-F690F5E92CAD" << false;
    QTest::newRow("too long") << "6DF3FD0A-B148-4341-A361-F690F5E92CAD-00" << false;
}

void PlaylistTest::guidTexts() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    GUID g;
    QCOMPARE(GuidFromEventText(text, &g), ok);
    if (ok) QCOMPARE(g, IID_ISong);
}

void PlaylistTest::emptyAndFilledLists() {
    Rig empty;
    QVERIFY(empty.Init());
    QCOMPARE(empty.Rows(), 0);
    QVERIFY(!empty.On(2004));
    QCOMPARE(empty.list->CurrentRow(), -1);
    QCOMPARE(empty.Current(), GUID_NULL);

    Rig r;
    r.service->AddSong(61000, 3723000, u"First");
    r.service->AddSong(5000, 0, u"Open\nended");
    // A title of thousands of characters is shown cut.
    r.service->AddSong(1000, 2000, std::u16string(5000, u'x'));
    QVERIFY(r.Init());
    QCOMPARE(r.Rows(), 3);
    QCOMPARE(r.Text(0, 1), QStringLiteral("00:01:01"));
    QCOMPARE(r.Text(0, 2), QStringLiteral("01:02:03"));
    QCOMPARE(r.Text(0, 3), QStringLiteral("01:01:02"));
    QCOMPARE(r.Text(1, 0), QStringLiteral("Open ended"));
    QCOMPARE(r.Text(1, 2), Str(104));
    QCOMPARE(r.Text(1, 3), Str(104));
    QVERIFY(r.Text(2, 0).size() < 300);
    QVERIFY(r.On(2004));
}

void PlaylistTest::listInTheSkinColours() {
    Rig r;
    r.service->AddSong(1000, 9000, u"Done");
    r.service->AddSong(2000, 0, u"Open");
    QVERIFY(r.Init());
    CColorListCtrl* list = r.list->List();
    QCOMPARE(list->headerItem()->text(0), Str(134));
    QCOMPARE(list->headerItem()->text(3), Str(137));
    for (int c = 0; c < 4; ++c) QCOMPARE(list->columnWidth(c), c == 0 ? 100 : 70);
    QVERIFY(!list->header()->sectionsClickable());
    r.Select({1});
    r.list->show();
    QVERIFY(QTest::qWaitForWindowExposed(r.list.get()));
    // The rows' own colours, without the style's keyboard-focus frame over the current row.
    list->clearFocus();
    const QImage img = list->viewport()->grab().toImage();
    const int right = std::min(img.width(), 310) - 2;
    const int y0 = list->visualItemRect(list->topLevelItem(0)).center().y();
    const int y1 = list->visualItemRect(list->topLevelItem(1)).center().y();
    // Rows on the list's dark red with white text; the selected row whole in white.
    QCOMPARE(QColor(img.pixel(right, y0)), CPlayListDlg::kListBackground);
    QCOMPARE(QColor(img.pixel(1, y1)), QColor(Qt::white));
    QCOMPARE(QColor(img.pixel(right, y1)), QColor(Qt::white));
    QCOMPARE(QColor(img.pixel(2, img.height() - 2)), CPlayListDlg::kListBackground);
    const QImage head = list->header()->grab().toImage();
    QCOMPARE(QColor(head.pixel(head.width() - 2, head.height() / 2)), CColorHeaderCtrl::kBackground);
}

void PlaylistTest::templateFontAndExtraPart() {
    Rig r;
    CPlayListDlg& d = *r.list;
    // "MS Shell Dlg" 8 at 96 dpi, and the window at the template's 200 x 300 units.
    QCOMPARE(d.font().pixelSize(), 11);
    const QSize base = KDialogFont::BaseUnits(d.font());
    QCOMPARE(d.size(), KDialogFont::ToPixels(QRect(0, 0, 200, 300), base).size());
    QCOMPARE(r.list->List()->font().pixelSize(), 11);
    // Bitmap 496 takes the place of the hidden static 2009.
    QCOMPARE(d.ExtraPart().id, 496);
    QCOMPARE(d.ExtraPartRect(), KDialogFont::ToPixels(QRect(19, 6, 54, 7), base));
    QVERIFY(FindDlgItem(&d, CPlayListDlg::kExtraPartMarkId));
    QVERIFY(!FindDlgItem(&d, CPlayListDlg::kExtraPartMarkId)->isVisibleTo(&d));
    const QImage img = d.Compose(d.size()), part = LoadSkinBitmap(496);
    const QPoint probe = d.ExtraPartRect().topLeft() + QPoint(part.width() / 2, part.height() / 2);
    QCOMPARE(img.pixel(probe), part.pixel(part.width() / 2, part.height() / 2));
}

void PlaylistTest::skinnedButtons_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QList<int>>("faces");  // normal, hover, pressed, disabled
    QTest::addColumn<QString>("tip");
    QTest::newRow("add") << 2001 << QList<int>{223, 224, 225, 226} << "Add a new selection";
    QTest::newRow("delete") << 2002 << QList<int>{232, 233, 234, 235} << "Delete selection(s)";
    QTest::newRow("save") << 2003 << QList<int>{228, 229, 230, 231} << "Save selection(s)";
    QTest::newRow("select all") << 2004 << QList<int>{291, 293, 294, 295} << "Select all selections";
    QTest::newRow("set start") << 2005 << QList<int>{187, 188, 189, 190} << "Set start time of the selection";
    QTest::newRow("set end") << 2006 << QList<int>{191, 192, 193, 194} << "Set end time of the selection";
}

void PlaylistTest::skinnedButtons() {
    QFETCH(int, id);
    QFETCH(QList<int>, faces);
    QFETCH(QString, tip);
    Rig r;
    GUID first = r.service->AddSong(10000, 20000, u"A");
    r.service->AddSong(30000, 40000, u"B");
    QVERIFY(r.Init());
    r.list->SelectSong(0);
    r.service->play = 16000;
    r.list->ApplyPosition(16000);
    KButtonSkin* button = r.list->Button(id);
    QVERIFY(button);
    QCOMPARE(r.list->findChild<KButtonSkin*>(QString::number(id)), button);
    QCOMPARE(button->WindowText(), tip);
    QCOMPARE(button->ToolTip().Text(), tip);
    // Each state shows its own face, whole.
    QCOMPARE(button->Skin().StateCount(), 4);
    auto shows = [&](int face) {
        const QImage want = LoadSkinBitmap(face).convertToFormat(QImage::Format_RGB32);
        return button->grab().toImage().convertToFormat(QImage::Format_RGB32) == want;
    };
    QVERIFY(shows(faces[0]));
    button->ModifyState(KButton::kHover, true);
    QVERIFY(shows(faces[1]));
    button->ModifyState(KButton::kPressed, true);
    QVERIFY(shows(faces[2]));
    button->ModifyState(KButton::kPressed | KButton::kHover, false);
    button->setEnabled(false);
    QVERIFY(shows(faces[3]));
    button->setEnabled(true);
    QVERIFY(shows(faces[0]));
    // A click reaches the command: each leaves its own trace.
    r.Calls();
    QTimer closer;  // the save dialog is modal: cancel it once it is up
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->reject();
    });
    closer.start(10);
    std::vector<std::string> seen;
    auto saw = [&](const std::string& call) {
        for (auto& c : r.Calls()) seen.push_back(c);
        return std::any_of(seen.begin(), seen.end(), [&](const std::string& c) { return c.rfind(call, 0) == 0; });
    };
    button->Click();
    plat::ComPtr<ISong> song = r.Song(first);
    ULONG left = 0, right = 0;
    switch (id) {
    case 2001: QTRY_COMPARE_WITH_TIMEOUT(r.Rows(), 3, 20000); break;
    case 2002: QTRY_COMPARE_WITH_TIMEOUT(r.Rows(), 1, 20000); break;
    case 2003: QTRY_VERIFY_WITH_TIMEOUT(saw("SetUndeletableRange"), 20000); break;
    case 2004:
        QTRY_VERIFY_WITH_TIMEOUT(r.list->List()->topLevelItem(1)->isSelected(), 20000);
        QCOMPARE(r.list->CurrentRow(), int(CPlayListDlg::kSeveral));
        break;
    case 2005: QTRY_COMPARE_WITH_TIMEOUT(r.Text(0, 1), QStringLiteral("00:00:16"), 20000); break;
    case 2006:
        QTRY_COMPARE_WITH_TIMEOUT(r.Text(0, 2), QStringLiteral("00:00:16"), 20000);
        song->GetBorders(&left, &right);
        QCOMPARE(right, ULONG(16000));
        break;
    }
}

void PlaylistTest::controlsAtTheirPlaces_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QRect>("units");  // the template's place; empty: the list
    QTest::newRow("list") << 2000 << QRect();
    QTest::newRow("add") << 2001 << QRect(20, 263, 40, 11);
    QTest::newRow("delete") << 2002 << QRect(69, 263, 40, 11);
    QTest::newRow("save") << 2003 << QRect(120, 263, 40, 11);
    QTest::newRow("select all") << 2004 << QRect(168, 263, 48, 11);
    QTest::newRow("set start") << 2005 << QRect(98, 281, 48, 11);
    QTest::newRow("set end") << 2006 << QRect(153, 281, 48, 11);
    QTest::newRow("time") << 2008 << QRect(19, 279, 68, 14);
}

void PlaylistTest::controlsAtTheirPlaces() {
    QFETCH(int, id);
    QFETCH(QRect, units);
    Rig r;
    QVERIFY(r.Init());
    CPlayListDlg& d = *r.list;
    QWidget* control = id == 2000 ? static_cast<QWidget*>(d.List())
                       : id == 2008 ? static_cast<QWidget*>(d.TimeDisplay())
                                    : static_cast<QWidget*>(d.Button(id));
    const QSize first = GetSkinBitmaps().m_listSize;
    const QRect place = KDialogFont::ToPixels(units, KDialogFont::BaseUnits(d.font()));
    // At the first size and at a larger one: the list fills the frame's inside
    // (the playlist's bottom part is bitmap 499), the others keep their
    // template's left and size and their distance to the bottom as at the
    // height of bitmap 511.
    d.resize(first);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    for (const QSize size : {first, first + QSize(90, 70)}) {
        d.resize(size);
        QTRY_COMPARE(d.size(), size);
        if (id == 2000) {
            QCOMPARE(control->geometry(), QRect(9, 42, size.width() - 9 - 9 - 1, size.height() - 42 - 66 - 1));
            QCOMPARE(d.Part(7).id, 499);
        } else {
            QCOMPARE(control->geometry(), place.translated(0, size.height() - first.height()));
            QVERIFY(control->isVisible());
            // Clear of the list.
            QVERIFY(control->y() > d.List()->geometry().bottom());
        }
    }
}

void PlaylistTest::buttonsFollowTheSelection() {
    Rig r;
    r.service->AddSong(1000, 9000, u"Done");
    r.service->AddSong(2000, 0, u"Open");
    QVERIFY(r.Init());
    r.Select({1});
    QCOMPARE(r.list->CurrentRow(), 1);
    QVERIFY(r.On(2002) && r.On(2005) && !r.On(2003));
    r.Select({0, 1});
    QCOMPARE(r.list->CurrentRow(), -2);
    QVERIFY(r.On(2002) && r.On(2003) && !r.On(2005) && !r.On(2006));
    QCOMPARE(r.Current(), GUID_NULL);
    r.Select({});
    QCOMPARE(r.list->CurrentRow(), -1);
    QVERIFY(!r.On(2002) && !r.On(2003));
}

void PlaylistTest::aLeftClickMakesTheRowCurrent() {
    Rig r;
    r.service->AddSong(1000, 9000, u"Done");
    r.service->AddSong(2000, 12000, u"Also done");
    QVERIFY(r.Init());
    r.list->show();
    QVERIFY(QTest::qWaitForWindowExposed(r.list.get()));
    QTreeWidget* tree = r.list->List();
    for (int row : {1, 0}) {
        const QRect place = tree->visualItemRect(tree->topLevelItem(row));
        QVERIFY(!place.isEmpty());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, place.center());
        QCOMPARE(r.list->CurrentRow(), row);
        QVERIFY(r.On(2002) && r.On(2003) && r.On(2005));
    }
}

void PlaylistTest::setEndWaitsFourSeconds() {
    Rig r;
    r.service->AddSong(10000, 0, u"Open");
    QVERIFY(r.Init());
    r.list->SelectSong(0);
    r.list->ApplyPosition(14000);
    QVERIFY(!r.On(2006));
    r.list->ApplyPosition(15000);
    QVERIFY(r.On(2006));
    QCOMPARE(r.list->TimeDisplay()->Text(), QStringLiteral("00:00:15"));
}

void PlaylistTest::songEventsKeepTheRows() {
    Rig r;
    GUID a = r.service->AddSong(1000, 2000, u"A");
    GUID b = r.service->AddSong(3000, 4000, u"B");
    GUID c = r.service->AddSong(5000, 6000, u"C");
    QVERIFY(r.Init());
    r.list->SelectSong(2);
    // A song deleted above the current one: the same song stays current.
    r.service->playlist->Delete(a);
    r.list->OnEvent({ControllerEvent::SongDeleted, Braced(a), 0});
    QCOMPARE(r.Rows(), 2);
    QCOMPARE(r.list->CurrentRow(), 1);
    QCOMPARE(r.Current(), c);
    // Unknown, garbage and short GUIDs change nothing.
    for (QString bad : {QStringLiteral("{00000000-0000-0000-0000-000000000009}"), QStringLiteral("garbage"),
                        QStringLiteral("{}"), QString()})
        r.list->OnEvent({ControllerEvent::SongDeleted, bad, 0});
    QCOMPARE(r.Rows(), 2);
    // The current last row deleted: the row before it becomes current.
    r.service->playlist->Delete(c);
    r.list->OnEvent({ControllerEvent::SongDeleted, Braced(c), 0});
    QCOMPARE(r.list->CurrentRow(), 0);
    QCOMPARE(r.Current(), b);
    // A detected song appears once, even when the event repeats.
    GUID d = r.service->AddSong(7000, 8000, u"D");
    r.list->OnEvent({ControllerEvent::SongDetected, Braced(d), 0});
    r.list->OnEvent({ControllerEvent::SongDetected, Braced(d), 0});
    QCOMPARE(r.Rows(), 2);
    QCOMPARE(r.Text(1, 0), QStringLiteral("D"));
    // A detected song the playlist does not hold adds nothing and says nothing.
    int prompts = int(r.t.prompter.prompts.size());
    r.list->OnEvent({ControllerEvent::SongDetected, QStringLiteral("{00000000-0000-0000-0000-000000000009}"), 0});
    QCOMPARE(r.Rows(), 2);
    QCOMPARE(int(r.t.prompter.prompts.size()), prompts);
    // The only row deleted, then a cleared list.
    r.list->OnEvent({ControllerEvent::ClearPlayList, {}, 0});
    QCOMPARE(r.Rows(), 0);
    QCOMPARE(r.list->CurrentRow(), -1);
}

void PlaylistTest::deletingRows() {
    Rig r;
    std::vector<GUID> ids;
    for (int i = 0; i < 5; ++i) ids.push_back(r.service->AddSong(1000 * (i + 1), 1000 * (i + 1) + 500, u"S"));
    QVERIFY(r.Init());
    r.Select({1, 3, 4});
    r.t.prompter.answers = {Answer::No};
    r.list->OnDeleteSelections();
    QCOMPARE(r.Rows(), 5);
    r.list->OnDeleteSelections();
    // Rows 1, 3 and 4 go: the service was asked for exactly those songs.
    QCOMPARE(r.Rows(), 2);
    ULONG count = 0;
    r.service->playlist->Count(&count);
    QCOMPARE(count, ULONG(2));
    GUID g;
    plat::ComPtr<ISong> kept;
    QVERIFY(SUCCEEDED(r.service->playlist->Get(ids[2], kept.ReleaseAndGetAddressOf())) && kept);
    kept->GetID(&g);
    QCOMPARE(g, ids[2]);
    // Nothing stays selected: the buttons follow.
    QCOMPARE(r.list->CurrentRow(), -1);
    QVERIFY(!r.On(2002) && !r.On(2003) && !r.On(2005));
    // A failed delete stops the loop; the rows removed before stay removed.
    r.Select({0, 1});
    r.service->playlist->Delete(ids[2]);  // the service no longer has this song
    r.list->OnDeleteSelections();
    QCOMPARE(r.Rows(), 1);
    QVERIFY(r.t.prompter.Texts().last().contains(QStringLiteral("Delete failed")));

    // The current song deleted while others stay: the service's current song
    // goes with it (a current song that is gone cannot be read).
    Rig q;
    GUID one = q.service->AddSong(1000, 1500, u"A");
    q.service->AddSong(2000, 2500, u"B");
    QVERIFY(q.Init());
    q.Select({0});
    QCOMPARE(q.Current(), one);
    q.list->OnDeleteSelections();
    QCOMPARE(q.Rows(), 1);
    QCOMPARE(q.Current(), GUID_NULL);
}

void PlaylistTest::editingBorders() {
    Rig r;
    GUID id = r.service->AddSong(10000, 20000, u"S");
    QVERIFY(r.Init());
    r.list->SelectSong(0);
    plat::ComPtr<ISong> song;
    r.service->playlist->Get(id, song.ReleaseAndGetAddressOf());
    ULONG left = 0, right = 0;
    // The start at or after the end clears the end first.
    r.service->play = 25000;
    r.list->SetBorderFromPlayPosition(0);
    song->GetBorders(&left, &right);
    QCOMPARE(left, ULONG(25000));
    QCOMPARE(right, ULONG(0));
    QCOMPARE(r.Text(0, 1), QStringLiteral("00:00:25"));
    QCOMPARE(r.Text(0, 2), Str(104));
    QVERIFY(!r.On(2003));
    // The end at or before the start changes nothing.
    r.service->play = 24000;
    r.list->SetBorderFromPlayPosition(1);
    song->GetBorders(&left, &right);
    QCOMPARE(right, ULONG(0));
    // A real end: stop and duration from the borders as they are now.
    r.service->play = 95000;
    r.list->SetBorderFromPlayPosition(1);
    QCOMPARE(r.Text(0, 2), QStringLiteral("00:01:35"));
    QCOMPARE(r.Text(0, 3), QStringLiteral("00:01:10"));
    QVERIFY(r.On(2003));
    // A new start before the end: the duration uses the new start.
    r.service->play = 35000;
    r.list->SetBorderFromPlayPosition(0);
    QCOMPARE(r.Text(0, 3), QStringLiteral("00:01:00"));
    r.list->SetBorderFromPlayPosition(7);  // not a border: nothing
    QCOMPARE(r.Text(0, 1), QStringLiteral("00:00:35"));
}

void PlaylistTest::renameToEmptyGivesDefault() {
    Rig r;
    GUID id = r.service->AddSong(1000, 2000, u"Old");
    QVERIFY(r.Init());
    QString empty;
    r.list->OnEndLabelEdit(0, &empty);
    QCOMPARE(r.Text(0, 0), Str(103));
    QCOMPARE(empty, QString());  // the caller's text is left alone
    plat::ComPtr<ISong> song;
    plat::ComPtr<ID3> tag;
    plat::Bstr title;
    r.service->playlist->Get(id, song.ReleaseAndGetAddressOf());
    song->GetID3Tag(tag.ReleaseAndGetAddressOf());
    tag->GetTitle(title.Out());
    QCOMPARE(QString::fromStdU16String(title.Str()), Str(103));
    r.list->OnEndLabelEdit(0, nullptr);  // editing cancelled
    QCOMPARE(r.Text(0, 0), Str(103));
}

void PlaylistTest::doubleClickReplaysFromTheSong() {
    Rig r;
    r.service->AddSong(50000, 60000, u"Kept");
    r.service->AddSong(1000, 2000, u"Dropped");
    QVERIFY(r.Init());
    r.service->startRead = 20000;
    r.list->OnDoubleClick(0);
    auto calls = r.Calls();
    QCOMPARE(QString::fromStdString(calls.back()), QStringLiteral("SetPlayPosition(30000,0)"));
    // A start the cache has dropped replays from the readable start, not 49 days on.
    r.list->OnDoubleClick(1);
    calls = r.Calls();
    QCOMPARE(QString::fromStdString(calls.back()), QStringLiteral("SetPlayPosition(0,0)"));
    QCOMPARE(SongJumpOffset(1000, 20000), LONGLONG(0));
    QCOMPARE(SongJumpOffset(0xFFFFFFF0u, 0), LONGLONG(0xFFFFFFF0u));
}

void PlaylistTest::contextMenuRules() {
    Rig r;
    QVERIFY(r.Init());
    std::unique_ptr<QMenu> menu(r.list->ContextMenu(-1));
    auto enabled = [&](int id) {
        for (QAction* a : menu->actions())
            if (a->data().toInt() == id) return a->isEnabled();
        return false;
    };
    QVERIFY(enabled(2001) && !enabled(2002) && !enabled(2003) && !enabled(2004));
    r.service->AddSong(1000, 0, u"Open");
    r.list->FillList();
    menu.reset(r.list->ContextMenu(0));
    QVERIFY(enabled(2002) && enabled(2004) && !enabled(2003));
    QCOMPARE(r.list->CurrentRow(), 0);
}

void PlaylistTest::finePositionDialog() {
    CPlayPositionDialog dialog(nullptr);
    dialog.SetMaxPosition(3723450);
    dialog.SetMinPosition(1000);
    QCOMPARE(dialog.MaxLabel()->text(), QStringLiteral("Maximal Position: 01:02:03:45"));
    QCOMPARE(dialog.MinLabel()->text(), QStringLiteral("Minimal Position:  00:00:01:00"));
    QCOMPARE(dialog.Position(), ULONG(1000));
    QVERIFY(dialog.OkButton()->isEnabled());
    // Beyond the readable range OK is off; inside it, on again.
    auto enter = [&](ULONG ms) {
        KTimecode tc;
        tc.FromMilliseconds(ms);
        dialog.Entry()->SetTimecode(tc, false, true);
        emit dialog.Entry()->notify(KTimecodeCtrl::kKeyChanged);
    };
    enter(7200000);
    QVERIFY(!dialog.OkButton()->isEnabled());
    enter(500);
    QVERIFY(!dialog.OkButton()->isEnabled());
    enter(1800500);
    QVERIFY(dialog.OkButton()->isEnabled());
    QCOMPARE(dialog.Position(), ULONG(1800500));
    // A typed value stays when the poll moves the bounds.
    dialog.SetMinPosition(2000);
    QCOMPARE(dialog.Position(), ULONG(1800500));
}

void PlaylistTest::saveDialogFormats() {
    Rig r;
    GUID one = r.service->AddSong(1000, 5000, u"One");
    GUID two = r.service->AddSong(6000, 9000, u"Two");
    plat::ComPtr<ISong> a, b;
    r.service->playlist->Get(one, a.ReleaseAndGetAddressOf());
    r.service->playlist->Get(two, b.ReleaseAndGetAddressOf());
    {
        CSaveSongDlg dialog(*r.core, {a}, nullptr);
        dialog.SetFormat(0x12345);  // unknown: MP3
        dialog.SetBitrateType(BT_VBR);
        dialog.Prepare();
        QCOMPARE(dialog.FormatBox()->currentText(), QStringLiteral("MP3"));
        QCOMPARE(dialog.TitleEdit()->text(), QStringLiteral("One"));
        QVERIFY(dialog.VbrRadio()->isChecked() && !dialog.CbrBox()->isEnabled() && dialog.MinBox()->isEnabled());
        // AAC: CBR only and no tags.
        dialog.OnFormatChange(0);
        QVERIFY(!dialog.VbrRadio()->isEnabled() && dialog.CbrRadio()->isChecked() && !dialog.MinBox()->isEnabled());
        QVERIFY(!dialog.TagGroup()->isEnabled());
        QCOMPARE(dialog.BitrateType(), BT_CBR);
        // OGG writes tags: the fields are on.
        dialog.OnFormatChange(2);
        QVERIFY(dialog.TagGroup()->isEnabled() && dialog.TitleEdit()->isEnabled() && dialog.VbrRadio()->isEnabled());
        dialog.OnFormatChange(3);
        QVERIFY(dialog.TagGroup()->isEnabled() && !dialog.VbrRadio()->isEnabled());
        QCOMPARE(dialog.Format(), FMT_WMA);
    }
    CSaveSongDlg group(*r.core, {a, b}, nullptr);
    group.Prepare();
    QVERIFY(!group.TitleEdit()->isEnabled());
    QCOMPARE(group.GenreBox()->count(), 149);
    for (auto [index, setting] : {std::pair{0, FMT_AAC}, {1, FMT_MP3}, {2, FMT_OGG}, {3, FMT_WMA}}) {
        QCOMPARE(FormatSetting(index), setting);
        QCOMPARE(FormatIndex(setting), index);
    }
}

void PlaylistTest::saveDialogChecks() {
    Rig r;
    r.service->encoderBlocks = false;
    GUID one = r.service->AddSong(1000, 5000, u"One");
    plat::ComPtr<ISong> a;
    r.service->playlist->Get(one, a.ReleaseAndGetAddressOf());
    QTemporaryDir dir;
    CSaveSongDlg dialog(*r.core, {a}, nullptr);
    dialog.SetFormat(FMT_MP3);
    dialog.Prepare();
    // No name at all, or a folder.
    for (QString bad : {QString(), dir.path() + QStringLiteral("/")}) {
        dialog.FileName()->setText(bad);
        dialog.OnOK();
        QCOMPARE(r.t.prompter.Texts().last(), Str(140));
        QCOMPARE(dialog.result(), 0);
    }
    // The VBR limits are checked only in VBR mode.
    dialog.MinBox()->setCurrentText(QStringLiteral("320"));
    dialog.MaxBox()->setCurrentText(QStringLiteral("64"));
    dialog.VbrRadio()->click();
    dialog.FileName()->setText(dir.path() + QStringLiteral("/sub/ünï.wav"));
    dialog.OnOK();
    QCOMPARE(r.t.prompter.Texts().last(), Str(149));
    dialog.CbrRadio()->click();
    dialog.TitleEdit()->setText(QStringLiteral("New title"));
    dialog.OnOK();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.SaveResult(), S_OK);
    // The typed extension gives way to the format's, in a folder made for it.
    QString target = dir.path() + QStringLiteral("/sub/ünï.mp3");
    QCOMPARE(dialog.FileName()->text(), target);
    auto log = r.service->lastEncoder->log.Take();
    QVERIFY(!log.empty());
    QVERIFY(QString::fromStdString(log.back()).endsWith(target.toStdString().c_str() + QStringLiteral(")")));
    QVERIFY(std::find(log.begin(), log.end(), "SetConstantBitrate(64)") != log.end());
    plat::ComPtr<ID3> tag;
    plat::Bstr title;
    a->GetID3Tag(tag.ReleaseAndGetAddressOf());
    tag->GetTitle(title.Out());
    QCOMPARE(QString::fromStdU16String(title.Str()), QStringLiteral("New title"));

    // The next save starts where this one went: Browse opens there, and a
    // bare name is a file there.
    {
        CSaveSongDlg next(*r.core, {a}, nullptr);
        next.SetFormat(FMT_MP3);
        next.Prepare();
        r.t.files.file.clear();
        next.OnBrowse();
        QCOMPARE(r.t.files.lastStart, dir.path() + QStringLiteral("/sub"));
        next.FileName()->setText(QStringLiteral("bare"));
        next.OnOK();
        QCOMPARE(next.result(), int(QDialog::Accepted));
        QCOMPARE(next.FileName()->text(), dir.path() + QStringLiteral("/sub/bare.mp3"));
    }

    // An existing file: kept unless confirmed, and back in place when the save fails.
    QFile existing(target);
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write("old");
    existing.close();
    CSaveSongDlg again(*r.core, {a}, nullptr);
    again.SetFormat(FMT_MP3);
    again.Prepare();
    again.FileName()->setText(target);
    r.t.prompter.answers = {Answer::No};
    again.OnOK();
    QCOMPARE(again.result(), 0);
    r.service->encoderBlocks = false;
    r.t.prompter.answers = {Answer::Yes};
    // The encoder fails: its answer is set on the next encoder made.
    r.service->Fail("CreateNewEncoder", E_OUTOFMEMORY);
    again.OnOK();
    QCOMPARE(again.result(), 0);
    QFile back(target);
    QVERIFY(back.open(QIODevice::ReadOnly));
    QCOMPARE(back.readAll(), QByteArray("old"));
    QCOMPARE(QDir(dir.path() + QStringLiteral("/sub")).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

void PlaylistTest::saveProtectsAndReleasesRanges() {
    Rig r;
    r.service->AddSong(1000, 5000, u"One");
    r.service->AddSong(6000, 0, u"Open");
    QVERIFY(r.Init());
    // Only the open selection chosen: nothing happens.
    r.Select({1});
    r.list->OnSaveSelections();
    QVERIFY(r.Calls().empty());
    // A cancelled dialog: the protected range is released all the same.
    r.Select({0, 1});
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) d->reject();
    });
    r.list->OnSaveSelections();
    auto calls = r.Calls();
    std::vector<std::string> ranges;
    for (const auto& c : calls)
        if (c.find("Undeletable") != std::string::npos) ranges.push_back(c);
    QVERIFY(ranges == (std::vector<std::string>{"SetUndeletableRange(1000,5000)", "ResetUndeletableRange(1000,5000)"}));
}

void PlaylistTest::progressAndCancel() {
    Rig r;
    plat::ComPtr<ISong> a = r.Song(r.service->AddSong(1000, 5000, u"One"));
    plat::ComPtr<IAudioEncoder> encoder = r.Encoder(eMP3);
    QTemporaryDir dir;
    QString target = dir.path() + QStringLiteral("/partial.mp3");
    QFile partial(target);
    QVERIFY(partial.open(QIODevice::WriteOnly));
    partial.close();
    CSaveSongProgressDlg dialog(*r.core, nullptr);
    dialog.SetEncoder(encoder.Get());
    dialog.SetSingle(a.Get(), target);
    dialog.show();
    QVERIFY(r.service->lastEncoder->saving.Wait(20000) == plat::WAIT_OBJECT_0);
    QTRY_COMPARE_WITH_TIMEOUT(dialog.Bar()->value(), 50, 20000);
    QCOMPARE(dialog.PathLabel()->text(), target);
    // Enter does not end it; No to the question leaves the save running.
    QTest::keyClick(&dialog, Qt::Key_Return);
    QVERIFY(dialog.isVisible());
    r.t.prompter.answers = {Answer::No};
    dialog.OnCancel();
    QVERIFY(dialog.isVisible() && !dialog.Finished());
    // Yes: StopSave, the save's return awaited, then the partial file goes.
    dialog.OnCancel();
    QVERIFY(dialog.Finished());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(!QFile::exists(target));
    auto log = r.service->lastEncoder->log.Take();
    QCOMPARE(QString::fromStdString(log.back()), QStringLiteral("StopSave()"));
}

void PlaylistTest::workerOutlivingTheDialog() {
    Rig r;
    plat::ComPtr<ISong> a = r.Song(r.service->AddSong(1000, 5000, u"One"));
    plat::ComPtr<IAudioEncoder> encoder = r.Encoder(eOGG);
    plat::ComPtr<ipctest::FakeEncoder> fake = r.service->lastEncoder;
    {
        CSaveSongProgressDlg dialog(*r.core, nullptr);
        dialog.SetEncoder(encoder.Get());
        dialog.SetSingle(a.Get(), QDir::tempPath() + QStringLiteral("/never.ogg"));
        QVERIFY(dialog.Start());
        QVERIFY(fake->saving.Wait(20000) == plat::WAIT_OBJECT_0);
    }
    // The dialog is gone (it asked the save to stop); the save ends later and
    // posts to nothing.
    fake->StopSave();
    QVERIFY(stragglers::JoinAll(std::chrono::seconds(20)));
    QCoreApplication::processEvents();
    QVERIFY(fake->saving.Wait(0) != plat::WAIT_OBJECT_0);
    auto log = fake->log.Take();
    QCOMPARE(QString::fromStdString(log.back()), QStringLiteral("StopSave()"));
}

void PlaylistTest::genres() {
    QCOMPARE(GenreNames().size(), 148);
    QCOMPARE(GenreNames()[14], QStringLiteral("R&B"));
    QCOMPARE(GenreNames()[123], QStringLiteral("A Cappella"));
    QStringList choices = GenreChoices();
    QCOMPARE(choices.size(), 149);
    QCOMPARE(choices.first(), QString());
    for (int i = 2; i < choices.size(); ++i) QVERIFY(choices[i - 1].compare(choices[i], Qt::CaseInsensitive) <= 0);
}

QTEST_MAIN(PlaylistTest)
#include "PlaylistTest.moc"
