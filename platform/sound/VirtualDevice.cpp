#include "platform/sound/VirtualDevice.h"

#include <cstring>

#include "platform/sound/SoundFormat.h"
#include "platform/sound/VirtualCaptureBuffer.h"
#include "platform/sound/VirtualPlaybackBuffer.h"

namespace plat {

VirtualDevice::VirtualDevice(GUID guid, std::u16string description, std::u16string module, bool capture,
                             std::shared_ptr<VirtualFaults> faults, Registrar registrar)
    : m_guid(guid),
      m_description(std::move(description)),
      m_module(std::move(module)),
      m_capture(capture),
      m_faults(std::move(faults)),
      m_registrar(std::move(registrar)),
      m_generator(SilenceGenerator()) {}

void VirtualDevice::AppendRendered(const uint8_t* bytes, size_t count) {
    std::lock_guard<std::mutex> g(m_lock);
    if (m_renderedLimit == 0) return;
    if (count > m_renderedLimit) {
        bytes += count - m_renderedLimit;
        count = m_renderedLimit;
    }
    size_t over = m_rendered.size() + count > m_renderedLimit ? m_rendered.size() + count - m_renderedLimit : 0;
    m_rendered.erase(m_rendered.begin(), m_rendered.begin() + static_cast<std::ptrdiff_t>(over));
    m_rendered.insert(m_rendered.end(), bytes, bytes + count);
}

std::vector<uint8_t> VirtualDevice::Rendered() const {
    std::lock_guard<std::mutex> g(m_lock);
    return std::vector<uint8_t>(m_rendered.begin(), m_rendered.end());
}

void VirtualDevice::ClearRendered() {
    std::lock_guard<std::mutex> g(m_lock);
    m_rendered.clear();
}

void VirtualDevice::SetRenderedLimit(size_t maxBytes) {
    std::lock_guard<std::mutex> g(m_lock);
    m_renderedLimit = maxBytes;
    if (m_rendered.size() > maxBytes)
        m_rendered.erase(m_rendered.begin(), m_rendered.begin() + static_cast<std::ptrdiff_t>(m_rendered.size() - maxBytes));
}

void VirtualDevice::SetGenerator(SoundGenerator generator) {
    std::lock_guard<std::mutex> g(m_lock);
    m_generator = generator ? std::move(generator) : SilenceGenerator();
}

void VirtualDevice::Generate(uint8_t* to, DWORD bytes, uint64_t streamOffset) {
    std::lock_guard<std::mutex> g(m_lock);
    m_generator(to, bytes, streamOffset);
}

HRESULT VirtualDevice::SetCooperativeLevel(DWORD) { return m_faults->Take(VirtualCall::SetCooperativeLevel); }

HRESULT VirtualDevice::CreateSoundBuffer(const WaveFormat& format, DWORD dwBytes,
                                         std::shared_ptr<SoundPlaybackBuffer>* ppBuffer) {
    if (!ppBuffer) return E_POINTER;
    ppBuffer->reset();
    if (HRESULT hr = m_faults->Take(VirtualCall::CreateBuffer); FAILED(hr)) return hr;
    if (m_capture) return DSERR_INVALIDCALL;
    if (IsGone()) return DSERR_NODRIVER;
    if (!HasBufferGeometry(format)) return DSERR_BADFORMAT;
    if (dwBytes < format.nBlockAlign || dwBytes % format.nBlockAlign != 0) return E_INVALIDARG;
    auto buffer = std::make_shared<VirtualPlaybackBuffer>(shared_from_this(), m_faults, format);
    if (!buffer->Allocate(dwBytes)) return E_OUTOFMEMORY;
    m_registrar(buffer);
    *ppBuffer = std::move(buffer);
    return S_OK;
}

HRESULT VirtualDevice::CreateCaptureBuffer(const WaveFormat& format, DWORD dwBytes,
                                           std::shared_ptr<SoundCaptureBuffer>* ppBuffer) {
    if (!ppBuffer) return E_POINTER;
    ppBuffer->reset();
    if (HRESULT hr = m_faults->Take(VirtualCall::CreateBuffer); FAILED(hr)) return hr;
    if (!m_capture) return DSERR_INVALIDCALL;
    if (IsGone()) return DSERR_NODRIVER;
    if (!HasBufferGeometry(format)) return DSERR_BADFORMAT;
    if (dwBytes < format.nBlockAlign || dwBytes % format.nBlockAlign != 0) return E_INVALIDARG;
    auto buffer = std::make_shared<VirtualCaptureBuffer>(shared_from_this(), m_faults, format);
    if (!buffer->Allocate(dwBytes)) return E_OUTOFMEMORY;
    m_registrar(buffer);
    *ppBuffer = std::move(buffer);
    return S_OK;
}

}  // namespace plat
