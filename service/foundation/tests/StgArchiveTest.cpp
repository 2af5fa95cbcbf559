#include <gtest/gtest.h>

#include "platform/fs/File.h"
#include "service/foundation/KStgArchive.h"
#include "service/foundation/tests/ArchiveTestUtil.h"
#include "service/foundation/tests/TempDir.h"

using namespace testutil;

namespace {

const std::u16string kStream = u"kq47tt2mpawrel8106dxxsb";

// Writes the records to F (through F.bak) and commits, or not.
HRESULT WriteArchive(const std::u16string& file, const std::vector<Rec>& records, bool commit) {
    ser::KStgArchive archive;
    HRESULT hr = archive.open4write(file, kStream);
    if (FAILED(hr)) return hr;
    for (const Rec& r : records)
        if (!archive.WriteRecord(r.type, r.name, r.value)) return E_FAIL;
    return archive.close(commit);
}

std::vector<Rec> ReadArchive(const std::u16string& file, HRESULT* hr, std::u16string* from = nullptr) {
    ser::KStgArchive archive;
    std::vector<Rec> out;
    *hr = archive.open4read(file, kStream);
    if (FAILED(*hr)) return out;
    if (from) *from = archive.ReadFileName();
    for (;;) {
        Rec r{};
        r.type = archive.ReadRecord(r.name, r.value);
        if (r.type == ser::rt_error) break;
        out.push_back(r);
    }
    archive.close(false);
    return out;
}

const std::vector<Rec> kOld{Begin(u"\\Settings1", u"Rec"), Value(u"v", u"old"), End()};
const std::vector<Rec> kNew{Begin(u"\\Settings1", u"Rec"), Value(u"v", u"new"), End()};

TEST(StgArchive, CommitLeavesFileAndBackupIdentical) {
    TempDir dir;
    std::u16string f = dir / u"data.dat";
    ASSERT_EQ(WriteArchive(f, kNew, true), S_OK);
    std::vector<uint8_t> main = ReadFileBytes(f);
    ASSERT_FALSE(main.empty());
    EXPECT_EQ(main, ReadFileBytes(f + u".bak"));
    HRESULT hr = E_FAIL;
    EXPECT_EQ(ReadArchive(f, &hr), kNew);
    EXPECT_EQ(hr, S_OK);
}

TEST(StgArchive, WithoutCommitOnlyTheBackupIsNew) {
    TempDir dir;
    std::u16string f = dir / u"data.dat";
    ASSERT_EQ(WriteArchive(f, kOld, true), S_OK);
    std::vector<uint8_t> before = ReadFileBytes(f);
    ASSERT_EQ(WriteArchive(f, kNew, false), S_OK);
    EXPECT_EQ(ReadFileBytes(f), before);
    HRESULT hr = E_FAIL;
    EXPECT_EQ(ReadArchive(f + u".bak", &hr), kNew);
}

TEST(StgArchive, ReadingPrefersTheFileAndFallsBackToTheBackup) {
    TempDir dir;
    std::u16string f = dir / u"data.dat";
    HRESULT hr = S_OK;
    ReadArchive(f, &hr);
    EXPECT_TRUE(FAILED(hr));  // neither exists

    ASSERT_EQ(WriteArchive(f, kOld, true), S_OK);
    ASSERT_EQ(WriteArchive(f, kNew, false), S_OK);  // F old, F.bak new
    std::u16string from;
    EXPECT_EQ(ReadArchive(f, &hr, &from), kOld);
    EXPECT_EQ(from, f);

    ASSERT_TRUE(plat::DeleteFile(f));
    EXPECT_EQ(ReadArchive(f, &hr, &from), kNew);
    EXPECT_EQ(from, f + u".bak");

    // A damaged file, and a file without the data stream, are passed over too.
    ASSERT_TRUE(WriteFileBytes(f, std::vector<uint8_t>(2048, 0x5A)));
    EXPECT_EQ(ReadArchive(f, &hr), kNew);
    {
        ser::KStgArchive other;
        ASSERT_EQ(other.open4write(dir / u"other.dat", u"another"), S_OK);
        ASSERT_TRUE(other.WriteRecord(ser::rt_end, u"", u""));
    }
    ASSERT_TRUE(plat::CopyFile(dir / u"other.dat", f, false));
    EXPECT_EQ(ReadArchive(f, &hr), kNew);
}

TEST(StgArchive, AWriteThatFailsNeverCommits) {
    TempDir dir;
    std::u16string f = dir / u"data.dat";
    ASSERT_EQ(WriteArchive(f, kOld, true), S_OK);
    std::vector<uint8_t> before = ReadFileBytes(f);
    {
        ser::KStgArchive archive;
        ASSERT_EQ(archive.open4write(f, kStream), S_OK);
        EXPECT_TRUE(archive.WriteRecord(ser::rt_begin, u"\\Settings1", u"Rec"));
        EXPECT_FALSE(archive.WriteRecord(9, u"bad", u"record"));
        // The archive's end would commit; after a failed write it must not.
    }
    EXPECT_EQ(ReadFileBytes(f), before);
    {
        ser::KStgArchive archive;
        ASSERT_EQ(archive.open4write(f, kStream), S_OK);
        EXPECT_TRUE(FAILED(archive.close(true)));  // nothing written: nothing to store
    }
    EXPECT_EQ(ReadFileBytes(f), before);
    HRESULT hr = E_FAIL;
    EXPECT_EQ(ReadArchive(f, &hr), kOld);
}

TEST(StgArchive, AFailedOpeningLeavesTheFiles) {
    TempDir dir;
    std::u16string f = dir / u"data.dat";
    ASSERT_EQ(WriteArchive(f, kOld, true), S_OK);
    std::vector<uint8_t> before = ReadFileBytes(f);
    ASSERT_TRUE(plat::DeleteFile(f + u".bak"));
    ASSERT_TRUE(plat::CreateDirectory(f + u".bak"));  // the backup cannot be written
    {
        ser::KStgArchive archive;
        EXPECT_TRUE(FAILED(archive.open4write(f, kStream)));
        EXPECT_FALSE(archive.WriteRecord(ser::rt_end, u"", u""));
    }
    EXPECT_EQ(ReadFileBytes(f), before);
    // A data-stream name the file format cannot hold fails the opening too.
    ASSERT_TRUE(plat::RemoveDirectory(f + u".bak"));
    {
        ser::KStgArchive archive;
        EXPECT_EQ(archive.open4write(f, u"a-stream-name-longer-than-thirty-one"), E_FAIL);
    }
    EXPECT_EQ(ReadFileBytes(f), before);
}

TEST(StgArchive, OpeningForWritingAgainCommitsTheEarlierFile) {
    TempDir dir;
    ser::KStgArchive archive;
    ASSERT_EQ(archive.open4write(dir / u"a.dat", kStream), S_OK);
    for (const Rec& r : kNew) ASSERT_TRUE(archive.WriteRecord(r.type, r.name, r.value));
    ASSERT_EQ(archive.open4write(dir / u"b.dat", kStream), S_OK);
    HRESULT hr = E_FAIL;
    EXPECT_EQ(ReadArchive(dir / u"a.dat", &hr), kNew);
}

}  // namespace
