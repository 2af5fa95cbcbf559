// The site, the network rules, the update check and the sign-up form against
// local servers on 127.0.0.1.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtTest>

#include "desktop/app/CUpdateDlg.h"
#include "desktop/app/ExtrasText.h"
#include "desktop/app/KExtrasContext.h"
#include "desktop/app/KNet.h"
#include "desktop/app/KRegistrationDlg.h"
#include "desktop/app/KUpdateChecker.h"
#include "desktop/app/tests/support/LocalHttpServer.h"
#include "desktop/app/tests/support/TestSeams.h"

using namespace parvane;
using parvanetest::RecordingOpener;
using parvanetest::HttpAnswer;
using parvanetest::HttpReply;
using parvanetest::LocalHttpServer;

namespace {

constexpr int kWaitMs = 30000;

// Runs a check and waits for its answer.
std::pair<int, QString> RunCheck(const KSite& site, const QString& own) {
    KUpdateChecker checker(site, own);
    int code = -1;
    QString link;
    checker.Check([&](int c, const QString& l) {
        code = c;
        link = l;
    });
    if (!QTest::qWaitFor([&] { return code != -1; }, kWaitMs)) return {-1, QStringLiteral("no answer in time")};
    return {code, link};
}

}  // namespace

class ExtrasNetTest : public QObject {
    Q_OBJECT
private slots:
    void siteFromEnvironment_data();
    void siteFromEnvironment();
    void versionAnswerParsing_data();
    void versionAnswerParsing();
    void ownVersionAndComparison();
    void evaluateAnswers_data();
    void evaluateAnswers();
    void updateCheckAgainstServer_data();
    void updateCheckAgainstServer();
    void noSiteSendsNothing();
    void redirects_data();
    void redirects();
    void slowAnswerTimesOut();
    void tlsFailureIsAFailure();
    void updateDialogDays();
    void updateFromAboutOpensOnlyWebLinks();
    void signUpEncoding_data();
    void signUpEncoding();
    void signUpOkEnabling();
    void signUpSendsDecodableQuery();
    void signUpAnswers_data();
    void signUpAnswers();
};

void ExtrasNetTest::siteFromEnvironment_data() {
    QTest::addColumn<QString>("base");
    QTest::addColumn<bool>("set");
    QTest::addColumn<QString>("version");
    QTest::newRow("unset") << "" << false << "https://tonquil.invalid/products/parvane/version.php";
    QTest::newRow("http with port") << "http://127.0.0.1:8080" << true
                                    << "http://127.0.0.1:8080/products/parvane/version.php";
    QTest::newRow("https with folder and slash") << "https://example.org/mirror/" << true
                                                 << "https://example.org/mirror/products/parvane/version.php";
    QTest::newRow("file scheme") << "file:///etc" << false << "https://tonquil.invalid/products/parvane/version.php";
    QTest::newRow("javascript") << "javascript:alert(1)" << false
                                << "https://tonquil.invalid/products/parvane/version.php";
    QTest::newRow("no host") << "http://" << false << "https://tonquil.invalid/products/parvane/version.php";
    QTest::newRow("query") << "http://a.example/?x=1" << false
                           << "https://tonquil.invalid/products/parvane/version.php";
}

void ExtrasNetTest::siteFromEnvironment() {
    QFETCH(QString, base);
    QFETCH(bool, set);
    QFETCH(QString, version);
    qputenv(KSite::kEnvVariable, base.toUtf8());
    const KSite site = KSite::FromEnvironment();
    qunsetenv(KSite::kEnvVariable);
    QCOMPARE(site.IsSet(), set);
    QCOMPARE(site.VersionUrl().toString(), version);
    QVERIFY(site.RadioUrl().path().endsWith(QLatin1String("/vantorly/radio.php")));
    QVERIFY(site.ProductUrl().path().endsWith(QLatin1String("/en/products/parvane/desc.htm")));
}

