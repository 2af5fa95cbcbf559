// The other process of the cross-process tests.
//   ipc_test_peer service NAME   exports the test service under NAME, prints
//                                "ready <unique name>", fires the controller's
//                                events on each "fire" line read, and stops
//                                when its input closes or on SIGTERM.
//   ipc_test_peer client NAME    finds the service, takes two encoders, a song
//                                and its tag, prints "holding <unique name>"
//                                and keeps them until its input closes.
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "ipc/client/ClientConnection.h"
#include "ipc/tests/support/TestService.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) { g_stop = 1; }

// One line of standard input, or false at its end (or on a stop signal).
bool ReadLine(std::string* line) {
    line->clear();
    while (!g_stop) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        int ready = ::poll(&p, 1, 100);
        if (ready < 0) continue;
        if (ready == 0) continue;
        char c;
        ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n <= 0) return false;
        if (c == '\n') return true;
        line->push_back(c);
    }
    return false;
}

int RunService(const std::string& name) {
    std::unique_ptr<ipctest::TestService> service;
    HRESULT hr = ipctest::TestService::Start(name, &service);
    if (FAILED(hr)) {
        std::fprintf(stderr, "service start failed: 0x%08X\n", static_cast<unsigned>(hr));
        return 1;
    }
    std::printf("ready %s\n", service->UniqueName().c_str());
    std::fflush(stdout);
    const GUID song{0x0A1B2C3D, 0x4E5F, 0x6071, {0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xF9}};
    std::string line;
    while (ReadLine(&line))
        if (line == "fire") service->controller->FireAllEvents(song);
    service->Shutdown();
    return 0;
}

int RunClient(const std::string& name) {
    std::shared_ptr<ipc::ClientConnection> bus;
    plat::ComPtr<IAudioController> controller;
    if (FAILED(ipc::ClientConnection::Shared(&bus)) ||
        bus->FindController(controller.ReleaseAndGetAddressOf(), name) != S_OK)
        return 1;
    plat::ComPtr<IAudioEncoder> first, second;
    plat::ComPtr<IPlayList> playlist;
    plat::ComPtr<ISong> song;
    plat::ComPtr<ID3> tag;
    if (FAILED(controller->CreateNewEncoder(first.ReleaseAndGetAddressOf(), eMP3)) ||
        FAILED(controller->CreateNewEncoder(second.ReleaseAndGetAddressOf(), eOGG)) ||
        FAILED(controller->QueryInterface(IID_IPlayList, reinterpret_cast<void**>(playlist.GetAddressOf()))) ||
        FAILED(playlist->CreateNewSong(song.ReleaseAndGetAddressOf())) ||
        FAILED(song->GetID3Tag(tag.ReleaseAndGetAddressOf())))
        return 2;
    // The playlist proxy is given back; the rest is held.
    playlist = nullptr;
    std::printf("holding %s\n", bus->UniqueName().c_str());
    std::fflush(stdout);
    std::string line;
    while (ReadLine(&line)) {
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s service|client NAME\n", argv[0]);
        return 2;
    }
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    if (std::strcmp(argv[1], "service") == 0) return RunService(argv[2]);
    if (std::strcmp(argv[1], "client") == 0) return RunClient(argv[2]);
    return 2;
}
