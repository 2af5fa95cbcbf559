#include "service/controller/CQXServiceModule.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "ipc/service/ServiceExporter.h"
#include "log/DirUtils.h"
#include "log/KErrorLog.h"
#include "log/Trace.h"
#include "platform/core/Text.h"
#include "platform/core/Thread.h"
#include "platform/driver/DriverProtocol.h"
#include "platform/driver/ObjectNames.h"
#include "platform/fs/File.h"
#include "platform/service/InstanceLock.h"
#include "platform/service/Process.h"
#include "platform/service/UserUnits.h"
#include "service/audio/IQXListener.h"
#include "service/audio/PipeServer.h"
#include "service/controller/KAudioController.h"
#include "service/controller/KCacheFolder.h"
#include "service/controller/KControllerComponents.h"
#include "service/foundation/KSettings.h"
#include "service/foundation/KTimecode.h"

namespace {

// The failure of one start-up step: the call's trace line, then the message
// under the internal code (logged only).
#define QX_FAILED(hr, expr, message) \
    (TQ_FAILED(hr, expr) ? (TQ_REPORT(EC_INTERNAL, hr, message), true) : false)

std::vector<std::string> SplitWords(const std::vector<std::string>& args) {
    std::vector<std::string> words;
    for (const auto& arg : args) {
        size_t i = 0;
        while (i < arg.size()) {
            while (i < arg.size() && (arg[i] == ' ' || arg[i] == '\t')) ++i;
            size_t start = i;
            while (i < arg.size() && arg[i] != ' ' && arg[i] != '\t') ++i;
            if (i > start) words.push_back(arg.substr(start, i - start));
        }
    }
    return words;
}

bool IsSwitch(const std::string& word, const char* name) {
    return word.size() > 1 && (word[0] == '-' || word[0] == '/') && strcasecmp(word.c_str() + 1, name) == 0;
}

// The cache folder that the stored settings name; the data folder when there
// are none.
std::string StoredCacheDir() {
    const std::u16string dataDir = GetAppDataDir().Str();
    std::u16string cacheDir = dataDir;
    struct stat st {};
    if (::stat(plat::ToUtf8(dataDir + u"QXSettings.dat").c_str(), &st) == 0) {
        plat::ComPtr<ISettings> settings(CreateSettingsObject());
        BSTR dir = nullptr;
        if (settings && SUCCEEDED(settings->LoadSettings()) && SUCCEEDED(settings->GetCacheDir(&dir)) && dir && *dir)
            cacheDir = dir;
        SysFreeString(dir);
    }
    return plat::ToUtf8(cacheDir);
}

// -UnregServer cannot be undone: it says what goes before it begins.
void SayWhatUnregServerRemoves() {
    const std::string dataDir = plat::ToUtf8(GetAppDataDir().Str());
    std::printf("QXService -UnregServer removes Tonquil for this user:\n"
                "  the cache with every recording, its index and the playlist (QXPlaylist.dat) in %sQXCache/\n"
                "  the settings (QXSettings.dat) and everything else in %s\n"
                "  the output \"Tonquil Audio Device\" and the driver stand-in's service (Tavrin /uninstall)\n"
                "  the registration: %s/%s, %s/%s and %s/%s\n",
                StoredCacheDir().c_str(), dataDir.c_str(), plat::svc::UserUnitDir().c_str(), CQXServiceModule::kUnitName,
                plat::svc::DBusServiceDir().c_str(), CQXServiceModule::kActivationFileName,
                plat::svc::DBusInterfaceDir().c_str(), CQXServiceModule::kInterfaceFileName);
    std::fflush(stdout);
}

}  // namespace

EServiceAction ParseSwitches(const std::vector<std::string>& args, std::vector<std::string>* ignored) {
    const std::vector<std::string> words = SplitWords(args);
    EServiceAction action = EServiceAction::Run;
    bool registration = false;
    for (const auto& w : words) {
        if (IsSwitch(w, "UnregServer") || IsSwitch(w, "RegServer")) {
            if (!registration) action = IsSwitch(w, "UnregServer") ? EServiceAction::UnregServer : EServiceAction::RegServer;
            registration = true;
        } else if (IsSwitch(w, "Service")) {
            if (!registration) action = EServiceAction::Service;
        } else if (ignored) {
            ignored->push_back(w);
        }
    }
    return action;
}

