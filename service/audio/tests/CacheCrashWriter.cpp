// Writes a patterned stream into a cache until it is killed: the other half
// of the crash test. Arguments: the cache folder and a seed. Prints "R" once
// the first index has been saved.
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "platform/com/Bstr.h"
#include "platform/com/ComPtr.h"
#include "platform/core/Text.h"
#include "service/audio/KCache.h"

namespace {

constexpr ULONGLONG kLimit = 6 * CACHE_FILE_MAX_BYTE;

BYTE PatternByte(ULONGLONG position) { return static_cast<BYTE>(position % 251 + 1); }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    plat::ComPtr<KCache> cache(KCache::Create());
    if (!cache) return 3;
    plat::Bstr folder(plat::ToUtf16(argv[1]));
    if (FAILED(cache->SetCacheDir(folder))) return 3;
    cache->Load();
    cache->SetSize(kLimit);
    // Buffer 0 continues level with the cache write position.
    cache->WriteSilenceEx(PLAY_DEVICE_BUFFER, 0);
    ULONGLONG pos = 0;
    cache->GetWritePosEx(PLAY_DEVICE_BUFFER, &pos);

    std::mt19937 rng(static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)));
    std::vector<BYTE> data;
    bool announced = false;
    for (unsigned i = 0;; ++i) {
        const size_t n = 2 * (1 + rng() % 8192);
        data.resize(n);
        for (size_t k = 0; k < n; ++k) data[k] = PatternByte(pos + k);
        if (FAILED(cache->WriteEx(PLAY_DEVICE_BUFFER, static_cast<ULONG>(n), data.data()))) return 4;
        pos += n;
        if (i % 64 == 63) {
            cache->Save();
            if (!announced) {
                announced = write(1, "R", 1) == 1;
            }
        }
        if (rng() % 1500 == 0) {
            // Clears fall at random moments too; the stream starts again at 0.
            cache->Clear(rng() % 2 ? TRUE : FALSE);
            pos = 0;
        }
    }
}
