#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/core/Text.h"
#include "platform/fs/File.h"
#include "platform/fs/tests/TempDir.h"
#include "platform/storage/MemoryStream.h"
#include "platform/storage/Storage.h"

namespace {

constexpr DWORD kCreate = STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kRead = STGM_READ | STGM_SHARE_EXCLUSIVE;

class StorageTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tq-stg-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_dir = plat::ToUtf16(tmpl);
    }
    void TearDown() override { plat::DeleteFolderRecursive(m_dir); }

    std::u16string Path(const char16_t* name) const { return m_dir + u"/" + name; }

    // Writes the streams named in order and commits; returns the commit result.
    static HRESULT WriteFile(const std::u16string& path,
                             const std::vector<std::pair<std::u16string, std::vector<uint8_t>>>& streams) {
        plat::ComPtr<IStorage> stg;
        HRESULT hr = StgCreateDocfile(path.c_str(), kCreate, stg.ReleaseAndGetAddressOf());
        if (FAILED(hr)) return hr;
        for (const auto& [name, bytes] : streams) {
            plat::ComPtr<IStream> s;
            hr = stg->CreateStream(name.c_str(), kCreate, s.ReleaseAndGetAddressOf());
            if (FAILED(hr)) return hr;
            ULONG done = 0;
            hr = s->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &done);
            if (FAILED(hr)) return hr;
        }
        return stg->Commit(STGC_DEFAULT);
    }

    static std::vector<uint8_t> ReadStream(const std::u16string& path, const char16_t* name, HRESULT* result) {
        std::vector<uint8_t> out;
        plat::ComPtr<IStorage> stg;
        *result = StgOpenStorage(path.c_str(), kRead, stg.ReleaseAndGetAddressOf());
        if (FAILED(*result)) return out;
        plat::ComPtr<IStream> s;
        *result = stg->OpenStream(name, kRead, s.ReleaseAndGetAddressOf());
        if (FAILED(*result)) return out;
        uint8_t buf[1000];
        for (;;) {
            ULONG got = 0;
            *result = s->Read(buf, sizeof buf, &got);
            if (FAILED(*result) || got == 0) break;
            out.insert(out.end(), buf, buf + got);
        }
        return out;
    }

    std::u16string m_dir;
};

TEST_F(StorageTest, NamedStreamsRoundTripByteExactSmallAndLarge) {
    std::vector<uint8_t> small{1, 2, 3, 0, 5};
    std::vector<uint8_t> large(100000);
    for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<uint8_t>(i * 7 + 3);
    std::u16string path = Path(u"two.dat");
    ASSERT_EQ(WriteFile(path, {{u"__DUMMY__", {0, 0, 0, 0}}, {u"small", small}, {u"big", large}}), S_OK);

    std::vector<uint8_t> header = testutil::ReadFileBytes(path);
    ASSERT_GE(header.size(), 8u);
    const uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    EXPECT_EQ(std::vector<uint8_t>(header.begin(), header.begin() + 8), std::vector<uint8_t>(signature, signature + 8));

    // Many small writes, as records are written, across the small-block limit.
    std::u16string chunkedPath = Path(u"chunked.dat");
    {
        plat::ComPtr<IStorage> stg;
        ASSERT_EQ(StgCreateDocfile(chunkedPath.c_str(), kCreate, stg.ReleaseAndGetAddressOf()), S_OK);
        plat::ComPtr<IStream> s;
        ASSERT_EQ(stg->CreateStream(u"chunked", kCreate, s.ReleaseAndGetAddressOf()), S_OK);
        for (size_t at = 0; at < large.size(); at += 13)
            ASSERT_EQ(s->Write(large.data() + at, static_cast<ULONG>(std::min<size_t>(13, large.size() - at)), nullptr),
                      S_OK);
        s = nullptr;
        ASSERT_EQ(stg->Commit(STGC_DEFAULT), S_OK);
    }
    HRESULT hr = E_FAIL;
    EXPECT_EQ(ReadStream(chunkedPath, u"chunked", &hr), large);
    EXPECT_EQ(ReadStream(path, u"small", &hr), small);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(ReadStream(path, u"big", &hr), large);
    EXPECT_EQ(ReadStream(path, u"__DUMMY__", &hr), (std::vector<uint8_t>{0, 0, 0, 0}));
    ReadStream(path, u"missing", &hr);
    EXPECT_EQ(hr, STG_E_FILENOTFOUND);
}

