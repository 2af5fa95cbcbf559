#include "desktop/app/CRadioDlg.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QWebChannel>
#include <QWebEngineLoadingInfo>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

#include <cstdlib>

#include "desktop/app/ExtrasText.h"
#include "desktop/app/KExtrasContext.h"
#include "desktop/app/KNet.h"
#include "desktop/app/KSite.h"
#include "desktop/controls/KSkinMetrics.h"

namespace parvane {

namespace {

constexpr quint32 kWorld = QWebEngineScript::ApplicationWorld;

// The local page template; the message goes into its paragraph.
constexpr const char* kTemplate =
    "<html><body style=\"background:#6b1822;font-family:Arial,sans-serif;font-size: 14px;color: "
    "#fff;text-align:center\"><p id=\"labelMessage\">%1</p></body></html>";

// Catches the page's play, stop and "Try again" links before they navigate,
// in a world of its own that the page's scripts cannot reach. It runs as the
// document is made, so a click while the page still loads is caught too.
constexpr const char* kClickScript = R"JS(
(function () {
  if (window.__tonquilRadio) return;
  window.__tonquilRadio = true;
  var bridge = null;
  var early = [];  // clicks made before the channel stood
  new QWebChannel(qt.webChannelTransport, function (channel) {
    bridge = channel.objects.radio;
    bridge.ready();
    for (var i = 0; i < early.length; ++i) bridge.clicked(early[i]);
    early = [];
  });
  document.addEventListener('click', function (e) {
    var a = e.target && e.target.closest ? e.target.closest('a') : null;
    if (!a) return;
    var href = a.getAttribute('href') || '';
    var kinds = ['aPlay', 'aStop', 'TryAgain'];
    for (var i = 0; i < kinds.length; ++i) {
      if (href.endsWith('#' + kinds[i])) {
        e.preventDefault();
        e.stopPropagation();
        if (bridge) bridge.clicked(kinds[i]);
        else early.push(kinds[i]);
        return;
      }
    }
  }, true);
})();
)JS";

// A text as a JavaScript string literal.
QString Js(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

// Dialog 349: "MS Shell Dlg" 8, 147 x 91 units.
SDialogTemplate RadioTemplate() {
    return SDialogTemplate::WithFont(CRadioDlg::kDialogId, QSize(147, 91), QStringLiteral("MS Shell Dlg"), 8,
                                     {{CRadioDlg::kExtraPartMarkId, QRect(19, 6, 54, 7)},
                                      {CRadioDlg::kCloseId, QRect(36, 5, 10, 9)},
                                      {CRadioDlg::kViewId, QRect(7, 7, 90, 60)}});
}

qint64 SteadyNow() {
    static QElapsedTimer clock;
    if (!clock.isValid()) clock.start();
    return clock.elapsed();
}

}  // namespace

KRadioPage::KRadioPage(CRadioDlg* owner, QObject* parent) : QWebEnginePage(parent), m_owner(owner) {}

bool KRadioPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    return m_owner->OnNavigation(url, isMainFrame, type == NavigationTypeRedirect);
}

void KRadioBridge::clicked(const QString& kind) { m_owner->OnClicked(kind); }
void KRadioBridge::ready() { m_owner->OnBridgeReady(); }

CRadioDlg::CRadioDlg(const KExtrasContext& context, std::unique_ptr<IRadioPlayer> player, QWidget* main)
    : KStickyManualSkinDlg(main), m_context(context), m_player(std::move(player)), m_bridge(this) {
    setWindowTitle(QStringLiteral("Tonquil"));
    now = SteadyNow;
    SetResizable(true);
    m_view = new QWebEngineView(this);
    m_view->setProperty(kControlIdProperty, kViewId);
    m_page = new KRadioPage(this, m_view);
    m_view->setPage(m_page);
    // The window and its items in the template's font at the reference
    // resolution, at least as large as the skin wants it.
    InitFromTemplate(RadioTemplate(), kCloseId, kExtraPartBitmap, kExtraPartMarkId);
    resize(size().expandedTo(MinimumSkinSize()));

    m_channel = new QWebChannel(this);
    m_channel->registerObject(QStringLiteral("radio"), &m_bridge);
    m_page->setWebChannel(m_channel, kWorld);
    QFile channelJs(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    channelJs.open(QIODevice::ReadOnly);
    QWebEngineScript script;
    script.setName(QStringLiteral("tonquil-radio"));
    script.setSourceCode(QString::fromUtf8(channelJs.readAll()) + QString::fromUtf8(kClickScript));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(kWorld);
    script.setRunsOnSubFrames(false);
    m_page->scripts().insert(script);

    connect(&CloseButton(), &KWndSkin::command, this, [this] {
        if (onCloseRequest) onCloseRequest();
        else hide();
    });
    connect(m_page, &QWebEnginePage::loadingChanged, this, &CRadioDlg::OnLoading);
    connect(m_page, &QWebEnginePage::loadStarted, this, &CRadioDlg::OnLoadStarted);

    m_player->onOpenState = [this](int state) { MirrorState("OpenState_", "labelOpenState", state); };
    m_player->onPlayState = [this](int state) { MirrorState("PlayState_", "labelPlayState", state); };

    m_loadLimit.setSingleShot(true);
    connect(&m_loadLimit, &QTimer::timeout, this, &CRadioDlg::OnLoadLimit);

    m_address = m_context.site.RadioUrl();
    ShowPageMessage(QString());  // the station list waits for the first show
}

CRadioDlg::~CRadioDlg() {
    m_player->onOpenState = nullptr;
    m_player->onPlayState = nullptr;
    m_player->SetSource(QUrl());
}

QUrl CRadioDlg::StreamUrl(const QString& elementText) {
    const QString text = elementText.trimmed();
    if (text.isEmpty() || text.size() > kMaxStreamLength) return QUrl();
    const QUrl url(text, QUrl::StrictMode);
    return IsWebUrl(url) ? url : QUrl();
}

void CRadioDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (onExitRequest) onExitRequest();
}

