#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <thread>

#include "platform/core/Text.h"
#include "platform/fs/File.h"
#include "service/foundation/Trace.h"

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
        KErrorLog::Instance().ClearErrors();
        plat::DeleteFolderRecursive(m_dir);
    }
    // The log decoded from UTF-16LE.
    std::u16string ReadLog(std::string* raw = nullptr) const {
        std::ifstream in(plat::ToUtf8(m_path), std::ios::binary);
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
    EXPECT_EQ(texts[1], u"/q");
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
            for (int i = 0; i < 50; ++i) KErrorLog::Instance().WriteLine(0, std::u16string(40, u'a' + t), "f", t);
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
