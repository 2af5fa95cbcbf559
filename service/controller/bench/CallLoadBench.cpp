// Clients that call the running daemon as fast as they can: each has a
// connection of its own and keeps a number of polls in flight, over a mix of
// the contract's calls (state and position polls, settings, the playlist
// handed out and released, songs and tags, encoders made and released).
//   <build>/service/controller/call_load_bench SECONDS [CLIENTS] [IN_FLIGHT]
// The playlist is first filled to a few hundred songs (they stay in it).
// Prints the calls answered per second. Used by qxservice_bench.sh --load,
// which watches the daemon's memory meanwhile.
#include <stdio.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>

#include "ipc/QXServiceLib.h"
#include "ipc/common/Names.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kControllerItf = "QXServiceLib.IAudioController";
constexpr const char* kSettingsItf = "QXServiceLib.ISettings";
constexpr const char* kPlayListItf = "QXServiceLib.IPlayList";
constexpr const char* kSongItf = "QXServiceLib.ISong";
constexpr const char* kTagItf = "QXServiceLib.ID3";
constexpr const char* kEncoderItf = "QXServiceLib.IAudioEncoder";

std::atomic<uint64_t> g_answered{0};
std::atomic<uint64_t> g_failed{0};

// Up to a number of calls in flight on one connection.
class InFlight {
public:
    explicit InFlight(int limit) : m_free(limit) {}
    void Take() {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [&] { return m_free > 0; });
        --m_free;
    }
    void Give() {
        {
            std::lock_guard lock(m_mutex);
            ++m_free;
        }
        m_wake.notify_one();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    int m_free;
};

class LoadClient {
public:
    LoadClient(int inFlight) : m_bus(sdbus::createSessionBusConnection()), m_slots(inFlight), m_limit(inFlight) {
        m_bus->enterEventLoopAsync();
        m_controller = Proxy(ipc::kControllerPath);
        m_settings = Proxy(ipc::kSettingsPath);
        m_playlist = Proxy(ipc::kPlayListPath);
    }
    ~LoadClient() {
        // Every call answered before the connection goes.
        for (int i = 0; i < m_limit; ++i) m_slots.Take();
        m_bus->leaveEventLoop();
    }

    void Run(Clock::time_point end) {
        for (unsigned round = 0; Clock::now() < end; ++round) {
            Poll(*m_controller, kControllerItf, "GetCurrentState");
            Poll(*m_controller, kControllerItf, "GetPlayPosition");
            Poll(*m_controller, kControllerItf, "GetTimeFullness");
            Poll(*m_controller, kControllerItf, "GetAvailableCommands");
            Poll(*m_settings, kSettingsItf, "GetCacheDir");
            Poll(*m_playlist, kPlayListItf, "Count");
            // Commands and the error list take the engine's locks: calls
            // wait for each other there, and the pool grows.
            Poll(*m_controller, kControllerItf, "Pause");
            Poll(*m_controller, kControllerItf, "Live");
            Poll(*m_controller, kControllerItf, "GetErrors");
            if (round % 4 == 0) Playlist();
            if (round % 8 == 0) Encoder();
        }
    }

private:
    std::unique_ptr<sdbus::IProxy> Proxy(const std::string& path) {
        return sdbus::createProxy(*m_bus, ipc::kServiceName, path);
    }

    // One call in flight; its answer is only counted.
    void Poll(sdbus::IProxy& proxy, const char* itf, const char* method) {
        m_slots.Take();
        try {
            // The answer's arguments are not read.
            proxy.callMethodAsync(method).onInterface(itf).uponReplyInvoke([this](const sdbus::Error* error) {
                (error ? g_failed : g_answered)++;
                m_slots.Give();
            });
        } catch (const sdbus::Error&) {
            ++g_failed;
            m_slots.Give();
        }
    }

    // A call answered here (on a proxy that goes right after it).
    template <class... Out>
    void Call(sdbus::IProxy& proxy, const char* itf, const char* method, Out&... out) {
        int32_t hr = E_FAIL;
        try {
            proxy.callMethod(method).onInterface(itf).storeResultsTo(hr, out...);
            ++g_answered;
        } catch (const sdbus::Error&) {
            ++g_failed;
        }
    }

    // A call answered here, with the object it hands out.
    std::string Object(sdbus::IProxy& proxy, const char* itf, const char* method) {
        int32_t hr = E_FAIL;
        sdbus::ObjectPath path;
        try {
            proxy.callMethod(method).onInterface(itf).storeResultsTo(hr, path);
        } catch (const sdbus::Error&) {
            ++g_failed;
            return std::string();
        }
        ++g_answered;
        return hr == S_OK ? std::string(path) : std::string();
    }

