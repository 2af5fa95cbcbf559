// These run against the private PulseAudio server of the test environment
// (null sinks "Tonquil Audio Device", "Speakers", "Headphones" and the sine
// source "Microphone") and skip when no server answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/core/LastError.h"
#include "platform/sound/PulseConnection.h"
#include "platform/sound/PulsePlaybackBuffer.h"
#include "platform/sound/PulseSoundSystem.h"
#include "platform/sound/tests/support/SoundServer.h"
#include "platform/sound/tests/support/Tone.h"

using namespace plat;
using namespace soundtest;

namespace {

WaveFormat EngineFormat() { return WaveFormat{1, 2, 48000, 192000, 4, 16, 0}; }

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class PulseSound : public ::testing::Test {
protected:
    void SetUp() override {
        if (!SoundServerAnswers()) GTEST_SKIP() << "no PulseAudio server answers (run inside scripts/testenv)";
    }
    GUID GuidOf(bool capture, const std::string& name) {
        std::vector<PulseSoundSystem::DeviceInfo> list;
        EXPECT_EQ(system.List(capture, &list), S_OK);
        for (const auto& d : list)
            if (d.name == name) return d.guid;
        ADD_FAILURE() << "no device " << name;
        return GUID_NULL;
    }
    std::shared_ptr<SoundCaptureBuffer> Record(const std::string& source, DWORD bytes) {
        GUID g = GuidOf(true, source);
        std::shared_ptr<SoundCaptureDevice> dev;
        EXPECT_EQ(system.CreateCaptureDevice(&g, &dev), S_OK);
        std::shared_ptr<SoundCaptureBuffer> buf;
        if (dev) {
            EXPECT_EQ(dev->CreateCaptureBuffer(EngineFormat(), bytes, &buf), S_OK);
        }
        return buf;
    }
    // Marks the end of each of the 16 chunks of a capture ring with an event
    // of its own (before Start), so that a test can tell how much has come in
    // even when a source delivers more than a ring at once.
    static std::vector<std::shared_ptr<Event>> MarkChunks(SoundCaptureBuffer& b, DWORD size) {
        std::vector<std::shared_ptr<Event>> events;
        std::vector<SoundNotifyPosition> pos;
        for (DWORD i = 1; i <= 16; ++i) {
            events.push_back(std::make_shared<Event>(Event::Reset::Manual));
            pos.push_back({size / 16 * i - 1, events.back()});
        }
        EXPECT_EQ(b.SetNotificationPositions(pos), S_OK);
        return events;
    }
    // Waits until at least 'chunks' chunk ends have been passed (an idle
    // server may take a while to deliver its first fragment).
    static bool WaitChunks(const std::vector<std::shared_ptr<Event>>& events, size_t chunks, int timeoutMs) {
        for (int t = 0; t <= timeoutMs; t += 10) {
            size_t set = 0;
            for (const auto& e : events) set += e->IsSet() ? 1 : 0;
            if (set >= chunks) return true;
            SleepMs(10);
        }
        return false;
    }
    // The 'bytes' bytes before the capture cursor.
    static std::vector<uint8_t> Last(SoundCaptureBuffer& b, DWORD size, DWORD bytes) {
        DWORD cap = 0;
        b.GetCurrentPosition(&cap, nullptr);
        std::vector<uint8_t> out(bytes);
        void* p1;
        void* p2;
        DWORD n1, n2;
        if (b.Lock((cap + size - bytes) % size, bytes, &p1, &n1, &p2, &n2) != S_OK) return {};
        std::memcpy(out.data(), p1, n1);
        if (p2) std::memcpy(out.data() + n1, p2, n2);
        b.Unlock(p1, n1, p2, n2);
        return out;
    }

    PulseSoundSystem system;
};

BOOL Collect(const GUID* guid, const char16_t* description, const char16_t*, void* context) {
    auto* list = static_cast<std::vector<std::pair<bool, std::u16string>>*>(context);
    list->push_back({guid != nullptr, description});
    return TRUE;
}

}  // namespace

