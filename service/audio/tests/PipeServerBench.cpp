// Throughput of the driver link (fake driver -> KPipeServer -> listener), its
// reader's processor use at real time, and the song detector's speed.
// Run by hand: audio_link_bench
#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/driver/tests/TempRuntimeDir.h"
#include "service/audio/KSongDetector.h"
#include "service/audio/PipeServer.h"
#include "service/audio/tests/FakeDriver.h"
#include "service/audio/tests/TestListener.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kEngineBytesPerSecond = 192000.0;

// Counts what arrives without keeping it.
class CountingListener : public plat::ComObject<CountingListener, IQXListener> {
public:
    HRESULT OnSongFound(DWORD, DWORD) override { return S_OK; }
    HRESULT OnAudioData(DWORD bytes, BYTE*) override {
        records.fetch_add(1, std::memory_order_relaxed);
        total.fetch_add(bytes, std::memory_order_relaxed);
        return S_OK;
    }
    HRESULT OnInterrupt() override { return S_OK; }
    std::atomic<uint64_t> records{0};
    std::atomic<uint64_t> total{0};
};

// Processor seconds of the threads of this process with the given name.
double ThreadCpuSeconds(const char* name) {
    double total = 0;
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks) return 0;
    while (dirent* e = readdir(tasks)) {
        if (e->d_name[0] == '.') continue;
        std::string base = std::string("/proc/self/task/") + e->d_name;
        std::ifstream comm(base + "/comm");
        std::string threadName;
        std::getline(comm, threadName);
        if (threadName != name) continue;
        std::ifstream stat(base + "/stat");
        std::string line;
        std::getline(stat, line);
        std::istringstream fields(line.substr(line.rfind(')') + 2));
        std::string field;
        unsigned long long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14) utime = std::stoull(field);
            if (i == 15) stime = std::stoull(field);
        }
        total += static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
    closedir(tasks);
    return total;
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void LinkThroughput(const OWAVEFORMATEX& format, DWORD recordBytes, uint64_t records, const char* label) {
    TempRuntimeDir dir;
    FakeDriver driver;
    plat::ComPtr<CountingListener> listener(CountingListener::CreateInstance());
    KPipeServer link(listener.Get());
    if (link.StartStop() != S_OK || !driver.WaitLinkOpen()) {
        std::printf("link did not start\n");
        return;
    }
    std::vector<BYTE> payload(recordBytes, 0x11);
    while (!driver.TryWrite(plat::drv::TAG_WFMT, reinterpret_cast<const BYTE*>(&format), sizeof(format))) {
    }
    auto start = Clock::now();
    for (uint64_t i = 0; i < records; ++i)
        while (!driver.TryWrite(plat::drv::TAG_WAVE, payload.data(), recordBytes)) std::this_thread::yield();
    while (listener->records.load() < records) std::this_thread::yield();
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    link.StartStop();
    double mb = static_cast<double>(listener->total.load()) / 1e6;
    double audioSeconds = static_cast<double>(records) * recordBytes / format.nAvgBytesPerSec;
    std::printf("link %-34s %9.0f records/s %8.1f MB/s delivered  %7.0fx real time\n", label,
                static_cast<double>(records) / seconds, mb / seconds, audioSeconds / seconds);
}

void LinkAtRealTime() {
    TempRuntimeDir dir;
    FakeDriver driver;
    plat::ComPtr<CountingListener> listener(CountingListener::CreateInstance());
    KPipeServer link(listener.Get());
    if (link.StartStop() != S_OK || !driver.WaitLinkOpen()) return;
    const OWAVEFORMATEX engine{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
    driver.WriteWhenRoom(plat::drv::TAG_WFMT, reinterpret_cast<const BYTE*>(&engine), sizeof(engine));
    std::vector<BYTE> payload(1920, 0x22);
    double cpu0 = CpuSeconds();
    double reader0 = ThreadCpuSeconds("tq-driver-link");
    auto start = Clock::now();
    auto next = start;
    for (int i = 0; i < 1000; ++i) {  // 10 s of sound, one record each 10 ms
        next += std::chrono::milliseconds(10);
        std::this_thread::sleep_until(next);
        driver.WriteWhenRoom(plat::drv::TAG_WAVE, payload.data(), 1920);
    }
    double wall = std::chrono::duration<double>(Clock::now() - start).count();
    double cpu = CpuSeconds() - cpu0;
    double reader = ThreadCpuSeconds("tq-driver-link") - reader0;
    link.StartStop();
    std::printf("link at real time: %llu records in %.1f s; reader thread %.2f %% of a core (whole process %.2f %%)\n",
                static_cast<unsigned long long>(listener->records.load()), wall, 100.0 * reader / wall,
                100.0 * cpu / wall);
}

void DetectorSpeed() {
    KTimecode::SetRateMode(KTimecode::kHundredthsMode);
    SoundProcessing::KSongDetector detector;
    detector.SetWindow(300);
    plat::ComPtr<TestListener> listener = TestListener::Create();
    detector.SetListener(listener.Get());
    std::vector<short> music(25600), silence(25600, 0);
    for (size_t i = 0; i < music.size(); ++i) music[i] = static_cast<short>((i / 40) % 2 ? 9000 : -9000);
    const uint64_t blocks = 60ull * 60 * 192000 / 51200;  // one hour
    LONGLONG position = 0;
    auto start = Clock::now();
    for (uint64_t b = 0; b < blocks; ++b, position += 51200) {
        // Three minutes of music, then three seconds of silence, over and over.
        bool quiet = (b % (183 * 192000 / 51200)) >= 180 * 192000 / 51200;
        detector.AnalizeBlock(quiet ? silence.data() : music.data(), 51200, position);
    }
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("song detector: one hour in %.3f s, %.0fx real time, %zu songs\n", seconds, 3600.0 / seconds,
                listener->Songs().size());
}

}  // namespace

int main() {
    const OWAVEFORMATEX engine{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
    const OWAVEFORMATEX cd{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    LinkThroughput(engine, 1920, 200000, "(10 ms engine records, unconverted)");
    LinkThroughput(engine, 65536, 10000, "(64 KiB engine records, unconverted)");
    LinkThroughput(cd, 1764, 100000, "(10 ms 44100 Hz records, converted)");
    LinkAtRealTime();
    DetectorSpeed();
    return 0;
}
