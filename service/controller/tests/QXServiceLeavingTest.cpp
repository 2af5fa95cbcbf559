// The daemon QXService with clients that go while their calls run: a client
// that releases its encoder, or leaves the bus, while the encoder saves a song
// or a group; one that leaves while GetPlaylist hands it a large playlist;
// songs and tags released while calls on them are on their way; event sinks
// that leave while events are delivered. The daemon must answer every other
// client throughout and end cleanly; the sanitizer build reports any touch of
// freed memory in its log and ends it.
//
// Runs on a bus of its own (scripts/private-session) with the driver
// stand-in and a cache filled beforehand, so that a save takes seconds.
#include <fcntl.h>
#include <string.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <sdbus-c++/sdbus-c++.h>

#include "ipc/client/ClientConnection.h"
#include "ipc/common/Names.h"
#include "platform/com/ComObject.h"
#include "service/audio/tests/PipeServerSupport/ChildProcess.h"
#include "service/controller/tests/Eventually.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr const char* kControllerItf = "QXServiceLib.IAudioController";
constexpr const char* kPlayListItf = "QXServiceLib.IPlayList";
constexpr const char* kSongItf = "QXServiceLib.ISong";
constexpr const char* kTagItf = "QXServiceLib.ID3";
constexpr const char* kEncoderItf = "QXServiceLib.IAudioEncoder";
// Audio in the cache: a save of it takes seconds, in either build.
constexpr int kCacheMb = 12;
// Songs in the playlist that GetPlaylist hands out at once.
constexpr int kLargePlaylist = 800;
// Every call waits this long for its answer: a sanitizer build on a loaded
// machine hands out a large playlist slowly (the bus's default is 25 s).
constexpr auto kCallTimeout = std::chrono::seconds(300);

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// One client: a connection of its own, as a script or another program has.
class Client {
public:
    Client() : m_bus(sdbus::createSessionBusConnection()) { m_bus->enterEventLoopAsync(); }
    ~Client() { Leave(); }

    std::unique_ptr<sdbus::IProxy> Proxy(const std::string& path) {
        return sdbus::createProxy(*m_bus, ipc::kServiceName, path);
    }
    // A call whose answer is an HRESULT and an object path.
    std::string Object(const std::string& path, const char* itf, const char* method) {
        int32_t hr = E_FAIL;
        sdbus::ObjectPath out;
        Proxy(path)->callMethod(method).onInterface(itf).withTimeout(kCallTimeout).storeResultsTo(hr, out);
        return hr == S_OK ? std::string(out) : std::string();
    }
    std::string NewEncoder() {
        int32_t hr = E_FAIL;
        sdbus::ObjectPath out;
        Proxy(ipc::kControllerPath)
            ->callMethod("CreateNewEncoder")
            .onInterface(kControllerItf)
            .withTimeout(kCallTimeout)
            .withArguments(uint32_t(eMP3))
            .storeResultsTo(hr, out);
        if (hr != S_OK) return std::string();
        Proxy(out)->callMethod("SetConstantBitrate").onInterface(kEncoderItf).withTimeout(kCallTimeout).withArguments(uint32_t(128)).storeResultsTo(hr);
        return hr == S_OK ? std::string(out) : std::string();
    }
    // A song over the whole cache, titled.
    std::string NewSong(uint32_t left, uint32_t right, const std::string& title) {
        std::string song = Object(ipc::kPlayListPath, kPlayListItf, "CreateNewSong");
        if (song.empty()) return song;
        auto proxy = Proxy(song);
        int32_t hr = E_FAIL;
        proxy->callMethod("SetRightBorder").onInterface(kSongItf).withTimeout(kCallTimeout).withArguments(right).storeResultsTo(hr);
        proxy->callMethod("SetLeftBorder").onInterface(kSongItf).withTimeout(kCallTimeout).withArguments(left).storeResultsTo(hr);
        std::string tag = Object(song, kSongItf, "GetID3Tag");
        if (!tag.empty()) {
            Proxy(tag)->callMethod("SetTitle").onInterface(kTagItf).withTimeout(kCallTimeout).withArguments(title).storeResultsTo(hr);
            Release(tag);
        }
        return song;
    }
    void Release(const std::string& path) { Proxy(path)->callMethod("Release").onInterface(ipc::kLifetimeInterface).withTimeout(kCallTimeout); }
    // The unique name of the daemon's connection.
    std::string Daemon() {
        std::string owner;
        sdbus::createProxy(*m_bus, "org.freedesktop.DBus", "/org/freedesktop/DBus")
            ->callMethod("GetNameOwner")
            .onInterface("org.freedesktop.DBus").withTimeout(kCallTimeout)
            .withArguments(std::string(ipc::kServiceName))
            .storeResultsTo(owner);
        return owner;
    }
    // Closes the connection without releasing anything.
    void Leave() {
        if (!m_bus) return;
        m_bus->leaveEventLoop();
        m_bus.reset();
    }

private:
    std::unique_ptr<sdbus::IConnection> m_bus;
};

