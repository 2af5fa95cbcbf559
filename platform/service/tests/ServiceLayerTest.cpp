// The service layer: helper programs with a time limit, unit words, files
// written whole and removed only when they are ours, and stop requests.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/core/LastError.h"
#include "platform/service/Process.h"
#include "platform/service/ServiceManager.h"
#include "platform/service/UserUnits.h"

namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "tqsvc.XXXXXX").string();
        if (::mkdtemp(pattern.data())) m_path = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

std::string Read(const fs::path& p) {
    std::ifstream in(p);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(ServiceProcess, RunsToTheEndOrTheLimit) {
    struct Case {
        std::vector<std::string> argv;
        DWORD timeoutMs;
        HRESULT hr;
        int code;
    } cases[] = {
        {{"true"}, 30000, S_OK, 0},
        {{"sh", "-c", "exit 3"}, 30000, S_OK, 3},
        {{"sh", "-c", "kill -TERM $$"}, 30000, S_OK, 128 + SIGTERM},
        {{"sleep", "600"}, 200, HRESULT_FROM_WIN32(ERROR_TIMEOUT), -1},
        {{"no-such-program-here"}, 30000, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), -1},
        {{"/nonexistent/true"}, 30000, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), -1},
    };
    for (const Case& c : cases) {
        int code = -1;
        EXPECT_EQ(plat::svc::RunProcess(c.argv, c.timeoutMs, &code, true), c.hr) << c.argv[0];
        if (c.hr == S_OK) {
            EXPECT_EQ(code, c.code) << c.argv.back();
        }
    }
}

