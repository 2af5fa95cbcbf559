#include <gtest/gtest.h>

#include "service/audio/tests/CacheTestSupport.h"

namespace {

using cachetest::Pattern;
using cachetest::SampleAt;
using cachetest::Samples;

constexpr ULONGLONG MiB = CACHE_FILE_MAX_BYTE;

class CacheMix : public cachetest::CacheTest {
protected:
    BYTE Percent() {
        BYTE p = 0;
        EXPECT_EQ(cache->GetPercentFullness(&p), S_OK);
        return p;
    }
    LONG Full() {
        LONG yes = -1;
        EXPECT_EQ(cache->IsFull(&yes), S_OK);
        return yes;
    }
};

TEST_F(CacheMix, SumsTheThreeBuffersAndLimitsTheSum) {
    PutBytes(0, Samples({20000, -20000, 10000, -16384, 32766, -32768, 100}));
    PutBytes(1, Samples({20000, -20000, -3000, -16384, 0, 0, -50}));
    PutBytes(2, Samples({0, 0, 0, 0, 0, 0, 7}));
    Flush();
    auto mixed = Mixed(0, 14);
    const std::vector<SHORT> expected = {32767, -32767, 7000, -32767, 32766, -32767, 57};
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(SampleAt(mixed, i), expected[i]) << i;
}

TEST_F(CacheMix, ByteCountsMustBeEven) {
    Put(0, 0, 200000);
    Flush();
    ASSERT_EQ(cache->SetReadPosEx(0, 0, posStart), S_OK);
    BYTE buf[4] = {9, 9, 9, 9};
    EXPECT_EQ(cache->Read(3, buf), E_INVALIDARG);
    EXPECT_EQ(cache->ReadFixedPos(0, 3, buf), E_INVALIDARG);
    EXPECT_EQ(buf[0], 9);
    EXPECT_EQ(cache->Read(0, buf), S_OK);
    EXPECT_EQ(ReadPos(0), 0u);
}

TEST_F(CacheMix, ReplayNearTheWritePositionGetsSilenceAndTurnsLive) {
    Put(0, 0, 400000);
    Flush();
    ASSERT_EQ(cache->SetReadPosEx(0, 0, posStart), S_OK);
    std::vector<BYTE> out(8192);
    ASSERT_EQ(cache->ReadEx(0, 8192, out.data()), S_OK);
    EXPECT_EQ(out, Pattern(0, 8192));
    EXPECT_EQ(ReadPos(0), 8192u);
    EXPECT_EQ(Live(0), 0);

    ASSERT_EQ(cache->SetReadPosEx(0, -50000, posEnd), S_OK);
    ASSERT_EQ(cache->SetLiveEx(0, FALSE), S_OK);
    ASSERT_EQ(cache->ReadEx(0, 8192, out.data()), S_OK);
    EXPECT_EQ(out, std::vector<BYTE>(8192, 0));
    EXPECT_EQ(ReadPos(0), 350000u);
    EXPECT_EQ(Live(0), 1);
}

TEST_F(CacheMix, ReadMovesEveryBuffer) {
    Put(0, 0, 400000);
    Flush();
    ASSERT_EQ(cache->SynchronizeReadPos(1000, posStart), S_OK);
    std::vector<BYTE> out(65536);
    ASSERT_EQ(cache->Read(65536, out.data()), S_OK);
    EXPECT_EQ(out, Pattern(1000, 65536));
    for (UINT i = 0; i < CACHE_BUFFER_COUNT; ++i) EXPECT_EQ(ReadPos(i), 1000u + 65536u) << i;
}

TEST_F(CacheMix, FullnessRoundsHalfUpAndNeverWraps) {
    ASSERT_EQ(cache->SetSize(1000), S_OK);
    ASSERT_EQ(cache->WriteSilenceEx(SILENCE_BUFFER, 995), S_OK);
    EXPECT_EQ(Percent(), 100);
    EXPECT_EQ(Full(), 1);
    ULONGLONG used = 0;
    ASSERT_EQ(cache->GetTimeFullness(&used), S_OK);
    EXPECT_EQ(used, 995u);

    // Held above its limit by a protected range: full, and never a small number.
    ASSERT_EQ(cache->SetUndeletableRange(0, 994), S_OK);
    ASSERT_EQ(cache->WriteSilenceEx(SILENCE_BUFFER, 5000), S_OK);
    ASSERT_EQ(cache->GetTimeFullness(&used), S_OK);
    EXPECT_EQ(used, 5995u);
    EXPECT_EQ(Percent(), 255);
    EXPECT_EQ(Full(), 1);
}

TEST_F(CacheMix, NinetyNineAndAHalfPercentRoundsDownBelowTheHalf) {
    ASSERT_EQ(cache->SetSize(1000), S_OK);
    ASSERT_EQ(cache->WriteSilenceEx(SILENCE_BUFFER, 994), S_OK);
    EXPECT_EQ(Percent(), 99);
    EXPECT_EQ(Full(), 1);
}

TEST_F(CacheMix, ALimitOfZeroEmptiesTheCacheAndEnds) {
    Put(0, 0, 3 * MiB);
    Flush();
    ASSERT_EQ(cache->SetSize(0), S_OK);
    ULONGLONG used = 1;
    ASSERT_EQ(cache->GetTimeFullness(&used), S_OK);
    EXPECT_EQ(used, 0u);
    EXPECT_EQ(CacheWrite(), 3 * MiB);  // the axis does not run away
    EXPECT_EQ(Percent(), 100);
    EXPECT_EQ(Full(), 1);
    ASSERT_EQ(cache->SetSize(1), S_OK);
    ASSERT_EQ(cache->WriteSilenceEx(SILENCE_BUFFER, 100), S_OK);
    EXPECT_EQ(CacheWrite(), 3 * MiB + 100);
}

TEST_F(CacheMix, SetSizeTrimsWholeFilesFromTheFrontUntilAPortionFits) {
    Put(0, 0, 5 * MiB);
    Flush();
    ASSERT_EQ(cache->SetSize(8 * MiB), S_OK);
    EXPECT_EQ(CacheStart(), 0u);
    ASSERT_EQ(cache->SetSize(3 * MiB), S_OK);
    EXPECT_EQ(CacheStart(), 3 * MiB);
    for (UINT i = 0; i < CACHE_BUFFER_COUNT; ++i) EXPECT_EQ(cache->GetBufferChain(i).GetStartPos(), 3 * MiB);
    EXPECT_FALSE(plat::PathExists(dir.Sub(u"QXCache/CasheFile_0_0_000003.cah")));
    EXPECT_TRUE(plat::IsFile(dir.Sub(u"QXCache/CasheFile_0_0_000004.cah")));
    ULONGLONG bytes = 0;
    ASSERT_EQ(cache->GetByteFullness(&bytes), S_OK);
    EXPECT_EQ(bytes, 2 * MiB);
    EXPECT_EQ(Mixed(3 * MiB, 64), Pattern(3 * MiB, 64));
    // Gone means gone: a read there fails and leaves the destination alone.
    std::vector<BYTE> out(64, 0xEE);
    EXPECT_TRUE(FAILED(cache->ReadFixedPos(MiB, 64, out.data())));
    EXPECT_EQ(out, std::vector<BYTE>(64, 0xEE));
}

TEST_F(CacheMix, AProtectedStretchSurvivesTrimmingInEveryBuffer) {
    Put(0, 0, 6 * MiB);
    Flush();
    ASSERT_EQ(cache->WriteSilenceEx(SILENCE_BUFFER, 0), S_OK);  // a silent buffer, level with the others
    const ULONGLONG from = 2 * MiB + MiB / 2, to = 3 * MiB + MiB / 2;
    ASSERT_EQ(cache->SetUndeletableRange(from, to), S_OK);
    ASSERT_EQ(cache->SetSize(MiB), S_OK);
    EXPECT_EQ(CacheStart(), 2 * MiB);
    // Recording goes on while the song is saved: the cache grows past its
    // limit rather than lose it.
    Put(0, 6 * MiB, 2 * MiB);
    Flush();
    EXPECT_EQ(CacheStart(), 2 * MiB);
    for (UINT i = 0; i < CACHE_BUFFER_COUNT; ++i) EXPECT_LE(cache->GetBufferChain(i).GetStartPos(), from) << i;
    std::vector<BYTE> song(static_cast<size_t>(to - from));
    ASSERT_EQ(cache->ReadFixedPos(from, static_cast<ULONG>(song.size()), song.data()), S_OK);
    EXPECT_EQ(song, Pattern(from, song.size()));

    ASSERT_EQ(cache->ResetUndeletableRange(from, to), S_OK);
    ULONGLONG used = 0;
    ASSERT_EQ(cache->GetTimeFullness(&used), S_OK);
    EXPECT_LE(used + 8192, MiB);
    EXPECT_EQ(CacheWrite(), 8 * MiB);
}

TEST_F(CacheMix, TrimmingEndsWhenTheOldestRecordIsProtected) {
    Put(0, 0, 3 * MiB);
    Flush();
    ASSERT_EQ(cache->SetUndeletableRange(0, 10), S_OK);  // buffers 1 and 2 hold nothing to mark
    ASSERT_EQ(cache->WriteSilenceEx(SILENCE_BUFFER, 1000), S_OK);
    ASSERT_EQ(cache->SetSize(MiB), S_OK);
    EXPECT_EQ(CacheStart(), 0u);
    EXPECT_TRUE(plat::IsFile(dir.Sub(u"QXCache/CasheFile_0_0_000001.cah")));
    EXPECT_EQ(Mixed(0, 64), Pattern(0, 64));
}

TEST_F(CacheMix, TheEndOfTheCacheLiftsItsProtectionAndTrimsBeforeTheLastSave) {
    Put(0, 0, 6 * MiB);
    Flush();
    ASSERT_EQ(cache->WriteSilenceEx(SILENCE_BUFFER, 0), S_OK);
    ASSERT_EQ(cache->SetUndeletableRange(2 * MiB + MiB / 2, 3 * MiB + MiB / 2), S_OK);
    ASSERT_EQ(cache->SetSize(MiB), S_OK);
    Put(0, 6 * MiB, 2 * MiB);
    Flush();
    ASSERT_EQ(cache->Save(), S_OK);  // the owner's last save: still over the limit
    ASSERT_EQ(CacheStart(), 2 * MiB);
    cache.Reset();

    std::vector<plat::DirEntry> files;
    ASSERT_TRUE(plat::ListDirectory(dir.Sub(u"QXCache"), &files));
    size_t dataFiles = 0;
    for (const auto& f : files) dataFiles += f.name.rfind(u"CasheFile_0_", 0) == 0 ? 1 : 0;
    EXPECT_LE(dataFiles, 1u);  // what the limit keeps, not the six files the range held

    cache = KCache::Create();
    ASSERT_TRUE(cache);
    plat::Bstr folder(dir.Path());
    ASSERT_EQ(cache->SetCacheDir(folder), S_OK);
    ASSERT_EQ(cache->Load(), S_OK);
    EXPECT_EQ(CacheWrite(), 8 * MiB);
    EXPECT_LE(CacheWrite() - CacheStart() + 8192, MiB);  // the index agrees with the files
}

}  // namespace
