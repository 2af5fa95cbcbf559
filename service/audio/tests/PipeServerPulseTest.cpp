// End to end: a player plays a known tone into "Tonquil Audio Device", the
// driver stand-in records that output's monitor, and the link hands the
// listener engine-format audio of the tone's frequency and level.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "platform/driver/ObjectNames.h"
#include "platform/driver/tests/TempRuntimeDir.h"
#include "platform/sound/tests/support/SoundServer.h"
#include "platform/sound/tests/support/Tone.h"
#include "service/audio/PipeServer.h"
#include "service/audio/tests/PipeServerSupport/AudioCheck.h"
#include "service/audio/tests/PipeServerSupport/ChildProcess.h"
#include "service/audio/tests/TestListener.h"

namespace {

constexpr double kHz = 750.0;
constexpr int kPeak = 8000;

TEST(PipeServerPulse, PlayedToneReachesTheListenerAtItsFrequencyAndLevel) {
    if (!soundtest::SoundServerAnswers()) GTEST_SKIP() << "no sound server answers (run inside scripts/testenv)";
    TempRuntimeDir dir;
    std::string socketPath;
    ASSERT_TRUE(plat::drv::DeviceSocketPath(plat::drv::kDevicePath, &socketPath));
    ChildProcess driver;
    ASSERT_TRUE(driver.Start({TONQUIL_AUDIO_DRIVER, "--source", "pulse"}, {"TONQUIL_RUNTIME_DIR=" + dir.Path()}));
    struct stat st {};
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
         ::stat(socketPath.c_str(), &st) != 0 && driver.Running() && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(0, ::stat(socketPath.c_str(), &st)) << "the driver did not come up";

    auto listener = TestListener::Create();
    KPipeServer link(listener.Get());
    ASSERT_EQ(S_OK, link.StartStop());

    const std::string tone = dir.Path() + "/tone.wav";
    ASSERT_TRUE(soundtest::WriteToneWave(tone, kHz, kPeak, 2));
    ChildProcess player;
    ASSERT_TRUE(player.Start({"paplay", "--device=tonquil", tone}));

    // Wait for 300 ms of the tone after its onset.
    std::vector<int16_t> left;
    size_t onset = 0;
    bool equal = true;
    bool heard = listener->WaitFor(
        [&] {
            std::vector<BYTE> all;
            for (const auto& c : listener->chunks) all.insert(all.end(), c.begin(), c.end());
            left = LeftChannel(all, &equal);
            for (onset = 0; onset < left.size() && std::abs(left[onset]) < kPeak / 4; ++onset) {
            }
            return left.size() > onset + 2400 + 14400;
        },
        30000);
    EXPECT_EQ(S_OK, link.StartStop());
    EXPECT_EQ(1, listener->Interrupts());
    ASSERT_TRUE(heard) << "the tone did not arrive";
    for (const auto& c : listener->Chunks()) ASSERT_EQ(0u, c.size() % 4);
    EXPECT_TRUE(equal);

    // 300 ms from 50 ms after the onset (past any fade-in).
    std::vector<int16_t> steady(left.begin() + static_cast<long>(onset + 2400),
                                left.begin() + static_cast<long>(onset + 2400 + 14400));
    auto m = Measure(steady);
    EXPECT_NEAR(kPeak, m.peak, kPeak * 0.03);
    EXPECT_NEAR(kPeak / std::sqrt(2.0), m.rms, kPeak * 0.03);
    EXPECT_NEAR(kHz, m.frequency, kHz * 0.01);

    player.Stop(SIGTERM, 3000);
    EXPECT_EQ(0, driver.Stop(SIGTERM, 3000));
}

}  // namespace