CQXServiceModule::CQXServiceModule() : m_programPath(plat::ToUtf8(plat::GetModulePath())) {}

CQXServiceModule::~CQXServiceModule() {
    m_pAudioController.Reset();
}

int CQXServiceModule::WinMain(int argc, char** argv) {
    // Stop requests wait in a descriptor from here on, also during start-up.
    m_stop = std::make_unique<plat::svc::StopRequests>();
    KTimecode::SetRateMode(7);
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    HRESULT hr = S_OK;
    if (!ParseCommandLine(args, &hr)) return FAILED(hr) ? 1 : 0;
    hr = Start();
    return FAILED(hr) ? 1 : 0;
}

bool CQXServiceModule::ParseCommandLine(const std::vector<std::string>& args, HRESULT* result) {
    std::vector<std::string> ignored;
    EServiceAction action = ParseSwitches(args, &ignored);
    for (const auto& w : ignored) std::fprintf(stderr, "QXService: \"%s\" is no switch of this program; ignored\n", w.c_str());
    switch (action) {
        case EServiceAction::Run:
            return true;
        case EServiceAction::UnregServer:
            SayWhatUnregServerRemoves();
            *result = UnregisterServer();
            if (SUCCEEDED(*result))
                std::printf("QXService: unregistered and removed\n");
            else
                std::printf("QXService: -UnregServer failed (0x%08X); see the messages above\n",
                            static_cast<unsigned>(*result));
            return false;
        case EServiceAction::RegServer:
            *result = RegisterServer(false);
            return false;
        case EServiceAction::Service:
            *result = RegisterServer(true);
            return false;
    }
    return true;
}

HRESULT CQXServiceModule::Start() {
    m_bService = plat::svc::StartedByServiceManager();
    plat::svc::EventLog::Open(kServiceName, m_bService);
    // A log that is lost is said where the service manager keeps its lines.
    if (m_bService) KErrorLog::Instance().SetComplaintSink([](const std::string& line) { plat::svc::EventLog::Write(line); });
    if (!m_stop) m_stop = std::make_unique<plat::svc::StopRequests>();
    HRESULT hr = Run();
    if (m_bService) LogEvent("Service stopped");
    return hr;
}

void CQXServiceModule::Pause(DWORD ms) {
    // A stop request that ended one pause ends the shutdown's later ones too.
    if (m_bStopDuringPause) return;
    if (!m_stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return;
    }
    int others = 0;
    m_bStopDuringPause = m_stop->WaitForStop(ms, &others);
    for (; others > 0; --others) LogEvent("Bad service request");
}

void CQXServiceModule::LogEvent(const std::string& line) { plat::svc::EventLog::Write(line); }

HRESULT CQXServiceModule::TakeInstanceLock() {
    return m_instanceLock.Take(plat::svc::InstanceLock::PathFor(plat::drv::RuntimeDir(), kServiceName));
}

void CQXServiceModule::EnsureDriverStandIn() {
    // Under the service manager the unit's Wants= starts the driver first.
    if (m_bService) return;
    std::string socketPath;
    struct stat st {};
    if (!plat::drv::DeviceSocketPath(plat::drv::kDevicePath, &socketPath) || ::stat(socketPath.c_str(), &st) == 0) return;
    // Started by bus activation or by a client: the driver stand-in is found
    // where the program is installed, else on PATH, and runs on its own.
    const std::string driver = plat::svc::FindProgram(kDriverProgram);
    if (driver.empty()) return;
    // It serves this daemon only: the daemon ends it when it stops.
    if (SUCCEEDED(plat::svc::StartDetached({driver}, &m_driverStandIn))) {
        LogEvent("Started the driver stand-in " + driver);
        if (!m_driverStandIn.IsHeld()) LogEvent("The driver stand-in is not held: it will not be ended with the daemon");
    }
}