    void Release(const std::string& path) {
        try {
            Proxy(path)->callMethod("Release").onInterface(ipc::kLifetimeInterface).dontExpectReply();
        } catch (const sdbus::Error&) {
            ++g_failed;
        }
    }

    // The whole playlist handed out; a call on each song and its tag; all released.
    void Playlist() {
        int32_t hr = E_FAIL;
        std::vector<sdbus::ObjectPath> songs;
        try {
            m_playlist->callMethod("GetPlaylist").onInterface(kPlayListItf).storeResultsTo(hr, songs);
        } catch (const sdbus::Error&) {
            ++g_failed;
            return;
        }
        ++g_answered;
        for (const auto& path : songs) {
            auto song = Proxy(path);
            uint32_t length = 0;
            Call(*song, kSongItf, "GetLength", length);
            std::string tag = Object(*song, kSongItf, "GetID3Tag");
            if (!tag.empty()) {
                std::string title;
                Call(*Proxy(tag), kTagItf, "GetTitle", title);
                Release(tag);
            }
            Release(path);
        }
    }

    void Encoder() {
        int32_t hr = E_FAIL;
        sdbus::ObjectPath path;
        try {
            m_controller->callMethod("CreateNewEncoder").onInterface(kControllerItf).withArguments(uint32_t(eMP3)).storeResultsTo(hr, path);
        } catch (const sdbus::Error&) {
            ++g_failed;
            return;
        }
        ++g_answered;
        if (hr != S_OK) return;
        try {
            Proxy(path)->callMethod("SetConstantBitrate").onInterface(kEncoderItf).withArguments(uint32_t(192)).storeResultsTo(hr);
            ++g_answered;
        } catch (const sdbus::Error&) {
            ++g_failed;
        }
        Release(path);
    }

    std::unique_ptr<sdbus::IConnection> m_bus;
    InFlight m_slots;
    const int m_limit;
    std::unique_ptr<sdbus::IProxy> m_controller, m_settings, m_playlist;
};

// Songs in the playlist that the clients' GetPlaylist hands out.
constexpr uint32_t kSongs = 300;

// Fills the playlist up to kSongs (the songs stay in it; this client's
// references go with it).
bool FillPlaylist() {
    try {
        auto bus = sdbus::createSessionBusConnection();
        auto playlist = sdbus::createProxy(*bus, ipc::kServiceName, ipc::kPlayListPath);
        int32_t hr = E_FAIL;
        uint32_t count = 0;
        playlist->callMethod("Count").onInterface(kPlayListItf).storeResultsTo(hr, count);
        for (; hr == S_OK && count < kSongs; ++count) {
            sdbus::ObjectPath song;
            playlist->callMethod("CreateNewSong").onInterface(kPlayListItf).storeResultsTo(hr, song);
        }
        return hr == S_OK;
    } catch (const sdbus::Error& e) {
        fprintf(stderr, "the playlist could not be filled: %s\n", e.getMessage().c_str());
        return false;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? atoi(argv[1]) : 0;
    const int clients = argc > 2 ? atoi(argv[2]) : 8;
    const int inFlight = argc > 3 ? atoi(argv[3]) : 16;
    if (seconds <= 0 || clients <= 0 || inFlight <= 0) {
        fprintf(stderr, "usage: call_load_bench SECONDS [CLIENTS=8] [IN_FLIGHT=16]\n");
        return 2;
    }
    if (!FillPlaylist()) return 1;
    const auto began = Clock::now();
    const auto end = began + std::chrono::seconds(seconds);
    std::vector<std::thread> threads;
    std::atomic<int> broken{0};
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back([&] {
            try {
                LoadClient client(inFlight);
                client.Run(end);
            } catch (const sdbus::Error& e) {
                fprintf(stderr, "a client failed: %s\n", e.getMessage().c_str());
                ++broken;
            }
        });
    }
    for (auto& t : threads) t.join();
    const double took = std::chrono::duration<double>(Clock::now() - began).count();
    printf("%d clients, %d calls in flight each, %.1f s: %llu calls answered (%.0f a second), %llu failed\n", clients,
           inFlight, took, static_cast<unsigned long long>(g_answered.load()), g_answered.load() / took,
           static_cast<unsigned long long>(g_failed.load()));
    return broken ? 1 : 0;
}