// The daemon's error list, for a failure's message.
std::string ErrorList(Client& client) {
    int32_t hr = E_FAIL;
    std::vector<std::string> errors;
    client.Proxy(ipc::kControllerPath)->callMethod("GetErrors").onInterface(kControllerItf).withTimeout(kCallTimeout).storeResultsTo(hr, errors);
    std::string text;
    for (const auto& e : errors) text += e + "\n";
    return text;
}

// The children of path on the daemon's bus (objects handed out and not yet gone).
std::vector<std::string> Children(const std::string& path) {
    Client probe;
    std::string xml;
    try {
        probe.Proxy(path)->callMethod("Introspect").onInterface("org.freedesktop.DBus.Introspectable").withTimeout(kCallTimeout).storeResultsTo(xml);
    } catch (const sdbus::Error&) {
        return {};  // nothing at or below path
    }
    std::vector<std::string> nodes;
    for (size_t at = xml.find("<node name=\""); at != std::string::npos; at = xml.find("<node name=\"", at + 1)) {
        size_t begin = at + 12;
        nodes.push_back(xml.substr(begin, xml.find('"', begin) - begin));
    }
    return nodes;
}

// Follows the Progress events of the encoder at path.
struct ProgressWatch {
    std::atomic<int> events{0};
    std::unique_ptr<sdbus::IProxy> proxy;
    ProgressWatch(Client& client, const std::string& path) : proxy(client.Proxy(path)) {
        proxy->uponSignal("Progress").onInterface(ipc::kEncoderEventsInterface).call([this](uint32_t, const std::string&) {
            ++events;
        });
        proxy->finishRegistration();
    }
};

struct Answer {
    std::atomic<bool> came{false};
    std::atomic<int32_t> hr{E_FAIL};
    std::string error;
};

}  // namespace

