#pragma once
// The selections window: one row per song of the service's playlist (name,
// start, stop, duration), kept in step with the service's events and with
// the playlist's current song, and the commands that add, delete, rename,
// trim and save selections.
#include <QColor>

#include <functional>
#include <map>

#include "desktop/app/AppCore.h"
#include "desktop/app/EventBridge.h"
#include "desktop/controls/CColorListCtrl.h"
#include "desktop/controls/KStickyManualSkinDlg.h"

class CShowTimeBckg;
class KButtonSkin;
class QMenu;
class QTreeWidget;
class QTreeWidgetItem;
class QLabel;

namespace parvane {

// A song's identity from the text the service sends: braced or not, and
// nothing shorter than a GUID's 36 characters.
bool GuidFromEventText(const QString& text, GUID* guid);
// "hh:mm:ss" of a position in milliseconds.
QString TimeText(ULONG ms);
// The offset from the readable start that replays a song starting at left;
// never negative (a start the cache has dropped replays from its start).
LONGLONG SongJumpOffset(ULONG left, ULONG startRead);

class CPlayListDlg : public KStickyManualSkinDlg {
public:
    enum { kNone = -1, kSeveral = -2, kFromList = -3 };
    // The dialog's template and its items.
    static constexpr int kDialogId = 380;
    static constexpr int kCloseId = 2007;
    static constexpr int kExtraPartMarkId = 2009;
    static constexpr int kExtraPartBitmap = 496;
    // The rows' background and the list's own.
    static inline const QColor kListBackground{111, 24, 34};

    CPlayListDlg(AppCore& core, QWidget* main);
    ~CPlayListDlg() override;

    bool Init();
    void FillList();
    void SelectSong(int index);
    void UpdateControls();
    void PlayCurrentSelection();
    int FindRowByGuid(const GUID& guid) const;
    void OnEvent(const ControllerEvent& e);
    // The play position of the latest poll.
    void ApplyPosition(ULONG play);

    // Commands: the buttons' and the context menu's.
    void Command(int id);
    void OnAddSelection();
    void OnDeleteSelections();
    void SetBorderFromPlayPosition(int which);
    void OnEndLabelEdit(int row, const QString* text);
    void OnSaveSelections();
    void OnSelectAll();
    void OnDoubleClick(int row);
    // The context menu for a click on row (-1: no row); the caller shows it.
    QMenu* ContextMenu(int row);

    int CurrentRow() const { return m_current; }
    CColorListCtrl* List() const { return m_list; }
    KButtonSkin* Button(int id) const;
    CShowTimeBckg* TimeDisplay() const { return m_time; }

    // The main window's answers to the window's own messages.
    std::function<void()> onHidden;        // the Close button hid the window
    std::function<void()> onCloseRequest;  // closing the window ends the program
    std::function<void(int)> onEnd;        // a failure ends the main window with a code
    std::function<void(bool)> onStuck;     // glued to the main window, or not

    void SetSkinPartIds() override;
    void InvalidateSkinControls() override;
    bool IsNearMain(const QRect& own, const QRect& main) const override;
    bool UpdateStuck(const QRect& rect) override;

protected:
    // A click on the list (a left button let go over it) makes the selection current.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void OnShowHook() override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Keeps a control of the bottom band at its template distance from the
    // window's bottom as the window is sized.
    void AnchorToBottom(QWidget* control);
    bool Ready();
    bool Ok(HRESULT hr, const char* call);
    bool RowGuid(int row, GUID* guid) const;
    HRESULT SongOfRow(int row, plat::ComPtr<ISong>* song);
    int AppendRow(ISong* song, const GUID& guid);
    void SetRowTexts(int row, ISong* song);
    QList<int> SelectedRows() const;
    void OnItemSelectionChanged();

    AppCore& m_core;
    QWidget* m_main;
    plat::ComPtr<IPlayList> m_playlistItf;
    plat::ComPtr<ISettings> m_settings;
    CColorListCtrl* m_list = nullptr;
    CShowTimeBckg* m_time = nullptr;
    std::map<int, KButtonSkin*> m_buttons;
    int m_current = kNone;
    bool m_selectingAll = false;
    bool m_deleting = false;
    bool m_refresh = true;
    ULONG m_play = 0;
};

}  // namespace parvane
