#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <memory>
#include <thread>

#include "platform/fs/File.h"
#include "service/audio/KCacheImpl.h"
#include "service/audio/tests/CacheTestSupport.h"

namespace {

using cachetest::Pattern;
using cachetest::TempDir;

constexpr ULONGLONG MiB = CACHE_FILE_MAX_BYTE;

// Opens the stored members to the tests.
class TestImpl : public KCacheImpl {
public:
    using KCacheImpl::m_nFileID;
    using KCacheImpl::m_nFileIDIndex;
};

std::unique_ptr<TestImpl> MakeBuffer(const TempDir& dir, int number) {
    auto b = std::make_unique<TestImpl>();
    EXPECT_EQ(b->SetCacheDir(dir.Path()), S_OK);
    b->LoadStructure(number);  // no index yet: an empty, numbered buffer
    return b;
}

std::vector<BYTE> ReadAt(KCacheImpl& b, ULONGLONG pos, DWORD bytes) {
    std::vector<BYTE> out(bytes, 0xEE);
    EXPECT_EQ(b.ReadFixedPos(pos, bytes, out.data()), S_OK);
    return out;
}

bool WriteByte(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "wb");
    const bool ok = f && std::fputc('x', f) != EOF;
    return f && std::fclose(f) == 0 && ok;
}

int OpenDescriptors() {
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (::readdir(d)) ++n;
        ::closedir(d);
    }
    return n;
}

TEST(CacheImpl, WritingPastOneMebibyteStartsTheNextNumberedFile) {
    TempDir dir;
    auto b = MakeBuffer(dir, 1);
    auto data = Pattern(0, MiB + 10);
    ASSERT_EQ(b->Write(static_cast<DWORD>(data.size()), data.data()), S_OK);
    auto recs = b->GetRecords();
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[0].strName, u"CasheFile_1_0_000001.cah");
    EXPECT_EQ(recs[1].strName, u"CasheFile_1_0_000002.cah");
    EXPECT_EQ(recs[0].llSize, MiB);
    EXPECT_EQ(recs[1].llStart, MiB);
    EXPECT_EQ(recs[1].llSize, 10u);
    EXPECT_EQ(b->GetFileID(), 2u);
    EXPECT_EQ(b->GetWritePosition(), 0x10000Au);
    EXPECT_EQ(b->GetDiskBytes(), MiB + 10);
    uint64_t size = 0;
    ASSERT_TRUE(plat::GetFileSize(dir.Path() + u"QXCache/CasheFile_1_0_000002.cah", &size));
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(ReadAt(*b, MiB - 6, 16), Pattern(MiB - 6, 16));
}

// Silence fills what room the last file has left, as a hole: a file
// followed by another record is always full, so a chain rebuilt from file
// counts keeps every record in place even when that file is gone.
TEST(CacheImpl, SilenceFillsTheLastFileBeforeItBecomesARecordOfItsOwn) {
    struct Case {
        ULONGLONG first, silence;  // bytes written, then silence reserved
        size_t records;            // records after 10 more bytes are written
    };
    const Case cases[] = {
        {100, 75, 1},             // all of it fits: the file goes on
        {100, 0, 1},              // nothing reserved changes nothing
        {MiB - 10, 30, 3},        // the file fills up, 20 bytes stay silence
        {MiB - 10, 10, 2},        // exactly full: the next write starts a file
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.first << " + " << c.silence);
        TempDir dir;
        auto b = MakeBuffer(dir, 0);
        auto a = Pattern(0, c.first);
        ASSERT_EQ(b->Write(static_cast<DWORD>(c.first), a.data()), S_OK);
        ASSERT_EQ(b->ReserveSpace(c.silence), S_OK);
        const ULONGLONG at = c.first + c.silence;
        auto z = Pattern(at, 10);
        ASSERT_EQ(b->Write(10, z.data()), S_OK);
        auto recs = b->GetRecords();
        ASSERT_EQ(recs.size(), c.records);
        for (size_t i = 0; i + 1 < recs.size(); ++i) {
            if (!recs[i].bVirtual) {
                EXPECT_EQ(recs[i].llSize, MiB) << i;
            }
        }
        EXPECT_EQ(b->GetWritePosition(), at + 10);
        auto got = ReadAt(*b, c.first - 10, static_cast<DWORD>(c.silence + 25));
        for (ULONGLONG i = 0; i < got.size(); ++i) {
            const ULONGLONG pos = c.first - 10 + i;
            const BYTE want = pos < c.first || (pos >= at && pos < at + 10) ? cachetest::PatternByte(pos) : 0;
            EXPECT_EQ(got[i], want) << pos;
        }
    }
}