class QXServiceLeaving : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_ready = Start(&s_why);
    }

    static bool Start(std::string* why) {
        if (Env("TONQUIL_E2E_INSIDE").empty()) {
            *why = "run through scripts/private-session";
            return false;
        }
        const std::string base = Env("E2E_BASE");
        s_log = base + "/daemon.log";
        s_out = base + "/saved";
        fs::create_directories(s_out);
        s_driver = std::make_unique<ChildProcess>();
        if (!s_driver->Start({TONQUIL_AUDIO_DRIVER, "--source", "tone"})) {
            *why = "the driver stand-in did not start";
            return false;
        }
        const std::string device = Env("TONQUIL_RUNTIME_DIR") + "/ParvaneAD";
        if (!Eventually([&] { return fs::exists(device); }, 60s)) {
            *why = "the driver stand-in did not come up";
            return false;
        }
        const std::string fill = std::string(TONQUIL_CACHE_FILL) + " " + std::to_string(kCacheMb) + " >/dev/null";
        if (std::system(fill.c_str()) != 0) {
            *why = "the cache could not be filled";
            return false;
        }
        // The daemon's output goes to its log, where the sanitizers write.
        s_daemon = std::make_unique<ChildProcess>();
        if (!s_daemon->Start({"sh", "-c", std::string("exec \"") + TONQUIL_QXSERVICE + "\" >>\"" + s_log + "\" 2>&1"},
                             {"TONQUIL_SOUND=virtual"})) {
            *why = "the daemon did not start";
            return false;
        }
        bool up = Eventually(
            [&] {
                if (s_daemon->Wait(0) != -1) return true;
                try {
                    Client probe;
                    uint32_t state = 0;
                    int32_t hr = E_FAIL;
                    probe.Proxy(ipc::kControllerPath)
                        ->callMethod("GetCurrentState")
                        .onInterface(kControllerItf)
                        .withTimeout(kCallTimeout)
                        .storeResultsTo(hr, state);
                    return hr == S_OK;
                } catch (const sdbus::Error&) {
                    return false;
                }
            },
            180s);
        if (!up || !s_daemon->Running()) {
            *why = "the daemon did not come up: " + ReadFile(s_log);
            return false;
        }
        Client setup;
        int32_t hr = E_FAIL;
        auto controller = setup.Proxy(ipc::kControllerPath);
        controller->callMethod("GetStartReadPos").onInterface(kControllerItf).withTimeout(kCallTimeout).storeResultsTo(hr, s_left);
        uint32_t held = 0;
        controller->callMethod("GetTimeFullness").onInterface(kControllerItf).withTimeout(kCallTimeout).storeResultsTo(hr, held);
        // A second inside either end: the positions are rounded to whole milliseconds.
        s_right = s_left + held - 1000;
        s_left += 1000;
        if (held < 60000) {
            *why = "the daemon loaded only " + std::to_string(held) + " ms of audio";
            return false;
        }
        return true;
    }

    static void TearDownTestSuite() {
        if (s_daemon && s_daemon->Running()) {
            int status = s_daemon->Stop(SIGTERM, 180000);
            EXPECT_EQ(status, 0) << "the daemon's end: " << Ending(status);
        }
        EXPECT_EQ(SanitizerReport(), "");
        EXPECT_EQ(CrashReport(), "");
        s_daemon.reset();
        if (s_driver) s_driver->Stop(SIGTERM, 10000);
        s_driver.reset();
    }

    void SetUp() override { ASSERT_TRUE(s_ready) << s_why; }

    // After every case: the daemon is up, answers, and its log is clean.
    void TearDown() override {
        if (!s_ready) return;
        EXPECT_EQ(SanitizerReport(), "");
        EXPECT_EQ(CrashReport(), "");
        // A daemon that died ends the suite's use of it: every later case
        // would only repeat this failure.
        const int status = s_daemon->Wait(0);
        if (status != -1) s_ready = false;
        ASSERT_EQ(status, -1) << "the daemon ended: " << Ending(status);
        Client probe;
        uint32_t state = 0;
        int32_t hr = E_FAIL;
        probe.Proxy(ipc::kControllerPath)->callMethod("GetCurrentState").onInterface(kControllerItf).withTimeout(kCallTimeout).storeResultsTo(hr, state);
        EXPECT_EQ(hr, S_OK);
        // Nothing handed out in the case stays on the bus.
        EXPECT_TRUE(Eventually([] { return Children("/Encoders").empty() && Children("/Songs").empty(); }, 120s))
            << Children("/Encoders").size() << " encoders and " << Children("/Songs").size() << " songs left";
    }

    static std::string SanitizerReport() {
        std::string log = ReadFile(s_log);
        for (const char* mark : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"}) {
            size_t at = log.find(mark);
            if (at != std::string::npos) return log.substr(at > 200 ? at - 200 : 0, 6000);
        }
        return "";
    }

    // What the daemon's own fault handler left: it takes the fault signals
    // over from the sanitizers, writes its report to the temporary folder and
    // dies of the signal, with nothing on the daemon's output.
    static std::string CrashReport() {
        const std::string dump = (Env("TMPDIR").empty() ? std::string("/tmp") : Env("TMPDIR")) + "/QXService.dmp";
        if (!fs::exists(dump)) return "";
        return dump + ":\n" + ReadFile(dump).substr(0, 6000);
    }

    // How the daemon ended (status as ChildProcess gives it), with what it left.
    static std::string Ending(int status) {
        std::string text = status > 128 ? "killed by signal " + std::to_string(status - 128) + " (" +
                                               strsignal(status - 128) + ")"
                                         : "exit status " + std::to_string(status);
        return text + "\n" + CrashReport() + "\nits log:\n" + ReadFile(s_log);
    }

    static std::string OutFile(const std::string& name) {
        static std::atomic<int> serial{0};
        return s_out + "/" + name + std::to_string(++serial);
    }

    static bool s_ready;
    static std::string s_why, s_log, s_out;
    static std::unique_ptr<ChildProcess> s_driver, s_daemon;
    static uint32_t s_left, s_right;
};

