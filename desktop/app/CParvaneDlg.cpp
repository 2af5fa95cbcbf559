#include "desktop/app/CParvaneDlg.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSlider>
#include <QToolButton>

#include <algorithm>
#include <climits>

#include "desktop/app/CPlayListDlg.h"
#include "desktop/app/CPlayPositionDialog.h"
#include "desktop/app/KCacheLoadingProgress.h"
#include "desktop/app/Strings.h"
#include "platform/com/Bstr.h"
#include "service/foundation/KTimecode.h"

namespace parvane {

namespace {

// Fullness strip, in client pixels.
constexpr int kStripLeft = 102;
constexpr int kStripWidth = 335;
constexpr int kStripTop = 142;
constexpr int kStripBottom = 150;

struct ControlSpec {
    int id;
    const char* text;
    int x;
    int y;
};

// The buttons of the window, with their texts and places.
const ControlSpec kButtons[] = {
    {1001, "Play", 10, 40},
    {1000, "Start record", 60, 40},
    {1004, "Switch to a live mode", 110, 40},
    {1006, "Back 30 seconds", 160, 40},
    {1008, "Back 5 seconds", 210, 40},
    {1007, "Skip 5 seconds", 260, 40},
    {1005, "Skip 30 seconds", 310, 40},
    {1107, "Enable record from Playback Device", 10, 90},
    {1108, "Enable record from Recording Device", 60, 90},
    {1012, "Allways On Top", 470, 4},
    {1013, "View and change settings", 110, 90},
    {1014, "Start a new recording", 160, 90},
    {1015, "PlayList", 210, 90},
    {1011, "Radio", 260, 90},
    {1119, "Fine position", 310, 90},
    {1077, "Help", 440, 4},
    {1076, "Minimize", 500, 4},
    {1075, "Close", 520, 4},
};

QString ClockText(ULONG ms) {
    KTimecode tc;
    tc.FromMilliseconds(ms);
    return QString::asprintf("%02x:%02x:%02x", tc.GetHours(), tc.GetMinutes(), tc.GetSeconds());
}

}  // namespace

QRect CheckMainRect(const QRect& stored, const QSize& screen, const QSize& skin) {
    QPoint corner;
    bool keep = stored.width() > 0 && stored.height() > 0 && stored.left() >= 0 && stored.top() >= 0 &&
                stored.left() + stored.width() <= screen.width() && stored.top() + stored.height() <= screen.height();
    if (keep)
        corner = stored.topLeft();
    else
        corner = QPoint(screen.width() / 2 - skin.width() / 2, screen.height() / 2 - skin.height() / 2);
    return QRect(corner, skin);
}

LONGLONG StripJump(int x, ULONG cacheMs) {
    LONGLONG offset = std::clamp(x - kStripLeft, 0, kStripWidth);
    LONGLONG product = offset * LONGLONG(cacheMs);
    LONGLONG q = product / kStripWidth;
    if (product % kStripWidth > kStripWidth / 2) ++q;
    return q;
}

QString WarningText(int stringId, UINT minutes) {
    QString text = QString::asprintf(Str(stringId).toUtf8().constData(), int(minutes));
    if (minutes > 1) text += QLatin1Char('s');
    return text;
}

CParvaneDlg::CParvaneDlg(AppCore& core, QWidget* parent) : QWidget(parent), m_core(core) {
    setWindowTitle(QStringLiteral("Tonquil"));
    setWindowFlag(Qt::FramelessWindowHint);
    setFixedSize(kMainSkinSize);
    BuildControls();
    m_notices = std::make_unique<Notices>(this, 2000, 5);
    m_core.notice = [this](const QString& text) { m_notices->Show(text); };
    m_timer.setInterval(100);
    connect(&m_timer, &QTimer::timeout, this, [this] { PollTick(); });
}

CParvaneDlg::~CParvaneDlg() {
    m_timer.stop();
    if (m_watchdog) m_watchdog->Stop();
    if (m_poll) m_poll->Stop();
    if (m_sink) m_sink->Close();
    m_advice.Reset();
    m_core.notice = nullptr;
    delete m_playlist;
}

void CParvaneDlg::BuildControls() {
    for (const auto& spec : kButtons) {
        auto* button = new QToolButton(this);
        button->setObjectName(QString::number(spec.id));
        button->setText(QString::fromUtf8(spec.text));
        button->setToolTip(QString::fromUtf8(spec.text));
        button->setProperty("base", 0);
        button->setGeometry(spec.x, spec.y, spec.id >= 1075 && spec.id <= 1077 ? 18 : 46,
                            spec.id >= 1075 && spec.id <= 1077 ? 18 : 40);
        m_buttons[spec.id] = button;
    }
    m_buttons[1012]->setCheckable(true);
    SetFace(1001, 0, 107);
    SetFace(1000, 0, 109);
    SetFace(1015, 0, 1123);
    SetFace(1011, 0, 360);
    const ControlSpec labels[] = {{1063, "", 370, 40}, {1064, "", 400, 40}, {1065, "", 430, 40}, {1066, "", 460, 40},
                                  {1051, "", 370, 70}, {1052, "", 370, 100}, {1053, "", 470, 100}};
    for (const auto& spec : labels) {
        auto* label = new QLabel(this);
        label->setObjectName(QString::number(spec.id));
        label->setProperty("state", 0);
        label->setGeometry(spec.x, spec.y, spec.id >= 1051 && spec.id <= 1053 ? 90 : 26, 24);
        m_labels[spec.id] = label;
    }
    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setObjectName(QStringLiteral("1081"));
    m_slider->setGeometry(kStripLeft, 160, kStripWidth, 20);
    connect(m_slider, &QSlider::sliderPressed, this, [this] { m_sliderHeld = true; });
    connect(m_slider, &QSlider::sliderReleased, this, [this] {
        m_sliderHeld = false;
        OnSliderReleased();
    });

    auto on = [this](int id, auto handler) { connect(m_buttons[id], &QToolButton::clicked, this, handler); };
    on(1001, [this] { OnPlayPause(); });
    on(1000, [this] { OnRecordStop(); });
    on(1004, [this] { OnLive(); });
    on(1006, [this] { OnJump(-30000); });
    on(1008, [this] { OnJump(-5000); });
    on(1007, [this] { OnJump(5000); });
    on(1005, [this] { OnJump(30000); });
    on(1014, [this] { OnNewRecording(); });
    on(1107, [this] { OnSourceToggle(1107); });
    on(1108, [this] { OnSourceToggle(1108); });
    on(1012, [this] { OnAlwaysOnTop(); });
    on(1015, [this] { OnPlayListToggle(); });
    on(1011, [this] { OnRadioToggle(); });
    on(1119, [this] { OnFinePosition(); });
    on(1076, [this] { OnMinimize(); });
    on(1075, [this] { Shutdown(); });
    on(1013, [this] {
        if (m_core.seams().hooks.settings) m_core.seams().hooks.settings(this);
    });
    on(1077, [this] {
        if (m_core.seams().hooks.help) m_core.seams().hooks.help(this);
    });
}

QToolButton* CParvaneDlg::Button(int id) const {
    auto it = m_buttons.find(id);
    return it == m_buttons.end() ? nullptr : it->second;
}

QLabel* CParvaneDlg::Indicator(int id) const {
    auto it = m_labels.find(id);
    return it == m_labels.end() ? nullptr : it->second;
}

QLabel* CParvaneDlg::Display(int id) const { return Indicator(id); }

void CParvaneDlg::SetFace(int id, int base, int tooltipId) {
    QToolButton* button = m_buttons[id];
    button->setProperty("base", base);
    button->setToolTip(Str(tooltipId));
    button->setText(Str(tooltipId));
}

void CParvaneDlg::SetIndicator(int id, int state) { m_labels[id]->setProperty("state", state); }

void CParvaneDlg::End(int code) {
    if (m_endCode >= 0) return;
    m_endCode = code;
    m_timer.stop();
    if (code == 2) hide();
    if (onEnd) onEnd(code);
}

bool CParvaneDlg::Ready() {
    if (!m_core.controller) {
        m_core.ShowInternalError(this);
        End(2);
        return false;
    }
    return !m_core.Refuse(this);
}

bool CParvaneDlg::Ok(HRESULT hr, const char* call) {
    if (SUCCEEDED(hr)) return true;
    m_core.ShowControllerErrors(this, call, hr);
    return false;
}

bool CParvaneDlg::QueryControllerInterfaces() {
    auto& c = m_core.controller;
    bool ok = c && SUCCEEDED(c.As(&m_settings)) && SUCCEEDED(c.As(&m_audio)) && SUCCEEDED(c.As(&m_capture));
    if (!ok) {
        m_core.prompter().Show(this, Str(112), Icon::Error, Buttons::Ok);
        End(2);
    }
    return ok;
}

bool CParvaneDlg::CheckAudioDevice() {
    plat::Bstr name;
    HRESULT hr = m_audio->GetDefaultDevice(name.Out());
    if (!Ok(hr, "GetDefaultDevice")) return false;
    if (plat::BstrToUtf8(name).find("Tonquil Audio") != std::string::npos) return true;
    if (m_core.prompter().Show(this, Str(150), Icon::Information, Buttons::YesNo) == Answer::Yes &&
        m_core.seams().sound)
        m_core.seams().sound->MakeDefaultPlayback(QStringLiteral("Tonquil Audio"));
    return true;
}

bool CParvaneDlg::Init() {
    if (!QueryControllerInterfaces()) return false;
    if (m_core.seams().link)
        m_watchdog = std::make_unique<Watchdog>(m_core.seams().link, m_core.seams().watchdogPeriodMs, [this] {
            QMetaObject::invokeMethod(this, [this] { ForceExit(); }, Qt::QueuedConnection);
        });
    m_playlist = new CPlayListDlg(m_core, this);
    m_playlist->onHidden = [this] {
        m_playlistOpen = false;
        SetFace(1015, 0, 1123);
    };
    m_playlist->onCloseRequest = [this] { Shutdown(); };
    m_playlist->onEnd = [this](int code) { End(code); };

    // The sign-up form while the program is not registered.
    LONG registered = 1;
    if (!Ok(m_settings->GetRegistered(&registered), "GetRegistered")) {
        End(2);
        return false;
    }
    if (!registered && m_core.seams().hooks.signUp && m_core.seams().hooks.signUp(this)) {
        if (!Ok(m_settings->SetRegistered(1), "SetRegistered") || !Ok(m_settings->SaveSettings(), "SaveSettings")) {
            End(2);
            return false;
        }
    }
    // Nothing of the window is shown before the device check has passed.
    if (!CheckAudioDevice()) {
        End(2);
        return false;
    }
    if (m_core.seams().hooks.updateAtStart && !m_core.seams().hooks.updateAtStart(this, m_settings.Get())) {
        End(2);
        return false;
    }

    ULONG startRead = 0, record = 0, play = 0, cacheSize = 0, timeFull = 0;
    BYTE percent = 0;
    auto& c = m_core.controller;
    if (!Ok(c->GetStartReadPos(&startRead), "GetStartReadPos") || !Ok(c->GetRecordPosition(&record), "GetRecordPosition") ||
        !Ok(c->GetPlayPosition(&play), "GetPlayPosition") || !Ok(m_settings->GetCacheSize(&cacheSize), "GetCacheSize") ||
        !Ok(c->GetTimeFullness(&timeFull), "GetTimeFullness") ||
        !Ok(c->GetPercentFullness(&percent), "GetPercentFullness")) {
        End(2);
        return false;
    }
    m_slider->setRange(0, int(std::min<ULONG>(cacheSize, INT_MAX)));
    m_slider->setValue(int(std::min<LONGLONG>(std::max<LONGLONG>(LONGLONG(play) - startRead, 0), INT_MAX)));
    m_labels[1051]->setText(ClockText(play));
    m_labels[1052]->setText(ClockText(timeFull));
    m_labels[1053]->setText(QString::number(std::min<int>(percent, 99)));

    if (!m_playlist->Init()) {
        End(2);
        return false;
    }
    if (!RestoreLayoutAndAdvise()) {
        End(2);
        return false;
    }
    m_poll = std::make_unique<PollWorker>(m_core.controller, this, [this](const Snapshot& s) { ApplySnapshot(s); });
    m_timer.start();
    return true;
}

void CParvaneDlg::RefreshSourceToggles() {
    LONG play = 0, rec = 0;
    if (!Ok(m_settings->GetWriteFromPlayDeviceState(&play), "GetWriteFromPlayDeviceState")) return;
    if (!Ok(m_settings->GetWriteFromRecordDeviceState(&rec), "GetWriteFromRecordDeviceState")) return;
    SetFace(1107, play ? 0 : 4, play ? 345 : 346);
    SetFace(1108, rec ? 0 : 4, rec ? 347 : 348);
}

bool CParvaneDlg::RestoreLayoutAndAdvise() {
    m_sink = ControllerEventSink::CreateInstance(this, [this](const ControllerEvent& e) { OnEvent(e); });
    if (!Ok(m_advice.Connect(m_core.controller.Get(), DIID__IAudioControllerEvents, m_sink.Get()), "Advise"))
        return false;
    RefreshSourceToggles();
    LONG top = 0;
    if (!Ok(m_settings->GetAlwaysOnTopState(&top), "GetAlwaysOnTopState")) return false;
    if (top) {
        m_alwaysOnTop = true;
        m_buttons[1012]->setChecked(true);
        setWindowFlag(Qt::WindowStaysOnTopHint, true);
    }
    LONG l = 0, t = 0, r = 0, b = 0;
    if (!Ok(m_settings->GetMainRect(&l, &t, &r, &b), "GetMainRect")) return false;
    QSize screen(1024, 768);
    if (QScreen* s = QGuiApplication::primaryScreen()) screen = s->geometry().size();
    QRect stored(QPoint(l, t), QPoint(r - 1, b - 1));
    setGeometry(CheckMainRect(stored, screen, kMainSkinSize));

    LONG radioOpen = 0, radioStick = 0, listOpen = 0, listStick = 0, mainOpen = 1;
    if (!Ok(m_settings->GetOpenRadio(&radioOpen), "GetOpenRadio") ||
        !Ok(m_settings->GetStickRadio(&radioStick), "GetStickRadio"))
        return false;
    m_radioStuck = radioStick != 0;
    m_radioOpen = radioOpen == 0;
    OnRadioToggle();
    if (!Ok(m_settings->GetPlayListRect(&l, &t, &r, &b), "GetPlayListRect")) return false;
    QRect listRect(QPoint(l, t), QPoint(r - 1, b - 1));
    if (listRect.width() < 200 || listRect.height() < 200 || listRect.left() < 0 || listRect.top() < 0 ||
        listRect.right() > screen.width() || listRect.bottom() > screen.height())
        listRect = QRect(geometry().right() + 1, geometry().top(), 340, 420);
    m_playlist->setGeometry(listRect);
    if (!Ok(m_settings->GetOpenPlayList(&listOpen), "GetOpenPlayList") ||
        !Ok(m_settings->GetStickPlayList(&listStick), "GetStickPlayList"))
        return false;
    m_playlistStuck = listStick != 0;
    m_playlistOpen = listOpen == 0;
    OnPlayListToggle();
    if (!Ok(m_settings->GetOpenMain(&mainOpen), "GetOpenMain")) return false;
    m_mainOpen = mainOpen != 0;
    // Every face is refreshed by the first poll: the flags start unknown.
    m_playFace = m_recFace = m_liveInd = m_recInd = m_fullInd = m_meter = -1;
    return true;
}

void CParvaneDlg::PollTick() {
    if (!m_pollAllowed || !m_poll || m_endCode >= 0) return;
    if (m_poll->InFlight()) {
        if (m_poll->InFlightFor().count() > m_core.seams().notAnsweringMs) m_core.PollOverdue();
        return;
    }
    m_poll->Request();
}

void CParvaneDlg::ApplySnapshot(const Snapshot& s) {
    if (m_endCode >= 0 || m_core.forced) return;
    if (FAILED(s.hr)) {
        m_core.PollFailed(s.failedCall ? s.failedCall : "poll", s.hr);
        return;
    }
    m_core.PollAnswered();
    // Commands.
    auto enable = [this](int id, bool on) {
        if (m_buttons[id]->isEnabled() != on) m_buttons[id]->setEnabled(on);
    };
    enable(1004, s.commands & _ecLive);
    if ((s.commands & _ecPlay) && m_playFace != 1) {
        m_playFace = 1;
        SetFace(1001, 0, 107);
    } else if ((s.commands & _ecPause) && m_playFace != 0) {
        m_playFace = 0;
        SetFace(1001, 4, 108);
    }
    if ((s.commands & _ecRec) && m_recFace != 1) {
        m_recFace = 1;
        SetFace(1000, 0, 109);
    } else if ((s.commands & _ecStop) && m_recFace != 0) {
        m_recFace = 0;
        SetFace(1000, 4, 110);
    }
    enable(1007, s.commands & _ecSkip);
    enable(1005, s.commands & _ecSkip);
    enable(1008, s.commands & _ecBack);
    enable(1006, s.commands & _ecBack);
    // State.
    int live = (s.state & _esReplay) && !(s.state & _esLive) ? 1 : 0;
    if (live != m_liveInd) SetIndicator(1063, m_liveInd = live);
    int rec = (s.state & _esRec) ? 1 : 0;
    if (rec != m_recInd) SetIndicator(1065, m_recInd = rec);
    int full = s.cacheFull ? 1 : 0;
    if (full != m_fullInd) SetIndicator(1064, m_fullInd = full);
    // Fullness.
    m_labels[1052]->setText(ClockText(s.timeFullness));
    BYTE percent = std::min<BYTE>(s.percent, 99);
    if (percent / 10 != m_meter) SetIndicator(1066, m_meter = percent / 10);
    m_labels[1053]->setText(QString::number(percent));
    if (percent != m_lastPercent) {
        m_lastPercent = percent;
        update(kStripLeft, kStripTop, kStripWidth, kStripBottom - kStripTop);
    }
    // Positions; a record position before the readable start is taken as the start.
    ULONG record = std::max(s.record, s.startRead);
    m_labels[1051]->setText(ClockText(s.play));
    if (m_fine) {
        m_fine->SetMaxPosition(record);
        m_fine->SetMinPosition(s.startRead);
    }
    if (!m_sliderHeld) {
        LONGLONG value = std::clamp<LONGLONG>(LONGLONG(s.play) - s.startRead, 0, LONGLONG(record) - s.startRead);
        m_slider->setValue(int(std::min<LONGLONG>(value, INT_MAX)));
    }
    if (m_playlist) m_playlist->ApplyPosition(s.play);
}

void CParvaneDlg::OnEvent(const ControllerEvent& e) {
    if (m_endCode >= 0 || m_core.forced) return;
    switch (e.kind) {
    case ControllerEvent::CacheAlmostFull:
        m_core.Notice(this, WarningText(131, e.value));
        break;
    case ControllerEvent::DiskAlmostFull:
        m_core.Notice(this, WarningText(143, e.value));
        break;
    case ControllerEvent::DiskFull:
        if (!m_core.controller) {
            m_core.ShowInternalError(this);
            End(2);
        } else if (Ok(m_core.controller->StopRecord(), "StopRecord")) {
            m_core.Notice(this, Str(142));
        }
        break;
    case ControllerEvent::CacheLoading:
        StartCacheLoading();
        break;
    case ControllerEvent::CacheLoaded:
        EndCacheLoading(e.value);
        break;
    default:
        if (m_playlist) m_playlist->OnEvent(e);
        break;
    }
}

void CParvaneDlg::StartCacheLoading() {
    // The poll runs on its own thread: stop new ticks; one in flight only
    // delivers a snapshot that the paused window ignores until resumed.
    m_pollAllowed = false;
    delete m_loading;
    m_loading = new KCacheLoadingProgress(this);
    m_loading->setModal(true);
    m_loading->show();
}

void CParvaneDlg::EndCacheLoading(UINT size) {
    if (m_loading) {
        m_loading->setProperty("ending", true);
        m_loading->done(0);
    }
    m_pollAllowed = true;
    if (size != 0) {
        m_slider->setRange(0, int(std::min<UINT>(size, INT_MAX)));
        ULONG ms = size;
        m_core.prompter().Show(this,
                               QString::asprintf(Str(365).toUtf8().constData(), int(ms / 3600000),
                                                 int(ms / 60000 % 60), int(ms / 1000 % 60), int(ms / 10 % 100) * 10),
                               Icon::None, Buttons::Ok);
    }
}

void CParvaneDlg::OnPlayPause() {
    if (!Ready()) return;
    if (m_playFace != 0)
        Ok(m_core.controller->Play(), "Play");
    else
        Ok(m_core.controller->Pause(), "Pause");
}

void CParvaneDlg::OnRecordStop() {
    if (!Ready()) return;
    if (m_recFace != 0)
        Ok(m_core.controller->Record(), "Record");
    else
        Ok(m_core.controller->StopRecord(), "StopRecord");
}

void CParvaneDlg::OnLive() {
    if (Ready()) Ok(m_core.controller->Live(), "Live");
}

void CParvaneDlg::OnJump(LONGLONG ms) {
    if (!Ready()) return;
    if (Ok(m_core.controller->SetPlayPosition(ms, posCurrent), "SetPlayPosition") && m_playlist)
        m_playlist->SelectSong(CPlayListDlg::kFromList);
}

void CParvaneDlg::OnNewRecording() {
    if (!Ready()) return;
    if (m_core.prompter().Show(this, Str(106), Icon::Question, Buttons::YesNo) == Answer::No) return;
    if (Ok(m_core.controller->DropCache(FALSE), "DropCache")) update();
}

void CParvaneDlg::OnSourceToggle(int id) {
    if (!m_settings) {
        m_core.ShowInternalError(this);
        End(2);
        return;
    }
    if (!Ready()) return;
    LONG state = 0;
    if (id == 1107) {
        if (!Ok(m_settings->GetWriteFromPlayDeviceState(&state), "GetWriteFromPlayDeviceState") ||
            !Ok(m_settings->SetWriteFromPlayDeviceState(!state), "SetWriteFromPlayDeviceState"))
            return;
    } else {
        if (!Ok(m_settings->GetWriteFromRecordDeviceState(&state), "GetWriteFromRecordDeviceState") ||
            !Ok(m_settings->SetWriteFromRecordDeviceState(!state), "SetWriteFromRecordDeviceState"))
            return;
    }
    if (!Ok(m_core.controller->UpdateSettings(), "UpdateSettings") ||
        !Ok(m_settings->SaveSettings(), "SaveSettings"))
        return;
    RefreshSourceToggles();
}

void CParvaneDlg::OnAlwaysOnTop() {
    if (!Ready()) {
        m_buttons[1012]->setChecked(m_alwaysOnTop);
        return;
    }
    bool on = !m_alwaysOnTop;
    if (!Ok(m_settings->SetAlwaysOnTopState(on ? 1 : 0), "SetAlwaysOnTopState")) {
        m_buttons[1012]->setChecked(m_alwaysOnTop);
        return;
    }
    m_alwaysOnTop = on;
    m_buttons[1012]->setChecked(on);
    // The flag applies to the windows the user sees.
    for (QWidget* w : {static_cast<QWidget*>(this), static_cast<QWidget*>(m_playlist)}) {
        if (!w) continue;
        bool visible = w->isVisible();
        w->setWindowFlag(Qt::WindowStaysOnTopHint, on);
        if (visible) w->show();
    }
    Ok(m_settings->SaveSettings(), "SaveSettings");
}

void CParvaneDlg::ShowPlayList(bool show) {
    if (!m_playlist) return;
    if (show) {
        if (m_playlistStuck) m_playlist->move(geometry().right() + 1, geometry().top());
        m_playlist->show();
    } else {
        m_playlist->hide();
    }
}

void CParvaneDlg::OnPlayListToggle() {
    if (m_playlistOpen) {
        m_playlistOpen = false;
        SetFace(1015, 0, 1123);
        ShowPlayList(false);
    } else {
        m_playlistOpen = true;
        SetFace(1015, 4, 1124);
        if (isVisible()) ShowPlayList(true);
    }
}

void CParvaneDlg::OnRadioToggle() {
    m_radioOpen = !m_radioOpen;
    SetFace(1011, m_radioOpen ? 4 : 0, m_radioOpen ? 361 : 360);
    if (m_core.seams().hooks.radio) m_core.seams().hooks.radio(this, m_radioOpen);
}

void CParvaneDlg::OnFinePosition() {
    if (!Ready()) return;
    ULONG record = 0, startRead = 0, play = 0;
    auto& c = m_core.controller;
    if (!Ok(c->GetRecordPosition(&record), "GetRecordPosition") || !Ok(c->GetStartReadPos(&startRead), "GetStartReadPos"))
        return;
    CPlayPositionDialog dialog(this);
    dialog.SetMaxPosition(std::max(record, startRead));
    dialog.SetMinPosition(startRead);
    m_fine = &dialog;
    int result = dialog.exec();
    m_fine = nullptr;
    if (result != QDialog::Accepted || !Ready()) return;
    if (!Ok(c->GetPlayPosition(&play), "GetPlayPosition")) return;
    LONGLONG difference = LONGLONG(dialog.Position()) - LONGLONG(play);
    Ok(c->SetPlayPosition(difference, posCurrent), "SetPlayPosition");
}

void CParvaneDlg::OnMinimize() {
    StoreWindowRects();
    m_mainOpen = false;
    showMinimized();
}

void CParvaneDlg::StoreWindowRects() {
    if (!m_settings || m_core.Refuse(this)) return;
    QRect m = geometry();
    if (!Ok(m_settings->SetMainRect(m.left(), m.top(), m.right() + 1, m.bottom() + 1), "SetMainRect")) return;
    QRect p = m_playlist ? m_playlist->geometry() : QRect();
    Ok(m_settings->SetPlayListRect(p.left(), p.top(), p.right() + 1, p.bottom() + 1), "SetPlayListRect");
}

void CParvaneDlg::OnSliderReleased() {
    if (!Ready()) return;
    ULONG v = ULONG(std::max(m_slider->value(), 0));
    ULONG s = 0, r = 0;
    auto& c = m_core.controller;
    if (!Ok(c->GetStartReadPos(&s), "GetStartReadPos") || !Ok(c->GetRecordPosition(&r), "GetRecordPosition")) return;
    HRESULT hr = ULONGLONG(s) + v < r ? c->SetPlayPosition(v, posStart) : c->SetPlayPosition(0, posEnd);
    if (Ok(hr, "SetPlayPosition") && m_playlist) m_playlist->SelectSong(CPlayListDlg::kFromList);
}

void CParvaneDlg::OnStripClick(int x) {
    if (!Ready()) return;
    ULONG cache = 0;
    if (!Ok(m_settings->GetCacheSize(&cache), "GetCacheSize")) return;
    Ok(m_core.controller->SetPlayPosition(StripJump(x, cache), posStart), "SetPlayPosition");
}

void CParvaneDlg::Shutdown() {
    if (m_inShutdown || m_endCode >= 0) return;
    m_inShutdown = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_inShutdown};
    if (!m_core.controller) {
        m_core.ShowInternalError(this);
        return;
    }
    auto& p = m_core.prompter();
    // A service that does not answer cannot be asked: leave without it.
    if (m_core.NotAnswering()) {
        if (p.Show(this, Str(113), Icon::Question, Buttons::YesNo) == Answer::No) return;
        m_core.forced = true;
        if (m_playlist) m_playlist->hide();
        hide();
        End(0);
        return;
    }
    auto& c = m_core.controller;
    ULONG state = 0;
    if (!Ok(c->GetCurrentState(&state), "GetCurrentState")) return;
    if (state & _esRec) {
        if (p.Show(this, Str(111), Icon::Question, Buttons::YesNo) == Answer::No) return;
        if (!Ok(c->StopRecord(), "StopRecord")) return;
    }
    if (p.Show(this, Str(113), Icon::Question, Buttons::YesNo) == Answer::No) return;
    LONG drop = 0;
    if (!Ok(m_settings->GetDropCacheOnExitState(&drop), "GetDropCacheOnExitState")) return;
    if (drop && !Ok(c->DropCache(FALSE), "DropCache")) return;
    if (m_mainOpen) StoreWindowRects();
    if (!Ok(m_settings->SetOpenMain(m_mainOpen), "SetOpenMain") ||
        !Ok(m_settings->SetOpenRadio(m_radioOpen), "SetOpenRadio") ||
        !Ok(m_settings->SetOpenPlayList(m_playlistOpen), "SetOpenPlayList") ||
        !Ok(m_settings->SetStickRadio(m_radioStuck), "SetStickRadio") ||
        !Ok(m_settings->SetStickPlayList(m_playlistStuck), "SetStickPlayList"))
        return;
    if (m_core.seams().hooks.radio && m_radioOpen) m_core.seams().hooks.radio(this, false);
    if (m_playlist) m_playlist->hide();
    hide();
    End(0);
}

