// Throughput of the cache: writing through WriteEx and the writer threads,
// and mixed reads of 64 KiB blocks. Run in an optimised build:
//   cache_bench --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/com/Bstr.h"
#include "platform/com/ComPtr.h"
#include "platform/core/Text.h"
#include "platform/fs/File.h"
#include "service/audio/KCache.h"

namespace {

constexpr double kBytesPerSecond = 192000.0;
constexpr ULONGLONG MiB = CACHE_FILE_MAX_BYTE;

double ProcessCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

class Folder {
public:
    Folder() {
        std::string tmpl = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/cache-bench-XXXXXX";
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        m_path = plat::ToUtf16(std::string(::mkdtemp(buf.data()))) + u"/";
        ::setenv("TONQUIL_DATA_DIR", plat::ToUtf8(m_path + u"data").c_str(), 1);
    }
    ~Folder() { plat::DeleteFolderRecursive(m_path); }
    const std::u16string& Path() const { return m_path; }

private:
    std::u16string m_path;
};

plat::ComPtr<KCache> MakeCache(const Folder& folder, ULONGLONG limit) {
    plat::ComPtr<KCache> cache(KCache::Create());
    plat::Bstr dir(folder.Path());
    cache->SetCacheDir(dir);
    cache->Load();
    cache->SetSize(limit);
    return cache;
}

// Each iteration hands `chunk` bytes to each of `buffers` buffers, 8 MiB per
// buffer in all, and waits until the writers have put them on disk.
void BM_WriteThroughWriters(benchmark::State& state) {
    const UINT buffers = static_cast<UINT>(state.range(0));
    const ULONG chunk = 19200;  // 100 ms of stream, as the engine hands it over
    const ULONGLONG perBuffer = 8 * MiB;
    Folder folder;
    auto cache = MakeCache(folder, 64 * MiB);  // a full cache: trimming runs too
    std::vector<BYTE> data(chunk, 0x5A);
    double cpu = 0, audioSeconds = 0;
    for (auto _ : state) {
        const double before = ProcessCpuSeconds();
        for (ULONGLONG done = 0; done < perBuffer; done += chunk) {
            for (UINT b = 0; b < buffers; ++b) cache->WriteEx(b, chunk, data.data());
        }
        cache->Flush();
        cpu += ProcessCpuSeconds() - before;
        audioSeconds += static_cast<double>(perBuffer) / kBytesPerSecond;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * perBuffer * buffers));
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(state.iterations() * perBuffer) / kBytesPerSecond, benchmark::Counter::kIsRate);
    // Share of one core that writing at real-time pace costs.
    state.counters["cpu_pct_at_realtime"] = audioSeconds > 0 ? 100.0 * cpu / audioSeconds : 0;
}
BENCHMARK(BM_WriteThroughWriters)->Arg(1)->Arg(3)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void BM_MixedRead(benchmark::State& state) {
    const bool fixed = state.range(0) != 0;
    const ULONGLONG span = 32 * MiB;
    Folder folder;
    auto cache = MakeCache(folder, 256 * MiB);
    std::vector<BYTE> data(65536, 0x21);
    for (ULONGLONG p = 0; p < span; p += data.size()) {
        cache->WriteEx(PLAY_DEVICE_BUFFER, static_cast<ULONG>(data.size()), data.data());
        cache->WriteEx(RECORD_DEVICE_BUFFER, static_cast<ULONG>(data.size()), data.data());
    }
    cache->WriteSilenceEx(SILENCE_BUFFER, 0);
    cache->Flush();
    cache->SetCanLive(FALSE);  // replay never turns live in the middle of the run
    std::vector<BYTE> out(65536);
    ULONGLONG pos = 0;
    const ULONGLONG stop = span - 2 * MiB;
    cache->SynchronizeReadPos(0, posStart);
    for (auto _ : state) {
        HRESULT hr = fixed ? cache->ReadFixedPos(pos, 65536, out.data()) : cache->Read(65536, out.data());
        benchmark::DoNotOptimize(hr);
        pos += 65536;
        if (pos >= stop) {
            pos = 0;
            if (!fixed) cache->SynchronizeReadPos(0, posStart);
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 65536));
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(state.iterations() * 65536) / kBytesPerSecond, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MixedRead)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