// A corked stream's pump waits on its loop without a time limit: a wake-up
// from another thread, whether it comes before or during the wait, ends it.
TEST(PulseConnectionLoop, AnUnboundedWaitEndsWhenWokenFromAnotherThread) {
    for (bool wakeFirst : {true, false}) {
        PulseConnection connection;
        if (wakeFirst) connection.Wakeup();
        auto waited = std::async(std::launch::async, [&connection] { return connection.Iterate(INFINITE); });
        if (!wakeFirst) connection.Wakeup();
        const bool ended = waited.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
        EXPECT_TRUE(ended) << (wakeFirst ? "a wake-up before the wait was lost" : "the wait was never ended");
        // A lost wake-up leaves the wait hanging: end it so the test can finish.
        while (waited.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) connection.Wakeup();
        EXPECT_TRUE(waited.get());
    }
}

TEST_F(PulseSound, DeviceListsMatchTheServer) {
    // Another client may add or remove a device meanwhile: compare a listing
    // only with a server that did not change around it.
    // The server's default device leads (the servers list in orders of their
    // own), the others keep the server's order.
    for (int attempt = 0; attempt < 10; ++attempt) {
        auto sinks = PactlDescriptions("sinks", true);
        auto sources = PactlDescriptions("sources", true);
        std::vector<std::pair<bool, std::u16string>> out, in;
        ASSERT_EQ(system.EnumeratePlayback(&Collect, &out), S_OK);
        ASSERT_EQ(system.EnumerateCapture(&Collect, &in), S_OK);
        if (sinks != PactlDescriptions("sinks", true) || sources != PactlDescriptions("sources", true)) {
            SleepMs(200);
            continue;
        }
        ASSERT_FALSE(sinks.empty());
        ASSERT_EQ(out.size(), sinks.size() + 1);
        ASSERT_EQ(in.size(), sources.size() + 1);
        EXPECT_FALSE(out[0].first) << "the primary entry comes first, without a GUID";
        for (size_t i = 0; i < sinks.size(); ++i) {
            EXPECT_TRUE(out[i + 1].first);
            EXPECT_EQ(out[i + 1].second, sinks[i]);
        }
        for (size_t i = 0; i < sources.size(); ++i) EXPECT_EQ(in[i + 1].second, sources[i]);
        EXPECT_NE(std::find(sinks.begin(), sinks.end(), u"Speakers"), sinks.end());
        EXPECT_NE(std::find(sources.begin(), sources.end(), u"Monitor of Speakers"), sources.end());
        EXPECT_NE(std::find(sources.begin(), sources.end(), u"Microphone"), sources.end());
        // The test environment's defaults, which neither server lists first.
        EXPECT_EQ(out[1].second, u"Speakers");
        EXPECT_EQ(in[1].second, u"Microphone");
        return;
    }
    FAIL() << "the server's device lists never held still";
}

TEST_F(PulseSound, GuidsAreStableAndOpenTheirDevice) {
    GUID first = GuidOf(false, "speakers");
    PulseSoundSystem other;  // a fresh backend knows nothing yet
    std::vector<PulseSoundSystem::DeviceInfo> list;
    ASSERT_EQ(other.List(false, &list), S_OK);
    bool found = false;
    for (const auto& d : list) found |= d.guid == first && d.name == "speakers";
    EXPECT_TRUE(found);
    std::shared_ptr<SoundPlaybackDevice> dev;
    EXPECT_EQ(PulseSoundSystem().CreatePlaybackDevice(&first, &dev), S_OK);
    GUID unknown = GUID_NULL;
    unknown.Data1 = 0x1234;
    EXPECT_EQ(system.CreatePlaybackDevice(&unknown, &dev), DSERR_NODRIVER);
}

