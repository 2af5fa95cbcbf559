#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/core/LastError.h"
#include "platform/core/Thread.h"
#include "platform/driver/Device.h"
#include "platform/driver/DeviceServer.h"
#include "platform/driver/DriverProtocol.h"
#include "platform/driver/SharedSection.h"
#include "platform/driver/ObjectNames.h"
#include "platform/driver/tests/TempRuntimeDir.h"

namespace {

using plat::drv::Device;
using plat::drv::DeviceServer;

class RecordingHandler : public DeviceServer::Handler {
public:
    void OnOpen() override { Note([&] { ++opens; }); }
    DWORD OnControl(DWORD code) override {
        Note([&] { codes.push_back(code); });
        return code == 0xBAD || code == kRefusedWithDescriptor ? ERROR_GEN_FAILURE : ERROR_SUCCESS;
    }
    // IOCTL_LINK_OPEN and the refused code come with a descriptor.
    int DescriptorFor(DWORD code) override {
        return code == plat::drv::IOCTL_LINK_OPEN || code == kRefusedWithDescriptor ? passed : -1;
    }
    static constexpr DWORD kRefusedWithDescriptor = 0xBAE;
    int passed = -1;
    void OnClose() override { Note([&] { ++closes; }); }

    template <class Pred>
    bool WaitFor(Pred pred) {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, std::chrono::seconds(3), pred);
    }

    std::mutex m;
    std::condition_variable cv;
    int opens = 0;
    int closes = 0;
    std::vector<DWORD> codes;

private:
    template <class F>
    void Note(F f) {
        {
            std::lock_guard<std::mutex> lock(m);
            f();
        }
        cv.notify_all();
    }
};

// A device served on a thread of the test for the fixture's lifetime.
class DriverDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Create(plat::drv::kDevicePath));
        ASSERT_TRUE(serving.Start([this] { return server.Serve(handler, stop) ? S_OK : E_FAIL; }));
    }
    void TearDown() override {
        stop.Set();
        ASSERT_TRUE(serving.Join(5000));
        EXPECT_EQ(S_OK, serving.ExitCode());
    }

    TempRuntimeDir dir;
    DeviceServer server;
    RecordingHandler handler;
    plat::Event stop{plat::Event::Reset::Auto};
    plat::Thread serving;
};

TEST(DriverDevice, OpenWithoutDriverIsFileNotFound) {
    TempRuntimeDir dir;
    plat::SetLastError(0);
    EXPECT_EQ(nullptr, Device::Open(plat::drv::kDevicePath));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, plat::GetLastError());
}

TEST(DriverDevice, NamesLiveInTheRuntimeFolderAndRejectPaths) {
    TempRuntimeDir dir;
    std::string path;
    ASSERT_TRUE(plat::drv::DeviceSocketPath(u"\\\\.\\ParvaneAD", &path));
    EXPECT_EQ(dir.Path() + "/ParvaneAD", path);
    EXPECT_FALSE(plat::drv::DeviceSocketPath(u"\\\\.\\..\\x", &path));
    EXPECT_EQ(ERROR_INVALID_NAME, plat::GetLastError());
    EXPECT_FALSE(plat::drv::DeviceSocketPath(u"a/b", &path));
    EXPECT_FALSE(plat::drv::DeviceSocketPath(u"", &path));
}

TEST_F(DriverDeviceTest, ControlCodesAreAnsweredInOrder) {
    auto device = Device::Open(plat::drv::kDevicePath);
    ASSERT_NE(nullptr, device);
    EXPECT_TRUE(device->IoControl(plat::drv::IOCTL_LINK_OPEN));
    plat::SetLastError(0);
    EXPECT_FALSE(device->IoControl(0xBAD));
    EXPECT_EQ(ERROR_GEN_FAILURE, plat::GetLastError());
    EXPECT_TRUE(device->IoControl(plat::drv::IOCTL_LINK_CLOSE));
    std::lock_guard<std::mutex> lock(handler.m);
    EXPECT_EQ((std::vector<DWORD>{plat::drv::IOCTL_LINK_OPEN, 0xBAD, plat::drv::IOCTL_LINK_CLOSE}), handler.codes);
    EXPECT_EQ(1, handler.opens);
}

TEST_F(DriverDeviceTest, ADescriptorTravelsWithASuccessfulAnswerOnly) {
    auto section = plat::drv::SharedSection::CreateSealed(plat::drv::kSectionName, 4096);
    ASSERT_NE(nullptr, section);
    handler.passed = section->NativeHandle();
    auto device = Device::Open(plat::drv::kDevicePath);
    ASSERT_NE(nullptr, device);
    struct stat mine {}, theirs {};
    ASSERT_EQ(0, ::fstat(section->NativeHandle(), &mine));

    int received = -1;
    ASSERT_TRUE(device->IoControl(plat::drv::IOCTL_LINK_OPEN, &received));
    ASSERT_GE(received, 0);
    ASSERT_EQ(0, ::fstat(received, &theirs));
    EXPECT_EQ(mine.st_ino, theirs.st_ino);  // the same memory, not a copy
    EXPECT_TRUE(::fcntl(received, F_GETFD) & FD_CLOEXEC);  // not inherited by programs we start
    ::close(received);

    EXPECT_FALSE(device->IoControl(RecordingHandler::kRefusedWithDescriptor, &received));
    EXPECT_EQ(ERROR_GEN_FAILURE, plat::GetLastError());
    EXPECT_EQ(-1, received);
    EXPECT_TRUE(device->IoControl(plat::drv::IOCTL_LINK_CLOSE, &received));
    EXPECT_EQ(-1, received);
    // A plain call after them still reads its answer in step.
    EXPECT_TRUE(device->IoControl(plat::drv::IOCTL_LINK_OPEN));
}

