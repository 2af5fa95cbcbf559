// The service program's command line, its registration files, the uninstall
// clean-up and the crash report.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "ipc/client/RunningObjects.h"
#include "platform/core/Text.h"
#include "platform/driver/tests/TempRuntimeDir.h"
#include "service/audio/tests/FakeDriver.h"
#include "service/audio/tests/PipeServerSupport/ChildProcess.h"
#include "service/controller/CQXServiceModule.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::string& text, fs::perms perms = fs::perms::owner_read | fs::perms::owner_write) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    fs::permissions(path, perms);
}

// A UTF-16 little-endian log holds the ASCII text.
bool LogHas(const std::string& log, const std::string& text) {
    std::string wide;
    for (char c : text) {
        wide += c;
        wide += '\0';
    }
    return log.find(wide) != std::string::npos;
}

// A folder of the test's own, with environment variables pointed into it
// for the test's duration.
class QXServiceRegistration : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "qxsvc.XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        Set("XDG_DATA_HOME", (m_dir / "data").string());
        Set("TONQUIL_DATA_DIR", (m_dir / "appdata").string());
        Set("PATH", (m_dir / "bin").string() + ":" + Saved("PATH"));
        fs::create_directories(m_dir / "bin");
        // No user manager answers unless a test says so: registration never
        // reaches the manager of the user who runs the tests.
        WriteFile(m_dir / "bin/systemctl", "#!/bin/sh\nexit 1\n", fs::perms::owner_all);
        ipc::SetServiceStartTiming({10, 0});
        m_module.SetMachine("x86_64");
        m_module.SetProgramPath("/opt/Tonquil files/QXService");
        m_module.SetServiceStopTimeout(5000);
    }
    void TearDown() override {
        ipc::SetServiceStartTiming({});
        for (auto& [name, value] : m_saved) {
            if (value.second) ::setenv(name.c_str(), value.first.c_str(), 1);
            else ::unsetenv(name.c_str());
        }
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    void Set(const std::string& name, const std::string& value) {
        if (!m_saved.count(name)) {
            const char* old = std::getenv(name.c_str());
            m_saved[name] = {old ? old : "", old != nullptr};
        }
        ::setenv(name.c_str(), value.c_str(), 1);
    }
    std::string Saved(const std::string& name) {
        const char* v = std::getenv(name.c_str());
        return v ? v : "";
    }
    // An installer that notes each run in <dir>/installer.log and then runs body.
    void FakeInstaller(const std::string& name, const std::string& body) {
        WriteFile(m_dir / "bin" / name,
                  "#!/bin/sh\necho \"$0 $*\" >> '" + (m_dir / "installer.log").string() + "'\n" + body + "\n",
                  fs::perms::owner_all);
    }
    std::string InstallerLog() { return ReadFile(m_dir / "installer.log"); }
    fs::path UnitPath() { return m_dir / "data/systemd/user/QXService.service"; }
    fs::path ActivationPath() { return m_dir / "data/dbus-1/services/QXService.AudioController.service"; }
    fs::path InterfacePath() { return m_dir / "data/dbus-1/interfaces/QXServiceLib.xml"; }

    fs::path m_dir;
    CQXServiceModule m_module;
    std::map<std::string, std::pair<std::string, bool>> m_saved;
};

}  // namespace

