#pragma once
// The service program QXService: its command line, its start-up and shutdown
// sequence around the audio controller, and its registration with the user's
// service manager and session bus.
//
//   QXService               serve (under the service manager when it started
//                           us, else in the foreground) until a stop request
//   QXService -RegServer    install the driver and register the service
//   QXService -Service      the same
//   QXService -UnregServer  drop the cache, stop and unregister everything
//
// Exit status 0 on success, 1 on any failure.
#include <memory>
#include <string>
#include <vector>

#include "ipc/QXServiceLib.h"
#include "platform/com/ComPtr.h"
#include "platform/service/InstanceLock.h"
#include "platform/service/Process.h"
#include "platform/service/ServiceManager.h"

enum class EServiceAction { Run, RegServer, Service, UnregServer };

// What a command line asks for. A switch is a word that begins with "-" or
// "/" and matches a known name whole, in any case; words end at blanks and
// tabs. UnregServer or RegServer (the first of them) win over Service; words
// that are no known switch are ignored and listed in *ignored.
EServiceAction ParseSwitches(const std::vector<std::string>& args, std::vector<std::string>* ignored = nullptr);

class CQXServiceModule {
public:
    static constexpr const char* kServiceName = "QXService";
    static constexpr const char* kUnitName = "QXService.service";
    static constexpr const char* kDriverUnitName = "tonquil-audio-driver.service";
    static constexpr const char* kDriverProgram = "tonquil-audio-driver";
    static constexpr const char* kActivationFileName = "QXService.AudioController.service";
    static constexpr const char* kInterfaceFileName = "QXServiceLib.xml";
    // The pauses of the shutdown sequence; a stop request ends them early.
    static constexpr DWORD kNoDriverPauseMs = 1000;
    static constexpr DWORD kAfterDestroyPauseMs = 100;
    static constexpr DWORD kRevokePauseMs = 1000;
    // The registered unit's restarts after failures: at most this many starts
    // within this many seconds.
    static constexpr unsigned kStartLimitIntervalSec = 600;
    static constexpr unsigned kStartLimitBurst = 5;
    // How long a driver stand-in this daemon started is given to stop.
    static constexpr DWORD kDriverStopTimeoutMs = 5000;

    CQXServiceModule();
    ~CQXServiceModule();
    CQXServiceModule(const CQXServiceModule&) = delete;
    CQXServiceModule& operator=(const CQXServiceModule&) = delete;

    // The process entry: the exit status.
    int WinMain(int argc, char** argv);
    // True when the process is to serve; otherwise *result is the outcome of
    // the registration asked for.
    bool ParseCommandLine(const std::vector<std::string>& args, HRESULT* result);
    // Serves until a stop request (or the bus is lost), in the mode the
    // process was started in.
    HRESULT Start();
    HRESULT Run();
    void LogEvent(const std::string& line);

    // Registration.
    HRESULT RegisterServer(bool bService);
    HRESULT UnregisterServer();
    BOOL UninstallCleanup();
    // Removes the engine's own files from cacheDir's "QXCache", then that
    // folder and cacheDir when they are left empty; *result becomes FALSE
    // when a folder stays.
    void DeleteStoredFiles(const std::u16string& cacheDir, BOOL* result);
    BOOL SetupAudioDriver();
    BOOL RemoveAudioDriver();
    // The installer for a processor ("uname -m"): "Tavrin", "Tavrin64", or
    // null for a processor no installer serves.
    static const char* InstallerName(const std::string& machine);

    // What registration writes, for the program at programPath.
    static std::string UnitText(const std::string& programPath);
    static std::string ActivationFileText(const std::string& programPath);

    // Settings for tests: the program that is registered, the processor, and
    // how long an installer and a stopping service are waited for.
    void SetProgramPath(const std::string& path) { m_programPath = path; }
    void SetMachine(const std::string& machine) { m_machine = machine; }
    void SetInstallerTimeout(DWORD ms) { m_installerTimeoutMs = ms; }
    void SetServiceStopTimeout(DWORD ms) { m_serviceStopTimeoutMs = ms; }

private:
    bool RunInstaller(const char* verb);
    HRESULT TakeInstanceLock();
    // Outside the service manager, starts the driver stand-in when its
    // device is not there (the engine serves only while the driver answers);
    // the daemon ends the stand-in it started when it stops.
    void EnsureDriverStandIn();
    void StopRunningService();
    // Waits ms, or less when a stop request comes.
    void Pause(DWORD ms);

    bool m_bService = false;
    std::unique_ptr<plat::svc::StopRequests> m_stop;
    bool m_bStopDuringPause = false;
    plat::ComPtr<IAudioController> m_pAudioController;
    plat::svc::InstanceLock m_instanceLock;
    plat::svc::DetachedProcess m_driverStandIn;
    std::string m_programPath;
    std::string m_machine;
    DWORD m_installerTimeoutMs = 120000;
    DWORD m_serviceStopTimeoutMs = 60000;
};
