// The AAC and WMA formats saved through the encoder base from a cache held in
// memory, and read back with the system's decoder tools.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "log/KErrorLog.h"
#include "log/tests/TestErrorLog.h"
#include "platform/com/Variant.h"
#include "platform/core/Text.h"
#include "service/audio/KCache.h"
#include "service/encoders/EncoderRegistry.h"
#include "service/encoders/KEncoderFactories.h"
#include "service/encoders/KAacEncoder.h"
#include "service/encoders/KWmaEncoder.h"
#include "service/encoders/tests/EncoderTestSupport.h"
#include "service/encoders/tests/support/MediaProbe.h"

using namespace enctest;

namespace {

constexpr ULONG kCacheMs = 14000;

std::vector<BYTE> ToneBytes(ULONG ms, double hz) {
    const std::vector<int16_t> pcm = StereoTone(ms * 48, 48000, hz);
    std::vector<BYTE> bytes(pcm.size() * 2);
    std::memcpy(bytes.data(), pcm.data(), bytes.size());
    return bytes;
}

class AacWmaEncoderTest : public ::testing::Test {
public:
    static void SetUpTestSuite() { s_tone = ToneBytes(kCacheMs, 997.0); }

    plat::ComPtr<IAudioEncoder> Make(EEncoderType type) {
        plat::ComPtr<IAudioEncoder> e(type == eAAC ? static_cast<IAudioEncoder*>(KAacEncoder::Create())
                                                   : static_cast<IAudioEncoder*>(KWmaEncoder::Create()));
        EXPECT_TRUE(e);
        if (!cache) cache = MemoryCache::CreateInstance(0, s_tone);
        EXPECT_EQ(e->SetCachePtr(cache.Get()), S_OK);
        return e;
    }
    HRESULT Save(IAudioEncoder* e, ULONG leftMs, ULONG rightMs, const std::u16string& path) {
        plat::ComPtr<FakeSong> song(FakeSong::CreateInstance(leftMs, rightMs, u"T"));
        song->Tag()->SetArtist(plat::Bstr(u"Sigur Rós ♪"));
        song->Tag()->SetTitle(plat::Bstr(u"Hoppípolla — 日本"));
        song->Tag()->SetAlbum(plat::Bstr(u"Takk…"));
        song->Tag()->SetGenre(plat::Bstr(u"Post-rock Ψ"));
        plat::Bstr name(path);
        return e->Save(song.Get(), name);
    }
    std::string Utf8(const std::u16string& name) { return plat::ToUtf8(dir / name); }