TEST_F(StorageTest, ReadsAtTheEndAreShort) {
    std::u16string path = Path(u"short.dat");
    ASSERT_EQ(WriteFile(path, {{u"s", {9, 8, 7}}}), S_OK);
    plat::ComPtr<IStorage> stg;
    ASSERT_EQ(StgOpenStorage(path.c_str(), kRead, stg.ReleaseAndGetAddressOf()), S_OK);
    plat::ComPtr<IStream> s;
    ASSERT_EQ(stg->OpenStream(u"s", kRead, s.ReleaseAndGetAddressOf()), S_OK);
    uint8_t buf[8] = {};
    ULONG got = 99;
    EXPECT_EQ(s->Read(buf, 2, &got), S_OK);
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(s->Read(buf, 8, &got), S_OK);
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(buf[0], 7);
    EXPECT_EQ(s->Read(buf, 8, &got), S_OK);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(s->Write(buf, 1, &got), STG_E_ACCESSDENIED);
}

TEST_F(StorageTest, OpeningsAreShareExclusive) {
    std::u16string path = Path(u"lock.dat");
    ASSERT_EQ(WriteFile(path, {{u"s", {1}}}), S_OK);
    plat::ComPtr<IStorage> first;
    ASSERT_EQ(StgOpenStorage(path.c_str(), kRead, first.ReleaseAndGetAddressOf()), S_OK);
    plat::ComPtr<IStorage> second;
    EXPECT_EQ(StgOpenStorage(path.c_str(), kRead, second.ReleaseAndGetAddressOf()), STG_E_SHAREVIOLATION);
    EXPECT_EQ(StgCreateDocfile(path.c_str(), kCreate, second.ReleaseAndGetAddressOf()), STG_E_SHAREVIOLATION);
    // A stream keeps the file held after its storage is released.
    plat::ComPtr<IStream> s;
    ASSERT_EQ(first->OpenStream(u"s", kRead, s.ReleaseAndGetAddressOf()), S_OK);
    first = nullptr;
    EXPECT_EQ(StgOpenStorage(path.c_str(), kRead, second.ReleaseAndGetAddressOf()), STG_E_SHAREVIOLATION);
    s = nullptr;
    EXPECT_EQ(StgOpenStorage(path.c_str(), kRead, second.ReleaseAndGetAddressOf()), S_OK);
}

TEST_F(StorageTest, NothingReachesTheDiskWithoutCommit) {
    std::u16string path = Path(u"keep.dat");
    ASSERT_EQ(WriteFile(path, {{u"s", {1, 2}}}), S_OK);
    std::vector<uint8_t> before = testutil::ReadFileBytes(path);
    {
        plat::ComPtr<IStorage> stg;
        ASSERT_EQ(StgCreateDocfile(path.c_str(), kCreate, stg.ReleaseAndGetAddressOf()), S_OK);
        plat::ComPtr<IStream> s;
        ASSERT_EQ(stg->CreateStream(u"s", kCreate, s.ReleaseAndGetAddressOf()), S_OK);
        ASSERT_EQ(s->Write("xyz", 3, nullptr), S_OK);
    }
    EXPECT_EQ(testutil::ReadFileBytes(path), before);

    std::u16string fresh = Path(u"fresh.dat");
    {
        plat::ComPtr<IStorage> stg;
        ASSERT_EQ(StgCreateDocfile(fresh.c_str(), kCreate, stg.ReleaseAndGetAddressOf()), S_OK);
    }
    EXPECT_FALSE(plat::PathExists(fresh));
}