HRESULT CRadioDlg::RestoreRect(ISettings* settings, const QRect& main, bool stuck) {
    LONG l = 0, t = 0, r = 0, b = 0;
    HRESULT hr = settings->GetRadioRect(&l, &t, &r, &b);
    if (hr != S_OK) return FAILED(hr) ? hr : E_FAIL;
    QRect rect(QPoint(l, t), QPoint(r - 1, b - 1));
    if (!CheckWindowRect(rect)) rect.moveTopLeft(QPoint(main.left(), main.bottom() + 1));
    setGeometry(rect);
    if (stuck) StickToMain(true);
    return S_OK;
}

HRESULT CRadioDlg::StoreRect(ISettings* settings) const {
    const QRect g = geometry();
    HRESULT hr = settings->SetRadioRect(g.left(), g.top(), g.right() + 1, g.bottom() + 1);
    return hr == S_OK ? S_OK : FAILED(hr) ? hr : E_FAIL;
}

QSize CRadioDlg::MinimumSkinSize() const {
    const KSkinMetrics& skin = GetSkinBitmaps();
    return {skin.m_mainWidth, skin.m_listExtra};
}

// Glued below the main window, right edges together.
bool CRadioDlg::IsNearMain(const QRect& own, const QRect& main) const {
    return std::abs(own.right() - main.right()) < 15 && std::abs(own.top() - (main.bottom() + 1)) < 15;
}

void CRadioDlg::SnapTo(QRect& own, const QRect& main, bool keepSize) {
    if (keepSize) {
        own.moveTopRight(QPoint(main.right(), main.bottom() + 1));
    } else {
        own.setTop(main.bottom() + 1);
        own.setRight(main.right());
    }
}

bool CRadioDlg::UpdateStuck(const QRect& rect) {
    QRect main;
    if (FAILED(GetSkinBitmaps().GetMainWindowRect(&main))) return false;
    if (onStuck) onStuck(IsNearMain(rect, main));
    return false;
}

void CRadioDlg::OnShowHook() {
    // The page fills the window inside its frame.
    m_view->setGeometry(InsideFrame(size()));
    update();
}

void CRadioDlg::showEvent(QShowEvent* event) {
    KStickyManualSkinDlg::showEvent(event);
    if (m_firstShow) {
        m_firstShow = false;
        ReloadPage();
    }
}

void CRadioDlg::ShowPageMessage(const QString& html) {
    // Local pages get addresses of their own: about:blank#1, #2, ...
    static int pageCounter = 0;
    m_localNumber = ++pageCounter;
    m_local = true;
    m_localIsError = html == QString::fromUtf8(text::kConnectionError);
    m_siteShown = false;
    // A local page takes the place of whatever was loading: the loads it
    // cuts short end while the local page is shown, where they count for
    // nothing, so none of them may stay counted.
    m_pending = 0;
    m_loadLimit.stop();
    m_expectLocal = true;
    m_reloadedSinceLocal = false;
    m_bridgeReady = false;
    m_page->setHtml(QString::fromLatin1(kTemplate).arg(html),
                    QUrl(QStringLiteral("about:blank#%1").arg(m_localNumber)));
}

void CRadioDlg::ReloadPage() {
    ++m_reloads;
    m_lastReload = now();
    m_reloadedSinceLocal = true;
    if (!m_context.site.IsSet() || !IsWebUrl(m_address)) {
        ShowPageMessage(QString::fromUtf8(text::kConnectionError));
        return;
    }
    ShowPageMessage(QString::fromUtf8(text::kPleaseWait));
    m_reloadedSinceLocal = true;
    m_page->load(m_address);
}