    static std::vector<BYTE> s_tone;
    TempFolder dir;
    plat::ComPtr<MemoryCache> cache;
};
std::vector<BYTE> AacWmaEncoderTest::s_tone;

TEST(AacWmaTables, RatesChooseTuningAndProfiles) {
    struct Case {
        ULONG kbps;
        uint32_t bandWidth, quantqual;
        const char16_t* profile;
    } cases[] = {{64, 10250, 72, u"64_48000.prx"},     {96, 13400, 87, u"96_48000.prx"},
                 {128, 15900, 99, u"128_48000.prx"},   {192, 19900, 119, u"192_48000.prx"},
                 {256, 21400, 129, u"256_44100.prx"},  {320, 23900, 139, u"320_44100.prx"},
                 {160, 0, 0, nullptr},                 {0, 0, 0, nullptr}};
    for (const Case& c : cases) {
        uint32_t bw = 0, q = 0;
        EXPECT_EQ(KAacEncoder::TuningFor(c.kbps, &bw, &q), c.profile != nullptr) << c.kbps;
        EXPECT_EQ(bw, c.bandWidth) << c.kbps;
        EXPECT_EQ(q, c.quantqual) << c.kbps;
        const char16_t* p = KWmaEncoder::ProfileFileFor(c.kbps);
        EXPECT_EQ(p ? std::u16string(p) : u"", c.profile ? std::u16string(c.profile) : u"") << c.kbps;
    }
}

TEST(AacWmaTables, TheControllerMakesBothFormatsOnceRegistered) {
    RegisterEncoders();
    for (EEncoderType type : {eAAC, eWMA}) {
        KEncoderFactory make = KEncoderFactories::Process().Get(type);
        ASSERT_TRUE(make) << type;
        plat::ComPtr<IAudioEncoder> encoder(make());
        ASSERT_TRUE(encoder) << type;
        auto* internal = dynamic_cast<IAudioEncoderInternal*>(encoder.Get());
        ASSERT_NE(internal, nullptr);
        EXPECT_EQ(std::u16string(internal->GetExtension()), type == eAAC ? u".aac" : u".wma");
    }
}

// A 10 s stretch with a tail shorter than a piece: codec, rate, channels,
// constant rate within 10 %, length, and (WMA) the tags.
TEST_F(AacWmaEncoderTest, SavedFilesDecodeAtTheirRatesAndLengths) {
    struct Case {
        EEncoderType type;
        ULONG kbps;
        const char* codec;
        int rate;
    } cases[] = {{eAAC, 128, "aac", 48000}, {eAAC, 64, "aac", 48000}, {eWMA, 128, "wmav2", 48000},
                 {eWMA, 256, "wmav2", 44100}};
    const ULONG leftMs = 1500, rightMs = 11507;
    const int64_t frames = int64_t(rightMs - leftMs) * 48;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.codec) + " " + std::to_string(c.kbps));
        plat::ComPtr<IAudioEncoder> e = Make(c.type);
        ASSERT_EQ(e->SetConstantBitrate(c.kbps), S_OK);
        const std::u16string name = u"song" + plat::ToUtf16(std::to_string(c.kbps)) + (c.type == eAAC ? u".aac" : u".wma");
        ASSERT_EQ(Save(e, leftMs, rightMs, dir / name), S_OK);
        ProbedAudio probe;
        ASSERT_TRUE(ProbeAudio(Utf8(name), &probe));
        EXPECT_EQ(probe.codec, c.codec);
        EXPECT_EQ(probe.sampleRate, c.rate);
        EXPECT_EQ(probe.channels, 2);
        EXPECT_TRUE(probe.decodedCleanly);
        const double seconds = (rightMs - leftMs) / 1000.0;
        const double kbps = std::filesystem::file_size(Utf8(name)) * 8.0 / seconds / 1000.0;
        EXPECT_NEAR(kbps, c.kbps, c.kbps / 10.0);
        if (c.type == eAAC) {
            EXPECT_EQ(probe.profile, "Main");
            // One frame of codec delay in front, the last frame filled up.
            EXPECT_GE(probe.decodedFrames, frames + 1024);
            EXPECT_LE(probe.decodedFrames, frames + 2047);
            EXPECT_TRUE(probe.tags.empty());
        } else {
            EXPECT_NEAR(static_cast<double>(probe.decodedFrames), double(frames) * c.rate / 48000, 2048.0);
            // Every value of every field, under any spelling of its name:
            // each field once.
            auto raw = ReadRawTags(Utf8(name));
            using Values = std::vector<std::string>;
            EXPECT_EQ(AllValues(raw, "Author"), Values{"Sigur Rós ♪"});
            EXPECT_EQ(AllValues(raw, "Title"), Values{"Hoppípolla — 日本"});
            EXPECT_EQ(AllValues(raw, "WM/AlbumTitle"), Values{"Takk…"});
            EXPECT_EQ(AllValues(raw, "WM/Genre"), Values{"Post-rock Ψ"});
            EXPECT_EQ(probe.tags["title"], "Hoppípolla — 日本");
            EXPECT_EQ(probe.tags["artist"], "Sigur Rós ♪");
        }
    }
}

