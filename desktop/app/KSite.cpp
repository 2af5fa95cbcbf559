#include "desktop/app/KSite.h"

#include <QUrlQuery>

namespace parvane {

bool IsWebUrl(const QUrl& url) {
    if (!url.isValid() || url.isRelative() || url.host().isEmpty()) return false;
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

KSite KSite::FromEnvironment() { return FromBase(qEnvironmentVariable(kEnvVariable)); }

KSite KSite::FromBase(const QString& base) {
    KSite site;
    QUrl url(base.trimmed(), QUrl::StrictMode);
    if (!IsWebUrl(url) || url.hasQuery() || url.hasFragment() || !url.userInfo().isEmpty())
        url = QUrl(QString::fromLatin1(kPlaceholder));
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/'))) path.chop(1);
    url.setPath(path);
    site.m_base = url;
    return site;
}

bool KSite::IsSet() const { return m_base.host() != QUrl(QString::fromLatin1(kPlaceholder)).host(); }

QUrl KSite::Url(const QString& path) const {
    QUrl url = m_base;
    url.setPath(m_base.path() + path);
    return url;
}

QUrl KSite::SignUpUrl(const QString& name, const QString& company, const QString& email, const QString& about,
                      const QString& wantPatches, const QString& wantOther) const {
    // Every value is percent-encoded in full, so that "+", "/", "=" and line
    // breaks of the Base64 texts reach the server as they were.
    auto enc = [](const QString& v) { return QString::fromLatin1(QUrl::toPercentEncoding(v)); };
    QString query = QStringLiteral("name=%1&company=%2&email=%3&about=%4&want_patches=%5&want_other=%6")
                        .arg(enc(name), enc(company), enc(email), enc(about), enc(wantPatches), enc(wantOther));
    QUrl url = Url(QString::fromLatin1(kSignUpPath));
    url.setQuery(query, QUrl::StrictMode);
    return url;
}

}  // namespace parvane
