// Measures a player on the PulseAudio backend (run it inside scripts/testenv):
//   latency  from PlayData to the sink's monitor: a click every 500 ms in a
//            real-time feed of 10 ms pieces, found again in what a capturer
//            records from "Monitor of Speakers"; the median and the worst.
//            The player holds a chunk (125 ms) queued before it starts, so
//            the same is measured for the sound layer alone: a click written
//            at a playing ring's write cursor.
//   cpu      the process's CPU time while one player plays at real time,
//            next to the cost of a bare 10 ms timer on the same machine.
// Usage: audio_player_bench [seconds]   (default 60)
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/core/Clock.h"
#include "platform/sound/PulseConnection.h"
#include "platform/sound/PulseSoundSystem.h"
#include "service/audio/KAudioCapturer.h"
#include "service/audio/KAudioPlayer.h"

namespace {

using Steady = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr OWAVEFORMATEX kEngine{1, 2, 48000, 192000, 4, 16, 0};
constexpr double kBytesPerMs = 192.0;

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

HRESULT OpenPlayer(KAudioPlayer* player, const char16_t* device) {
    // Skip the prescribed pause before opening. Static: the player's own thread
    // may still be reading the clock it saw when this function returns.
    static plat::ManualClock quick;
    plat::SetClock(&quick);
    plat::Bstr name(device);
    HRESULT hr = player->Initialize(kEngine, name);
    plat::SetClock(nullptr);
    return hr;
}

// Feeds 10 ms pieces at real time for the given time; a click starts every
// 500 ms. Returns the send times of the clicks.
std::vector<Steady::time_point> Feed(KAudioPlayer* player, int seconds) {
    std::vector<Steady::time_point> clicks;
    std::vector<BYTE> silence(1920, 0), click(1920, 0);
    auto* s = reinterpret_cast<int16_t*>(click.data());
    for (int i = 0; i < 48; ++i) s[2 * i] = s[2 * i + 1] = 30000;
    auto next = Steady::now();
    for (int p = 0; p < seconds * 100; ++p) {
        bool isClick = p % 50 == 25;
        if (isClick) clicks.push_back(Steady::now());
        std::vector<BYTE>& piece = isClick ? click : silence;
        player->PlayData(static_cast<ULONG>(piece.size()), piece.data());
        next += 10ms;
        std::this_thread::sleep_until(next);
    }
    return clicks;
}

// A bare thread that wakes every 10 ms: what a wake-up costs on this machine.
double BareTimerCpuPercent(int seconds) {
    double cpu0 = CpuSeconds();
    auto t0 = Steady::now();
    auto next = t0;
    while (Steady::now() - t0 < std::chrono::seconds(seconds)) {
        next += 10ms;
        std::this_thread::sleep_until(next);
    }
    return 100.0 * (CpuSeconds() - cpu0) / seconds;
}

// Clicks written straight at a playing ring's write cursor.
std::vector<Steady::time_point> ClickAtWriteCursor(int seconds) {
    std::vector<Steady::time_point> clicks;
    auto system = plat::GetSoundSystem();
    auto* pulse = static_cast<plat::PulseSoundSystem*>(system.get());
    std::vector<plat::PulseSoundSystem::DeviceInfo> list;
    pulse->List(false, &list);
    GUID speakers = GUID_NULL;
    for (const auto& d : list)
        if (d.name == "speakers") speakers = d.guid;
    std::shared_ptr<plat::SoundPlaybackDevice> device;
    std::shared_ptr<plat::SoundPlaybackBuffer> ring;
    const plat::WaveFormat format{1, 2, 48000, 192000, 4, 16, 0};
    if (FAILED(pulse->CreatePlaybackDevice(&speakers, &device)) || FAILED(device->CreateSoundBuffer(format, 384000, &ring)))
        return clicks;
    ring->Play(plat::DSBPLAY_LOOPING);
    std::this_thread::sleep_for(200ms);
    auto put = [&](DWORD at, int16_t level) {
        void* p1;
        void* p2;
        DWORD n1, n2;
        if (FAILED(ring->Lock(at, 192, &p1, &n1, &p2, &n2))) return;
        auto fill = [level](void* p, DWORD n) {
            auto* s = static_cast<int16_t*>(p);
            for (DWORD i = 0; i < n / 2; ++i) s[i] = level;
        };
        fill(p1, n1);
        if (p2) fill(p2, n2);
        ring->Unlock(p1, n1, p2, n2);
    };
    for (int i = 0; i < seconds * 2; ++i) {
        DWORD play = 0, write = 0;
        ring->GetCurrentPosition(&play, &write);
        clicks.push_back(Steady::now());
        put(write, 30000);
        std::this_thread::sleep_for(250ms);
        put(write, 0);  // heard once only
        std::this_thread::sleep_for(250ms);
    }
    ring->Stop();
    return clicks;
}

std::vector<double> Match(const std::vector<Steady::time_point>& sent, const std::vector<Steady::time_point>& heard) {
    std::vector<double> latencies;
    size_t h = 0;
    for (const auto& t : sent) {
        while (h < heard.size() && heard[h] < t) ++h;
        if (h == heard.size()) break;
        latencies.push_back(std::chrono::duration<double, std::milli>(heard[h] - t).count());
        ++h;
    }
    std::sort(latencies.begin(), latencies.end());
    return latencies;
}

void Print(const char* what, const std::vector<double>& l, size_t sent) {
    if (l.empty()) {
        std::printf("%s: no click came back\n", what);
        return;
    }
    std::printf("%s: %zu/%zu clicks, median %.1f ms, worst %.1f ms, best %.1f ms\n", what, l.size(), sent,
                l[l.size() / 2], l.back(), l.front());
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 60;
    if (!std::getenv("PULSE_SERVER") || !plat::PulseServerAnswers(2000)) {
        std::fprintf(stderr, "no PulseAudio server answers (run inside scripts/testenv)\n");
        return 2;
    }
    plat::SetSoundSystem(std::make_shared<plat::PulseSoundSystem>());

    // --- latency ---------------------------------------------------------
    plat::ComPtr<IAudioCapturer> capturer(KAudioCapturer::Create());
    plat::Bstr monitor(u"Monitor of Speakers");
    if (FAILED(capturer->Initialize(kEngine, monitor)) || FAILED(capturer->StartCapture())) return 1;
    ULONG size = 0;
    capturer->GetCaptureBufferSize(&size);
    std::vector<BYTE> block(size);
    std::mutex lock;
    std::vector<Steady::time_point> heard;  // arrival of each click's first sample
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> received{0};
    std::thread reader([&] {
        bool inClick = false;
        int quiet = 0;
        while (!stop) {
            ULONG n = 0;
            if (FAILED(capturer->GetData(block.data(), &n)) || n == 0) continue;
            auto now = Steady::now();
            received += n;
            for (ULONG i = 0; i + 3 < n; i += 4) {
                int16_t v;
                std::memcpy(&v, block.data() + i, 2);
                if (!inClick && v > 15000) {
                    inClick = true;
                    quiet = 0;
                    // This sample arrived with the block: later samples of the block came after it.
                    auto after = std::chrono::microseconds(static_cast<int64_t>((n - i) / kBytesPerMs * 1000));
                    std::lock_guard<std::mutex> g(lock);
                    heard.push_back(now - after);
                } else if (inClick && std::abs(static_cast<int>(v)) < 1000 && ++quiet > 4800) {
                    inClick = false;
                }
            }
        }
    });
    while (received == 0) std::this_thread::sleep_for(10ms);  // the monitor is awake

    plat::ComPtr<KAudioPlayer> player(KAudioPlayer::Create());
    if (FAILED(OpenPlayer(player.Get(), u"Speakers"))) return 1;
    player->StartPlay();
    std::vector<Steady::time_point> sent = Feed(player.Get(), seconds);
    std::this_thread::sleep_for(500ms);
    std::vector<Steady::time_point> heardPlayer;
    {
        std::lock_guard<std::mutex> g(lock);
        heardPlayer.swap(heard);
    }
    player->StopPlay();
    std::vector<Steady::time_point> sentLayer = ClickAtWriteCursor(std::max(2, seconds / 2));
    std::this_thread::sleep_for(500ms);
    stop = true;
    capturer->Uninitialize();
    reader.join();
    char title[128];
    std::snprintf(title, sizeof title, "latency PlayData -> monitor over %d s", seconds);
    Print(title, Match(sent, heardPlayer), sent.size());
    Print("latency write cursor -> monitor (sound layer alone)", Match(sentLayer, heard), sentLayer.size());

    // --- cpu: one player alone at real time ------------------------------
    capturer = nullptr;
    const int cpuSeconds = std::min(seconds, 20);
    double cpu0 = CpuSeconds();
    auto t0 = Steady::now();
    Feed(player.Get(), cpuSeconds);
    double cpu = CpuSeconds() - cpu0;
    double wall = std::chrono::duration<double>(Steady::now() - t0).count();
    std::printf("cpu of one playing player (feed included) over %.0f s: %.2f %% of one core\n", wall, 100.0 * cpu / wall);
    std::printf("cpu of a bare 10 ms timer thread on this machine: %.2f %% of one core\n", BareTimerCpuPercent(5));
    player->StopPlay();
    player->Uninitialize();
    return 0;
}
