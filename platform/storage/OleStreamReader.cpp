#include "platform/storage/OleStreamReader.h"

#include <algorithm>

#include "platform/core/LastError.h"

namespace plat {

HRESULT OleStreamReader::Read(void* pv, ULONG cb, ULONG* pcbRead) {
    if (pcbRead) *pcbRead = 0;
    if (!pv && cb > 0) return E_POINTER;
    gsf_off_t remaining = gsf_input_remaining(m_input.Get());
    // The library refuses a read that asks for more than is left: ask only
    // for what is there, so the end of the stream gives a short read.
    gsf_off_t n = std::min<gsf_off_t>(cb, remaining > 0 ? remaining : 0);
    if (n > 0 && !gsf_input_read(m_input.Get(), static_cast<size_t>(n), static_cast<guint8*>(pv))) {
        SetLastError(ERROR_READ_FAULT);
        return STG_E_READFAULT;
    }
    if (pcbRead) *pcbRead = static_cast<ULONG>(n);
    return S_OK;
}

HRESULT OleStreamReader::Write(const void*, ULONG, ULONG* pcbWritten) {
    if (pcbWritten) *pcbWritten = 0;
    return STG_E_ACCESSDENIED;  // opened for reading only
}

}  // namespace plat