bool CRadioDlg::OnNavigation(const QUrl& url, bool isMainFrame, bool isRedirect) {
    const QString scheme = url.scheme().toLower();
    if (!isMainFrame) return IsWebUrl(url) || scheme == QLatin1String("about") || scheme == QLatin1String("data");
    if (m_expectLocal && (scheme == QLatin1String("data") || scheme == QLatin1String("about"))) {
        m_expectLocal = false;
        return true;
    }
    const QString fragment = url.fragment();
    if (fragment == QLatin1String("aStop") || fragment == QLatin1String("aPlay") ||
        fragment == QLatin1String("TryAgain")) {
        OnClicked(fragment);
        return false;
    }
    if (url == QUrl(QStringLiteral("about:blank"))) {
        ShowPageMessage(QString::fromUtf8(text::kConnectionError));
        return false;
    }
    // The page goes nowhere but to the web.
    if (!IsWebUrl(url)) return false;
    // A server's redirect is a step of the navigation already counted.
    if (!isRedirect) {
        ++m_pending;
        m_loadLimit.start(KNet::Instance().RequestMs());
    }
    m_address = url;
    m_local = false;
    m_bridgeReady = false;
    return true;
}

void CRadioDlg::OnLoadLimit() {
    // A page that is still not there (a slow one, or an answer that is no
    // page at all) gives way to the error page, as any failed load does.
    if (m_local) return;
    qWarning("radio: %s did not load within %d ms", qPrintable(m_address.toString()), KNet::Instance().RequestMs());
    m_page->triggerAction(QWebEnginePage::Stop);
    m_player->SetSource(QUrl());
    ShowPageMessage(QString::fromUtf8(text::kConnectionError));
}

void CRadioDlg::OnClicked(const QString& kind) {
    if (kind == QLatin1String("aStop")) {
        m_player->Stop();
        ShowElement(QStringLiteral("aStop"), false);
        ShowElement(QStringLiteral("aPlay"), true);
    } else if (kind == QLatin1String("aPlay")) {
        m_player->Play();
        ShowElement(QStringLiteral("aStop"), true);
        ShowElement(QStringLiteral("aPlay"), false);
    } else if (kind == QLatin1String("TryAgain")) {
        ReloadPage();
    }
}

void CRadioDlg::Lower() {
    if (m_pending > 0) --m_pending;
}

void CRadioDlg::OnLoading(const QWebEngineLoadingInfo& info) {
    if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) return;
    if (m_local) return;  // a local page's load counts for nothing
    // A load that stops without a page (a download is no page) leaves the
    // time limit running unless a page of the site is still shown.
    auto ended = [this] {
        Lower();
        if (m_pending == 0 && m_siteShown) m_loadLimit.stop();
    };
    if (info.status() == QWebEngineLoadingInfo::LoadStoppedStatus) {
        ended();
        return;
    }
    if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus) {
        // A load cut short by the next one is not an error of the connection.
        if (info.errorDomain() == QWebEngineLoadingInfo::ConnectionErrorDomain && info.errorCode() == -3) {
            ended();
            return;
        }
        Lower();
        m_player->SetSource(QUrl());
        ShowPageMessage(QString::fromUtf8(text::kConnectionError));
        return;
    }
    m_siteShown = true;
    ended();
    const QUrl url = info.url();
    if (!url.toString().contains(QLatin1String(KSite::kListenPageName))) {
        m_player->SetSource(QUrl());  // leaving a listen page silences the station
        return;
    }
    // The stream is the element's text, so "&amp;" in the markup is "&".
    m_page->runJavaScript(
        QStringLiteral("(function(){var e=document.getElementById('playList');return e?e.textContent:null;})()"),
        kWorld, [this, url](const QVariant& result) {
            if (m_local || m_page->url() != url || !result.isValid() || result.isNull()) return;
            const QUrl stream = StreamUrl(result.toString());
            if (!stream.isEmpty()) m_player->SetSource(stream);
        });
}

void CRadioDlg::OnLoadStarted() {
    // A local page that starts loading something brings the station list back,
    // once per page and never twice within the gap: no loop while offline.
    if (m_firstShow || m_pending != 0 || !m_local || m_localIsError || m_reloadedSinceLocal) return;
    if (now() - m_lastReload < kReloadGapMs) return;
    ReloadPage();
}

void CRadioDlg::ShowElement(const QString& id, bool show) {
    m_page->runJavaScript(QStringLiteral("(function(){var e=document.getElementById(%1);if(e)e.style.display=%2;})()")
                              .arg(Js(id), Js(show ? QStringLiteral("block") : QStringLiteral("none"))),
                          kWorld);
}

void CRadioDlg::MirrorState(const char* prefix, const char* label, int state) {
    if (m_local) return;
    const QString id = QString::fromLatin1(prefix) + QString::number(state);
    m_page->runJavaScript(
        QStringLiteral("(function(){var s=document.getElementById(%1),l=document.getElementById(%2);"
                       "if(s&&l)l.innerHTML=s.innerHTML;})()")
            .arg(Js(id), Js(QString::fromLatin1(label))),
        kWorld);
}

}  // namespace parvane
