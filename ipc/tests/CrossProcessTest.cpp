// A service and a client in two processes: calls, objects and events cross;
// a client killed while it holds objects leaves nothing exported; a service
// that dies answers every waiting and later call with an HRESULT.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "ipc/tests/BusFixture.h"
#include "platform/com/ComObject.h"

extern char** environ;

using namespace ipctest;
using plat::ComPtr;

namespace {

// A child process with a pipe to its input and one from its output.
class Peer {
public:
    bool Start(const std::string& mode, const std::string& name) {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        std::string program = IPC_TEST_PEER;
        char* argv[] = {program.data(), const_cast<char*>(mode.c_str()), const_cast<char*>(name.c_str()), nullptr};
        int rc = ::posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        m_in = in[1];
        m_out = out[0];
        return rc == 0;
    }
    // The next line the peer prints (empty after timeoutMs or at its end).
    std::string ReadLine(int timeoutMs = 15000) {
        std::string line;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{m_out, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char c;
            if (::read(m_out, &c, 1) <= 0) break;
            if (c == '\n') return line;
            line.push_back(c);
        }
        return std::string();
    }
    void Send(const std::string& line) {
        std::string text = line + "\n";
        ssize_t n = ::write(m_in, text.data(), text.size());
        (void)n;
    }
    void Kill() {
        if (m_pid > 0) ::kill(m_pid, SIGKILL);
        Reap();
    }
    void Reap() {
        if (m_pid > 0) ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    ~Peer() {
        if (m_in >= 0) ::close(m_in);  // a peer ends when its input closes
        Reap();
        if (m_out >= 0) ::close(m_out);
    }

private:
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
};

// The text after "word " in line, or "".
std::string After(const std::string& line, const std::string& word) {
    return line.rfind(word + " ", 0) == 0 ? line.substr(word.size() + 1) : std::string();
}

class ProgressSink final : public plat::ComObject<ProgressSink, _IAudioEncoderEvents, _IAudioControllerEvents> {
public:
    HRESULT Progress(UINT n, BSTR) override { return Note("Progress(" + std::to_string(n) + ")"); }
    HRESULT SongDetected(BSTR guid) override { return Note("SongDetected(" + plat::BstrToUtf8(guid) + ")"); }
    HRESULT CacheAlmostFull(UINT) override { return Note("CacheAlmostFull"); }
    HRESULT SongDeleted(BSTR) override { return Note("SongDeleted"); }
    HRESULT DiskAlmostFull(UINT) override { return Note("DiskAlmostFull"); }
    HRESULT DiskFull() override { return Note("DiskFull"); }
    HRESULT ClearPlayList() override { return Note("ClearPlayList"); }
    HRESULT CacheLoaded(UINT) override { return Note("CacheLoaded"); }
    HRESULT CacheLoading() override { return Note("CacheLoading"); }
    std::vector<std::string> Seen() {
        std::lock_guard lock(m_mutex);
        return m_seen;
    }

private:
    HRESULT Note(std::string s) {
        std::lock_guard lock(m_mutex);
        m_seen.push_back(std::move(s));
        return S_OK;
    }
    std::mutex m_mutex;
    std::vector<std::string> m_seen;
};

template <class Itf>
ComPtr<Itf> As(IUnknown* obj) {
    ComPtr<Itf> out;
    obj->QueryInterface(plat::IidOf<Itf>(), reinterpret_cast<void**>(out.GetAddressOf()));
    return out;
}

DWORD Advise(IUnknown* source, REFIID events, IUnknown* sink) {
    auto container = As<IConnectionPointContainer>(source);
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    if (container && SUCCEEDED(container->FindConnectionPoint(events, point.GetAddressOf())))
        point->Advise(sink, &cookie);
    return cookie;
}

}  // namespace

TEST(IpcCrossProcess, CallsObjectsAndEventsCrossBetweenProcesses) {
    TQ_REQUIRE_SESSION_BUS();
    const std::string name = UniqueTestBusName();
    Peer peer;
    ASSERT_TRUE(peer.Start("service", name));
    ASSERT_FALSE(After(peer.ReadLine(), "ready").empty());

    std::shared_ptr<ipc::ClientConnection> client;
    ASSERT_EQ(ipc::ClientConnection::Open(&client), S_OK);
    ComPtr<IAudioController> controller;
    ASSERT_EQ(client->FindController(controller.ReleaseAndGetAddressOf(), name), S_OK);
    ULONG position = 0;
    EXPECT_EQ(controller->GetPlayPosition(&position), S_OK);
    EXPECT_EQ(position, FakeController::kPlayPosition);

    ComPtr<ProgressSink> sink(ProgressSink::CreateInstance());
    EXPECT_EQ(Advise(controller.Get(), DIID__IAudioControllerEvents, static_cast<_IAudioControllerEvents*>(sink.Get())),
              1u);
    peer.Send("fire");
    ASSERT_TRUE(Eventually([&] { return sink->Seen().size() == 8; }));
    EXPECT_EQ(sink->Seen().front(), "SongDetected({0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9})");
    EXPECT_EQ(sink->Seen().back(), "CacheLoading");

    ComPtr<IAudioEncoder> encoder;
    ASSERT_EQ(controller->CreateNewEncoder(encoder.ReleaseAndGetAddressOf(), eWMA), S_OK);
    ComPtr<ProgressSink> progress(ProgressSink::CreateInstance());
    EXPECT_EQ(Advise(encoder.Get(), DIID__IAudioEncoderEvents, static_cast<_IAudioEncoderEvents*>(progress.Get())), 1u);
    auto playlist = As<IPlayList>(controller.Get());
    ComPtr<ISong> song;
    ASSERT_EQ(playlist->CreateNewSong(song.ReleaseAndGetAddressOf()), S_OK);
    HRESULT saved = E_FAIL;
    std::thread worker([&] {
        plat::Bstr file(u"/tmp/cross.wma");
        saved = encoder->Save(song.Get(), file);
    });
    // The save reports progress and then runs until it is stopped.
    ASSERT_TRUE(Eventually([&] { return progress->Seen().size() == 2; }));
    EXPECT_EQ(controller->GetPlayPosition(&position), S_OK);
    EXPECT_EQ(encoder->StopSave(), S_OK);
    worker.join();
    EXPECT_EQ(saved, S_OK);
    EXPECT_EQ(progress->Seen(), (std::vector<std::string>{"Progress(0)", "Progress(50)"}));
}

TEST(IpcCrossProcess, AKilledClientLeavesNothingExported) {
    TQ_REQUIRE_SESSION_BUS();
    std::unique_ptr<TestService> service;
    ASSERT_EQ(TestService::Start(UniqueTestBusName(), &service), S_OK);
    service->controller->keepLastEncoder = false;
    const size_t exported = service->Objects().ExportedCount();
    const int liveEncoders = FakeEncoder::s_live.load();

    Peer peer;
    ASSERT_TRUE(peer.Start("client", service->BusName()));
    const std::string holder = After(peer.ReadLine(), "holding");
    ASSERT_FALSE(holder.empty());
    // The controller, two encoders, a song and its tag (the playlist it gave back).
    EXPECT_TRUE(Eventually([&] { return service->Objects().ReferenceCount(holder) == 5; }));
    EXPECT_EQ(service->Objects().ExportedCount(), exported + 4);
    EXPECT_EQ(FakeEncoder::s_live.load(), liveEncoders + 2);

    peer.Kill();
    EXPECT_TRUE(Eventually([&] {
        return service->Objects().ReferenceCount(holder) == 0 && service->Objects().ExportedCount() == exported &&
               FakeEncoder::s_live.load() == liveEncoders;
    }));
}

TEST(IpcCrossProcess, ADeadServiceAnswersWaitingAndLaterCallsWithAnHResult) {
    TQ_REQUIRE_SESSION_BUS();
    const std::string name = UniqueTestBusName();
    Peer peer;
    ASSERT_TRUE(peer.Start("service", name));
    ASSERT_FALSE(After(peer.ReadLine(), "ready").empty());
    std::shared_ptr<ipc::ClientConnection> client;
    ASSERT_EQ(ipc::ClientConnection::Open(&client), S_OK);
    ComPtr<IAudioController> controller;
    ASSERT_EQ(client->FindController(controller.ReleaseAndGetAddressOf(), name), S_OK);
    ComPtr<IAudioEncoder> encoder;
    ASSERT_EQ(controller->CreateNewEncoder(encoder.ReleaseAndGetAddressOf(), eMP3), S_OK);
    ComPtr<ProgressSink> progress(ProgressSink::CreateInstance());
    Advise(encoder.Get(), DIID__IAudioEncoderEvents, static_cast<_IAudioEncoderEvents*>(progress.Get()));
    auto playlist = As<IPlayList>(controller.Get());
    ComPtr<ISong> song;
    ASSERT_EQ(playlist->CreateNewSong(song.ReleaseAndGetAddressOf()), S_OK);

    HRESULT saved = S_OK;
    std::thread worker([&] {
        plat::Bstr file(u"/tmp/dead.mp3");
        saved = encoder->Save(song.Get(), file);  // waits without a time limit
    });
    ASSERT_TRUE(Eventually([&] { return progress->Seen().size() == 2; }));
    peer.Kill();
    worker.join();  // answered, not hung
    EXPECT_TRUE(saved == RPC_E_CALL_FAILED || saved == RPC_E_SERVER_UNAVAILABLE) << std::hex << saved;
    EXPECT_EQ(controller->Play(), RPC_E_SERVER_UNAVAILABLE);
    ULONG length = 0;
    EXPECT_EQ(song->GetLength(&length), RPC_E_SERVER_UNAVAILABLE);
    ComPtr<IAudioController> again;
    EXPECT_EQ(client->FindController(again.ReleaseAndGetAddressOf(), name), S_FALSE);
}

namespace {

// A bus daemon of the test's own, that the test can take away.
class PrivateBus {
public:
    bool Start() {
        char folder[] = "/tmp/ipc-bus-XXXXXX";
        if (!::mkdtemp(folder)) return false;
        m_folder = folder;
        m_address = "unix:path=" + m_folder + "/bus";
        std::string config = "--session";
        std::string address = "--address=" + m_address;
        // The daemon prints its address once it listens: that line, not its
        // socket file appearing (bound before it listens), says it is ready.
        int ready[2];
        if (::pipe2(ready, O_CLOEXEC) != 0) return false;
        char* argv[] = {const_cast<char*>("dbus-daemon"), config.data(), const_cast<char*>("--nofork"),
                        const_cast<char*>("--nopidfile"), address.data(), const_cast<char*>("--print-address=1"),
                        nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, ready[1], STDOUT_FILENO);
        int rc = ::posix_spawnp(&m_pid, "dbus-daemon", &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(ready[1]);
        if (rc != 0) {
            m_pid = -1;
            ::close(ready[0]);
            return false;
        }
        std::string line;
        char c = 0;
        pollfd p{ready[0], POLLIN, 0};
        while (line.find('\n') == std::string::npos && ::poll(&p, 1, 60000) == 1 && ::read(ready[0], &c, 1) == 1)
            line += c;
        ::close(ready[0]);
        return line.find('\n') != std::string::npos;
    }
    void Kill() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }
    ~PrivateBus() {
        Kill();
        if (!m_folder.empty()) {
            ::unlink((m_folder + "/bus").c_str());
            ::rmdir(m_folder.c_str());
        }
    }
    const std::string& Address() const { return m_address; }

private:
    pid_t m_pid = -1;
    std::string m_folder;
    std::string m_address;
};

}  // namespace

TEST(IpcCrossProcess, ALostBusEndsEveryWaitWithAnHResultAndNoCrash) {
    PrivateBus bus;
    if (!bus.Start()) GTEST_SKIP() << "dbus-daemon cannot be started here";
    std::unique_ptr<TestService> service;
    ASSERT_EQ(TestService::Start("QXService.Lost", &service, bus.Address()), S_OK);
    std::shared_ptr<ipc::ClientConnection> client;
    ASSERT_EQ(ipc::ClientConnection::Open(&client, bus.Address()), S_OK);
    ComPtr<IAudioController> controller;
    ASSERT_EQ(client->FindController(controller.ReleaseAndGetAddressOf(), "QXService.Lost"), S_OK);
    ComPtr<IAudioEncoder> encoder;
    ASSERT_EQ(controller->CreateNewEncoder(encoder.ReleaseAndGetAddressOf(), eMP3), S_OK);
    ComPtr<FakeEncoder> fake = service->controller->lastEncoder;
    auto playlist = As<IPlayList>(controller.Get());
    ComPtr<ISong> song;
    ASSERT_EQ(playlist->CreateNewSong(song.ReleaseAndGetAddressOf()), S_OK);

    HRESULT saved = S_OK;
    std::thread worker([&] {
        plat::Bstr file(u"/tmp/lost.mp3");
        saved = encoder->Save(song.Get(), file);  // no time limit
    });
    ASSERT_EQ(fake->saving.Wait(10000), plat::WAIT_OBJECT_0);
    bus.Kill();
    worker.join();  // answered, not hung
    EXPECT_TRUE(FAILED(saved)) << std::hex << saved;
    EXPECT_EQ(service->Exporter().ConnectionLost().Wait(10000), plat::WAIT_OBJECT_0);
    EXPECT_TRUE(Eventually([&] { return !client->IsConnected(); }));
    EXPECT_TRUE(FAILED(controller->Play()));
    ULONG length = 0;
    EXPECT_TRUE(FAILED(song->GetLength(&length)));
    fake->StopSave();  // the save in the service ends; its answer goes nowhere
    service->Shutdown();
}
