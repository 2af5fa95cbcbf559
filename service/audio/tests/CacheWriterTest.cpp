#include <gtest/gtest.h>

#include <algorithm>

#include "service/audio/tests/CacheTestSupport.h"

namespace {

using cachetest::Pattern;

class CacheWriter : public cachetest::CacheTest {};

TEST_F(CacheWriter, ABufferLaggingMoreThanTheThresholdCatchesUpWithSilence) {
    const ULONGLONG lead = 96000 + 8192 + 1;
    ASSERT_EQ(cache->WriteSilenceEx(SILENCE_BUFFER, lead), S_OK);
    Put(0, lead - 8192, 8192);
    Flush();
    EXPECT_EQ(WritePos(0), lead);
    auto recs = cache->GetBufferChain(0).GetRecords();
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_TRUE(recs[0].bVirtual);
    EXPECT_EQ(recs[0].llSize, lead - 8192);
    EXPECT_EQ(Mixed(lead - 8192, 8192), Pattern(lead - 8192, 8192));
}

TEST_F(CacheWriter, ALagOfExactlyTheThresholdIsLeftAsItIs) {
    const ULONGLONG lead = 96000 + 8192;
    ASSERT_EQ(cache->WriteSilenceEx(SILENCE_BUFFER, lead), S_OK);
    Put(0, 0, 8192);
    Flush();
    EXPECT_EQ(WritePos(0), 8192u);
    EXPECT_EQ(CacheWrite(), lead);
}

TEST_F(CacheWriter, TheLeadingBufferNeverGetsAGap) {
    Put(0, 0, 16384);
    Flush();
    Put(0, 16384, 8192);
    Flush();
    EXPECT_EQ(WritePos(0), 24576u);
    EXPECT_EQ(cache->GetBufferChain(0).GetRecordCount(), 1u);
    Put(1, 0, 8192);  // lags by less than the threshold: no gap
    Flush();
    EXPECT_EQ(WritePos(1), 8192u);
}

TEST_F(CacheWriter, WritesPortionsAndTheTailOnFlush) {
    Put(0, 0, 12000);
    Flush();
    EXPECT_EQ(WritePos(0), 12000u);
    EXPECT_EQ(Mixed(0, 12000), Pattern(0, 12000));
    ULONGLONG bytes = 0;
    ASSERT_EQ(cache->GetByteFullness(&bytes), S_OK);
    EXPECT_EQ(bytes, 12000u);
}

TEST_F(CacheWriter, SilenceFirstLevelsTheBufferThenGrowsItWithoutDiskData) {
    ASSERT_EQ(cache->WriteSilenceEx(SILENCE_BUFFER, 1920), S_OK);
    EXPECT_EQ(WritePos(SILENCE_BUFFER), 1920u);
    EXPECT_EQ(CacheWrite(), 1920u);
    ASSERT_EQ(cache->WriteSilenceEx(SILENCE_BUFFER, 5000 - 1920), S_OK);
    ASSERT_EQ(cache->WriteSilenceEx(RECORD_DEVICE_BUFFER, 1920), S_OK);  // 5000 behind
    EXPECT_EQ(WritePos(RECORD_DEVICE_BUFFER), 6920u);
    EXPECT_EQ(CacheWrite(), 6920u);
    ASSERT_EQ(cache->WriteSilenceEx(PLAY_DEVICE_BUFFER, 0), S_OK);  // only levels
    EXPECT_EQ(WritePos(PLAY_DEVICE_BUFFER), 6920u);
    EXPECT_EQ(CacheWrite(), 6920u);
    ULONGLONG bytes = 1;
    ASSERT_EQ(cache->GetByteFullness(&bytes), S_OK);
    EXPECT_EQ(bytes, 0u);
}

TEST_F(CacheWriter, ProducersOnSeveralBuffersAtOnceLoseNothing) {
    constexpr int kPortions = 64;
    std::vector<std::thread> producers;
    for (UINT b = 0; b < 2; ++b) {
        producers.emplace_back([this, b] {
            auto data = Pattern(b * 7, 8192);
            for (int i = 0; i < kPortions; ++i) EXPECT_EQ(cache->WriteEx(b, 8192, data.data()), S_OK);
        });
    }
    for (auto& t : producers) t.join();
    Flush();
    // Each buffer holds every byte of its producer; a lagging one has
    // silence besides.
    for (UINT b = 0; b < 2; ++b) {
        const KCacheImpl& chain = cache->GetBufferChain(b);
        const ULONGLONG start = chain.GetStartPos();
        std::vector<BYTE> all(static_cast<size_t>(chain.GetWritePosition() - start));
        ASSERT_EQ(cache->ReadFixedPosEx(b, start, static_cast<ULONG>(all.size()), all.data()), S_OK);
        EXPECT_EQ(static_cast<size_t>(std::count_if(all.begin(), all.end(), [](BYTE v) { return v != 0; })),
                  8192u * kPortions)
            << b;
    }
}

}  // namespace
