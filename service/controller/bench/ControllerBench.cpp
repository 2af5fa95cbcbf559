// Figures of the whole engine at real time, run by hand inside the private
// sound environment:
//   bash scripts/testenv <build>/service/controller/controller_bench [seconds]
//
// 1. CPU and wake-ups: the driver stand-in feeds a tone at real time; the
//    engine records it with live pass-through to the output, then also
//    replays it. The engine's CPU time as a share of one core beside the
//    floor (a bare thread that wakes every 10 ms, measured in the same run),
//    and how often each of its threads is woken (voluntary context switches),
//    per second; then the peak resident memory.
// 2. Latency: an in-process driver writes 10 ms records of silence at real
//    time into the section and, now and then, a burst of tone; a recorder on
//    the output sink's monitor (20 ms of its own latency at most) notes when
//    the burst is heard. The figure is the time from publishing the burst in
//    the section to hearing it, so it includes the recorder's own latency.
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <dirent.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/core/Clock.h"
#include "platform/driver/ObjectNames.h"
#include "platform/driver/tests/TempRuntimeDir.h"
#include "service/audio/PipeServer.h"
#include "service/audio/tests/FakeDriver.h"
#include "service/audio/tests/PipeServerSupport/ChildProcess.h"
#include "service/controller/KAudioController.h"
#include "service/controller/bench/FloorThread.h"
#include "service/foundation/KTimecode.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::string ReadLine(const std::string& path) {
    std::string line;
    if (FILE* f = fopen(path.c_str(), "r")) {
        char buf[256] = {};
        if (fgets(buf, sizeof buf, f)) line = buf;
        fclose(f);
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
    return line;
}

// What one thread has used so far: its CPU time (from schedstat, in
// nanoseconds) and its voluntary context switches, i.e. how often it went to
// sleep and so had to be woken again.
struct ThreadSample {
    std::string name;
    double cpuSeconds = 0;
    unsigned long wakeUps = 0;
};

std::map<pid_t, ThreadSample> SampleThreads() {
    std::map<pid_t, ThreadSample> threads;
    DIR* dir = opendir("/proc/self/task");
    if (!dir) return threads;
    while (dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.') continue;
        const std::string base = std::string("/proc/self/task/") + e->d_name;
        ThreadSample t;
        t.name = ReadLine(base + "/comm");
        unsigned long long runNs = 0;
        if (sscanf(ReadLine(base + "/schedstat").c_str(), "%llu", &runNs) == 1)
            t.cpuSeconds = static_cast<double>(runNs) / 1e9;
        if (FILE* f = fopen((base + "/status").c_str(), "r")) {
            char buf[256];
            while (fgets(buf, sizeof buf, f))
                if (sscanf(buf, "voluntary_ctxt_switches: %lu", &t.wakeUps) == 1) break;
            fclose(f);
        }
        threads[static_cast<pid_t>(std::atol(e->d_name))] = t;
    }
    closedir(dir);
    return threads;
}

// Per thread name, what the threads of that name used between two samples.
struct Usage {
    std::string name;
    int threads = 0;
    double cpuSeconds = 0;
    double wakeUps = 0;
};

std::vector<Usage> UsageBetween(const std::map<pid_t, ThreadSample>& before,
                                const std::map<pid_t, ThreadSample>& after) {
    std::vector<Usage> byName;
    for (const auto& [tid, t] : after) {
        ThreadSample base;
        if (auto it = before.find(tid); it != before.end()) base = it->second;
        auto u = std::find_if(byName.begin(), byName.end(), [&](const Usage& x) { return x.name == t.name; });
        if (u == byName.end()) u = byName.insert(byName.end(), Usage{t.name});
        u->threads += 1;
        u->cpuSeconds += t.cpuSeconds - base.cpuSeconds;
        u->wakeUps += static_cast<double>(t.wakeUps - base.wakeUps);
    }
    std::sort(byName.begin(), byName.end(), [](const Usage& a, const Usage& b) { return a.wakeUps > b.wakeUps; });
    return byName;
}

// Measures the process over a stretch and prints the engine's CPU beside the
// floor's, and the wake-ups per second of each group of threads. The bench's
// own threads (the floor and the main thread, which only sleeps) are not the
// engine's. Returns the wake-ups per second of the threads named 'watch'.
double PrintUsage(const char* what, int seconds, const char* watch) {
    const auto before = SampleThreads();
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = CpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const auto usage = UsageBetween(before, SampleThreads());

    double floorCpu = 0, benchCpu = 0, engineWakeUps = 0, watched = 0;
    for (const Usage& u : usage) {
        if (u.name == FloorThread::kName) floorCpu = u.cpuSeconds;
        else if (u.name == "controller_benc") benchCpu += u.cpuSeconds;
        else engineWakeUps += u.wakeUps;
        if (u.name == watch) watched = u.wakeUps / wall;
    }
    const double engineCpu = std::max(0.0, cpu - floorCpu - benchCpu);
    printf("%s, over %.1f s:\n", what, wall);
    printf("  engine CPU %.2f %% of one core; floor (a bare 10 ms timer thread) %.2f %%; engine/floor %.1fx\n",
           100.0 * engineCpu / wall, 100.0 * floorCpu / wall, floorCpu > 0 ? engineCpu / floorCpu : 0.0);
    printf("  engine wake-ups %.0f per second in all\n", engineWakeUps / wall);
    printf("  %-16s %7s %9s %8s\n", "thread", "threads", "wake-ups/s", "CPU %");
    for (const Usage& u : usage)
        printf("  %-16s %7d %9.1f %8.2f\n", u.name.c_str(), u.threads, u.wakeUps / wall, 100.0 * u.cpuSeconds / wall);
    return watched;
}

