#include "service/controller/tests/FakeSettings.h"

#include "platform/com/Bstr.h"

using Guard = std::lock_guard<std::mutex>;

std::u16string FakeSettings::CacheDir() {
    Guard g(m_lock);
    return m_cacheDir;
}
std::u16string FakeSettings::AudioDevice() {
    Guard g(m_lock);
    return m_audioDevice;
}
std::u16string FakeSettings::CaptureDevice() {
    Guard g(m_lock);
    return m_captureDevice;
}
void FakeSettings::SetStrings(const std::u16string& cacheDir, const std::u16string& audio,
                              const std::u16string& capture) {
    Guard g(m_lock);
    m_cacheDir = cacheDir;
    m_audioDevice = audio;
    m_captureDevice = capture;
}
void FakeSettings::Fail(const std::string& getter) {
    Guard g(m_lock);
    m_failing.insert(getter);
}
bool FakeSettings::Fails(const std::string& getter) {
    Guard g(m_lock);
    return m_failing.count(getter) != 0;
}
HRESULT FakeSettings::Get(const std::string& getter, const std::atomic<LONG>& value, LONG* p) {
    if (Fails(getter)) return E_FAIL;
    *p = value.load();
    return S_OK;
}
HRESULT FakeSettings::LoadSettings() {
    ++m_loads;
    return Fails("LoadSettings") ? E_FAIL : S_OK;
}
void FakeSettings::OnGetCacheDir(std::function<void()> hook) {
    Guard g(m_lock);
    m_onGetCacheDir = std::move(hook);
}
HRESULT FakeSettings::GetCacheDir(BSTR* p) {
    std::function<void()> hook;
    {
        Guard g(m_lock);
        hook = m_onGetCacheDir;
    }
    if (hook) hook();
    Guard g(m_lock);
    *p = plat::BstrFromU16(m_cacheDir);
    return S_OK;
}
HRESULT FakeSettings::SetCacheDir(BSTR v) {
    Guard g(m_lock);
    m_cacheDir = plat::BstrToU16(v);
    return S_OK;
}
HRESULT FakeSettings::GetCacheSize(ULONG* p) {
    if (Fails("CacheSize")) return E_FAIL;
    *p = cacheSize;
    return S_OK;
}
HRESULT FakeSettings::GetAudioDevice(BSTR* p) {
    if (Fails("AudioDevice")) return E_FAIL;
    Guard g(m_lock);
    *p = plat::BstrFromU16(m_audioDevice);
    return S_OK;
}
HRESULT FakeSettings::SetAudioDevice(BSTR v) {
    Guard g(m_lock);
    m_audioDevice = plat::BstrToU16(v);
    return S_OK;
}
HRESULT FakeSettings::GetCaptureDevice(BSTR* p) {
    if (Fails("CaptureDevice")) return E_FAIL;
    Guard g(m_lock);
    *p = plat::BstrFromU16(m_captureDevice);
    return S_OK;
}
HRESULT FakeSettings::SetCaptureDevice(BSTR v) {
    Guard g(m_lock);
    m_captureDevice = plat::BstrToU16(v);
    return S_OK;
}
HRESULT FakeSettings::GetMaxSongLength(UINT* p) {
    if (Fails("MaxSongLength")) return E_FAIL;
    *p = maxSongLength;
    return S_OK;
}
