// The link against the real driver stand-in program (its tone source).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "platform/core/LastError.h"
#include "platform/driver/Device.h"
#include "platform/driver/ObjectNames.h"
#include "platform/driver/tests/TempRuntimeDir.h"
#include "service/audio/PipeServer.h"
#include "service/audio/tests/PipeServerSupport/AudioCheck.h"
#include "service/audio/tests/PipeServerSupport/ChildProcess.h"
#include "service/audio/tests/TestListener.h"

namespace {

constexpr int kToneHz = 1000;
constexpr int kTonePeak = 16384;

bool WaitForPath(const std::string& path, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    struct stat st {};
    while (::stat(path.c_str(), &st) != 0) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::vector<BYTE> Joined(TestListener& listener) {
    std::vector<BYTE> all;
    for (const auto& c : listener.Chunks()) all.insert(all.end(), c.begin(), c.end());
    return all;
}

class PipeServerDriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(plat::drv::DeviceSocketPath(plat::drv::kDevicePath, &socketPath));
        ASSERT_TRUE(driver.Start({TONQUIL_AUDIO_DRIVER, "--source", "tone"}, {"TONQUIL_RUNTIME_DIR=" + dir.Path()}));
        ASSERT_TRUE(WaitForPath(socketPath, 30000)) << "the driver did not come up";
    }
    // Waits until at least `bytes` of audio have arrived.
    bool ReceiveAudio(size_t bytes) {
        return listener->WaitFor(
            [&] {
                size_t total = 0;
                for (const auto& c : listener->chunks) total += c.size();
                return total >= bytes;
            },
            30000);
    }

    TempRuntimeDir dir;
    std::string socketPath;
    ChildProcess driver;
    plat::ComPtr<TestListener> listener = TestListener::Create();
};

TEST_F(PipeServerDriverTest, ToneArrivesInTheEngineFormatAtItsLevel) {
    KPipeServer link(listener.Get());
    ASSERT_EQ(S_OK, link.StartStop());
    ASSERT_TRUE(ReceiveAudio(48000 * 4 / 2));  // half a second
    EXPECT_EQ(S_OK, link.StartStop());
    EXPECT_EQ(1, listener->Interrupts());

    for (const auto& c : listener->Chunks()) ASSERT_EQ(1920u, c.size());
    bool equal = false;
    auto m = Measure(LeftChannel(Joined(*listener), &equal));
    EXPECT_TRUE(equal);
    EXPECT_NEAR(kTonePeak, m.peak, 2);
    EXPECT_NEAR(kTonePeak / std::sqrt(2.0), m.rms, kTonePeak * 0.01);
    EXPECT_NEAR(kToneHz, m.frequency, kToneHz * 0.005);
    EXPECT_EQ(0, driver.Stop(SIGTERM, 3000));
}

TEST_F(PipeServerDriverTest, ClientsThatLeaveAreReplacedByNewOnes) {
    {
        // A client that opens the link and goes away without closing it.
        auto device = plat::drv::Device::Open(plat::drv::kDevicePath);
        ASSERT_NE(nullptr, device);
        ASSERT_TRUE(device->IoControl(plat::drv::IOCTL_LINK_OPEN));
    }
    KPipeServer link(listener.Get());
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        // The device is free again once the driver has noticed the client left.
        HRESULT hr = E_FAIL;
        for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
             (hr = link.StartStop()) == HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION) &&
             std::chrono::steady_clock::now() < end;)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(S_OK, hr);
        size_t before = Joined(*listener).size();
        ASSERT_TRUE(ReceiveAudio(before + 19200));
        EXPECT_EQ(S_OK, link.StartStop());
        EXPECT_EQ(run, listener->Interrupts());
    }
    EXPECT_EQ(0, driver.Stop(SIGTERM, 3000));
}

TEST_F(PipeServerDriverTest, TerminationEndsTheDriverCleanlyUnderAnOpenLink) {
    KPipeServer link(listener.Get());
    ASSERT_EQ(S_OK, link.StartStop());
    ASSERT_TRUE(ReceiveAudio(19200));
    EXPECT_EQ(0, driver.Stop(SIGTERM, 3000));
    struct stat st {};
    EXPECT_NE(0, ::stat(socketPath.c_str(), &st)) << "the socket was left behind";
    // The link notices nothing until it stops; stopping still ends cleanly.
    EXPECT_EQ(S_OK, link.StartStop());
    EXPECT_EQ(1, listener->Interrupts());
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), link.StartStop());
}

}  // namespace
