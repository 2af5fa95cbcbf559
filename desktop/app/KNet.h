#pragma once
// The program's one way onto the network: a single QNetworkAccessManager on
// the GUI thread whose requests never block it. Every request is bounded in
// time and in the size of its answer, follows at most a few redirects and
// only to http(s) (never from https down to http), keeps no cookies, never
// answers from a cache and never ignores a TLS error.
#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

namespace parvane {

struct KNetPending;

struct KNetAnswer {
    // Answered: the server gave a status (the body holds at most the size
    // limit; truncated says more was there). Failed: no usable answer.
    enum Kind { Answered, Failed };
    Kind kind = Failed;
    int status = 0;
    QByteArray body;
    bool truncated = false;
    QString error;
    bool Ok2xx() const { return kind == Answered && status >= 200 && status < 300; }
};

class KNet : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kUserAgent = "Tonquil";
    static constexpr int kMaxBody = 4096;
    static constexpr int kMaxRedirects = 5;
    static constexpr int kRequestMs = 10000;
    static constexpr int kConnectMs = 5000;

    // The process's instance, made on first use; lives on the GUI thread.
    static KNet& Instance();

    // Starts a GET of url; done runs later on this thread, once, unless
    // context is destroyed first.
    void Get(const QUrl& url, QObject* context, std::function<void(const KNetAnswer&)> done);

    // The time limits; tests shorten them.
    void SetLimits(int requestMs, int connectMs) {
        m_requestMs = requestMs;
        m_connectMs = connectMs;
    }
    int RequestMs() const { return m_requestMs; }
    // Requests still running.
    int Running() const { return m_running; }

private:
    KNet();
    // One request of a GET: the first, or the next after a redirect.
    void Hop(const std::shared_ptr<KNetPending>& pending, const QUrl& url);

    QNetworkAccessManager* m_manager = nullptr;
    int m_requestMs = kRequestMs;
    int m_connectMs = kConnectMs;
    int m_running = 0;
};

}  // namespace parvane
