// MP3 files read back by ffprobe, ffmpeg and mutagen; the configuration
// record; the library missing, damaged or without its Info-frame call.
#include <cstring>

#include <gtest/gtest.h>

#include "platform/core/Text.h"
#include "service/encoders/mp3/Id3v2Tag.h"
#include "service/encoders/mp3/KMp3Encoder.h"
#include "service/encoders/tests/EncoderTestSupport.h"
#include "service/encoders/tests/support/MediaProbe.h"

using namespace enctest;

namespace {

const std::u16string kTitle = u"Ça va — 日本語 😀", kArtist = u"Mötley Crüe", kAlbum = u"Ålbum", kGenre = u"Électro";

class Mp3EncoderTest : public ::testing::Test {
public:
    void SetUp() override {
        if (!HaveTool("ffprobe") || !HaveTool("ffmpeg")) GTEST_SKIP() << "ffprobe/ffmpeg missing";
        // 12 s of a 1 kHz tone.
        cache = MemoryCache::CreateInstance(0, AsBytes(StereoTone(12 * 48000, 48000, 1000.0)));
    }
    plat::ComPtr<KMp3Encoder> NewEncoder(const std::string& library = {}) {
        plat::ComPtr<KMp3Encoder> e(KMp3Encoder::Create());
        EXPECT_TRUE(e);
        if (!library.empty()) e->SetLibraryPath(library);
        EXPECT_EQ(e->SetCachePtr(cache.Get()), S_OK);
        return e;
    }
    HRESULT Save(KMp3Encoder* e, ULONG ms, const std::u16string& name) {
        return SaveTagged(e, 1000, 1000 + ms, {kTitle, kArtist, kAlbum, kGenre}, dir / name);
    }

    TempFolder dir;
    plat::ComPtr<MemoryCache> cache;
};

TEST(Id3v2Tag, HeaderSizesAndEmptyFields) {
    EXPECT_TRUE(BuildId3v23Tag(u"", u"", u"", u"").empty());
    const auto tag = BuildId3v23Tag(std::u16string(100, u'x'), u"", u"", u"");
    // Header, one frame header, encoding byte, BOM, 100 UTF-16 units.
    const size_t frame = 1 + 2 + 200;
    ASSERT_EQ(tag.size(), 10 + 10 + frame);
    EXPECT_EQ(std::memcmp(tag.data(), "ID3\x03\x00\x00", 6), 0);
    // 213 bytes after the header, 7 bits a byte: 1, 85.
    EXPECT_EQ(tag[8], 1);
    EXPECT_EQ(tag[9], 213 - 128);
    EXPECT_EQ(std::memcmp(tag.data() + 10, "TIT2", 4), 0);
    EXPECT_EQ(tag[17], frame);  // plain 32-bit frame size
}

TEST_F(Mp3EncoderTest, ConstantRateFileDecodesWithItsTagsAndLength) {
    auto e = NewEncoder();
    e->SetConstantBitrate(128);
    ASSERT_EQ(Save(e.Get(), 10000, u"song"), S_OK);
    const std::u16string file = dir / u"song.mp3";
    ProbedAudio probe;
    ASSERT_TRUE(ProbeAudio(plat::ToUtf8(file), &probe));
    EXPECT_EQ(probe.codec, "mp3");
    EXPECT_EQ(probe.sampleRate, 48000);
    EXPECT_EQ(probe.channels, 2);
    EXPECT_TRUE(probe.decodedCleanly);
    EXPECT_NEAR(probe.decodedFrames, 480000, 1152);
    // The rate: audio bytes over the length, the tag left out.
    const double tagBytes = double(BuildId3v23Tag(kTitle, kArtist, kAlbum, kGenre).size());
    EXPECT_NEAR((double(FileSize(file)) - tagBytes) * 8 / 10.0 / 1000, 128.0, 12.8);

    auto tags = ReadRawTags(plat::ToUtf8(file));
    EXPECT_EQ(FirstValue(tags, "TIT2"), plat::ToUtf8(kTitle));
    EXPECT_EQ(FirstValue(tags, "TPE1"), plat::ToUtf8(kArtist));
    EXPECT_EQ(FirstValue(tags, "TALB"), plat::ToUtf8(kAlbum));
    EXPECT_EQ(FirstValue(tags, "TCON"), plat::ToUtf8(kGenre));
}

TEST_F(Mp3EncoderTest, TheRecordFollowsTheRateChoice) {
    struct Case {
        bool cbr;
        ULONG rate, low, high;
        uint32_t bitrate, maxBitrate, mpegVersion;
        int32_t preset, vbr, method;
        int64_t lengthTolerance;  // a 32 kbps frame is too small for the Info frame's gapless data
    } cases[] = {
        {true, 32, 0, 0, 32, 0, 0, LQP_CBR, 0, VBR_METHOD_DEFAULT, 2 * 1152},
        {true, 320, 0, 0, 320, 0, 1, LQP_CBR, 0, VBR_METHOD_DEFAULT, 1152},
        {false, 0, 96, 192, 96, 192, 0, LQP_NOPRESET, 1, VBR_METHOD_NEW, 1152},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate + c.low);
        auto e = NewEncoder();
        if (c.cbr) e->SetConstantBitrate(c.rate);
        else e->SetMinMaxBitrates(c.low, c.high);
        ASSERT_EQ(Save(e.Get(), 2000, u"rec"), S_OK);
        const BE_CONFIG& r = e->Config();
        EXPECT_EQ(r.dwConfig, BE_CONFIG_LAME);
        EXPECT_EQ(r.dwStructSize, 347u);
        EXPECT_EQ(r.dwSampleRate, 48000u);
        EXPECT_EQ(r.nMode, BE_MP3_MODE_JSTEREO);
        EXPECT_EQ(r.dwBitrate, c.bitrate);
        EXPECT_EQ(r.dwMaxBitrate, c.maxBitrate);
        EXPECT_EQ(r.dwMpegVersion, c.mpegVersion);
        EXPECT_EQ(r.nPreset, c.preset);
        EXPECT_EQ(r.bEnableVBR, c.vbr);
        EXPECT_EQ(r.nVbrMethod, c.method);
        EXPECT_EQ(r.bNoRes, 1);
        ProbedAudio probe;
        ASSERT_TRUE(ProbeAudio(plat::ToUtf8(dir / u"rec.mp3"), &probe));
        EXPECT_TRUE(probe.decodedCleanly);
        EXPECT_NEAR(probe.decodedFrames, 96000, c.lengthTolerance);
        ASSERT_TRUE(plat::DeleteFile(dir / u"rec.mp3"));
    }
}