TEST_F(PulseSound, ToneIntoSpeakersComesBackFromItsMonitor) {
    const DWORD capSize = 384000;
    auto rec = Record("speakers.monitor", capSize);
    ASSERT_NE(rec, nullptr);
    auto marks = MarkChunks(*rec, capSize);
    ASSERT_EQ(rec->Start(DSCBSTART_LOOPING), S_OK);
    ASSERT_TRUE(WaitChunks(marks, 1, 5000)) << "the monitor delivers nothing";

    GUID g = GuidOf(false, "speakers");
    std::shared_ptr<SoundPlaybackDevice> dev;
    ASSERT_EQ(system.CreatePlaybackDevice(&g, &dev), S_OK);
    std::shared_ptr<SoundPlaybackBuffer> play;
    ASSERT_EQ(dev->CreateSoundBuffer(EngineFormat(), 96000, &play), S_OK);
    // 500 ms of a 1 kHz tone at half scale: the ring loops it without a seam.
    void* p1;
    void* p2;
    DWORD n1, n2;
    ASSERT_EQ(play->Lock(0, 96000, &p1, &n1, &p2, &n2), S_OK);
    FillTone(static_cast<int16_t*>(p1), 24000, 0, 1000, 16384);
    ASSERT_EQ(play->Unlock(p1, n1, p2, n2), S_OK);
    ASSERT_EQ(play->Play(DSBPLAY_LOOPING), S_OK);
    // A loaded machine may leave gaps in what the monitor carries (the feeding
    // thread came late): the tone must come back whole over some 250 ms within
    // the last second heard, at its frequency and level. A wrong rate, layout
    // or scale is never right in any window.
    constexpr size_t kWindow = 12000, kStep = 480;
    double frequency = 0;
    int peak = 0;
    bool whole = false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!whole && std::chrono::steady_clock::now() < end) {
        SleepMs(100);
        auto heard = LeftChannel(Last(*rec, capSize, 192000));
        for (size_t at = 0; !whole && at + kWindow <= heard.size(); at += kStep) {
            std::vector<int16_t> window(heard.begin() + static_cast<long>(at),
                                        heard.begin() + static_cast<long>(at + kWindow));
            frequency = Frequency(window, 48000);
            peak = Peak(window);
            whole = std::abs(frequency - 1000.0) <= 10.0 && std::abs(peak - 16384) <= 400;
        }
    }
    ASSERT_EQ(play->Stop(), S_OK);
    ASSERT_EQ(rec->Stop(), S_OK);
    EXPECT_TRUE(whole) << "no 250 ms of the tone came back; the last window: " << frequency << " Hz, peak "
                       << peak;
}

// A server may grant a longer queue than the pump keeps filled. The ring is
// still never handed over further ahead of its play cursor than that: a writer that keeps the usual lead
// over the play cursor would otherwise be overtaken, have stale bytes played,
// and wait a whole ring before its own are heard.
TEST_F(PulseSound, PlaybackRunsNoFurtherAheadThanItsLead) {
    GUID g = GuidOf(false, "speakers");
    std::shared_ptr<SoundPlaybackDevice> dev;
    ASSERT_EQ(system.CreatePlaybackDevice(&g, &dev), S_OK);
    const DWORD ring = 96000;
    std::shared_ptr<SoundPlaybackBuffer> play;
    ASSERT_EQ(dev->CreateSoundBuffer(EngineFormat(), ring, &play), S_OK);
    auto lap = std::make_shared<Event>(Event::Reset::Auto);
    ASSERT_EQ(play->SetNotificationPositions({{ring - 1, lap}}), S_OK);
    ASSERT_EQ(play->Play(DSBPLAY_LOOPING), S_OK);
    const DWORD asked = PulsePlaybackBuffer::kAheadPeriods * PulsePeriodBytes(EngineFormat());
    // Looked at all through two laps of the ring, well past the stream's start.
    DWORD furthest = 0;
    int laps = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (laps < 2 && std::chrono::steady_clock::now() < end) {
        DWORD playAt = 0, writeAt = 0;
        ASSERT_EQ(play->GetCurrentPosition(&playAt, &writeAt), S_OK);
        furthest = std::max(furthest, RingDistance(playAt, writeAt, ring));
        if (lap->Wait(2) == WAIT_OBJECT_0) ++laps;
    }
    ASSERT_EQ(play->Stop(), S_OK);
    ASSERT_EQ(laps, 2) << "the ring did not play round twice";
    EXPECT_GT(furthest, 0u) << "nothing was handed over ahead of the play cursor";
    EXPECT_LE(furthest, asked) << "handed over " << furthest << " bytes ahead; the lead is " << asked;
}

