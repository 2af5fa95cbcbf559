#include "desktop/app/KUpdateChecker.h"

#include <QPointer>
#include <QTimer>

#include <climits>

#include "desktop/app/ExtrasText.h"

#ifndef PARVANE_VERSION
#define PARVANE_VERSION "0.0.0.0"
#endif

namespace parvane {

QString OwnVersionText() { return QStringLiteral(PARVANE_VERSION); }

namespace {

// Reads an int the way scanf's %d does: white space, an optional sign,
// digits. False when there are no digits or the number does not fit.
bool ReadInt(const QByteArray& s, qsizetype& i, qint64& out) {
    while (i < s.size() && isspace(static_cast<unsigned char>(s[i]))) ++i;
    qsizetype j = i;
    bool negative = false;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
        negative = s[j] == '-';
        ++j;
    }
    qint64 value = 0;
    qsizetype digits = 0;
    while (j < s.size() && s[j] >= '0' && s[j] <= '9') {
        value = value * 10 + (s[j] - '0');
        if (value > qint64(INT_MAX) + 1) return false;
        ++j;
        ++digits;
    }
    if (digits == 0) return false;
    if (negative) value = -value;
    if (value > INT_MAX || value < INT_MIN) return false;
    out = value;
    i = j;
    return true;
}

}  // namespace

std::optional<KVersion> ParseOwnVersion(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    for (char sep : {'.', ','}) {
        KVersion v{};
        qsizetype i = 0;
        int n = 0;
        while (n < 4 && ReadInt(bytes, i, v[n])) {
            ++n;
            if (n < 4) {
                if (i < bytes.size() && bytes[i] == sep) ++i;
                else break;
            }
        }
        if (n == 4) return v;
    }
    return std::nullopt;
}

KVersionAnswer ParseVersionAnswer(const QByteArray& body) {
    KVersionAnswer a;
    qsizetype i = 0;
    while (a.fields < 4 && ReadInt(body, i, a.version[a.fields])) {
        ++a.fields;
        if (a.fields < 4) {
            if (i < body.size() && body[i] == '.') ++i;
            else break;
        }
    }
    if (a.fields < 4) return a;
    while (i < body.size() && isspace(static_cast<unsigned char>(body[i]))) ++i;
    qsizetype end = i;
    while (end < body.size() && !isspace(static_cast<unsigned char>(body[end])) && end - i < KVersionAnswer::kMaxLinkLength)
        ++end;
    a.link = QString::fromLatin1(body.mid(i, end - i));
    return a;
}

int CompareVersions(const KVersion& a, const KVersion& b) {
    for (size_t k = 0; k < 4; ++k) {
        if (a[k] != b[k]) return a[k] < b[k] ? -1 : 1;
    }
    return 0;
}

int EvaluateUpdateAnswer(const QString& ownVersion, const KNetAnswer& answer, QString* text) {
    if (text) text->clear();
    const std::optional<KVersion> own = ParseOwnVersion(ownVersion);
    if (!own) return kUpdateInternalError;
    if (!answer.Ok2xx()) return kUpdateOpenFailed;
    const KVersionAnswer server = ParseVersionAnswer(answer.body);
    if (server.fields == 0) return kUpdateNoNumber;
    if (text) *text = server.link;
    return CompareVersions(*own, server.version) < 0 ? kUpdateNewer : kUpdateLatest;
}

QString UpdateMessage(int code, bool* isError) {
    if (isError) *isError = code != kUpdateLatest;
    switch (code) {
    case kUpdateNoInternet: return QString::fromUtf8(text::kCannotConnect);
    case kUpdateOpenFailed: return QString::fromUtf8(text::kVersionOpenFailed);
    case kUpdateNoNumber: return QString::fromUtf8(text::kVersionNoNumber);
    case kUpdateLatest: return QString::fromUtf8(text::kLatestVersion);
    default: return QString::fromUtf8(text::kInternalError);
    }
}

KUpdateChecker::KUpdateChecker(KSite site, QString ownVersion, QObject* parent)
    : QObject(parent), m_site(std::move(site)), m_ownVersion(std::move(ownVersion)) {}

void KUpdateChecker::Check(std::function<void(int code, const QString& link)> done) {
    if (!m_site.IsSet()) {
        QTimer::singleShot(0, this, [done] { done(kUpdateNoInternet, QString()); });
        return;
    }
    if (!ParseOwnVersion(m_ownVersion)) {
        QTimer::singleShot(0, this, [done] { done(kUpdateInternalError, QString()); });
        return;
    }
    KNet::Instance().Get(m_site.VersionUrl(), this, [this, done](const KNetAnswer& answer) {
        QString link;
        int code = EvaluateUpdateAnswer(m_ownVersion, answer, &link);
        done(code, link);
    });
}

}  // namespace parvane