void ExtrasNetTest::versionAnswerParsing_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("fields");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("link");
    QTest::newRow("full") << QByteArray("1.1.0.45\nhttp://x/dl\n") << 4 << "1.1.0.45" << "http://x/dl";
    QTest::newRow("two numbers") << QByteArray("2.0") << 2 << "2.0.0.0" << "";
    QTest::newRow("garbage") << QByteArray("garbage") << 0 << "0.0.0.0" << "";
    QTest::newRow("empty") << QByteArray() << 0 << "0.0.0.0" << "";
    QTest::newRow("leading space, crlf") << QByteArray("  3.4.5.6\r\n  link more") << 4 << "3.4.5.6" << "link";
    QTest::newRow("no link") << QByteArray("3.4.5.6") << 4 << "3.4.5.6" << "";
    QTest::newRow("overflowing number stops") << QByteArray("1.99999999999999999999.3.4\nx") << 1 << "1.0.0.0" << "";
    QTest::newRow("negative") << QByteArray("-1.2.3.4 x") << 4 << "-1.2.3.4" << "x";
    QTest::newRow("long word bounded") << (QByteArray("1.2.3.4\n") + QByteArray(5000, 'w')) << 4 << "1.2.3.4"
                                       << QString(KVersionAnswer::kMaxLinkLength, QLatin1Char('w'));
}

void ExtrasNetTest::versionAnswerParsing() {
    QFETCH(QByteArray, body);
    QFETCH(int, fields);
    QFETCH(QString, version);
    QFETCH(QString, link);
    const KVersionAnswer a = ParseVersionAnswer(body);
    QCOMPARE(a.fields, fields);
    QCOMPARE(QStringLiteral("%1.%2.%3.%4").arg(a.version[0]).arg(a.version[1]).arg(a.version[2]).arg(a.version[3]),
             version);
    QCOMPARE(a.link, link);
}

void ExtrasNetTest::ownVersionAndComparison() {
    QVERIFY(ParseOwnVersion(OwnVersionText()).has_value());
    QCOMPARE(*ParseOwnVersion(QStringLiteral("1,1,0,44")), (KVersion{1, 1, 0, 44}));
    QCOMPARE(*ParseOwnVersion(QStringLiteral("1.2.3.4")), (KVersion{1, 2, 3, 4}));
    QVERIFY(!ParseOwnVersion(QStringLiteral("1.2.3")));
    QVERIFY(!ParseOwnVersion(QStringLiteral("1.2,3.4")));
    QVERIFY(!ParseOwnVersion(QString()));
    // Field by field: packing the fields by hundreds would order these wrongly.
    QVERIFY(CompareVersions({1, 1, 0, 145}, {1, 1, 1, 0}) < 0);
    QVERIFY(CompareVersions({3000, 0, 0, 0}, {2999, 99, 99, 99}) > 0);
    QCOMPARE(CompareVersions({1, 2, 3, 4}, {1, 2, 3, 4}), 0);
}

void ExtrasNetTest::evaluateAnswers_data() {
    QTest::addColumn<QString>("own");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("link");
    QTest::newRow("newer") << "1,1,0,44" << 200 << QByteArray("1.1.0.45\nhttp://x/dl") << 0 << "http://x/dl";
    QTest::newRow("equal") << "1.1.0.45" << 200 << QByteArray("1.1.0.45\nhttp://x/dl") << 4 << "http://x/dl";
    QTest::newRow("older server") << "2.0.0.0" << 200 << QByteArray("1.9.9.9\nl") << 4 << "l";
    QTest::newRow("component over 100") << "1.1.0.145" << 200 << QByteArray("1.1.1.0\nl") << 0 << "l";
    QTest::newRow("only 2.0") << "1.0.0.0" << 200 << QByteArray("2.0") << 0 << "";
    QTest::newRow("garbage") << "1.0.0.0" << 200 << QByteArray("garbage") << 3 << "";
    QTest::newRow("404 with digits") << "1.0.0.0" << 404 << QByteArray("404 9.9.9.9 Not Found") << 2 << "";
    QTest::newRow("500") << "1.0.0.0" << 500 << QByteArray("2.0.0.0\nl") << 2 << "";
    QTest::newRow("own unreadable") << "x" << 200 << QByteArray("2.0.0.0\nl") << 5 << "";
}

void ExtrasNetTest::evaluateAnswers() {
    QFETCH(QString, own);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(int, code);
    QFETCH(QString, link);
    KNetAnswer answer;
    answer.kind = KNetAnswer::Answered;
    answer.status = status;
    answer.body = body;
    QString text;
    QCOMPARE(EvaluateUpdateAnswer(own, answer, &text), code);
    QCOMPARE(text, link);
    bool isError = false;
    QCOMPARE(UpdateMessage(code, &isError).isEmpty(), false);
    QCOMPARE(isError, code != kUpdateLatest);
    QCOMPARE(UpdateMessage(5, nullptr), QStringLiteral("Internal Error"));
}

