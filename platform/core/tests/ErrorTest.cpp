#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "platform/core/LastError.h"
#include "platform/core/SystemMessage.h"

using namespace plat;

TEST(HResult, FromWin32) {
    EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);
    EXPECT_EQ(HRESULT_FROM_WIN32(2), MakeHResult(0x80070002u));
    EXPECT_EQ(HRESULT_FROM_WIN32(0x80004005u), E_FAIL);  // already an HRESULT
    EXPECT_EQ(HRESULT_FROM_WIN32(0x12345), MakeHResult(0x80072345u));
}

TEST(LastError, IsPerThreadAndMapsErrno) {
    SetLastError(0);
    SetLastErrorFromErrno(ENOENT);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    DWORD seenElsewhere = 99;
    std::thread([&] { seenElsewhere = GetLastError(); }).join();
    EXPECT_EQ(seenElsewhere, 0u);
    EXPECT_EQ(Win32FromErrno(ENOSPC), ERROR_DISK_FULL);
    EXPECT_EQ(Win32FromErrno(EEXIST), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(Win32FromErrno(EACCES), ERROR_ACCESS_DENIED);
}

TEST(LastError, AFailureIsNeverReportedAsSuccess) {
    SetLastError(0);
    EXPECT_EQ(HResultFromLastError(), E_FAIL);
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(HResultFromLastError(), E_ACCESSDENIED);
}

TEST(SystemMessage, KnownTextsEndWithALineBreak) {
    std::u16string text;
    ASSERT_TRUE(FormatSystemMessage(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), &text));
    EXPECT_EQ(text, u"The system cannot find the file specified.\r\n");
    ASSERT_TRUE(FormatSystemMessage(S_OK, &text));
    EXPECT_EQ(text.substr(text.size() - 2), u"\r\n");
    text = u"untouched";
    EXPECT_FALSE(FormatSystemMessage(MakeHResult(0x8123ABCDu), &text));
    EXPECT_EQ(text, u"untouched");
}
