// Fills the cache of this user's data folder (TONQUIL_DATA_DIR) with a given
// amount of recorded audio and saves its index, so that the next daemon start
// loads it: for measuring the start with a full cache.
//   <build>/service/controller/cache_fill_bench MB
// The cache goes where the settings (their defaults when none are stored)
// name it; the daemon grows its size setting to hold what it loads.
#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <vector>

#include "platform/com/Bstr.h"
#include "platform/com/ComPtr.h"
#include "service/audio/KCache.h"
#include "service/controller/KAudioController.h"
#include "service/foundation/KSettings.h"

int main(int argc, char** argv) {
    const unsigned long megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 0;
    if (megabytes == 0) {
        fprintf(stderr, "usage: cache_fill_bench MB (into the cache that TONQUIL_DATA_DIR's settings name)\n");
        return 2;
    }
    plat::ComPtr<ISettings> settings(CreateSettingsObject());
    plat::Bstr folder;
    if (!settings || (settings->LoadSettings(), false) || FAILED(settings->GetCacheDir(folder.Out()))) {
        fprintf(stderr, "the settings could not be read\n");
        return 1;
    }
    const ULONGLONG bytes = static_cast<ULONGLONG>(megabytes) << 20;
    plat::ComPtr<KCache> cache(KCache::Create());
    if (!cache || FAILED(cache->SetCacheDir(folder)) || FAILED(cache->SetSize(bytes + 60 * KAudioController::kByteRate)) ||
        (cache->Load(), false)) {
        fprintf(stderr, "the cache could not be set up\n");
        return 1;
    }
    // A quiet square wave, one second per write.
    std::vector<BYTE> second(KAudioController::kByteRate, 0);
    for (size_t i = 0; i + 1 < second.size(); i += 2) second[i + 1] = (i / 400) % 2 ? 0x10 : 0xF0;
    const auto began = std::chrono::steady_clock::now();
    for (ULONGLONG done = 0; done < bytes; done += second.size()) {
        if (FAILED(cache->WriteEx(PLAY_DEVICE_BUFFER, static_cast<ULONG>(second.size()), second.data()))) {
            fprintf(stderr, "the cache could not be written\n");
            return 1;
        }
    }
    if (FAILED(cache->Flush()) || FAILED(cache->Save())) {
        fprintf(stderr, "the cache could not be saved\n");
        return 1;
    }
    ULONGLONG held = 0;
    cache->GetTimeFullness(&held);
    printf("cache filled with %lu MB (%.1f min of audio) in %.1f s\n", megabytes,
           static_cast<double>(held) / KAudioController::kByteRate / 60.0,
           std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count());
    return 0;
}