void ExtrasNetTest::updateCheckAgainstServer_data() {
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("closeEarly");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("link");
    QTest::newRow("newer") << HttpAnswer(200, "1.1.0.45\nhttp://x/dl\n") << false << 0 << "http://x/dl";
    QTest::newRow("latest") << HttpAnswer(200, "1.1.0.44\nhttp://x/dl\n") << false << 4 << "http://x/dl";
    QTest::newRow("empty") << HttpAnswer(200, "") << false << 3 << "";
    QTest::newRow("garbage") << HttpAnswer(200, "garbage") << false << 3 << "";
    QTest::newRow("ten megabytes") << HttpAnswer(200, QByteArray(10 * 1024 * 1024, 'x')) << false << 3 << "";
    QTest::newRow("ten megabytes after a version")
        << HttpAnswer(200, "9.0.0.0\nhttp://x/big\n" + QByteArray(10 * 1024 * 1024, ' ')) << false << 0
        << "http://x/big";
    QTest::newRow("digits in a 404 page") << HttpAnswer(404, "9.9.9.9\nhttp://x/") << false << 2 << "";
    QTest::newRow("cut off early") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n1.1.") << true << 2
                                   << "";
}

void ExtrasNetTest::updateCheckAgainstServer() {
    QFETCH(QByteArray, answer);
    QFETCH(bool, closeEarly);
    QFETCH(int, code);
    QFETCH(QString, link);
    LocalHttpServer server([&](const QByteArray&, const QByteArray&) {
        HttpReply r;
        r.bytes = answer;
        r.closeEarly = closeEarly;
        return r;
    });
    const auto [got, text] = RunCheck(KSite::FromBase(server.Base()), QStringLiteral("1,1,0,44"));
    QCOMPARE(got, code);
    QCOMPARE(text, link);
    QCOMPARE(server.targets, QList<QByteArray>{"/products/parvane/version.php"});
    const QByteArray head = server.heads.value(0).toLower();
    QVERIFY(head.contains("user-agent: tonquil"));
    QVERIFY(head.contains("pragma: no-cache"));
    QVERIFY(!head.contains("cookie"));
}

void ExtrasNetTest::noSiteSendsNothing() {
    // The placeholder never resolves; the check answers at once without a request.
    const auto [code, text] = RunCheck(KSite::FromBase(QString()), QStringLiteral("1.0.0.0"));
    QCOMPARE(code, int(kUpdateNoInternet));
    QCOMPARE(KNet::Instance().Running(), 0);
    // A refused connection is a failure to open.
    const quint16 port = parvanetest::RefusedPort();
    QCOMPARE(RunCheck(KSite::FromBase(QStringLiteral("http://127.0.0.1:%1").arg(port)), QStringLiteral("1.0.0.0")).first,
             int(kUpdateOpenFailed));
}

void ExtrasNetTest::redirects_data() {
    QTest::addColumn<QByteArray>("location");  // "chain": hops of /hopN until the column hops
    QTest::addColumn<int>("hops");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("requests");
    QTest::newRow("one hop") << QByteArray("/v2") << 1 << 0 << 2;
    QTest::newRow("three hops") << QByteArray("chain") << 3 << 0 << 4;
    QTest::newRow("five hops") << QByteArray("chain") << 5 << 0 << 6;
    // Five redirects are followed, the sixth is not.
    QTest::newRow("six hops") << QByteArray("chain") << 6 << 2 << 6;
    QTest::newRow("endless") << QByteArray("chain") << 1000 << 2 << 6;
    QTest::newRow("to file") << QByteArray("file:///etc/passwd") << 1 << 2 << 1;
    QTest::newRow("to ftp") << QByteArray("ftp://127.0.0.1/x") << 1 << 2 << 1;
    QTest::newRow("relative, then to javascript") << QByteArray("chain-js") << 2 << 2 << 2;
}

