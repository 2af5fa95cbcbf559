#include <gtest/gtest.h>

#include <cmath>

#include "service/audio/KSoundHelper.h"
#include "service/audio/tests/CacheTestSupport.h"

namespace {

using cachetest::Samples;
using SoundProcessing::KSoundHelper;

class SoundHelper : public cachetest::CacheTest {
protected:
    // Frames of one level on both channels.
    void PutLevel(SHORT level, size_t frames) { PutBytes(0, Samples(std::vector<SHORT>(frames * 2, level))); }
    KSoundHelper helper;
};

TEST_F(SoundHelper, LeadingSilenceGoesInWholeBlocks) {
    ASSERT_EQ(cache->WriteSilenceEx(0, 1920000), S_OK);  // 10 s, 937.5 blocks
    PutLevel(5000, 48000);
    Flush();
    LONGLONG left = 0, right = 1920000 + 192000;
    ASSERT_EQ(helper.DeleteSilence(cache.Get(), &left, &right), S_OK);
    EXPECT_EQ(left, 1918976);
    EXPECT_EQ(right, 1920000 + 192000);
}

TEST_F(SoundHelper, ASilentSongShrinksToLessThanABlock) {
    ASSERT_EQ(cache->WriteSilenceEx(0, 100000), S_OK);
    LONGLONG left = 0, right = 100000;
    ASSERT_EQ(helper.DeleteSilence(cache.Get(), &left, &right), S_OK);
    EXPECT_EQ(left, 48 * 2048);
    EXPECT_EQ(right, 100000);
    EXPECT_LT(right - left, 2048);
}

TEST_F(SoundHelper, SilenceEndsAtTheFirstSampleBeyond327) {
    std::vector<SHORT> s(4 * 1024, 0);  // four blocks of 1024 samples
    s[100] = 327;
    s[1024 + 5] = -327;
    s[2048 + 7] = -328;                  // the third block is loud
    s[3 * 1024 + 9] = 328;               // and so is the last one
    PutBytes(0, Samples(s));
    Flush();
    LONGLONG left = 0, right = 4 * 2048;
    ASSERT_EQ(helper.DeleteSilence(cache.Get(), &left, &right), S_OK);
    EXPECT_EQ(left, 2 * 2048);
    EXPECT_EQ(right, 4 * 2048);
}

TEST_F(SoundHelper, BordersAreCheckedBeforeAnythingIsRead) {
    LONGLONG left = 1LL << 40, right = 1LL << 40;
    EXPECT_EQ(helper.DeleteSilence(cache.Get(), &left, &right), S_OK);
    right = left - 2;
    EXPECT_EQ(helper.DeleteSilence(cache.Get(), &left, &right), E_INVALIDARG);
    EXPECT_EQ(helper.DeleteSilence(nullptr, &left, &right), E_POINTER);
    EXPECT_EQ(helper.DeleteSilence(cache.Get(), nullptr, &right), E_POINTER);
}

TEST_F(SoundHelper, AFailedReadEndsTheTrimWithTheCachesError) {
    PutLevel(0, 3 * 262144);  // three data files of silence on disk
    Flush();
    ASSERT_EQ(cache->SetSize(CACHE_FILE_MAX_BYTE + 8192), S_OK);  // the first two go
    LONGLONG left = 0, right = 3 * CACHE_FILE_MAX_BYTE;
    EXPECT_TRUE(FAILED(helper.DeleteSilence(cache.Get(), &left, &right)));
    EXPECT_EQ(left, 0);
}

TEST(SoundHelperRamp, ARisingRampReachesFullLevelAndStaysThere) {
    KSoundHelper helper;
    ASSERT_EQ(helper.SetLowRaiseVolumeParams(2, FALSE), S_OK);
    std::vector<SHORT> piece(2 * 96000, 30000);
    ASSERT_EQ(helper.LowRaiseVolume(piece.data(), static_cast<DWORD>(piece.size())), S_OK);
    EXPECT_EQ(piece[0], 0);
    EXPECT_EQ(piece[1], 0);
    EXPECT_EQ(piece[2 * 48000], 15000);
    EXPECT_NEAR(helper.Gain(), 1.0, 1e-9);
    // Past its end the ramp neither amplifies nor wraps.
    std::vector<SHORT> after = {32767, -32768, 30000, -30000};
    ASSERT_EQ(helper.LowRaiseVolume(after.data(), 4), S_OK);
    EXPECT_EQ(after, (std::vector<SHORT>{32767, -32768, 30000, -30000}));
}

TEST(SoundHelperRamp, AFallingRampStartsAtFullLevelAndEndsInSilence) {
    KSoundHelper helper;
    ASSERT_EQ(helper.SetLowRaiseVolumeParams(2, TRUE), S_OK);
    std::vector<SHORT> first = {20000, -20000};
    ASSERT_EQ(helper.LowRaiseVolume(first.data(), 2), S_OK);
    EXPECT_EQ(first, (std::vector<SHORT>{20000, -20000}));
    // Applied in pieces, the ramp goes on where the last piece ended.
    std::vector<SHORT> rest(2 * 96000 + 8, 20000);
    ASSERT_EQ(helper.LowRaiseVolume(rest.data(), 1000), S_OK);
    ASSERT_EQ(helper.LowRaiseVolume(rest.data() + 1000, static_cast<DWORD>(rest.size() - 1000)), S_OK);
    EXPECT_EQ(rest[0], static_cast<SHORT>(20000.0 * (1.0 - 1.0 / 96000)));
    EXPECT_EQ(rest[1000], static_cast<SHORT>(20000.0 * (1.0 - 501.0 / 96000)));
    EXPECT_EQ(rest[rest.size() - 1], 0);  // never inverted
    EXPECT_EQ(helper.Gain(), 0.0);
}

TEST(SoundHelperRamp, BadArgumentsLeaveTheRampAlone) {
    KSoundHelper helper;
    ASSERT_EQ(helper.SetLowRaiseVolumeParams(2, TRUE), S_OK);
    EXPECT_EQ(helper.SetLowRaiseVolumeParams(0, FALSE), E_INVALIDARG);
    EXPECT_EQ(helper.SetLowRaiseVolumeParams(1u << 25, FALSE), E_INVALIDARG);  // the frame count would wrap to 0
    EXPECT_EQ(helper.Gain(), 1.0);
    SHORT s[2] = {1, 1};
    EXPECT_EQ(helper.LowRaiseVolume(nullptr, 2), E_POINTER);
    EXPECT_EQ(helper.LowRaiseVolume(s, 0), E_INVALIDARG);
}

}  // namespace