// The nice value of each of this process's threads that has the name.
static std::vector<int> NiceOfThreads(const std::string& name) {
    std::vector<int> found;
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks) return found;
    while (dirent* e = readdir(tasks)) {
        if (e->d_name[0] == '.') continue;
        const std::string base = std::string("/proc/self/task/") + e->d_name;
        std::ifstream comm(base + "/comm");
        std::string threadName;
        std::getline(comm, threadName);
        if (threadName != name) continue;
        std::ifstream statFile(base + "/stat");
        std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
        // After the name: state, then fields 4 to 19, the last the nice value.
        std::istringstream rest(stat.substr(stat.rfind(')') + 2));
        std::string field;
        for (int i = 3; i <= 19 && rest >> field; ++i) {
        }
        found.push_back(std::stoi(field));
    }
    closedir(tasks);
    return found;
}

TEST_F(PulseSound, PumpsRunAheadOfOrdinaryThreadsWhereTheSystemAllows) {
    rlimit limit{};
    const bool mayRaise = ::geteuid() == 0 || (::getrlimit(RLIMIT_NICE, &limit) == 0 && limit.rlim_cur >= 35);
    if (!mayRaise) GTEST_SKIP() << "this process may not raise a thread's priority";
    GUID g = GuidOf(false, "speakers");
    std::shared_ptr<SoundPlaybackDevice> dev;
    ASSERT_EQ(system.CreatePlaybackDevice(&g, &dev), S_OK);
    std::shared_ptr<SoundPlaybackBuffer> play;
    ASSERT_EQ(dev->CreateSoundBuffer(EngineFormat(), 96000, &play), S_OK);
    auto rec = Record("microphone", 96000);
    ASSERT_NE(rec, nullptr);
    const int ordinary = ::getpriority(PRIO_PROCESS, 0);
    for (const char* pump : {"sound-play", "sound-capture"}) {
        const std::vector<int> nice = NiceOfThreads(pump);
        ASSERT_EQ(nice.size(), 1u) << pump;
        EXPECT_LT(nice[0], ordinary) << pump << " runs at the nice value of ordinary threads";
    }
}

TEST_F(PulseSound, CapturesTheMicrophoneSine) {
    const DWORD capSize = 384000;
    auto rec = Record("microphone", capSize);
    ASSERT_NE(rec, nullptr);
    auto marks = MarkChunks(*rec, capSize);
    ASSERT_EQ(rec->Start(DSCBSTART_LOOPING), S_OK);
    // The sine source renders in large blocks: allow for one to arrive.
    ASSERT_TRUE(WaitChunks(marks, 4, 6000)) << "the source delivers nothing";
    auto heard = LeftChannel(Last(*rec, capSize, 96000));
    EXPECT_NEAR(Frequency(heard, 48000), 440.0, 8.0);
    EXPECT_GT(Peak(heard), 1000);
    DWORD status = 0;
    ASSERT_EQ(rec->GetStatus(&status), S_OK);
    EXPECT_EQ(status, DSCBSTATUS_CAPTURING | DSCBSTATUS_LOOPING);
    ASSERT_EQ(rec->Stop(), S_OK);
    DWORD a = 0, b = 0;
    SleepMs(50);
    rec->GetCurrentPosition(&a, nullptr);
    SleepMs(100);
    rec->GetCurrentPosition(&b, nullptr);
    EXPECT_EQ(a, b) << "a stopped capture stands still";
}