TEST(ServiceProcess, ADetachedProgramRunsOnItsOwn) {
    TempDir dir;
    const fs::path mark = dir.Path() / "ran";
    ASSERT_EQ(plat::svc::StartDetached({"sh", "-c", "echo $PPID > '" + mark.string() + "'"}), S_OK);
    for (int i = 0; i < 1000 && Read(mark).empty(); ++i) usleep(10000);
    ASSERT_FALSE(Read(mark).empty());
    EXPECT_NE(std::stoi(Read(mark)), ::getpid());  // not our child
    EXPECT_EQ(plat::svc::StartDetached({"no-such-program-here"}), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

// A program started on its own for its starter is ended by it: asked first,
// killed when it does not listen.
TEST(ServiceProcess, AnOwnedDetachedProgramIsEndedByItsStarter) {
    for (const char* script : {"exec sleep 600", "trap '' TERM; while :; do sleep 1; done"}) {
        plat::svc::DetachedProcess owned;
        ASSERT_EQ(plat::svc::StartDetached({"sh", "-c", script}, &owned), S_OK) << script;
        ASSERT_TRUE(owned.IsHeld()) << script;
        const pid_t pid = owned.Pid();
        EXPECT_EQ(::kill(pid, 0), 0) << "it runs";
        EXPECT_TRUE(owned.End(500)) << script;
        EXPECT_FALSE(owned.IsHeld());
        EXPECT_TRUE(plat::svc::WaitForProcessEnd(pid, 0)) << script;
    }
    plat::svc::DetachedProcess none;
    EXPECT_TRUE(none.End(0));
}

// The starter holds the program it started even when that ends at once: the
// hold is taken while the program is still a child of the starter's helper,
// so it names that program even once it has ended and been reaped.
TEST(ServiceProcess, AProgramThatEndsAtOnceIsStillHeld) {
    for (int i = 0; i < 20; ++i) {
        plat::svc::DetachedProcess owned;
        ASSERT_EQ(plat::svc::StartDetached({"true"}, &owned), S_OK);
        ASSERT_TRUE(owned.IsHeld()) << "start " << i;
        EXPECT_GT(owned.Pid(), 0);
        EXPECT_TRUE(owned.End(30000));
    }
}

TEST(ServiceUnits, WordsAreQuotedForTheManager) {
    struct Case {
        const char* word;
        const char* quoted;
    } cases[] = {
        {"/usr/bin/QXService", "\"/usr/bin/QXService\""},
        {"/opt/my programs/QX", "\"/opt/my programs/QX\""},
        {"/a\"b", "\"/a\\\"b\""},
        {"/a\\b", "\"/a\\\\b\""},
        {"/100%", "\"/100%%\""},
        {"/$HOME", "\"/$$HOME\""},
        {"", "\"\""},
    };
    for (const Case& c : cases) EXPECT_EQ(plat::svc::QuoteUnitWord(c.word), c.quoted) << c.word;
}

TEST(ServiceUnits, FilesAreWrittenWholeAndOnlyOursRemoved) {
    TempDir dir;
    const fs::path file = dir.Path() / "a/b/unit.service";
    ASSERT_TRUE(plat::svc::WriteFileAtomically(file.string(), "one"));
    ASSERT_TRUE(plat::svc::WriteFileAtomically(file.string(), "two"));
    EXPECT_EQ(Read(file), "two");
    EXPECT_FALSE(fs::exists(file.string() + ".new"));
    EXPECT_FALSE(plat::svc::WriteFileAtomically("relative/unit.service", "x"));
    // Below a regular file no folder can be made.
    EXPECT_FALSE(plat::svc::WriteFileAtomically((file / "x").string(), "x"));

    // A link is never followed: it stays, and so does its target.
    const fs::path target = dir.Path() / "target";
    std::ofstream(target) << "keep";
    const fs::path link = dir.Path() / "link";
    fs::create_symlink(target, link);
    EXPECT_FALSE(plat::svc::RemoveOwnFile(link.string()));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Read(target), "keep");
    EXPECT_FALSE(plat::svc::RemoveOwnFile(dir.Path().string()));  // a folder
    EXPECT_TRUE(plat::svc::RemoveOwnFile(file.string()));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(plat::svc::RemoveOwnFile(file.string()));  // nothing left is success
}

TEST(ServiceUnits, TheUnitSaysWhatItIsGiven) {
    plat::svc::UserUnit unit;
    unit.description = "Test";
    unit.type = "notify";
    unit.exec = {"/opt/a b/prog", "--x"};
    unit.after = {"dbus.socket", "other.service"};
    unit.wants = {"other.service"};
    unit.restart = "on-failure";
    EXPECT_EQ(plat::svc::UserUnitText(unit),
              "[Unit]\nDescription=Test\nAfter=dbus.socket other.service\nWants=other.service\n\n"
              "[Service]\nType=notify\nExecStart=\"/opt/a b/prog\" \"--x\"\nRestart=on-failure\n\n"
              "[Install]\nWantedBy=default.target\n");
}

// systemctl as found on PATH: a stand-in that notes its arguments and exits
// with a given status, or none at all.
TEST(ServiceUnits, AManagerAnswersOnlyWhenSystemctlSucceeds) {
    TempDir dir;
    const char* saved = std::getenv("PATH");
    const std::string keep = saved ? saved : "";
    ::setenv("PATH", dir.Path().c_str(), 1);
    const fs::path log = dir.Path() / "systemctl.log";
    struct Case {
        const char* status;  // null: no systemctl on PATH
        bool answers;
        HRESULT hr;
    } cases[] = {{"0", true, S_OK}, {"1", false, E_FAIL}, {nullptr, false, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)}};
    for (const Case& c : cases) {
        fs::remove(dir.Path() / "systemctl");
        fs::remove(log);
        if (c.status) {
            std::ofstream(dir.Path() / "systemctl")
                << "#!/bin/sh\necho \"$*\" >> '" << log.string() << "'\nexit " << c.status << "\n";
            fs::permissions(dir.Path() / "systemctl", fs::perms::owner_all);
        }
        EXPECT_EQ(plat::svc::UserManagerAnswers(), c.answers) << (c.status ? c.status : "none");
        EXPECT_EQ(plat::svc::UserSystemctl({"enable", "a b.service"}), c.hr) << (c.status ? c.status : "none");
        if (c.status) {
            EXPECT_EQ(Read(log), "--user show-environment\n--user enable a b.service\n");
        }
    }
    ::setenv("PATH", keep.c_str(), 1);
}

