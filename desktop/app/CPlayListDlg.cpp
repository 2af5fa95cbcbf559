#include "desktop/app/CPlayListDlg.h"

#include <QMouseEvent>

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QTreeWidget>

#include <array>

#include "desktop/app/CSaveSongDlg.h"
#include "desktop/app/Strings.h"
#include "desktop/controls/CColorListCtrl.h"
#include "desktop/controls/CShowTimeBckg.h"
#include "desktop/controls/KButton.h"
#include "desktop/controls/KButtonSkin.h"
#include "desktop/controls/KSkinMetrics.h"
#include "desktop/controls/KSkinResources.h"
#include "platform/com/Bstr.h"
#include "platform/com/Guid.h"
#include "platform/com/Variant.h"

namespace parvane {

namespace {

constexpr int kGuidRole = Qt::UserRole + 1;

// The song's title; false (and an empty text) when it cannot be read.
bool ReadTitle(ISong* song, QString* text);

QString Title(ISong* song) {
    QString text;
    ReadTitle(song, &text);
    return text;
}

bool ReadTitle(ISong* song, QString* out) {
    out->clear();
    plat::ComPtr<ID3> tag;
    plat::Bstr title;
    if (FAILED(song->GetID3Tag(tag.ReleaseAndGetAddressOf())) || !tag) return false;
    if (FAILED(tag->GetTitle(title.Out()))) return false;
    // One line of reasonable length, whatever the service holds.
    QString text = QString::fromStdU16String(plat::BstrToU16(title));
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    *out = text.left(260);
    return true;
}

// Dialog 380: "MS Shell Dlg" 8, 200 x 300 units.
SDialogTemplate PlayListTemplate() {
    return SDialogTemplate::WithFont(CPlayListDlg::kDialogId, QSize(200, 300), QStringLiteral("MS Shell Dlg"), 8,
                                     {{CPlayListDlg::kCloseId, QRect(36, 5, 10, 9)},
                                      {2000, QRect(6, 25, 219, 258)},
                                      {2001, QRect(20, 263, 40, 11)},
                                      {2002, QRect(69, 263, 40, 11)},
                                      {2003, QRect(120, 263, 40, 11)},
                                      {2004, QRect(168, 263, 48, 11)},
                                      {2005, QRect(98, 281, 48, 11)},
                                      {2006, QRect(153, 281, 48, 11)},
                                      {2008, QRect(19, 279, 68, 14)},
                                      {CPlayListDlg::kExtraPartMarkId, QRect(19, 6, 54, 7)}});
}

// The six buttons in the order they are set up: id, text and tooltip, and
// the normal, hover, pressed and disabled faces.
struct SListButton {
    int id;
    const char* text;
    std::array<int, 4> bitmaps;
};
constexpr SListButton kListButtons[] = {{2001, "Add a new selection", {223, 224, 225, 226}},
                                        {2003, "Save selection(s)", {228, 229, 230, 231}},
                                        {2002, "Delete selection(s)", {232, 233, 234, 235}},
                                        {2004, "Select all selections", {291, 293, 294, 295}},
                                        {2005, "Set start time of the selection", {187, 188, 189, 190}},
                                        {2006, "Set end time of the selection", {191, 192, 193, 194}}};

QString ButtonText(int id) {
    for (const SListButton& b : kListButtons)
        if (b.id == id) return QString::fromUtf8(b.text);
    return QString();
}

void ShowPlayTime(CShowTimeBckg* display, ULONG ms) {
    KTimecode tc;
    tc.FromMilliseconds(ms);
    display->SetTime(tc);
}

}  // namespace

bool GuidFromEventText(const QString& text, GUID* guid) {
    if (text.size() < 36) return false;
    QString body = text;
    if (body.startsWith(QLatin1Char('{'))) {
        body = body.mid(1, body.size() - 2);
        if (body.size() < 36) return false;
    }
    if (body.size() != 36) return false;
    return plat::GuidFromString(body.toStdU16String(), guid);
}

QString TimeText(ULONG ms) {
    ULONG s = ms / 1000;
    return QString::asprintf(Str(153).toUtf8().constData(), int(s / 3600), int(s / 60 % 60), int(s % 60));
}

LONGLONG SongJumpOffset(ULONG left, ULONG startRead) { return left > startRead ? LONGLONG(left) - startRead : 0; }

CPlayListDlg::CPlayListDlg(AppCore& core, QWidget* main)
    : KStickyManualSkinDlg(main), m_core(core), m_main(main) {
    setWindowTitle(QStringLiteral("Tonquil"));
    SetResizable(true);
    // The template's items: the list, the buttons' places and the time display.
    m_list = new CColorListCtrl(this);
    m_list->setObjectName(QStringLiteral("2000"));
    m_list->setProperty(kControlIdProperty, 2000);
    for (const SListButton& b : kListButtons) {
        auto* item = new QWidget(this);
        item->setProperty(kControlIdProperty, b.id);
        item->setProperty("text", QString::fromUtf8(b.text));
    }
    m_time = new CShowTimeBckg(this);
    m_time->setObjectName(QStringLiteral("2008"));
    m_time->setProperty(kControlIdProperty, 2008);
    // The window in the template's font at the reference resolution.
    InitFromTemplate(PlayListTemplate(), kCloseId, kExtraPartBitmap, kExtraPartMarkId);
    m_list->setColumnCount(4);
    m_list->setHeaderLabels({Str(134), Str(135), Str(136), Str(137)});
    for (int column = 0; column < 4; ++column) m_list->setColumnWidth(column, column == 0 ? 100 : 70);
    m_list->header()->setSectionsClickable(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->SetBkColor(kListBackground);
    m_list->SetTextBkColor(kListBackground);
    m_list->SetTextColor(Qt::white);
    for (const SListButton& b : kListButtons) {
        auto* button = new KButtonSkin(this);
        button->setObjectName(QString::number(b.id));
        InitSkinButton(this, *button, b.id, b.bitmaps.data(), int(b.bitmaps.size()));
        button->SetText(QString::fromUtf8(b.text));
        AnchorToBottom(button);
        connect(button, &KWndSkin::command, this, [this](int id) { Command(id); });
        m_buttons[b.id] = button;
    }
    // The play position on skinned digits.
    std::vector<QPixmap> digits;
    for (int id : {298, 299, 301, 302, 303, 304, 305, 306, 307, 297, 308})
        digits.push_back(QPixmap::fromImage(LoadSkinBitmap(id)));
    m_time->SetBitmaps(std::move(digits));
    m_time->SetBackground(QPixmap::fromImage(LoadSkinBitmap(512)));
    m_time->SetMargins(8, 4);
    AnchorToBottom(m_time);

    connect(&CloseButton(), &KWndSkin::command, this, [this] {
        hide();
        if (onHidden) onHidden();
    });
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, [this] { OnItemSelectionChanged(); });
    m_list->viewport()->installEventFilter(this);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item, int) { OnDoubleClick(m_list->indexOfTopLevelItem(item)); });
    connect(m_list, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        if (column != 0 || item->data(0, Qt::UserRole + 2).toString() == item->text(0)) return;
        QString text = item->text(0);
        OnEndLabelEdit(m_list->indexOfTopLevelItem(item), &text);
    });
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        QTreeWidgetItem* item = m_list->itemAt(pos);
        QMenu* menu = ContextMenu(item ? m_list->indexOfTopLevelItem(item) : -1);
        menu->exec(m_list->viewport()->mapToGlobal(pos));
        delete menu;
    });
}

