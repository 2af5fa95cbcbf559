#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "service/audio/tests/CacheTestSupport.h"

extern char** environ;

namespace {

using cachetest::Pattern;
using cachetest::TempDir;

constexpr ULONGLONG MiB = CACHE_FILE_MAX_BYTE;

plat::ComPtr<KCache> OpenCache(const TempDir& dir, HRESULT* loaded = nullptr) {
    plat::ComPtr<KCache> cache(KCache::Create());
    EXPECT_TRUE(cache);
    if (!cache) return cache;
    plat::Bstr folder(dir.Path());
    EXPECT_EQ(cache->SetCacheDir(folder), S_OK);
    HRESULT hr = cache->Load();
    if (loaded) *loaded = hr;
    return cache;
}

struct Snapshot {
    ULONGLONG start = 0, write = 0;
    ULONGLONG writes[3] = {}, reads[3] = {};
    std::vector<BYTE> audio;
};

Snapshot Take(KCache& cache) {
    Snapshot s;
    EXPECT_EQ(cache.GetStartReadPos(&s.start), S_OK);
    EXPECT_EQ(cache.GetWritePos(&s.write), S_OK);
    for (UINT i = 0; i < 3; ++i) {
        cache.GetWritePosEx(i, &s.writes[i]);
        cache.GetReadPosEx(i, &s.reads[i]);
    }
    s.audio.resize(static_cast<size_t>(s.write - s.start));
    for (ULONGLONG p = s.start; p < s.write; p += 65536) {
        const DWORD n = static_cast<DWORD>(std::min<ULONGLONG>(65536, s.write - p));
        EXPECT_EQ(cache.ReadFixedPos(p, n, s.audio.data() + (p - s.start)), S_OK);
    }
    return s;
}

TEST(CacheRestart, ACacheComesBackWithItsPositionsAndAudio) {
    TempDir dir;
    Snapshot before;
    {
        auto cache = OpenCache(dir);
        ASSERT_EQ(cache->SetSize(4 * MiB), S_OK);
        for (ULONGLONG p = 0; p < 5 * MiB; p += 100000) {
            auto data = Pattern(p, 100000);
            ASSERT_EQ(cache->WriteEx(0, 100000, data.data()), S_OK);
        }
        ASSERT_EQ(cache->Flush(), S_OK);
        ASSERT_EQ(cache->WriteSilenceEx(SILENCE_BUFFER, 200000), S_OK);
        auto voice = cachetest::Samples(std::vector<SHORT>(50000, -1200));
        ASSERT_EQ(cache->WriteEx(RECORD_DEVICE_BUFFER, static_cast<ULONG>(voice.size()), voice.data()), S_OK);
        ASSERT_EQ(cache->Flush(), S_OK);
        ASSERT_EQ(cache->SynchronizeReadPos(48000, posStart), S_OK);
        before = Take(*cache);
        ASSERT_GT(before.start, 0u);
        ASSERT_EQ(cache->Save(), S_OK);
    }
    HRESULT loaded = E_FAIL;
    auto cache = OpenCache(dir, &loaded);
    ASSERT_EQ(loaded, S_OK);
    Snapshot after = Take(*cache);
    EXPECT_EQ(after.start, before.start);
    EXPECT_EQ(after.write, before.write);
    for (UINT i = 0; i < 3; ++i) {
        EXPECT_EQ(after.writes[i], before.writes[i]) << i;
        EXPECT_EQ(after.reads[i], before.reads[i]) << i;
    }
    EXPECT_TRUE(after.audio == before.audio);
}

// Records touch, the write position ends the chain, the read position lies in
// it, data files are numbered on from the first and are on disk.
void ExpectConsistent(const KCacheImpl& chain) {
    auto recs = chain.GetRecords();
    DWORD number = chain.GetFileIDFirst();
    for (size_t i = 0; i < recs.size(); ++i) {
        if (i > 0) {
            EXPECT_EQ(recs[i].llStart, recs[i - 1].llStart + recs[i - 1].llSize);
        }
        if (recs[i].bVirtual) continue;
        EXPECT_LE(recs[i].llSize, MiB);
        EXPECT_EQ(recs[i].strName.substr(recs[i].strName.size() - 10),
                  plat::WFormat(u"%.6d.cah", static_cast<int>(number)));
        if (!recs[i].bMissing) {
            uint64_t size = 0;
            EXPECT_TRUE(plat::GetFileSize(chain.GetDataDir() + recs[i].strName, &size));
            EXPECT_GE(size, recs[i].llSize);
        }
        number = number >= KCacheImpl::kMaxFileID ? 1 : number + 1;
    }
    if (!recs.empty()) {
        EXPECT_EQ(chain.GetWritePosition(), recs.back().llStart + recs.back().llSize);
        EXPECT_GE(chain.GetReadPosition(), recs.front().llStart);
        EXPECT_LE(chain.GetReadPosition(), chain.GetWritePosition());
    }
}

TEST(CacheCrash, AKilledWriterLeavesAConsistentCacheOfAudioOrSilence) {
    TempDir dir;
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 rng(seed);
    const std::string folder = plat::ToUtf8(dir.Path());
    for (int round = 0; round < 3; ++round) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const std::string childSeed = std::to_string(rng());
        std::vector<char*> argv = {const_cast<char*>(CACHE_CRASH_WRITER), const_cast<char*>(folder.c_str()),
                                   const_cast<char*>(childSeed.c_str()), nullptr};
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, CACHE_CRASH_WRITER, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        pollfd p{fds[0], POLLIN, 0};
        char ready = 0;
        const bool started = ::poll(&p, 1, 60000) == 1 && ::read(fds[0], &ready, 1) == 1 && ready == 'R';
        ::close(fds[0]);
        if (started) ::usleep(10000 + rng() % 300000);
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(started) << "the writer did not start (round " << round << ")";
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself: " << status;

        auto cache = OpenCache(dir);
        ASSERT_TRUE(cache);
        for (UINT i = 0; i < 3; ++i) ExpectConsistent(cache->GetBufferChain(i));
        ULONGLONG start = 0, write = 0;
        ASSERT_EQ(cache->GetStartReadPos(&start), S_OK);
        ASSERT_EQ(cache->GetWritePos(&write), S_OK);
        std::vector<BYTE> block(65536);
        size_t garbage = 0, audio = 0;
        for (ULONGLONG pos = start; pos < write; pos += block.size()) {
            const DWORD n = static_cast<DWORD>(std::min<ULONGLONG>(block.size(), write - pos));
            ASSERT_EQ(cache->ReadFixedPos(pos, n, block.data()), S_OK) << pos;
            for (DWORD k = 0; k < n; ++k) {
                if (block[k] == cachetest::PatternByte(pos + k)) {
                    ++audio;
                } else if (block[k] != 0) {
                    ++garbage;
                }
            }
        }
        EXPECT_EQ(garbage, 0u) << "round " << round;
        RecordProperty("audio_bytes_round_" + std::to_string(round), static_cast<int>(audio));
    }
}

}  // namespace
