#pragma once
// The main window: transport buttons, toggles, indicators, displays and the
// position slider, driven by the 100 ms poll; the service's events, notices,
// the cache-loading pause, the window layout and the way out of the program.
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>

#include "desktop/app/AppCore.h"
#include "desktop/app/EventBridge.h"
#include "desktop/app/Notices.h"
#include "desktop/app/PollWorker.h"
#include "desktop/app/Watchdog.h"
#include "desktop/controls/KDialogSkin.h"

class CShowTime;
class KButtonSkin;
class KShowPercentsCtrl;
class KScrollButtonSkin;
class KWndSkin;
class QLabel;

namespace parvane {

class CPlayListDlg;
class CPlayPositionDialog;
class KCacheLoadingProgress;

// The size of the main window's skin.
QSize MainSkinSize();

// Where a stored main-window rectangle puts the window: the stored corner when
// the rectangle is not empty and lies on the screen, else centred; always at
// the skin's size.
QRect CheckMainRect(const QRect& stored, const QSize& screen, const QSize& skin);
// The cache position (ms after the start) that a click at x on the fullness
// strip (x from 102 to 437) jumps to, for a cache of cacheMs.
LONGLONG StripJump(int x, ULONG cacheMs);
// The notice of the storage warnings, with the plural ending.
QString WarningText(int stringId, UINT minutes);

class CParvaneDlg : public QWidget {
public:
    CParvaneDlg(AppCore& core, QWidget* parent = nullptr);
    ~CParvaneDlg() override;

    // The start-up of the window; false when it ended itself (EndCode says how).
    bool Init();
    // Called once when the window asks the program to end with a code: 0 after
    // the shutdown road, 2 after a failure or a forced end.
    std::function<void(int)> onEnd;
    int EndCode() const { return m_endCode; }

    // The shutdown road (Close button, closing the window or the playlist's).
    void Shutdown();
    // The last words to the service as the window goes: live playing again.
    void Teardown();
    // The watchdog's verdict: string 344, then the end with 2, no service calls.
    void ForceExit();
    // A window of the program found the controller missing: the internal
    // error, then the end with 2.
    void EndOnInternalError();

    // One poll tick (the timer's body).
    void PollTick();
    void ApplySnapshot(const Snapshot& s);
    void OnEvent(const ControllerEvent& e);

    // The command of a control, as its click delivers it.
    void Command(int id);
    KButtonSkin* Button(int id) const;
    // Indicators carry their state also as the property "state".
    KWndSkin* Indicator(int id) const;
    KScrollButtonSkin* Slider() const { return m_slider; }
    AppCore& Core() const { return m_core; }
    // The web-radio window tells whether it is glued to this window.
    void SetRadioStuck(bool stuck) { m_radioStuck = stuck; }
    // Brings the two recording-source toggles up to the service's settings.
    void RefreshSourceToggles();
    // What a digit display shows ("hh:mm:ss", "nn%").
    QString DisplayText(int id) const;
    CPlayListDlg* PlayList() const { return m_playlist; }
    Notices& notices() { return *m_notices; }
    bool PollAllowed() const { return m_pollAllowed; }
    KCacheLoadingProgress* LoadingDialog() const { return m_loading; }
    PollWorker* Poller() const { return m_poll.get(); }
    // The jump of a released slider.
    void OnSliderReleased();
    void OnStripClick(int x);
    // Shows the window and the windows it keeps open, as the layout says.
    void ShowWindows();
    // Raises the window (a second start asked for it).
    void ShowFromOutside();

protected:
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool QueryControllerInterfaces();
    bool CheckAudioDevice();
    bool RestoreLayoutAndAdvise();
    void BuildControls();
    void End(int code);
    bool Ready();  // the controller is there and the service answers
    bool Ok(HRESULT hr, const char* call);

    void OnPlayPause();
    void OnRecordStop();
    void OnLive();
    void OnJump(LONGLONG ms);
    void OnNewRecording();
    void OnSourceToggle(int id);
    void OnAlwaysOnTop();
    void OnPlayListToggle();
    void OnRadioToggle();
    void OnFinePosition();
    void OnMinimize();
    void SetFace(int id, int base, int tooltipId);
    void SetIndicator(int id, int state);
    void SetTimeDisplay(int id, ULONG ms);
    void StoreWindowRects();
    void ShowPlayList(bool show);
    void StartCacheLoading();
    void EndCacheLoading(UINT size);

    AppCore& m_core;
    plat::ComPtr<ISettings> m_settings;
    plat::ComPtr<IAudioManager> m_audio;
    plat::ComPtr<ICaptureManager> m_capture;

    KDialogSkin m_skin{this};
    std::map<int, KButtonSkin*> m_buttons;
    std::map<int, KWndSkin*> m_indicators;
    std::map<int, CShowTime*> m_times;
    KShowPercentsCtrl* m_percent = nullptr;
    KScrollButtonSkin* m_slider = nullptr;
    CPlayListDlg* m_playlist = nullptr;
    QPointer<CPlayPositionDialog> m_fine;
    KCacheLoadingProgress* m_loading = nullptr;
    std::unique_ptr<Notices> m_notices;

    // Face flags: -1 until the first poll sets the face, else 0 or 1.
    int m_playFace = -1;
    int m_recFace = -1;
    int m_liveInd = -1;
    int m_recInd = -1;
    int m_fullInd = -1;
    int m_meter = -1;
    BYTE m_lastPercent = 0;

    bool m_alwaysOnTop = false;
    bool m_mainOpen = true;
    bool m_playlistOpen = false;
    bool m_playlistStuck = false;
    bool m_radioOpen = false;
    bool m_radioStuck = false;
    bool m_dragging = false;
    QPoint m_dragPoint;

    bool m_pollAllowed = true;
    QTimer m_timer;
    std::unique_ptr<PollWorker> m_poll;
    std::unique_ptr<Watchdog> m_watchdog;
    plat::ComPtr<ControllerEventSink> m_sink;
    Advice m_advice;
    int m_endCode = -1;
    bool m_tornDown = false;
    bool m_inShutdown = false;
};

}  // namespace parvane
