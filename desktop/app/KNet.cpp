#include "desktop/app/KNet.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include "desktop/app/KSite.h"

#include <algorithm>

namespace parvane {

namespace {

// The system's proxy settings, asked for each request.
class SystemProxies final : public QNetworkProxyFactory {
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override {
        return QNetworkProxyFactory::systemProxyForQuery(query);
    }
};

}  // namespace

// What one request gathers while it runs, over all of its hops.
struct KNetPending {
    std::function<void(const KNetAnswer&)> done;
    QPointer<QObject> context;
    bool hasContext = false;
    KNetAnswer answer;
    QString stop;  // why the request was cut short, empty while it runs
    bool tooLarge = false;
    int redirects = 0;
    QNetworkReply* current = nullptr;  // the hop in flight
    QDeadlineTimer deadline;           // one time limit for all hops together
};

namespace {

// No error, or one that only says the status was not a success.
bool IsStatusError(QNetworkReply::NetworkError error) {
    return error == QNetworkReply::NoError ||
           (error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError) ||
           (error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError);
}

int StatusOf(QNetworkReply* reply) {
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() ? status.toInt() : 0;
}

// The address a redirect answer sends to, empty when it is none.
QUrl RedirectTarget(QNetworkReply* reply) {
    const int status = StatusOf(reply);
    if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308) return QUrl();
    const QByteArray location = reply->rawHeader("Location").trimmed();
    if (location.isEmpty()) return QUrl();
    return reply->url().resolved(QUrl::fromEncoded(location));
}

}  // namespace

KNet& KNet::Instance() {
    static KNet* instance = new KNet;  // lives as long as the application
    return *instance;
}

KNet::KNet() : m_manager(new QNetworkAccessManager(this)) {
    m_manager->setProxyFactory(new SystemProxies);
    m_manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    m_manager->setStrictTransportSecurityEnabled(false);
    m_manager->setAutoDeleteReplies(false);
}

void KNet::Get(const QUrl& url, QObject* context, std::function<void(const KNetAnswer&)> done) {
    auto pending = std::make_shared<KNetPending>();
    pending->done = std::move(done);
    pending->context = context;
    pending->hasContext = context != nullptr;

    if (!IsWebUrl(url)) {
        pending->answer.error = QStringLiteral("not an http(s) address: %1").arg(url.toString());
        QTimer::singleShot(0, this, [pending] {
            if (!pending->hasContext || pending->context) pending->done(pending->answer);
        });
        return;
    }
    ++m_running;
    pending->deadline = QDeadlineTimer(m_requestMs);
    Hop(pending, url);
}

void KNet::Hop(const std::shared_ptr<KNetPending>& pending, const QUrl& url) {
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QString::fromLatin1(kUserAgent));
    request.setRawHeader("Pragma", "no-cache");
    request.setRawHeader("Cache-Control", "no-cache");
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    // Redirects are followed here, one request per hop, under our own rules.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);

    QNetworkReply* reply = m_manager->get(request);
    pending->current = reply;
    reply->setReadBufferSize(kMaxBody + 1);

    auto cut = [reply, pending](const QString& why) {
        if (!pending->stop.isEmpty() || reply->isFinished()) return;
        pending->stop = why;
        reply->abort();
    };
    // A redirect is followed only to http(s), never from https to http, and
    // at most kMaxRedirects times; its own body is never read.
    auto follow = [this, reply, pending, cut] {
        if (pending->current != reply || !pending->stop.isEmpty()) return false;
        const QUrl target = RedirectTarget(reply);
        if (target.isEmpty()) return false;
        if (++pending->redirects > kMaxRedirects) {
            cut(QStringLiteral("more than %1 redirects").arg(kMaxRedirects));
        } else if (!IsWebUrl(target)) {
            cut(QStringLiteral("redirect to a refused address: %1").arg(target.toString()));
        } else if (reply->url().scheme().toLower() == QLatin1String("https") &&
                   target.scheme().toLower() != QLatin1String("https")) {
            cut(QStringLiteral("redirect from https to http refused"));
        } else {
            pending->current = nullptr;
            if (!reply->isFinished()) reply->abort();
            reply->deleteLater();
            Hop(pending, target);
        }
        return true;
    };
    connect(reply, &QNetworkReply::metaDataChanged, reply, follow);
    connect(reply, &QNetworkReply::readyRead, reply, [reply, pending, cut] {
        if (pending->current != reply) return;
        QByteArray& body = pending->answer.body;
        const qint64 room = kMaxBody - body.size();
        if (room > 0) body += reply->read(room);
        if (reply->bytesAvailable() > 0) {
            pending->tooLarge = true;
            cut(QStringLiteral("answer larger than %1 bytes").arg(kMaxBody));
        }
    });

    auto* whole = new QTimer(reply);
    whole->setSingleShot(true);
    connect(whole, &QTimer::timeout, reply, [cut] { cut(QStringLiteral("no complete answer in time")); });
    whole->start(int(std::max<qint64>(0, pending->deadline.remainingTime())));
    auto* connecting = new QTimer(reply);
    connecting->setSingleShot(true);
    connect(connecting, &QTimer::timeout, reply, [cut] { cut(QStringLiteral("no connection in time")); });
    connect(reply, &QNetworkReply::requestSent, connecting, &QTimer::stop);
    connect(reply, &QNetworkReply::metaDataChanged, connecting, &QTimer::stop);
    connecting->start(std::min(m_connectMs, int(std::max<qint64>(0, pending->deadline.remainingTime()))));

    connect(reply, &QNetworkReply::finished, this, [this, reply, pending, follow] {
        // A hop left for the next one, or a redirect seen only now.
        if (pending->current != reply || follow()) {
            if (pending->current != reply) reply->deleteLater();
            return;
        }
        --m_running;
        pending->current = nullptr;
        KNetAnswer& a = pending->answer;
        // What is left after the last readyRead (a small answer may come whole).
        const qint64 room = kMaxBody - a.body.size();
        if (room > 0 && pending->stop.isEmpty()) a.body += reply->read(room);
        if (reply->bytesAvailable() > 0) pending->tooLarge = true;
        a.status = StatusOf(reply);
        a.truncated = pending->tooLarge;
        // Only a final status is an answer: an interim one (1xx) says nothing.
        const bool gotStatus = a.status >= 200;
        if (pending->tooLarge && gotStatus) {
            a.kind = KNetAnswer::Answered;  // the first bytes are kept, the rest refused
        } else if (!pending->stop.isEmpty()) {
            a.kind = KNetAnswer::Failed;
            a.error = pending->stop;
        } else if (gotStatus && IsStatusError(reply->error())) {
            // An HTTP error status is still an answer; its caller judges it.
            a.kind = KNetAnswer::Answered;
        } else {
            a.kind = KNetAnswer::Failed;
            a.error = a.status > 0 && reply->error() == QNetworkReply::NoError
                          ? QStringLiteral("no final answer (status %1)").arg(a.status)
                          : reply->errorString();
        }
        if (a.kind == KNetAnswer::Failed) a.body.clear();
        reply->deleteLater();
        if (!pending->hasContext || pending->context) pending->done(a);
    });
}

}  // namespace parvane
