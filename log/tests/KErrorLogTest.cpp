#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "log/Trace.h"
#include "platform/core/Clock.h"
#include "platform/core/Text.h"
#include "platform/fs/File.h"

namespace {

// Each test writes to a log of its own and starts with an empty list.
class ErrorLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tq-log-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_dir = plat::ToUtf16(tmpl);
        m_path = m_dir + u"/" + KErrorLog::kLogFileName;
        ASSERT_TRUE(KErrorLog::Instance().OpenLogFile(m_path));
        KErrorLog::Instance().ClearErrors();
    }
    void TearDown() override {
        KErrorLog::Instance().OpenLogFile(m_dir + u"/closed.log");  // ends this test's bursts
        KErrorLog::Instance().SetMaxFileBytes(KErrorLog::kMaxFileBytes);
        KErrorLog::Instance().SetComplaintSink(nullptr);
        KErrorLog::Instance().ClearErrors();
        plat::SetClock(nullptr);
        plat::DeleteFolderRecursive(m_dir);
    }
    static size_t Count(const std::u16string& text, std::u16string_view what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::u16string::npos; at = text.find(what, at + what.size())) ++n;
        return n;
    }
    // The log decoded from UTF-16LE.
    std::u16string ReadLog(std::string* raw = nullptr) const { return ReadLogAt(m_path, raw); }
    static std::u16string ReadLogAt(const std::u16string& path, std::string* raw = nullptr) {
        std::ifstream in(plat::ToUtf8(path), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (raw) *raw = bytes;
        std::u16string text;
        for (size_t i = 0; i + 1 < bytes.size(); i += 2)
            text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        return text;
    }
    std::vector<std::u16string> Drain() {
        std::vector<std::u16string> texts;
        KErrorLog::Instance().GetErrors(&texts);
        return texts;
    }
    std::u16string m_dir, m_path;
};

}  // namespace

TEST_F(ErrorLogTest, EntryFormatIsUtf16WithoutMarkAndSpansTwoLines) {
    KErrorLog::Instance().WriteLine(0, u"archive.open4write(name)", "service/foundation/X.cpp", 42);
    std::string raw;
    std::u16string log = ReadLog(&raw);
    ASSERT_GE(raw.size(), 4u);
    EXPECT_NE(static_cast<unsigned char>(raw[0]), 0xFF);  // no byte-order mark
    EXPECT_EQ(raw[0], 'T');
    EXPECT_EQ(raw[1], '\0');
    ASSERT_EQ(log.rfind(u"Time: ", 0), 0u);
    // "Time: " + 24 characters of time + the time's own line feed.
    EXPECT_EQ(log[6 + 24], u'\n');
    EXPECT_EQ(log.substr(6 + 25),
              u", File: service/foundation/X.cpp, Line: 42 -- archive.open4write(name) (0) \r\n");
}

TEST_F(ErrorLogTest, InternalCodesAreLoggedButNeverCollected) {
    TQ_REPORT(EC_INTERNAL, E_FAIL, u"Play Command was failed");
    TQ_REPORT(EC_SDK, E_FAIL, u"x");
    EXPECT_TRUE(Drain().empty());
    EXPECT_NE(ReadLog().find(u"-- Internal error. Play Command was failed (10000) \r\n"), std::u16string::npos);
}

TEST_F(ErrorLogTest, PlainAndFormattedReports) {
    TQ_REPORT(EC_OPEN_DATA_FILE, 0, u"/data/QXSettings.dat");
    TQ_REPORT_FORMATTED(EC_OPEN_DATA_FILE, 0, u"/data/QXSettings.dat");
    auto texts = Drain();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], u"Cannot open the data file %s. ");  // the placeholder stays
    EXPECT_EQ(texts[1], u"Cannot open the data file /data/QXSettings.dat. ");
    std::u16string log = ReadLog();
    EXPECT_NE(log.find(u"-- Cannot open the data file %s. /data/QXSettings.dat (10014) \r\n"), std::u16string::npos);
    EXPECT_NE(log.find(u"-- Cannot open the data file /data/QXSettings.dat.  (10014) \r\n"), std::u16string::npos);
}

