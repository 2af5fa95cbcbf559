#pragma once
// What the settings, update, sign-up, QuickStart, help and radio windows
// need of the rest of the program: its seams, the site, and how a failed
// service call is reported.
#include <QString>

#include <functional>

#include "desktop/app/KSite.h"
#include "desktop/app/Seams.h"

class QDialog;
class QWidget;

namespace parvane {

struct KExtrasContext {
    Prompter* prompter = nullptr;
    UrlOpener* urls = nullptr;
    FileDialogs* files = nullptr;
    KSite site = KSite::FromEnvironment();
    // After a failed service call: fetches and shows the service's errors.
    std::function<void(QWidget*, const char* call, HRESULT hr)> showControllerErrors;
    // The controller pointer was found empty.
    std::function<void(QWidget*)> showInternalError;
    // The folder the manual lies in (the program's own folder).
    QString helpFolder;
    // Runs a modal dialog; the default is exec(). Tests answer in its place.
    std::function<int(QDialog*)> runDialog;
    // Runs a call to the service that may take long (a settings update) away
    // from the windows; unset, the call runs where it is made.
    std::function<HRESULT(QWidget*, const std::function<HRESULT()>&)> runLongCall;
    // The bytes this user may still write on the disk that holds a folder;
    // false when they cannot be read. The default asks the file system.
    std::function<bool(const QString& folder, qint64* bytes)> freeSpace;

    int Run(QDialog* dialog) const;
    bool FreeSpace(const QString& folder, qint64* bytes) const;
    void ControllerErrors(QWidget* parent, const char* call, HRESULT hr) const {
        if (showControllerErrors) showControllerErrors(parent, call, hr);
    }
};

}  // namespace parvane