CPlayListDlg::~CPlayListDlg() = default;

void CPlayListDlg::AnchorToBottom(QWidget* control) {
    // The template's distance to the bottom is taken against the window's
    // first height, that of bitmap 511, whatever the window's height now.
    const int fromBottom = GetSkinBitmaps().m_listSize.height() - control->y();
    control->move(control->x(), height() - fromBottom);
    Container()->Layout(control, KWndContainer::kLeftFromLeft | KWndContainer::kBottomFromBottom);
}

void CPlayListDlg::Command(int id) {
    switch (id) {
    case 2001: OnAddSelection(); break;
    case 2002: OnDeleteSelections(); break;
    case 2003: OnSaveSelections(); break;
    case 2004: OnSelectAll(); break;
    case 2005: SetBorderFromPlayPosition(0); break;
    case 2006: SetBorderFromPlayPosition(1); break;
    default: break;
    }
}

KButtonSkin* CPlayListDlg::Button(int id) const {
    auto it = m_buttons.find(id);
    return it == m_buttons.end() ? nullptr : it->second;
}

bool CPlayListDlg::Ready() {
    if (!m_core.controller || !m_playlistItf) {
        m_core.ShowInternalError(this);
        if (onEnd) onEnd(2);
        return false;
    }
    return !m_core.Refuse(this);
}