TEST_F(ErrorLogTest, SystemErrorsCarryTheSystemNumberAndText) {
    TQ_REPORT_SYSTEM(EC_OPEN_FILE, 2, u"/x/y.cah");
    TQ_REPORT_EX(EC_SYSTEM, 5);
    auto texts = Drain();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], u"Cannot open the file:\r\n/x/y.cah\r\n2,The system cannot find the file specified.\r\n");
    EXPECT_EQ(texts[1], u"The following error occurred:\r\nAccess is denied.\r\n (5)");
    std::u16string log = ReadLog();
    EXPECT_NE(log.find(u"find the file specified.\r\n (2) \r\n"), std::u16string::npos);  // 2, not 40000
}

TEST_F(ErrorLogTest, WrongRowForAFormatNeverReadsMissingArguments) {
    // A row that takes three arguments given to the one-argument form.
    TQ_REPORT_FORMATTED(EC_OPEN_FILE, 0, u"/p");
    TQ_REPORT_FORMATTED(12345, 0, u"/q");  // unknown code: empty text
    TQ_REPORT(12345, 0, u"/r");
    auto texts = Drain();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], u"Cannot open the file:\r\n%s\r\n%d,%s/p");
    EXPECT_EQ(texts[1], u"");
    EXPECT_EQ(texts[2], u"");
}

TEST_F(ErrorLogTest, ListIsFirstInFirstOutAndEmptiedOnce) {
    EXPECT_TRUE(Drain().empty());
    TQ_REPORT(EC_NO_PLAY_DEVICE, 0, u"");
    TQ_REPORT(EC_NO_CAPTURE_DEVICE, 0, u"");
    TQ_REPORT(EC_SAVE_DATA_FILE, 0, u"");
    LONG code = 0;
    std::u16string text;
    ASSERT_TRUE(KErrorLog::Instance().PopError(&code, &text));
    EXPECT_EQ(code, EC_NO_PLAY_DEVICE);
    auto texts = Drain();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], u"No device to capture sound in system. ");
    EXPECT_EQ(texts[1], u"Cannot save the data file %s. ");
    EXPECT_TRUE(Drain().empty());
    EXPECT_FALSE(KErrorLog::Instance().PopError(&code, &text));
    TQ_REPORT(EC_NO_PLAY_DEVICE, 0, u"");
    KErrorLog::Instance().ClearErrors();
    EXPECT_TRUE(Drain().empty());
}

TEST_F(ErrorLogTest, LongTextsAreCutToFitTheEntry) {
    std::u16string huge(50000, u'p');
    TQ_REPORT_FORMATTED(EC_OPEN_DATA_FILE, 0, huge);
    auto texts = Drain();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].size(), KErrorLog::kMessageUnits);
    std::u16string log = ReadLog();
    EXPECT_EQ(log.size(), KErrorLog::kEntryUnits - 1);
    EXPECT_EQ(log.substr(log.size() - 12), u"p (10014) \r\n");
}

TEST_F(ErrorLogTest, TraceMacrosKeepTheLastErrorAndStopOnFailure) {
    HRESULT hr = S_OK;
    auto failing = [] { return E_INVALIDARG; };
    EXPECT_TRUE(TQ_FAILED(hr, failing()));
    EXPECT_EQ(hr, E_INVALIDARG);
    EXPECT_FALSE(TQ_FAILED(hr, S_FALSE));
    plat::SetLastError(ERROR_DISK_FULL);
    EXPECT_TRUE(TQ_FALSE(1 == 2));
    EXPECT_EQ(plat::GetLastError(), ERROR_DISK_FULL);
    auto takesPointer = [](int* p) -> HRESULT {
        TQ_CHECK_POINTER(p);
        return S_OK;
    };
    EXPECT_EQ(takesPointer(nullptr), E_POINTER);
    std::u16string log = ReadLog();
    EXPECT_NE(log.find(u"-- failing() (0) \r\n"), std::u16string::npos);
    EXPECT_NE(log.find(u"-- 1 == 2 (0) \r\n"), std::u16string::npos);
    EXPECT_NE(log.find(u"-- E_POINTER (0) \r\n"), std::u16string::npos);
    EXPECT_NE(log.find(u"-- Internal error. Invalid pointer (10000) \r\n"), std::u16string::npos);
    EXPECT_TRUE(Drain().empty());
}

