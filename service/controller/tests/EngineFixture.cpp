#include "service/controller/tests/EngineFixture.h"

#include <stdlib.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "log/KErrorLog.h"
#include "platform/core/Text.h"
#include "platform/driver/DriverProtocol.h"
#include "platform/fs/File.h"
#include "platform/sound/SoundGenerator.h"
#include "service/foundation/KTimecode.h"

std::vector<ULONG> RecordingPlayer::Sizes() {
    std::lock_guard<std::mutex> g(m_lock);
    return m_sizes;
}
std::vector<BYTE> RecordingPlayer::Bytes() {
    std::lock_guard<std::mutex> g(m_lock);
    return m_bytes;
}
void RecordingPlayer::Clear() {
    std::lock_guard<std::mutex> g(m_lock);
    m_sizes.clear();
    m_bytes.clear();
}
HRESULT RecordingPlayer::PlayData(ULONG dwBytes, BYTE* pFrom) {
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_sizes.push_back(dwBytes);
        if (pFrom && m_bytes.size() < (32u << 20)) m_bytes.insert(m_bytes.end(), pFrom, pFrom + dwBytes);
    }
    return m_inner->PlayData(dwBytes, pFrom);
}

std::vector<BYTE> Tone(ULONGLONG bytes, ULONGLONG streamOffset, short amplitude) {
    std::vector<BYTE> data(bytes);
    for (ULONGLONG i = 0; i + 3 < bytes; i += 4) {
        double t = static_cast<double>((streamOffset + i) / 4) / 48000.0;
        short s = static_cast<short>(amplitude * std::sin(2 * 3.14159265358979 * 1000.0 * t));
        std::memcpy(&data[i], &s, 2);
        std::memcpy(&data[i + 2], &s, 2);
    }
    return data;
}

std::vector<BYTE> Quiet(ULONGLONG bytes) { return std::vector<BYTE>(bytes, 0); }

void EngineFixture::SetUp() {
    KTimecode::SetRateMode(KTimecode::kHundredthsMode);
    char tmpl[] = "/tmp/tq-engine-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    m_dir = plat::ToUtf16(tmpl);
    ::setenv("TONQUIL_DATA_DIR", plat::ToUtf8(DataDir()).c_str(), 1);
    ASSERT_TRUE(KErrorLog::Instance().OpenLogFile(m_dir + u"/log.log"));
    sys = plat::VirtualSoundSystem::Create();
    speakers = sys->AddPlaybackDevice(u"Speakers");
    sys->AddPlaybackDevice(u"Headphones");
    microphone = sys->AddCaptureDevice(u"Microphone");
    plat::SetSoundSystem(sys);
    events = EventRecorder::CreateInstance();
}

void EngineFixture::TearDown() {
    if (link) link->Close();
    link.reset();
    DestroyEngine();
    StopPump();
    driver.reset();
    plat::SetSoundSystem(nullptr);
    plat::SetClock(nullptr);
    KErrorLog::Instance().ClearErrors();
    plat::DeleteFolderRecursive(m_dir);
    ::unsetenv("TONQUIL_DATA_DIR");
}

HRESULT EngineFixture::Build(bool startThreads) {
    KControllerComponents c = KControllerComponents::Engine();
    auto makeCache = c.createCache;
    c.createCache = [this, makeCache]() -> ICache* {
        ICache* made = makeCache();
        cache = made;
        return made;
    };
    auto makeCapturer = c.createCapturer;
    c.createCapturer = [this, makeCapturer]() -> IAudioCapturer* {
        IAudioCapturer* made = makeCapturer();
        capturer = made;
        return made;
    };
    auto makePlayer = c.createPlayer;
    c.createPlayer = [this, makePlayer](bool live) -> IAudioPlayer* {
        IAudioPlayer* inner = makePlayer(live);
        if (!inner) return nullptr;
        players.emplace_back(RecordingPlayer::CreateInstance(inner));
        return players.back().Get();
    };
    c.diskFreeSpace = [this](const std::u16string&, ULONGLONG* free) {
        *free = diskFree;
        return true;
    };
    c.startThreads = startThreads;
    // The players' settling waits cost no time while the engine is built.
    plat::SetClock(&m_buildClock);
    KAudioController* raw = nullptr;
    HRESULT hr = KAudioController::Create(c, &raw);
    plat::SetClock(nullptr);
    controller = raw;
    if (controller) {
        controller->QueryInterface(IID_IPlayList, reinterpret_cast<void**>(playlist.ReleaseAndGetAddressOf()));
        controller->QueryInterface(IID_ISettings, reinterpret_cast<void**>(settings.ReleaseAndGetAddressOf()));
    }
    return hr;
}

void EngineFixture::DestroyEngine() {
    if (!controller) return;
    if (cookie) {
        plat::ComPtr<IConnectionPoint> point;
        if (SUCCEEDED(controller->FindConnectionPoint(DIID__IAudioControllerEvents, point.GetAddressOf())))
            point->Unadvise(cookie);
        cookie = 0;
    }
    controller->Destroy();
    controller.Reset();
    cache.Reset();
    capturer.Reset();
    playlist.Reset();
    settings.Reset();
}

void EngineFixture::Advise() {
    plat::ComPtr<IConnectionPoint> point;
    ASSERT_EQ(S_OK, controller->FindConnectionPoint(DIID__IAudioControllerEvents, point.GetAddressOf()));
    ASSERT_EQ(S_OK, point->Advise(static_cast<_IAudioControllerEvents*>(events.Get()), &cookie));
}

void EngineFixture::StartPump(DWORD msPerTurn) {
    m_stopPump.ResetEvent();
    m_pump.Start([this, msPerTurn]() -> HRESULT {
        while (m_stopPump.Wait(1) == plat::WAIT_TIMEOUT) sys->Advance(msPerTurn);
        return S_OK;
    });
}

void EngineFixture::StopPump() {
    m_stopPump.Set();
    m_pump.Join();
}

void EngineFixture::StartLink() {
    driver = std::make_unique<FakeDriver>();
    link = std::make_unique<KPipeServer>(static_cast<IQXListener*>(controller.Get()));
    ASSERT_EQ(S_OK, link->StartStop());
    ASSERT_TRUE(driver->WaitLinkOpen());
    driver->PutFormat(OWAVEFORMATEX{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0});
    driver->Publish();
}

void EngineFixture::Send(const std::vector<BYTE>& audio) {
    for (size_t at = 0; at < audio.size(); at += 1920) {
        DWORD n = static_cast<DWORD>(std::min<size_t>(1920, audio.size() - at));
        ASSERT_TRUE(driver->WriteWhenRoom(plat::drv::TAG_WAVE, audio.data() + at, n));
    }
    ASSERT_TRUE(driver->WaitConsumed());
}

void EngineFixture::Feed(const std::vector<BYTE>& audio) {
    for (size_t at = 0; at < audio.size(); at += 19200) {
        DWORD n = static_cast<DWORD>(std::min<size_t>(19200, audio.size() - at));
        ASSERT_EQ(S_OK, controller->OnAudioData(n, const_cast<BYTE*>(audio.data() + at)));
    }
}

ULONGLONG EngineFixture::WritePos(UINT index) {
    ULONGLONG pos = 0;
    cache->GetWritePosEx(index, &pos);
    return pos;
}

ULONGLONG EngineFixture::ReadPos() {
    ULONGLONG pos = 0;
    cache->GetReadPosEx(0, &pos);
    return pos;
}

DWORD EngineFixture::State() {
    ULONG state = 0;
    controller->GetCurrentState(&state);
    return state;
}