bool QXServiceLeaving::s_ready = false;
std::string QXServiceLeaving::s_why, QXServiceLeaving::s_log, QXServiceLeaving::s_out;
std::unique_ptr<ChildProcess> QXServiceLeaving::s_driver, QXServiceLeaving::s_daemon;
uint32_t QXServiceLeaving::s_left = 0, QXServiceLeaving::s_right = 0;

namespace {

enum class LetGo { Release, Disconnect };
enum class SaveKind { One, Group };

struct SaveCase {
    const char* name;
    SaveKind kind;
    LetGo letGo;
};

}  // namespace

class QXServiceLeavingSave : public QXServiceLeaving, public ::testing::WithParamInterface<SaveCase> {};

// The client lets go of the encoder once the save reports progress; the save
// runs on to its end and its answer goes out (or finds its caller gone).
TEST_P(QXServiceLeavingSave, TheEncoderLivesUntilItsSaveHasAnswered) {
    const SaveCase& c = GetParam();
    auto client = std::make_unique<Client>();
    const std::string encoder = client->NewEncoder();
    ASSERT_FALSE(encoder.empty());
    std::vector<sdbus::ObjectPath> songs;
    // A group of three thirds of the cache saves as long as one song of all of it.
    const int count = c.kind == SaveKind::Group ? 3 : 1;
    const uint32_t part = (s_right - s_left) / count;
    for (int i = 0; i < count; ++i) {
        std::string song = client->NewSong(s_left + i * part, s_left + (i + 1) * part, "Leaving " + std::to_string(i));
        ASSERT_FALSE(song.empty());
        songs.emplace_back(song);
    }
    ProgressWatch watch(*client, encoder);
    auto answer = std::make_shared<Answer>();
    auto saver = client->Proxy(encoder);
    const std::string target = OutFile(c.kind == SaveKind::Group ? "group" : "song");
    auto reply = [answer](const sdbus::Error* error, int32_t hr) {
        answer->hr = error ? E_FAIL : hr;
        if (error) answer->error = error->getName();
        answer->came = true;
    };
    if (c.kind == SaveKind::Group) {
        fs::create_directories(target);
        saver->callMethodAsync("SaveGroup")
            .onInterface(kEncoderItf)
            .withTimeout(600s)
            .withArguments(songs, target)
            .uponReplyInvoke(reply);
    } else {
        saver->callMethodAsync("Save")
            .onInterface(kEncoderItf)
            .withTimeout(600s)
            .withArguments(songs[0], target + ".mp3")
            .uponReplyInvoke(reply);
    }
    ASSERT_TRUE(Eventually([&] { return watch.events > 0 || answer->came; }, 300s)) << "the save never began";
    ASSERT_FALSE(answer->came) << "the save ended before the client let go (hr " << answer->hr << "): "
                               << ErrorList(*client);

    if (c.letGo == LetGo::Release) {
        for (const auto& song : songs) client->Release(song);
        client->Release(encoder);
        // Released: the running save still answers.
        EXPECT_TRUE(Eventually([&] { return answer->came.load(); }, 600s)) << "the released encoder's save never answered";
        EXPECT_EQ(answer->hr, S_OK) << answer->error;
    } else {
        saver.reset();
        watch.proxy.reset();
        client->Leave();
        // The save goes on for nobody; it ends with its file(s) in place.
        EXPECT_TRUE(Eventually(
            [&] {
                if (c.kind == SaveKind::One) return fs::exists(target + ".mp3");
                size_t files = 0;
                for (const auto& entry : fs::directory_iterator(target)) files += entry.path().extension() == ".mp3";
                return files == songs.size();
            },
            600s))
            << "the save of the client that left did not finish";
    }
    EXPECT_TRUE(Eventually([&] { return Children("/Encoders").empty(); }, 120s)) << "the encoder never left the bus";
    if (c.letGo == LetGo::Release) {
        // Gone now: a call on it is answered as on nothing.
        int32_t hr = S_OK;
        EXPECT_THROW(saver->callMethod("StopSave").onInterface(kEncoderItf).withTimeout(kCallTimeout).storeResultsTo(hr), sdbus::Error);
    }
    watch.proxy.reset();
}

