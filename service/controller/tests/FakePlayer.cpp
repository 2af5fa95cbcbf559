#include "service/controller/tests/FakePlayer.h"

#include <algorithm>
#include <chrono>

#include "platform/com/Bstr.h"

using Guard = std::lock_guard<std::mutex>;

std::vector<std::u16string>& FakePlayer::Devices() {
    static std::vector<std::u16string> devices;
    return devices;
}

std::u16string FakePlayer::Device() {
    Guard g(m_lock);
    return m_device;
}
bool FakePlayer::IsOpen() {
    Guard g(m_lock);
    return m_open;
}
bool FakePlayer::IsPlaying() {
    Guard g(m_lock);
    return m_playing;
}
std::vector<BYTE> FakePlayer::Played() {
    Guard g(m_lock);
    return m_played;
}
size_t FakePlayer::PlayedBytes() {
    Guard g(m_lock);
    return m_played.size();
}
std::vector<ULONG> FakePlayer::PlayCalls() {
    Guard g(m_lock);
    return m_playCalls;
}
int FakePlayer::Calls(const std::string& method) {
    Guard g(m_lock);
    return m_calls[method];
}
void FakePlayer::Fail(const std::string& method, HRESULT hr) {
    Guard g(m_lock);
    m_failures[method] = hr;
}

HRESULT FakePlayer::Note(const std::string& method) {
    ++m_calls[method];
    auto it = m_failures.find(method);
    return it == m_failures.end() ? S_OK : it->second;
}

namespace {

struct Meeting {
    std::mutex lock;
    std::condition_variable changed;
    int target = 0;
    int inside = 0;
    int most = 0;
};

Meeting& TheMeeting() {
    static Meeting meeting;
    return meeting;
}

// Holds a player in Initialize until the meeting is complete.
class InInitialize {
public:
    InInitialize() {
        Meeting& m = TheMeeting();
        std::unique_lock<std::mutex> g(m.lock);
        ++m.inside;
        m.most = std::max(m.most, m.inside);
        m.changed.notify_all();
        const int target = m.target;
        m.changed.wait_for(g, std::chrono::seconds(5), [&m, target] { return m.target == 0 || m.most >= target; });
    }
    ~InInitialize() {
        Meeting& m = TheMeeting();
        Guard g(m.lock);
        --m.inside;
    }
};

}  // namespace

void FakePlayer::MeetInInitialize(int players) {
    Meeting& m = TheMeeting();
    Guard g(m.lock);
    m.target = players;
    m.most = 0;
    m.changed.notify_all();
}

int FakePlayer::MostInInitializeAtOnce() {
    Meeting& m = TheMeeting();
    Guard g(m.lock);
    return m.most;
}

HRESULT FakePlayer::Initialize(OWAVEFORMATEX, BSTR bstrDevice) {
    InInitialize meeting;
    Guard g(m_lock);
    if (HRESULT hr = Note("Initialize"); FAILED(hr)) return hr;
    std::u16string name = plat::BstrToU16(bstrDevice);
    for (const auto& d : Devices()) {
        if (d.find(name) != std::u16string::npos) {
            m_device = d;
            m_open = true;
            return S_OK;
        }
    }
    return E_FAIL;
}
void FakePlayer::BlockWhilePlaying(bool block) {
    Guard g(m_lock);
    m_block = block;
    m_changed.notify_all();
}
HRESULT FakePlayer::PlayData(ULONG dwBytes, BYTE* pFrom) {
    std::unique_lock<std::mutex> g(m_lock);
    if (HRESULT hr = Note("PlayData"); FAILED(hr)) return hr;
    m_changed.wait_for(g, std::chrono::seconds(30), [this] { return !(m_block && m_playing); });
    m_playCalls.push_back(dwBytes);
    if (m_open && pFrom) m_played.insert(m_played.end(), pFrom, pFrom + dwBytes);
    return S_OK;
}
HRESULT FakePlayer::StartPlay() {
    Guard g(m_lock);
    if (HRESULT hr = Note("StartPlay"); FAILED(hr)) return hr;
    m_playing = true;
    return S_OK;
}
HRESULT FakePlayer::StopPlay() {
    Guard g(m_lock);
    if (HRESULT hr = Note("StopPlay"); FAILED(hr)) return hr;
    m_playing = false;
    m_changed.notify_all();
    return S_OK;
}
HRESULT FakePlayer::Pause() {
    Guard g(m_lock);
    if (HRESULT hr = Note("Pause"); FAILED(hr)) return hr;
    m_playing = false;
    m_changed.notify_all();
    return S_OK;
}
HRESULT FakePlayer::Uninitialize() {
    Guard g(m_lock);
    if (HRESULT hr = Note("Uninitialize"); FAILED(hr)) return hr;
    m_open = false;
    m_playing = false;
    m_changed.notify_all();
    return S_OK;
}
HRESULT FakePlayer::Interrupt() {
    Guard g(m_lock);
    if (HRESULT hr = Note("Interrupt"); FAILED(hr)) return hr;
    m_playing = false;
    m_changed.notify_all();
    return S_OK;
}
HRESULT FakePlayer::Reset() { return S_OK; }
HRESULT FakePlayer::GetStatus(ULONG* pdwStatus) {
    Guard g(m_lock);
    if (HRESULT hr = Note("GetStatus"); FAILED(hr)) return hr;
    if (!m_open) return E_FAIL;
    *pdwStatus = m_playing ? 1 : 0;
    return S_OK;
}
HRESULT FakePlayer::GetFirstDevice(BSTR* pstrDevice) {
    Guard g(m_lock);
    m_next = 0;
    *pstrDevice = nullptr;
    if (Devices().empty()) return E_FAIL;
    *pstrDevice = plat::BstrFromU16(Devices()[m_next++]);
    return S_OK;
}
HRESULT FakePlayer::GetNextDevice(BSTR* pstrDevice) {
    Guard g(m_lock);
    *pstrDevice = nullptr;
    if (m_next >= Devices().size()) return E_FAIL;
    *pstrDevice = plat::BstrFromU16(Devices()[m_next++]);
    return S_OK;
}
HRESULT FakePlayer::GetUsedDevice(BSTR* pstrDevice) {
    Guard g(m_lock);
    *pstrDevice = plat::BstrFromU16(m_device);
    return S_OK;
}
HRESULT FakePlayer::GetDefaultDevice(BSTR* pstrDevice) { return GetFirstDevice(pstrDevice); }