TEST_F(Mp3EncoderTest, RatesMp3DoesNotOfferFailWithoutAFile) {
    auto e = NewEncoder();
    for (ULONG rate : {0u, 7u, 501u, 100000u, 4295096u}) {
        SCOPED_TRACE(rate);
        e->SetConstantBitrate(rate);
        EXPECT_EQ(Save(e.Get(), 1000, u"bad"), E_INVALIDARG);
    }
    e->SetMinMaxBitrates(192, 96);
    EXPECT_EQ(Save(e.Get(), 1000, u"bad"), E_INVALIDARG);
    EXPECT_TRUE(dir.Names().empty());
    e->SetConstantBitrate(64);
    EXPECT_EQ(Save(e.Get(), 1000, u"good"), S_OK);
    EXPECT_EQ(dir.Names(), std::vector<std::u16string>{u"good.mp3"});
}

TEST_F(Mp3EncoderTest, AMissingOrDamagedLibraryFailsBeforeAnyRead) {
    struct Case {
        std::string library;
        HRESULT expected;
    } cases[] = {
        {plat::ToUtf8(dir.Path()) + "nowhere/liblame_enc.so", HRESULT_FROM_WIN32(126)},
        {LAME_ENC_PARTIAL, E_FAIL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.library);
        auto e = NewEncoder(c.library);  // the factory does not need the library
        e->SetConstantBitrate(128);
        EXPECT_EQ(Save(e.Get(), 1000, u"x"), c.expected);
        EXPECT_TRUE(cache->reads.empty());
        EXPECT_TRUE(dir.Names().empty());
    }
}

TEST_F(Mp3EncoderTest, ALibraryWithoutInfoTagCallWritesTheFrameByName) {
    auto e = NewEncoder(LAME_ENC_NOINFOTAG);
    e->SetConstantBitrate(128);
    ASSERT_EQ(Save(e.Get(), 3000, u"info"), S_OK);
    // The Info frame right after the tag, filled in: its frame count is set.
    const std::string bytes = ReadText(dir / u"info.mp3");
    const size_t tag = BuildId3v23Tag(kTitle, kArtist, kAlbum, kGenre).size();
    const size_t info = bytes.find("Info", tag);
    ASSERT_NE(info, std::string::npos);
    EXPECT_LT(info, tag + 64);
    ASSERT_GT(bytes.size(), info + 12);
    EXPECT_TRUE(bytes[info + 7] & 1);  // frame count present
    const uint32_t frames = (uint8_t(bytes[info + 8]) << 24) | (uint8_t(bytes[info + 9]) << 16) |
                            (uint8_t(bytes[info + 10]) << 8) | uint8_t(bytes[info + 11]);
    EXPECT_NEAR(frames, 3 * 48000 / 1152, 3);
}

}  // namespace
