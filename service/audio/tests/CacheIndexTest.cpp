#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>

#include "log/ErrorTextTable.h"
#include "log/KErrorLog.h"
#include "platform/core/Text.h"
#include "platform/fs/File.h"
#include "service/audio/KCacheImpl.h"
#include "service/audio/tests/CacheTestSupport.h"
#include "service/foundation/KStgArchive.h"
#include "service/foundation/tests/FileDamage.h"

namespace {

using cachetest::Pattern;
using cachetest::TempDir;

constexpr ULONGLONG MiB = CACHE_FILE_MAX_BYTE;

// Writes index files by hand, the way a damaged or an older one may look.
class IndexWriter : public KCacheImpl {
public:
    struct Fields {
        std::vector<SGroupFile> groups;
        DWORD fileID = 0, first = 1, index = 0;
        ULONGLONG write = 0, read = 0, start = 0;
    };
    void WriteIndex(const std::u16string& path, const Fields& f) {
        m_vGroupFiles.clear();
        for (const auto& g : f.groups) m_vGroupFiles.push_back(std::make_unique<SGroupFile>(g.bVirtual, g.nSize));
        m_nFileID = f.fileID;
        m_nFileIDFirst = f.first;
        m_nFileIDIndex = f.index;
        m_llWritePosition = f.write;
        m_llReadPosition = f.read;
        m_llStartPos = f.start;
        ser::KStgArchive archive;
        ASSERT_EQ(archive.open4write(path, u"kq47tt2mpawrel8106dxxsb"), S_OK);
        ASSERT_TRUE(save(&archive, u"\\Settings1"));
        ASSERT_EQ(archive.close(true), S_OK);
    }
};

std::unique_ptr<KCacheImpl> Open(const TempDir& dir, int number, HRESULT expected = S_OK) {
    auto b = std::make_unique<KCacheImpl>();
    EXPECT_EQ(b->SetCacheDir(dir.Path()), S_OK);
    EXPECT_EQ(b->LoadStructure(number), expected);
    return b;
}

void MakeDataFile(const TempDir& dir, const std::u16string& name, ULONGLONG from, size_t bytes) {
    ASSERT_TRUE(plat::CreateDirectory(dir.Path() + u"QXCache/") || plat::IsDirectory(dir.Path() + u"QXCache/"));
    plat::File f;
    ASSERT_TRUE(f.Open(dir.Path() + u"QXCache/" + name, plat::FileAccess::Write, plat::FileCreation::CreateAlways));
    auto data = Pattern(from, bytes);
    ASSERT_TRUE(f.Write(data.data(), static_cast<uint32_t>(bytes), nullptr));
}

std::vector<BYTE> ReadAt(KCacheImpl& b, ULONGLONG pos, DWORD bytes) {
    std::vector<BYTE> out(bytes, 0xEE);
    EXPECT_EQ(b.ReadFixedPos(pos, bytes, out.data()), S_OK);
    return out;
}

// Records touch, the write position ends the chain, the read position lies
// within it, and every data file is where its record says.
void ExpectConsistent(const KCacheImpl& b) {
    auto recs = b.GetRecords();
    for (size_t i = 1; i < recs.size(); ++i) EXPECT_EQ(recs[i].llStart, recs[i - 1].llStart + recs[i - 1].llSize);
    if (!recs.empty()) {
        EXPECT_EQ(b.GetWritePosition(), recs.back().llStart + recs.back().llSize);
        EXPECT_GE(b.GetReadPosition(), recs.front().llStart);
    }
}

TEST(CacheIndex, StoresTheChainAsRunsAndRebuildsItRecordForRecord) {
    TempDir dir;
    auto data = Pattern(0, 4 * MiB);
    {
        auto b = Open(dir, 0, E_FAIL);  // nothing stored yet
        ASSERT_EQ(b->Write(static_cast<DWORD>(4 * MiB), data.data()), S_OK);
        ASSERT_EQ(b->DropBefore(MiB), S_OK);
        ASSERT_EQ(b->ReserveSpace(5000), S_OK);
        auto tail = Pattern(4 * MiB + 5000, 100);
        ASSERT_EQ(b->Write(100, tail.data()), S_OK);
        auto groups = b->GetGroups();
        ASSERT_EQ(groups.size(), 3u);
        EXPECT_EQ(groups[0].bVirtual, FALSE);
        EXPECT_EQ(groups[0].nSize, 3u);
        EXPECT_EQ(groups[1].bVirtual, TRUE);
        EXPECT_EQ(groups[1].nSize, 5000u);
        EXPECT_EQ(groups[2].nSize, 1u);
        ASSERT_EQ(b->SaveStructure(), S_OK);
    }
    auto b = Open(dir, 0);
    auto recs = b->GetRecords();
    ASSERT_EQ(recs.size(), 5u);
    EXPECT_EQ(recs[0].llStart, MiB);
    EXPECT_EQ(recs[1].llStart, 2 * MiB);
    EXPECT_EQ(recs[2].llStart, 3 * MiB);
    EXPECT_EQ(recs[3].llStart, 4 * MiB);
    EXPECT_TRUE(recs[3].bVirtual);
    EXPECT_EQ(recs[4].llStart, 4 * MiB + 0x1388);
    EXPECT_EQ(recs[0].strName, u"CasheFile_0_0_000002.cah");
    EXPECT_EQ(recs[4].strName, u"CasheFile_0_0_000005.cah");
    EXPECT_EQ(b->GetFileIDFirst(), 2u);
    EXPECT_EQ(b->GetFileID(), 5u);
    EXPECT_EQ(b->GetWritePosition(), 4 * MiB + 5100);
    EXPECT_EQ(b->GetDiskBytes(), 3 * MiB + 100);
    EXPECT_EQ(ReadAt(*b, 3 * MiB - 8, 8), Pattern(3 * MiB - 8, 8));
    EXPECT_EQ(ReadAt(*b, 4 * MiB + 5000, 100), Pattern(4 * MiB + 5000, 100));
    EXPECT_FALSE(b->IsDirty());
}

// A trim deletes the oldest files after the index was saved, and the
// process dies before the next save: the rebuild counts every file of the
// index, the deleted ones too, at their full length. A file that silence
// followed must therefore have been full, or every later record would move.
TEST(CacheIndex, FilesTrimmedAfterTheSaveLeaveEveryLaterRecordInPlace) {
    for (const ULONGLONG silence : {ULONGLONG{0}, ULONGLONG{5000}, MiB + 7}) {
        SCOPED_TRACE(silence);
        TempDir dir;
        const ULONGLONG from = 100 + silence;
        {
            auto b = Open(dir, 1, E_FAIL);
            auto a = Pattern(0, 100);
            ASSERT_EQ(b->Write(100, a.data()), S_OK);
            ASSERT_EQ(b->ReserveSpace(silence), S_OK);
            ASSERT_EQ(b->ReserveSpace(0), S_OK);
            auto c = Pattern(from, 2 * MiB);
            ASSERT_EQ(b->Write(static_cast<DWORD>(2 * MiB), c.data()), S_OK);
            ASSERT_EQ(b->SaveStructure(), S_OK);
        }
        ASSERT_TRUE(plat::DeleteFile(dir.Path() + u"QXCache/CasheFile_1_0_000001.cah"));
        auto b = Open(dir, 1);
        ExpectConsistent(*b);
        EXPECT_EQ(b->GetWritePosition(), from + 2 * MiB);
        EXPECT_EQ(b->GetFileIDFirst(), 2u);
        // The first file held the first MiB whatever silence it took.
        const ULONGLONG start = b->GetStartPos();
        ASSERT_EQ(start, MiB);
        // What is left reads as the audio at its own place, silence before it.
        auto got = ReadAt(*b, start, static_cast<DWORD>(from + 2 * MiB - start));
        size_t wrong = 0;
        for (ULONGLONG i = 0; i < got.size(); ++i) {
            const ULONGLONG pos = start + i;
            if (got[i] != (pos >= from ? cachetest::PatternByte(pos) : 0)) ++wrong;
        }
        EXPECT_EQ(wrong, 0u);
    }
}

// Files a crash left behind (written after the last save, or not yet
// deleted by a clear) are deleted once a chain has loaded; files of other
// buffers and other names stay.
TEST(CacheIndex, ALoadedChainDeletesTheBuffersFilesItDoesNotName) {
    TempDir dir;
    {
        auto b = Open(dir, 0, E_FAIL);
        auto a = Pattern(0, MiB + 10);
        ASSERT_EQ(b->Write(static_cast<DWORD>(a.size()), a.data()), S_OK);
        ASSERT_EQ(b->SaveStructure(), S_OK);
    }
    MakeDataFile(dir, u"CasheFile_0_0_000003.cah", 0, 10);
    MakeDataFile(dir, u"CasheFile_0_4_000001.cah", 0, 10);
    MakeDataFile(dir, u"CasheFile_1_0_000003.cah", 0, 10);
    MakeDataFile(dir, u"notes.cah", 0, 10);
    auto b = Open(dir, 0);
    const std::u16string data = dir.Path() + u"QXCache/";
    EXPECT_FALSE(plat::PathExists(data + u"CasheFile_0_0_000003.cah"));
    EXPECT_FALSE(plat::PathExists(data + u"CasheFile_0_4_000001.cah"));
    EXPECT_TRUE(plat::PathExists(data + u"CasheFile_0_0_000001.cah"));
    EXPECT_TRUE(plat::PathExists(data + u"CasheFile_0_0_000002.cah"));
    EXPECT_TRUE(plat::PathExists(data + u"CasheFile_1_0_000003.cah"));
    EXPECT_TRUE(plat::PathExists(data + u"notes.cah"));
    EXPECT_EQ(b->GetDiskBytes(), MiB + 10);
    EXPECT_EQ(ReadAt(*b, MiB, 10), Pattern(MiB, 10));
}

TEST(CacheIndex, LoadsFromTheBackupWhenTheIndexIsGone) {
    TempDir dir;
    std::u16string index;
    {
        auto b = Open(dir, 0, E_FAIL);
        auto a = Pattern(0, 3000);
        ASSERT_EQ(b->Write(3000, a.data()), S_OK);
        ASSERT_EQ(b->SaveStructure(), S_OK);
        index = b->GetIndexPath();
    }
    EXPECT_EQ(index, dir.Path() + u"QXCache/QXCacheStructure0.dat");
    ASSERT_TRUE(plat::DeleteFile(index));
    KErrorLog::Instance().ClearErrors();
    auto b = Open(dir, 0);
    EXPECT_EQ(b->GetWritePosition(), 3000u);
    LONG code = 0;
    std::u16string text;
    ASSERT_TRUE(KErrorLog::Instance().PopError(&code, &text));
    EXPECT_EQ(code, EC_OPEN_FILE);
}

TEST(CacheIndex, ADamagedIndexLoadsFromItsBackupAndBothDamagedLoadNothing) {
    // The damage is aimed at the stored write position's value.
    const std::u16string marker = u"m_llWritePosition";
    const size_t skip = marker.size() * 2 + 4;
    for (const testutil::DamageCase& damage : testutil::kDamages) {
        SCOPED_TRACE(damage.name);
        TempDir dir;
        auto a = Pattern(0, 3000);
        std::u16string index;
        {
            auto b = Open(dir, 0, E_FAIL);
            ASSERT_EQ(b->Write(3000, a.data()), S_OK);
            ASSERT_EQ(b->SaveStructure(), S_OK);
            index = b->GetIndexPath();
        }
        ASSERT_TRUE(testutil::DamageFile(index, marker, damage.kind, skip));
        KErrorLog::Instance().ClearErrors();
        {
            auto b = Open(dir, 0);
            EXPECT_EQ(b->GetWritePosition(), 3000u);
            EXPECT_EQ(ReadAt(*b, 0, 3000), a);
            LONG code = 0;
            ASSERT_TRUE(KErrorLog::Instance().PopError(&code, nullptr));
            EXPECT_EQ(code, EC_OPEN_DATA_FILE);  // the index's damage
        }
        ASSERT_TRUE(testutil::DamageFile(index + u".bak", marker, damage.kind, skip));
        const auto mainBytes = testutil::ReadFileBytes(index), backupBytes = testutil::ReadFileBytes(index + u".bak");
        {
            auto b = Open(dir, 0, E_FAIL);
            EXPECT_EQ(b->GetRecordCount(), 0u);
            EXPECT_EQ(b->GetWritePosition(), 0u);
        }
        EXPECT_EQ(testutil::ReadFileBytes(index), mainBytes);
        EXPECT_EQ(testutil::ReadFileBytes(index + u".bak"), backupBytes);
    }
}

TEST(CacheIndex, AMissingDataFileKeepsItsPlaceAsSilence) {
    TempDir dir;
    {
        auto b = Open(dir, 0, E_FAIL);
        auto a = Pattern(0, 4 * MiB + 10);
        ASSERT_EQ(b->Write(static_cast<DWORD>(a.size()), a.data()), S_OK);
        ASSERT_EQ(b->SaveStructure(), S_OK);
    }
    ASSERT_TRUE(plat::DeleteFile(dir.Path() + u"QXCache/CasheFile_0_0_000002.cah"));
    auto b = Open(dir, 0);
    ExpectConsistent(*b);
    auto recs = b->GetRecords();
    ASSERT_EQ(recs.size(), 5u);
    EXPECT_TRUE(recs[1].bMissing);
    EXPECT_EQ(ReadAt(*b, MiB + 100, 16), std::vector<BYTE>(16, 0));
    EXPECT_EQ(ReadAt(*b, 2 * MiB, 16), Pattern(2 * MiB, 16));
    EXPECT_EQ(b->GetWritePosition(), 4 * MiB + 10);
    // Dropping it does no harm and numbers move on.
    ASSERT_EQ(b->DropBefore(2 * MiB), S_OK);
    EXPECT_EQ(b->GetFileIDFirst(), 3u);
    auto more = Pattern(4 * MiB + 10, MiB);
    ASSERT_EQ(b->Write(static_cast<DWORD>(MiB), more.data()), S_OK);
    EXPECT_EQ(b->GetRecords().back().strName, u"CasheFile_0_0_000006.cah");
}

TEST(CacheIndex, FilesMissingAtEitherEndLeaveTheChainThatIsThere) {
    TempDir dir;
    {
        auto b = Open(dir, 2, E_FAIL);
        auto a = Pattern(0, 3 * MiB + 10);
        ASSERT_EQ(b->Write(static_cast<DWORD>(a.size()), a.data()), S_OK);
        b->SetLive(FALSE);
        b->SetReadPositionAbsolute(100);
        ASSERT_EQ(b->SaveStructure(), S_OK);
    }
    ASSERT_TRUE(plat::DeleteFile(dir.Path() + u"QXCache/CasheFile_2_0_000001.cah"));
    ASSERT_TRUE(plat::DeleteFile(dir.Path() + u"QXCache/CasheFile_2_0_000004.cah"));
    auto b = Open(dir, 2);
    ExpectConsistent(*b);
    EXPECT_EQ(b->GetStartPos(), MiB);
    EXPECT_EQ(b->GetReadPosition(), MiB);
    EXPECT_EQ(b->GetWritePosition(), 3 * MiB);
    EXPECT_EQ(b->GetFileIDFirst(), 2u);
    EXPECT_EQ(b->GetFileID(), 3u);
    EXPECT_EQ(ReadAt(*b, MiB, 8), Pattern(MiB, 8));
}

TEST(CacheIndex, ASecondLoadKeepsTheFirstNumber) {
    TempDir dir;
    auto b = Open(dir, 1, E_FAIL);
    EXPECT_EQ(b->LoadStructure(2), E_FAIL);
    EXPECT_EQ(b->GetCacheNumber(), 1);
    EXPECT_EQ(b->GetIndexPath(), dir.Path() + u"QXCache/QXCacheStructure1.dat");
}

TEST(CacheIndex, FileNumbersWrapWhileReopening) {
    TempDir dir;
    MakeDataFile(dir, u"CasheFile_0_3_999998.cah", 0, MiB);
    MakeDataFile(dir, u"CasheFile_0_3_999999.cah", MiB, MiB);
    MakeDataFile(dir, u"CasheFile_0_3_000001.cah", 2 * MiB, 10);
    IndexWriter w;
    w.WriteIndex(dir.Path() + u"QXCache/QXCacheStructure0.dat",
                 {{SGroupFile(FALSE, 3)}, 1, 999998, 3, 2 * MiB + 10, 0, 0});
    auto b = Open(dir, 0);
    auto recs = b->GetRecords();
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_EQ(recs[2].strName, u"CasheFile_0_3_000001.cah");
    EXPECT_EQ(ReadAt(*b, 2 * MiB, 10), Pattern(2 * MiB, 10));
    EXPECT_EQ(b->GetFileID(), 1u);
    auto more = Pattern(2 * MiB + 10, MiB);
    ASSERT_EQ(b->Write(static_cast<DWORD>(MiB), more.data()), S_OK);
    EXPECT_EQ(b->GetRecords().back().strName, u"CasheFile_0_3_000002.cah");
}

TEST(CacheIndex, DamagedCountsAndNumbersLeaveAnEmptyBuffer) {
    const std::vector<IndexWriter::Fields> damaged = {
        {{SGroupFile(FALSE, 2000000)}, 1, 1, 0, 0, 0, 0},           // more files than numbers
        {{SGroupFile(TRUE, ~0ULL - 5)}, 0, 1, 0, 0, 0, 100},        // silence past the axis
        {{SGroupFile(FALSE, 1)}, 1, 1, 42, MiB, 0, 0},              // no such middle number
        {{SGroupFile(FALSE, 1)}, 1, 0, 0, MiB, 0, 0},               // no such file number
    };
    for (const auto& fields : damaged) {
        TempDir dir;
        MakeDataFile(dir, u"CasheFile_0_0_000001.cah", 0, 100);
        IndexWriter w;
        w.WriteIndex(dir.Path() + u"QXCache/QXCacheStructure0.dat", fields);
        auto b = Open(dir, 0, E_FAIL);
        EXPECT_EQ(b->GetRecordCount(), 0u);
        EXPECT_EQ(b->GetWritePosition(), 0u);
        EXPECT_EQ(b->GetReadPosition(), 0u);
        EXPECT_EQ(b->GetFileIDFirst(), 1u);
        EXPECT_LT(b->GetFileIDIndex(), 10u);
    }
}

TEST(CacheIndex, StoredPositionsFollowTheFilesOnDisk) {
    TempDir dir;
    // The index is older than the data: the last file grew after it was written.
    MakeDataFile(dir, u"CasheFile_0_0_000001.cah", 0, 1000);
    IndexWriter w;
    w.WriteIndex(dir.Path() + u"QXCache/QXCacheStructure0.dat", {{SGroupFile(FALSE, 1)}, 1, 1, 0, 600, 9999, 0});
    auto b = Open(dir, 0);
    EXPECT_EQ(b->GetWritePosition(), 1000u);
    EXPECT_EQ(b->GetReadPosition(), 1000u);
    EXPECT_EQ(ReadAt(*b, 900, 100), Pattern(900, 100));
}

TEST(CacheIndex, AFailedSaveLeavesTheLastIndexReadable) {
    TempDir dir;
    std::u16string index;
    {
        auto b = Open(dir, 0, E_FAIL);
        EXPECT_EQ(b->GetIndexPath(), dir.Path() + u"QXCache/QXCacheStructure0.dat");
        auto a = Pattern(0, MiB);
        ASSERT_EQ(b->Write(static_cast<DWORD>(MiB), a.data()), S_OK);
        ASSERT_EQ(b->SaveStructure(), S_OK);
        index = b->GetIndexPath();
        ASSERT_TRUE(plat::DeleteFile(index + u".bak"));
        ASSERT_TRUE(plat::CreateDirectory(index + u".bak"));  // the next save cannot be written
        ASSERT_EQ(b->ReserveSpace(5000), S_OK);  // known to the index alone
        EXPECT_TRUE(FAILED(b->SaveStructure()));
        EXPECT_TRUE(b->IsDirty());
    }
    ASSERT_TRUE(plat::RemoveDirectory(index + u".bak"));
    auto b = Open(dir, 0);
    EXPECT_EQ(b->GetWritePosition(), MiB);
}

TEST(CacheIndex, ABufferThatWasNeverLoadedHasNoIndexToWrite) {
    TempDir dir;
    KCacheImpl b;
    ASSERT_EQ(b.SetCacheDir(dir.Path()), S_OK);
    EXPECT_EQ(b.SaveStructure(), E_UNEXPECTED);
    EXPECT_EQ(b.SetCacheDir(u""), E_INVALIDARG);
}

}  // namespace

