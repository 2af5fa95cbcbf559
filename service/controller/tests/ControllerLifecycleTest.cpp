// Building the engine, what it loads and opens, its interfaces, and Destroy.
#include "service/controller/tests/ControllerFixture.h"

#include <chrono>
#include <future>
#include <thread>

#include "log/ErrorTextTable.h"
#include "log/KErrorLog.h"

namespace {

bool HasError(const std::vector<std::u16string>& errors, const char16_t* start) {
    for (const auto& e : errors)
        if (e.rfind(start, 0) == 0) return true;
    return false;
}

}  // namespace

using ControllerLifecycle = ControllerFixture;

TEST_F(ControllerLifecycle, FirstStartUsesFirstDevicesStoresThemAndStartsLiveWithAnEmptyErrorList) {
    KErrorLog::Instance().AddErrorFormatted(__FILE__, __LINE__, EC_NO_SUCH_DEVICE, 0, u"Gone");
    ASSERT_EQ(S_OK, Build());

    EXPECT_EQ(0x65u, State());
    ULONG commands = 0;
    ASSERT_EQ(S_OK, controller->GetAvailableCommands(&commands));
    EXPECT_EQ(0x0Au, commands);
    std::vector<std::u16string> errors;
    KErrorLog::Instance().GetErrors(&errors);
    EXPECT_TRUE(errors.empty());

    ASSERT_EQ(3u, players.size());
    for (auto& p : players) EXPECT_EQ(u"Speakers", p->Device());
    EXPECT_EQ(u"Speakers", settings->AudioDevice());
    EXPECT_EQ(u"Microphone", settings->CaptureDevice());
    EXPECT_EQ(u"Microphone", capturer->Device());
    // Nothing records from it: the recording device is not kept capturing.
    EXPECT_EQ(1, capturer->Calls("StartCapture"));
    EXPECT_EQ(1, capturer->Calls("StopCapture"));
    EXPECT_TRUE(live()->IsPlaying());
    EXPECT_TRUE(liveCapture()->IsPlaying());
    EXPECT_FALSE(replay()->IsPlaying());
    EXPECT_EQ(1, settings->Loads());
    EXPECT_EQ(1, cache->LoadCount());
    EXPECT_EQ(1, playlist->LoadCount());
    EXPECT_EQ(u"/tmp/", playlist->Dir());
}

TEST_F(ControllerLifecycle, StoredDevicesAreUsedAndAMissingOneKeepsItsNameWithSilentPlayers) {
    settings->SetStrings(u"/tmp/", u"Headphones", u"Micro");
    settings->writeFromRecord = 1;
    ASSERT_EQ(S_OK, Build());
    EXPECT_EQ(0, capturer->Calls("StopCapture"));
    for (auto& p : players) EXPECT_EQ(u"Headphones", p->Device());
    EXPECT_EQ(u"Microphone", capturer->Device());
    controller->Destroy();
    controller.Reset();
    players.clear();

    settings->SetStrings(u"/tmp/", u"USB Box", u"");
    ASSERT_EQ(S_OK, Build());
    for (auto& p : players) EXPECT_FALSE(p->IsOpen());
    EXPECT_EQ(u"USB Box", settings->AudioDevice());
}

TEST_F(ControllerLifecycle, NoPlaybackDeviceFailsConstructionWithItsErrorCollected) {
    FakePlayer::Devices().clear();
    KErrorLog::Instance().ClearErrors();
    EXPECT_EQ(E_FAIL, Build());
    EXPECT_FALSE(controller);
    std::vector<std::u16string> errors;
    KErrorLog::Instance().GetErrors(&errors);
    EXPECT_TRUE(HasError(errors, ErrorTextTable::Lookup(EC_NO_PLAY_DEVICE)));
}

TEST_F(ControllerLifecycle, NoCaptureDeviceStillBuildsTheEngine) {
    FakeCapturer::Devices().clear();
    ASSERT_EQ(S_OK, Build());
    EXPECT_FALSE(capturer->IsOpen());
    EXPECT_EQ(0x65u, State());
}