TEST_F(StorageTest, RefusesWhatCannotBeWrittenFaithfully) {
    plat::ComPtr<IStorage> stg;
    ASSERT_EQ(StgCreateDocfile(Path(u"names.dat").c_str(), kCreate, stg.ReleaseAndGetAddressOf()), S_OK);
    plat::ComPtr<IStream> a, b;
    EXPECT_EQ(stg->CreateStream(u"0123456789012345678901234567890x", kCreate, a.ReleaseAndGetAddressOf()),
              STG_E_INVALIDNAME);
    EXPECT_EQ(stg->CreateStream(u"", kCreate, a.ReleaseAndGetAddressOf()), STG_E_INVALIDNAME);
    ASSERT_EQ(stg->CreateStream(u"a", kCreate, a.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(stg->CreateStream(u"b", kCreate, b.ReleaseAndGetAddressOf()), STG_E_ACCESSDENIED);
    a = nullptr;
    EXPECT_EQ(stg->CreateStream(u"a", kCreate, b.ReleaseAndGetAddressOf()), STG_E_FILEALREADYEXISTS);
    ASSERT_EQ(stg->CreateStream(u"b", kCreate, b.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(stg->Commit(STGC_DEFAULT), S_OK);
    // The stream was closed by the commit; the storage takes nothing more.
    EXPECT_EQ(b->Write("x", 1, nullptr), STG_E_REVERTED);
    EXPECT_EQ(stg->CreateStream(u"c", kCreate, a.ReleaseAndGetAddressOf()), STG_E_REVERTED);
}

TEST_F(StorageTest, OpeningFailuresHaveTheirCodes) {
    plat::ComPtr<IStorage> stg;
    EXPECT_EQ(StgOpenStorage(Path(u"none.dat").c_str(), kRead, stg.ReleaseAndGetAddressOf()), STG_E_FILENOTFOUND);
    EXPECT_EQ(StgCreateDocfile(Path(u"no/such/dir.dat").c_str(), kCreate, stg.ReleaseAndGetAddressOf()),
              STG_E_PATHNOTFOUND);
    std::u16string text = Path(u"text.dat");
    {
        plat::File f;
        ASSERT_TRUE(f.Open(text, plat::FileAccess::Write, plat::FileCreation::CreateAlways));
        std::string junk(1500, 'x');
        ASSERT_TRUE(f.Write(junk.data(), static_cast<uint32_t>(junk.size()), nullptr));
    }
    EXPECT_EQ(StgOpenStorage(text.c_str(), kRead, stg.ReleaseAndGetAddressOf()), STG_E_INVALIDHEADER);
    EXPECT_EQ(StgOpenStorage(text.c_str(), kCreate, stg.ReleaseAndGetAddressOf()), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(stg.Get(), nullptr);
}

TEST_F(StorageTest, AFailedCommitLeavesTheFileAsItWas) {
    std::u16string path = Path(u"full.dat");
    ASSERT_EQ(WriteFile(path, {{u"s", {1, 2, 3}}}), S_OK);
    std::vector<uint8_t> before = testutil::ReadFileBytes(path);
    // Files may not grow beyond 8 KiB in this process for a moment: the
    // commit's write runs out of room like on a full disk.
    struct rlimit saved;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 8192;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    HRESULT hr = WriteFile(path, {{u"s", std::vector<uint8_t>(50000, 0xAB)}});
    ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(testutil::ReadFileBytes(path), before);
    EXPECT_FALSE(plat::PathExists(path + u".tqnew"));
}

TEST(MemoryStream, ReadsWritesAndRunsOutOfRoom) {
    auto ms = plat::MemoryStream::Make({1, 2, 3});
    ASSERT_TRUE(ms);
    uint8_t buf[4] = {};
    ULONG n = 0;
    EXPECT_EQ(ms->Read(buf, 4, &n), S_OK);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(ms->Write("\x09", 1, &n), S_OK);
    EXPECT_EQ(ms->Bytes(), (std::vector<uint8_t>{1, 2, 3, 9}));
    ms->SetCapacity(6);
    EXPECT_EQ(ms->Write("abc", 3, &n), STG_E_MEDIUMFULL);
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(ms->Bytes().size(), 6u);
}

}  // namespace
