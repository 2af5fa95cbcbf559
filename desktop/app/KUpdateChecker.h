#pragma once
// The update check: the version file of the maker's site against the
// program's own version.
#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <optional>

#include "desktop/app/KNet.h"
#include "desktop/app/KSite.h"

namespace parvane {

// Result codes of a check.
enum UpdateCode {
    kUpdateNewer = 0,         // a newer version exists
    kUpdateNoInternet = 1,    // nothing may be sent (no site set)
    kUpdateOpenFailed = 2,    // no answer, or not a success status
    kUpdateNoNumber = 3,      // the answer holds no number
    kUpdateLatest = 4,        // this is the latest version
    kUpdateInternalError = 5, // the own version cannot be read
};

using KVersion = std::array<qint64, 4>;

// The version of this build, "a.b.c.d".
QString OwnVersionText();
// "a.b.c.d" or "a,b,c,d": the four numbers, or nothing when the text does
// not hold four.
std::optional<KVersion> ParseOwnVersion(const QString& text);

// What a version file says: the numbers read (fields: 0 to 4; the unread
// ones stay 0) and, after all four, the word that follows (the download link),
// at most kMaxLinkLength characters of it.
struct KVersionAnswer {
    static constexpr int kMaxLinkLength = 2048;
    int fields = 0;
    KVersion version{0, 0, 0, 0};
    QString link;
};
KVersionAnswer ParseVersionAnswer(const QByteArray& body);

// Field by field: negative, zero or positive as a is older, equal, newer.
int CompareVersions(const KVersion& a, const KVersion& b);

// The code (and the link in text) for an answer of the site.
int EvaluateUpdateAnswer(const QString& ownVersion, const KNetAnswer& answer, QString* text);

// The message for a code other than kUpdateNewer, and whether it is an error.
QString UpdateMessage(int code, bool* isError);

class KUpdateChecker : public QObject {
    Q_OBJECT
public:
    explicit KUpdateChecker(KSite site, QString ownVersion = OwnVersionText(), QObject* parent = nullptr);

    // Runs the check; done gets the code and the link, later, on this thread.
    // With no site set it answers kUpdateNoInternet without sending anything.
    void Check(std::function<void(int code, const QString& link)> done);

private:
    KSite m_site;
    QString m_ownVersion;
};

}  // namespace parvane
