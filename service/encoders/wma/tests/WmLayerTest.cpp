#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/core/Text.h"
#include "platform/fs/File.h"
#include "service/encoders/tests/support/MediaProbe.h"
#include "service/encoders/wma/WmFormat.h"
#include "service/encoders/wma/WmProfileSpec.h"

namespace {

namespace fs = std::filesystem;

std::u16string Profile(const std::u16string& body, const std::u16string& root =
                                                        u"<profile version=\"1\" name=\"t\" packetsize=\"2112\">") {
    return u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + root + body + u"</profile>";
}
const std::u16string kStream =
    u"<stream number=\"1\" type=\"audio\" codec=\"wmav2\" bitrate=\"128000\" samplerate=\"48000\" channels=\"2\"/>";

// The text of a shipped profile, as it lies beside the test program.
std::u16string ShippedProfile(const std::string& name) {
    std::ifstream in(plat::ToUtf8(plat::GetModuleDir()) + name, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::u16string text(bytes.size() / 2, u'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * 2);
    return text;
}

TEST(WmProfileText, ShippedProfilesGiveTheirRates) {
    struct Case {
        const char* file;
        uint32_t bitRate, sampleRate;
    } cases[] = {{"64_48000.prx", 64000, 48000},   {"96_48000.prx", 96000, 48000},
                 {"128_48000.prx", 128000, 48000}, {"192_48000.prx", 192000, 48000},
                 {"256_44100.prx", 256000, 44100}, {"320_44100.prx", 320000, 44100}};
    for (const Case& c : cases) {
        const std::u16string text = ShippedProfile(c.file);
        ASSERT_FALSE(text.empty()) << c.file;
        EXPECT_EQ(text.front(), u'\xFEFF') << c.file << " starts with its byte-order mark";
        WmProfileSpec spec;
        ASSERT_TRUE(ParseWmProfile(text.data(), text.size(), &spec)) << c.file;
        ASSERT_EQ(spec.streams.size(), 1u);
        EXPECT_EQ(spec.streams[0].codec, "wmav2");
        EXPECT_EQ(spec.streams[0].bitRate, c.bitRate) << c.file;
        EXPECT_EQ(spec.streams[0].sampleRate, c.sampleRate) << c.file;
        EXPECT_EQ(spec.streams[0].channels, 2u);
        EXPECT_GT(spec.packetSize, 0u) << c.file;
    }
}

TEST(WmProfileText, TextThatIsNoProfileOfOneAudioStreamIsRefused) {
    const std::u16string withNull = Profile(kStream).insert(10, 1, u'\0');
    struct Case {
        const char* what;
        std::u16string text;
    } cases[] = {
        {"empty", u""},
        {"not XML", u"128 kbit/s please"},
        {"cut short", Profile(kStream).substr(0, 80)},
        {"a null inside", withNull},
        {"another root", u"<prof version=\"1\">" + kStream + u"</prof>"},
        {"another version", Profile(kStream, u"<profile version=\"2\">")},
        {"no stream", Profile(u"")},
        {"two streams", Profile(kStream + kStream)},
        {"a video stream", Profile(u"<stream number=\"1\" type=\"video\" codec=\"wmav2\" bitrate=\"128000\" "
                                   u"samplerate=\"48000\" channels=\"2\"/>")},
        {"a codec we cannot make", Profile(u"<stream number=\"1\" type=\"audio\" codec=\"mp3\" bitrate=\"128000\" "
                                           u"samplerate=\"48000\" channels=\"2\"/>")},
        {"an odd rate", Profile(u"<stream number=\"1\" type=\"audio\" codec=\"wmav2\" bitrate=\"128000\" "
                                u"samplerate=\"44000\" channels=\"2\"/>")},
        {"three channels", Profile(u"<stream number=\"1\" type=\"audio\" codec=\"wmav2\" bitrate=\"128000\" "
                                   u"samplerate=\"48000\" channels=\"3\"/>")},
        {"a rate with letters", Profile(u"<stream number=\"1\" type=\"audio\" codec=\"wmav2\" bitrate=\"128k\" "
                                        u"samplerate=\"48000\" channels=\"2\"/>")},
        {"a rate past 32 bits", Profile(u"<stream number=\"1\" type=\"audio\" codec=\"wmav2\" "
                                        u"bitrate=\"4295096000\" samplerate=\"48000\" channels=\"2\"/>")},
        {"a tiny packet", Profile(kStream, u"<profile version=\"1\" packetsize=\"50\">")},
    };
    for (const Case& c : cases) {
        WmProfileSpec spec;
        EXPECT_FALSE(ParseWmProfile(c.text.data(), c.text.size(), &spec)) << c.what;
    }
    plat::ComPtr<IWMProfileManager> manager;
    ASSERT_EQ(WMCreateProfileManager(manager.ReleaseAndGetAddressOf()), S_OK);
    plat::ComPtr<IWMProfile> profile;
    const std::u16string good = Profile(kStream);
    EXPECT_EQ(manager->LoadProfileByData(u"<x/>", 4, profile.ReleaseAndGetAddressOf()),
              HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
    EXPECT_EQ(profile.Get(), nullptr);
    ASSERT_EQ(manager->LoadProfileByData(good.data(), static_cast<DWORD>(good.size()), profile.ReleaseAndGetAddressOf()),
              S_OK);
    DWORD count = 0;
    ASSERT_EQ(profile->GetStreamCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
}

class WmWriterTest : public testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::path(testing::TempDir()) / ("wmwriter_" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
        ASSERT_EQ(WMCreateProfileManager(m_manager.ReleaseAndGetAddressOf()), S_OK);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    plat::ComPtr<IWMProfile> Load(const std::u16string& text) {
        plat::ComPtr<IWMProfile> p;
        EXPECT_EQ(m_manager->LoadProfileByData(text.data(), static_cast<DWORD>(text.size()), p.ReleaseAndGetAddressOf()),
                  S_OK);
        return p;
    }
    plat::ComPtr<IWMWriter> Writer(IWMProfile* profile) {
        plat::ComPtr<IWMWriter> w;
        EXPECT_EQ(WMCreateWriter(nullptr, w.ReleaseAndGetAddressOf()), S_OK);
        if (profile) {
            EXPECT_EQ(w->SetProfile(profile), S_OK);
        }
        return w;
    }
    static HRESULT Write(IWMWriter* w, const int16_t* pcm, DWORD bytes, QWORD time) {
        plat::ComPtr<INSSBuffer> sample;
        HRESULT hr = w->AllocateSample(bytes, sample.ReleaseAndGetAddressOf());
        if (FAILED(hr)) return hr;
        BYTE* data = nullptr;
        DWORD length = 0;
        sample->GetBufferAndLength(&data, &length);
        std::memcpy(data, pcm, std::min(bytes, length));
        return w->WriteSample(0, time, 0, sample);
    }
    std::string Path(const char* name) const { return (m_dir / name).string(); }

    fs::path m_dir;
    plat::ComPtr<IWMProfileManager> m_manager;
};

// Every shipped profile: 20 s of 48 kHz PCM in third-of-a-second samples
// gives a wmav2 file at the profile's rate whose size keeps within 10 % of
// the bit rate and whose decoded length is the input's within 2048 samples.
TEST_F(WmWriterTest, EveryShippedProfileKeepsItsRateAndLength) {
    const char* files[] = {"64_48000.prx", "96_48000.prx", "128_48000.prx",
                           "192_48000.prx", "256_44100.prx", "320_44100.prx"};
    const uint32_t frames = 48000 * 20;
    const std::vector<int16_t> pcm = enctest::StereoTone(frames, 48000, 1000.0);
    for (const char* file : files) {
        SCOPED_TRACE(file);
        plat::ComPtr<IWMProfile> profile = Load(ShippedProfile(file));
        ASSERT_TRUE(profile);
        plat::ComPtr<IWmProfileSpec> spec;
        ASSERT_EQ(profile.As(&spec), S_OK);
        const WmStreamSpec stream = spec->Spec().streams[0];
        plat::ComPtr<IWMWriter> w = Writer(profile);
        const std::string path = Path("rate.wma");
        ASSERT_EQ(w->SetOutputFilename(plat::ToUtf16(path).c_str()), S_OK);
        // The input props answer as stream configurations and take 48 kHz PCM.
        plat::ComPtr<IWMInputMediaProps> props;
        ASSERT_EQ(w->GetInputProps(0, props.ReleaseAndGetAddressOf()), S_OK);
        plat::ComPtr<IWMStreamConfig> config;
        ASSERT_EQ(props.As(&config), S_OK);
        WAVEFORMATEX wf{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
        WM_MEDIA_TYPE mt{WMMEDIATYPE_Audio, WMMEDIASUBTYPE_PCM, TRUE, FALSE, 0, WMFORMAT_WaveFormatEx, nullptr,
                         sizeof wf, reinterpret_cast<BYTE*>(&wf)};
        ASSERT_EQ(props->SetMediaType(&mt), S_OK);
        ASSERT_EQ(w->SetInputProps(0, props), S_OK);
        ASSERT_EQ(w->BeginWriting(), S_OK);
        const DWORD piece = 64000;
        QWORD time = 0;
        for (size_t at = 0; at < pcm.size() * 2; at += piece, time += 3333333) {
            const DWORD bytes = static_cast<DWORD>(std::min<size_t>(piece, pcm.size() * 2 - at));
            ASSERT_EQ(Write(w, pcm.data() + at / 2, bytes, time), S_OK);
        }
        ASSERT_EQ(w->EndWriting(), S_OK);

        enctest::ProbedAudio probe;
        ASSERT_TRUE(enctest::ProbeAudio(path, &probe));
        EXPECT_EQ(probe.format, "asf");
        EXPECT_EQ(probe.codec, "wmav2");
        EXPECT_EQ(probe.sampleRate, static_cast<int>(stream.sampleRate));
        EXPECT_EQ(probe.channels, 2);
        EXPECT_TRUE(probe.decodedCleanly);
        const int64_t expected = int64_t(frames) * stream.sampleRate / 48000;
        EXPECT_NEAR(static_cast<double>(probe.decodedFrames), static_cast<double>(expected), 2048.0);
        const double kbps = fs::file_size(path) * 8.0 / 20.0 / 1000.0;
        EXPECT_NEAR(kbps, stream.bitRate / 1000.0, stream.bitRate / 10000.0);
    }
}

TEST_F(WmWriterTest, AttributesReachTheHeaderUnderTheirOwnNames) {
    plat::ComPtr<IWMWriter> w = Writer(Load(Profile(kStream)));
    const std::string path = Path("tags.wma");
    ASSERT_EQ(w->SetOutputFilename(plat::ToUtf16(path).c_str()), S_OK);
    plat::ComPtr<IWMHeaderInfo> header;
    ASSERT_EQ(w.As(&header), S_OK);
    const std::pair<const char16_t*, std::u16string> tags[] = {
        {u"Title", u"Ünïcödé Söng ♪"}, {u"Author", u"Björk Ψ"}, {u"WM/AlbumTitle", u"日本語アルバム"}, {u"WM/Genre", u"Électro"}};
    for (const auto& [name, value] : tags) {
        // With and without the terminating null.
        const WORD bytes = static_cast<WORD>((value.size() + (name[0] == u'T' ? 1 : 0)) * 2);
        ASSERT_EQ(header->SetAttribute(0, name, WMT_TYPE_STRING, reinterpret_cast<const BYTE*>(value.c_str()), bytes),
                  S_OK);
    }
    EXPECT_EQ(header->SetAttribute(1, u"Title", WMT_TYPE_STRING, nullptr, 0), E_INVALIDARG) << "stream attributes";
    EXPECT_EQ(header->SetAttribute(0, u"Title", WMT_TYPE_DWORD, nullptr, 0), E_INVALIDARG);
    ASSERT_EQ(w->BeginWriting(), S_OK);
    const std::vector<int16_t> pcm = enctest::StereoTone(48000, 48000, 440.0);
    ASSERT_EQ(Write(w, pcm.data(), static_cast<DWORD>(pcm.size() * 2), 0), S_OK);
    ASSERT_EQ(w->EndWriting(), S_OK);

    auto raw = enctest::ReadRawTags(path);
    // The muxer repeats the header's own title and author among the extended
    // attributes; the first value is the header's.
    for (const auto& [name, value] : tags)
        EXPECT_EQ(enctest::FirstValue(raw, plat::ToUtf8(name)), plat::ToUtf8(value)) << plat::ToUtf8(name);
}

TEST_F(WmWriterTest, CallsOutOfOrderOrWithBadInputFailAndLeaveNoFile) {
    // No profile, no file name.
    plat::ComPtr<IWMWriter> bare = Writer(nullptr);
    EXPECT_EQ(bare->BeginWriting(), E_UNEXPECTED);
    DWORD inputs = 7;
    EXPECT_EQ(bare->GetInputCount(&inputs), S_OK);
    EXPECT_EQ(inputs, 0u);

    plat::ComPtr<IWMWriter> w = Writer(Load(Profile(kStream)));
    EXPECT_EQ(w->BeginWriting(), E_UNEXPECTED) << "no file name";
    const std::vector<int16_t> pcm = enctest::StereoTone(4800, 48000, 440.0);
    EXPECT_EQ(Write(w, pcm.data(), 19200, 0), E_UNEXPECTED) << "a sample before the file is begun";
    plat::ComPtr<INSSBuffer> sample;
    EXPECT_EQ(w->AllocateSample(0, sample.ReleaseAndGetAddressOf()), E_INVALIDARG);

    // 8-bit or inconsistent PCM is refused by the input.
    plat::ComPtr<IWMInputMediaProps> props;
    ASSERT_EQ(w->GetInputProps(0, props.ReleaseAndGetAddressOf()), S_OK);
    WAVEFORMATEX eight{WAVE_FORMAT_PCM, 2, 48000, 96000, 2, 8, 0};
    WAVEFORMATEX skewed{WAVE_FORMAT_PCM, 2, 48000, 192001, 4, 16, 0};
    for (WAVEFORMATEX* wf : {&eight, &skewed}) {
        WM_MEDIA_TYPE mt{WMMEDIATYPE_Audio, WMMEDIASUBTYPE_PCM, TRUE, FALSE, 0, WMFORMAT_WaveFormatEx, nullptr,
                         sizeof *wf, reinterpret_cast<BYTE*>(wf)};
        EXPECT_EQ(props->SetMediaType(&mt), E_INVALIDARG);
    }

    // A folder that does not exist: the begin fails and nothing is left.
    const std::string missing = Path("no/such/folder.wma");
    ASSERT_EQ(w->SetOutputFilename(plat::ToUtf16(missing).c_str()), S_OK);
    EXPECT_TRUE(FAILED(w->BeginWriting()));
    EXPECT_FALSE(fs::exists(missing));

    // A begun file takes only whole stereo frames.
    plat::ComPtr<IWMWriter> v = Writer(Load(Profile(kStream)));
    const std::string path = Path("odd.wma");
    ASSERT_EQ(v->SetOutputFilename(plat::ToUtf16(path).c_str()), S_OK);
    ASSERT_EQ(v->BeginWriting(), S_OK);
    EXPECT_EQ(Write(v, pcm.data(), 6, 0), E_INVALIDARG);
    EXPECT_EQ(v->SetOutputFilename(u"/tmp/other.wma"), E_UNEXPECTED);
    ASSERT_EQ(v->EndWriting(), S_OK);
    EXPECT_EQ(v->EndWriting(), E_UNEXPECTED);
}

}  // namespace