void ExtrasNetTest::redirects() {
    QFETCH(QByteArray, location);
    QFETCH(int, hops);
    QFETCH(int, code);
    QFETCH(int, requests);
    LocalHttpServer server(
        [&](const QByteArray& target, const QByteArray&) {
            HttpReply r;
            if (target == "/v2") {
                r.bytes = HttpAnswer(200, "9.0.0.0\nhttp://x/\n");
                return r;
            }
            QByteArray to = location;
            if (location.startsWith("chain")) {
                // Each answer sends the client one step further, with a body of its own.
                const qsizetype at = target.lastIndexOf("hop");
                const int n = at >= 0 ? target.mid(at + 3).toInt() : 0;
                to = n + 1 < hops ? "hop" + QByteArray::number(n + 1)
                     : QByteArray(location == "chain" ? "/v2" : "javascript:alert(1)");
            }
            r.bytes = HttpAnswer(302, QByteArray(300, 'r'), "Location: " + to + "\r\n");
            return r;
        },
        40);
    QCOMPARE(RunCheck(KSite::FromBase(server.Base()), QStringLiteral("1.0.0.0")).first, code);
    QCOMPARE(server.targets.size(), requests);
    QCOMPARE(KNet::Instance().Running(), 0);
    for (const QByteArray& target : server.targets)
        QVERIFY(target == "/products/parvane/version.php" || target == "/v2" || target.startsWith("/products/parvane/hop"));
}

void ExtrasNetTest::slowAnswerTimesOut() {
    // One byte a second never completes within the (shortened) limit.
    LocalHttpServer server([](const QByteArray&, const QByteArray&) {
        HttpReply r;
        r.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 40\r\n\r\n";
        r.drip = "1.0.0.0\nhttp://x/aaaaaaaaaaaaaaaaaaaaaaaa";
        r.dripMs = 1000;
        return r;
    });
    KNet::Instance().SetLimits(1500, 1500);
    const int code = RunCheck(KSite::FromBase(server.Base()), QStringLiteral("0.0.0.1")).first;
    KNet::Instance().SetLimits(KNet::kRequestMs, KNet::kConnectMs);
    QCOMPARE(code, int(kUpdateOpenFailed));
}

void ExtrasNetTest::tlsFailureIsAFailure() {
    if (!QSslSocket::supportsSsl()) QSKIP("this Qt has no TLS backend");
    QTemporaryDir dir;
    QString cert, key, why;
    if (!parvanetest::MakeTestCertificate(dir.path(), &cert, &key, &why)) QSKIP(qPrintable(why));
    LocalHttpServer server(
        [](const QByteArray&, const QByteArray&) {
            HttpReply r;
            r.bytes = HttpAnswer(200, "9.0.0.0\nhttp://x/\n");
            return r;
        },
        5, cert, key);
    // A self-signed certificate is never accepted, and nothing falls back to http.
    QCOMPARE(RunCheck(KSite::FromBase(server.Base("https")), QStringLiteral("1.0.0.0")).first, int(kUpdateOpenFailed));
    QVERIFY(server.targets.isEmpty());

    parvanetest::FakePrompter prompter;
    KExtrasContext context;
    context.prompter = &prompter;
    context.site = KSite::FromBase(server.Base("https"));
    KRegistrationDlg dialog(context);
    dialog.NameEdit()->setText(QStringLiteral("n"));
    dialog.EmailEdit()->setText(QStringLiteral("e"));
    dialog.OnOK();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.Sending(), kWaitMs);
    QCOMPARE(prompter.Texts(), QStringList{QString::fromUtf8(text::kCannotConnect)});
    QVERIFY(server.targets.isEmpty());
}

void ExtrasNetTest::updateDialogDays() {
    CUpdateDlg dialog;
    QVERIFY(dialog.DownloadButton()->isChecked());
    QVERIFY(!dialog.Combo()->isEnabled());
    QCOMPARE(dialog.GetRemindDays(), 0);
    dialog.LaterButton()->setChecked(true);
    QVERIFY(dialog.Combo()->isEnabled());
    QCOMPARE(dialog.GetRemindDays(), 5);
    dialog.Combo()->setCurrentIndex(1);
    QCOMPARE(dialog.GetRemindDays(), 10);
    dialog.Combo()->setCurrentIndex(2);
    QCOMPARE(dialog.GetRemindDays(), -1);
    dialog.DownloadButton()->setChecked(true);
    QCOMPARE(dialog.GetRemindDays(), 0);
}

