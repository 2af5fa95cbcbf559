// The web-radio window in a real web view against a local site, with a fake
// player; and the real player on a local stream.
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>

#include "desktop/app/CRadioDlg.h"
#include "desktop/app/ExtrasText.h"
#include "desktop/app/KExtrasContext.h"
#include "desktop/app/KNet.h"
#include "desktop/app/KRadioPlayer.h"
#include "desktop/app/tests/support/LocalHttpServer.h"
#include "desktop/app/tests/support/TestSeams.h"
#include "desktop/controls/KDialogFont.h"
#include "desktop/controls/KSkinManifest.h"
#include "desktop/controls/KSkinResources.h"
#include "desktop/controls/KWndSkin.h"
#include "platform/com/ComPtr.h"
#include "service/foundation/KSettings.h"

using namespace parvane;
using parvanetest::HttpAnswer;
using parvanetest::HttpReply;
using parvanetest::LocalHttpServer;

namespace {

constexpr int kWaitMs = 60000;

class FakePlayer final : public IRadioPlayer {
public:
    void SetSource(const QUrl& url) override { calls << QStringLiteral("source:") + url.toString(); }
    void Play() override { calls << QStringLiteral("play"); }
    void Stop() override { calls << QStringLiteral("stop"); }
    QStringList calls;
    QString LastSource() const {
        for (qsizetype i = calls.size() - 1; i >= 0; --i)
            if (calls[i].startsWith(QLatin1String("source:"))) return calls[i].mid(7);
        return QStringLiteral("(none)");
    }
};

// Whether a web view can start here; why not, when it cannot.
bool WebEngineWorks(QString* why) {
    static int works = -1;
    static QString reason;
    if (works < 0) {
        QWebEnginePage page;
        bool done = false, ok = false;
        QObject::connect(&page, &QWebEnginePage::loadFinished, [&](bool result) {
            done = true;
            ok = result;
        });
        page.setHtml(QStringLiteral("<p>probe</p>"));
        const bool answered = QTest::qWaitFor([&] { return done; }, kWaitMs);
        works = answered && ok ? 1 : 0;
        if (!works) reason = QStringLiteral("a web view cannot start here (no page loaded)");
    }
    *why = reason;
    return works == 1;
}

#define NEED_WEBENGINE()                            \
    do {                                            \
        QString why;                                \
        if (!WebEngineWorks(&why)) QSKIP(qPrintable(why)); \
    } while (0)

// Runs a script in the page and waits for its result.
QVariant Eval(CRadioDlg& radio, const QString& script) {
    QVariant result;
    bool done = false;
    radio.View()->page()->runJavaScript(script, [&](const QVariant& v) {
        result = v;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, kWaitMs)) return QStringLiteral("(no answer)");
    return result;
}

// The radio's smallest and first size: the main window's width, and the
// playlist's height less the main window's (skin bitmaps 510 and 511).
QSize PartSize() {
    const QSize main = KSkinManifest::BitmapSize(510), list = KSkinManifest::BitmapSize(511);
    return {main.width(), list.height() - main.height()};
}

// A server of one stream, on a thread of its own: a media backend may open
// the stream on the calling thread.
class StreamServer {
public:
    StreamServer(const QByteArray& bytes, const QByteArray& type) {
        m_thread.start();
        m_home.moveToThread(&m_thread);
        QMetaObject::invokeMethod(
            &m_home,
            [&] {
                m_server = new LocalHttpServer([bytes, type](const QByteArray&, const QByteArray&) {
                    HttpReply r;
                    r.bytes = HttpAnswer(200, bytes, "Content-Type: " + type + "\r\n");
                    return r;
                });
                m_base = m_server->Base();
            },
            Qt::BlockingQueuedConnection);
    }
    ~StreamServer() {
        QMetaObject::invokeMethod(&m_home, [&] { delete m_server; }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    QString Base() const { return m_base; }

private:
    QThread m_thread;
    QObject m_home;
    LocalHttpServer* m_server = nullptr;
    QString m_base;
};

QByteArray ListenPage(const QByteArray& stream) {
    return "<html><body><div id='playList'>" + stream +
           "</div><a id='aPlay' href='#aPlay' style='display:none'>play</a><a id='aStop' href='#aStop'>stop</a>"
           "<span id='labelOpenState'>-</span><span id='labelPlayState'>-</span>"
           "<span id='OpenState_13' style='display:none'>Open</span>"
           "<span id='PlayState_3' style='display:none'>Playing <b>now</b></span>"
           "<a id='station' href='/vantorly/radio.php'>back</a></body></html>";
}

// A radio window's world: the seams it asks and the site it loads from.
struct World {
    parvanetest::FakePrompter prompter;
    KExtrasContext context;
    explicit World(const QString& site) {
        context.prompter = &prompter;
        context.site = KSite::FromBase(site);
    }
};

struct Site {
    QByteArray stream = "http://127.0.0.1:1/live.mp3?a=1&amp;b=2";
    LocalHttpServer server{[this](const QByteArray& target, const QByteArray&) {
                               HttpReply r;
                               if (target.startsWith("/vantorly/radio.php"))
                                   r.bytes = HttpAnswer(200, "<html><body><a id='go' href='/vantorly/radiolisten.php?s=1'>"
                                                             "station</a></body></html>",
                                                        "Content-Type: text/html\r\n");
                               else if (target.startsWith("/vantorly/radiolisten.php"))
                                   r.bytes = HttpAnswer(200, ListenPage(stream), "Content-Type: text/html\r\n");
                               else
                                   r.bytes = HttpAnswer(404, "missing", "Content-Type: text/html\r\n");
                               return r;
                           },
                           60};
};

}  // namespace

class ExtrasRadioTest : public QObject {
    Q_OBJECT
private slots:
    void stateNumbers();
    void streamAddresses_data();
    void streamAddresses();
    void listenPageFeedsThePlayer();
    void refusedServerAndTryAgain();
    void noSiteShowsTheErrorPage();
    void redirectsCountAsOneNavigation();
    void slowOrDownloadedListShowsTheErrorPage_data();
    void slowOrDownloadedListShowsTheErrorPage();
    void playClickedWhileThePageLoads();
    void gluesBelowTheMainWindow();
    void templateFontAndExtraPart();
    void realPlayerPlaysALocalStream();
    void textStreamIsNoPlaying();
};

void ExtrasRadioTest::stateNumbers() {
    QCOMPARE(PlayStateNumber(QMediaPlayer::StoppedState, QMediaPlayer::NoMedia), 1);
    QCOMPARE(PlayStateNumber(QMediaPlayer::PausedState, QMediaPlayer::BufferedMedia), 2);
    QCOMPARE(PlayStateNumber(QMediaPlayer::PlayingState, QMediaPlayer::BufferedMedia), 3);
    QCOMPARE(PlayStateNumber(QMediaPlayer::PlayingState, QMediaPlayer::StalledMedia), 6);
    QCOMPARE(PlayStateNumber(QMediaPlayer::StoppedState, QMediaPlayer::EndOfMedia), 8);
    QCOMPARE(PlayStateNumber(QMediaPlayer::StoppedState, QMediaPlayer::LoadingMedia), 9);
    QCOMPARE(PlayStateNumber(QMediaPlayer::StoppedState, QMediaPlayer::LoadedMedia), 10);
    QCOMPARE(OpenStateNumber(QMediaPlayer::NoMedia), 0);
    QCOMPARE(OpenStateNumber(QMediaPlayer::LoadingMedia), 12);
    QCOMPARE(OpenStateNumber(QMediaPlayer::BufferedMedia), 13);
    QCOMPARE(OpenStateNumber(QMediaPlayer::InvalidMedia), 0);
    // A stream that cannot be played never reads as playing.
    for (auto state : {QMediaPlayer::PlayingState, QMediaPlayer::PausedState, QMediaPlayer::StoppedState})
        QCOMPARE(PlayStateNumber(state, QMediaPlayer::InvalidMedia), 0);
}

void ExtrasRadioTest::streamAddresses_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("url");
    QTest::newRow("http") << " http://radio.example/live.mp3?a=1&b=2 \n" << "http://radio.example/live.mp3?a=1&b=2";
    QTest::newRow("https") << "https://radio.example/s" << "https://radio.example/s";
    QTest::newRow("javascript") << "javascript:alert(1)" << "";
    QTest::newRow("file") << "file:///etc/passwd" << "";
    QTest::newRow("relative") << "/live.mp3" << "";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("2048 characters") << "http://r.example/" + QString(2048 - 17, QLatin1Char('a'))
                                     << "http://r.example/" + QString(2048 - 17, QLatin1Char('a'));
    QTest::newRow("2049 characters") << "http://r.example/" + QString(2049 - 17, QLatin1Char('a')) << "";
}

void ExtrasRadioTest::streamAddresses() {
    QFETCH(QString, text);
    QFETCH(QString, url);
    QCOMPARE(CRadioDlg::StreamUrl(text).toString(), url);
}

void ExtrasRadioTest::listenPageFeedsThePlayer() {
    NEED_WEBENGINE();
    Site site;
    World world(site.server.Base());
    const KExtrasContext& context = world.context;
    auto owned = std::make_unique<FakePlayer>();
    FakePlayer* player = owned.get();
    CRadioDlg radio(context, std::move(owned));
    auto pages = [&] {
        int n = 0;
        for (const QByteArray& t : site.server.targets) n += t.startsWith("/vantorly/") ? 1 : 0;
        return n;
    };
    QCOMPARE(pages(), 0);  // nothing before the first show
    radio.show();
    QTRY_VERIFY_WITH_TIMEOUT(!radio.IsLocalPage() && radio.Pending() == 0 && radio.BridgeReady(), kWaitMs);
    QCOMPARE(pages(), 1);
    QCOMPARE(player->LastSource(), QString());  // the station list silences the player
    // To a listen page: the stream is the element's text, "&amp;" read as "&".
    Eval(radio, QStringLiteral("document.getElementById('go').click()"));
    QTRY_COMPARE_WITH_TIMEOUT(player->LastSource(), QStringLiteral("http://127.0.0.1:1/live.mp3?a=1&b=2"), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(radio.BridgeReady(), kWaitMs);
    QVERIFY(radio.PageAddress().toString().contains(QLatin1String("radiolisten.php")));
    const int requests = pages();
    // Stop and play are caught before they navigate, and switch the links.
    player->calls.clear();
    Eval(radio, QStringLiteral("document.getElementById('aStop').click()"));
    QTRY_COMPARE_WITH_TIMEOUT(player->calls, QStringList{QStringLiteral("stop")}, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(Eval(radio, QStringLiteral("document.getElementById('aStop').style.display")).toString(),
                              QStringLiteral("none"), kWaitMs);
    QCOMPARE(Eval(radio, QStringLiteral("document.getElementById('aPlay').style.display")).toString(),
             QStringLiteral("block"));
    Eval(radio, QStringLiteral("document.getElementById('aPlay').click()"));
    QTRY_COMPARE_WITH_TIMEOUT(player->calls, (QStringList{QStringLiteral("stop"), QStringLiteral("play")}), kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(Eval(radio, QStringLiteral("document.getElementById('aPlay').style.display")).toString(),
                              QStringLiteral("none"), kWaitMs);
    QCOMPARE(pages(), requests);
    QCOMPARE(radio.Pending(), 0);
    // The player's states fill the labels from the page's own elements.
    player->onPlayState(3);
    player->onOpenState(13);
    QTRY_COMPARE_WITH_TIMEOUT(Eval(radio, QStringLiteral("document.getElementById('labelPlayState').innerHTML")).toString(),
                              QStringLiteral("Playing <b>now</b>"), kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(Eval(radio, QStringLiteral("document.getElementById('labelOpenState').innerHTML")).toString(),
                              QStringLiteral("Open"), kWaitMs);
    // A state the page has no element for leaves the label alone.
    player->onPlayState(9);
    QTest::qWait(200);
    QCOMPARE(Eval(radio, QStringLiteral("document.getElementById('labelPlayState').innerHTML")).toString(),
             QStringLiteral("Playing <b>now</b>"));
    // Back to the station list: the player is silenced.
    Eval(radio, QStringLiteral("document.getElementById('station').click()"));
    QTRY_COMPARE_WITH_TIMEOUT(player->LastSource(), QString(), kWaitMs);
    // A second show does not reload.
    const int reloads = radio.Reloads();
    radio.hide();
    radio.show();
    QTest::qWait(100);
    QCOMPARE(radio.Reloads(), reloads);
}

void ExtrasRadioTest::refusedServerAndTryAgain() {
    NEED_WEBENGINE();
    const quint16 port = parvanetest::RefusedPort();
    World world(QStringLiteral("http://127.0.0.1:%1").arg(port));
    const KExtrasContext& context = world.context;
    CRadioDlg radio(context, std::make_unique<FakePlayer>());
    radio.show();
    QTRY_VERIFY_WITH_TIMEOUT(radio.IsLocalPage() && radio.Pending() == 0 && radio.BridgeReady() &&
                                 Eval(radio, QStringLiteral("document.body.innerHTML")).toString().contains(
                                     QLatin1String("TryAgain")),
                             kWaitMs);
    const int number = radio.LocalPageNumber();
    QCOMPARE(radio.Reloads(), 1);
    // Offline, the error page stays: no reload by itself.
    QTest::qWait(300);
    QCOMPARE(radio.Reloads(), 1);
    // "Try again" loads the same address again.
    Eval(radio, QStringLiteral("document.querySelector('a[href=\"#TryAgain\"]').click()"));
    QTRY_COMPARE_WITH_TIMEOUT(radio.Reloads(), 2, kWaitMs);
    QCOMPARE(radio.PageAddress().toString(), QStringLiteral("http://127.0.0.1:%1/vantorly/radio.php").arg(port));
    QTRY_VERIFY_WITH_TIMEOUT(radio.IsLocalPage() && radio.Pending() == 0 && radio.LocalPageNumber() > number + 1,
                             kWaitMs);
}

void ExtrasRadioTest::noSiteShowsTheErrorPage() {
    NEED_WEBENGINE();
    World world{QString()};
    const KExtrasContext& context = world.context;
    CRadioDlg radio(context, std::make_unique<FakePlayer>());
    radio.show();
    QTRY_VERIFY_WITH_TIMEOUT(
        Eval(radio, QStringLiteral("document.body.innerHTML")).toString().contains(QLatin1String("Try again")), kWaitMs);
    QVERIFY(radio.IsLocalPage());
    QCOMPARE(radio.Pending(), 0);
}

void ExtrasRadioTest::redirectsCountAsOneNavigation() {
    NEED_WEBENGINE();
    // The station list after two redirects; then a link into a redirect loop.
    LocalHttpServer server(
        [](const QByteArray& target, const QByteArray&) {
            HttpReply r;
            if (target == "/vantorly/radio.php") {
                r.bytes = HttpAnswer(302, "", "Location: /a\r\n");
            } else if (target == "/a") {
                r.bytes = HttpAnswer(302, "", "Location: /b\r\n");
            } else if (target == "/b") {
                r.bytes = HttpAnswer(200, "<html><body><a id='loop' href='/loop0'>loop</a></body></html>",
                                     "Content-Type: text/html\r\n");
            } else {
                const int n = target.mid(5).toInt();
                r.bytes = HttpAnswer(302, "", "Location: /loop" + QByteArray::number(n + 1) + "\r\n");
            }
            return r;
        },
        200);
    World world(server.Base());
    CRadioDlg radio(world.context, std::make_unique<FakePlayer>());
    radio.show();
    QTRY_VERIFY_WITH_TIMEOUT(!radio.IsLocalPage() && radio.BridgeReady() && radio.PageAddress().path() == "/b",
                             kWaitMs);
    // The page's script may stand before its load is reported finished.
    QTRY_COMPARE_WITH_TIMEOUT(radio.Pending(), 0, kWaitMs);
    Eval(radio, QStringLiteral("document.getElementById('loop').click()"));
    QTRY_VERIFY_WITH_TIMEOUT(radio.IsLocalPage() && Eval(radio, QStringLiteral("document.body.innerHTML"))
                                                        .toString()
                                                        .contains(QLatin1String("TryAgain")),
                             kWaitMs);
    QVERIFY(server.targets.size() > 5);  // the loop was followed for a while
    QTRY_COMPARE_WITH_TIMEOUT(radio.Pending(), 0, kWaitMs);
}

void ExtrasRadioTest::slowOrDownloadedListShowsTheErrorPage_data() {
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("drip");
    QTest::newRow("one byte a second") << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"
                                                     "Content-Length: 60\r\n\r\n<html><body>")
                                       << QByteArray("<p>stations, slowly ...................</p>");
    QTest::newRow("a download") << HttpAnswer(200, QByteArray(20000, 'x'),
                                             "Content-Type: application/octet-stream\r\n"
                                             "Content-Disposition: attachment; filename=list.bin\r\n")
                                << QByteArray();
}

void ExtrasRadioTest::slowOrDownloadedListShowsTheErrorPage() {
    NEED_WEBENGINE();
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, drip);
    LocalHttpServer server([&](const QByteArray&, const QByteArray&) {
        HttpReply r;
        r.bytes = head;
        r.drip = drip;
        r.dripMs = 1000;
        return r;
    });
    World world(server.Base());
    KNet::Instance().SetLimits(3000, 3000);
    auto restore = qScopeGuard([] { KNet::Instance().SetLimits(KNet::kRequestMs, KNet::kConnectMs); });
    CRadioDlg radio(world.context, std::make_unique<FakePlayer>());
    radio.show();
    QTRY_VERIFY_WITH_TIMEOUT(radio.IsLocalPage() && radio.BridgeReady() &&
                                 Eval(radio, QStringLiteral("document.body.innerHTML"))
                                     .toString()
                                     .contains(QLatin1String("TryAgain")),
                             kWaitMs);
    QCOMPARE(radio.Pending(), 0);
    QCOMPARE(server.targets.size(), 1);
}

void ExtrasRadioTest::playClickedWhileThePageLoads() {
    NEED_WEBENGINE();
    // The page clicks its play link at once, long before it has finished
    // loading (a script of it comes slowly).
    LocalHttpServer server([](const QByteArray& target, const QByteArray&) {
        HttpReply r;
        if (target.startsWith("/slow.js")) {
            r.bytes = "HTTP/1.1 200 OK\r\nContent-Type: text/javascript\r\nContent-Length: 4\r\n\r\n";
            r.drip = "//ok";
            r.dripMs = 500;
        } else {
            r.bytes = HttpAnswer(200,
                                 "<html><body><a id='aPlay' href='#aPlay'>play</a><a id='aStop' href='#aStop'>stop</a>"
                                 "<script>document.getElementById('aPlay').click()</script>"
                                 "<script src='/slow.js'></script></body></html>",
                                 "Content-Type: text/html\r\n");
        }
        return r;
    });
    World world(server.Base());
    auto owned = std::make_unique<FakePlayer>();
    FakePlayer* player = owned.get();
    CRadioDlg radio(world.context, std::move(owned));
    radio.show();
    QTRY_VERIFY_WITH_TIMEOUT(player->calls.contains(QStringLiteral("play")), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!radio.IsLocalPage() && radio.Pending() == 0, kWaitMs);
    // The click went no further than the window: the page stayed where it was.
    QCOMPARE(radio.View()->url().fragment(), QString());
    QTRY_COMPARE_WITH_TIMEOUT(Eval(radio, QStringLiteral("document.getElementById('aPlay').style.display")).toString(),
                              QStringLiteral("none"), kWaitMs);
}

void ExtrasRadioTest::gluesBelowTheMainWindow() {
    NEED_WEBENGINE();
    World world{QString()};
    const KExtrasContext& context = world.context;
    CRadioDlg radio(context, std::make_unique<FakePlayer>());
    const QRect main(100, 100, 300, 200);  // bottom 299, right 399
    QVERIFY(radio.IsNearMain(QRect(150, 310, 260, 100), main));   // right 409, top 310
    QVERIFY(!radio.IsNearMain(QRect(150, 320, 260, 100), main));  // 20 below
    QVERIFY(!radio.IsNearMain(QRect(130, 300, 300, 100), main));  // right edges 30 apart
    QRect moved(150, 310, 260, 100);
    radio.SnapTo(moved, main, true);
    QCOMPARE(moved, QRect(140, 300, 260, 100));
    QRect sized(150, 310, 260, 100);
    radio.SnapTo(sized, main, false);
    QCOMPARE(sized.topRight(), QPoint(399, 300));
    QCOMPARE(sized.bottomLeft(), QPoint(150, 409));
    // The place round trip through the settings; a place off the screen falls
    // back to the smallest window at the main window's left and bottom edges.
    plat::ComPtr<ISettings> settings(CreateSettingsObject());
    radio.setGeometry(QRect(20, 30, 300, 200));
    QCOMPARE(radio.StoreRect(settings.Get()), S_OK);
    radio.setGeometry(QRect(0, 0, 250, 150));
    QCOMPARE(radio.RestoreRect(settings.Get(), main, false), S_OK);
    QCOMPARE(radio.geometry(), QRect(20, 30, 300, 200));
    QCOMPARE(settings->SetRadioRect(-500, -500, 10, 10), S_OK);
    QCOMPARE(radio.RestoreRect(settings.Get(), main, false), S_OK);
    QCOMPARE(radio.geometry().topLeft(), QPoint(100, 300));
    QCOMPARE(radio.geometry().size(), PartSize());
    // Closing the window asks the program to end; its Close button only hides it.
    int exits = 0, closes = 0;
    radio.onExitRequest = [&] { ++exits; };
    radio.onCloseRequest = [&] { ++closes; };
    radio.show();
    QVERIFY(!radio.close());
    QCOMPARE(exits, 1);
    emit radio.CloseButton().command(1120);
    QCOMPARE(closes, 1);
    QCOMPARE(exits, 1);
}

void ExtrasRadioTest::templateFontAndExtraPart() {
    NEED_WEBENGINE();
    World world{QString()};
    const KExtrasContext& context = world.context;
    CRadioDlg radio(context, std::make_unique<FakePlayer>());
    // "MS Shell Dlg" 8 at 96 dpi, and the window at the template's 147 x 91 units.
    QCOMPARE(radio.font().family(), QStringLiteral("DejaVu Sans"));
    QCOMPARE(radio.font().pixelSize(), 11);
    const QSize base = KDialogFont::BaseUnits(radio.font());
    // It opens at the skin's size: the template's 147 x 91 units are smaller.
    QVERIFY(KDialogFont::ToPixels(QRect(0, 0, 147, 91), base).width() < PartSize().width());
    QCOMPARE(radio.size(), PartSize());
    QCOMPARE(radio.MinimumSkinSize(), PartSize());
    // Bitmap 495 takes the place of the hidden static 1122.
    const QRect place = KDialogFont::ToPixels(QRect(19, 6, 54, 7), base);
    QCOMPARE(radio.ExtraPartRect(), place);
    QVERIFY(FindDlgItem(&radio, CRadioDlg::kExtraPartMarkId));
    QVERIFY(!FindDlgItem(&radio, CRadioDlg::kExtraPartMarkId)->isVisibleTo(&radio));
    QCOMPARE(radio.ExtraPart().id, 495);
    radio.setGeometry(QRect(50, 50, 480, 200));
    radio.show();
    QVERIFY(QTest::qWaitForWindowExposed(&radio));
    const QImage img = radio.grab().toImage(), part = LoadSkinBitmap(495);
    const QRect drawn = QRect(place.topLeft(), part.size()).intersected(place);
    QVERIFY(drawn.width() > 10 && drawn.height() > 5);
    // The page fills the inside of the frame (parts 505, 504, 506 and 507), and
    // follows a change of size.
    for (const QSize size : {QSize(480, 200), QSize(560, 300)}) {
        radio.resize(size);
        QTRY_COMPARE(radio.size(), size);
        QCOMPARE(radio.View()->geometry(), QRect(9, 42, size.width() - 9 - 9 - 1, size.height() - 42 - 37 - 1));
    }
    for (int y = drawn.top(); y <= drawn.bottom(); ++y)
        for (int x = drawn.left(); x <= drawn.right(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) != (part.pixel(QPoint(x, y) - place.topLeft()) & 0xFFFFFF)) {
                img.save(QDir::temp().filePath(QStringLiteral("radio-extra-part.png")));
                QFAIL(qPrintable(QStringLiteral("pixel (%1, %2) is not bitmap 495's").arg(x).arg(y)));
            }
}

void ExtrasRadioTest::realPlayerPlaysALocalStream() {
    {
        // Before its first station the player opens nothing and says nothing.
        KMediaRadioPlayer idle;
        QList<int> said;
        idle.onPlayState = idle.onOpenState = [&](int s) { said << s; };
        idle.Play();
        idle.Stop();
        idle.SetSource(QUrl());
        QVERIFY(!idle.Player());
        QVERIFY(said.isEmpty());
    }
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty()) QSKIP("ffmpeg is not installed to make the test stream");
    QTemporaryDir dir;
    const QString mp3 = dir.filePath(QStringLiteral("tone.mp3"));
    QProcess make;
    make.start(ffmpeg, {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                        QStringLiteral("-i"), QStringLiteral("sine=frequency=440:duration=3"), QStringLiteral("-b:a"),
                        QStringLiteral("64k"), mp3});
    QVERIFY(make.waitForFinished(60000) && make.exitCode() == 0);
    QFile file(mp3);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    StreamServer stream(bytes, "audio/mpeg");
    const QString base = stream.Base();
    KMediaRadioPlayer player;
    QList<int> plays, opens;
    player.onPlayState = [&](int s) { plays << s; };
    player.onOpenState = [&](int s) { opens << s; };
    player.SetSource(QUrl(base + QStringLiteral("/live.mp3")));
    QTRY_VERIFY_WITH_TIMEOUT(plays.contains(3) || player.Player()->error() != QMediaPlayer::NoError, kWaitMs);
    if (player.Player()->error() != QMediaPlayer::NoError)
        QSKIP(qPrintable(QStringLiteral("the media backend cannot play here: ") + player.Player()->errorString()));
    QVERIFY(opens.contains(13));
    player.Stop();
    QTRY_VERIFY_WITH_TIMEOUT(plays.last() == 1 || plays.last() == 10, kWaitMs);
    player.SetSource(QUrl());
    QCOMPARE(player.Player()->source(), QUrl());
}

void ExtrasRadioTest::textStreamIsNoPlaying() {
    // A "stream" that is a page of text: the player fails, and its state
    // reads so, not "playing".
    StreamServer text(QByteArray("this is no stream\n").repeated(200), "text/plain");
    KMediaRadioPlayer player;
    QList<int> plays;
    player.onPlayState = [&](int s) { plays << s; };
    player.SetSource(QUrl(text.Base() + QStringLiteral("/live.mp3")));
    QTRY_VERIFY_WITH_TIMEOUT(player.Player()->mediaStatus() == QMediaPlayer::InvalidMedia ||
                                 player.Player()->error() != QMediaPlayer::NoError,
                             kWaitMs);
    if (player.Player()->mediaStatus() != QMediaPlayer::InvalidMedia)
        QSKIP(qPrintable(QStringLiteral("the media backend fails otherwise here: ") + player.Player()->errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(!plays.isEmpty() && plays.last() == 0, kWaitMs);
    // The backend may pass through "playing" before it finds out; it ends failed.
    QCOMPARE(player.Player()->mediaStatus(), QMediaPlayer::InvalidMedia);
    QCOMPARE(plays.last(), 0);
}

QTEST_MAIN(ExtrasRadioTest)
#include "ExtrasRadioTest.moc"