HRESULT CQXServiceModule::Run() {
    if (m_bService) {
        LogEvent("Service started");
        plat::svc::NotifyServiceManager("STATUS=Starting");
    }
    HRESULT hr;
    // One engine per user: a second daemon ends here, before it touches the cache.
    if (QX_FAILED(hr, TakeInstanceLock(), u"Another QXService is running")) {
        LogEvent("QXService is already running");
        return hr;
    }
    // Only the one instance begins a new log; the previous run's log (with the
    // lines of a crash that ended it) is kept as the old copy.
    KErrorLog::Instance().StartNewLog();
    // What a kill in the middle of a settings save left behind.
    cacheFolder::RemoveLeftovers(GetAppDataDir().Str());
    EnsureDriverStandIn();
    std::unique_ptr<ipc::ServiceExporter> exporter;
    if (QX_FAILED(hr, ipc::ServiceExporter::Create(&exporter), u"Co initialize ex was failed")) return hr;
    plat::SetProcessPriorityHigh();

    KAudioController* created = nullptr;
    if (QX_FAILED(hr, KAudioController::Create(KControllerComponents::Engine(), &created),
                  u"Co create instance was failed"))
        return hr;
    m_pAudioController = created;  // the first client reference

    HRESULT runHr = S_OK;
    plat::ComPtr<IQXListener> listener;
    std::unique_ptr<KPipeServer> link;
    if (QX_FAILED(hr, exporter->ExportController(m_pAudioController.Get()), u"Register class objects was failed") ||
        QX_FAILED(hr, exporter->PublishName(), u"RegisterObjectInRot was failed") ||
        QX_FAILED(hr, m_pAudioController->QueryInterface(IID_IQXListener, reinterpret_cast<void**>(listener.GetAddressOf())),
                  u"Getting interface of IQXListener was failed")) {
        // An engine that was built is stopped, never left running at exit.
        runHr = hr;
    } else {
        plat::svc::NotifyServiceManager("READY=1");
        plat::svc::NotifyServiceManager("STATUS=Serving");
        link = std::make_unique<KPipeServer>(listener.Get());
        if (QX_FAILED(hr, link->StartStop(), u"StartStop was failed")) {
            runHr = hr;
            Pause(kNoDriverPauseMs);
        } else {
            for (;;) {
                DWORD which = plat::WaitAny({m_stop.get(), &exporter->ConnectionLost()}, INFINITE);
                if (which == plat::WAIT_OBJECT_0) {
                    if (m_stop->LastKind() == plat::svc::StopRequests::Kind::Stop) break;
                    LogEvent("Bad service request");
                    continue;
                }
                // Nobody can reach the engine any more: stop it, and say so.
                LogEvent("The session bus is gone; stopping");
                runHr = RPC_E_DISCONNECTED;
                break;
            }
            plat::svc::NotifyServiceManager("STOPPING=1");
            TQ_TRACE_HR("E_FAIL");
            TQ_REPORT(EC_INTERNAL, E_FAIL, u"Service normaly stopped");
            LogEvent("Service normaly stopped");
            if (QX_FAILED(hr, link->StartStop(), u"StartStop was failed")) {
                // The shutdown goes on.
            }
        }
    }
    plat::svc::NotifyServiceManager("STOPPING=1");
    // No client finds the engine once its Destroy has begun.
    exporter->RevokeName();
    exporter->Shutdown();
    link.reset();
    listener.Reset();
    if (m_driverStandIn.IsHeld()) {
        const pid_t driver = m_driverStandIn.Pid();
        if (m_driverStandIn.End(kDriverStopTimeoutMs)) {
            LogEvent("Stopped the driver stand-in " + std::to_string(driver));
        } else {
            TQ_TRACE_BOOL("m_driverStandIn.End(kDriverStopTimeoutMs)");
            TQ_REPORT(EC_INTERNAL, E_FAIL, u"The driver stand-in did not stop");
        }
    }
    m_pAudioController->Destroy();
    // Destroy saves the cache index; the playlist's changes since the last
    // periodic save are kept too, or a stop loses up to 5 s of them.
    plat::ComPtr<IPlayList> playlist;
    if (SUCCEEDED(m_pAudioController->QueryInterface(IID_IPlayList, reinterpret_cast<void**>(playlist.GetAddressOf()))) &&
        playlist && QX_FAILED(hr, playlist->Save(), u"Playlist saving was failed")) {
        if (SUCCEEDED(runHr)) runHr = hr;
    }
    playlist.Reset();
    Pause(kAfterDestroyPauseMs);
    Pause(kRevokePauseMs);
    m_pAudioController.Reset();
    return runHr;
}
