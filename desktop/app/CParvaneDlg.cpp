#include "desktop/app/CParvaneDlg.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <climits>

#include "desktop/app/BackgroundCall.h"
#include "desktop/app/CPlayListDlg.h"
#include "desktop/app/CPlayPositionDialog.h"
#include "desktop/app/KCacheLoadingProgress.h"
#include "desktop/app/Strings.h"
#include "desktop/controls/CShowTime.h"
#include "desktop/controls/KButton.h"
#include "desktop/controls/KButtonSkin.h"
#include "desktop/controls/KScrollButtonSkin.h"
#include "desktop/controls/KShowPercentsCtrl.h"
#include "desktop/controls/KSkinManifest.h"
#include "desktop/controls/KSkinMetrics.h"
#include "desktop/controls/KSkinResources.h"
#include "desktop/controls/KTabOrder.h"
#include "desktop/controls/KWndSkin.h"
#include "platform/com/Bstr.h"
#include "service/foundation/KTimecode.h"

namespace parvane {

namespace {

// Fullness strip, in client pixels.
constexpr int kStripLeft = 102;
constexpr int kStripWidth = 335;
constexpr int kStripTop = 142;
constexpr int kStripBottom = 150;

struct ButtonSpec {
    int id;
    const char* text;
    std::vector<int> bitmaps;
};

// The buttons of the window: their texts and skin bitmaps (four per face).
const ButtonSpec kButtons[] = {
    {1001, "Play", {531, 532, 533, 534, 535, 536, 537, 538}},
    {1000, "Start record", {523, 524, 525, 526, 527, 528, 529, 530}},
    {1004, "Switch to a live mode", {196, 197, 198, 199}},
    {1005, "Skip 30 seconds", {179, 180, 181, 182}},
    {1006, "Back 30 seconds", {183, 184, 185, 186}},
    {1007, "Skip 5 seconds", {175, 176, 177, 178}},
    {1008, "Back 5 seconds", {171, 172, 173, 174}},
    {1107, "Enable record from Playback Device", {412, 412, 412, 412, 411, 411, 411, 411}},
    {1108, "Enable record from Recording Device", {414, 414, 414, 414, 413, 413, 413, 413}},
    {1012, "Allways On Top", {236, 237, 237, 239}},
    {1013, "View and change settings", {247, 248, 249, 250}},
    {1014, "Start a new recording", {240, 241, 242, 243}},
    {1015, "PlayList", {520, 521, 521, 522, 519, 519, 519, 518}},
    {1011, "Radio", {515, 516, 516, 517, 514, 514, 514, 513}},
    {1119, "Fine position", {415, 416, 417, 418}},
    {1077, "Help", {244, 245, 246, 244}},
    {1076, "Minimize", {255, 256, 257, 255}},
    {1075, "Close", {259, 260, 261, 259}},
};

// The indicators and their state bitmaps.
const std::pair<int, std::vector<int>> kIndicators[] = {
    {1063, {155, 156}},
    {1064, {158, 157}},
    {1065, {159, 160}},
    {1066, {312, 313, 314, 315, 316, 317, 318, 319, 320, 311}},
    {1080, {310}},
};

// A control's place on the skin: the skin's own, else a fallback.
QRect ControlRect(int id, const QRect& fallback) {
    QRect r = KSkinManifest::MainControlRect(id);
    return r.isEmpty() ? fallback : r;
}


QSize ScreenSize() {
    if (QScreen* s = QGuiApplication::primaryScreen()) return s->geometry().size();
    return QSize(1024, 768);
}

}  // namespace

QSize MainSkinSize() {
    QSize size = KSkinManifest::BitmapSize(510);
    return size.isEmpty() ? QSize(470, 190) : size;
}

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
    m_skin.AddBitmapResource(510, KDialogSkin::kBuildRegion, kSkinKeyColour);
    setFixedSize(MainSkinSize());
    m_skin.SelectState(0);
    BuildControls();
    GetSkinBitmaps().SetMainWindow(this);
    m_notices = std::make_unique<Notices>(2000, 5);
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
    // Each skinned control takes the place of a placeholder with its id.
    auto placeholder = [this](int id, const QRect& rect) {
        auto* item = new QWidget(this);
        item->setProperty(kControlIdProperty, id);
        item->setGeometry(rect);
        return item;
    };
    int x = 10;
    for (const auto& spec : kButtons) {
        placeholder(spec.id, ControlRect(spec.id, QRect(x, 150, 24, 24)));
        x += 26;
        auto* button = new KButtonSkin(this);
        button->setObjectName(QString::number(spec.id));
        InitSkinButton(this, *button, spec.id, spec.bitmaps.data(), int(spec.bitmaps.size()));
        button->SetText(QString::fromUtf8(spec.text));
        connect(button, &KWndSkin::command, this, [this](int id) { Command(id); });
        m_buttons[spec.id] = button;
    }
    m_buttons[1012]->SetStyle(KButton::kStyleLatching);
    SetFace(1001, 0, 107);
    SetFace(1000, 0, 109);
    SetFace(1015, 0, 1123);
    SetFace(1011, 0, 360);
    for (const auto& [id, bitmaps] : kIndicators) {
        auto* indicator = new KWndSkin(this);
        indicator->setObjectName(QString::number(id));
        indicator->setGeometry(ControlRect(id, QRect(10, 10, 20, 14)));
        for (int bitmap : bitmaps) indicator->AddBitmapResource(bitmap, 0, kSkinKeyColour);
        indicator->SelectState(0);
        indicator->setProperty("state", 0);
        indicator->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_indicators[id] = indicator;
    }
    // The digit displays: the play position, the cache's fullness as time and in per cent.
    auto pixmaps = [](std::initializer_list<int> ids) {
        std::vector<QPixmap> out;
        for (int id : ids) out.push_back(QPixmap::fromImage(LoadSkinBitmap(id)));
        return out;
    };
    const std::vector<QPixmap> fullnessDigits = pixmaps({298, 299, 301, 302, 303, 304, 305, 306, 307, 297});
    for (int id : {1051, 1052}) {
        auto* time = new CShowTime(this);
        time->setObjectName(QString::number(id));
        time->setGeometry(ControlRect(id, QRect(20, 40, 110, 20)));
        std::vector<QPixmap> digits =
            id == 1051 ? pixmaps({143, 141, 142, 144, 145, 146, 147, 148, 150, 152, 153}) : fullnessDigits;
        if (id == 1052) digits.push_back(QPixmap::fromImage(LoadSkinBitmap(308)));
        time->SetBitmaps(std::move(digits));
        time->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_times[id] = time;
    }
    m_percent = new KShowPercentsCtrl(this);
    m_percent->setObjectName(QStringLiteral("1053"));
    m_percent->setGeometry(ControlRect(1053, QRect(380, 40, 24, 14)));
    m_percent->SetBitmaps(fullnessDigits);
    m_percent->setAttribute(Qt::WA_TransparentForMouseEvents);
    placeholder(1081, ControlRect(1081, QRect(kStripLeft, 122, 10, 14)));
    m_slider = new KScrollButtonSkin(this);
    m_slider->setObjectName(QStringLiteral("1081"));
    const int thumb[] = {326, 327, 325};
    InitSkinButton(this, *m_slider, 1081, thumb, 3);
    m_slider->Attach(kStripWidth);
    connect(m_slider, &KWndSkin::command, this, [this](int id) { Command(id); });
    // Names for screen readers: the displays say what they show, their value is the figure.
    m_times[1051]->setAccessibleName(QStringLiteral("Play position"));
    m_times[1052]->setAccessibleName(QStringLiteral("Cache used"));
    m_percent->setAccessibleName(QStringLiteral("Cache used in per cent"));
    SetTabOrderByPlace(this);
}