// The same calls against this user's real service manager, where one runs.
TEST(ServiceUnits, TheUsersOwnManagerAnswersAndReportsAFailedCall) {
    if (!plat::svc::UserManagerAnswers())
        GTEST_SKIP() << "no systemd user manager answers here (systemctl --user show-environment fails): "
                        "the manager's side of registration cannot be checked";
    EXPECT_EQ(plat::svc::UserSystemctl({"show-environment"}), S_OK);
    const std::string unit = "tonquil-no-such-unit-" + std::to_string(::getpid()) + ".service";
    EXPECT_EQ(plat::svc::UserSystemctl({"start", "--no-block", unit}), E_FAIL);
}

TEST(ServiceStop, TermIntAndHupStopOthersAreBadRequests) {
    plat::svc::StopRequests requests;
    ASSERT_TRUE(requests.IsValid());
    EXPECT_EQ(requests.Poll(), plat::svc::StopRequests::Kind::None);
    struct Case {
        int signal;
        plat::svc::StopRequests::Kind kind;
    } cases[] = {{SIGUSR1, plat::svc::StopRequests::Kind::Unknown},
                 {SIGTERM, plat::svc::StopRequests::Kind::Stop},
                 {SIGINT, plat::svc::StopRequests::Kind::Stop},
                 {SIGHUP, plat::svc::StopRequests::Kind::Stop},
                 {SIGUSR2, plat::svc::StopRequests::Kind::Unknown}};
    for (const Case& c : cases) {
        ASSERT_EQ(::pthread_kill(::pthread_self(), c.signal), 0);
        EXPECT_EQ(plat::WaitAny({&requests}, 10000), plat::WAIT_OBJECT_0) << c.signal;
        EXPECT_EQ(requests.LastKind(), c.kind) << c.signal;
        EXPECT_EQ(requests.LastSignal(), c.signal);
    }
}

// A pause of the shutdown ends at a stop request, however long it was to
// last; requests that are no stop do not end it. Without any request it lasts
// its whole time (a lower bound only, which no load can break).
TEST(ServiceStop, AWaitForAStopEndsAtTheRequestAndOnlyThere) {
    plat::svc::StopRequests requests;
    ASSERT_TRUE(requests.IsValid());
    ASSERT_EQ(::pthread_kill(::pthread_self(), SIGUSR1), 0);
    ASSERT_EQ(::pthread_kill(::pthread_self(), SIGTERM), 0);
    int others = 0;
    EXPECT_TRUE(requests.WaitForStop(24 * 3600 * 1000, &others));
    EXPECT_EQ(others, 1);
    EXPECT_EQ(requests.Poll(), plat::svc::StopRequests::Kind::None) << "the request was taken";

    ASSERT_EQ(::pthread_kill(::pthread_self(), SIGUSR2), 0);
    const auto start = std::chrono::steady_clock::now();
    others = 0;
    EXPECT_FALSE(requests.WaitForStop(50, &others));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    EXPECT_EQ(others, 1);
    EXPECT_FALSE(requests.WaitForStop(0));
}

TEST(ServiceManager, NotifiesOnlyUnderAManager) {
    const char* saved = std::getenv("NOTIFY_SOCKET");
    std::string keep = saved ? saved : "";
    ::unsetenv("NOTIFY_SOCKET");
    EXPECT_FALSE(plat::svc::StartedByServiceManager());
    EXPECT_FALSE(plat::svc::NotifyServiceManager("READY=1"));
    if (saved) ::setenv("NOTIFY_SOCKET", keep.c_str(), 1);
}
