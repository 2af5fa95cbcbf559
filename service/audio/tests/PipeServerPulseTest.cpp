// End to end: a player plays a known tone into "Tonquil Audio Device", the
// driver stand-in records that output's monitor, and the link hands the
// listener engine-format audio of the tone's frequency and level.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
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

    // The player has played the whole tone once it ends by itself; the tone has
    // passed through the driver and the link once 200 ms of quiet followed it.
    ASSERT_EQ(0, player.Wait(60000)) << "the player did not finish";
    std::vector<int16_t> left;
    bool equal = true;
    bool heard = listener->WaitFor(
        [&] {
            std::vector<BYTE> all;
            for (const auto& c : listener->chunks) all.insert(all.end(), c.begin(), c.end());
            left = LeftChannel(all, &equal);
            const bool loud =
                std::any_of(left.begin(), left.end(), [](int16_t v) { return std::abs(v) >= kPeak / 4; });
            return loud && left.size() >= 9600 &&
                   std::all_of(left.end() - 9600, left.end(), [](int16_t v) { return std::abs(v) < kPeak / 4; });
        },
        60000);
    EXPECT_EQ(S_OK, link.StartStop());
    EXPECT_EQ(1, listener->Interrupts());
    ASSERT_TRUE(heard) << "the tone did not arrive";
    for (const auto& c : listener->Chunks()) ASSERT_EQ(0u, c.size() % 4);
    EXPECT_TRUE(equal);

    // Some 300 ms of the tone came through whole. A loaded machine may leave
    // gaps where the player or the driver came late; a wrong rate, layout or
    // level is wrong in every window.
    ToneMeasure m{};
    bool whole = false;
    for (size_t at = 0; !whole && at + 14400 <= left.size(); at += 2400) {
        m = Measure(std::vector<int16_t>(left.begin() + static_cast<long>(at),
                                         left.begin() + static_cast<long>(at + 14400)));
        whole = std::abs(kPeak - m.peak) <= kPeak * 0.03 && std::abs(kPeak / std::sqrt(2.0) - m.rms) <= kPeak * 0.03 &&
                std::abs(kHz - m.frequency) <= kHz * 0.01;
    }
    EXPECT_TRUE(whole) << "no 300 ms of the tone came through whole; the last window: peak " << m.peak << ", rms "
                       << m.rms << ", " << m.frequency << " Hz";

    player.Stop(SIGTERM, 3000);
    EXPECT_EQ(0, driver.Stop(SIGTERM, 3000));
}

}  // namespace