TEST(CacheImpl, FileNumbersWrapFrom999999To1) {
    TempDir dir;
    auto b = MakeBuffer(dir, 2);
    b->m_nFileID = 999998;
    auto data = Pattern(0, 2 * MiB + 1);
    ASSERT_EQ(b->Write(static_cast<DWORD>(data.size()), data.data()), S_OK);
    auto recs = b->GetRecords();
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_EQ(recs[0].strName, u"CasheFile_2_0_999999.cah");
    EXPECT_EQ(recs[1].strName, u"CasheFile_2_0_000001.cah");
    EXPECT_EQ(recs[2].strName, u"CasheFile_2_0_000002.cah");
}

TEST(CacheImpl, AFileThatCannotBeMadeKeepsTheNumbersConsecutive) {
    TempDir dir;
    auto b = MakeBuffer(dir, 0);
    ASSERT_TRUE(plat::CreateDirectory(dir.Path() + u"QXCache/"));
    // Something else sits where the first data file goes.
    ASSERT_TRUE(plat::CreateDirectory(dir.Path() + u"QXCache/CasheFile_0_0_000001.cah"));
    auto data = Pattern(0, 100);
    EXPECT_TRUE(FAILED(b->Write(100, data.data())));
    EXPECT_EQ(b->GetRecordCount(), 0u);
    EXPECT_EQ(b->GetWritePosition(), 0u);
    EXPECT_EQ(b->GetFileID(), 0u);
    ASSERT_TRUE(plat::RemoveDirectory(dir.Path() + u"QXCache/CasheFile_0_0_000001.cah"));
    ASSERT_EQ(b->Write(100, data.data()), S_OK);
    EXPECT_EQ(b->GetRecords().at(0).strName, u"CasheFile_0_0_000001.cah");
}

TEST(CacheImpl, ReadsGiveZerosForSilenceAndPastTheEndAndFailBelowTheStart) {
    TempDir dir;
    auto b = MakeBuffer(dir, 0);
    ASSERT_EQ(b->ReserveSpace(1000), S_OK);
    auto a = Pattern(1000, 3000);
    ASSERT_EQ(b->Write(3000, a.data()), S_OK);
    EXPECT_EQ(ReadAt(*b, 200, 300), std::vector<BYTE>(300, 0));
    EXPECT_EQ(ReadAt(*b, 4000, 64), std::vector<BYTE>(64, 0));
    EXPECT_EQ(ReadAt(*b, 9000, 64), std::vector<BYTE>(64, 0));
    ASSERT_EQ(b->DropBefore(1500), S_OK);
    std::vector<BYTE> out(64, 0xEE);
    EXPECT_TRUE(FAILED(b->ReadFixedPos(1499, 64, out.data())));
    EXPECT_EQ(out, std::vector<BYTE>(64, 0xEE));
}

