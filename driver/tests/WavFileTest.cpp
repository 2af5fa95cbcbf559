#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/WavFile.h"

namespace {

void Append(std::vector<BYTE>& v, const void* p, size_t n) {
    for (size_t i = 0; i < n; ++i) v.push_back(static_cast<const BYTE*>(p)[i]);
}
void Append32(std::vector<BYTE>& v, uint32_t x) { Append(v, &x, 4); }
void Append16(std::vector<BYTE>& v, uint16_t x) { Append(v, &x, 2); }

std::vector<BYTE> FmtChunk(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, bool extensible = false) {
    std::vector<BYTE> c;
    uint16_t align = static_cast<uint16_t>(channels * bits / 8);
    Append16(c, extensible ? 0xFFFE : tag);
    Append16(c, channels);
    Append32(c, rate);
    Append32(c, rate * align);
    Append16(c, align);
    Append16(c, bits);
    if (extensible) {
        Append16(c, 22);
        Append16(c, bits);
        Append32(c, 3);
        Append16(c, tag);  // first two bytes of the sub-format GUID
        c.resize(40, 0);
    }
    return c;
}

std::vector<BYTE> Riff(const std::vector<std::pair<std::string, std::vector<BYTE>>>& chunks, int dataLengthBonus = 0) {
    std::vector<BYTE> body;
    Append(body, "WAVE", 4);
    for (const auto& [id, data] : chunks) {
        Append(body, id.data(), 4);
        Append32(body, static_cast<uint32_t>(data.size() + (id == "data" ? dataLengthBonus : 0)));
        Append(body, data.data(), data.size());
        if (data.size() % 2) body.push_back(0);
    }
    std::vector<BYTE> file;
    Append(file, "RIFF", 4);
    Append32(file, static_cast<uint32_t>(body.size()));
    Append(file, body.data(), body.size());
    return file;
}

TEST(WavFile, ReadsPcmAndSkipsOtherChunks) {
    std::vector<BYTE> samples = {1, 2, 3, 4, 5, 6, 7, 8};
    WavFile wav;
    std::string error;
    ASSERT_TRUE(wav.Parse(Riff({{"LIST", {'a', 'b', 'c'}}, {"fmt ", FmtChunk(1, 2, 44100, 16)}, {"data", samples}}),
                          &error))
        << error;
    EXPECT_EQ(2, wav.Format().nChannels);
    EXPECT_EQ(44100u, wav.Format().nSamplesPerSec);
    EXPECT_EQ(176400u, wav.Format().nAvgBytesPerSec);
    ASSERT_EQ(8u, wav.DataBytes());
    EXPECT_EQ(0, std::memcmp(samples.data(), wav.Data(), 8));
}

TEST(WavFile, ExtensiblePcmBecomesAPlainPcmFormat) {
    WavFile wav;
    std::string error;
    ASSERT_TRUE(wav.Parse(Riff({{"fmt ", FmtChunk(1, 1, 8000, 8, true)}, {"data", {128, 129, 130}}}), &error)) << error;
    EXPECT_EQ(WAVE_FORMAT_PCM, wav.Format().wFormatTag);
    EXPECT_EQ(0, wav.Format().cbSize);
    EXPECT_EQ(3u, wav.DataBytes());
}

TEST(WavFile, ADataLengthBeyondTheFileKeepsWholeFramesOfWhatIsThere) {
    WavFile wav;
    std::string error;
    ASSERT_TRUE(wav.Parse(Riff({{"fmt ", FmtChunk(1, 2, 48000, 16)}, {"data", std::vector<BYTE>(10, 1)}}, 1000000),
                          &error));
    EXPECT_EQ(8u, wav.DataBytes());
}

TEST(WavFile, RefusesWhatItCannotPlay) {
    std::string error;
    for (const auto& file :
         {Riff({{"fmt ", FmtChunk(3, 2, 48000, 32)}, {"data", {0, 0, 0, 0}}}),   // float
          Riff({{"fmt ", FmtChunk(1, 2, 48000, 24)}, {"data", {0, 0, 0}}}),      // 24 bits
          Riff({{"fmt ", FmtChunk(1, 6, 48000, 16)}, {"data", {0, 0}}}),         // 6 channels
          Riff({{"fmt ", FmtChunk(1, 2, 0, 16)}, {"data", {0, 0}}}),             // no rate
          Riff({{"data", {0, 0}}}), Riff({{"fmt ", FmtChunk(1, 2, 48000, 16)}}),  // a chunk missing
          std::vector<BYTE>{'R', 'I', 'F', 'F'}}) {
        WavFile wav;
        error.clear();
        EXPECT_FALSE(wav.Parse(file, &error));
        EXPECT_FALSE(error.empty());
    }
    WavFile wav;
    EXPECT_FALSE(wav.Load("/nonexistent/file.wav", &error));
}

}  // namespace