bool CPlayListDlg::Ok(HRESULT hr, const char* call) {
    if (SUCCEEDED(hr)) return true;
    m_core.ShowControllerErrors(this, call, hr);
    return false;
}

bool CPlayListDlg::Init() {
    if (!m_core.controller || FAILED(m_core.controller.As(&m_playlistItf)) ||
        FAILED(m_core.controller.As(&m_settings))) {
        m_core.prompter().Show(this, Str(112), Icon::Error, Buttons::Ok);
        return false;
    }
    FillList();
    ULONG play = 0;
    if (!Ok(m_core.controller->GetPlayPosition(&play), "GetPlayPosition")) return false;
    m_play = play;
    ShowPlayTime(m_time, play);
    m_refresh = true;
    UpdateControls();
    return true;
}

bool CPlayListDlg::RowGuid(int row, GUID* guid) const {
    QTreeWidgetItem* item = m_list->topLevelItem(row);
    if (!item) return false;
    QByteArray bytes = item->data(0, kGuidRole).toByteArray();
    if (bytes.size() != sizeof(GUID)) return false;
    memcpy(guid, bytes.constData(), sizeof(GUID));
    return true;
}

int CPlayListDlg::FindRowByGuid(const GUID& guid) const {
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        GUID g;
        if (RowGuid(i, &g) && g == guid) return i;
    }
    return -1;
}

HRESULT CPlayListDlg::SongOfRow(int row, plat::ComPtr<ISong>* song) {
    GUID guid;
    if (!RowGuid(row, &guid)) return E_UNEXPECTED;
    HRESULT hr = m_playlistItf->Get(guid, song->ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr) && !*song) return E_UNEXPECTED;
    return hr;
}

void CPlayListDlg::SetRowTexts(int row, ISong* song) {
    QTreeWidgetItem* item = m_list->topLevelItem(row);
    ULONG left = 0, right = 0;
    LONG defined = 1;
    song->GetBorders(&left, &right);
    song->IsDefined(&defined);
    const QString unknown = Str(104);
    item->setText(1, defined ? TimeText(left) : unknown);
    bool end = defined && right != 0;
    item->setText(2, end ? TimeText(right) : unknown);
    item->setText(3, end && right >= left ? TimeText(right - left) : unknown);
}

int CPlayListDlg::AppendRow(ISong* song, const GUID& guid) {
    auto* item = new QTreeWidgetItem;
    QString title = Title(song);
    item->setText(0, title);
    item->setData(0, Qt::UserRole + 2, title);
    item->setData(0, kGuidRole, QByteArray(reinterpret_cast<const char*>(&guid), sizeof(GUID)));
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    QSignalBlocker block(m_list);
    m_list->addTopLevelItem(item);
    int row = m_list->topLevelItemCount() - 1;
    SetRowTexts(row, song);
    return row;
}

