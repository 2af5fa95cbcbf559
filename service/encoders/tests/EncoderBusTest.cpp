// Real encoders reached over the bus: two encoders made by type share one
// cache, and each saves a song of the service's playlist at the same time.
#include <filesystem>
#include <thread>

#include "ipc/tests/BusFixture.h"
#include "platform/core/Text.h"
#include "service/audio/KCache.h"
#include "service/encoders/EncoderRegistry.h"
#include "service/encoders/KEncoderFactories.h"
#include "service/encoders/tests/EncoderTestSupport.h"
#include "service/encoders/tests/support/MediaProbe.h"

using namespace ipctest;
using plat::ComPtr;

TEST_F(IpcBus, TwoEncodersShareOneCacheAndEachSavesASong) {
    enctest::TempFolder dir;
    ComPtr<KCache> cache(KCache::Create());
    ASSERT_TRUE(cache);
    std::filesystem::create_directories(plat::ToUtf8(dir / u"cache"));
    ASSERT_EQ(cache->SetCacheDir(plat::Bstr(dir / u"cache")), S_OK);
    cache->Load();  // nothing stored yet
    const std::vector<int16_t> tone = enctest::StereoTone(48000 * 5, 48000, 523.0);
    ASSERT_EQ(cache->WriteEx(PLAY_DEVICE_BUFFER, static_cast<ULONG>(tone.size() * 2),
                             reinterpret_cast<BYTE*>(const_cast<int16_t*>(tone.data()))),
              S_OK);
    ASSERT_EQ(cache->Flush(), S_OK);
    ULONGLONG start = 0;
    ASSERT_EQ(cache->GetStartReadPos(&start), S_OK);
    const ULONG leftMs = static_cast<ULONG>(start / 192);

    // The service makes the registered encoders on this cache, as the
    // controller does on its own.
    RegisterEncoders();
    service->controller->encoderMaker = [&](EEncoderType type) -> IAudioEncoder* {
        KEncoderFactory make = KEncoderFactories::Process().Get(type);
        IAudioEncoder* encoder = make ? make() : nullptr;
        if (encoder) encoder->SetCachePtr(cache.Get());
        return encoder;
    };

    struct Job {
        EEncoderType type;
        const char16_t* file;
        ULONG fromMs, toMs;
        ComPtr<IAudioEncoder> encoder;
        ComPtr<ISong> song;
        HRESULT result = E_FAIL;
    } jobs[] = {{eAAC, u"bus.aac", 500, 3500, {}, {}}, {eWMA, u"bus.wma", 1000, 4500, {}, {}}};
    auto playlist = As<IPlayList>(controller.Get());
    ASSERT_TRUE(playlist);
    for (Job& job : jobs) {
        ASSERT_EQ(controller->CreateNewEncoder(job.encoder.ReleaseAndGetAddressOf(), job.type), S_OK);
        ASSERT_EQ(job.encoder->SetConstantBitrate(128), S_OK);
        ASSERT_EQ(playlist->CreateNewSong(job.song.ReleaseAndGetAddressOf()), S_OK);
        ASSERT_EQ(job.song->SetLeftBorder(leftMs + job.fromMs), S_OK);
        ASSERT_EQ(job.song->SetRightBorder(leftMs + job.toMs), S_OK);
    }
    std::thread other([&] { jobs[0].result = jobs[0].encoder->Save(jobs[0].song.Get(), plat::Bstr(dir / jobs[0].file)); });
    jobs[1].result = jobs[1].encoder->Save(jobs[1].song.Get(), plat::Bstr(dir / jobs[1].file));
    other.join();

    for (Job& job : jobs) {
        SCOPED_TRACE(plat::ToUtf8(job.file));
        EXPECT_EQ(job.result, S_OK);
        enctest::ProbedAudio probe;
        ASSERT_TRUE(enctest::ProbeAudio(plat::ToUtf8(dir / job.file), &probe));
        EXPECT_TRUE(probe.decodedCleanly);
        const int64_t frames = int64_t(job.toMs - job.fromMs) * 48;
        EXPECT_GE(probe.decodedFrames, frames - 2048);
        EXPECT_LE(probe.decodedFrames, frames + 2047);
    }
}