INSTANTIATE_TEST_SUITE_P(
    Saves, QXServiceLeavingSave,
    ::testing::Values(SaveCase{"ReleaseDuringSave", SaveKind::One, LetGo::Release},
                      SaveCase{"DisconnectDuringSave", SaveKind::One, LetGo::Disconnect},
                      SaveCase{"ReleaseDuringSaveGroup", SaveKind::Group, LetGo::Release},
                      SaveCase{"DisconnectDuringSaveGroup", SaveKind::Group, LetGo::Disconnect}),
    [](const ::testing::TestParamInfo<SaveCase>& info) { return info.param.name; });

// Clients that leave while GetPlaylist hands them a large playlist, and ones
// that take it and release every song while calls on the songs and their
// tags are still on their way.
TEST_F(QXServiceLeaving, ClientsLeaveWhileALargePlaylistIsHandedOut) {
    {
        Client filler;
        uint32_t count = 0;
        int32_t hr = E_FAIL;
        filler.Proxy(ipc::kPlayListPath)->callMethod("Count").onInterface(kPlayListItf).withTimeout(kCallTimeout).storeResultsTo(hr, count);
        for (uint32_t i = count; i < static_cast<uint32_t>(kLargePlaylist); ++i) {
            std::string song = filler.Object(ipc::kPlayListPath, kPlayListItf, "CreateNewSong");
            ASSERT_FALSE(song.empty());
            filler.Release(song);
        }
    }
    for (int round = 0; round < 6; ++round) {
        // Leaves with its GetPlaylist on the way (sooner or later in it).
        Client leaver;
        leaver.Proxy(ipc::kPlayListPath)
            ->callMethodAsync("GetPlaylist")
            .onInterface(kPlayListItf)
            .uponReplyInvoke([](const sdbus::Error*, int32_t, std::vector<sdbus::ObjectPath>) {});
        std::this_thread::sleep_for(std::chrono::milliseconds(round * 7));
        leaver.Leave();
    }
    // Takes the whole list, then calls and releases every song and tag at once.
    Client taker;
    int32_t hr = E_FAIL;
    std::vector<sdbus::ObjectPath> all;
    taker.Proxy(ipc::kPlayListPath)->callMethod("GetPlaylist").onInterface(kPlayListItf).withTimeout(kCallTimeout).storeResultsTo(hr, all);
    ASSERT_EQ(hr, S_OK);
    ASSERT_GE(all.size(), static_cast<size_t>(kLargePlaylist));
    std::vector<std::unique_ptr<sdbus::IProxy>> proxies;
    for (size_t i = 0; i < all.size(); i += 5) {
        auto song = taker.Proxy(all[i]);
        std::string tag = taker.Object(all[i], kSongItf, "GetID3Tag");
        song->callMethodAsync("GetLength").onInterface(kSongItf).uponReplyInvoke([](const sdbus::Error*, int32_t, uint32_t) {});
        taker.Release(all[i]);
        if (!tag.empty()) {
            auto tagProxy = taker.Proxy(tag);
            tagProxy->callMethodAsync("GetTitle").onInterface(kTagItf).uponReplyInvoke([](const sdbus::Error*, int32_t, std::string) {});
            taker.Release(tag);
            proxies.push_back(std::move(tagProxy));
        }
        proxies.push_back(std::move(song));
    }
    proxies.clear();
    taker.Leave();
}

