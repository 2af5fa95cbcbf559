#include "platform/storage/OleStreamWriter.h"

#include "platform/core/LastError.h"
#include "platform/storage/OleStorageWriter.h"

namespace plat {

OleStreamWriter::OleStreamWriter(OleStorageWriter* storage, GsfOutput* child)
    : m_storageRef(storage), m_storage(storage), m_child(child) {}

OleStreamWriter::~OleStreamWriter() { Close(); }

HRESULT OleStreamWriter::Read(void*, ULONG, ULONG* pcbRead) {
    if (pcbRead) *pcbRead = 0;
    return STG_E_ACCESSDENIED;  // opened for writing only
}

HRESULT OleStreamWriter::Write(const void* pv, ULONG cb, ULONG* pcbWritten) {
    if (pcbWritten) *pcbWritten = 0;
    if (!pv && cb > 0) return E_POINTER;
    if (m_closed) return STG_E_REVERTED;
    if (cb == 0) return S_OK;
    if (!gsf_output_write(m_child.Get(), cb, static_cast<const guint8*>(pv))) {
        m_ok = false;
        SetLastError(ERROR_WRITE_FAULT);
        return STG_E_WRITEFAULT;
    }
    if (pcbWritten) *pcbWritten = cb;
    return S_OK;
}

bool OleStreamWriter::Close() {
    if (m_closed) return m_ok;
    m_closed = true;
    if (!gsf_output_close(m_child.Get())) m_ok = false;
    m_storage->StreamClosed(this, m_ok);
    return m_ok;
}

}  // namespace plat
