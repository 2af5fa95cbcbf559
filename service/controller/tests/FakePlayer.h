#pragma once
// A player that keeps what it is given: the device it was opened on, the
// calls made, and every byte queued while it was open. Its device list is
// shared by all players of a test.
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ipc/QXServiceLib.h"
#include "platform/com/ComObject.h"

class FakePlayer final : public plat::ComObject<FakePlayer, IAudioPlayer, IAudioManager> {
public:
    static std::vector<std::u16string>& Devices();  // the output devices of the test
    // From now on Initialize waits (up to 5 s) until this many players are in
    // Initialize together, as a device's settling wait would keep them; 0
    // ends the waiting. The most that were ever inside at once is kept.
    static void MeetInInitialize(int players);
    static int MostInInitializeAtOnce();

    std::u16string Device();
    bool IsOpen();
    bool IsPlaying();
    std::vector<BYTE> Played();
    size_t PlayedBytes();
    std::vector<ULONG> PlayCalls();  // sizes of the PlayData calls
    int Calls(const std::string& method);
    void Fail(const std::string& method, HRESULT hr);
    // PlayData waits while the player plays, as with a ring that never
    // drains; a stopped or paused player takes the bytes at once.
    void BlockWhilePlaying(bool block);

    HRESULT Initialize(OWAVEFORMATEX waveFormat, BSTR bstrDevice) override;
    HRESULT PlayData(ULONG dwBytes, BYTE* pFrom) override;
    HRESULT StartPlay() override;
    HRESULT StopPlay() override;
    HRESULT Pause() override;
    HRESULT Uninitialize() override;
    HRESULT Interrupt() override;
    HRESULT Reset() override;
    HRESULT GetStatus(ULONG* pdwStatus) override;

    HRESULT GetFirstDevice(BSTR* pstrDevice) override;
    HRESULT GetNextDevice(BSTR* pstrDevice) override;
    HRESULT GetUsedDevice(BSTR* pstrDevice) override;
    HRESULT GetDefaultDevice(BSTR* pstrDevice) override;

private:
    HRESULT Note(const std::string& method);

    std::mutex m_lock;
    std::u16string m_device;
    bool m_open = false;
    bool m_playing = false;
    std::vector<BYTE> m_played;
    std::vector<ULONG> m_playCalls;
    std::map<std::string, int> m_calls;
    std::map<std::string, HRESULT> m_failures;
    size_t m_next = 0;
    bool m_block = false;
    std::condition_variable m_changed;
};