namespace {

// A sink of a client process for an encoder's progress; the n-th event lets
// go of the client's connection from inside the sink call.
class LeavingSink final : public plat::ComObject<LeavingSink, _IAudioEncoderEvents> {
public:
    HRESULT Progress(UINT, BSTR) override {
        if (++events == kLeaveAt) Leave();
        return S_OK;
    }
    void Hold(std::shared_ptr<ipc::ClientConnection> connection) {
        std::lock_guard lock(m_mutex);
        m_connection = std::move(connection);
    }
    void Leave() {
        std::shared_ptr<ipc::ClientConnection> last;
        std::lock_guard lock(m_mutex);
        last.swap(m_connection);
    }
    static constexpr int kLeaveAt = 3;
    std::atomic<int> events{0};

private:
    std::mutex m_mutex;
    std::shared_ptr<ipc::ClientConnection> m_connection;
};

}  // namespace

// Listeners subscribe to a saving encoder's progress and go while the events
// come: from inside a sink call, by unsubscribing, or by closing the
// connection; then the saver itself leaves while its encoder still raises them.
TEST_F(QXServiceLeaving, EventSinksThatLeaveWhileEventsAreDelivered) {
    auto saver = std::make_unique<Client>();
    const std::string encoder = saver->NewEncoder();
    const std::string song = saver->NewSong(s_left, s_right, "Listened");
    ASSERT_FALSE(encoder.empty());
    ASSERT_FALSE(song.empty());
    ProgressWatch watch(*saver, encoder);
    const std::string target = OutFile("listened") + ".mp3";
    saver->Proxy(encoder)
        ->callMethodAsync("Save")
        .onInterface(kEncoderItf)
        .withTimeout(600s)
        .withArguments(sdbus::ObjectPath(song), target)
        .uponReplyInvoke([](const sdbus::Error*, int32_t) {});
    ASSERT_TRUE(Eventually([&] { return watch.events > 0 || fs::exists(target); }, 300s)) << "the save never began";

    const std::string service = saver->Daemon();
    for (int round = 0; round < 12 && !fs::exists(target); ++round) {
        std::shared_ptr<ipc::ClientConnection> connection;
        ASSERT_EQ(ipc::ClientConnection::Open(&connection), S_OK);
        auto* sink = LeavingSink::CreateInstance();
        plat::ComPtr<_IAudioEncoderEvents> held(sink);
        uint64_t id = connection->Subscribe(service, encoder, held);
        switch (round % 3) {
        case 0:  // from inside its own sink call
            sink->Hold(std::move(connection));
            Eventually([&] { return sink->events >= LeavingSink::kLeaveAt || fs::exists(target); }, 120s);
            sink->Leave();  // had the save ended first
            break;
        case 1:  // unsubscribes while events come
            Eventually([&] { return sink->events > 0 || fs::exists(target); }, 120s);
            connection->Unsubscribe(id);
            connection.reset();
            break;
        default:  // closes its connection with the subscription in place
            Eventually([&] { return sink->events > 0 || fs::exists(target); }, 120s);
            connection.reset();
            break;
        }
    }
    // The saver goes too; its encoder raises its last events while it leaves.
    watch.proxy.reset();
    saver->Leave();
    EXPECT_TRUE(Eventually([&] { return fs::exists(target); }, 600s)) << "the save did not finish";
    EXPECT_TRUE(Eventually([&] { return Children("/Encoders").empty(); }, 120s));
}
