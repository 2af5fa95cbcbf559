#pragma once
// A small HTTP (or HTTPS) server on 127.0.0.1 for the tests: each request's
// target goes to a handler that gives the whole answer as bytes, or drips
// it, or cuts it short. It serves a bounded number of requests and closes
// every connection after one answer.
#include <QByteArray>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>

#include "desktop/app/Seams.h"

namespace parvanetest {

struct HttpReply {
    QByteArray bytes;       // what is written at once
    QByteArray drip;        // written afterwards, one byte per dripMs
    int dripMs = 1000;
    bool closeEarly = false;  // close after bytes, leaving a promised body unsent
};

inline QByteArray HttpAnswer(int status, const QByteArray& body, const QByteArray& extraHeaders = {}) {
    QByteArray reason = status == 200 ? "OK" : status == 404 ? "Not Found" : status == 302 ? "Found" : "Status";
    return "HTTP/1.1 " + QByteArray::number(status) + " " + reason + "\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
}

class LocalHttpServer : public QObject {
public:
    using Handler = std::function<HttpReply(const QByteArray& target, const QByteArray& head)>;

    // tls: serve HTTPS with certificate (PEM files); empty: plain HTTP.
    explicit LocalHttpServer(Handler handler, int maxRequests = 20, const QString& certFile = {},
                             const QString& keyFile = {})
        : m_handler(std::move(handler)), m_maxRequests(maxRequests) {
        if (!certFile.isEmpty()) {
            auto* ssl = new QSslServer(this);
            QSslConfiguration config = QSslConfiguration::defaultConfiguration();
            QFile cert(certFile), key(keyFile);
            cert.open(QIODevice::ReadOnly);
            key.open(QIODevice::ReadOnly);
            config.setLocalCertificate(QSslCertificate(cert.readAll()));
            config.setPrivateKey(QSslKey(key.readAll(), QSsl::Rsa));
            ssl->setSslConfiguration(config);
            m_server = ssl;
        } else {
            m_server = new QTcpServer(this);
        }
        connect(m_server, &QTcpServer::pendingConnectionAvailable, this, &LocalHttpServer::Accept);
        m_server->listen(QHostAddress::LocalHost, 0);
    }

    quint16 Port() const { return m_server->serverPort(); }
    QString Base(const char* scheme = "http") const {
        return QStringLiteral("%1://127.0.0.1:%2").arg(QLatin1String(scheme)).arg(Port());
    }
    // The targets asked for so far (path and query as sent).
    QList<QByteArray> targets;
    QList<QByteArray> heads;

private:
    void Accept() {
        while (QTcpSocket* socket = m_server->nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                buffer->append(socket->readAll());
                const qsizetype end = buffer->indexOf("\r\n\r\n");
                if (end < 0 || buffer->isEmpty()) return;
                const QByteArray head = buffer->left(end);
                buffer->clear();
                const QList<QByteArray> first = head.left(head.indexOf("\r\n")).split(' ');
                const QByteArray target = first.size() > 1 ? first[1] : QByteArray();
                if (targets.size() >= m_maxRequests) {
                    socket->abort();
                    return;
                }
                targets << target;
                heads << head;
                Send(socket, m_handler(target, head));
            });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    void Send(QTcpSocket* socket, const HttpReply& reply) {
        socket->write(reply.bytes);
        if (reply.closeEarly) {
            socket->flush();
            socket->disconnectFromHost();
            return;
        }
        if (reply.drip.isEmpty()) {
            socket->disconnectFromHost();
            return;
        }
        auto* timer = new QTimer(socket);
        auto left = std::make_shared<QByteArray>(reply.drip);
        connect(timer, &QTimer::timeout, socket, [socket, timer, left] {
            if (left->isEmpty()) {
                timer->stop();
                socket->disconnectFromHost();
                return;
            }
            socket->write(left->left(1));
            left->remove(0, 1);
        });
        timer->start(reply.dripMs);
    }

    QTcpServer* m_server = nullptr;
    Handler m_handler;
    int m_maxRequests;
};

// A port on 127.0.0.1 that nothing listens on: connections are refused.
inline quint16 RefusedPort() {
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    const quint16 port = closed.serverPort();
    closed.close();
    return port;
}

// A URL opener that keeps what it was asked to open.
class RecordingOpener final : public parvane::UrlOpener {
public:
    void Open(const QUrl& url) override { opened << url; }
    QList<QUrl> opened;
};

// A self-signed certificate for 127.0.0.1 made with the openssl program;
// false (with why) when openssl is missing or fails.
inline bool MakeTestCertificate(const QString& folder, QString* certFile, QString* keyFile, QString* why) {
    const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
    if (openssl.isEmpty()) {
        *why = QStringLiteral("the openssl program is not installed");
        return false;
    }
    *certFile = folder + QStringLiteral("/cert.pem");
    *keyFile = folder + QStringLiteral("/key.pem");
    QProcess p;
    p.start(openssl, {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                      QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-keyout"), *keyFile,
                      QStringLiteral("-out"), *certFile, QStringLiteral("-days"), QStringLiteral("2"),
                      QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        *why = QStringLiteral("openssl could not make a certificate: ") + QString::fromLocal8Bit(p.readAllStandardError());
        return false;
    }
    return true;
}

}  // namespace parvanetest
