#pragma once
// The engine with its real components in one process: the cache in a
// temporary data folder, the settings and playlist files there, players and
// the capturer on the virtual sound backend (its clock run faster than real
// time by a pump thread), and the driver link to an in-process fake driver.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/core/Clock.h"
#include "platform/core/Thread.h"
#include "platform/driver/tests/TempRuntimeDir.h"
#include "platform/sound/VirtualSoundSystem.h"
#include "service/audio/PipeServer.h"
#include "service/audio/tests/FakeDriver.h"
#include "service/controller/KAudioController.h"
#include "service/controller/tests/FakePlaylist.h"

// A player that passes every call on to a real one and keeps the sizes (and
// the first bytes) of what it is given to play.
class RecordingPlayer final : public plat::ComObject<RecordingPlayer, IAudioPlayer> {
public:
    explicit RecordingPlayer(IAudioPlayer* inner) : m_inner(inner) {}
    std::vector<ULONG> Sizes();
    std::vector<BYTE> Bytes();
    void Clear();

    HRESULT Initialize(OWAVEFORMATEX f, BSTR d) override { return m_inner->Initialize(f, d); }
    HRESULT PlayData(ULONG dwBytes, BYTE* pFrom) override;
    HRESULT StartPlay() override { return m_inner->StartPlay(); }
    HRESULT StopPlay() override { return m_inner->StopPlay(); }
    HRESULT Pause() override { return m_inner->Pause(); }
    HRESULT Uninitialize() override { return m_inner->Uninitialize(); }
    HRESULT Interrupt() override { return m_inner->Interrupt(); }
    HRESULT Reset() override { return m_inner->Reset(); }
    HRESULT GetStatus(ULONG* p) override { return m_inner->GetStatus(p); }

protected:
    HRESULT QueryExtraInterface(REFIID riid, void** ppv) override { return m_inner->QueryInterface(riid, ppv); }

private:
    plat::ComPtr<IAudioPlayer> m_inner;
    std::mutex m_lock;
    std::vector<ULONG> m_sizes;
    std::vector<BYTE> m_bytes;
};

class EngineFixture : public ::testing::Test {
protected:
    static constexpr ULONGLONG kSecond = KAudioController::kByteRate;

    void SetUp() override;
    void TearDown() override;

    // Builds the engine on the folder (again, after a Destroy, to reload).
    HRESULT Build(bool startThreads);
    void DestroyEngine();
    void Advise();
    // The virtual devices run on while the pump thread moves their clock.
    void StartPump(DWORD msPerTurn = 20);
    void StopPump();
    // Connects the fake driver to the engine's listener.
    void StartLink();
    // Writes engine-format audio through the driver link and waits until the
    // engine has taken it.
    void Send(const std::vector<BYTE>& audio);
    // Hands audio to the engine as the link would, without the driver.
    void Feed(const std::vector<BYTE>& audio);
    ULONGLONG WritePos(UINT index);
    ULONGLONG ReadPos();
    DWORD State();
    std::u16string DataDir() const { return m_dir + u"/data"; }

    plat::ManualClock m_buildClock{1000};
    std::u16string m_dir;
    TempRuntimeDir m_runtime;
    std::shared_ptr<plat::VirtualSoundSystem> sys;
    GUID speakers{};
    GUID microphone{};
    std::vector<plat::ComPtr<RecordingPlayer>> players;  // live, live capture, replay
    RecordingPlayer* replay() { return players.at(players.size() - 1).Get(); }
    RecordingPlayer* live() { return players.at(players.size() - 3).Get(); }
    std::atomic<ULONGLONG> diskFree{1ULL << 40};

    plat::ComPtr<KAudioController> controller;
    plat::ComPtr<ICache> cache;
    plat::ComPtr<IAudioCapturer> capturer;
    plat::ComPtr<IPlayList> playlist;
    plat::ComPtr<ISettings> settings;
    plat::ComPtr<EventRecorder> events;
    DWORD cookie = 0;
    std::unique_ptr<FakeDriver> driver;
    std::unique_ptr<KPipeServer> link;

private:
    plat::Event m_stopPump{plat::Event::Reset::Manual};
    plat::Thread m_pump;
};

std::vector<BYTE> Tone(ULONGLONG bytes, ULONGLONG streamOffset, short amplitude = 8000);
std::vector<BYTE> Quiet(ULONGLONG bytes);