// Rates outside what a format makes fail cleanly: no file, WMA's missing
// profile in the error list, and the same encoder saves at a good rate after.
TEST_F(AacWmaEncoderTest, BadRatesFailWithoutAFileAndTheEncoderSavesAfterwards) {
    struct Case {
        EEncoderType type;
        ULONG kbps;
        bool saves;
    } cases[] = {{eAAC, 0, true},       {eAAC, 7, false},     {eAAC, 501, false}, {eAAC, 100000, false},
                 {eAAC, 4295096, false}, {eWMA, 0, false},    {eWMA, 7, false},   {eWMA, 160, false},
                 {eWMA, 501, false},     {eWMA, 100000, false}, {eWMA, 4295096, false}};
    int n = 0;
    bool firstWma = true;
    for (const Case& c : cases) {
        SCOPED_TRACE((c.type == eAAC ? "aac " : "wma ") + std::to_string(c.kbps));
        KErrorLog::Instance().ClearErrors();
        plat::ComPtr<IAudioEncoder> e = Make(c.type);
        ASSERT_EQ(e->SetConstantBitrate(c.kbps), S_OK);
        const std::u16string name = u"bad" + plat::ToUtf16(std::to_string(n++));
        const HRESULT hr = Save(e, 1000, 2000, dir / name);
        const bool made = std::filesystem::exists(Utf8(name + (c.type == eAAC ? u".aac" : u".wma")));
        if (c.saves) {
            EXPECT_EQ(hr, S_OK);
            EXPECT_TRUE(made);
            continue;
        }
        EXPECT_TRUE(FAILED(hr));
        EXPECT_FALSE(made);
        // The log joins a repeat of the same entry within a second to the
        // first, so only the first missing profile is collected here.
        if (c.type == eWMA && std::exchange(firstWma, false)) {
            LONG code = 0;
            std::u16string text;
            ASSERT_TRUE(KErrorLog::Instance().PopError(&code, &text));
            EXPECT_EQ(code, EC_OPEN_DATA_FILE);
            EXPECT_NE(text.find(plat::GetModuleDir()), std::u16string::npos) << "names the path tried";
        }
        ASSERT_EQ(e->SetConstantBitrate(128), S_OK);
        ASSERT_EQ(Save(e, 1000, 2000, dir / (name + u"ok")), S_OK);
    }
    std::vector<std::u16string> names = dir.Names();
    EXPECT_EQ(names.size(), 11u) << "one file per good save, nothing else";
}

// An AAC and a WMA save from one real cache at the same time: both files
// hold the whole stretch.
TEST_F(AacWmaEncoderTest, TwoFormatsSaveFromOneRealCacheAtOnce) {
    plat::ComPtr<KCache> real(KCache::Create());
    ASSERT_TRUE(real);
    std::filesystem::create_directories(Utf8(u"cache"));
    ASSERT_EQ(real->SetCacheDir(plat::Bstr(dir / u"cache")), S_OK);
    real->Load();  // nothing stored yet
    const std::vector<BYTE> tone = ToneBytes(6000, 440.0);
    for (size_t at = 0; at < tone.size(); at += 192000)
        ASSERT_EQ(real->WriteEx(PLAY_DEVICE_BUFFER, 192000, const_cast<BYTE*>(&tone[at])), S_OK);
    ASSERT_EQ(real->Flush(), S_OK);
    ULONGLONG start = 0;
    ASSERT_EQ(real->GetStartReadPos(&start), S_OK);
    const ULONG leftMs = static_cast<ULONG>(start / 192) + 500, rightMs = leftMs + 5000;

    plat::ComPtr<IAudioEncoder> aac(KAacEncoder::Create()), wma(KWmaEncoder::Create());
    ASSERT_TRUE(aac && wma);
    for (IAudioEncoder* e : {aac.Get(), wma.Get()}) {
        ASSERT_EQ(e->SetCachePtr(real.Get()), S_OK);
        ASSERT_EQ(e->SetConstantBitrate(96), S_OK);
    }
    HRESULT aacResult = E_FAIL;
    std::thread other([&] { aacResult = Save(aac, leftMs, rightMs, dir / u"both.aac"); });
    const HRESULT wmaResult = Save(wma, leftMs, rightMs, dir / u"both.wma");
    other.join();
    ASSERT_EQ(aacResult, S_OK);
    ASSERT_EQ(wmaResult, S_OK);
    ProbedAudio a, w;
    ASSERT_TRUE(ProbeAudio(Utf8(u"both.aac"), &a));
    ASSERT_TRUE(ProbeAudio(Utf8(u"both.wma"), &w));
    EXPECT_TRUE(a.decodedCleanly);
    EXPECT_TRUE(w.decodedCleanly);
    EXPECT_GE(a.decodedFrames, 5000 * 48 + 1024);
    EXPECT_LE(a.decodedFrames, 5000 * 48 + 2047);
    EXPECT_NEAR(static_cast<double>(w.decodedFrames), 5000.0 * 48, 2048.0);
}