TEST_F(ControllerLifecycle, AMissingComponentFailsConstructionWithAFailureCode) {
    KControllerComponents c = Components(false);
    c.createCache = []() -> ICache* {
        plat::SetLastError(0);
        return nullptr;
    };
    KAudioController* raw = nullptr;
    HRESULT hr = KAudioController::Create(c, &raw);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(nullptr, raw);
}

TEST_F(ControllerLifecycle, ComponentInterfacesKeepTheirOwnIdentity) {
    ASSERT_EQ(S_OK, Build());
    plat::ComPtr<ISettings> s;
    ASSERT_EQ(S_OK, controller->QueryInterface(IID_ISettings, reinterpret_cast<void**>(s.GetAddressOf())));
    EXPECT_EQ(static_cast<ISettings*>(settings.Get()), s.Get());
    plat::ComPtr<IAudioController> back;
    EXPECT_EQ(E_NOINTERFACE, s->QueryInterface(IID_IAudioController, reinterpret_cast<void**>(back.GetAddressOf())));

    plat::ComPtr<IAudioManager> outputs;
    ASSERT_EQ(S_OK, controller->QueryInterface(IID_IAudioManager, reinterpret_cast<void**>(outputs.GetAddressOf())));
    EXPECT_EQ(static_cast<IAudioManager*>(live()), outputs.Get());
    plat::ComPtr<ICaptureManager> inputs;
    ASSERT_EQ(S_OK, controller->QueryInterface(IID_ICaptureManager, reinterpret_cast<void**>(inputs.GetAddressOf())));
    plat::ComPtr<IPlayList> list;
    ASSERT_EQ(S_OK, controller->QueryInterface(IID_IPlayList, reinterpret_cast<void**>(list.GetAddressOf())));
    plat::ComPtr<IQXListener> listener;
    ASSERT_EQ(S_OK, controller->QueryInterface(IID_IQXListener, reinterpret_cast<void**>(listener.GetAddressOf())));
    plat::ComPtr<ICache> hidden;
    EXPECT_EQ(E_NOINTERFACE, controller->QueryInterface(IID_ICache, reinterpret_cast<void**>(hidden.GetAddressOf())));

    plat::ComPtr<IConnectionPoint> point;
    EXPECT_EQ(CONNECT_E_NOCONNECTION,
              controller->FindConnectionPoint(DIID__IAudioEncoderEvents, point.ReleaseAndGetAddressOf()));
    EXPECT_EQ(E_POINTER, controller->FindConnectionPoint(DIID__IAudioControllerEvents, nullptr));
}

TEST_F(ControllerLifecycle, ALoadedCacheSmallerThanTheSettingGetsTheConfiguredSize) {
    settings->cacheSize = 60000;
    ASSERT_EQ(S_OK, Build());
    ULONGLONG size = 0;
    cache->GetSize(&size);
    EXPECT_EQ(60 * kSecond, size);
    EXPECT_EQ(60000u, settings->cacheSize.load());
}

TEST_F(ControllerLifecycle, ALoadedCacheHoldingMoreThanTheSettingGrowsByThreeFilesAndTheSettingFollows) {
    cache->Fill(0, 30 * kSecond, 1);
    settings->cacheSize = 20 * 1000;
    ASSERT_EQ(S_OK, Build());
    ULONGLONG size = 0;
    cache->GetSize(&size);
    EXPECT_EQ(30 * kSecond + 3145728, size);
    EXPECT_EQ(30000u + 16384u, settings->cacheSize.load());
}

TEST_F(ControllerLifecycle, ACacheSizeOfZeroWithAnEmptyCacheBecomesThreeFiles) {
    settings->cacheSize = 0;
    ASSERT_EQ(S_OK, Build());
    ULONGLONG size = 0;
    cache->GetSize(&size);
    EXPECT_EQ(3145728u, size);
    EXPECT_EQ(16384u, settings->cacheSize.load());
}