void CParvaneDlg::Teardown() {
    if (m_tornDown) return;
    m_tornDown = true;
    m_timer.stop();
    if (m_watchdog) m_watchdog->Stop();
    if (m_poll) m_poll->Stop();
    if (m_sink) m_sink->Close();
    if (!m_core.controller || m_core.forced || m_core.NotAnswering()) return;
    m_advice.Reset();
    if (Ok(m_core.controller->Live(), "Live")) Ok(m_core.controller->Play(), "Play");
}

void CParvaneDlg::ForceExit() {
    if (m_core.forced) return;
    m_core.forced = true;
    m_timer.stop();
    if (m_sink) m_sink->Close();
    m_core.prompter().Show(nullptr, Str(344), Icon::Error, Buttons::Ok);
    if (m_core.seams().hooks.radio && m_radioOpen) m_core.seams().hooks.radio(this, false);
    if (m_playlist) m_playlist->hide();
    hide();
    End(2);
}

void CParvaneDlg::ShowWindows() {
    if (m_mainOpen)
        show();
    else
        showMinimized();
    if (m_playlistOpen) ShowPlayList(true);
}

void CParvaneDlg::ShowFromOutside() {
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

void CParvaneDlg::closeEvent(QCloseEvent* event) {
    if (m_endCode >= 0) {
        event->accept();
        return;
    }
    event->ignore();
    Shutdown();
}

void CParvaneDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1 && m_core.seams().hooks.help) {
        m_core.seams().hooks.help(this);
        return;
    }
    QWidget::keyPressEvent(event);
}