TEST_F(ErrorLogTest, EntriesFromManyThreadsNeverInterleave) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 50; ++i) KErrorLog::Instance().WriteLine(
                    0, std::u16string(40, u'a' + t) + plat::ToUtf16(std::to_string(i)), "f", t);
        });
    for (auto& th : threads) th.join();
    std::u16string log = ReadLog();
    size_t entries = 0, pos = 0;
    while ((pos = log.find(u"Time: ", pos)) != std::u16string::npos) {
        size_t end = log.find(u" \r\n", pos);
        ASSERT_NE(end, std::u16string::npos);
        std::u16string entry = log.substr(pos, end - pos);
        size_t dash = entry.find(u" -- ");
        ASSERT_NE(dash, std::u16string::npos);
        std::u16string body = entry.substr(dash + 4, 40);
        EXPECT_EQ(body, std::u16string(40, body[0]));
        ++entries;
        pos = end;
    }
    EXPECT_EQ(entries, 400u);
}

TEST_F(ErrorLogTest, TheListKeepsTheNewestEntriesAndCountsTheDropped) {
    for (int i = 0; i < 100000; ++i) TQ_REPORT_FORMATTED(EC_OPEN_DATA_FILE, 0, plat::ToUtf16(std::to_string(i)));
    auto texts = Drain();
    ASSERT_EQ(texts.size(), KErrorLog::kMaxErrors + 1);
    EXPECT_EQ(texts[0], u"Too many errors: 99000 older errors were dropped. ");
    EXPECT_EQ(texts[1], u"Cannot open the data file 99000. ");
    EXPECT_EQ(texts.back(), u"Cannot open the data file 99999. ");
    EXPECT_TRUE(Drain().empty());  // the count went with the entries

    // One at a time, the count comes first, then the entries oldest first.
    for (size_t i = 0; i < KErrorLog::kMaxErrors + 2; ++i)
        TQ_REPORT(EC_NO_PLAY_DEVICE, 0, plat::ToUtf16(std::to_string(i)));
    LONG code = 0;
    std::u16string text;
    ASSERT_TRUE(KErrorLog::Instance().PopError(&code, &text));
    EXPECT_EQ(text, u"Too many errors: 2 older errors were dropped. ");
    ASSERT_TRUE(KErrorLog::Instance().PopError(&code, &text));
    EXPECT_EQ(code, EC_NO_PLAY_DEVICE);

    // A fetch for a client offers the count first too, and keeps it until
    // the client has taken it.
    KErrorLog::Instance().ClearErrors();
    for (size_t i = 0; i < KErrorLog::kMaxErrors + 3; ++i)
        TQ_REPORT(EC_NO_PLAY_DEVICE, 0, plat::ToUtf16(std::to_string(i)));
    for (const bool accept : {false, true}) {
        std::vector<std::u16string> offered;
        KErrorLog::Instance().TakeErrors([&](const std::vector<std::u16string>& t) {
            offered = t;
            return accept;
        });
        ASSERT_EQ(offered.size(), KErrorLog::kMaxErrors + 1);
        EXPECT_EQ(offered[0], u"Too many errors: 3 older errors were dropped. ");
    }
    EXPECT_TRUE(Drain().empty());
}

