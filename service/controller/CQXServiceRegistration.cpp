// Registering and unregistering the service with the user's service manager
// and session bus, and the clean-up of an uninstall.
#include <signal.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "ipc/client/ClientConnection.h"
#include "ipc/client/RunningObjects.h"
#include "ipc/common/BusName.h"
#include "log/DirUtils.h"
#include "log/Trace.h"
#include "platform/core/Text.h"
#include "platform/service/Process.h"
#include "platform/service/UserUnits.h"
#include "service/audio/KCacheImpl.h"
#include "service/controller/CQXServiceModule.h"
#include "service/controller/KCacheFolder.h"
#include "service/controller/QXServiceLibXml.h"

namespace {

// Words of a D-Bus activation file's command line are quoted as a shell would.
std::string QuoteShellWord(const std::string& word) {
    std::string out = "'";
    for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string Machine() {
    utsname u{};
    return ::uname(&u) == 0 ? std::string(u.machine) : std::string();
}

}  // namespace

const char* CQXServiceModule::InstallerName(const std::string& machine) {
    if (machine.size() == 4 && machine[0] == 'i' && machine.compare(2, 2, "86") == 0 && machine[1] >= '3' &&
        machine[1] <= '6')
        return "Tavrin";
    if (machine == "x86_64" || machine == "ia64" || machine == "aarch64") return "Tavrin64";
    return nullptr;
}

std::string CQXServiceModule::UnitText(const std::string& programPath) {
    plat::svc::UserUnit unit;
    unit.description = "Tonquil time-shift audio recorder engine";
    unit.type = "notify";
    unit.exec = {programPath};
    unit.after = {"dbus.socket", kDriverUnitName};
    unit.wants = {kDriverUnitName};
    unit.restart = "on-failure";
    // A daemon that cannot serve (no driver) ends after several seconds, far
    // apart for the manager's default limit (5 starts in 10 s): restarted
    // for ever. The limit is one that such a loop meets within minutes.
    unit.startLimitIntervalSec = kStartLimitIntervalSec;
    unit.startLimitBurst = kStartLimitBurst;
    return plat::svc::UserUnitText(unit);
}

std::string CQXServiceModule::ActivationFileText(const std::string& programPath) {
    return std::string("[D-BUS Service]\nName=") + ipc::kServiceName + "\nExec=" + QuoteShellWord(programPath) +
           "\nSystemdService=" + kUnitName + "\n";
}

bool CQXServiceModule::RunInstaller(const char* verb) {
    const char* installer = InstallerName(m_machine.empty() ? Machine() : m_machine);
    if (!installer) {
        TQ_TRACE_BOOL("FALSE");
        TQ_REPORT(EC_INTERNAL, E_FAIL, u"No driver installer for this processor");
        return false;
    }
    int code = -1;
    HRESULT hr;
    if (TQ_FAILED(hr, plat::svc::RunProcess({installer, verb}, m_installerTimeoutMs, &code))) {
        TQ_REPORT(EC_INTERNAL, hr, u"The driver installer could not be run to its end");
        std::fprintf(stderr, "QXService: %s %s could not be run to its end (0x%08X)\n", installer, verb,
                     static_cast<unsigned>(hr));
        return false;
    }
    if (code != 0) {
        TQ_TRACE_BOOL("code == 0");
        TQ_REPORT(EC_INTERNAL, E_FAIL, u"The driver installer failed");
        std::fprintf(stderr, "QXService: %s %s failed with exit status %d\n", installer, verb, code);
        return false;
    }
    return true;
}

BOOL CQXServiceModule::SetupAudioDriver() { return RunInstaller("/install") ? TRUE : FALSE; }
BOOL CQXServiceModule::RemoveAudioDriver() { return RunInstaller("/uninstall") ? TRUE : FALSE; }

HRESULT CQXServiceModule::RegisterServer(bool) {
    // "Service" and "RegServer" register the same per-user service here.
    if (!SetupAudioDriver()) return E_FAIL;
    const std::string unitDir = plat::svc::UserUnitDir();
    if (unitDir.empty()) {
        std::fputs("QXService: no data folder for this user (set HOME or XDG_DATA_HOME)\n", stderr);
        return E_FAIL;
    }
    HRESULT hr = S_OK;
    const std::pair<std::string, std::string> files[] = {
        {unitDir + "/" + kUnitName, UnitText(m_programPath)},
        {plat::svc::DBusServiceDir() + "/" + kActivationFileName, ActivationFileText(m_programPath)},
        {plat::svc::DBusInterfaceDir() + "/" + kInterfaceFileName, kQXServiceLibXml},
    };
    for (const auto& [path, text] : files) {
        if (TQ_FALSE(plat::svc::WriteFileAtomically(path, text))) {
            hr = plat::HResultFromLastError();
            std::fprintf(stderr, "QXService: %s could not be written\n", path.c_str());
            return hr;
        }
    }
    // Start the service; its start is not waited for.
    if (plat::svc::UserManagerAnswers()) {
        plat::svc::UserSystemctl({"daemon-reload"});
        plat::svc::UserSystemctl({"enable", kUnitName});
        plat::svc::UserSystemctl({"start", "--no-block", kUnitName});
    } else if (FAILED(ipc::StartService(u"QXService"))) {
        // Not started now: the first client starts it.
        TQ_TRACE_HR("ipc::StartService");
    }
    return hr;
}

void CQXServiceModule::StopRunningService() {
    if (plat::svc::UserManagerAnswers()) {
        plat::svc::UserSystemctl({"stop", kUnitName});
        plat::svc::UserSystemctl({"disable", kUnitName});
    }
    // Whoever still serves the name is asked to stop, and waited for: its
    // shutdown saves the index and playlist, which must not be re-created
    // after they are deleted.
    pid_t pid = 0;
    if (ipc::ServiceProcessId(&pid) == S_OK && pid > 0) {
        ::kill(pid, SIGTERM);
        if (!plat::svc::WaitForProcessEnd(pid, m_serviceStopTimeoutMs)) {
            TQ_TRACE_BOOL("WaitForProcessEnd");
            TQ_REPORT(EC_INTERNAL, E_FAIL, u"The service did not stop");
        }
    }
}

void CQXServiceModule::DeleteStoredFiles(const std::u16string& cacheDir, BOOL* result) {
    std::string dir = plat::ToUtf8(cacheDir);
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    // Only an absolute folder that the engine named: never the current folder.
    if (dir.empty() || dir[0] != '/') {
        *result = FALSE;
        return;
    }
    // Every file of the engine's own goes (the stored data, their backups and
    // unfinished replacements, the write probe), so that "QXCache" can go;
    // anything else a user put there stays, and keeps the folder.
    if (FAILED(cacheFolder::DeleteOwnFiles(plat::ToUtf16(dir)))) *result = FALSE;
    if (plat::PathExists(plat::ToUtf16(dir + "/QXCache"))) *result = FALSE;
    if (::rmdir(dir.c_str()) != 0 && errno != ENOENT) *result = FALSE;
}

BOOL CQXServiceModule::UninstallCleanup() {
    BOOL result = TRUE;
    if (ipc::FindObjectInRot(IID_IAudioController, reinterpret_cast<void**>(m_pAudioController.ReleaseAndGetAddressOf())) !=
        S_OK) {
        ipc::StartServiceAndConnect(u"QXService", IID_IAudioController,
                                    reinterpret_cast<void**>(m_pAudioController.ReleaseAndGetAddressOf()));
    }
    std::u16string cacheDir;
    if (m_pAudioController) {
        plat::ComPtr<ISettings> settings;
        BSTR dir = nullptr;
        HRESULT hr = m_pAudioController->QueryInterface(IID_ISettings, reinterpret_cast<void**>(settings.GetAddressOf()));
        if (SUCCEEDED(hr) && settings) hr = settings->GetCacheDir(&dir);
        if (FAILED(hr) || !settings) {
            TQ_TRACE_HR("GetCacheDir");
            TQ_REPORT(EC_INTERNAL, hr, u"Getting cache dirrectory was failed");
            settings.Reset();
            m_pAudioController.Reset();
            // The clean-up is skipped, but the service never stays running
            // (and enabled) under the unit files that are about to go.
            StopRunningService();
            return FALSE;
        }
        cacheDir = dir ? std::u16string(dir) : std::u16string();
        SysFreeString(dir);
        if (FAILED(m_pAudioController->DropCache(TRUE))) result = FALSE;
        settings.Reset();
        m_pAudioController.Reset();
    } else {
        result = FALSE;
    }
    StopRunningService();
    DeleteStoredFiles(cacheDir, &result);
    if (!RemoveAudioDriver()) result = FALSE;
    if (FAILED(recurceDeleteFolder(GetAppDataDir().Str()))) return FALSE;
    return result;
}

HRESULT CQXServiceModule::UnregisterServer() {
    UninstallCleanup();
    const bool manager = plat::svc::UserManagerAnswers();
    const std::string files[] = {
        plat::svc::UserUnitDir() + "/" + kUnitName,
        plat::svc::DBusServiceDir() + "/" + kActivationFileName,
        plat::svc::DBusInterfaceDir() + "/" + kInterfaceFileName,
    };
    HRESULT hr = S_OK;
    for (const auto& path : files) {
        if (!plat::svc::UserDataHome().empty() && TQ_FALSE(plat::svc::RemoveOwnFile(path))) {
            std::fprintf(stderr, "QXService: %s could not be removed\n", path.c_str());
            hr = plat::HResultFromLastError();
        }
    }
    if (manager) plat::svc::UserSystemctl({"daemon-reload"});
    return hr;
}