void ExtrasNetTest::updateFromAboutOpensOnlyWebLinks() {
    for (const QByteArray& link : {QByteArray("http://x.example/dl"), QByteArray("file:///bin/sh"),
                                   QByteArray("javascript:alert(1)"), QByteArray()}) {
        LocalHttpServer server([&](const QByteArray&, const QByteArray&) {
            HttpReply r;
            r.bytes = HttpAnswer(200, "99.0.0.0\n" + link);
            return r;
        });
        parvanetest::FakePrompter prompter;
        RecordingOpener opener;
        KExtrasContext context;
        context.prompter = &prompter;
        context.urls = &opener;
        context.site = KSite::FromBase(server.Base());
        context.runDialog = [](QDialog*) { return int(QDialog::Accepted); };  // "Download it now", Ok
        int days = -2;
        bool answered = false;
        RunUpdateCheck(nullptr, context, [&](bool a, int d) {
            answered = a;
            days = d;
        });
        QTRY_VERIFY_WITH_TIMEOUT(days != -2, kWaitMs);
        // Without a web address to open, the user hears so and the reminder is left alone.
        const bool web = link.startsWith("http");
        QCOMPARE(answered, web);
        QCOMPARE(days, web ? 0 : -1);
        QCOMPARE(opener.opened.size(), web ? 1 : 0);
        QCOMPARE(prompter.Texts(), web ? QStringList() : QStringList{QString::fromUtf8(text::kNoDownloadLink)});
    }
}

void ExtrasNetTest::signUpEncoding_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("encoded");
    QTest::newRow("empty") << "" << "";
    QTest::newRow("ab") << "ab" << "YQBiAA==";
    QTest::newRow("28 characters fill a line") << QString(28, QLatin1Char('a'))
                                               << QString::fromLatin1(QByteArray("a\0", 2).repeated(28).toBase64()) + "\r\n";
    QTest::newRow("non-ASCII") << QString::fromUtf8("Zoë ✓") << QString::fromLatin1(QByteArray::fromHex("5a006f00eb0020001327").toBase64());
}

void ExtrasNetTest::signUpEncoding() {
    QFETCH(QString, field);
    QFETCH(QString, encoded);
    QCOMPARE(EncodeSignUpField(field).value(), encoded);
    // 29 characters spill onto a second line; 60 pass, 61 do not.
    const QString long29 = *EncodeSignUpField(QString(29, QLatin1Char('a')));
    QCOMPARE(long29.indexOf(QLatin1String("\r\n")), 76);
    QVERIFY(EncodeSignUpField(QString(60, QLatin1Char('a'))).has_value());
    QVERIFY(!EncodeSignUpField(QString(61, QLatin1Char('a'))).has_value());
}

void ExtrasNetTest::signUpOkEnabling() {
    parvanetest::FakePrompter prompter;
    KExtrasContext context;
    context.prompter = &prompter;
    KRegistrationDlg dialog(context);
    QVERIFY(!dialog.OkButton()->isEnabled());
    dialog.NameEdit()->setText(QStringLiteral("Name"));
    QVERIFY(!dialog.OkButton()->isEnabled());
    dialog.EmailEdit()->setText(QStringLiteral("a@b"));
    QVERIFY(dialog.OkButton()->isEnabled());
    dialog.EmailEdit()->clear();
    QVERIFY(!dialog.OkButton()->isEnabled());
    // "Do Not Register" completes the form; "Remind Me Later" does not.
    context.runDialog = [](QDialog* d) {
        static_cast<KRegistrationDlg*>(d)->OnDoNotRegister();
        return d->result();
    };
    QVERIFY(RunSignUp(nullptr, context));
    context.runDialog = [](QDialog*) { return int(QDialog::Rejected); };
    QVERIFY(!RunSignUp(nullptr, context));
}