TEST(QXServiceSwitches, CommandLinesPickTheirAction) {
    struct Case {
        std::vector<std::string> args;
        EServiceAction action;
        size_t ignored;
    } cases[] = {
        {{}, EServiceAction::Run, 0},
        {{"-RegServer"}, EServiceAction::RegServer, 0},
        {{"/regserver"}, EServiceAction::RegServer, 0},
        {{"-UNREGSERVER"}, EServiceAction::UnregServer, 0},
        {{"-SERVICE"}, EServiceAction::Service, 0},
        {{"/service"}, EServiceAction::Service, 0},
        // Registration wins over Service, whatever the order; the first of two registrations wins.
        {{"-Service", "-RegServer"}, EServiceAction::RegServer, 0},
        {{"-RegServer -Service"}, EServiceAction::RegServer, 0},
        {{"-UnregServer", "-RegServer"}, EServiceAction::UnregServer, 0},
        {{"-RegServer\t-UnregServer"}, EServiceAction::RegServer, 0},
        // Whole words only; unknown words are ignored and the program runs.
        {{"-RegServerX"}, EServiceAction::Run, 1},
        {{"--RegServer"}, EServiceAction::Run, 1},
        {{"--x"}, EServiceAction::Run, 1},
        {{"RegServer"}, EServiceAction::Run, 1},
        {{"-"}, EServiceAction::Run, 1},
        {{"/"}, EServiceAction::Run, 1},
        {{"-Reg\xff\xfeServer"}, EServiceAction::Run, 1},
        {{"-\xc3\x28", "-Service"}, EServiceAction::Service, 1},
        {{"", "   ", "\t"}, EServiceAction::Run, 0},
    };
    for (const Case& c : cases) {
        std::vector<std::string> ignored;
        std::string shown;
        for (const auto& a : c.args) shown += "[" + a + "]";
        EXPECT_EQ(ParseSwitches(c.args, &ignored), c.action) << shown;
        EXPECT_EQ(ignored.size(), c.ignored) << shown;
    }
}

TEST(QXServiceSwitches, InstallerByProcessor) {
    struct Case {
        const char* machine;
        const char* installer;
    } cases[] = {{"i386", "Tavrin"},     {"i686", "Tavrin"},     {"x86_64", "Tavrin64"}, {"ia64", "Tavrin64"},
                 {"aarch64", "Tavrin64"}, {"armv7l", nullptr},    {"riscv64", nullptr},   {"i786", nullptr},
                 {"", nullptr},           {"x86_64 ", nullptr}};
    for (const Case& c : cases) {
        const char* got = CQXServiceModule::InstallerName(c.machine);
        EXPECT_STREQ(got, c.installer) << c.machine;
    }
}

TEST_F(QXServiceRegistration, RegistrationWritesAndUnregistrationRemovesTheFiles) {
    FakeInstaller("Tavrin64", "exit 0");
    ASSERT_EQ(m_module.RegisterServer(false), S_OK);
    EXPECT_EQ(InstallerLog(), (m_dir / "bin/Tavrin64").string() + " /install\n");

    const std::string unit = ReadFile(UnitPath());
    EXPECT_NE(unit.find("Type=notify\n"), std::string::npos) << unit;
    EXPECT_NE(unit.find("ExecStart=\"/opt/Tonquil files/QXService\"\n"), std::string::npos) << unit;
    EXPECT_NE(unit.find("After=dbus.socket tonquil-audio-driver.service\n"), std::string::npos) << unit;
    EXPECT_NE(unit.find("Wants=tonquil-audio-driver.service\n"), std::string::npos) << unit;
    EXPECT_NE(unit.find("Restart=on-failure\n"), std::string::npos) << unit;
    const std::string activation = ReadFile(ActivationPath());
    EXPECT_NE(activation.find("Name=QXService.AudioController\n"), std::string::npos) << activation;
    EXPECT_NE(activation.find("Exec='/opt/Tonquil files/QXService'\n"), std::string::npos) << activation;
    EXPECT_NE(activation.find("SystemdService=QXService.service\n"), std::string::npos) << activation;
    EXPECT_NE(ReadFile(InterfacePath()).find("<interface name=\"QXServiceLib.IAudioController\">"), std::string::npos);

    // Unregistering with nothing running: the files go, the driver is removed.
    WriteFile(m_dir / "appdata/Tonquil/settings.dat", "x");
    EXPECT_EQ(m_module.UnregisterServer(), S_OK);
    EXPECT_FALSE(fs::exists(UnitPath()));
    EXPECT_FALSE(fs::exists(ActivationPath()));
    EXPECT_FALSE(fs::exists(InterfacePath()));
    EXPECT_FALSE(fs::exists(m_dir / "appdata/Tonquil"));
    EXPECT_NE(InstallerLog().find("Tavrin64 /uninstall"), std::string::npos) << InstallerLog();
}