long PeakRssKb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

plat::ComPtr<KAudioController> BuildEngine() {
    plat::ManualClock buildClock(1000);  // the players' settling waits cost nothing
    plat::SetClock(&buildClock);
    KAudioController* raw = nullptr;
    HRESULT hr = KAudioController::Create(KControllerComponents::Engine(), &raw);
    plat::SetClock(nullptr);
    if (FAILED(hr)) fprintf(stderr, "the engine could not be built: 0x%08X\n", static_cast<unsigned>(hr));
    return plat::ComPtr<KAudioController>(raw);
}

bool WaitForDevice() {
    std::string socketPath;
    if (!plat::drv::DeviceSocketPath(plat::drv::kDevicePath, &socketPath)) return false;
    struct stat st {};
    for (int i = 0; i < 1000 && ::stat(socketPath.c_str(), &st) != 0; ++i) std::this_thread::sleep_for(5ms);
    return ::stat(socketPath.c_str(), &st) == 0;
}

int MeasureCpu(int seconds) {
    TempRuntimeDir dir;
    ChildProcess driver;
    if (!driver.Start({TONQUIL_AUDIO_DRIVER, "--source", "tone"}, {"TONQUIL_RUNTIME_DIR=" + dir.Path()}) ||
        !WaitForDevice()) {
        fprintf(stderr, "the driver stand-in did not come up\n");
        return 1;
    }
    plat::ComPtr<KAudioController> engine = BuildEngine();
    if (!engine) return 1;
    KPipeServer link(static_cast<IQXListener*>(engine.Get()));
    if (FAILED(link.StartStop()) || FAILED(engine->Record())) return 1;
    std::this_thread::sleep_for(2s);  // past the start-up

    ULONG rec0 = 0, rec1 = 0;
    engine->GetRecordPosition(&rec0);
    {
        FloorThread floor;
        PrintUsage("recording with live pass-through", seconds, "");
        engine->GetRecordPosition(&rec1);
        printf("  (%.1f s of audio recorded)\n", (rec1 - rec0) / 1000.0);

        // Replaying: a pause, then play from where it paused; the replay
        // stays that far behind the recording and never catches up.
        if (FAILED(engine->Pause())) return 1;
        std::this_thread::sleep_for(3s);
        if (FAILED(engine->Play())) return 1;
        std::this_thread::sleep_for(1s);
        const double replay = PrintUsage("recording and replaying", std::max(5, seconds / 2), "tq-replay");
        printf("  replay thread: %.1f wake-ups per second\n", replay);
    }
    printf("peak resident memory: %.1f MB\n", static_cast<double>(PeakRssKb()) / 1024.0);
    engine->StopRecord();
    link.StartStop();
    engine->Destroy();
    driver.Stop(SIGTERM, 3000);
    return 0;
}

