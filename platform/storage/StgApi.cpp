#include "platform/core/LastError.h"
#include "platform/storage/OleStorageReader.h"
#include "platform/storage/OleStorageWriter.h"
#include "platform/storage/Storage.h"

HRESULT StgCreateDocfile(const OLECHAR* path, DWORD mode, IStorage** ppStorage) {
    if (!ppStorage) return E_POINTER;
    *ppStorage = nullptr;
    if (!path) return STG_E_INVALIDNAME;
    if (!(mode & STGM_WRITE) || !(mode & STGM_CREATE)) return STG_E_INVALIDFUNCTION;
    return plat::OleStorageWriter::Create(path, ppStorage);
}

HRESULT StgOpenStorage(const OLECHAR* path, DWORD mode, IStorage** ppStorage) {
    if (!ppStorage) return E_POINTER;
    *ppStorage = nullptr;
    if (!path) return STG_E_INVALIDNAME;
    if (mode & (STGM_WRITE | STGM_CREATE)) return STG_E_INVALIDFUNCTION;
    return plat::OleStorageReader::Open(path, ppStorage);
}
