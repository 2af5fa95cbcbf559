// The tones that the sound-server tests play, and the figures they measure.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/sound/tests/support/Tone.h"

using namespace soundtest;

namespace {

std::vector<uint8_t> StereoTone(size_t frames, uint64_t first, double hz, double peak) {
    std::vector<uint8_t> bytes(frames * 4);
    std::vector<int16_t> samples(frames * 2);
    FillTone(samples.data(), frames, first, hz, peak);
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

}  // namespace

TEST(Tone, AGeneratedToneMeasuresAtItsFrequencyAndPeakOnBothChannels) {
    const auto bytes = StereoTone(48000, 0, 1000, 16384);
    for (size_t i = 0; i < bytes.size(); i += 4) ASSERT_EQ(0, std::memcmp(&bytes[i], &bytes[i + 2], 2)) << "frame " << i / 4;
    const auto left = LeftChannel(bytes);
    ASSERT_EQ(left.size(), 48000u);
    EXPECT_NEAR(Frequency(left, 48000), 1000.0, 1.0);
    EXPECT_EQ(Peak(left), 16384);
    // A later stretch carries on where the first one ends.
    const auto next = LeftChannel(StereoTone(1, 48000, 1000, 16384));
    EXPECT_EQ(next, std::vector<int16_t>{ToneSample(1000, 16384, 48000)});
    EXPECT_EQ(Frequency({}, 48000), 0.0);
}

TEST(Tone, LeftChannelTakesWholeFramesInsideTheBytes) {
    auto bytes = StereoTone(10, 0, 1000, 8000);
    bytes.resize(bytes.size() + 2);  // half a frame more: left out
    EXPECT_EQ(LeftChannel(bytes).size(), 10u);
    const auto window = LeftChannel(bytes, 7, 5);
    ASSERT_EQ(window.size(), 3u) << "cut at the last whole frame";
    EXPECT_EQ(window[0], ToneSample(1000, 8000, 7));
    EXPECT_EQ(window[2], ToneSample(1000, 8000, 9));
    EXPECT_TRUE(LeftChannel(bytes, 10, 4).empty());
    EXPECT_TRUE(LeftChannel(bytes, 50).empty());
}

TEST(Tone, AToneWaveHoldsItsSecondsAfterAPcmHeader) {
    const std::string path = ::testing::TempDir() + "tone-" + std::to_string(::getpid()) + ".wav";
    ASSERT_TRUE(WriteToneWave(path, 750, 8000, 2));
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ::unlink(path.c_str());
    ASSERT_EQ(file.size(), 44u + 2 * 48000 * 4);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(std::string(file.begin() + 36, file.begin() + 40), "data");
    uint32_t riff = 0, data = 0;
    std::memcpy(&riff, &file[4], 4);
    std::memcpy(&data, &file[40], 4);
    EXPECT_EQ(riff, file.size() - 8);
    EXPECT_EQ(data, file.size() - 44);
    const std::vector<uint8_t> samples(file.begin() + 44, file.end());
    EXPECT_EQ(samples, StereoTone(96000, 0, 750, 8000));
}
