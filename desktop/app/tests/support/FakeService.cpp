#include "desktop/app/tests/support/FakeService.h"

#include "platform/com/Bstr.h"
#include "platform/com/Guid.h"
#include "platform/com/Variant.h"
#include "service/foundation/KPlayList.h"
#include "service/foundation/KSettings.h"

namespace parvanetest {

HRESULT FakeDevices::GetFirstDevice(BSTR* p) { return GetDefaultDevice(p); }
HRESULT FakeDevices::GetNextDevice(BSTR*) { return S_FALSE; }
HRESULT FakeDevices::GetUsedDevice(BSTR* p) { return GetDefaultDevice(p); }
HRESULT FakeDevices::GetDefaultDevice(BSTR* p) {
    if (!p) return E_POINTER;
    if (FAILED(defaultAnswer)) return defaultAnswer;
    *p = plat::BstrFromU16(defaultDevice);
    return S_OK;
}
HRESULT FakeDevices::QueryExtraInterface(REFIID riid, void** ppv) {
    if (riid != IID_IAudioManager) return E_NOINTERFACE;
    *ppv = static_cast<IAudioManager*>(this);
    AddRef();
    return S_OK;
}

FakeService::FakeService()
    : settings(CreateSettingsObject()), devices(FakeDevices::CreateInstance()),
      m_events(ipctest::FakeConnectionPoint<_IAudioControllerEvents>::CreateInstance(this)) {
    // Both come with their count at 0: the pointers hold the first reference.
    playlist = KPlayList::Create();
}

HRESULT FakeService::Enter(const std::string& call) {
    log.Add(call);
    std::string name = call.substr(0, call.find('('));
    std::unique_lock lock(m_mutex);
    if (!m_blocked.empty() && m_blocked == name) {
        ++m_waiting;
        m_wake.notify_all();
        m_wake.wait(lock, [&] { return m_blocked != name; });
        --m_waiting;
    }
    auto it = m_failures.find(name);
    return it == m_failures.end() ? S_OK : it->second;
}

void FakeService::Fail(const std::string& method, HRESULT hr) {
    std::lock_guard lock(m_mutex);
    if (SUCCEEDED(hr))
        m_failures.erase(method);
    else
        m_failures[method] = hr;
}

void FakeService::Block(const std::string& method) {
    std::lock_guard lock(m_mutex);
    m_blocked = method;
}

void FakeService::Unblock() {
    {
        std::lock_guard lock(m_mutex);
        m_blocked.clear();
    }
    m_wake.notify_all();
}

int FakeService::Blocked() {
    std::lock_guard lock(m_mutex);
    return m_waiting;
}

HRESULT FakeService::SetPlayPosition(LONGLONG offset, EBasicPosition base) {
    return Enter("SetPlayPosition(" + std::to_string(offset) + "," + std::to_string(int(base)) + ")");
}

HRESULT FakeService::CreateNewEncoder(IAudioEncoder** ppEncoder, EEncoderType type) {
    if (!ppEncoder) return E_POINTER;
    HRESULT hr = Enter("CreateNewEncoder(" + std::to_string(int(type)) + ")");
    if (FAILED(hr)) return hr;
    lastEncoder = ipctest::FakeEncoder::CreateInstance(type);
    lastEncoder->blockInSave = encoderBlocks.load();
    IAudioEncoder* encoder = lastEncoder.Get();
    encoder->AddRef();
    *ppEncoder = encoder;
    return S_OK;
}

HRESULT FakeService::GetErrors(VARIANT* aErrors) {
    if (!aErrors) return E_POINTER;
    HRESULT hr = Enter("GetErrors");
    if (FAILED(hr)) return hr;
    std::vector<std::u16string> taken;
    {
        std::lock_guard lock(m_mutex);
        taken.swap(errors);
    }
    return plat::MakeStringArray(taken, aErrors);
}

HRESULT FakeService::SetUndeletableRange(ULONGLONG a, ULONGLONG b) {
    return Enter("SetUndeletableRange(" + std::to_string(a) + "," + std::to_string(b) + ")");
}

HRESULT FakeService::ResetUndeletableRange(ULONGLONG a, ULONGLONG b) {
    return Enter("ResetUndeletableRange(" + std::to_string(a) + "," + std::to_string(b) + ")");
}

HRESULT FakeService::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    if (!ppCP) return E_POINTER;
    *ppCP = nullptr;
    if (riid != DIID__IAudioControllerEvents) return CONNECT_E_NOCONNECTION;
    IConnectionPoint* point = m_events.Get();
    point->AddRef();
    *ppCP = point;
    return S_OK;
}

HRESULT FakeService::QueryExtraInterface(REFIID riid, void** ppv) {
    IUnknown* answer = nullptr;
    if (riid == IID_ISettings)
        answer = handedSettings ? handedSettings.Get() : settings.Get();
    else if (riid == IID_IPlayList)
        answer = playlist.Get();
    else if (riid == IID_IAudioManager || riid == IID_ICaptureManager)
        return devices->QueryInterface(riid, ppv);
    if (!answer) return E_NOINTERFACE;
    HRESULT hr = Enter(riid == IID_ISettings ? "QueryInterface(ISettings)" : "QueryInterface(IPlayList)");
    if (FAILED(hr)) return hr;
    return answer->QueryInterface(riid, ppv);
}

GUID FakeService::AddSong(ULONG left, ULONG right, const std::u16string& title) {
    plat::ComPtr<ISong> song;
    GUID id = GUID_NULL;
    if (FAILED(playlist->CreateNewSong(song.ReleaseAndGetAddressOf())) || !song) return id;
    song->SetLeftBorder(left);
    song->SetRightBorder(right);
    song->SetDefined(1);
    song->Rename(plat::Bstr(title));
    song->GetID(&id);
    return id;
}

}  // namespace parvanetest
