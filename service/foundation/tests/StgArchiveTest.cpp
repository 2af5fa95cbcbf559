#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>

#include "platform/core/Text.h"
#include "platform/storage/StorageError.h"

#include "platform/fs/File.h"
#include "platform/fs/tests/TempDir.h"
#include "service/foundation/Crc32c.h"
#include "service/foundation/KStgArchive.h"
#include "service/foundation/tests/ArchiveTestUtil.h"

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

TEST(Crc32c, KnownValuesAndPiecewiseSums) {
    const std::vector<uint8_t> zeros(32, 0), ones(32, 0xFF);
    const std::string digits = "123456789";
    EXPECT_EQ(0u, ser::Crc32c(0, nullptr, 0));
    EXPECT_EQ(0xE3069283u, ser::Crc32c(0, digits.data(), digits.size()));
    EXPECT_EQ(0x8A9136AAu, ser::Crc32c(0, zeros.data(), zeros.size()));
    EXPECT_EQ(0x62A8AB43u, ser::Crc32c(0, ones.data(), ones.size()));
    // A sum continued piece by piece is the sum of the whole.
    EXPECT_EQ(0xE3069283u, ser::Crc32c(ser::Crc32c(0, digits.data(), 4), digits.data() + 4, 5));
}

// Runs python3 with olefile on the file; gives what it printed, or nothing.
std::string OleFileReport(const std::u16string& file, bool* available) {
    *available = std::system("/usr/bin/python3 -c 'import olefile' >/dev/null 2>&1") == 0;
    if (!*available) return {};
    std::string cmd =
        "/usr/bin/python3 -c \"import olefile,sys\n"
        "o=olefile.OleFileIO(sys.argv[1])\n"
        "print(o.openstream('kq47tt2mpawrel8106dxxsb').read().hex())\" '" +
        plat::ToUtf8(file) + "'";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return {};
    std::string out;
    char buf[256];
    while (size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    return ::pclose(p) == 0 ? out : std::string();
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string out;
    char two[3];
    for (uint8_t b : bytes) {
        std::snprintf(two, sizeof two, "%02x", b);
        out += two;
    }
    return out + "\n";
}

TEST(StgArchive, TheDataStreamStaysAsReadersWithoutTheCheckKnowIt) {
    TempDir dir;
    std::u16string f = dir / u"data.dat";
    ASSERT_EQ(WriteArchive(f, kNew, true), S_OK);

    // Byte for byte the record stream, for another compound-file reader...
    bool available = false;
    std::string report = OleFileReport(f, &available);
    if (available) {
        EXPECT_EQ(report, Hex(Bytes(kNew)));
    }

    // ...and for a reader that opens only the data stream and knows no check.
    plat::ComPtr<IStorage> storage;
    ASSERT_EQ(StgOpenStorage(f.c_str(), STGM_READ | STGM_SHARE_EXCLUSIVE, storage.ReleaseAndGetAddressOf()), S_OK);
    ser::KIStreamArchive previous;
    ASSERT_TRUE(previous.OpenStream(storage, kStream.c_str(), false));
    std::vector<Rec> records;
    for (Rec r{}; (r.type = previous.ReadRecord(r.name, r.value)) != ser::rt_error;) records.push_back(r);
    EXPECT_EQ(records, kNew);
}

TEST(StgArchive, AFileWithoutTheCheckLoadsAsBefore) {
    TempDir dir;
    std::u16string f = dir / u"data.dat";
    {
        plat::ComPtr<IStorage> storage;
        ASSERT_EQ(StgCreateDocfile(f.c_str(), STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE,
                                   storage.ReleaseAndGetAddressOf()),
                  S_OK);
        ser::KIStreamArchive writer;
        ASSERT_TRUE(writer.OpenStream(storage, ser::kDummyStreamName, true));
        ASSERT_TRUE(writer.OpenStream(storage, kStream.c_str(), true));
        for (const Rec& r : kOld) ASSERT_TRUE(writer.WriteRecord(r.type, r.name, r.value));
        writer.ReleaseStream();
        ASSERT_EQ(storage->Commit(STGC_DEFAULT), S_OK);
    }
    HRESULT hr = E_FAIL;
    std::u16string from;
    EXPECT_EQ(ReadArchive(f, &hr, &from), kOld);
    EXPECT_EQ(from, f);
}

TEST(StgArchive, AFailedCheckPassesTheFileOverForItsBackup) {
    TempDir dir;
    std::u16string f = dir / u"data.dat";
    ASSERT_EQ(WriteArchive(f, kOld, true), S_OK);
    std::vector<uint8_t> bytes = ReadFileBytes(f);
    const std::vector<uint8_t> old = U16Bytes(u"old");
    auto at = std::search(bytes.begin(), bytes.end(), old.begin(), old.end());
    ASSERT_NE(at, bytes.end());
    *at = 'n';  // "old" -> "nld": the records still parse
    ASSERT_TRUE(WriteFileBytes(f, bytes));
    ser::KStgArchive archive;
    EXPECT_EQ(archive.OpenCopy(f, kStream), plat::HResultFromError(plat::kErrorInvalidData));
    HRESULT hr = E_FAIL;
    std::u16string from;
    EXPECT_EQ(ReadArchive(f, &hr, &from), kOld);
    EXPECT_EQ(from, f + u".bak");
}

std::vector<Rec> Version(unsigned n) {
    // Sizes vary from save to save, so that a copy of another length is
    // never mistaken for a whole one.
    std::u16string value(n % 97 * 13, u'x');
    value += plat::WFormat(u"%u", n);
    return {Begin(u"\\Settings1", u"Rec"), Value(u"v", value), End()};
}

bool IsSomeVersion(const std::vector<Rec>& records) {
    if (records.size() != 3 || records[1].name != u"v") return false;
    const std::u16string& v = records[1].value;
    size_t digits = v.find_first_not_of(u'x');
    if (digits == std::u16string::npos) return false;
    unsigned n = static_cast<unsigned>(std::stoul(plat::ToUtf8(v.substr(digits))));
    return records == Version(n);
}

TEST(StgArchive, AProcessKilledWhileSavingLeavesBothCopiesWhole) {
    TempDir dir;
    const std::u16string f = dir / u"data.dat";
    ASSERT_EQ(WriteArchive(f, Version(0), true), S_OK);
    // How long a save takes here, so that the kills land inside saves.
    auto begin = std::chrono::steady_clock::now();
    for (unsigned n = 1; n <= 5; ++n) ASSERT_EQ(WriteArchive(f, Version(n), true), S_OK);
    const auto save = (std::chrono::steady_clock::now() - begin) / 5;

    std::mt19937 rng(20261209);
    std::uniform_int_distribution<int64_t> delay(0, std::chrono::duration_cast<std::chrono::microseconds>(2 * save).count());
    constexpr int kRounds = 200;
    for (int round = 0; round < kRounds; ++round) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(ready[0]);
            const unsigned first = 1000u * static_cast<unsigned>(round + 1);
            if (::write(ready[1], "R", 1) != 1) ::_exit(2);
            for (unsigned n = first;; ++n)
                if (FAILED(WriteArchive(f, Version(n), true))) ::_exit(3);
        }
        ::close(ready[1]);
        char c = 0;
        ASSERT_EQ(::read(ready[0], &c, 1), 1);  // the child is saving from now on
        ::close(ready[0]);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(rng)));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saving child ended by itself in round " << round;

        for (const std::u16string& copy : {f, f + u".bak"}) {
            ser::KStgArchive archive;
            ASSERT_EQ(archive.OpenCopy(copy, kStream), S_OK) << "round " << round;
            std::vector<Rec> records;
            for (Rec r{}; (r.type = archive.ReadRecord(r.name, r.value)) != ser::rt_error;) records.push_back(r);
            ASSERT_TRUE(IsSomeVersion(records)) << "round " << round;
        }
    }
}

}  // namespace

