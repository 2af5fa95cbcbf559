// End to end in the private sound environment: a tone played into "Tonquil
// Audio Device" reaches the engine through the driver stand-in and the link,
// is recorded into the cache, and replayed from the cache it sounds on the
// output the players use, heard on that sink's monitor.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/com/ComPtr.h"
#include "platform/core/Clock.h"
#include "platform/core/Text.h"
#include "platform/driver/ObjectNames.h"
#include "platform/driver/tests/TempRuntimeDir.h"
#include "platform/fs/File.h"
#include "platform/sound/tests/support/SoundServer.h"
#include "platform/sound/tests/support/Tone.h"
#include "service/audio/PipeServer.h"
#include "service/audio/tests/PipeServerSupport/AudioCheck.h"
#include "service/audio/tests/PipeServerSupport/ChildProcess.h"
#include "service/controller/KAudioController.h"
#include "service/foundation/KTimecode.h"

namespace {

using namespace std::chrono_literals;
constexpr double kHz = 1000.0;
constexpr int kPeak = 8000;

std::vector<BYTE> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<BYTE>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(EnginePulse, AToneRecordedThroughTheDriverIsReplayedOnTheOutputSink) {
    if (!soundtest::SoundServerAnswers()) GTEST_SKIP() << "no sound server answers (run inside scripts/testenv)";
    KTimecode::SetRateMode(KTimecode::kHundredthsMode);
    TempRuntimeDir dir;
    const std::string data = dir.Path() + "/data";
    ::setenv("TONQUIL_DATA_DIR", data.c_str(), 1);
    ::setenv("TONQUIL_SOUND", "pulse", 1);

    std::string socketPath;
    ASSERT_TRUE(plat::drv::DeviceSocketPath(plat::drv::kDevicePath, &socketPath));
    ChildProcess driver;
    ASSERT_TRUE(driver.Start({TONQUIL_AUDIO_DRIVER, "--source", "pulse"}, {"TONQUIL_RUNTIME_DIR=" + dir.Path()}));
    struct stat st {};
    for (auto end = std::chrono::steady_clock::now() + 30s;
         ::stat(socketPath.c_str(), &st) != 0 && driver.Running() && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(5ms);
    ASSERT_EQ(0, ::stat(socketPath.c_str(), &st)) << "the driver did not come up";

    // The engine; the players' settling waits cost no time while it is built.
    plat::ManualClock buildClock(1000);
    plat::SetClock(&buildClock);
    KAudioController* raw = nullptr;
    HRESULT hr = KAudioController::Create(KControllerComponents::Engine(), &raw);
    plat::SetClock(nullptr);
    ASSERT_EQ(S_OK, hr);
    plat::ComPtr<KAudioController> engine(raw);
    plat::ComPtr<ISettings> settings;
    ASSERT_EQ(S_OK, engine->QueryInterface(IID_ISettings, reinterpret_cast<void**>(settings.GetAddressOf())));
    plat::Bstr output;
    ASSERT_EQ(S_OK, settings->GetAudioDevice(output.Out()));
    ASSERT_EQ(u"Speakers", output.Str()) << "the first output besides the product's own";

    KPipeServer link(static_cast<IQXListener*>(engine.Get()));
    ASSERT_EQ(S_OK, link.StartStop());

    const std::string tone = dir.Path() + "/tone.wav";
    ASSERT_TRUE(soundtest::WriteToneWave(tone, kHz, kPeak, 5));
    ASSERT_EQ(S_OK, engine->Record());
    ChildProcess player;
    ASSERT_TRUE(player.Start({"paplay", "--device=tonquil", tone}));
    // Live pass-through: the tone is heard on the output while it is recorded.
    const std::string liveHeard = dir.Path() + "/live.raw";
    ChildProcess liveRecorder;
    ASSERT_TRUE(liveRecorder.Start({"sh", "-c",
                                    "exec parec --device=speakers.monitor --format=s16le --rate=48000 --channels=2 "
                                    "--latency-msec=20 --raw > '" + liveHeard + "'"}));
    // A second of it heard live, however late each process gets there.
    bool equal = true;
    size_t loud = 0;
    for (auto end = std::chrono::steady_clock::now() + 30s; loud <= 48000 && std::chrono::steady_clock::now() < end;) {
        std::this_thread::sleep_for(100ms);
        loud = 0;
        for (int16_t v : LeftChannel(ReadAll(liveHeard), &equal)) loud += std::abs(v) > kPeak / 4;
    }
    liveRecorder.Stop(SIGTERM, 3000);
    ASSERT_EQ(S_OK, engine->StopRecord());
    player.Stop(SIGTERM, 3000);
    EXPECT_GT(loud, 48000u) << "the tone was not heard live";
    ULONG recorded = 0;
    ASSERT_EQ(S_OK, engine->GetTimeFullness(&recorded));
    ASSERT_GT(recorded, 1000u) << "the tone did not reach the cache";

    // The source is quiet now and the live sound is silenced while replaying:
    // what the monitor carries from here on comes from the cache.
    ASSERT_EQ(S_OK, settings->SetInterceptAudioAlwaysState(TRUE));
    const std::string heard = dir.Path() + "/heard.raw";
    ChildProcess recorder;
    ASSERT_TRUE(recorder.Start({"sh", "-c",
                                "exec parec --device=speakers.monitor --format=s16le --rate=48000 --channels=2 "
                                "--latency-msec=20 --raw > '" + heard + "'"}));
    // The replay starts once the monitor has carried 200 ms of quiet: what the
    // live sound left in the sink has drained, and the recorder runs.
    size_t quietFrom = 0;
    for (auto end = std::chrono::steady_clock::now() + 30s; std::chrono::steady_clock::now() < end;) {
        auto sofar = LeftChannel(ReadAll(heard), &equal);
        if (sofar.size() >= 9600 &&
            std::all_of(sofar.end() - 9600, sofar.end(), [](int16_t v) { return std::abs(v) < kPeak / 4; })) {
            quietFrom = sofar.size();
            break;
        }
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_GT(quietFrom, 0u) << "the output never fell quiet";
    ASSERT_EQ(S_OK, engine->SetPlayPosition(-2500, posCurrent));
    ULONG state = 0;
    engine->GetCurrentState(&state);
    EXPECT_TRUE(state & _esReplay);
    // Replay ends by itself at the live point.
    for (auto end = std::chrono::steady_clock::now() + 30s;
         (state & _esReplay) && std::chrono::steady_clock::now() < end;) {
        std::this_thread::sleep_for(50ms);
        engine->GetCurrentState(&state);
    }
    EXPECT_TRUE(state & _esLive);
    recorder.Stop(SIGTERM, 3000);

    auto left = LeftChannel(ReadAll(heard), &equal);
    size_t onset = quietFrom;
    while (onset < left.size() && std::abs(left[onset]) < kPeak / 4) ++onset;
    ASSERT_GT(left.size(), onset + 2400 + 14400) << "the replay was not heard on the sink's monitor";
    std::vector<int16_t> steady(left.begin() + static_cast<long>(onset + 2400),
                                left.begin() + static_cast<long>(onset + 2400 + 14400));
    auto m = Measure(steady);
    EXPECT_NEAR(kHz, m.frequency, kHz * 0.01);
    EXPECT_NEAR(kPeak, m.peak, kPeak * 0.05);

    EXPECT_EQ(S_OK, link.StartStop());
    EXPECT_EQ(S_OK, engine->Destroy());
    engine.Reset();
    EXPECT_EQ(0, driver.Stop(SIGTERM, 3000));
    ::unsetenv("TONQUIL_DATA_DIR");
}
