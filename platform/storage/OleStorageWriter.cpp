#include "platform/storage/OleStorageWriter.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-output-memory.h>

#include "platform/core/LastError.h"
#include "platform/core/Text.h"
#include "platform/storage/OleStreamWriter.h"
#include "platform/storage/StorageError.h"

namespace plat {

namespace {

constexpr size_t kMaxNameUnits = 31;

}  // namespace

HRESULT OleStorageWriter::Create(const std::u16string& path, IStorage** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return STG_E_PATHNOTFOUND;
    }
    EnsureGsfInitialized();
    OleStorageWriter* storage = CreateInstance();
    if (!storage) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return E_OUTOFMEMORY;
    }
    ComPtr<IStorage> keep(storage);
    storage->m_path = path;
    // The lock is taken on the target itself; a target that does not exist
    // yet is made empty for that, and removed again if nothing is committed.
    bool existed = PathExists(path);
    if (!storage->m_lock.Open(path, FileAccess::ReadWrite, FileCreation::OpenAlways, ShareNone))
        return StorageErrorFrom(GetLastError());
    storage->m_createdTarget = !existed;
    storage->m_sink.Reset(gsf_output_memory_new());
    if (!storage->m_sink) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return E_OUTOFMEMORY;
    }
    storage->m_ole.Reset(gsf_outfile_msole_new(storage->m_sink.Get()));
    if (!storage->m_ole) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return E_OUTOFMEMORY;
    }
    *out = keep.Detach();
    return S_OK;
}

OleStorageWriter::~OleStorageWriter() {
    if (m_ole && !m_finished) {
        // Not committed: the built storage is dropped; nothing reached the disk.
        gsf_output_close(GSF_OUTPUT(m_ole.Get()));
    }
    m_ole.Reset();
    m_sink.Reset();
    if (m_createdTarget && !m_committed) {
        uint64_t size = 0;
        if (m_lock.Size(&size) && size == 0) {
            DWORD saved = GetLastError();
            DeleteFile(m_path);
            SetLastError(saved);
        }
    }
    m_lock.Close();
}

HRESULT OleStorageWriter::CreateStream(const OLECHAR* name, DWORD mode, IStream** ppStream) {
    if (!ppStream) return E_POINTER;
    *ppStream = nullptr;
    if (!name) return E_POINTER;
    if (!(mode & STGM_WRITE)) return STG_E_INVALIDFUNCTION;
    if (m_finished) return STG_E_REVERTED;
    std::u16string text(name);
    if (text.empty() || text.size() > kMaxNameUnits) return STG_E_INVALIDNAME;
    if (m_names.count(text)) return STG_E_FILEALREADYEXISTS;
    // The library writes a large stream straight into the file it builds,
    // so streams are written one after the other.
    if (m_active) return STG_E_ACCESSDENIED;
    std::string utf8 = ToUtf8(text);
    GsfOutput* child = gsf_outfile_new_child(m_ole.Get(), utf8.c_str(), FALSE);
    if (!child) {
        m_failed = true;
        return E_OUTOFMEMORY;
    }
    OleStreamWriter* stream = OleStreamWriter::CreateInstance(this, child);
    if (!stream) {
        g_object_unref(child);
        m_failed = true;
        return E_OUTOFMEMORY;
    }
    m_names.insert(text);
    m_active = stream;
    stream->AddRef();
    *ppStream = stream;
    return S_OK;
}

HRESULT OleStorageWriter::OpenStream(const OLECHAR*, DWORD, IStream** ppStream) {
    if (ppStream) *ppStream = nullptr;
    return STG_E_ACCESSDENIED;  // a storage being written is not read back
}

void OleStorageWriter::StreamClosed(OleStreamWriter* stream, bool ok) {
    if (!ok) m_failed = true;
    if (m_active == stream) m_active = nullptr;
}

HRESULT OleStorageWriter::Commit(DWORD) {
    if (m_finished) return m_committed ? S_OK : STG_E_REVERTED;
    if (m_active) m_active->Close();
    m_finished = true;
    bool closed = gsf_output_close(GSF_OUTPUT(m_ole.Get()));
    if (m_failed || !closed) {
        SetLastError(ERROR_WRITE_FAULT);
        return STG_E_WRITEFAULT;
    }
    auto* memory = GSF_OUTPUT_MEMORY(m_sink.Get());
    const guint8* bytes = gsf_output_memory_get_bytes(memory);
    gsf_off_t size = gsf_output_size(m_sink.Get());
    if (!bytes || size <= 0) {
        SetLastError(ERROR_WRITE_FAULT);
        return STG_E_WRITEFAULT;
    }
    HRESULT hr = WriteFile(bytes, static_cast<size_t>(size));
    if (SUCCEEDED(hr)) m_committed = true;
    return hr;
}

HRESULT OleStorageWriter::WriteFile(const void* bytes, size_t size) {
    if (size > 0xFFFFFFFFu) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return STG_E_DOCFILETOOLARGE;
    }
    // Written completely and flushed beside the target before it replaces
    // it: a failure at any step leaves the target as it was.
    std::u16string temp = m_path + u".tqnew";
    File out;
    bool ok = out.Open(temp, FileAccess::Write, FileCreation::CreateAlways, ShareNone) &&
              out.Write(bytes, static_cast<uint32_t>(size), nullptr) && out.Flush();
    DWORD err = GetLastError();
    out.Close();
    if (ok) {
        ok = MoveFile(temp, m_path);
        err = GetLastError();
        // The new name itself must survive a crash too. Once the rename is
        // done the target is replaced whatever the folder's flush gives.
        if (ok) FlushFolderOf(m_path);
    }
    if (!ok) {
        DeleteFile(temp);
        SetLastError(err);
        return StorageErrorFrom(err);
    }
    return S_OK;
}

}  // namespace plat