// A fetch whose delivery reports errors itself, from its own thread or
// another one: those errors are never lost with the entries taken. Entries
// that go back after a failed delivery keep their place before the newer ones
// and the list stays within its bound.
TEST_F(ErrorLogTest, ErrorsReportedWhileAFetchIsDeliveredStay) {
    KErrorLog& log = KErrorLog::Instance();
    auto reportFromAnotherThread = [](const std::u16string& text) {
        std::thread([&] { TQ_REPORT_FORMATTED(EC_OPEN_DATA_FILE, 0, text); }).join();
    };
    TQ_REPORT_FORMATTED(EC_OPEN_DATA_FILE, 0, u"a");
    std::vector<std::u16string> offered;
    log.TakeErrors([&](const std::vector<std::u16string>& t) {
        offered = t;
        TQ_REPORT_FORMATTED(EC_OPEN_DATA_FILE, 0, u"b");
        reportFromAnotherThread(u"c");
        return true;
    });
    EXPECT_EQ(offered.size(), 1u);
    auto left = Drain();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0], u"Cannot open the data file b. ");
    EXPECT_EQ(left[1], u"Cannot open the data file c. ");

    for (size_t i = 0; i < KErrorLog::kMaxErrors + 2; ++i) TQ_REPORT_FORMATTED(EC_OPEN_DATA_FILE, 0, plat::ToUtf16(std::to_string(i)));
    log.TakeErrors([&](const std::vector<std::u16string>&) {
        reportFromAnotherThread(u"newest");
        return false;
    });
    left = Drain();
    ASSERT_EQ(left.size(), KErrorLog::kMaxErrors + 1);
    EXPECT_EQ(left[0], u"Too many errors: 3 older errors were dropped. ");
    EXPECT_EQ(left[1], u"Cannot open the data file 3. ");
    EXPECT_EQ(left.back(), u"Cannot open the data file newest. ");
}

TEST_F(ErrorLogTest, ARepeatedEntryIsWrittenOnceAndCountedWhenItStops) {
    plat::ManualClock clock(5000);
    plat::SetClock(&clock);
    KErrorLog& log = KErrorLog::Instance();
    auto report = [&] { log.AddError("Intake.cpp", 3, EC_NO_PLAY_DEVICE, 0, u"flood"); };
    for (int i = 0; i < 100000; ++i) {
        report();
        log.WriteLine(0, u"m_pLivePlayer->PlayData()", "Intake.cpp", 7);
        if (i % 100 == 0) clock.Advance(999);  // always within a second of the one before
    }
    // Some 16 minutes of flood: two entries and one count a minute for each.
    std::u16string text = ReadLog();
    EXPECT_LE(Count(text, u"Time: "), 40u);
    EXPECT_LT(text.size(), 8000u);
    EXPECT_EQ(Drain().size(), 1u);  // one entry for the whole burst

    // Another text, code, line or file is no repeat.
    log.AddError("Intake.cpp", 3, EC_NO_PLAY_DEVICE, 0, u"other");
    log.AddError("Intake.cpp", 3, EC_NO_CAPTURE_DEVICE, 0, u"flood");
    log.AddError("Intake.cpp", 4, EC_NO_PLAY_DEVICE, 0, u"flood");
    log.AddError("Setup.cpp", 3, EC_NO_PLAY_DEVICE, 0, u"flood");
    EXPECT_EQ(Drain().size(), 4u);

    // Quiet for a second: the bursts end with their counts, which add up to
    // every repeat; the same entry afterwards begins a new burst.
    clock.Advance(KErrorLog::kRepeatWindowMs);
    log.FlushRepeats();
    text = ReadLog();
    EXPECT_EQ(Count(text, u"Intake.cpp, Line: 3 -- No device to play sound in system. flood (10010)"), 1u);
    EXPECT_EQ(Count(text, u"-- m_pLivePlayer->PlayData() (0)"), 1u);
    for (std::u16string_view place : {u"Intake.cpp, Line: 3 -- (repeated ", u"Intake.cpp, Line: 7 -- (repeated "}) {
        uint64_t counted = 0;
        size_t counts = 0;
        for (size_t at = text.find(place); at != std::u16string::npos; at = text.find(place, at + 1), ++counts) {
            counted += std::stoull(plat::ToUtf8(text.substr(at + place.size(), 8)));
        }
        EXPECT_EQ(counted, 99999u);
        EXPECT_GE(counts, 2u);  // counted each minute, and at the end
    }
    report();
    EXPECT_EQ(Drain().size(), 1u);
    EXPECT_EQ(Count(ReadLog(), u"Intake.cpp, Line: 3 -- No device to play sound in system. flood (10010)"), 2u);
}

