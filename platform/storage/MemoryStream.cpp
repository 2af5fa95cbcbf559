#include "platform/storage/MemoryStream.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/core/LastError.h"

namespace plat {

ComPtr<MemoryStream> MemoryStream::Make(std::vector<uint8_t> bytes) {
    return ComPtr<MemoryStream>(CreateInstance(std::move(bytes)));
}

HRESULT MemoryStream::Read(void* pv, ULONG cb, ULONG* pcbRead) {
    if (pcbRead) *pcbRead = 0;
    if (!pv && cb > 0) return E_POINTER;
    size_t left = m_position < m_bytes.size() ? m_bytes.size() - m_position : 0;
    size_t n = std::min<size_t>(cb, left);
    if (n > 0) std::memcpy(pv, m_bytes.data() + m_position, n);
    m_position += n;
    if (pcbRead) *pcbRead = static_cast<ULONG>(n);
    return S_OK;
}

HRESULT MemoryStream::Write(const void* pv, ULONG cb, ULONG* pcbWritten) {
    if (pcbWritten) *pcbWritten = 0;
    if (!pv && cb > 0) return E_POINTER;
    size_t room = m_position < m_capacity ? m_capacity - m_position : 0;
    size_t n = std::min<size_t>(cb, room);
    try {
        if (m_position + n > m_bytes.size()) m_bytes.resize(m_position + n);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return E_OUTOFMEMORY;
    }
    if (n > 0) std::memcpy(m_bytes.data() + m_position, pv, n);
    m_position += n;
    if (pcbWritten) *pcbWritten = static_cast<ULONG>(n);
    if (n < cb) {
        SetLastError(ERROR_DISK_FULL);
        return STG_E_MEDIUMFULL;
    }
    return S_OK;
}

}  // namespace plat