// With a user manager the unit is enabled and started through it, and
// stopped and disabled before its files go; without one, nothing but the
// question is asked of systemctl. (A stand-in systemctl on PATH notes what
// it is asked: no manager runs here.)
TEST_F(QXServiceRegistration, AUserManagerEnablesStartsStopsAndDisablesTheUnit) {
    FakeInstaller("Tavrin64", "exit 0");
    struct Case {
        int status;
        const char* registered;
        const char* unregistered;
    } cases[] = {
        {0, "daemon-reload|enable QXService.service|start --no-block QXService.service|",
         // The clean-up starts the service to learn its cache folder, then stops it.
         "start --no-block QXService.service|stop QXService.service|disable QXService.service|daemon-reload|"},
        {1, "", ""},
    };
    for (const Case& c : cases) {
        WriteFile(m_dir / "bin/systemctl",
                  "#!/bin/sh\necho \"$*\" >> '" + (m_dir / "systemctl.log").string() + "'\nexit " +
                      std::to_string(c.status) + "\n",
                  fs::perms::owner_all);
        // The calls other than the question whether a manager answers, each ended by "|".
        auto calls = [&] {
            std::string all = ReadFile(m_dir / "systemctl.log"), asked;
            fs::remove(m_dir / "systemctl.log");
            for (size_t at = 0, end; (end = all.find('\n', at)) != std::string::npos; at = end + 1) {
                const std::string line = all.substr(at, end - at);
                EXPECT_EQ(line.rfind("--user ", 0), 0u) << line;
                if (line != "--user show-environment") asked += line.substr(7) + "|";
            }
            return asked;
        };
        ASSERT_EQ(m_module.RegisterServer(false), S_OK) << c.status;
        EXPECT_TRUE(fs::exists(UnitPath()));
        EXPECT_EQ(calls(), c.registered) << c.status;
        EXPECT_EQ(m_module.UnregisterServer(), S_OK) << c.status;
        EXPECT_FALSE(fs::exists(UnitPath()));
        EXPECT_EQ(calls(), c.unregistered) << c.status;
    }
}

TEST_F(QXServiceRegistration, ProgramPathsWithSpecialCharactersStayOneWord) {
    m_module.SetProgramPath("/opt/it's 100%/$HOME/\"QX\"\\Service");
    FakeInstaller("Tavrin64", "exit 0");
    ASSERT_EQ(m_module.RegisterServer(true), S_OK);
    EXPECT_NE(ReadFile(UnitPath()).find("ExecStart=\"/opt/it's 100%%/$$HOME/\\\"QX\\\"\\\\Service\"\n"), std::string::npos)
        << ReadFile(UnitPath());
    EXPECT_NE(ReadFile(ActivationPath()).find("Exec='/opt/it'\\''s 100%/$HOME/\"QX\"\\Service'\n"), std::string::npos)
        << ReadFile(ActivationPath());
}

TEST_F(QXServiceRegistration, AFailedHangingOrMissingInstallerRegistersNothing) {
    struct Case {
        const char* machine;
        const char* body;  // null: no installer at all
    } cases[] = {{"x86_64", "exit 3"}, {"x86_64", "exec sleep 600"}, {"x86_64", nullptr}, {"sparc64", "exit 0"}};
    m_module.SetInstallerTimeout(300);
    for (const Case& c : cases) {
        fs::remove(m_dir / "bin/Tavrin64");
        fs::remove(m_dir / "installer.log");
        if (c.body) FakeInstaller("Tavrin64", c.body);
        m_module.SetMachine(c.machine);
        EXPECT_EQ(m_module.RegisterServer(false), E_FAIL) << c.machine << " " << (c.body ? c.body : "(none)");
        EXPECT_FALSE(fs::exists(UnitPath()));
        EXPECT_FALSE(fs::exists(ActivationPath()));
        if (std::string(c.machine) == "sparc64") {
            EXPECT_EQ(InstallerLog(), "");
        }
    }
}

TEST_F(QXServiceRegistration, UninstallWithoutARunningEngineLeavesTheCurrentFolderAlone) {
    FakeInstaller("Tavrin64", "exit 0");
    // Files named like the engine's stored files, in the folder the uninstall runs from.
    const fs::path decoys = m_dir / "work";
    const char* names[] = {"QXPlaylist.dat", "QXPlaylist.dat.bak", "QXCacheStructure0.dat", "QXCacheStructure2.dat.bak"};
    for (const char* n : names) WriteFile(decoys / "QXCache" / n, "keep me");
    const fs::path before = fs::current_path();
    fs::current_path(decoys);
    EXPECT_EQ(m_module.UninstallCleanup(), FALSE);  // no engine answered
    fs::current_path(before);
    for (const char* n : names) EXPECT_EQ(ReadFile(decoys / "QXCache" / n), "keep me") << n;
    EXPECT_NE(InstallerLog().find("/uninstall"), std::string::npos);
}