TEST_F(ControllerLifecycle, AnUnusableCacheFolderLeavesSettingsAndPlaylistOnTheCachesFolder) {
    settings->SetStrings(u"/nowhere/", u"", u"");
    cache->SetDir(u"/var/cache/");
    cache->FailSetCacheDir(true);
    ASSERT_EQ(S_OK, Build());
    EXPECT_EQ(u"/var/cache/", settings->CacheDir());
    EXPECT_EQ(u"/var/cache/", playlist->Dir());
}

TEST_F(ControllerLifecycle, MaximumSongLengthBeyondTheMinutesFieldIsSpreadOverHoursAndHeldAtTheLargestCode) {
    KTimecode ten = KAudioController::MaxSongLength(10);
    EXPECT_EQ(0, ten.GetHours());
    EXPECT_EQ(10, ten.GetMinutes());
    KTimecode ninety = KAudioController::MaxSongLength(90);
    EXPECT_EQ(1, ninety.GetHours());
    EXPECT_EQ(30, ninety.GetMinutes());
    KTimecode huge = KAudioController::MaxSongLength(1000000);
    EXPECT_EQ(99, huge.GetHours());
    EXPECT_EQ(59, huge.GetMinutes());
    EXPECT_EQ(59, huge.GetSeconds());
}

TEST_F(ControllerLifecycle, DestroyStopsDevicesSavesTheCacheAndLeavesAStoppedEngine) {
    ASSERT_EQ(S_OK, Build(true));
    int savesBefore = cache->SaveCount();
    ASSERT_EQ(S_OK, controller->Destroy());
    EXPECT_EQ(savesBefore + 1, cache->SaveCount());
    for (auto& p : players) {
        EXPECT_FALSE(p->IsOpen());
        EXPECT_FALSE(p->IsPlaying());
    }
    EXPECT_FALSE(capturer->IsOpen());

    // A stopped engine takes no more audio and obeys no more commands.
    std::vector<BYTE> block(1920, 7);
    EXPECT_EQ(S_OK, controller->OnAudioData(static_cast<DWORD>(block.size()), block.data()));
    EXPECT_EQ(0u, cache->BufferCopy(0).write);
    EXPECT_TRUE(FAILED(controller->Record()));
    EXPECT_EQ(S_OK, controller->Destroy());
    EXPECT_EQ(savesBefore + 1, cache->SaveCount());
}

TEST_F(ControllerLifecycle, DestroyGivesBackTheDetectorsReferenceSoTheLastReleaseFreesTheEngine) {
    ASSERT_EQ(S_OK, Build());
    ULONG before = controller->AddRef();
    controller->Release();
    controller->Destroy();
    ULONG after = controller->AddRef();
    controller->Release();
    EXPECT_EQ(before - 1, after);
}

TEST_F(ControllerLifecycle, DestroyWakesThreadsWaitingInsideTheirDevices) {
    settings->writeFromRecord = 1;  // the capture pump runs
    capturer->BlockGetData(true);   // and waits for a device that sends nothing
    ASSERT_EQ(S_OK, Build(true));
    cache->Fill(0, 30 * kSecond, 1);
    replay()->BlockWhilePlaying(true);  // the replay thread waits for room that never comes
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while ((State() & _esAtFirstPos) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(S_OK, controller->SetPlayPosition(-20000, posCurrent));
    while (replay()->Calls("PlayData") == 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(1, replay()->Calls("PlayData"));
    // A hang, not a slow machine, is what this deadline catches.
    auto destroyed = std::async(std::launch::async, [&] { return controller->Destroy(); });
    ASSERT_EQ(std::future_status::ready, destroyed.wait_for(std::chrono::seconds(60)));
    // The capture pump did not open the capturer again on its way out.
    EXPECT_FALSE(capturer->IsOpen());
}
