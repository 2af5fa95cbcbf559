// Figures of the whole engine at real time, run by hand inside the private
// sound environment:
//   bash scripts/testenv <build>/service/controller/controller_bench [seconds]
//
// 1. CPU: the driver stand-in feeds a tone at real time; the engine records
//    it with live pass-through to the output. The process's CPU time over the
//    stretch, as a share of one core.
// 2. Latency: an in-process driver writes 10 ms records of silence at real
//    time into the section and, now and then, a burst of tone; a recorder on
//    the output sink's monitor (20 ms of its own latency at most) notes when
//    the burst is heard. The figure is the time from publishing the burst in
//    the section to hearing it, so it includes the recorder's own latency.
#include <stdio.h>
#include <stdlib.h>
#include <dirent.h>
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

// CPU seconds of each thread of the process, by thread name.
std::vector<std::pair<std::string, double>> ThreadCpu() {
    std::vector<std::pair<std::string, double>> threads;
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    DIR* dir = opendir("/proc/self/task");
    if (!dir) return threads;
    while (dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.') continue;
        std::string base = std::string("/proc/self/task/") + e->d_name;
        std::string name, stat;
        if (FILE* f = fopen((base + "/comm").c_str(), "r")) {
            char buf[64] = {};
            if (fgets(buf, sizeof buf, f)) name = buf;
            fclose(f);
        }
        if (FILE* f = fopen((base + "/stat").c_str(), "r")) {
            char buf[1024] = {};
            if (fgets(buf, sizeof buf, f)) stat = buf;
            fclose(f);
        }
        if (!name.empty() && name.back() == '\n') name.pop_back();
        // utime and stime are the 14th and 15th fields, after the name in parentheses.
        size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        unsigned long utime = 0, stime = 0;
        if (sscanf(stat.c_str() + close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) == 2)
            threads.emplace_back(name, static_cast<double>(utime + stime) / tick);
    }
    closedir(dir);
    return threads;
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

    auto threads0 = ThreadCpu();
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    ULONG rec0 = 0;
    engine->GetRecordPosition(&rec0);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = CpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    ULONG rec1 = 0;
    engine->GetRecordPosition(&rec1);

    printf("engine CPU while recording with live pass-through: %.2f %% of one core "
           "(%.3f s CPU over %.1f s; %.1f s of audio recorded)\n",
           100.0 * cpu / wall, cpu, wall, (rec1 - rec0) / 1000.0);
    // Where the time goes, by thread (the names group the threads).
    std::vector<std::pair<std::string, double>> byName;
    for (const auto& [name, cpuSeconds] : ThreadCpu()) {
        auto it = std::find_if(byName.begin(), byName.end(), [&](const auto& p) { return p.first == name; });
        if (it == byName.end()) byName.emplace_back(name, cpuSeconds);
        else it->second += cpuSeconds;
    }
    for (const auto& t : threads0) {
        auto it = std::find_if(byName.begin(), byName.end(), [&](const auto& p) { return p.first == t.first; });
        if (it != byName.end()) it->second -= t.second;
    }
    std::sort(byName.begin(), byName.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    for (const auto& [name, cpuSeconds] : byName)
        if (cpuSeconds > 0.0) printf("  %-16s %.2f %%\n", name.c_str(), 100.0 * cpuSeconds / wall);
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