TEST(CacheImpl, DropInsideTheFirstFileDeletesItWholeAndLeavesSilenceUpToTheNext) {
    TempDir dir;
    auto b = MakeBuffer(dir, 0);
    auto data = Pattern(0, 2 * MiB + 500);
    ASSERT_EQ(b->Write(static_cast<DWORD>(data.size()), data.data()), S_OK);
    b->SetLive(FALSE);
    b->SetReadPositionAbsolute(1000);  // inside the stretch that goes
    ASSERT_EQ(b->DropBefore(MiB / 2), S_OK);
    auto recs = b->GetRecords();
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_TRUE(recs[0].bVirtual);
    EXPECT_EQ(recs[0].llStart, MiB / 2);
    EXPECT_EQ(recs[0].llSize, MiB / 2);
    EXPECT_FALSE(plat::PathExists(dir.Path() + u"QXCache/CasheFile_0_0_000001.cah"));
    EXPECT_EQ(b->GetFileIDFirst(), 2u);
    EXPECT_EQ(b->GetStartPos(), MiB / 2);
    EXPECT_EQ(b->GetReadPosition(), MiB / 2);
    EXPECT_EQ(b->GetLastDropPosition(), MiB / 2);
    EXPECT_EQ(b->GetDiskBytes(), MiB + 500);
    EXPECT_EQ(ReadAt(*b, MiB, 8), Pattern(MiB, 8));
}

TEST(CacheImpl, DropAtOrBelowTheStartAndAtAProtectedRecord) {
    TempDir dir;
    auto b = MakeBuffer(dir, 0);
    auto data = Pattern(0, 2 * MiB);
    ASSERT_EQ(b->Write(static_cast<DWORD>(data.size()), data.data()), S_OK);
    ASSERT_EQ(b->DropBefore(MiB), S_OK);
    EXPECT_EQ(b->GetRecordCount(), 1u);
    // At the start: nothing goes, the position is noted.
    ASSERT_EQ(b->DropBefore(MiB), S_OK);
    EXPECT_EQ(b->GetRecordCount(), 1u);
    EXPECT_EQ(b->GetLastDropPosition(), MiB);
    EXPECT_EQ(b->DropBefore(MiB - 1), E_INVALIDARG);
    ASSERT_EQ(b->SetUndeletableRange(MiB + 10, MiB + 20), S_OK);
    EXPECT_EQ(b->DropBefore(MiB + 100), E_FAIL);
    EXPECT_EQ(b->GetRecordCount(), 1u);
    EXPECT_EQ(b->GetStartPos(), MiB);
    ULONGLONG protectedStart = 0;
    ASSERT_TRUE(b->GetFirstUndeletableStart(&protectedStart));
    EXPECT_EQ(protectedStart, MiB);
}

TEST(CacheImpl, AFileThatCannotBeDeletedKeepsItsRecordAndGoesAtTheNextDrop) {
    TempDir dir;
    auto b = MakeBuffer(dir, 0);
    auto data = Pattern(0, 3 * MiB);
    ASSERT_EQ(b->Write(static_cast<DWORD>(data.size()), data.data()), S_OK);
    b->SetLive(FALSE);
    const std::string first = plat::ToUtf8(dir.Path() + u"QXCache/CasheFile_0_0_000001.cah");
    // A folder that is not empty, in the first file's place, cannot be unlinked.
    ASSERT_EQ(0, ::unlink(first.c_str()));
    ASSERT_EQ(0, ::mkdir(first.c_str(), 0700));
    ASSERT_TRUE(WriteByte(first + "/inside"));

    EXPECT_TRUE(FAILED(b->DropBefore(2 * MiB)));
    auto recs = b->GetRecords();
    ASSERT_EQ(recs.size(), 3u) << "the record stays, to be deleted later";
    EXPECT_EQ(recs[0].strName, u"CasheFile_0_0_000001.cah");
    EXPECT_EQ(b->GetStartPos(), 0u);
    EXPECT_EQ(b->GetDiskBytes(), 3 * MiB) << "its bytes still count";
    EXPECT_EQ(b->GetFileIDFirst(), 1u);

    // Once it can go, the next drop deletes it and the ones after it.
    ASSERT_EQ(0, ::unlink((first + "/inside").c_str()));
    ASSERT_EQ(0, ::rmdir(first.c_str()));
    ASSERT_TRUE(WriteByte(first));
    ASSERT_EQ(b->DropBefore(2 * MiB), S_OK);
    recs = b->GetRecords();
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].strName, u"CasheFile_0_0_000003.cah");
    EXPECT_FALSE(plat::PathExists(plat::ToUtf16(first)));
    EXPECT_FALSE(plat::PathExists(dir.Path() + u"QXCache/CasheFile_0_0_000002.cah"));
    EXPECT_EQ(b->GetDiskBytes(), MiB);
    EXPECT_EQ(b->GetStartPos(), 2 * MiB);
    EXPECT_EQ(ReadAt(*b, 2 * MiB, 8), Pattern(2 * MiB, 8));
}

