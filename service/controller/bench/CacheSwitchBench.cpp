// How long the engine takes to move its cache to another folder and back,
// per GB of cached audio:
//   <build>/service/controller/cache_switch_bench [MB of audio, default 256] [folder]
//
// The engine runs with its real cache, settings and playlist (players and
// capturer on the virtual sound backend, which the figures do not involve).
// It records the given amount of audio into folder A, then its settings name
// an empty folder B: the switch stops the recording, saves A's index and
// loads B. Then back to A: B, empty, is removed and A's index is loaded
// again. Each figure runs from UpdateSettings to the end of the switch (the
// clients' CacheLoaded).
#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/com/Bstr.h"
#include "platform/com/ComPtr.h"
#include "platform/core/Text.h"
#include "platform/fs/File.h"
#include "platform/sound/VirtualSoundSystem.h"
#include "service/controller/KAudioController.h"
#include "service/foundation/KTimecode.h"

namespace {

using Clock = std::chrono::steady_clock;

bool Switch(KAudioController* controller, ISettings* settings, const std::u16string& folder, double* seconds) {
    settings->SetCacheDir(plat::Bstr(folder));
    const auto start = Clock::now();
    if (FAILED(controller->UpdateSettings())) return false;
    while (controller->IsSwitchingCacheFolder()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    *seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const unsigned long megabytes = argc > 1 ? std::max(1ul, std::strtoul(argv[1], nullptr, 10)) : 256;
    std::string root = argc > 2 ? argv[2] : "/tmp";
    std::string tmpl = root + "/tq-switch-bench-XXXXXX";
    if (!::mkdtemp(tmpl.data())) {
        perror("mkdtemp");
        return 1;
    }
    const std::u16string base = plat::ToUtf16(tmpl);
    ::setenv("TONQUIL_DATA_DIR", tmpl.c_str(), 1);
    KTimecode::SetRateMode(KTimecode::kHundredthsMode);
    auto sys = plat::VirtualSoundSystem::Create();
    sys->AddPlaybackDevice(u"Speakers");
    sys->AddCaptureDevice(u"Microphone");
    plat::SetSoundSystem(sys);

    KAudioController* raw = nullptr;
    if (FAILED(KAudioController::Create(KControllerComponents::Engine(), &raw))) {
        fprintf(stderr, "the engine did not start\n");
        return 1;
    }
    plat::ComPtr<KAudioController> controller(raw);
    plat::ComPtr<ISettings> settings;
    controller->QueryInterface(IID_ISettings, reinterpret_cast<void**>(settings.GetAddressOf()));
    const std::u16string folderA = base + u"/a/";
    const std::u16string folderB = base + u"/b/";
    double seconds = 0;
    const ULONGLONG bytes = static_cast<ULONGLONG>(megabytes) << 20;
    // Room for all of it (and the cache's three spare files).
    settings->SetCacheSize(static_cast<ULONG>(bytes / KAudioController::kByteRate * 1000 + 60000));
    if (!Switch(controller.Get(), settings.Get(), folderA, &seconds)) return 1;

    // Recording while paused: the audio goes into the cache only.
    controller->Record();
    controller->Pause();
    std::vector<BYTE> block(192000, 0);
    for (size_t i = 0; i < block.size(); i += 2) block[i + 1] = static_cast<BYTE>(i * 7);
    const auto fillStart = Clock::now();
    for (ULONGLONG done = 0; done < bytes; done += block.size())
        controller->OnAudioData(static_cast<DWORD>(block.size()), block.data());
    const double fillSeconds = std::chrono::duration<double>(Clock::now() - fillStart).count();

    double away = 0, back = 0;
    if (!Switch(controller.Get(), settings.Get(), folderB, &away)) return 1;
    if (!Switch(controller.Get(), settings.Get(), folderA, &back)) return 1;
    ULONG heldMs = 0;
    controller->GetTimeFullness(&heldMs);
    controller->Destroy();
    controller.Reset();
    settings.Reset();
    plat::SetSoundSystem(nullptr);

    const double gb = static_cast<double>(bytes) / (1024.0 * 1024.0 * 1024.0);
    printf("cached %lu MB (%.1f min of audio) in %.2f s\n", megabytes, heldMs / 60000.0, fillSeconds);
    printf("switch to an empty folder (old cache kept):     %.3f s, %.3f s per GB\n", away, away / gb);
    printf("switch back (empty folder removed, cache loaded): %.3f s, %.3f s per GB\n", back, back / gb);
    plat::DeleteFolderRecursive(base);
    return heldMs > 0 ? 0 : 1;
}