// Two songs of a group on one WMA encoder: the profile is loaded and a
// writer made for each, and both files are whole.
TEST_F(AacWmaEncoderTest, AGroupOfTwoWmaSongsGivesTwoWholeFiles) {
    plat::ComPtr<IAudioEncoder> e = Make(eWMA);
    ASSERT_EQ(e->SetConstantBitrate(64), S_OK);
    plat::ComPtr<ISong> a(FakeSong::CreateInstance(0, 2000, u"Één"));
    plat::ComPtr<ISong> b(FakeSong::CreateInstance(3000, 6000, u"Één"));
    std::vector<IUnknown*> items{a.Get(), b.Get()};
    plat::Variant v;
    ASSERT_EQ(plat::MakeUnknownArray(items, &v), S_OK);
    ASSERT_EQ(e->SaveGroup(v.Get(), plat::Bstr(dir.Path())), S_OK);
    const std::pair<std::u16string, double> files[] = {{u"Één.wma", 2.0}, {u"Één0.wma", 3.0}};
    for (const auto& [name, seconds] : files) {
        ProbedAudio probe;
        ASSERT_TRUE(ProbeAudio(Utf8(name), &probe)) << plat::ToUtf8(name);
        EXPECT_TRUE(probe.decodedCleanly);
        EXPECT_NEAR(static_cast<double>(probe.decodedFrames), seconds * 48000, 2048.0);
    }
}

}  // namespace

// A codec error in the middle of a save, or while the codec hands over its
// last frames: the save fails with nothing left in the folder, the error is
// logged, no 100 is reported, and the encoder saves again afterwards.
TEST_F(AacWmaEncoderTest, ACodecErrorInsideSaveFailsItCleanly) {
    struct Case {
        const char* where;
        bool draining;  // fail at the end of input, else at the tenth piece
    } cases[] = {{"mid-way", false}, {"draining", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        testutil::TestErrorLog log;
        ASSERT_TRUE(log.IsOpen());
        plat::ComPtr<KAacEncoder> aac(KAacEncoder::Create());
        ASSERT_TRUE(aac);
        ASSERT_EQ(aac->SetCachePtr(cache ? cache.Get() : (cache = MemoryCache::CreateInstance(0, s_tone)).Get()), S_OK);
        plat::ComPtr<ProgressLog> progress(ProgressLog::CreateInstance());
        progress->Attach(aac.Get());
        int calls = 0;
        aac->SetEncodeCall([&](faacEncHandle h, const void* in, uint32_t n, uint8_t* out, uint32_t size) {
            if (c.draining ? in == nullptr : ++calls == 10) return -1;
            return faacEncEncode(h, in, n, out, size);
        });
        EXPECT_EQ(Save(aac.Get(), 1000, 3000, dir / u"broken"), E_FAIL);
        EXPECT_TRUE(dir.Names().empty()) << "not even a hidden part is left";
        EXPECT_EQ(log.Count("AAC encoding was failed"), 1u);
        const std::vector<UINT> shown = progress->Values();
        EXPECT_TRUE(std::find(shown.begin(), shown.end(), 100u) == shown.end());

        aac->SetEncodeCall(nullptr);
        ASSERT_EQ(Save(aac.Get(), 1000, 3000, dir / u"whole"), S_OK);
        EXPECT_EQ(dir.Names(), std::vector<std::u16string>{u"whole.aac"});
        std::filesystem::remove(Utf8(u"whole.aac"));
    }
}

// Data that cannot be brought to the disk at the end fails the encode and is
// logged as a failed write, as for the other formats. A pipe takes the bytes
// but refuses to sync them.
TEST(AacClose, AFailedSyncAtTheEndFailsTheEncode) {
    TempFolder dir;
    const std::string path = plat::ToUtf8(dir / u"pipe.aac");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    plat::ComPtr<KAacEncoder> aac(KAacEncoder::Create());
    ASSERT_TRUE(aac);
    KErrorLog::Instance().ClearErrors();
    ASSERT_EQ(aac->EncoderInit(plat::Bstr(plat::ToUtf16(path))), S_OK);
    std::vector<BYTE> tone = ToneBytes(100, 440.0);
    for (size_t at = 0; at + 4096 <= tone.size(); at += 4096) ASSERT_EQ(aac->EncodePiece(tone.data() + at, 4096), S_OK);
    EXPECT_TRUE(FAILED(aac->EncoderUninit()));
    std::vector<std::u16string> errors;
    KErrorLog::Instance().GetErrors(&errors);
    EXPECT_FALSE(errors.empty()) << "the failure is logged";
    ::close(reader);
}