// Reads the output sink's monitor and notes when each block arrived.
class MonitorRecorder {
public:
    bool Start() {
        int fds[2];
        if (::pipe(fds) != 0) return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const char* argv[] = {"parec", "--device=speakers.monitor", "--format=s16le", "--rate=48000",
                              "--channels=2", "--latency-msec=5", "--raw", nullptr};
        int rc = posix_spawnp(&m_pid, "parec", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (rc != 0) {
            ::close(fds[0]);
            return false;
        }
        m_fd = fds[0];
        m_reader = std::thread([this] {
            std::vector<BYTE> block(960);  // 5 ms
            for (;;) {
                ssize_t n = ::read(m_fd, block.data(), block.size());
                if (n <= 0) break;
                auto now = Clock::now();
                std::lock_guard<std::mutex> g(m_lock);
                for (ssize_t i = 0; i + 3 < n; i += 4) {
                    int16_t s;
                    std::memcpy(&s, &block[static_cast<size_t>(i)], 2);
                    m_samples.push_back(s);
                }
                m_arrivals.emplace_back(m_samples.size(), now);
            }
        });
        return true;
    }
    void Stop() {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
        m_reader.join();
        ::close(m_fd);
    }
    // When the first loud sample after `after` was heard (its arrival less
    // the frames that followed it in the same read).
    bool LoudAfter(Clock::time_point after, Clock::time_point* heard) {
        std::lock_guard<std::mutex> g(m_lock);
        size_t first = 0;
        for (const auto& a : m_arrivals)
            if (a.second < after) first = a.first;
        for (size_t i = first; i < m_samples.size(); ++i) {
            if (std::abs(m_samples[i]) < 4000) continue;
            for (const auto& a : m_arrivals) {
                if (a.first > i) {
                    *heard = a.second - std::chrono::microseconds((a.first - i) * 1000000 / 48000);
                    return true;
                }
            }
        }
        return false;
    }

private:
    pid_t m_pid = -1;
    int m_fd = -1;
    std::thread m_reader;
    std::mutex m_lock;
    std::vector<int16_t> m_samples;
    std::vector<std::pair<size_t, Clock::time_point>> m_arrivals;
};

// Writes 10 ms records at real time.
class RealTimeWriter {
public:
    explicit RealTimeWriter(FakeDriver& driver) : m_driver(driver), m_next(Clock::now()) {}
    // One record (null: the driver has nothing to give, as while the output is idle).
    void Period(const std::vector<BYTE>* record) {
        m_next += 10ms;
        std::this_thread::sleep_until(m_next);
        if (record) m_driver.WriteWhenRoom(plat::drv::TAG_WAVE, record->data(), 1920, 100);
    }

private:
    FakeDriver& m_driver;
    Clock::time_point m_next;
};

struct Figures {
    std::vector<double> ms;
    void Print(const char* what) {
        if (ms.empty()) {
            printf("%s: nothing was heard on the output's monitor\n", what);
            return;
        }
        std::sort(ms.begin(), ms.end());
        printf("%s (%zu onsets): median %.1f ms, worst %.1f ms\n", what, ms.size(), ms[ms.size() / 2], ms.back());
    }
};

// continuous: the driver delivers silence all the time and now and then 50 ms
// of tone. Otherwise the driver delivers nothing between sounds (an idle
// output) and each sound starts from there.
int MeasureLatency(int bursts, bool continuous, Figures* figures) {
    TempRuntimeDir dir;
    FakeDriver driver;
    plat::ComPtr<KAudioController> engine = BuildEngine();
    if (!engine) return 1;
    KPipeServer link(static_cast<IQXListener*>(engine.Get()));
    if (FAILED(link.StartStop()) || !driver.WaitLinkOpen()) return 1;
    driver.PutFormat(OWAVEFORMATEX{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0});
    driver.Publish();
    MonitorRecorder recorder;
    if (!recorder.Start()) return 1;

    const std::vector<BYTE> quiet(1920, 0);
    std::vector<BYTE> tone(1920);
    for (size_t i = 0; i < 480; ++i) {
        auto s = static_cast<int16_t>(16000 * std::sin(2 * M_PI * 1000.0 * static_cast<double>(i) / 48000.0));
        std::memcpy(&tone[i * 4], &s, 2);
        std::memcpy(&tone[i * 4 + 2], &s, 2);
    }
    RealTimeWriter writer(driver);
    // Start-up: a second of sound, then a second without (the player lets go of
    // what the start of the link left queued).
    for (int i = 0; i < 100; ++i) writer.Period(&quiet);
    for (int i = 0; i < 100; ++i) writer.Period(nullptr);

    const std::vector<BYTE>* between = continuous ? &quiet : nullptr;
    const int soundPeriods = continuous ? 5 : 30;
    for (int burst = 0; burst < bursts; ++burst) {
        for (int period = 0; period < 60; ++period) writer.Period(between);
        Clock::time_point published = Clock::now();
        for (int period = 0; period < soundPeriods; ++period) {
            writer.Period(&tone);
            if (period == 0) published = Clock::now();
        }
        Clock::time_point heard{};
        bool found = recorder.LoudAfter(published, &heard);
        for (int period = 0; period < 60 && !found; ++period) {
            writer.Period(between);
            found = recorder.LoudAfter(published, &heard);
        }
        if (found) figures->ms.push_back(std::chrono::duration<double, std::milli>(heard - published).count());
    }
    recorder.Stop();
    link.StartStop();
    engine->Destroy();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("PULSE_SERVER") || std::system("pactl info >/dev/null 2>&1") != 0) {
        fprintf(stderr, "no sound server: run inside scripts/testenv\n");
        return 2;
    }
    ::setenv("TONQUIL_SOUND", "pulse", 1);
    char data[] = "/tmp/tq-bench-XXXXXX";
    if (!::mkdtemp(data)) return 1;
    ::setenv("TONQUIL_DATA_DIR", data, 1);
    KTimecode::SetRateMode(KTimecode::kHundredthsMode);
    const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 30;
    int rc = MeasureCpu(seconds);
    Figures continuous, afterPause;
    if (rc == 0) rc = MeasureLatency(20, true, &continuous);
    if (rc == 0) rc = MeasureLatency(20, false, &afterPause);
    continuous.Print("section to live output, sound going on (heard on the sink's monitor)");
    afterPause.Print("section to live output, sound starting after a pause");
    std::system((std::string("rm -rf ") + data).c_str());
    return rc;
}