// The index is saved on a clock: a save writes the file only when what it
// would hold differs from what the last save wrote there.
TEST(CacheIndex, ASaveWritesTheIndexOnlyWhenItChanged) {
    namespace fs = std::filesystem;
    struct Case {
        const char* between;
        std::function<void(KCacheImpl&, const fs::path&)> step;
        bool written;
    };
    const Case cases[] = {
        {"nothing", [](KCacheImpl&, const fs::path&) {}, false},
        {"audio written", [](KCacheImpl& b, const fs::path&) {
             auto more = Pattern(b.GetWritePosition(), 4000);
             ASSERT_EQ(b.Write(4000, more.data()), S_OK);
         }, true},
        {"audio dropped", [](KCacheImpl& b, const fs::path&) { ASSERT_EQ(b.DropBefore(MiB), S_OK); }, true},
        {"room reserved", [](KCacheImpl& b, const fs::path&) { ASSERT_EQ(b.ReserveSpace(5000), S_OK); }, true},
        {"the index removed", [](KCacheImpl&, const fs::path& file) { fs::remove(file); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.between);
        TempDir dir;
        auto b = Open(dir, 0, E_FAIL);
        auto data = Pattern(0, MiB + 3000);
        ASSERT_EQ(b->Write(static_cast<DWORD>(data.size()), data.data()), S_OK);
        ASSERT_EQ(b->SaveStructure(), S_OK);
        ASSERT_EQ(b->SaveStructure(), S_OK);
        const fs::path file = plat::ToUtf8(b->GetIndexPath());
        // Dated back, so that a write shows in the file's time.
        const auto past = fs::file_time_type::clock::now() - std::chrono::hours(24);
        fs::last_write_time(file, past);
        c.step(*b, file);
        ASSERT_EQ(b->SaveStructure(), S_OK);
        ASSERT_TRUE(fs::exists(file));
        EXPECT_EQ(fs::last_write_time(file) != past, c.written);
        // The file holds the cache as it stands.
        auto again = Open(dir, 0);
        EXPECT_EQ(again->GetWritePosition(), b->GetWritePosition());
        EXPECT_EQ(again->GetStartPos(), b->GetStartPos());
        EXPECT_EQ(again->GetDiskBytes(), b->GetDiskBytes());
    }
}