void ExtrasNetTest::signUpSendsDecodableQuery() {
    LocalHttpServer server([](const QByteArray&, const QByteArray&) {
        HttpReply r;
        r.bytes = HttpAnswer(200, "");
        return r;
    });
    parvanetest::FakePrompter prompter;
    KExtrasContext context;
    context.prompter = &prompter;
    context.site = KSite::FromBase(server.Base());
    KRegistrationDlg dialog(context);
    const QString name = QString::fromUtf8("Zoë Ŝmith-Ünal ✓ with a name that wraps");
    const QString company = QString(61, QLatin1Char('c'));
    dialog.NameEdit()->setText(name);
    dialog.CompanyEdit()->setText(company);
    dialog.EmailEdit()->setText(QStringLiteral("z+tag@example.org"));
    dialog.AboutEdit()->setText(QStringLiteral("a friend?&x=1"));
    dialog.PatchesCheck()->setChecked(true);
    // 61 characters: the message, and nothing sent.
    dialog.OnOK();
    QCOMPARE(prompter.Texts(), QStringList{QString::fromUtf8(text::kTooLong)});
    QVERIFY(!dialog.Sending());
    dialog.CompanyEdit()->setText(QString(60, QLatin1Char('c')));
    dialog.OnOK();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.Sending(), kWaitMs);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(server.targets.size(), 1);
    const QByteArray target = server.targets[0];
    QVERIFY(target.startsWith("/page.php?name="));
    QVERIFY(!target.contains('+') && !target.contains('\r') && !target.contains(' '));
    // Each value, URL-decoded and then Base64-decoded, is the UTF-16LE text.
    QMap<QString, QString> got;
    const QList<QByteArray> pairs = target.mid(target.indexOf('?') + 1).split('&');
    QStringList keys;
    for (const QByteArray& pair : pairs) {
        const qsizetype eq = pair.indexOf('=');
        keys << QString::fromLatin1(pair.left(eq));
        got[keys.last()] = QString::fromLatin1(QByteArray::fromPercentEncoding(pair.mid(eq + 1)));
    }
    QCOMPARE(keys, (QStringList{"name", "company", "email", "about", "want_patches", "want_other"}));
    auto decode = [](const QString& b64) {
        const QByteArray bytes = QByteArray::fromBase64(b64.toLatin1());
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
    };
    QVERIFY(got["name"].contains(QLatin1String("\r\n")));
    QCOMPARE(decode(got["name"]), name);
    QCOMPARE(decode(got["company"]), QString(60, QLatin1Char('c')));
    QCOMPARE(decode(got["email"]), QStringLiteral("z+tag@example.org"));
    QCOMPARE(decode(got["about"]), QStringLiteral("a friend?&x=1"));
    QCOMPARE(got["want_patches"], QStringLiteral("1"));
    QCOMPARE(got["want_other"], QStringLiteral("0"));
    QCOMPARE(prompter.Texts().last(), QString::fromUtf8(text::kThanks));
}

void ExtrasNetTest::signUpAnswers_data() {
    QTest::addColumn<int>("status");  // 0: no server
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("200") << 200 << QString::fromUtf8(text::kThanks) << true;
    QTest::newRow("404") << 404 << QString::fromUtf8(text::kSignUpFailed) << false;
    QTest::newRow("500") << 500 << QString::fromUtf8(text::kSignUpFailed) << false;
    QTest::newRow("refused") << 0 << QString::fromUtf8(text::kCannotConnect) << false;
    QTest::newRow("redirect loop") << 302 << QString::fromUtf8(text::kCannotConnect) << false;
    QTest::newRow("no site") << -1 << QString::fromUtf8(text::kCannotConnect) << false;
}

void ExtrasNetTest::signUpAnswers() {
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(bool, accepted);
    LocalHttpServer server([&](const QByteArray&, const QByteArray&) {
        HttpReply r;
        // 302: every answer sends the client to the same place again.
        r.bytes = HttpAnswer(status, "body", status == 302 ? "Location: /page.php?again=1\r\n" : "");
        return r;
    });
    parvanetest::FakePrompter prompter;
    KExtrasContext context;
    context.prompter = &prompter;
    if (status > 0) {
        context.site = KSite::FromBase(server.Base());
    } else if (status == 0) {
        context.site = KSite::FromBase(QStringLiteral("http://127.0.0.1:%1").arg(parvanetest::RefusedPort()));
    } else {
        context.site = KSite::FromBase(QString());
    }
    KRegistrationDlg dialog(context);
    dialog.NameEdit()->setText(QStringLiteral("n"));
    dialog.EmailEdit()->setText(QStringLiteral("e"));
    dialog.OnOK();
    QTRY_VERIFY_WITH_TIMEOUT(!prompter.Texts().isEmpty(), kWaitMs);
    QCOMPARE(prompter.Texts(), QStringList{message});
    QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
    QVERIFY(dialog.OkButton()->isEnabled());
}

QTEST_MAIN(ExtrasNetTest)
#include "ExtrasNetTest.moc"
