#include <gtest/gtest.h>

#include "log/ErrorTextTable.h"
#include "log/KErrorLog.h"
#include "platform/com/Module.h"
#include "service/audio/tests/CacheTestSupport.h"

namespace {

using cachetest::Pattern;

constexpr ULONGLONG MiB = CACHE_FILE_MAX_BYTE;

class Cache : public cachetest::CacheTest {};

TEST(CacheObject, HoldsAModuleLockForItsLifeAndAnswersOnlyItsInterfaces) {
    cachetest::TempDir dir;
    const LONG before = plat::ComModule::LockCount();
    {
        plat::ComPtr<KCache> cache(KCache::Create());
        ASSERT_TRUE(cache);
        EXPECT_EQ(cache->RefCount(), 1u);
        EXPECT_EQ(plat::ComModule::LockCount(), before + 1);
        plat::ComPtr<ICache> itf;
        EXPECT_EQ(cache.As(&itf), S_OK);
        plat::ComPtr<IAudioPlayer> other;
        EXPECT_EQ(cache.As(&other), E_NOINTERFACE);
    }
    EXPECT_EQ(plat::ComModule::LockCount(), before);
}

TEST_F(Cache, RefusesBadIndexesAndNullPointers) {
    BYTE buf[8] = {};
    ULONGLONG pos = 0;
    LONG yes = 0;
    EXPECT_EQ(cache->WriteEx(3, 8, buf), E_INVALIDARG);
    EXPECT_EQ(cache->WriteSilenceEx(3, 8), E_INVALIDARG);
    EXPECT_EQ(cache->ReadEx(3, 8, buf), E_INVALIDARG);
    EXPECT_EQ(cache->ReadFixedPosEx(3, 0, 8, buf), E_INVALIDARG);
    EXPECT_EQ(cache->GetReadPosEx(3, &pos), E_INVALIDARG);
    EXPECT_EQ(cache->SetReadPosEx(3, 0, posStart), E_INVALIDARG);
    EXPECT_EQ(cache->SetLiveEx(3, TRUE), E_INVALIDARG);
    EXPECT_EQ(cache->IsLive(3, &yes), E_INVALIDARG);
    EXPECT_EQ(cache->WriteEx(0, 8, nullptr), E_POINTER);
    EXPECT_EQ(cache->Read(8, nullptr), E_POINTER);
    EXPECT_EQ(cache->GetWritePos(nullptr), E_POINTER);
    EXPECT_EQ(cache->GetCacheDir(nullptr), E_POINTER);
    EXPECT_EQ(cache->SetCacheDir(nullptr), E_POINTER);
    EXPECT_EQ(cache->WriteEx(0, 0, buf), S_OK);
}

TEST_F(Cache, ReportsItsFileSizeAndWhetherItIsEmpty) {
    ULONG max = 0;
    ASSERT_EQ(cache->GetFileMaxSize(&max), S_OK);
    EXPECT_EQ(max, 1048576u);
    LONG empty = 0;
    ASSERT_EQ(cache->IsEmpty(&empty), S_OK);
    EXPECT_EQ(empty, 1);
    ASSERT_EQ(cache->WriteSilenceEx(SILENCE_BUFFER, 100), S_OK);
    ASSERT_EQ(cache->IsEmpty(&empty), S_OK);
    EXPECT_EQ(empty, 0);
}

TEST_F(Cache, LiveIsRefusedWhileABufferMayNotLive) {
    ASSERT_EQ(cache->SetCanLiveEx(0, FALSE), S_OK);
    ASSERT_EQ(cache->SetLiveEx(0, FALSE), S_OK);
    ASSERT_EQ(cache->SetLiveEx(0, TRUE), S_OK);
    EXPECT_EQ(Live(0), 0);
    ASSERT_EQ(cache->SetCanLiveEx(0, TRUE), S_OK);
    ASSERT_EQ(cache->SetLiveEx(0, TRUE), S_OK);
    EXPECT_EQ(Live(0), 1);
    ASSERT_EQ(cache->SetCanLiveEx(0, FALSE), S_OK);
    ASSERT_EQ(cache->SetLiveEx(0, FALSE), S_OK);
    EXPECT_EQ(Live(0), 0);
}

TEST_F(Cache, ReadPositionsStayBetweenTheStartAndTheWritePosition) {
    ASSERT_EQ(cache->WriteSilenceEx(0, 1000000), S_OK);
    ASSERT_EQ(cache->SetReadPosEx(0, 0, posEnd), S_OK);
    EXPECT_EQ(ReadPos(0), 1000000u);
    EXPECT_EQ(Live(0), 1);
    ASSERT_EQ(cache->SetReadPosEx(0, -300000, posEnd), S_OK);
    EXPECT_EQ(ReadPos(0), 700000u);
    EXPECT_EQ(Live(0), 0);
    ASSERT_EQ(cache->SetReadPosEx(0, -2000000, posEnd), S_OK);
    EXPECT_EQ(ReadPos(0), 0u);
    ASSERT_EQ(cache->SetReadPosEx(0, 2000000, posStart), S_OK);
    EXPECT_EQ(ReadPos(0), 1000000u);
    EXPECT_EQ(Live(0), 1);
    ASSERT_EQ(cache->SetReadPosEx(0, -500000, posCurrent), S_OK);
    EXPECT_EQ(ReadPos(0), 500000u);
    ASSERT_EQ(cache->SetReadPosEx(0, 900000, posCurrent), S_OK);  // past the end: the end
    EXPECT_EQ(ReadPos(0), 1000000u);
    ASSERT_EQ(cache->SetReadPosEx(0, -9000000, posCurrent), S_OK);  // before the start: the start
    EXPECT_EQ(ReadPos(0), 0u);
    ASSERT_EQ(cache->SetReadPosEx(0, 123, static_cast<EBasicPosition>(9)), S_OK);
    EXPECT_EQ(ReadPos(0), 0u);
    ASSERT_EQ(cache->SetReadPosEx(0, INT64_MIN, posCurrent), S_OK);  // no overflow either way
    EXPECT_EQ(ReadPos(0), 0u);
    ASSERT_EQ(cache->SetReadPosEx(0, INT64_MAX, posEnd), S_OK);
    EXPECT_EQ(ReadPos(0), 1000000u);
}

TEST_F(Cache, AFullCacheKeepsReadersAMarginAfterItsStart) {
    ASSERT_EQ(cache->WriteSilenceEx(0, 4 * MiB), S_OK);
    ASSERT_EQ(cache->SetSize(4 * MiB + 8192), S_OK);
    LONG full = 0;
    ASSERT_EQ(cache->IsFull(&full), S_OK);
    ASSERT_EQ(full, 1);
    ASSERT_EQ(cache->SetReadPosEx(0, 0, posStart), S_OK);
    EXPECT_EQ(ReadPos(0), KCache::kFullMargin);
    EXPECT_EQ(Live(0), 0);
    ASSERT_EQ(cache->SetReadPosEx(0, -4 * static_cast<LONGLONG>(MiB), posEnd), S_OK);
    EXPECT_EQ(ReadPos(0), KCache::kFullMargin);
}

TEST_F(Cache, SetLiveMovesEveryReaderToTheWritePosition) {
    ASSERT_EQ(cache->WriteSilenceEx(2, 500000), S_OK);
    ASSERT_EQ(cache->SynchronizeReadPos(0, posStart), S_OK);
    EXPECT_EQ(Live(2), 0);
    ASSERT_EQ(cache->SetLive(FALSE), S_OK);
    for (UINT i = 0; i < CACHE_BUFFER_COUNT; ++i) {
        EXPECT_EQ(Live(i), 1);
        EXPECT_EQ(ReadPos(i), 500000u);
    }
}

TEST_F(Cache, MovesToAnotherFolder) {
    BSTR current = nullptr;
    ASSERT_EQ(cache->GetCacheDir(&current), S_OK);
    EXPECT_EQ(plat::BstrToU16(current), dir.Path());
    SysFreeString(current);
    plat::Bstr same(dir.Path().substr(0, dir.Path().size() - 1));
    EXPECT_EQ(cache->SetCacheDir(same), S_OK);
    plat::Bstr empty(u"");
    EXPECT_EQ(cache->SetCacheDir(empty), E_INVALIDARG);

    const std::u16string other = dir.Sub(u"elsewhere");
    plat::Bstr moved(other);
    ASSERT_EQ(cache->SetCacheDir(moved), S_OK);
    EXPECT_TRUE(plat::IsDirectory(other + u"/QXCache"));
    ASSERT_EQ(cache->GetCacheDir(&current), S_OK);
    EXPECT_EQ(plat::BstrToU16(current), other + u"/");
    SysFreeString(current);
    Put(0, 0, 100);
    Flush();
    EXPECT_TRUE(plat::IsFile(other + u"/QXCache/CasheFile_0_0_000001.cah"));
}

TEST_F(Cache, WrittenAudioReadsBackAtItsPositions) {
    Put(0, 0, 20000);
    Flush();
    EXPECT_EQ(WritePos(0), 20000u);
    std::vector<BYTE> out(20000);
    ASSERT_EQ(cache->ReadFixedPosEx(0, 0, 20000, out.data()), S_OK);
    EXPECT_EQ(out, Pattern(0, 20000));
    EXPECT_EQ(cache->ReadFixedPos(20000, 2, out.data()), E_FAIL);
    ASSERT_EQ(cache->ReadFixedPos(19999, 2, out.data()), S_OK);
    EXPECT_EQ(out[0], cachetest::PatternByte(19999));
    EXPECT_EQ(out[1], 0);
}

TEST_F(Cache, AFailedDiskWriteMakesTheNextWriteFailOnce) {
    ASSERT_TRUE(plat::CreateDirectory(dir.Sub(u"QXCache/")) || plat::IsDirectory(dir.Sub(u"QXCache/")));
    const std::u16string blocker = dir.Sub(u"QXCache/CasheFile_0_0_000001.cah");
    ASSERT_TRUE(plat::CreateDirectory(blocker));
    KErrorLog::Instance().ClearErrors();
    Put(0, 0, 8192);
    Flush();
    auto data = Pattern(0, 8192);
    EXPECT_TRUE(FAILED(cache->WriteEx(0, 8192, data.data())));
    std::vector<std::u16string> errors;
    KErrorLog::Instance().GetErrors(&errors);
    EXPECT_FALSE(errors.empty());
    ASSERT_TRUE(plat::RemoveDirectory(blocker));
    // Reported once: recording may start again.
    Put(0, 0, 8192);
    Flush();
    EXPECT_EQ(WritePos(0), 8192u);
    EXPECT_EQ(Mixed(0, 8192), Pattern(0, 8192));
}

TEST_F(Cache, ClearDropsWhatTheRingsStillHold) {
    Put(0, 777, 5000);
    ASSERT_EQ(cache->Clear(TRUE), S_OK);
    Put(0, 0, 8192);
    Flush();
    EXPECT_EQ(WritePos(0), 8192u);
    EXPECT_EQ(Mixed(0, 8192), Pattern(0, 8192));
}

TEST_F(Cache, ClearWithoutWaitingEmptiesEveryBuffer) {
    Put(0, 0, 3 * MiB);
    Flush();
    ASSERT_EQ(cache->WriteSilenceEx(2, 1000), S_OK);
    ASSERT_EQ(cache->Clear(FALSE), S_OK);
    LONG empty = 0;
    ASSERT_EQ(cache->IsEmpty(&empty), S_OK);
    EXPECT_EQ(empty, 1);
    EXPECT_EQ(CacheWrite(), 0u);
    ULONGLONG bytes = 1;
    ASSERT_EQ(cache->GetByteFullness(&bytes), S_OK);
    EXPECT_EQ(bytes, 0u);
}

TEST_F(Cache, FlushWritesAShortTail) {
    Put(1, 0, 5000);
    Flush();
    EXPECT_EQ(WritePos(1), 5000u);
    EXPECT_EQ(Mixed(0, 5000), Pattern(0, 5000));
}

TEST(CacheObject, ItsEndWritesWhatTheRingsHoldAndTheIndex) {
    cachetest::TempDir dir;
    plat::Bstr folder(dir.Path());
    {
        plat::ComPtr<KCache> cache(KCache::Create());
        ASSERT_TRUE(cache);
        ASSERT_EQ(cache->SetCacheDir(folder), S_OK);
        cache->Load();
        auto data = Pattern(0, 5000);
        ASSERT_EQ(cache->WriteEx(0, 5000, data.data()), S_OK);
    }
    plat::ComPtr<KCache> cache(KCache::Create());
    ASSERT_TRUE(cache);
    ASSERT_EQ(cache->SetCacheDir(folder), S_OK);
    cache->Load();  // buffers that never held anything have no index
    ULONGLONG pos = 0;
    ASSERT_EQ(cache->GetWritePosEx(0, &pos), S_OK);
    EXPECT_EQ(pos, 5000u);
    std::vector<BYTE> out(5000);
    ASSERT_EQ(cache->ReadFixedPos(0, 5000, out.data()), S_OK);
    EXPECT_EQ(out, Pattern(0, 5000));
}

}  // namespace
