#include "platform/storage/OleStorageReader.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-input-memory.h>

#include <new>

#include "platform/core/LastError.h"
#include "platform/core/Text.h"
#include "platform/storage/OleStreamReader.h"
#include "platform/storage/StorageError.h"

namespace plat {

HRESULT OleStorageReader::Open(const std::u16string& path, IStorage** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return STG_E_PATHNOTFOUND;
    }
    EnsureGsfInitialized();
    OleStorageReader* storage = CreateInstance();
    if (!storage) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return E_OUTOFMEMORY;
    }
    ComPtr<IStorage> keep(storage);
    File& file = storage->m_lock;
    if (!file.Open(path, FileAccess::Read, FileCreation::OpenExisting, ShareNone))
        return StorageErrorFrom(GetLastError());
    uint64_t size = 0;
    if (!file.Size(&size)) return StorageErrorFrom(GetLastError());
    if (size > kMaxFileSize) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return STG_E_DOCFILETOOLARGE;
    }
    try {
        storage->m_bytes.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return E_OUTOFMEMORY;
    }
    uint32_t got = 0;
    if (size > 0 && !file.Read(storage->m_bytes.data(), static_cast<uint32_t>(size), &got))
        return StorageErrorFrom(GetLastError());
    if (got != size) {
        SetLastError(ERROR_READ_FAULT);
        return STG_E_READFAULT;
    }
    storage->m_source.Reset(gsf_input_memory_new(storage->m_bytes.data(), static_cast<gsf_off_t>(size), FALSE));
    if (!storage->m_source) {
        SetLastError(kErrorInvalidData);
        return STG_E_INVALIDHEADER;
    }
    GError* error = nullptr;
    storage->m_ole.Reset(gsf_infile_msole_new(storage->m_source.Get(), &error));
    if (error) g_error_free(error);
    if (!storage->m_ole) {
        SetLastError(kErrorInvalidData);
        return STG_E_INVALIDHEADER;
    }
    *out = keep.Detach();
    return S_OK;
}

OleStorageReader::~OleStorageReader() {
    m_ole.Reset();
    m_source.Reset();
}

HRESULT OleStorageReader::CreateStream(const OLECHAR*, DWORD, IStream** ppStream) {
    if (ppStream) *ppStream = nullptr;
    return STG_E_ACCESSDENIED;  // opened for reading only
}

HRESULT OleStorageReader::OpenStream(const OLECHAR* name, DWORD mode, IStream** ppStream) {
    if (!ppStream) return E_POINTER;
    *ppStream = nullptr;
    if (!name) return E_POINTER;
    if (mode & STGM_WRITE) return STG_E_ACCESSDENIED;
    std::string utf8 = ToUtf8(name);
    GsfInput* child = gsf_infile_child_by_name(m_ole.Get(), utf8.c_str());
    if (!child) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return STG_E_FILENOTFOUND;
    }
    // A sub-storage of that name is not a stream.
    if (GSF_IS_INFILE(child) && gsf_infile_num_children(GSF_INFILE(child)) >= 0) {
        g_object_unref(child);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return STG_E_FILENOTFOUND;
    }
    OleStreamReader* stream = OleStreamReader::CreateInstance(this, child);
    if (!stream) {
        g_object_unref(child);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return E_OUTOFMEMORY;
    }
    stream->AddRef();
    *ppStream = stream;
    return S_OK;
}

HRESULT OleStorageReader::Commit(DWORD) { return S_OK; }  // nothing to write

}  // namespace plat