void CParvaneDlg::Command(int id) {
    switch (id) {
    case 1001: OnPlayPause(); break;
    case 1000: OnRecordStop(); break;
    case 1004: OnLive(); break;
    case 1006: OnJump(-30000); break;
    case 1008: OnJump(-5000); break;
    case 1007: OnJump(5000); break;
    case 1005: OnJump(30000); break;
    case 1014: OnNewRecording(); break;
    case 1107:
    case 1108: OnSourceToggle(id); break;
    case 1012: OnAlwaysOnTop(); break;
    case 1015: OnPlayListToggle(); break;
    case 1011: OnRadioToggle(); break;
    case 1119: OnFinePosition(); break;
    case 1076: OnMinimize(); break;
    case 1075: Shutdown(); break;
    case 1013:
        if (m_core.seams().hooks.settings) m_core.seams().hooks.settings(this);
        break;
    case 1077:
        if (m_core.seams().hooks.help) m_core.seams().hooks.help(this);
        break;
    case KScrollButtonSkin::kReleasedCommand: OnSliderReleased(); break;
    default: break;
    }
}

KButtonSkin* CParvaneDlg::Button(int id) const {
    auto it = m_buttons.find(id);
    return it == m_buttons.end() ? nullptr : it->second;
}

KWndSkin* CParvaneDlg::Indicator(int id) const {
    auto it = m_indicators.find(id);
    return it == m_indicators.end() ? nullptr : it->second;
}

QString CParvaneDlg::DisplayText(int id) const {
    if (id == 1053) return m_percent->Text();
    auto it = m_times.find(id);
    return it == m_times.end() ? QString() : it->second->Text();
}

void CParvaneDlg::SetTimeDisplay(int id, ULONG ms) {
    KTimecode tc;
    tc.FromMilliseconds(ms);
    m_times[id]->SetTime(tc);
}
void CParvaneDlg::SetFace(int id, int base, int tooltipId) {
    KButtonSkin* button = m_buttons[id];
    button->SetBitmapIndex(base);
    button->SetText(Str(tooltipId));
}

