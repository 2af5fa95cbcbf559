#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/com/Bstr.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/core/Text.h"
#include "platform/fs/File.h"
#include "service/encoders/KAsfEncoder.h"
#include "service/encoders/tests/support/MediaProbe.h"

namespace {

namespace fs = std::filesystem;

class KAsfEncoderTest : public testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::path(testing::TempDir()) / ("asfenc_" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::u16string Shipped(const char* name) const { return plat::GetModuleDir() + plat::ToUtf16(name); }
    // A file of the given bytes in the test folder.
    std::u16string Make(const char* name, const std::string& bytes) const {
        std::ofstream((m_dir / name).string(), std::ios::binary) << bytes;
        return plat::ToUtf16((m_dir / name).string());
    }
    static std::string Utf16Bytes(const std::u16string& text) {
        return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
    }
    std::string Path(const char* name) const { return (m_dir / name).string(); }

    fs::path m_dir;
};

TEST_F(KAsfEncoderTest, ProfilesThatCannotBeUsedFailAndLeaveNoProfile) {
    std::string shipped;
    {
        std::ifstream in(plat::ToUtf8(Shipped("128_48000.prx")), std::ios::binary);
        shipped.assign((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    ASSERT_FALSE(shipped.empty());
    const std::u16string noAudio =
        u"<?xml version=\"1.0\"?><profile version=\"1\" name=\"silent\" packetsize=\"2112\"></profile>";
    struct Case {
        const char* what;
        std::u16string path;
    } cases[] = {
        {"the program's folder (a rate without a profile)", plat::GetModuleDir()},
        {"a missing file", plat::ToUtf16(Path("missing.prx"))},
        {"an odd size", Make("odd.prx", shipped + "x")},
        {"cut in half", Make("half.prx", shipped.substr(0, shipped.size() / 2))},
        {"empty", Make("empty.prx", "")},
        {"8-bit text", Make("ascii.prx", "<?xml version=\"1.0\"?><profile version=\"1\"/>")},
        {"no audio stream", Make("noaudio.prx", Utf16Bytes(noAudio))},
    };
    plat::Bstr name(plat::ToUtf16(Path("out.wma")));
    for (const Case& c : cases) {
        KAsfEncoder enc;
        ASSERT_EQ(enc.SetInputAudioPropertys(48000, 16, 2), S_OK);
        EXPECT_TRUE(FAILED(enc.LoadCustomProfile(c.path))) << c.what;
        EXPECT_EQ(enc.StartEncoding(name), E_FAIL) << c.what;
        EXPECT_FALSE(fs::exists(Path("out.wma"))) << c.what;
    }
    KAsfEncoder enc;
    EXPECT_EQ(enc.LoadCustomProfile(u""), E_INVALIDARG);
    EXPECT_EQ(enc.LoadCustomProfile(Shipped("128_48000.prx")), S_OK);
}

TEST_F(KAsfEncoderTest, AFailedStartKeepsNothingAndTheNextStartWrites) {
    KAsfEncoder enc;
    ASSERT_EQ(enc.SetInputAudioPropertys(48000, 16, 2), S_OK);
    ASSERT_EQ(enc.LoadCustomProfile(Shipped("64_48000.prx")), S_OK);
    plat::Bstr missing(plat::ToUtf16(Path("gone/out.wma")));
    EXPECT_TRUE(FAILED(enc.StartEncoding(missing)));
    const std::vector<uint8_t> piece(64000, 0);
    EXPECT_EQ(enc.WriteData(piece.data(), 64000, 3333333), E_UNEXPECTED) << "no writer stays after a failed start";
    EXPECT_EQ(enc.StartEncoding(plat::Bstr(u"")), E_FAIL);

    plat::Bstr good(plat::ToUtf16(Path("good.wma")));
    ASSERT_EQ(enc.StartEncoding(good), S_OK);
    EXPECT_EQ(enc.WriteData(nullptr, 64000, 3333333), E_FAIL);
    EXPECT_EQ(enc.WriteData(piece.data(), 0, 3333333), E_FAIL);
    ASSERT_EQ(enc.StopEncoding(), S_OK);
    enctest::ProbedAudio probe;
    EXPECT_TRUE(enctest::ProbeAudio(Path("good.wma"), &probe));
    // Everything is released: a new start needs the profile again.
    EXPECT_EQ(enc.StartEncoding(good), E_FAIL);
}

// Pieces are stamped with the running time; the tags go into the header as
// the player-known attributes.
TEST_F(KAsfEncoderTest, PiecesAreStampedInTurnAndTagsReadBack) {
    KAsfEncoder enc;
    ASSERT_EQ(enc.LoadCustomProfile(Shipped("256_44100.prx")), S_OK);
    ASSERT_EQ(enc.SetInputAudioPropertys(48000, 16, 2), S_OK);
    enc.SetTags(u"Sigur Rós", u"Hoppípolla — ♫", u"Takk…", u"Post-rock");
    plat::Bstr name(plat::ToUtf16(Path("stamped.wma")));
    ASSERT_EQ(enc.StartEncoding(name), S_OK);
    const std::vector<int16_t> pcm = enctest::StereoTone(16000 * 6, 48000, 880.0);
    const QWORD duration = 64000ull * 10000000 / 192000;
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(enc.RunningTime(), QWORD(i) * duration);
        ASSERT_EQ(enc.WriteData(reinterpret_cast<const BYTE*>(pcm.data()) + i * 64000, 64000, duration), S_OK);
    }
    EXPECT_EQ(enc.RunningTime(), 6 * 3333333ull);
    ASSERT_EQ(enc.StopEncoding(), S_OK);

    enctest::ProbedAudio probe;
    ASSERT_TRUE(enctest::ProbeAudio(Path("stamped.wma"), &probe));
    EXPECT_EQ(probe.sampleRate, 44100);
    EXPECT_NEAR(static_cast<double>(probe.decodedFrames), 2 * 44100.0, 2048.0);
    auto raw = enctest::ReadRawTags(Path("stamped.wma"));
    EXPECT_EQ(enctest::FirstValue(raw, "Author"), "Sigur Rós");
    EXPECT_EQ(enctest::FirstValue(raw, "Title"), "Hoppípolla — ♫");
    EXPECT_EQ(enctest::FirstValue(raw, "WM/AlbumTitle"), "Takk…");
    EXPECT_EQ(enctest::FirstValue(raw, "WM/Genre"), "Post-rock");
}

// A sample whose room is set by the test, as another writer may hand out.
class FixedSample : public plat::ComObject<FixedSample, INSSBuffer> {
public:
    explicit FixedSample(DWORD room) : m_data(room, 0xEE), m_length(room) {}
    HRESULT GetLength(DWORD* length) override { return *length = m_length, S_OK; }
    HRESULT SetLength(DWORD length) override {
        if (length > m_data.size()) return E_INVALIDARG;
        m_length = length;
        return S_OK;
    }
    HRESULT GetMaxLength(DWORD* length) override { return *length = static_cast<DWORD>(m_data.size()), S_OK; }
    HRESULT GetBuffer(BYTE** buffer) override { return *buffer = m_data.data(), S_OK; }
    // A fresh sample's current length may well be less than its room.
    HRESULT GetBufferAndLength(BYTE** buffer, DWORD* length) override {
        *buffer = m_data.data();
        *length = 0;
        return S_OK;
    }
    std::vector<BYTE> m_data;
    DWORD m_length;
};

// A piece goes into a sample whole or not at all: a short sample is refused
// and left as it was, never filled with the piece's first part.
TEST(KAsfEncoderSample, APieceFitsWholeOrFails) {
    std::vector<BYTE> piece(4096);
    for (size_t i = 0; i < piece.size(); ++i) piece[i] = static_cast<BYTE>(i * 7 + 1);
    struct Case {
        DWORD room;
        HRESULT expected;
    } cases[] = {{4096, S_OK}, {8192, S_OK}, {4095, HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)}, {4, HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.room);
        plat::ComPtr<FixedSample> sample(FixedSample::CreateInstance(c.room));
        ASSERT_TRUE(sample);
        EXPECT_EQ(KAsfEncoder::FillSample(sample.Get(), piece.data(), 4096), c.expected);
        if (SUCCEEDED(c.expected)) {
            EXPECT_EQ(sample->m_length, 4096u);
            EXPECT_TRUE(std::equal(piece.begin(), piece.end(), sample->m_data.begin()));
        } else {
            EXPECT_EQ(sample->m_length, c.room);
            EXPECT_EQ(std::count(sample->m_data.begin(), sample->m_data.end(), 0xEE), static_cast<long>(c.room));
        }
    }
    EXPECT_EQ(KAsfEncoder::FillSample(nullptr, piece.data(), 4096), E_POINTER);
}

}  // namespace
