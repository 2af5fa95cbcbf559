#pragma once
// The maker's web site: its host, which the deployment sets, and the paths
// the program asks it for. The built-in host never resolves, so that a build
// without a configured site sends nothing anywhere.
#include <QString>
#include <QUrl>

namespace parvane {

struct KSite {
    // A name under the reserved .invalid domain: no resolver answers it.
    static constexpr const char* kPlaceholder = "https://tonquil.invalid";
    // The environment variable that sets the site: an http or https base URL.
    static constexpr const char* kEnvVariable = "TONQUIL_SITE";

    static constexpr const char* kVersionPath = "/products/parvane/version.php";
    static constexpr const char* kSignUpPath = "/page.php";
    static constexpr const char* kRadioPath = "/vantorly/radio.php";
    static constexpr const char* kListenPageName = "radiolisten.php";
    static constexpr const char* kProductPath = "/en/products/parvane/desc.htm";
    static constexpr const char* kQuickStartPath = "/en/products/parvane/quickstart.htm";

    // The site of TONQUIL_SITE, or the placeholder when it is unset or not an
    // http(s) URL with a host.
    static KSite FromEnvironment();
    // The site at base, or the placeholder when base is not usable.
    static KSite FromBase(const QString& base);

    // False for the placeholder: then nothing may leave the machine.
    bool IsSet() const;
    QUrl Base() const { return m_base; }
    // The base followed by path (which starts with "/").
    QUrl Url(const QString& path) const;

    QUrl VersionUrl() const { return Url(kVersionPath); }
    QUrl RadioUrl() const { return Url(kRadioPath); }
    QUrl ProductUrl() const { return Url(kProductPath); }
    QUrl QuickStartUrl() const { return Url(kQuickStartPath); }
    // The sign-up request; each value is sent as its percent-encoded text.
    QUrl SignUpUrl(const QString& name, const QString& company, const QString& email, const QString& about,
                   const QString& wantPatches, const QString& wantOther) const;

private:
    QUrl m_base;
};

// True for an absolute http or https URL with a host.
bool IsWebUrl(const QUrl& url);

}  // namespace parvane