TEST_F(PulseSound, ARemovedSinkStopsTheCursors) {
    std::string index = Shell("pactl load-module module-null-sink sink_name=tq_vanishing rate=48000 2>/dev/null");
    ASSERT_FALSE(index.empty());
    index.erase(index.find_last_not_of("\n ") + 1);
    GUID g = GuidOf(false, "tq_vanishing");
    std::shared_ptr<SoundPlaybackDevice> dev;
    ASSERT_EQ(system.CreatePlaybackDevice(&g, &dev), S_OK);
    std::shared_ptr<SoundPlaybackBuffer> play;
    ASSERT_EQ(dev->CreateSoundBuffer(EngineFormat(), 96000, &play), S_OK);
    ASSERT_EQ(play->Play(DSBPLAY_LOOPING), S_OK);
    DWORD p = 0;
    for (int t = 0; t < 5000 && p == 0; t += 10) {
        SleepMs(10);
        play->GetCurrentPosition(&p, nullptr);
    }
    ASSERT_GT(p, 0u) << "the play cursor never moved";
    Shell("pactl unload-module " + index);
    // The backend learns of the removal when the server tells it: wait until the
    // cursor holds still for 200 ms (a looping cursor never does so).
    bool still = false;
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
         !still && std::chrono::steady_clock::now() < end;) {
        DWORD a = 0, b = 0;
        play->GetCurrentPosition(&a, nullptr);
        SleepMs(200);
        play->GetCurrentPosition(&b, nullptr);
        still = a == b;
    }
    EXPECT_TRUE(still) << "the play cursor runs on without its sink";
    DWORD status = 0;
    ASSERT_EQ(play->GetStatus(&status), S_OK);
    EXPECT_TRUE(status & DSBSTATUS_PLAYING) << "the status stays as it was";
    EXPECT_EQ(play->Stop(), S_OK);
}

namespace {
// A server socket that takes connections and never answers them, as a sound
// server that hangs does, with PULSE_SERVER pointing at it for the scope.
class SilentServer {
public:
    SilentServer() {
        char dir[] = "/tmp/tonquil-silent-XXXXXX";
        if (!::mkdtemp(dir)) return;
        m_dir = dir;
        m_path = m_dir + "/native";
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, m_path.c_str(), sizeof addr.sun_path - 1);
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(m_fd, 4) != 0)
            return;
        if (const char* old = std::getenv("PULSE_SERVER")) m_oldServer = old;
        m_hadServer = std::getenv("PULSE_SERVER") != nullptr;
        ::setenv("PULSE_SERVER", ("unix:" + m_path).c_str(), 1);
        m_ok = true;
    }
    ~SilentServer() {
        if (m_ok) {
            if (m_hadServer) ::setenv("PULSE_SERVER", m_oldServer.c_str(), 1);
            else ::unsetenv("PULSE_SERVER");
        }
        if (m_client >= 0) ::close(m_client);
        if (m_fd >= 0) ::close(m_fd);
        if (!m_path.empty()) ::unlink(m_path.c_str());
        if (!m_dir.empty()) ::rmdir(m_dir.c_str());
    }
    bool Ok() const { return m_ok; }
    // Blocks until a client has connected (and so waits for an answer).
    bool AcceptOne() {
        m_client = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        return m_client >= 0;
    }

private:
    std::string m_dir, m_path, m_oldServer;
    bool m_hadServer = false;
    bool m_ok = false;
    int m_fd = -1;
    int m_client = -1;
};
}  // namespace

// A stream's pump must end promptly when its owner stops it, even while it
// connects to a server that takes the connection and never answers: the stop
// event ends the wait, whether it was set before the connect or during it.
TEST(PulseConnectionLoop, TheStopEventEndsAConnectToAServerThatNeverAnswers) {
    for (bool stopFirst : {true, false}) {
        SCOPED_TRACE(stopFirst ? "stopped before the connect" : "stopped during the connect");
        SilentServer server;
        ASSERT_TRUE(server.Ok());
        Event stop(Event::Reset::Manual);
        PulseConnection connection(&stop);
        if (stopFirst) stop.Set();
        // Had the stop not ended the wait, the time limit would have: that
        // ends it with a different code.
        auto connect = std::async(std::launch::async, [&connection] {
            const HRESULT hr = connection.Connect("Tonquil test", 60000);
            return std::make_pair(hr, GetLastError());
        });
        if (!stopFirst) {
            ASSERT_TRUE(server.AcceptOne());
            stop.Set();
        }
        const auto [hr, error] = connect.get();
        EXPECT_EQ(hr, E_ABORT);
        EXPECT_EQ(error, ERROR_CANCELLED);
        EXPECT_FALSE(connection.IsReady());
    }
}
