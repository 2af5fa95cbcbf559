#include "service/controller/tests/FakeCapturer.h"

#include <cstring>

#include "platform/com/Bstr.h"

using Guard = std::lock_guard<std::mutex>;

std::vector<std::u16string>& FakeCapturer::Devices() {
    static std::vector<std::u16string> devices;
    return devices;
}

void FakeCapturer::Queue(std::vector<BYTE> block) {
    Guard g(m_lock);
    m_blocks.push_back(std::move(block));
}
std::u16string FakeCapturer::Device() {
    Guard g(m_lock);
    return m_device;
}
bool FakeCapturer::IsOpen() {
    Guard g(m_lock);
    return m_open;
}
int FakeCapturer::Calls(const std::string& method) {
    Guard g(m_lock);
    return m_calls[method];
}
void FakeCapturer::Fail(const std::string& method, HRESULT hr) {
    Guard g(m_lock);
    m_failures[method] = hr;
}
void FakeCapturer::SetBufferSize(ULONG size) {
    Guard g(m_lock);
    m_bufferSize = size;
}
HRESULT FakeCapturer::Note(const std::string& method) {
    ++m_calls[method];
    auto it = m_failures.find(method);
    return it == m_failures.end() ? S_OK : it->second;
}

HRESULT FakeCapturer::Initialize(OWAVEFORMATEX, BSTR bstrDevice) {
    Guard g(m_lock);
    ++m_takeovers;
    m_changed.notify_all();
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
void FakeCapturer::BlockGetData(bool block) {
    Guard g(m_lock);
    m_block = block;
    m_changed.notify_all();
}
HRESULT FakeCapturer::GetData(BYTE* pBuffer, ULONG* pdwBytes) {
    *pdwBytes = 0;
    std::unique_lock<std::mutex> g(m_lock);
    if (m_block) {
        Note("GetDataBlocked");
        const unsigned seen = m_takeovers;
        bool woken =
            m_changed.wait_for(g, std::chrono::seconds(30), [&] { return m_takeovers != seen || !m_block; });
        if (!woken) Note("GetDataTimedOut");
        return m_takeovers != seen ? E_ABORT : E_FAIL;
    }
    if (HRESULT hr = Note("GetData"); FAILED(hr)) return hr;
    if (!m_open || m_blocks.empty()) return E_FAIL;
    std::vector<BYTE> block = std::move(m_blocks.front());
    m_blocks.pop_front();
    if (block.size() > m_bufferSize) return E_FAIL;
    std::memcpy(pBuffer, block.data(), block.size());
    *pdwBytes = static_cast<ULONG>(block.size());
    return S_OK;
}
HRESULT FakeCapturer::StartCapture() {
    Guard g(m_lock);
    return Note("StartCapture");
}
HRESULT FakeCapturer::GetCaptureBufferSize(ULONG* pdwSize) {
    Guard g(m_lock);
    if (!m_open) return E_POINTER;
    *pdwSize = m_bufferSize;
    return S_OK;
}
HRESULT FakeCapturer::StopCapture() {
    Guard g(m_lock);
    return Note("StopCapture");
}
HRESULT FakeCapturer::Uninitialize() {
    Guard g(m_lock);
    ++m_takeovers;
    m_changed.notify_all();
    if (HRESULT hr = Note("Uninitialize"); FAILED(hr)) return hr;
    m_open = false;
    return S_OK;
}
HRESULT FakeCapturer::GetStatus(ULONG* pdwStatus) {
    Guard g(m_lock);
    if (!m_open) return E_FAIL;
    *pdwStatus = 3;
    return S_OK;
}
HRESULT FakeCapturer::GetFirstDevice(BSTR* pstrDevice) {
    Guard g(m_lock);
    m_next = 0;
    *pstrDevice = nullptr;
    if (Devices().empty()) return E_FAIL;
    *pstrDevice = plat::BstrFromU16(Devices()[m_next++]);
    return S_OK;
}
HRESULT FakeCapturer::GetNextDevice(BSTR* pstrDevice) {
    Guard g(m_lock);
    *pstrDevice = nullptr;
    if (m_next >= Devices().size()) return E_FAIL;
    *pstrDevice = plat::BstrFromU16(Devices()[m_next++]);
    return S_OK;
}
HRESULT FakeCapturer::GetUsedDevice(BSTR* pstrDevice) {
    Guard g(m_lock);
    *pstrDevice = plat::BstrFromU16(m_device);
    return S_OK;
}
HRESULT FakeCapturer::GetDefaultDevice(BSTR* pstrDevice) { return GetFirstDevice(pstrDevice); }