TEST_F(DriverDeviceTest, OpeningIsExclusiveUntilTheHolderCloses) {
    auto first = Device::Open(plat::drv::kDevicePath);
    ASSERT_NE(nullptr, first);
    plat::SetLastError(0);
    EXPECT_EQ(nullptr, Device::Open(plat::drv::kDevicePath));
    EXPECT_EQ(ERROR_SHARING_VIOLATION, plat::GetLastError());
    // The refused client did not disturb the holder.
    EXPECT_TRUE(first->IoControl(plat::drv::IOCTL_LINK_OPEN));

    first.reset();
    ASSERT_TRUE(handler.WaitFor([&] { return handler.closes == 1; }));
    auto second = Device::Open(plat::drv::kDevicePath);
    ASSERT_NE(nullptr, second);
    EXPECT_TRUE(second->IoControl(plat::drv::IOCTL_LINK_OPEN));
}

TEST_F(DriverDeviceTest, CloseWithControlDeliversTheCodeAndDisconnects) {
    auto device = Device::Open(plat::drv::kDevicePath);
    ASSERT_NE(nullptr, device);
    device->CloseWithControl(plat::drv::IOCTL_LINK_CLOSE);
    device->CloseWithControl(plat::drv::IOCTL_LINK_CLOSE);  // a second close does nothing
    EXPECT_FALSE(device->IsOpen());
    ASSERT_TRUE(handler.WaitFor([&] { return handler.closes == 1; }));
    std::lock_guard<std::mutex> lock(handler.m);
    EXPECT_EQ(std::vector<DWORD>{plat::drv::IOCTL_LINK_CLOSE}, handler.codes);
    plat::SetLastError(0);
    EXPECT_FALSE(device->IoControl(plat::drv::IOCTL_LINK_OPEN));
    EXPECT_EQ(ERROR_INVALID_HANDLE, plat::GetLastError());
}

TEST_F(DriverDeviceTest, ACodeSentInPiecesIsAssembled) {
    std::string path;
    ASSERT_TRUE(plat::drv::DeviceSocketPath(plat::drv::kDevicePath, &path));
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(0, ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)));
    BYTE greeting[4];
    ASSERT_EQ(4, ::recv(fd, greeting, 4, MSG_WAITALL));
    EXPECT_EQ(0u, plat::drv::ReadLe32(greeting));
    BYTE code[4];
    plat::drv::WriteLe32(code, plat::drv::IOCTL_LINK_OPEN);
    ASSERT_EQ(2, ::send(fd, code, 2, 0));
    ::usleep(20000);
    ASSERT_EQ(2, ::send(fd, code + 2, 2, 0));
    BYTE answer[4];
    ASSERT_EQ(4, ::recv(fd, answer, 4, MSG_WAITALL));
    EXPECT_EQ(0u, plat::drv::ReadLe32(answer));
    ::close(fd);
    ASSERT_TRUE(handler.WaitFor([&] { return handler.closes == 1; }));
    std::lock_guard<std::mutex> lock(handler.m);
    EXPECT_EQ(std::vector<DWORD>{plat::drv::IOCTL_LINK_OPEN}, handler.codes);
}

TEST_F(DriverDeviceTest, ASecondServerIsRefusedAndTheSocketIsPrivate) {
    DeviceServer other;
    plat::SetLastError(0);
    EXPECT_FALSE(other.Create(plat::drv::kDevicePath));
    EXPECT_EQ(ERROR_ALREADY_EXISTS, plat::GetLastError());
    struct stat st {};
    ASSERT_EQ(0, ::stat(server.SocketPath().c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777);
}

TEST_F(DriverDeviceTest, StoppingTheServerClosesItsClient) {
    auto device = Device::Open(plat::drv::kDevicePath);
    ASSERT_NE(nullptr, device);
    stop.Set();
    ASSERT_TRUE(serving.Join(5000));
    EXPECT_EQ(1, handler.closes);
    plat::SetLastError(0);
    EXPECT_FALSE(device->IoControl(plat::drv::IOCTL_LINK_OPEN));
    EXPECT_EQ(ERROR_BROKEN_PIPE, plat::GetLastError());
    // Serve again for TearDown.
    ASSERT_TRUE(serving.Start([this] { return server.Serve(handler, stop) ? S_OK : E_FAIL; }));
}

TEST(DriverDevice, ALeftoverSocketIsReplaced) {
    TempRuntimeDir dir;
    std::string path;
    ASSERT_TRUE(plat::drv::DeviceSocketPath(plat::drv::kDevicePath, &path));
    {
        // A socket file whose server has gone.
        int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
        ASSERT_EQ(0, ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)));
        ::close(fd);
    }
    DeviceServer server;
    EXPECT_TRUE(server.Create(plat::drv::kDevicePath));
    server.Close();
    EXPECT_NE(0, ::access(path.c_str(), F_OK));
}

}  // namespace
