// One instance per user: the lock file, who holds it, and what others see.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/service/InstanceLock.h"

namespace fs = std::filesystem;

namespace {

class InstanceLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tqlock.XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    std::string m_dir;
};

TEST_F(InstanceLockTest, PathIsPerUserOnlyInTheSharedFolder) {
    EXPECT_EQ(plat::svc::InstanceLock::PathFor("/run/user/1000", "QXService"), "/run/user/1000/QXService.lock");
    EXPECT_EQ(plat::svc::InstanceLock::PathFor("/tmp", "QXService"),
              "/tmp/QXService-" + std::to_string(::getuid()) + ".lock");
}

TEST_F(InstanceLockTest, OneHolderAndWhatOthersSee) {
    const std::string path = plat::svc::InstanceLock::PathFor(m_dir, "Program");
    const std::string other = plat::svc::InstanceLock::PathFor(m_dir, "Other");
    EXPECT_FALSE(plat::svc::InstanceLock::IsHeld(path));  // no file yet
    {
        plat::svc::InstanceLock first;
        ASSERT_EQ(first.Take(path), S_OK);
        EXPECT_TRUE(first.IsTaken());
        EXPECT_EQ(first.Take(path), S_OK);  // already its own
        EXPECT_TRUE(plat::svc::InstanceLock::IsHeld(path));

        // A second instance is refused, and its attempt leaves the first holder alone.
        plat::svc::InstanceLock second;
        EXPECT_EQ(second.Take(path), HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
        EXPECT_FALSE(second.IsTaken());
        EXPECT_TRUE(plat::svc::InstanceLock::IsHeld(path));

        // Another program's lock is another file.
        EXPECT_FALSE(plat::svc::InstanceLock::IsHeld(other));
        plat::svc::InstanceLock otherProgram;
        EXPECT_EQ(otherProgram.Take(other), S_OK);
    }
    // The holder's end frees it; the file stays and is not held.
    EXPECT_TRUE(fs::exists(path));
    EXPECT_FALSE(plat::svc::InstanceLock::IsHeld(path));

    // A shared lock is nobody's instance; asking never takes the lock itself.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_SH | LOCK_NB), 0);
    EXPECT_FALSE(plat::svc::InstanceLock::IsHeld(path));
    ::close(fd);
    plat::svc::InstanceLock again;
    EXPECT_EQ(again.Take(path), S_OK);
}

TEST_F(InstanceLockTest, AFolderThatCannotHoldTheFileFails) {
    plat::svc::InstanceLock lock;
    HRESULT hr = lock.Take(m_dir + "/missing/Program.lock");
    EXPECT_TRUE(FAILED(hr));
    EXPECT_NE(hr, HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(lock.IsTaken());
}

}  // namespace