void CParvaneDlg::mousePressEvent(QMouseEvent* event) {
    QPoint p = event->position().toPoint();
    if (p.y() < 28) {
        m_dragging = true;
        m_dragPoint = event->globalPosition().toPoint();
        return;
    }
    if (p.x() >= kStripLeft && p.x() <= kStripLeft + kStripWidth && p.y() >= kStripTop && p.y() <= kStripBottom)
        OnStripClick(p.x());
}

void CParvaneDlg::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging) return;
    QPoint now = event->globalPosition().toPoint();
    QRect target = geometry().translated(now - m_dragPoint);
    m_dragPoint = now;
    if (m_playlist && m_playlist->isVisible()) {
        QRect list = m_playlist->geometry();
        if (!m_playlistStuck && std::abs(target.right() + 1 - list.left()) < 15 && std::abs(target.top() - list.top()) < 15) {
            QPoint shift(list.left() - (target.right() + 1), list.top() - target.top());
            target.translate(shift);
            m_dragPoint += shift;
            m_playlistStuck = true;
        }
        if (m_playlistStuck) m_playlist->move(target.right() + 1, target.top());
    }
    move(target.topLeft());
}

void CParvaneDlg::mouseReleaseEvent(QMouseEvent*) { m_dragging = false; }

void CParvaneDlg::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange && !isMinimized()) m_mainOpen = true;
    if (event->type() == QEvent::EnabledChange && m_playlist) m_playlist->setEnabled(isEnabled());
    QWidget::changeEvent(event);
}

void CParvaneDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0x6f, 0x18, 0x22));
    painter.setPen(QPen(QColor(151, 40, 23), 2));
    painter.drawLine(kStripLeft, 146, kStripLeft + m_lastPercent * kStripWidth / 100, 146);
}

}  // namespace parvane