TEST_F(ErrorLogTest, APendingCountIsWrittenBeforeTheClosingEntry) {
    plat::ManualClock clock(5000);
    plat::SetClock(&clock);
    for (int i = 0; i < 3; ++i) KErrorLog::Instance().WriteLine(0, u"x", "f", 1);
    KErrorLog::Instance().Close();
    std::u16string log = ReadLog();
    size_t count = log.find(u"-- (repeated 2 times) (0) \r\n");
    ASSERT_NE(count, std::u16string::npos);
    EXPECT_LT(count, log.find(u"-- Closing log (0)"));
}

TEST_F(ErrorLogTest, AFullLogFileIsMovedAsideKeepingOneOldFile) {
    EXPECT_EQ(KErrorLog::RotatedPath(u"/a/(log-file).log"), u"/a/(log-file).1.log");
    EXPECT_EQ(KErrorLog::RotatedPath(u"/a/log"), u"/a/log.1.log");
    const std::u16string old = KErrorLog::RotatedPath(m_path);
    KErrorLog::Instance().SetMaxFileBytes(4096);
    auto entries = [](int from, int to) {
        for (int i = from; i < to; ++i) {
            KErrorLog::Instance().WriteLine(0, u"entry " + plat::ToUtf16(std::to_string(i)), "f", 1);
        }
    };
    entries(0, 200);
    uint64_t size = 0, oldSize = 0;
    ASSERT_TRUE(plat::GetFileSize(m_path, &size));
    ASSERT_TRUE(plat::GetFileSize(old, &oldSize));
    EXPECT_LE(size, 4096u + 2 * KErrorLog::kEntryUnits);
    EXPECT_GT(oldSize, 4096u);
    EXPECT_LE(oldSize, 4096u + 2 * KErrorLog::kEntryUnits);
    std::vector<plat::DirEntry> files;
    ASSERT_TRUE(plat::ListDirectory(m_dir, &files));
    EXPECT_EQ(files.size(), 2u);  // the log and one old copy, no more
    // The newest entries are in the file, the ones before them in the old one.
    EXPECT_NE(ReadLog().find(u"-- entry 199 (0)"), std::u16string::npos);
    std::string bytes;
    {
        std::ifstream in(plat::ToUtf8(old), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    EXPECT_EQ(bytes.substr(0, 4), std::string("T\0i\0", 4));
}

// Whether some process waits for a record lock of an open file on the file
// with inode ino (a blocked lock is listed with "->" in /proc/locks).
bool SomeoneWaitsToLock(ino_t ino) {
    std::ifstream in("/proc/locks");
    const std::string inode = ":" + std::to_string(ino);
    for (std::string line; std::getline(in, line);) {
        if (line.find("->") == std::string::npos || line.find("OFDLCK") == std::string::npos) continue;
        std::istringstream words(line);
        for (std::string w; words >> w;) {
            if (w.size() > inode.size() && w.compare(w.size() - inode.size(), inode.size(), inode) == 0) return true;
        }
    }
    return false;
}

// Every process that appends may find the log full after its own entry. When
// another process moves the full file aside first, this one must leave the
// new log at the path where it is: moved too, it would replace the old copy
// and every entry of the full file would be lost.
TEST_F(ErrorLogTest, AFullLogAnotherProcessMovesAsideIsNotMovedAgain) {
    const std::u16string old = KErrorLog::RotatedPath(m_path);
    const std::string path8 = plat::ToUtf8(m_path);
    KErrorLog::Instance().WriteLine(0, u"the first entry", "f", 1);
    uint64_t size = 0;
    ASSERT_TRUE(plat::GetFileSize(m_path, &size));
    KErrorLog::Instance().SetMaxFileBytes(size);  // the next entry fills it
    // The other process is in its move of the full file: it holds the lock.
    const int other = ::open(path8.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(other, 0);
    struct stat full {};
    ASSERT_EQ(::fstat(other, &full), 0);
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    ASSERT_EQ(::fcntl(other, F_OFD_SETLK, &whole), 0);
    std::atomic<bool> written{false};
    std::thread writer([&written] {
        KErrorLog::Instance().WriteLine(0, u"the entry that fills it", "f", 2);
        written = true;
    });
    bool waited = false;
    for (const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
         !written && std::chrono::steady_clock::now() < deadline;
         std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
        if ((waited = SomeoneWaitsToLock(full.st_ino))) break;
    }
    if (!waited) {
        ::close(other);
        writer.join();
        FAIL() << "the full log was moved without waiting for the other process's move";
    }
    // The other process's move: the full file aside, a new log at the path.
    ASSERT_TRUE(plat::MoveFile(m_path, old));
    {
        const std::u16string entry = u"the other process's new log";
        std::ofstream fresh(path8, std::ios::binary);
        for (char16_t c : entry) fresh << static_cast<char>(c & 0xFF) << static_cast<char>(c >> 8);
    }
    ::close(other);
    writer.join();
    KErrorLog::Instance().SetMaxFileBytes(KErrorLog::kMaxFileBytes);
    KErrorLog::Instance().WriteLine(0, u"the entry after the move", "f", 3);
    const std::u16string previous = ReadLogAt(old), log = ReadLog();
    EXPECT_NE(previous.find(u"the first entry"), std::u16string::npos);
    EXPECT_NE(previous.find(u"the entry that fills it"), std::u16string::npos);
    EXPECT_EQ(log.find(u"the other process's new log"), 0u);
    EXPECT_NE(log.find(u"the entry after the move"), std::u16string::npos);
}

// A second instance, a registration or a restart must never cut the log of
// the daemon that runs (or the lines of the crash that ended the last one):
// other processes append, and only the one instance begins a new log, moving
// the previous one aside.
TEST_F(ErrorLogTest, OnlyANewRunBeginsANewLogAndItKeepsThePreviousOne) {
    const std::u16string old = KErrorLog::RotatedPath(m_path);
    KErrorLog::Instance().WriteLine(0, u"the daemon's entry", "f", 1);
    // Another process opens the same log: it appends.
    ASSERT_TRUE(KErrorLog::Instance().OpenLogFile(m_path, false));
    KErrorLog::Instance().WriteLine(0, u"another process's entry", "f", 2);
    std::u16string log = ReadLog();
    EXPECT_NE(log.find(u"-- the daemon's entry (0)"), std::u16string::npos);
    EXPECT_LT(log.find(u"the daemon's entry"), log.find(u"another process's entry"));

    ASSERT_TRUE(KErrorLog::Instance().StartNewLog());
    KErrorLog::Instance().WriteLine(0, u"the new run's entry", "f", 3);
    log = ReadLog();
    EXPECT_EQ(log.find(u"the daemon's entry"), std::u16string::npos);
    EXPECT_NE(log.find(u"the new run's entry"), std::u16string::npos);
    const std::u16string previous = ReadLogAt(old);
    EXPECT_NE(previous.find(u"the daemon's entry"), std::u16string::npos);
    EXPECT_NE(previous.find(u"another process's entry"), std::u16string::npos);
}

// The file may be moved aside or removed under the process (by another
// process's move at its size limit, or by hand): entries go on into the live
// log at the path. A file that cannot be opened again is said once, and tried
// again at every entry.
TEST_F(ErrorLogTest, EntriesFollowTheLiveLogAndALostLogIsSaidOnceAndTriedAgain) {
    std::vector<std::string> complaints;
    KErrorLog::Instance().SetComplaintSink([&](const std::string& line) { complaints.push_back(line); });
    const std::u16string moved = m_dir + u"/moved.log";
    KErrorLog::Instance().WriteLine(0, u"before the move", "f", 1);
    ASSERT_TRUE(plat::MoveFile(m_path, moved));
    KErrorLog::Instance().WriteLine(0, u"after the move", "f", 2);
    EXPECT_NE(ReadLog().find(u"after the move"), std::u16string::npos);
    EXPECT_EQ(ReadLogAt(moved).find(u"after the move"), std::u16string::npos);

    // A folder where the log was: it cannot be opened (whoever runs the test).
    ASSERT_TRUE(plat::DeleteFile(m_path));
    ASSERT_TRUE(plat::CreateDirectoryRecursive(m_path));
    KErrorLog::Instance().WriteLine(0, u"lost 1", "f", 3);
    KErrorLog::Instance().WriteLine(0, u"lost 2", "f", 4);
    ASSERT_EQ(complaints.size(), 1u);
    EXPECT_NE(complaints[0].find(plat::ToUtf8(m_path)), std::string::npos) << complaints[0];
    // The cause is the failed open's, not whatever ran after it.
    EXPECT_NE(complaints[0].find(std::strerror(EISDIR)), std::string::npos) << complaints[0];
    ASSERT_TRUE(plat::RemoveDirectory(m_path));
    KErrorLog::Instance().WriteLine(0, u"back again", "f", 5);
    EXPECT_NE(ReadLog().find(u"back again"), std::u16string::npos);
    EXPECT_EQ(complaints.size(), 1u);
}

TEST(ErrorLogPlace, TheStateFolderFollowsXdgStateHomeElseHome) {
    struct Case {
        const char* state;  // null: unset
        const char* home;
        const char16_t* dir;
    } cases[] = {{"/s", "/h", u"/s/Tonquil/"}, {"/s/", "/h", u"/s/Tonquil/"}, {nullptr, "/h", u"/h/.local/state/Tonquil/"},
                 {"", "/h", u"/h/.local/state/Tonquil/"}};
    const char* savedState = std::getenv("XDG_STATE_HOME");
    const std::string state = savedState ? savedState : "";
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    for (const Case& c : cases) {
        if (c.state) ::setenv("XDG_STATE_HOME", c.state, 1);
        else ::unsetenv("XDG_STATE_HOME");
        ::setenv("HOME", c.home, 1);
        EXPECT_EQ(KErrorLog::StateDir(), c.dir) << (c.state ? c.state : "(unset)");
    }
    if (savedState) ::setenv("XDG_STATE_HOME", state.c_str(), 1);
    else ::unsetenv("XDG_STATE_HOME");
    ::setenv("HOME", home.c_str(), 1);
}

TEST(ErrorLogExit, ClosingEntryIsWrittenAtProcessEnd) {
    char tmpl[] = "/tmp/tq-exit-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    std::u16string path = plat::ToUtf16(tmpl) + u"/x.log";
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        KErrorLog::Instance().OpenLogFile(path);
        std::exit(0);  // runs the exit handlers
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::ifstream in(plat::ToUtf8(path), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::u16string log;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        log.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    EXPECT_NE(log.find(u", File: , Line: 55 -- Closing log (0) \r\n"), std::u16string::npos);
    plat::DeleteFolderRecursive(plat::ToUtf16(tmpl));
}