void CPlayListDlg::FillList() {
    {
        QSignalBlocker block(m_list);
        m_list->clear();
    }
    VARIANT songs;
    VariantInit(&songs);
    if (!Ok(m_playlistItf->GetPlaylist(&songs), "GetPlaylist")) return;
    std::vector<IUnknown*> objects;
    HRESULT hr = plat::ReadUnknownArray(songs, &objects);
    VariantClear(&songs);
    if (!Ok(hr, "GetPlaylist")) return;
    bool failed = false;
    for (IUnknown* object : objects) {
        plat::ComPtr<IUnknown> held;
        held.Attach(object);
        if (failed || !object) continue;
        plat::ComPtr<ISong> song;
        GUID guid;
        // Whatever is not a song is left out.
        if (FAILED(held.As(&song))) continue;
        if (!Ok(song->GetID(&guid), "GetID")) {
            failed = true;
            continue;
        }
        AppendRow(song.Get(), guid);
    }
    GUID current = GUID_NULL;
    if (!Ok(m_playlistItf->GetCurrentID(&current), "GetCurrentID")) return;
    SelectSong(current == GUID_NULL ? kNone : FindRowByGuid(current));
}

QList<int> CPlayListDlg::SelectedRows() const {
    QList<int> rows;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        if (m_list->topLevelItem(i)->isSelected()) rows << i;
    return rows;
}

void CPlayListDlg::SelectSong(int index) {
    m_refresh = true;
    if (!Ready()) return;
    HRESULT hr = S_OK;
    GUID guid = GUID_NULL;
    if (index == kFromList) {
        QList<int> rows = SelectedRows();
        int next = rows.size() < 2 ? (rows.isEmpty() ? kNone : rows.first()) : kSeveral;
        if (next != m_current) {
            m_current = next;
            if (next >= 0) RowGuid(next, &guid);
            hr = m_playlistItf->SetCurrentID(guid);
        }
    } else if (index < 0) {
        m_current = index;
        hr = m_playlistItf->SetCurrentID(GUID_NULL);
        if (SUCCEEDED(hr) && index == kNone) {
            QSignalBlocker block(m_list);
            m_list->clearSelection();
        }
    } else {
        m_current = index;
        {
            QSignalBlocker block(m_list);
            m_list->clearSelection();
            if (QTreeWidgetItem* item = m_list->topLevelItem(index)) {
                item->setSelected(true);
                m_list->setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
            }
        }
        RowGuid(index, &guid);
        hr = m_playlistItf->SetCurrentID(guid);
    }
    if (!Ok(hr, "SetCurrentID")) return;
    UpdateControls();
}

void CPlayListDlg::ApplyPosition(ULONG play) {
    m_play = play;
    UpdateControls();
}

void CPlayListDlg::UpdateControls() {
    if (!m_core.controller || !m_playlistItf) return;
    m_buttons[2004]->setEnabled(m_list->topLevelItemCount() > 0);
    ShowPlayTime(m_time, m_play);
    const QString unknown = Str(104);
    if (m_current < 0) {
        if (m_refresh) {
            m_buttons[2005]->setEnabled(false);
            m_buttons[2006]->setEnabled(false);
            if (m_current == kNone) {
                m_buttons[2002]->setEnabled(false);
                m_buttons[2003]->setEnabled(false);
            } else {
                m_buttons[2002]->setEnabled(true);
                bool anyEnd = false;
                for (int row : SelectedRows())
                    if (m_list->topLevelItem(row)->text(2) != unknown) {
                        anyEnd = true;
                        break;
                    }
                m_buttons[2003]->setEnabled(anyEnd);
            }
        }
        m_refresh = false;
        return;
    }
    QTreeWidgetItem* item = m_list->topLevelItem(m_current);
    if (!item) {
        m_refresh = false;
        return;
    }
    // The row's texts mirror its song's borders, so the checks need no call.
    if (m_refresh) {
        m_buttons[2002]->setEnabled(true);
        m_buttons[2005]->setEnabled(true);
        m_buttons[2003]->setEnabled(item->text(2) != unknown);
    }
    bool endAllowed = false;
    if (item->text(1) != unknown) {
        QStringList parts = item->text(1).split(QLatin1Char(':'));
        ULONGLONG left = parts.size() == 3
                             ? (parts[0].toULongLong() * 3600 + parts[1].toULongLong() * 60 + parts[2].toULongLong()) * 1000
                             : 0;
        endAllowed = ULONGLONG(m_play) > left + 4000;
    }
    m_buttons[2006]->setEnabled(endAllowed);
    m_refresh = false;
}