TEST(CacheImpl, AFileThatClearCannotDeleteStillCountsAndGoesAtTheNextDrop) {
    TempDir dir;
    auto b = MakeBuffer(dir, 0);
    auto data = Pattern(0, 3 * MiB);
    ASSERT_EQ(b->Write(static_cast<DWORD>(data.size()), data.data()), S_OK);
    const std::string second = plat::ToUtf8(dir.Path() + u"QXCache/CasheFile_0_0_000002.cah");
    ASSERT_EQ(0, ::unlink(second.c_str()));
    ASSERT_EQ(0, ::mkdir(second.c_str(), 0700));
    ASSERT_TRUE(WriteByte(second + "/inside"));

    ASSERT_EQ(b->Clear(TRUE), S_OK);
    EXPECT_EQ(b->GetRecordCount(), 0u);
    EXPECT_EQ(b->GetWritePosition(), 0u);
    EXPECT_EQ(b->GetDiskBytes(), MiB) << "what stays on disk still counts";
    EXPECT_FALSE(plat::PathExists(dir.Path() + u"QXCache/CasheFile_0_0_000001.cah"));

    // A drop that still cannot delete it keeps counting it; once it can go,
    // the next drop deletes it.
    ASSERT_EQ(b->ReserveSpace(100), S_OK);
    ASSERT_EQ(b->DropBefore(10), S_OK);
    EXPECT_EQ(b->GetDiskBytes(), MiB);
    ASSERT_EQ(0, ::unlink((second + "/inside").c_str()));
    ASSERT_EQ(0, ::rmdir(second.c_str()));
    ASSERT_TRUE(WriteByte(second));
    ASSERT_EQ(b->DropBefore(20), S_OK);
    EXPECT_FALSE(plat::PathExists(plat::ToUtf16(second)));
    EXPECT_EQ(b->GetDiskBytes(), 0u);
}

TEST(CacheImpl, RefusedRangesFailPlainlyNotWithAnOldError) {
    TempDir dir;
    auto b = MakeBuffer(dir, 0);
    auto data = Pattern(0, 2 * MiB);
    ASSERT_EQ(b->Write(static_cast<DWORD>(data.size()), data.data()), S_OK);
    ASSERT_EQ(b->DropBefore(MiB), S_OK);
    BYTE out[16];
    // An error left by some earlier call must not stand in for a refusal.
    plat::SetLastError(ERROR_DISK_FULL);
    EXPECT_EQ(E_FAIL, b->ReadFixedPos(MiB - 1, sizeof(out), out)) << "before the start";
    plat::SetLastError(ERROR_DISK_FULL);
    EXPECT_EQ(E_FAIL, b->SetUndeletableRange(MiB + 20, MiB + 10)) << "an end before its start";
    plat::SetLastError(ERROR_DISK_FULL);
    EXPECT_EQ(E_FAIL, b->SetUndeletableRange(10, 20)) << "a range that left the cache";
}