void CParvaneDlg::SetIndicator(int id, int state) {
    m_indicators[id]->SelectState(state);
    m_indicators[id]->setProperty("state", state);
}

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
    if (m_core.prompter().Show(this, Str(150), Icon::Question, Buttons::YesNo) == Answer::Yes && m_core.seams().sound &&
        !m_core.seams().sound->MakeDefaultPlayback(QStringLiteral("Tonquil Audio")))
        m_core.prompter().Show(this, QString::fromUtf8(kDefaultOutputFailed), Icon::Error, Buttons::Ok);
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
    m_playlist->onStuck = [this](bool stuck) { m_playlistStuck = stuck; };

    // The window has a place before any dialog centres on it (the stored
    // place is taken later, with the rest of the layout).
    setGeometry(CheckMainRect(QRect(), ScreenSize(), MainSkinSize()));

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
    m_slider->SetRange(cacheSize);
    m_slider->SetBounds(startRead, std::max(record, startRead));
    m_slider->SetValue(std::max<LONGLONG>(LONGLONG(play) - startRead, 0));
    SetTimeDisplay(1051, play);
    SetTimeDisplay(1052, timeFull);
    m_percent->SetPercent(std::min<int>(percent, 99));

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
        setWindowFlag(Qt::WindowStaysOnTopHint, true);
    }
    LONG l = 0, t = 0, r = 0, b = 0;
    if (!Ok(m_settings->GetMainRect(&l, &t, &r, &b), "GetMainRect")) return false;
    const QSize screen = ScreenSize();
    QRect stored(QPoint(l, t), QPoint(r - 1, b - 1));
    setGeometry(CheckMainRect(stored, screen, MainSkinSize()));

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
        listRect = QRect(QPoint(geometry().right() + 1, geometry().top()), GetSkinBitmaps().m_listSize);
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
    m_core.PollAnswered(s.started);
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
    SetTimeDisplay(1052, s.timeFullness);
    BYTE percent = std::min<BYTE>(s.percent, 99);
    if (percent / 10 != m_meter) SetIndicator(1066, m_meter = percent / 10);
    m_percent->SetPercent(percent);
    if (percent != m_lastPercent) {
        m_lastPercent = percent;
        update(kStripLeft, kStripTop, kStripWidth, kStripBottom - kStripTop);
    }
    // Positions; a record position before the readable start is taken as the start.
    ULONG record = std::max(s.record, s.startRead);
    SetTimeDisplay(1051, s.play);
    if (m_fine) {
        m_fine->SetMaxPosition(record);
        m_fine->SetMinPosition(s.startRead);
    }
    if (!m_slider->IsDragging()) {
        m_slider->SetBounds(s.startRead, record);
        m_slider->SetValue(std::clamp<LONGLONG>(LONGLONG(s.play) - s.startRead, 0, LONGLONG(record) - s.startRead));
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
        m_slider->SetRange(size);
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
    // What the service took is saved and shown even when it could not apply
    // all of it; what failed is said once.
    const char* call = "";
    bool saved = false;
    plat::ComPtr<IAudioController> controller = m_core.controller;
    HRESULT hr = UpdateAndSaveSettings(
        [this, controller] {
            return CallInBackground(this, QString::fromUtf8(kApplyingSettings),
                                    [controller] { return controller->UpdateSettings(); });
        },
        m_settings.Get(), &call, &saved);
    if (saved) RefreshSourceToggles();
    Ok(hr, call);
}

void CParvaneDlg::OnAlwaysOnTop() {
    if (!Ready()) return;
    bool on = !m_alwaysOnTop;
    if (!Ok(m_settings->SetAlwaysOnTopState(on ? 1 : 0), "SetAlwaysOnTopState")) return;
    m_alwaysOnTop = on;
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
        if (m_playlistStuck) m_playlist->StickToMain(true);
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
    ULONGLONG v = ULONGLONG(std::max<qint64>(m_slider->GetValue(), 0));
    ULONG s = 0, r = 0;
    auto& c = m_core.controller;
    if (!Ok(c->GetStartReadPos(&s), "GetStartReadPos") || !Ok(c->GetRecordPosition(&r), "GetRecordPosition")) return;
    HRESULT hr = ULONGLONG(s) + v < r ? c->SetPlayPosition(LONGLONG(v), posStart) : c->SetPlayPosition(0, posEnd);
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

void CParvaneDlg::EndOnInternalError() {
    m_core.ShowInternalError(this);
    End(2);
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
    if (m_skin.GetCurrentState() >= 0)
        m_skin.Draw(painter);
    else
        painter.fillRect(rect(), QColor(0x6f, 0x18, 0x22));
    painter.setPen(QPen(QColor(151, 40, 23), 2));
    painter.drawLine(kStripLeft, 146, kStripLeft + m_lastPercent * kStripWidth / 100, 146);
}

}  // namespace parvane
