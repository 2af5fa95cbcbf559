#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/core/Text.h"
#include "platform/fs/File.h"

using namespace plat;

namespace {

class FsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tq-fs-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_dir = ToUtf16(tmpl);
    }
    void TearDown() override { DeleteFolderRecursive(m_dir); }
    std::u16string P(const char16_t* name) const { return JoinPath(m_dir, name); }
    // A file of the folder holding exactly `content`.
    void Make(const char16_t* name, std::string_view content) const {
        File f;
        ASSERT_TRUE(f.Open(P(name), FileAccess::Write, FileCreation::CreateAlways));
        ASSERT_TRUE(f.Write(content.data(), static_cast<uint32_t>(content.size()), nullptr));
    }
    uint64_t SizeOf(const char16_t* name) const {
        uint64_t size = 0;
        EXPECT_TRUE(GetFileSize(P(name), &size));
        return size;
    }
    std::u16string m_dir;
};

}  // namespace

TEST_F(FsTest, MissingFileAndMissingFolderGiveTheirErrors) {
    File f;
    EXPECT_FALSE(f.Open(P(u"nothing.dat"), FileAccess::Read, FileCreation::OpenExisting));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(f.Open(P(u"no/such/dir/x.dat"), FileAccess::Read, FileCreation::OpenExisting));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(f.Open(P(u"no/x.dat"), FileAccess::Write, FileCreation::CreateAlways));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(DeleteFile(P(u"nothing.dat")));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    uint64_t size = 0;
    EXPECT_FALSE(GetFileSize(P(u"nothing.dat"), &size));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(FsTest, ReadsReportTheCountReallyMoved) {
    File f;
    ASSERT_TRUE(f.Open(P(u"a.bin"), FileAccess::ReadWrite, FileCreation::CreateAlways));
    uint32_t done = 0;
    ASSERT_TRUE(f.Write("0123456789", 10, &done));
    EXPECT_EQ(done, 10u);
    char buf[32] = {};
    ASSERT_TRUE(f.ReadAt(6, buf, sizeof buf, &done));
    EXPECT_EQ(done, 4u);  // a short read is a short read
    EXPECT_EQ(std::string(buf, 4), "6789");
    ASSERT_TRUE(f.ReadAt(100, buf, 4, &done));
    EXPECT_EQ(done, 0u);
    ASSERT_TRUE(f.WriteAt(12, "AB", 2, &done));
    uint64_t size = 0;
    ASSERT_TRUE(f.Size(&size));
    EXPECT_EQ(size, 14u);  // the gap is filled with zeros
    ASSERT_TRUE(f.Seek(3, SeekOrigin::Begin));
    ASSERT_TRUE(f.SetEnd());
    ASSERT_TRUE(f.Size(&size));
    EXPECT_EQ(size, 3u);
    ASSERT_TRUE(f.Flush());
    f.Close();
    ASSERT_TRUE(f.Open(P(u"a.bin"), FileAccess::Write, FileCreation::CreateAlways));
    ASSERT_TRUE(f.Size(&size));
    EXPECT_EQ(size, 0u);  // create-always truncates
    File g;
    EXPECT_FALSE(g.Open(P(u"a.bin"), FileAccess::Write, FileCreation::CreateNew));
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
}

TEST_F(FsTest, ExclusiveOpeningIsRefusedWhileAnotherIsOpen) {
    File a, b;
    ASSERT_TRUE(a.Open(P(u"s.dat"), FileAccess::ReadWrite, FileCreation::CreateAlways, ShareNone));
    EXPECT_FALSE(b.Open(P(u"s.dat"), FileAccess::Read, FileCreation::OpenExisting, ShareRead));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    a.Close();
    ASSERT_TRUE(b.Open(P(u"s.dat"), FileAccess::Read, FileCreation::OpenExisting, ShareReadWrite));
    File c;
    EXPECT_TRUE(c.Open(P(u"s.dat"), FileAccess::Read, FileCreation::OpenExisting, ShareReadWrite));
    EXPECT_FALSE(a.Open(P(u"s.dat"), FileAccess::ReadWrite, FileCreation::OpenExisting, ShareNone));
}

TEST_F(FsTest, CopyOverAndFolders) {
    Make(u"src", "new");
    Make(u"dst", "older content");
    EXPECT_FALSE(CopyFile(P(u"src"), P(u"dst"), true));
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    ASSERT_TRUE(CopyFile(P(u"src"), P(u"dst"), false));
    EXPECT_EQ(SizeOf(u"dst"), 3u);

    ASSERT_TRUE(CreateDirectory(P(u"d")));
    EXPECT_FALSE(CreateDirectory(P(u"d")));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(File().Open(P(u"d"), FileAccess::Read, FileCreation::OpenExisting));
    std::vector<DirEntry> entries;
    ASSERT_TRUE(ListDirectory(m_dir, &entries));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, u"d");
    EXPECT_TRUE(entries[0].isDirectory);
    EXPECT_EQ(entries[1].name, u"dst");
    EXPECT_EQ(entries[1].size, 3u);
    uint64_t freeBytes = 0, total = 0;
    ASSERT_TRUE(GetDiskFreeSpace(m_dir, &freeBytes, &total));
    EXPECT_GT(total, 0u);
    EXPECT_LE(freeBytes, total);
}

