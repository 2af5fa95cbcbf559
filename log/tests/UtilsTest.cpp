#include <gtest/gtest.h>

#include <cstdlib>

#include "log/DirUtils.h"
#include "log/KLock.h"
#include "log/KStr.h"
#include "platform/core/Text.h"
#include "platform/fs/File.h"

TEST(KStr, HolderBasics) {
    KStr empty;
    EXPECT_EQ(empty.Count(), 1u);
    const char16_t* b = empty.GetBuffer();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b[0], 0);

    KStr s(u"abc");
    EXPECT_EQ(s.Count(), 4u);
    s.Append("d\xc3\xa9");  // two bytes, one character
    EXPECT_EQ(s.Str(), u"abcd\u00e9");
    EXPECT_EQ(s.Count(), 6u);
    s.Append(nullptr);
    EXPECT_EQ(s.Count(), 6u);
    s.Assign(nullptr);
    EXPECT_EQ(s.Count(), 1u);
    EXPECT_EQ(std::u16string(s.GetBuffer()), u"");

    StringResources res{{7, u"Seven"}};
    EXPECT_EQ(s.LoadString(res, 7), 5);
    EXPECT_EQ(s.Str(), u"Seven");
    EXPECT_EQ(s.LoadString(res, 8), 0);
}

TEST(KStr, SystemMessages) {
    KStr s;
    s.FromHResult(2);
    EXPECT_EQ(s.Str(), u"The system cannot find the file specified.\r\n");
    s.FromHResult(0);
    EXPECT_EQ(s.Str(), u"The operation completed successfully.\r\n");
    s.FromHResult(static_cast<LONG>(0x8123ABCDu));
    EXPECT_EQ(s.Str(), u"0x8123abcd");
    s.FromHResult(0x1234);  // a Win32 number without text: shown as given
    EXPECT_EQ(s.Str(), u"0x1234");
}

TEST(KLock, ReentrantForItsOwner) {
    plat::Mutex m;
    {
        KLock outer(m);
        KLock inner(&m);
    }
    EXPECT_TRUE(m.TryLock());
    m.Unlock();
}

TEST(DirUtils, CreatesEveryMissingLevelAndRefusesAFileOnTheWay) {
    char tmpl[] = "/tmp/tq-dir-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    std::u16string root = plat::ToUtf16(tmpl);
    std::u16string deep = root + u"/one/two/three";
    EXPECT_TRUE(dirUtils::createDirRecursive(deep));
    EXPECT_TRUE(plat::IsDirectory(deep));
    EXPECT_TRUE(dirUtils::createDirRecursive(deep));        // over an existing path
    EXPECT_TRUE(dirUtils::createDirRecursive(deep + u"/")); // trailing separator
    plat::File f;
    ASSERT_TRUE(f.Open(root + u"/file", plat::FileAccess::Write, plat::FileCreation::CreateAlways));
    f.Close();
    EXPECT_FALSE(dirUtils::createDirRecursive(root + u"/file/below"));
    plat::DeleteFolderRecursive(root);
}

TEST(DirUtils, AppDataDirIsTheProductFolder) {
    char tmpl[] = "/tmp/tq-data-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    ::setenv("TONQUIL_DATA_DIR", tmpl, 1);
    EXPECT_EQ(GetAppDataDir().Str(), plat::ToUtf16(tmpl) + u"/Tonquil/");
    ::unsetenv("TONQUIL_DATA_DIR");
    plat::DeleteFolderRecursive(plat::ToUtf16(tmpl));
}