TEST(CacheImpl, DropPastTheWritePositionEmptiesTheChainAndMovesTheWritePosition) {
    TempDir dir;
    auto b = MakeBuffer(dir, 0);
    auto data = Pattern(0, 5000);
    ASSERT_EQ(b->Write(5000, data.data()), S_OK);
    ASSERT_EQ(b->DropBefore(9000), S_OK);
    auto recs = b->GetRecords();
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_TRUE(recs[0].bVirtual);
    EXPECT_EQ(recs[0].llStart, 9000u);
    EXPECT_EQ(recs[0].llSize, 0u);
    EXPECT_EQ(b->GetWritePosition(), 9000u);
    EXPECT_EQ(b->GetReadPosition(), 9000u);  // never left below the start
    EXPECT_EQ(b->GetDiskBytes(), 0u);
}

TEST(CacheImpl, UndeletableRangesAreClampedAndMarkWholeRecords) {
    TempDir dir;
    auto b = MakeBuffer(dir, 0);
    auto data = Pattern(0, 3 * MiB);
    ASSERT_EQ(b->Write(static_cast<DWORD>(data.size()), data.data()), S_OK);
    EXPECT_TRUE(FAILED(b->SetUndeletableRange(200, 100)));
    ASSERT_EQ(b->SetUndeletableRange(MiB + 5, MiB + 50), S_OK);  // inside one record
    auto recs = b->GetRecords();
    EXPECT_FALSE(recs[0].bUndeletable);
    EXPECT_TRUE(recs[1].bUndeletable);
    EXPECT_FALSE(recs[2].bUndeletable);
    ASSERT_EQ(b->ResetUndeletableRange(0, 10 * MiB), S_OK);  // the end is taken as the last byte
    for (auto& r : b->GetRecords()) EXPECT_FALSE(r.bUndeletable);
    ASSERT_EQ(b->SetUndeletableRange(MiB / 2, 10 * MiB), S_OK);
    for (auto& r : b->GetRecords()) EXPECT_TRUE(r.bUndeletable);
    ASSERT_EQ(b->DropBefore(0), S_OK);  // at the start: nothing to drop
    EXPECT_EQ(b->DropBefore(1), E_FAIL);
    EXPECT_EQ(b->GetRecordCount(), 3u);
}

TEST(CacheImpl, ReadPositionBasesAndBounds) {
    TempDir dir;
    auto b = MakeBuffer(dir, 0);
    auto data = Pattern(0, 2 * MiB);
    ASSERT_EQ(b->Write(static_cast<DWORD>(data.size()), data.data()), S_OK);
    ASSERT_EQ(b->DropBefore(MiB), S_OK);
    b->SetReadPosition(-5, posStart);
    EXPECT_EQ(b->GetReadPosition(), MiB);
    b->SetReadPosition(100, static_cast<EBasicPosition>(7));
    EXPECT_EQ(b->GetReadPosition(), MiB);
    b->SetReadPosition(-10, posEnd);
    EXPECT_EQ(b->GetReadPosition(), 2 * MiB - 10);
    b->SetReadPosition(4, posCurrent);
    EXPECT_EQ(b->GetReadPosition(), 2 * MiB - 6);
    b->SetLive(FALSE);
    std::vector<BYTE> out(16);
    ASSERT_EQ(b->Read(16, out.data()), S_OK);
    EXPECT_EQ(b->GetReadPosition(), 2 * MiB + 10);  // may pass the write position
    for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i], cachetest::PatternByte(2 * MiB - 6 + i));
    for (int i = 6; i < 16; ++i) EXPECT_EQ(out[i], 0);
}