void CPlayListDlg::OnItemSelectionChanged() {
    if (m_selectingAll || m_deleting) return;
    if (QGuiApplication::mouseButtons() & (Qt::LeftButton | Qt::RightButton)) return;
    SelectSong(kFromList);
}

bool CPlayListDlg::eventFilter(QObject* watched, QEvent* event) {
    // The selection that changed under the pressed button is taken over when
    // the button is let go (a right click has its menu for that).
    if (watched == m_list->viewport() && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && !m_selectingAll && !m_deleting)
        SelectSong(kFromList);
    return KStickyManualSkinDlg::eventFilter(watched, event);
}

void CPlayListDlg::OnDoubleClick(int row) {
    if (row < 0) return;
    if (row != m_current) SelectSong(row);
    PlayCurrentSelection();
}

void CPlayListDlg::PlayCurrentSelection() {
    if (m_current < 0 || !Ready()) return;
    GUID guid;
    if (!RowGuid(m_current, &guid)) return;
    plat::ComPtr<ISong> song;
    if (!Ok(m_playlistItf->SetCurrentID(guid), "SetCurrentID") ||
        !Ok(m_playlistItf->Get(guid, song.ReleaseAndGetAddressOf()), "Get") || !song)
        return;
    if (m_list->topLevelItem(m_current)->text(1) == Str(104)) return;
    ULONG left = 0, right = 0, startRead = 0;
    if (!Ok(song->GetBorders(&left, &right), "GetBorders") ||
        !Ok(m_core.controller->GetStartReadPos(&startRead), "GetStartReadPos"))
        return;
    Ok(m_core.controller->SetPlayPosition(SongJumpOffset(left, startRead), posStart), "SetPlayPosition");
}

void CPlayListDlg::OnEvent(const ControllerEvent& e) {
    switch (e.kind) {
    case ControllerEvent::ClearPlayList: {
        QSignalBlocker block(m_list);
        m_list->clear();
        m_current = kNone;
        SelectSong(kNone);
        break;
    }
    case ControllerEvent::SongDeleted: {
        GUID guid;
        if (!GuidFromEventText(e.guid, &guid)) return;
        int row = FindRowByGuid(guid);
        if (row < 0) return;
        GUID currentGuid = GUID_NULL;
        bool hadCurrent = m_current >= 0 && RowGuid(m_current, &currentGuid);
        {
            QSignalBlocker block(m_list);
            delete m_list->takeTopLevelItem(row);
        }
        int count = m_list->topLevelItemCount();
        int next;
        if (count == 0)
            next = kNone;
        else if (hadCurrent && row != m_current)
            next = FindRowByGuid(currentGuid);  // the same song stays current
        else if (m_current == kSeveral)
            next = kFromList;
        else
            next = m_current >= count ? count - 1 : m_current;
        if (next == kFromList) m_current = kNone;
        SelectSong(next);
        break;
    }
    case ControllerEvent::SongDetected: {
        GUID guid;
        if (!GuidFromEventText(e.guid, &guid)) return;
        if (!m_playlistItf || m_core.Refuse(this)) return;
        plat::ComPtr<ISong> song;
        HRESULT hr = m_playlistItf->Get(guid, song.ReleaseAndGetAddressOf());
        if (FAILED(hr)) {
            // A song the service no longer knows is not an error to show.
            if (hr != E_INVALIDARG) m_core.ShowControllerErrors(this, "Get", hr);
            return;
        }
        if (!song) return;
        int row = FindRowByGuid(guid);
        if (row >= 0)
            SetRowTexts(row, song.Get());
        else
            AppendRow(song.Get(), guid);
        m_refresh = true;
        UpdateControls();
        break;
    }
    default:
        break;
    }
}

