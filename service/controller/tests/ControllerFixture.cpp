#include "service/controller/tests/ControllerFixture.h"

#include "log/KErrorLog.h"
#include "platform/core/LastError.h"
#include "service/foundation/KTimecode.h"

void ControllerFixture::SetUp() {
    KTimecode::SetRateMode(KTimecode::kHundredthsMode);
    FakePlayer::Devices() = {u"Speakers", u"Headphones"};
    FakePlayer::MeetInInitialize(0);
    FakeCapturer::Devices() = {u"Microphone"};
    cache = FakeCache::CreateInstance();
    settings = FakeSettings::CreateInstance();
    playlist = FakePlaylist::CreateInstance();
    capturer = FakeCapturer::CreateInstance();
    events = EventRecorder::CreateInstance();
}

void ControllerFixture::TearDown() {
    if (controller) {
        if (cookie) {
            plat::ComPtr<IConnectionPoint> point;
            if (SUCCEEDED(controller->FindConnectionPoint(DIID__IAudioControllerEvents, point.ReleaseAndGetAddressOf())))
                point->Unadvise(cookie);
        }
        controller->Destroy();
        controller.Reset();
    }
}

KControllerComponents ControllerFixture::Components(bool startThreads) {
    KControllerComponents c;
    c.createPlaylist = [this]() -> IPlayList* { return playlist.Get(); };
    c.createSettings = [this]() -> ISettings* { return settings.Get(); };
    c.createCache = [this]() -> ICache* { return cache.Get(); };
    c.createPlayer = [this](bool) -> IAudioPlayer* {
        players.emplace_back(FakePlayer::CreateInstance());
        return players.back().Get();
    };
    c.createCapturer = [this]() -> IAudioCapturer* { return capturer.Get(); };
    c.diskFreeSpace = [this](const std::u16string&, ULONGLONG* free) {
        if (diskFails) {
            plat::SetLastError(ERROR_NOT_READY);
            return false;
        }
        *free = diskFree;
        return true;
    };
    c.encoderFactory = [this](EEncoderType type) { return encoders.Get(type); };
    c.startThreads = startThreads;
    return c;
}

HRESULT ControllerFixture::Build(bool startThreads) { return Build(Components(startThreads)); }

HRESULT ControllerFixture::Build(const KControllerComponents& components) {
    KAudioController* raw = nullptr;
    HRESULT hr = KAudioController::Create(components, &raw);
    controller = raw;
    return hr;
}

void ControllerFixture::Advise() {
    plat::ComPtr<IConnectionPoint> point;
    ASSERT_EQ(S_OK, controller->FindConnectionPoint(DIID__IAudioControllerEvents, point.ReleaseAndGetAddressOf()));
    ASSERT_EQ(S_OK, point->Advise(static_cast<_IAudioControllerEvents*>(events.Get()), &cookie));
}

void ControllerFixture::Record() { ASSERT_EQ(S_OK, controller->Record()); }

DWORD ControllerFixture::State() {
    ULONG state = 0;
    EXPECT_EQ(S_OK, controller->GetCurrentState(&state));
    return state;
}

void ControllerFixture::ClientRequest(unsigned n) {
    switch (n % 8) {
        case 0: controller->Play(); break;
        case 1: controller->Pause(); break;
        case 2: controller->Record(); break;
        case 3: controller->StopRecord(); break;
        case 4: controller->Live(); break;
        case 5: controller->SetPlayPosition(-5000, posCurrent); break;
        case 6: controller->SetPlayPosition(5000, posCurrent); break;
        default: {
            ULONG v = 0;
            controller->GetAvailableCommands(&v);
            controller->GetPlayPosition(&v);
        }
    }
}
