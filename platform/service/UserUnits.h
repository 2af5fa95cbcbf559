#pragma once
// A user's service registrations: systemd user units, D-Bus activation files
// and interface descriptions under the user's data folder, and the user's
// service manager reached through systemctl --user.
#include <string>
#include <vector>

#include "platform/core/HResult.h"

namespace plat::svc {

// $XDG_DATA_HOME, else $HOME/.local/share (no trailing separator); empty when
// neither is known.
std::string UserDataHome();
// <data>/systemd/user, <data>/dbus-1/services and <data>/dbus-1/interfaces.
std::string UserUnitDir();
std::string DBusServiceDir();
std::string DBusInterfaceDir();

// One word of a unit's command line, quoted so that spaces, quotes,
// backslashes and the manager's "%" and "$" expansions stay as they are.
std::string QuoteUnitWord(const std::string& word);

// What a user unit says. Lists of units are written space-separated.
struct UserUnit {
    std::string description;
    std::string type;               // "simple", "notify"
    std::vector<std::string> exec;  // program and arguments
    std::vector<std::string> after;
    std::vector<std::string> wants;
    std::string restart;            // empty for none
    // At most startLimitBurst starts within startLimitIntervalSec seconds
    // (the manager's defaults when 0).
    unsigned startLimitIntervalSec = 0;
    unsigned startLimitBurst = 0;
};
std::string UserUnitText(const UserUnit& unit);

// Writes the file whole or not at all (written beside it, then renamed),
// making the folders it needs. False with the last error set.
bool WriteFileAtomically(const std::string& path, const std::string& text);
// Removes a file this user owns (a regular file, never followed through a
// link). True when nothing is left at the path; false (last error set) when
// it could not be removed or is not ours.
bool RemoveOwnFile(const std::string& path);

// True when this user's service manager answers (within a few seconds).
bool UserManagerAnswers();
// Runs systemctl --user with the arguments, bounded in time. S_OK when it
// exits 0; E_FAIL on another exit status; the time-out or start failure.
HRESULT UserSystemctl(const std::vector<std::string>& args, DWORD timeoutMs = 30000);

}  // namespace plat::svc
