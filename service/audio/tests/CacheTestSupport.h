#pragma once
// Shared helpers of the cache tests: a private folder per test and audio
// patterns whose every byte tells where it belongs.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/core/Text.h"
#include "platform/fs/File.h"
#include "platform/core/WinTypes.h"

namespace cachetest {

// A fresh folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir() {
        std::string tmpl = ::testing::TempDir() + "tonquil-cache-XXXXXX";
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        const char* made = ::mkdtemp(buf.data());
        m_path = made ? plat::ToUtf16(std::string(made)) + u"/" : std::u16string();
        // The product's data folder stays inside the test's folder too.
        ::setenv("TONQUIL_DATA_DIR", plat::ToUtf8(m_path + u"data").c_str(), 1);
    }
    ~TempDir() {
        if (!m_path.empty()) plat::DeleteFolderRecursive(m_path);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::u16string& Path() const { return m_path; }
    std::u16string Sub(const std::u16string& name) const { return m_path + name; }

private:
    std::u16string m_path;
};

// The byte that the pattern puts at an absolute stream position; never 0,
// so silence and audio are told apart.
inline BYTE PatternByte(ULONGLONG position) { return static_cast<BYTE>(position % 251 + 1); }

inline std::vector<BYTE> Pattern(ULONGLONG from, size_t bytes) {
    std::vector<BYTE> v(bytes);
    for (size_t i = 0; i < bytes; ++i) v[i] = PatternByte(from + i);
    return v;
}

// Little-endian 16-bit samples as bytes.
inline std::vector<BYTE> Samples(const std::vector<SHORT>& samples) {
    std::vector<BYTE> v(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        v[2 * i] = static_cast<BYTE>(samples[i] & 0xFF);
        v[2 * i + 1] = static_cast<BYTE>((samples[i] >> 8) & 0xFF);
    }
    return v;
}

inline SHORT SampleAt(const std::vector<BYTE>& bytes, size_t index) {
    return static_cast<SHORT>(bytes[2 * index] | (bytes[2 * index + 1] << 8));
}

}  // namespace cachetest

#include "platform/com/Bstr.h"
#include "platform/com/ComPtr.h"
#include "service/audio/KCache.h"

namespace cachetest {

// A cache of its own in a private folder, loaded (empty) and ready.
class CacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        cache = KCache::Create();
        ASSERT_TRUE(cache);
        plat::Bstr folder(dir.Path());
        ASSERT_EQ(cache->SetCacheDir(folder), S_OK);
        cache->Load();  // nothing stored yet
    }

    // Hands the pattern bytes of [from, from + bytes) to a buffer.
    void Put(UINT index, ULONGLONG from, size_t bytes) {
        auto data = Pattern(from, bytes);
        ASSERT_EQ(cache->WriteEx(index, static_cast<ULONG>(bytes), data.data()), S_OK);
    }
    void PutBytes(UINT index, std::vector<BYTE> data) {
        ASSERT_EQ(cache->WriteEx(index, static_cast<ULONG>(data.size()), data.data()), S_OK);
    }
    void Flush() { ASSERT_EQ(cache->Flush(), S_OK); }

    ULONGLONG WritePos(UINT index) {
        ULONGLONG pos = 0;
        EXPECT_EQ(cache->GetWritePosEx(index, &pos), S_OK);
        return pos;
    }
    ULONGLONG ReadPos(UINT index) {
        ULONGLONG pos = 0;
        EXPECT_EQ(cache->GetReadPosEx(index, &pos), S_OK);
        return pos;
    }
    ULONGLONG CacheStart() {
        ULONGLONG pos = 0;
        EXPECT_EQ(cache->GetStartReadPos(&pos), S_OK);
        return pos;
    }
    ULONGLONG CacheWrite() {
        ULONGLONG pos = 0;
        EXPECT_EQ(cache->GetWritePos(&pos), S_OK);
        return pos;
    }
    LONG Live(UINT index) {
        LONG yes = -1;
        EXPECT_EQ(cache->IsLive(index, &yes), S_OK);
        return yes;
    }
    std::vector<BYTE> Mixed(ULONGLONG pos, DWORD bytes) {
        std::vector<BYTE> out(bytes, 0xEE);
        EXPECT_EQ(cache->ReadFixedPos(pos, bytes, out.data()), S_OK);
        return out;
    }

    TempDir dir;
    plat::ComPtr<KCache> cache;
};

}  // namespace cachetest