TEST(CacheImpl, ClearMovesToTheNextMiddleNumberOnlyForLongChainsWhenItWaits) {
    TempDir dir;
    auto b = MakeBuffer(dir, 0);
    BYTE one = 1;
    b->m_nFileIDIndex = 9;
    // A file and a stretch of silence each time: the silence fills the
    // file's room first.
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(b->Write(1, &one), S_OK);
        ASSERT_EQ(b->ReserveSpace(MiB), S_OK);
    }
    ASSERT_EQ(b->GetRecordCount(), 10u);
    ASSERT_EQ(b->Clear(TRUE), S_OK);
    EXPECT_EQ(b->GetFileIDIndex(), 9u);
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(b->Write(1, &one), S_OK);
        ASSERT_EQ(b->ReserveSpace(MiB), S_OK);
    }
    ASSERT_EQ(b->Write(1, &one), S_OK);
    ASSERT_EQ(b->GetRecordCount(), 11u);
    ASSERT_EQ(b->Clear(TRUE), S_OK);
    EXPECT_EQ(b->GetFileIDIndex(), 0u);
    EXPECT_EQ(b->GetWritePosition(), 0u);
    EXPECT_EQ(b->GetFileID(), 0u);
    EXPECT_EQ(b->GetFileIDFirst(), 1u);
    std::vector<plat::DirEntry> entries;
    ASSERT_TRUE(plat::ListDirectory(dir.Path() + u"QXCache/", &entries));
    EXPECT_TRUE(entries.empty());
}

TEST(CacheImpl, ClearWithoutWaitingNeverReusesANameItsDeleterStillHolds) {
    TempDir dir;
    const std::u16string oldName = dir.Path() + u"QXCache/CasheFile_0_0_000001.cah";
    std::u16string newName;
    {
        auto b = MakeBuffer(dir, 0);
        auto data = Pattern(0, 3 * MiB);
        ASSERT_EQ(b->Write(static_cast<DWORD>(data.size()), data.data()), S_OK);
        ASSERT_EQ(b->SaveStructure(), S_OK);
        ASSERT_TRUE(plat::IsFile(b->GetIndexPath() + u".bak"));
        ASSERT_EQ(b->Clear(FALSE), S_OK);
        EXPECT_EQ(b->GetRecordCount(), 0u);
        // The index and its backup are gone: nothing can bring the chain back.
        EXPECT_FALSE(plat::PathExists(b->GetIndexPath()));
        EXPECT_FALSE(plat::PathExists(b->GetIndexPath() + u".bak"));
        ASSERT_EQ(b->Write(100, data.data()), S_OK);
        newName = dir.Path() + u"QXCache/" + b->GetRecords().at(0).strName;
        EXPECT_NE(newName, oldName);
        EXPECT_EQ(b->GetFileIDIndex(), 1u);
    }  // the buffer's end waits for its deleter
    EXPECT_FALSE(plat::PathExists(oldName));
    uint64_t size = 0;
    ASSERT_TRUE(plat::GetFileSize(newName, &size));
    EXPECT_EQ(size, 100u);
}

TEST(CacheImpl, KeepsOnlyAFewDataFilesOpen) {
    TempDir dir;
    auto b = MakeBuffer(dir, 0);
    const int before = OpenDescriptors();
    auto data = Pattern(0, 24 * MiB);
    ASSERT_EQ(b->Write(static_cast<DWORD>(data.size()), data.data()), S_OK);
    EXPECT_LE(OpenDescriptors() - before, static_cast<int>(KCacheImpl::kMaxOpenFiles));
    for (ULONGLONG pos = MiB; pos < 24 * MiB; pos += MiB) EXPECT_EQ(ReadAt(*b, pos - 4, 8), Pattern(pos - 4, 8));
    EXPECT_LE(OpenDescriptors() - before, static_cast<int>(KCacheImpl::kMaxOpenFiles));
}

// Holds the buffer lock from a thread of the test, as a file write holds it.
class HeldImpl : public TestImpl {
public:
    void Hold(const std::function<void()>& inside) {
        KBufferLock lock(*this);
        inside();
    }
};