TEST_F(FsTest, RecursiveDeleteNeverFollowsLinks) {
    std::u16string outside = P(u"outside");
    ASSERT_TRUE(CreateDirectory(outside));
    File keep;
    ASSERT_TRUE(keep.Open(JoinPath(outside, u"keep.txt"), FileAccess::Write, FileCreation::CreateAlways));
    keep.Close();
    std::u16string tree = P(u"tree");
    ASSERT_TRUE(CreateDirectory(tree));
    ASSERT_TRUE(CreateDirectory(JoinPath(tree, u"sub")));
    File inner;
    ASSERT_TRUE(inner.Open(JoinPath(tree, u"sub/x.cah"), FileAccess::Write, FileCreation::CreateAlways));
    inner.Close();
    ASSERT_EQ(::symlink(ToUtf8(outside).c_str(), ToUtf8(JoinPath(tree, u"sub/link")).c_str()), 0);
    ASSERT_TRUE(DeleteFolderRecursive(tree));
    EXPECT_FALSE(PathExists(tree));
    EXPECT_TRUE(IsFile(JoinPath(outside, u"keep.txt")));
    EXPECT_FALSE(DeleteFolderRecursive(tree));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(FsTest, RenameWithoutReplacingAndEntriesThatExistOnlyAsLinks) {
    Make(u"a", "a");
    Make(u"b", "bb");
    EXPECT_FALSE(MoveFileNoReplace(P(u"a"), P(u"b")));
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    EXPECT_EQ(SizeOf(u"b"), 2u);
    ASSERT_TRUE(MoveFileNoReplace(P(u"a"), P(u"c")));
    EXPECT_FALSE(EntryExists(P(u"a")));
    EXPECT_TRUE(EntryExists(P(u"c")));

    // A dangling link is no file, but its name is taken.
    ASSERT_EQ(::symlink("/nonexistent/target", ToUtf8(P(u"dangling")).c_str()), 0);
    EXPECT_FALSE(PathExists(P(u"dangling")));
    EXPECT_TRUE(EntryExists(P(u"dangling")));
    EXPECT_FALSE(MoveFileNoReplace(P(u"c"), P(u"dangling")));
    EXPECT_TRUE(IsFile(P(u"c")));
}

// A file without a name: invisible in its folder while written through its
// reopen path, named only by Link, which never replaces; gone when closed
// unnamed.
TEST_F(FsTest, AnUnnamedFileAppearsOnlyWhenLinked) {
    Make(u"taken", "x");
    {
        File f;
        if (!f.OpenUnnamed(m_dir)) GTEST_SKIP() << "no unnamed files on this file system";
        File again;
        ASSERT_TRUE(again.Open(f.ReopenPath(), FileAccess::Write, FileCreation::OpenExisting));
        ASSERT_TRUE(again.Write("song", 4, nullptr));
        std::vector<DirEntry> entries;
        ASSERT_TRUE(ListDirectory(m_dir, &entries));
        EXPECT_EQ(entries.size(), 1u) << "only the file that was there";
        EXPECT_FALSE(f.Link(P(u"taken")));
        EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
        EXPECT_EQ(SizeOf(u"taken"), 1u);
        ASSERT_TRUE(f.Link(P(u"song")));
        EXPECT_TRUE(f.IsNamed(P(u"song")));
        EXPECT_FALSE(f.IsNamed(P(u"taken")));
        EXPECT_EQ(SizeOf(u"song"), 4u);
    }
    {
        File f;
        ASSERT_TRUE(f.OpenUnnamed(m_dir));
    }
    std::vector<DirEntry> entries;
    ASSERT_TRUE(ListDirectory(m_dir, &entries));
    EXPECT_EQ(entries.size(), 2u) << "an unnamed file closed unnamed leaves nothing";
    File missing;
    EXPECT_FALSE(missing.OpenUnnamed(P(u"nofolder")));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(FsTest, PathsOfTheProgramAndTheDataFolder) {
    EXPECT_FALSE(GetModulePath().empty());
    EXPECT_EQ(GetModuleDir().back(), u'/');
    EXPECT_EQ(GetTempDir().back(), u'/');
    std::string saved = std::getenv("TONQUIL_DATA_DIR") ? std::getenv("TONQUIL_DATA_DIR") : "";
    std::u16string data = P(u"data/root");
    ::setenv("TONQUIL_DATA_DIR", ToUtf8(data).c_str(), 1);
    std::u16string got;
    ASSERT_TRUE(GetAppDataRoot(&got));
    EXPECT_EQ(got, data);
    EXPECT_TRUE(IsDirectory(data));  // made when missing
    if (saved.empty()) ::unsetenv("TONQUIL_DATA_DIR");
    else ::setenv("TONQUIL_DATA_DIR", saved.c_str(), 1);
    EXPECT_EQ(JoinPath(u"a/", u"/b"), u"a/b");
    EXPECT_EQ(DirName(u"/x/y.log"), u"/x/");
    EXPECT_EQ(DirName(u"y.log"), u"");
}

TEST_F(FsTest, CreateDirectoryRecursiveMakesEveryMissingLevel) {
    Make(u"file", "");
    ASSERT_TRUE(CreateDirectory(P(u"have")));
    struct Case {
        std::u16string path;
        bool made;
    };
    const Case cases[] = {
        {P(u"a/b/c"), true},        // three new levels
        {P(u"a/b/c/"), true},       // again, with a trailing separator: already there
        {P(u"have/new/"), true},    // below a folder that exists
        {P(u"file"), false},        // a file in the way
        {P(u"file/below"), false},  // a file above
        {u"", false},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        const bool made = CreateDirectoryRecursive(c.path);
        EXPECT_EQ(made, c.made) << ToUtf8(c.path);
        EXPECT_TRUE(made || GetLastError() != 0) << "a failure says why: " << ToUtf8(c.path);
        EXPECT_EQ(IsDirectory(c.path), c.made) << ToUtf8(c.path);
    }
}

TEST_F(FsTest, CreatedFilesAndFoldersArePrivateUnlessTheUmaskIsAskedFor) {
    // A permissive umask shows that the private modes do not come from it.
    const mode_t saved = ::umask(0002);
    struct Case {
        const char16_t* name;
        FileVisibility visibility;
        FileCreation creation;
        mode_t expected;
    };
    const Case cases[] = {
        {u"private-always.dat", FileVisibility::Private, FileCreation::CreateAlways, 0600},
        {u"private-new.dat", FileVisibility::Private, FileCreation::CreateNew, 0600},
        {u"private-open.dat", FileVisibility::Private, FileCreation::OpenAlways, 0600},
        {u"song.mp3", FileVisibility::UserUmask, FileCreation::CreateNew, 0664},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.name));
        File f;
        ASSERT_TRUE(f.Open(P(c.name), FileAccess::Write, c.creation, ShareReadWrite, c.visibility));
        struct stat st {};
        ASSERT_EQ(0, ::stat(ToUtf8(P(c.name)).c_str(), &st));
        EXPECT_EQ(c.expected, st.st_mode & 0777);
    }
    ASSERT_TRUE(CreateDirectoryRecursive(P(u"a/b/c")));
    for (const char16_t* folder : {u"a", u"a/b", u"a/b/c"}) {
        SCOPED_TRACE(ToUtf8(folder));
        struct stat st {};
        ASSERT_EQ(0, ::stat(ToUtf8(P(folder)).c_str(), &st));
        EXPECT_EQ(0700u, st.st_mode & 0777);
    }
    ASSERT_TRUE(CopyFile(P(u"song.mp3"), P(u"copy.dat"), false));
    struct stat st {};
    ASSERT_EQ(0, ::stat(ToUtf8(P(u"copy.dat")).c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777) << "a copy is the product's own file";
    ::umask(saved);
}