namespace {

struct CrashCase {
    const char* mode;
    int signal;
    bool link;
};

void PrintTo(const CrashCase& c, std::ostream* os) { *os << c.mode << (c.link ? " with link" : " without link"); }

class CrashReport : public QXServiceRegistration, public ::testing::WithParamInterface<CrashCase> {};

}  // namespace

TEST_P(CrashReport, IsWrittenLoggedAndTheLinkClosed) {
    const CrashCase c = GetParam();
    TempRuntimeDir runtime;
    FakeDriver driver;
    ASSERT_TRUE(driver.IsServing());
    const fs::path tmp = m_dir / "tmp";
    fs::create_directories(tmp);
    ChildProcess child;
    ASSERT_TRUE(child.Start({TONQUIL_CRASH_CHILD, c.mode, c.link ? "link" : "nolink"},
                            {"TMPDIR=" + tmp.string(), "TONQUIL_RUNTIME_DIR=" + runtime.Path()}));
    EXPECT_EQ(child.Wait(60000), 128 + c.signal);

    const std::string report = ReadFile(tmp / "QXService.dmp");
    EXPECT_NE(report.find("signal " + std::to_string(c.signal) + " ("), std::string::npos) << report.substr(0, 300);
    for (const char* part : {"registers:", "rip = 0x", "backtrace:", "memory map:", "[stack]", "stack:"})
        EXPECT_NE(report.find(part), std::string::npos) << part;
    struct stat st {};
    ASSERT_EQ(::stat((tmp / "QXService.dmp").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    const std::string log = ReadFile(tmp / "crash.log");
    EXPECT_TRUE(LogHas(log, "QXSERVICE CRASH \n")) << "crash line";
    EXPECT_TRUE(LogHas(log, "Saved dump file to '" + (tmp / "QXService.dmp").string() + "'"));
    EXPECT_EQ(LogHas(log, "Cleanup ok \n"), c.link);
    if (c.link) {
        EXPECT_TRUE(driver.WaitClosed(1, 10000));
        std::vector<DWORD> codes = driver.Codes();
        EXPECT_NE(std::find(codes.begin(), codes.end(), plat::drv::IOCTL_LINK_CLOSE), codes.end());
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, CrashReport,
                         ::testing::Values(CrashCase{"null", SIGSEGV, true}, CrashCase{"abort", SIGABRT, true},
                                           CrashCase{"overflow", SIGSEGV, true}, CrashCase{"null", SIGSEGV, false}),
                         [](const auto& info) {
                             return std::string(info.param.mode) + (info.param.link ? "WithLink" : "WithoutLink");
                         });

TEST_F(QXServiceRegistration, APlantedLinkIsNotFollowedByTheCrashReport) {
    const fs::path tmp = m_dir / "tmp";
    WriteFile(m_dir / "victim", "precious");
    fs::create_directories(tmp);
    fs::create_symlink(m_dir / "victim", tmp / "QXService.dmp");
    ChildProcess child;
    ASSERT_TRUE(child.Start({TONQUIL_CRASH_CHILD, "null"}, {"TMPDIR=" + tmp.string()}));
    EXPECT_EQ(child.Wait(60000), 128 + SIGSEGV);
    EXPECT_EQ(ReadFile(m_dir / "victim"), "precious");
    EXPECT_TRUE(fs::is_symlink(tmp / "QXService.dmp"));
    EXPECT_TRUE(LogHas(ReadFile(tmp / "crash.log"), "Failed to create dump file '" + (tmp / "QXService.dmp").string() + "' (error "));
}

namespace {

// Runs the crashing child in mode with tmp as its temporary folder; its exit
// status (-1 when it did not start).
int CrashChild(const char* mode, const fs::path& tmp) {
    fs::create_directories(tmp);
    ChildProcess child;
    if (!child.Start({TONQUIL_CRASH_CHILD, mode}, {"TMPDIR=" + tmp.string()})) return -1;
    return child.Wait(60000);
}

}  // namespace

// After the log was moved aside at its size limit (twice: the first old copy
// is gone), the crash lines go to the live log, not to a moved or deleted one.
TEST_F(QXServiceRegistration, TheCrashLinesGoToTheLiveLogAfterItWasMoved) {
    const fs::path tmp = m_dir / "tmp";
    ASSERT_EQ(CrashChild("rotated", tmp), 128 + SIGSEGV);
    const std::string live = ReadFile(tmp / "crash.log");
    EXPECT_TRUE(LogHas(live, "QXSERVICE CRASH \n"));
    EXPECT_TRUE(LogHas(live, "Saved dump file to '"));
    EXPECT_TRUE(LogHas(ReadFile(tmp / "crash.1.log"), "fills the new log"));
    EXPECT_FALSE(LogHas(ReadFile(tmp / "crash.1.log"), "QXSERVICE CRASH"));
}

// A second thread that faults while the first one's report is written waits
// for it: the report is whole and its result logged, and the process dies of
// the first fault.
TEST_F(QXServiceRegistration, ASecondFaultWaitsForTheFirstReport) {
    const fs::path tmp = m_dir / "tmp";
    ASSERT_EQ(CrashChild("twice", tmp), 128 + SIGSEGV);
    const std::string report = ReadFile(tmp / "QXService.dmp");
    for (const char* part : {"backtrace:", "memory map:", "stack:"}) EXPECT_NE(report.find(part), std::string::npos) << part;
    const std::string log = ReadFile(tmp / "crash.log");
    EXPECT_TRUE(LogHas(log, "QXSERVICE CRASH \n"));
    EXPECT_TRUE(LogHas(log, "Saved dump file to '" + (tmp / "QXService.dmp").string() + "'"));
}

// A unit that cannot serve (no driver) and so fails after several seconds
// each time meets its start limit: a loop of 5 such runs ends it.
TEST_F(QXServiceRegistration, TheUnitsRestartsAreBounded) {
    const std::string unit = CQXServiceModule::UnitText("/p/QXService");
    const size_t service = unit.find("[Service]");
    const size_t interval = unit.find("StartLimitIntervalSec=600\n");
    const size_t burst = unit.find("StartLimitBurst=5\n");
    ASSERT_NE(interval, std::string::npos) << unit;
    ASSERT_NE(burst, std::string::npos) << unit;
    EXPECT_LT(interval, service) << "a [Unit] setting";
    EXPECT_LT(burst, service) << "a [Unit] setting";
    EXPECT_NE(unit.find("Restart=on-failure\n"), std::string::npos);
}

// Unregistering removes every file of the engine's own from "QXCache"
// (unfinished replacements and the write probe too), so that the folder goes;
// anything else keeps it.
TEST_F(QXServiceRegistration, UninstallRemovesTheEnginesUnfinishedFilesAndTheCacheFolder) {
    FakeInstaller("Tavrin64", "exit 0");
    const fs::path cache = m_dir / "cache";
    for (const char* n : {"QXPlaylist.dat", "QXPlaylist.dat.tqtmp", "QXPlaylist.dat.bak.tqnew", "QXCacheStructure1.dat.tqnew",
                          ".QXWriteProbe", "CasheFile_0_1_000001.cah"})
        WriteFile(cache / "QXCache" / n, "x");
    BOOL result = TRUE;
    m_module.DeleteStoredFiles(plat::ToUtf16(cache.string() + "/"), &result);
    EXPECT_TRUE(result);
    EXPECT_FALSE(fs::exists(cache));
    WriteFile(cache / "QXCache" / "QXPlaylist.dat", "x");
    WriteFile(cache / "QXCache" / "notes.txt", "mine");
    result = TRUE;
    m_module.DeleteStoredFiles(plat::ToUtf16(cache.string() + "/"), &result);
    EXPECT_FALSE(result) << "the folder could not go";
    EXPECT_FALSE(fs::exists(cache / "QXCache" / "QXPlaylist.dat"));
    EXPECT_EQ(ReadFile(cache / "QXCache" / "notes.txt"), "mine");
}
