#pragma once
// The web-radio window: the station list of the maker's site in a web view,
// and a small player that plays the station a listen page names. The page's
// play, stop and "Try again" links are caught by a script of ours and come
// back through a web channel; the player's states fill the page's labels.
#include <QObject>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWidget>

#include "desktop/controls/KStickyManualSkinDlg.h"

#include <functional>
#include <memory>

#include "desktop/app/KRadioPlayer.h"
#include "ipc/QXServiceLib.h"

class QWebChannel;
class QWebEngineLoadingInfo;
class QWebEngineView;

namespace parvane {

struct KExtrasContext;
class CRadioDlg;

// Decides on every navigation of the main frame.
class KRadioPage : public QWebEnginePage {
    Q_OBJECT
public:
    KRadioPage(CRadioDlg* owner, QObject* parent);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;

private:
    CRadioDlg* m_owner;
};

// What the page's script reports.
class KRadioBridge : public QObject {
    Q_OBJECT
public:
    explicit KRadioBridge(CRadioDlg* owner) : QObject(nullptr), m_owner(owner) {}
public slots:
    void clicked(const QString& kind);
    void ready();

private:
    CRadioDlg* m_owner;
};

class CRadioDlg : public KStickyManualSkinDlg {
    Q_OBJECT
public:
    // The dialog's template and its items.
    static constexpr int kDialogId = 349;
    static constexpr int kCloseId = 1120;
    static constexpr int kViewId = 1118;
    static constexpr int kExtraPartMarkId = 1122;
    static constexpr int kExtraPartBitmap = 495;
    static constexpr int kMaxStreamLength = 2048;
    static constexpr qint64 kReloadGapMs = 5000;

    CRadioDlg(const KExtrasContext& context, std::unique_ptr<IRadioPlayer> player, QWidget* main = nullptr);
    ~CRadioDlg() override;

    // The Close button; the main window hides the window and resets its toggle.
    std::function<void()> onCloseRequest;
    // Closing the window itself (not its Close button) asks the program to end.
    std::function<void()> onExitRequest;
    // Glued to the main window, or not, after a move or a size.
    std::function<void(bool)> onStuck;
    // Milliseconds of a steady clock; tests set it.
    std::function<qint64()> now;

    QWebEngineView* View() const { return m_view; }
    QUrl PageAddress() const { return m_address; }
    int Pending() const { return m_pending; }
    bool IsLocalPage() const { return m_local; }
    int LocalPageNumber() const { return m_localNumber; }
    bool BridgeReady() const { return m_bridgeReady; }
    int Reloads() const { return m_reloads; }

    // The stream address a listen page names, when it may be played: an
    // http(s) URL of at most kMaxStreamLength characters.
    static QUrl StreamUrl(const QString& elementText);

    void ReloadPage();
    void ShowPageMessage(const QString& html);
    void OnClicked(const QString& kind);
    // A navigation of the page; a server's redirect (isRedirect) goes on
    // with the navigation that led to it.
    bool OnNavigation(const QUrl& url, bool isMainFrame, bool isRedirect = false);
    void OnBridgeReady() { m_bridgeReady = true; }

    // The window's place from the settings: a rectangle that is not on the
    // screen becomes the smallest one at the main window's left and bottom
    // edges; a stuck window is glued to the main window.
    HRESULT RestoreRect(ISettings* settings, const QRect& main, bool stuck);
    HRESULT StoreRect(ISettings* settings) const;

    // The main window's width and the playlist's extra height (skin bitmaps
    // 510 and 511): the smallest and the first size of the window.
    QSize MinimumSkinSize() const override;
    bool IsNearMain(const QRect& own, const QRect& main) const override;
    void SnapTo(QRect& own, const QRect& main, bool keepSize) override;
    bool UpdateStuck(const QRect& rect) override;

protected:
    void OnShowHook() override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void OnLoading(const QWebEngineLoadingInfo& info);
    void OnLoadStarted();
    void ShowElement(const QString& id, bool show);
    void MirrorState(const char* prefix, const char* label, int state);
    void Lower();
    void OnLoadLimit();

    const KExtrasContext& m_context;
    std::unique_ptr<IRadioPlayer> m_player;
    QWebEngineView* m_view = nullptr;
    KRadioPage* m_page = nullptr;
    QWebChannel* m_channel = nullptr;
    KRadioBridge m_bridge;
    QUrl m_address;
    int m_pending = 0;
    bool m_firstShow = true;
    bool m_local = false;
    bool m_localIsError = false;
    bool m_expectLocal = false;
    bool m_reloadedSinceLocal = false;
    bool m_bridgeReady = false;
    bool m_siteShown = false;  // a page of the site has loaded since the last local page
    int m_localNumber = 0;
    int m_reloads = 0;
    qint64 m_lastReload = -kReloadGapMs;
    // A page must be there within the time limit of every request.
    QTimer m_loadLimit;
};

}  // namespace parvane
