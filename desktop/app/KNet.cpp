#include "desktop/app/KNet.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include "desktop/app/KSite.h"

namespace parvane {

namespace {

// The system's proxy settings, asked for each request.
class SystemProxies final : public QNetworkProxyFactory {
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override {
        return QNetworkProxyFactory::systemProxyForQuery(query);
    }
};

// What one request gathers while it runs.
struct Pending {
    std::function<void(const KNetAnswer&)> done;
    QPointer<QObject> context;
    bool hasContext = false;
    KNetAnswer answer;
    QString stop;  // why the request was cut short, empty while it runs
    bool tooLarge = false;
    int redirects = 0;
};

// No error, or one that only says the status was not a success.
bool IsStatusError(QNetworkReply::NetworkError error) {
    return error == QNetworkReply::NoError ||
           (error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError) ||
           (error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError);
}

}  // namespace

KNet& KNet::Instance() {
    static KNet* instance = new KNet;  // lives as long as the application
    return *instance;
}

KNet::KNet() : m_manager(new QNetworkAccessManager(this)) {
    m_manager->setProxyFactory(new SystemProxies);
    m_manager->setRedirectPolicy(QNetworkRequest::UserVerifiedRedirectPolicy);
    m_manager->setStrictTransportSecurityEnabled(false);
    m_manager->setAutoDeleteReplies(false);
}

void KNet::Get(const QUrl& url, QObject* context, std::function<void(const KNetAnswer&)> done) {
    auto pending = std::make_shared<Pending>();
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

    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QString::fromLatin1(kUserAgent));
    request.setRawHeader("Pragma", "no-cache");
    request.setRawHeader("Cache-Control", "no-cache");
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setMaximumRedirectsAllowed(kMaxRedirects);

    QNetworkReply* reply = m_manager->get(request);
    ++m_running;
    reply->setReadBufferSize(kMaxBody + 1);

    auto cut = [reply, pending](const QString& why) {
        if (!pending->stop.isEmpty() || reply->isFinished()) return;
        pending->stop = why;
        reply->abort();
    };

    // A redirect is followed only to http(s), and never from https to http.
    connect(reply, &QNetworkReply::redirected, reply, [reply, pending, cut](const QUrl& target) {
        const QUrl from = reply->url();
        if (++pending->redirects > kMaxRedirects) {
            cut(QStringLiteral("more than %1 redirects").arg(kMaxRedirects));
        } else if (!IsWebUrl(target)) {
            cut(QStringLiteral("redirect to a refused address: %1").arg(target.toString()));
        } else if (from.scheme().toLower() == QLatin1String("https") &&
                   target.scheme().toLower() != QLatin1String("https")) {
            cut(QStringLiteral("redirect from https to http refused"));
        } else {
            emit reply->redirectAllowed();
        }
    });
    connect(reply, &QNetworkReply::readyRead, reply, [reply, pending, cut] {
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
    whole->start(m_requestMs);
    auto* connecting = new QTimer(reply);
    connecting->setSingleShot(true);
    connect(connecting, &QTimer::timeout, reply, [cut] { cut(QStringLiteral("no connection in time")); });
    connect(reply, &QNetworkReply::requestSent, connecting, &QTimer::stop);
    connect(reply, &QNetworkReply::metaDataChanged, connecting, &QTimer::stop);
    connecting->start(m_connectMs);

    connect(reply, &QNetworkReply::finished, this, [this, reply, pending] {
        --m_running;
        KNetAnswer& a = pending->answer;
        // What is left after the last readyRead (a small answer may come whole).
        const qint64 room = kMaxBody - a.body.size();
        if (room > 0 && pending->stop.isEmpty()) a.body += reply->read(room);
        if (reply->bytesAvailable() > 0) pending->tooLarge = true;
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        a.status = status.isValid() ? status.toInt() : 0;
        a.truncated = pending->tooLarge;
        const bool gotStatus = a.status > 0;
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
            a.error = reply->errorString();
        }
        if (a.kind == KNetAnswer::Failed) a.body.clear();
        reply->deleteLater();
        if (!pending->hasContext || pending->context) pending->done(a);
    });
}

}  // namespace parvane
