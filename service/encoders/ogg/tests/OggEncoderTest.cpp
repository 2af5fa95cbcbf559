// OGG Vorbis files read back by ffprobe, ffmpeg and mutagen; the rates given
// to the encoder; the page layout of the headers.
#include <gtest/gtest.h>

#include "platform/core/Text.h"
#include "service/encoders/ogg/KOggEncoder.h"
#include "service/encoders/tests/EncoderTestSupport.h"
#include "service/encoders/tests/support/MediaProbe.h"

using namespace enctest;

namespace {

const std::u16string kTitle = u"Ça va — 日本語 😀", kArtist = u"Mötley Crüe", kAlbum = u"", kGenre = u"Électro";

// The granule position of the last page: the stream's length in frames.
int64_t LastGranule(const std::string& bytes) {
    const size_t last = bytes.rfind("OggS");
    if (last == std::string::npos || bytes.size() < last + 14) return -1;
    int64_t granule = 0;
    for (int i = 7; i >= 0; --i) granule = (granule << 8) | uint8_t(bytes[last + 6 + size_t(i)]);
    return granule;
}

class OggEncoderTest : public ::testing::Test {
public:
    void SetUp() override {
        if (!HaveTool("ffprobe") || !HaveTool("ffmpeg")) GTEST_SKIP() << "ffprobe/ffmpeg missing";
        cache = MemoryCache::CreateInstance(0, AsBytes(StereoTone(12 * 48000, 48000, 1000.0)));
        encoder = KOggEncoder::Create();
        ASSERT_TRUE(encoder);
        ASSERT_EQ(encoder->SetCachePtr(cache.Get()), S_OK);
    }
    HRESULT Save(ULONG ms, const std::u16string& name) {
        return SaveTagged(encoder.Get(), 1000, 1000 + ms, {kTitle, kArtist, kAlbum, kGenre}, dir / name);
    }

    TempFolder dir;
    plat::ComPtr<MemoryCache> cache;
    plat::ComPtr<KOggEncoder> encoder;
};

TEST_F(OggEncoderTest, ConstantRateFileDecodesAt44kWithItsCommentsAndLength) {
    encoder->SetConstantBitrate(128);
    ASSERT_EQ(Save(10000, u"song"), S_OK);
    const std::u16string file = dir / u"song.ogg";
    ProbedAudio probe;
    ASSERT_TRUE(ProbeAudio(plat::ToUtf8(file), &probe));
    EXPECT_EQ(probe.codec, "vorbis");
    EXPECT_EQ(probe.sampleRate, 44100);
    EXPECT_EQ(probe.channels, 2);
    EXPECT_TRUE(probe.decodedCleanly);
    EXPECT_NEAR(probe.decodedFrames, 441000, 16);
    EXPECT_NEAR(double(FileSize(file)) * 8 / 10.0 / 1000, 128.0, 12.8);
    EXPECT_EQ(encoder->LastRates().max, 128000);
    EXPECT_EQ(encoder->LastRates().nominal, 128000);
    EXPECT_EQ(encoder->LastRates().min, 128000);

    auto tags = ReadRawTags(plat::ToUtf8(file));
    auto value = [&](const char* name) {
        std::string lower = name, v = FirstValue(tags, name);
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return v.empty() ? FirstValue(tags, lower) : v;
    };
    EXPECT_EQ(value("Title"), plat::ToUtf8(kTitle));
    EXPECT_EQ(value("Artist"), plat::ToUtf8(kArtist));
    EXPECT_EQ(value("Genre"), plat::ToUtf8(kGenre));
    EXPECT_TRUE(tags.count("Album") || tags.count("album"));  // an empty field is still a comment
}

TEST_F(OggEncoderTest, VariableRatesAndTheFirstAudioPageStartsFresh) {
    encoder->SetMinMaxBitrates(96, 192);
    ASSERT_EQ(Save(3000, u"vbr"), S_OK);
    EXPECT_EQ(encoder->LastRates().max, 192000);
    EXPECT_EQ(encoder->LastRates().nominal, -1);
    EXPECT_EQ(encoder->LastRates().min, 96000);
    // Page 0 holds the first header alone; page 1 the other two and no
    // audio, so its granule position is 0.
    const std::string bytes = ReadText(dir / u"vbr.ogg");
    ASSERT_EQ(bytes.compare(0, 4, "OggS"), 0);
    const size_t page0 = 27 + uint8_t(bytes[26]);
    size_t body0 = 0;
    for (size_t i = 0; i < uint8_t(bytes[26]); ++i) body0 += uint8_t(bytes[27 + i]);
    const size_t page1 = page0 + body0;
    ASSERT_EQ(bytes.compare(page1, 4, "OggS"), 0);
    EXPECT_EQ(LastGranule(bytes.substr(0, page1 + 27)), 0);
    ProbedAudio probe;
    ASSERT_TRUE(ProbeAudio(plat::ToUtf8(dir / u"vbr.ogg"), &probe));
    EXPECT_TRUE(probe.decodedCleanly);
    EXPECT_NEAR(probe.decodedFrames, 3 * 44100, 16);
}

TEST_F(OggEncoderTest, RatesVorbisDoesNotTakeFailWithoutAFile) {
    // 4295096 kbps is 4,295,096,000 bit/s: past 32 bits, so no wrap to 130 kbps.
    for (ULONG rate : {0u, 7u, 501u, 100000u, 4295096u}) {
        SCOPED_TRACE(rate);
        encoder->SetConstantBitrate(rate);
        EXPECT_EQ(Save(1000, u"bad"), E_INVALIDARG);
    }
    encoder->SetMinMaxBitrates(192, 96);
    EXPECT_EQ(Save(1000, u"bad"), E_INVALIDARG);
    EXPECT_TRUE(dir.Names().empty());
    encoder->SetConstantBitrate(64);
    EXPECT_EQ(Save(1000, u"good"), S_OK);
    EXPECT_EQ(dir.Names(), std::vector<std::u16string>{u"good.ogg"});
}

TEST_F(OggEncoderTest, AStretchShorterThanAPieceIsEncodedWhole) {
    encoder->SetConstantBitrate(128);
    ASSERT_EQ(Save(100, u"short"), S_OK);  // 100 ms: a sixth of a piece
    ProbedAudio probe;
    ASSERT_TRUE(ProbeAudio(plat::ToUtf8(dir / u"short.ogg"), &probe));
    EXPECT_TRUE(probe.decodedCleanly);
    // The length is the last page's granule position. (ffmpeg trims a
    // stream whose only audio page is also its last as if it started late.)
    EXPECT_EQ(LastGranule(ReadText(dir / u"short.ogg")), 4410);
}

}  // namespace