// The bus answers the positions on the thread that reads it, so they must
// never wait for the lock; and what they show is always a finished operation.
TEST(CacheImpl, PositionsAreReadWithoutTheLockAndShowOnlyFinishedOperations) {
    using namespace std::chrono_literals;
    TempDir dir;
    auto held = std::make_unique<HeldImpl>();
    HeldImpl& b = *held;
    ASSERT_EQ(b.SetCacheDir(dir.Path()), S_OK);
    b.LoadStructure(1);
    auto data = Pattern(0, MiB + 200);
    ASSERT_EQ(b.Write(static_cast<DWORD>(MiB + 100), data.data()), S_OK);

    struct Positions {
        ULONGLONG start, write, read;
        bool operator==(const Positions&) const = default;
    };
    auto positions = [&] { return Positions{b.GetStartPos(), b.GetWritePosition(), b.GetReadPosition()}; };
    const Positions before{0, MiB + 100, MiB + 100};
    ASSERT_EQ(positions(), before);

    std::promise<void> inside, letGo;
    std::shared_future<void> release = letGo.get_future().share();
    std::thread holder([&] {
        b.Hold([&] {
            // Nested holds, as one operation calls another.
            EXPECT_EQ(b.Write(100, data.data() + MiB + 100), S_OK);
            EXPECT_EQ(b.DropBefore(MiB), S_OK);
            b.SetReadPosition(0, posStart);
            inside.set_value();
            release.wait();
        });
    });
    ASSERT_EQ(inside.get_future().wait_for(60s), std::future_status::ready);

    auto read = std::async(std::launch::async, positions);
    const bool answered = read.wait_for(60s) == std::future_status::ready;
    EXPECT_TRUE(answered) << "a position getter waited for the buffer lock";
    letGo.set_value();
    holder.join();
    if (answered) {
        EXPECT_EQ(read.get(), before);
    }
    EXPECT_EQ(positions(), (Positions{MiB, MiB + 200, MiB}));
}

TEST(RecurceDeleteFolder, DeletesATreeButNeverFollowsLinks) {
    TempDir dir;
    EXPECT_EQ(recurceDeleteFolder(dir.Sub(u"absent/")), S_OK);

    const std::u16string outside = dir.Sub(u"outside/");
    ASSERT_TRUE(plat::CreateDirectory(outside));
    plat::File keep;
    ASSERT_TRUE(keep.Open(outside + u"keep.txt", plat::FileAccess::Write, plat::FileCreation::CreateAlways));
    keep.Close();

    const std::u16string tree = dir.Sub(u"tree/");
    ASSERT_TRUE(plat::CreateDirectory(tree));
    ASSERT_TRUE(plat::CreateDirectory(tree + u"sub/"));
    ASSERT_TRUE(plat::CreateDirectory(tree + u"sub/deeper/"));
    plat::File f;
    ASSERT_TRUE(f.Open(tree + u"sub/deeper/a.cah", plat::FileAccess::Write, plat::FileCreation::CreateAlways));
    f.Close();
    ASSERT_EQ(::symlink(plat::ToUtf8(outside).c_str(), plat::ToUtf8(tree + u"sub/link").c_str()), 0);

    EXPECT_EQ(recurceDeleteFolder(tree), S_OK);
    EXPECT_FALSE(plat::PathExists(tree));
    EXPECT_TRUE(plat::IsFile(outside + u"keep.txt"));

    // A link in place of the folder goes itself; its target stays.
    ASSERT_EQ(::symlink(plat::ToUtf8(outside).c_str(), plat::ToUtf8(dir.Sub(u"alias")).c_str()), 0);
    EXPECT_EQ(recurceDeleteFolder(dir.Sub(u"alias/")), S_OK);
    EXPECT_FALSE(plat::IsSymbolicLink(dir.Sub(u"alias")));
    EXPECT_TRUE(plat::IsFile(outside + u"keep.txt"));
}

}  // namespace