void CPlayListDlg::OnAddSelection() {
    if (!Ready()) return;
    plat::ComPtr<ISong> song;
    GUID guid;
    if (!Ok(m_playlistItf->CreateNewSong(song.ReleaseAndGetAddressOf()), "CreateNewSong") || !song) return;
    if (!Ok(song->GetID(&guid), "GetID")) return;
    int row = FindRowByGuid(guid);
    if (row < 0) {
        row = AppendRow(song.Get(), guid);
        const QString unknown = Str(104);
        QTreeWidgetItem* item = m_list->topLevelItem(row);
        for (int c = 1; c < 4; ++c) item->setText(c, unknown);
    }
    SelectSong(row);
}

void CPlayListDlg::SetBorderFromPlayPosition(int which) {
    if (which != 0 && which != 1) return;
    if (!Ready() || m_current < 0) return;
    plat::ComPtr<ISong> song;
    HRESULT hr = SongOfRow(m_current, &song);
    if (hr == E_UNEXPECTED) {
        m_core.ShowInternalError(this);
        return;
    }
    if (!Ok(hr, "Get")) return;
    ULONG p = 0, left = 0, right = 0;
    if (!Ok(m_core.controller->GetPlayPosition(&p), "GetPlayPosition") || !Ok(song->GetBorders(&left, &right), "GetBorders"))
        return;
    QTreeWidgetItem* item = m_list->topLevelItem(m_current);
    const QString unknown = Str(104);
    if (which == 0) {
        if (p >= right) {
            if (!Ok(song->SetRightBorder(0), "SetRightBorder") || !Ok(m_playlistItf->Save(), "Save")) return;
            right = 0;
            item->setText(2, unknown);
            item->setText(3, unknown);
            m_buttons[2003]->setEnabled(false);
        }
        if (!Ok(song->SetLeftBorder(p), "SetLeftBorder") || !Ok(m_playlistItf->Save(), "Save")) return;
        left = p;
        item->setText(1, TimeText(p));
    } else {
        if (p > left) {
            if (!Ok(song->SetRightBorder(p), "SetRightBorder") || !Ok(m_playlistItf->Save(), "Save")) return;
            right = p;
            item->setText(2, TimeText(p));
        }
    }
    // The duration follows the borders as they are now.
    if (right != 0 && right >= left) {
        item->setText(3, TimeText(right - left));
        m_buttons[2003]->setEnabled(true);
    }
    SelectSong(kFromList);
}

void CPlayListDlg::OnEndLabelEdit(int row, const QString* text) {
    if (!text || row < 0) return;
    QTreeWidgetItem* item = m_list->topLevelItem(row);
    if (!item) return;
    auto restore = [&] {
        QSignalBlocker block(m_list);
        item->setText(0, item->data(0, Qt::UserRole + 2).toString());
    };
    if (!Ready()) return restore();
    QString name = text->isEmpty() ? Str(103) : *text;
    plat::ComPtr<ISong> song;
    HRESULT hr = SongOfRow(row, &song);
    if (!Ok(hr, "Get")) return restore();
    plat::Bstr bname(name.toStdU16String());
    if (!Ok(song->Rename(bname), "Rename") || !Ok(m_playlistItf->Save(), "Save")) return restore();
    QSignalBlocker block(m_list);
    item->setText(0, name);
    item->setData(0, Qt::UserRole + 2, name);
}

void CPlayListDlg::OnDeleteSelections() {
    if (!Ready()) return;
    if (m_core.prompter().Show(this, Str(105), Icon::Question, Buttons::YesNo) == Answer::No) return;
    m_deleting = true;
    QList<int> rows = SelectedRows();
    for (int k = 0; k < rows.size(); ++k) {
        int row = rows[k] - k;
        GUID guid;
        if (!RowGuid(row, &guid)) {
            m_core.ShowInternalError(this);
            break;
        }
        if (!Ok(m_playlistItf->Delete(guid), "Delete")) break;
        QSignalBlocker block(m_list);
        delete m_list->takeTopLevelItem(row);
        if (row == m_current && row == m_list->topLevelItemCount()) m_current = row - 1;
    }
    m_deleting = false;
    // The buttons, and the service's current song (which may have been one
    // of those deleted), follow what is still selected: no row is current
    // until then, so the selection left is always made current anew.
    m_current = kFromList;
    if (m_list->topLevelItemCount() == 0)
        SelectSong(kNone);
    else
        SelectSong(kFromList);
}

