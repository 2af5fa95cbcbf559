#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "service/audio/KWave.h"

namespace {

OWAVEFORMATEX Pcm(WORD channels, DWORD rate, WORD bits) {
    WORD align = static_cast<WORD>(channels * bits / 8);
    return OWAVEFORMATEX{WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}

std::vector<BYTE> Samples16(std::initializer_list<int> values) {
    std::vector<BYTE> out;
    for (int v : values) {
        auto u = static_cast<uint16_t>(static_cast<int16_t>(v));
        out.push_back(static_cast<BYTE>(u));
        out.push_back(static_cast<BYTE>(u >> 8));
    }
    return out;
}

std::vector<int> Read16(const BYTE* p, DWORD bytes) {
    std::vector<int> out;
    for (DWORD i = 0; i + 1 < bytes; i += 2) out.push_back(static_cast<int16_t>(p[i] | (p[i + 1] << 8)));
    return out;
}

// One conversion; the output copied out.
std::vector<BYTE> Convert(KWave& wave, const OWAVEFORMATEX& from, const std::vector<BYTE>& data,
                          const OWAVEFORMATEX& to) {
    BYTE* out = nullptr;
    DWORD bytes = 0xFFFFFFFF;
    EXPECT_TRUE(wave.SetSource(&from, data.data(), static_cast<DWORD>(data.size())));
    EXPECT_TRUE(wave.Convert(&to, &out, &bytes));
    return out ? std::vector<BYTE>(out, out + bytes) : std::vector<BYTE>();
}

TEST(Wave, EqualFormatsReturnTheSourceBlockItself) {
    KWave wave;
    auto engine = Pcm(2, 48000, 16);
    std::vector<BYTE> data(1920, 3);
    BYTE* out = nullptr;
    DWORD bytes = 0;
    ASSERT_TRUE(wave.SetSource(&engine, data.data(), 1920));
    ASSERT_TRUE(wave.Convert(&engine, &out, &bytes));
    EXPECT_EQ(data.data(), out);
    EXPECT_EQ(1920u, bytes);
    // cbSize counts: a differing record is converted (same samples, own buffer).
    auto withExtra = engine;
    withExtra.cbSize = 2;
    ASSERT_TRUE(wave.Convert(&withExtra, &out, &bytes));
    EXPECT_NE(data.data(), out);
    EXPECT_EQ(0, std::memcmp(data.data(), out, 1920));
}

TEST(Wave, ChannelsAndDepthChangeFrameForFrameAtEqualRates) {
    KWave wave;
    auto stereo16 = Pcm(2, 48000, 16), mono16 = Pcm(1, 48000, 16);
    auto stereo8 = Pcm(2, 48000, 8), mono8 = Pcm(1, 48000, 8);

    auto mixed = Convert(wave, stereo16, Samples16({1000, 1001, -1, -2, 32767, 32767, -32768, -32768}), mono16);
    EXPECT_EQ((std::vector<int>{1000, -2, 32767, -32768}), Read16(mixed.data(), static_cast<DWORD>(mixed.size())));

    auto widened = Convert(wave, mono16, Samples16({5, -7}), stereo16);
    EXPECT_EQ((std::vector<int>{5, 5, -7, -7}), Read16(widened.data(), static_cast<DWORD>(widened.size())));

    EXPECT_EQ((std::vector<BYTE>{128, 0, 255, 128, 127, 129}),
              Convert(wave, mono16, Samples16({-1, -32768, 32767, 255, -256, 256}), mono8));
    auto deep = Convert(wave, mono8, {128, 0, 255}, mono16);
    EXPECT_EQ((std::vector<int>{0, -32768, 32512}), Read16(deep.data(), static_cast<DWORD>(deep.size())));
    // 8-bit stereo to mono averages the unsigned bytes.
    EXPECT_EQ((std::vector<BYTE>{127, 255}), Convert(wave, stereo8, {0, 255, 255, 255}, mono8));
    // Mono 8-bit to stereo 16-bit: both channels.
    auto both = Convert(wave, mono8, {129}, stereo16);
    EXPECT_EQ((std::vector<int>{256, 256}), Read16(both.data(), static_cast<DWORD>(both.size())));
}

TEST(Wave, UpsamplingRepeatsFramesOnceOrTwice) {
    KWave wave;
    auto from = Pcm(2, 44100, 16), to = Pcm(2, 48000, 16);
    std::vector<BYTE> data;
    for (int i = 0; i < 4410; ++i) {
        auto s = Samples16({i, -i});
        data.insert(data.end(), s.begin(), s.end());
    }
    auto out = Convert(wave, from, data, to);
    ASSERT_EQ(4800u * 4, out.size());
    auto v = Read16(out.data(), static_cast<DWORD>(out.size()));
    int run = 1;
    for (size_t f = 1; f < 4800; ++f) {
        int prev = v[(f - 1) * 2], cur = v[f * 2];
        ASSERT_EQ(-cur, v[f * 2 + 1]);
        ASSERT_TRUE(cur == prev || cur == prev + 1) << f;  // never skipped
        run = cur == prev ? run + 1 : 1;
        ASSERT_LE(run, 2) << f;  // never more than twice
    }
    EXPECT_EQ(4409, v[4799 * 2]);
}

TEST(Wave, DownsamplingSkipsFramesAndCarriesThePhase) {
    KWave wave;
    auto from = Pcm(1, 48000, 16), to = Pcm(1, 44100, 16);
    std::vector<BYTE> data;
    for (int i = 0; i < 4800; ++i) {
        auto s = Samples16({i});
        data.insert(data.end(), s.begin(), s.end());
    }
    auto out = Convert(wave, from, data, to);
    ASSERT_EQ(4410u * 2, out.size());
    auto v = Read16(out.data(), static_cast<DWORD>(out.size()));
    for (size_t f = 1; f < v.size(); ++f) ASSERT_TRUE(v[f] == v[f - 1] + 1 || v[f] == v[f - 1] + 2) << f;

    // Block by block, the stream keeps its rate: 100 blocks of 10 frames
    // (each worth 9.1875 output frames) give 918 or 919 frames in all.
    KWave stream;
    std::vector<BYTE> block(20);
    size_t total = 0;
    for (int b = 0; b < 100; ++b) total += Convert(stream, from, block, to).size() / 2;
    EXPECT_EQ(918u, total);
}

TEST(Wave, InvalidFormatsAreRefusedAndThePreviousSourceStays) {
    KWave wave;
    auto good = Pcm(2, 48000, 16);
    BYTE* out = nullptr;
    DWORD bytes = 0;
    EXPECT_FALSE(wave.Convert(&good, &out, &bytes));  // no source yet
    EXPECT_EQ(nullptr, out);

    std::vector<BYTE> data = Samples16({1, 2});
    ASSERT_TRUE(wave.SetSource(&good, data.data(), 4));
    auto three = Pcm(3, 48000, 16), deep = Pcm(2, 48000, 24), zeroRate = Pcm(2, 0, 16), tooSlow = Pcm(2, 999, 16),
         tooFast = Pcm(2, 768001, 16);
    auto badAlign = good;
    badAlign.nBlockAlign = 2;
    auto badAvg = good;
    badAvg.nAvgBytesPerSec = 1;
    for (const auto& f : {three, deep, zeroRate, tooSlow, tooFast, badAlign, badAvg}) {
        EXPECT_FALSE(KWave::IsValidPcm(&f));
        EXPECT_FALSE(wave.SetSource(&f, data.data(), 4));
        out = reinterpret_cast<BYTE*>(1);
        bytes = 77;
        EXPECT_FALSE(wave.Convert(&f, &out, &bytes));
        EXPECT_EQ(reinterpret_cast<BYTE*>(1), out);  // untouched
        EXPECT_EQ(77u, bytes);
    }
    EXPECT_FALSE(KWave::IsValidPcm(nullptr));
    // The accepted source is still the one converted.
    ASSERT_TRUE(wave.Convert(&good, &out, &bytes));
    EXPECT_EQ(data.data(), out);
}

TEST(Wave, ShortBlocksAndHugeOutputs) {
    KWave wave;
    auto stereo = Pcm(2, 48000, 16);
    std::vector<BYTE> three = {1, 2, 3};
    EXPECT_TRUE(Convert(wave, stereo, three, Pcm(1, 44100, 8)).empty());

    // The slowest rate into the fastest, over a large block, would exceed the
    // output limit: refused instead of allocated.
    std::vector<BYTE> big(0x20000);
    auto slow = Pcm(1, KWave::kMinRate, 8), fast = Pcm(2, KWave::kMaxRate, 16);
    BYTE* out = nullptr;
    DWORD bytes = 0;
    ASSERT_TRUE(wave.SetSource(&slow, big.data(), static_cast<DWORD>(big.size())));
    EXPECT_FALSE(wave.Convert(&fast, &out, &bytes));
}

}  // namespace