void CPlayListDlg::OnSelectAll() {
    m_selectingAll = true;
    {
        QSignalBlocker block(m_list);
        for (int i = 0; i < m_list->topLevelItemCount(); ++i) m_list->topLevelItem(i)->setSelected(true);
    }
    SelectSong(m_list->topLevelItemCount() > 1 ? kSeveral : kFromList);
    m_selectingAll = false;
}

QMenu* CPlayListDlg::ContextMenu(int row) {
    auto* menu = new QMenu(this);
    std::map<int, QAction*> actions;
    for (int id : {2001, 2002, 2003, 2004}) {
        QAction* a = menu->addAction(ButtonText(id));
        a->setData(id);
        actions[id] = a;
        connect(a, &QAction::triggered, this, [this, id] { Command(id); });
    }
    if (row < 0) {
        actions[2002]->setEnabled(false);
        actions[2003]->setEnabled(false);
    }
    if (m_current != kSeveral) SelectSong(row < 0 ? kNone : row);
    if (m_list->topLevelItemCount() == 0) actions[2004]->setEnabled(false);
    if (!m_buttons[2003]->isEnabled()) actions[2003]->setEnabled(false);
    return menu;
}

void CPlayListDlg::OnSaveSelections() {
    if (!Ready()) return;
    const QString unknown = Str(104);
    std::vector<plat::ComPtr<ISong>> songs;
    for (int row : SelectedRows()) {
        if (m_list->topLevelItem(row)->text(3) == unknown) continue;
        plat::ComPtr<ISong> song;
        HRESULT hr = SongOfRow(row, &song);
        if (hr == E_UNEXPECTED) {
            m_core.ShowInternalError(this);
            return;
        }
        if (!Ok(hr, "Get")) return;
        songs.push_back(song);
    }
    if (songs.empty()) return;
    SaveSelections(m_core, this, m_settings.Get(), songs);
    // The row takes the title the save gave the song; a title that cannot
    // be read (the service went meanwhile) leaves the row's name as it was.
    QString title;
    if (songs.size() == 1 && m_current >= 0 && !m_core.forced && !m_core.NotAnswering() &&
        ReadTitle(songs.front().Get(), &title)) {
        QSignalBlocker block(m_list);
        m_list->topLevelItem(m_current)->setText(0, title);
        m_list->topLevelItem(m_current)->setData(0, Qt::UserRole + 2, title);
    }
}

void CPlayListDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (onCloseRequest) onCloseRequest();
}

void CPlayListDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1 && m_core.seams().hooks.help) {
        m_core.seams().hooks.help(this);
        return;
    }
    KStickyManualSkinDlg::keyPressEvent(event);
}

void CPlayListDlg::SetSkinPartIds() {
    KStickyManualSkinDlg::SetSkinPartIds();
    // The list's frame has a top and one side of its own.
    SetPartId(2, 497);
    SetPartId(3, 498);
    SetPartId(7, 499);
}

void CPlayListDlg::OnShowHook() {
    // The list fills the window inside its frame; the bottom band holds the rest.
    m_list->setGeometry(InsideFrame(size()));
    update();
}

void CPlayListDlg::InvalidateSkinControls() {
    m_time->update();
    for (auto& [id, button] : m_buttons) button->update();
}

bool CPlayListDlg::IsNearMain(const QRect& own, const QRect& main) const {
    return std::abs(main.right() + 1 - own.left()) < 15 && std::abs(main.top() - own.top()) < 15;
}

bool CPlayListDlg::UpdateStuck(const QRect& rect) {
    QRect main;
    if (FAILED(GetSkinBitmaps().GetMainWindowRect(&main))) return false;
    bool near = IsNearMain(rect, main);
    if (onStuck) onStuck(near);
    return false;
}

}  // namespace parvane
