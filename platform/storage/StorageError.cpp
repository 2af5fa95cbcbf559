#include "platform/storage/StorageError.h"

#include "platform/core/LastError.h"
#include "platform/storage/Storage.h"

namespace plat {

HRESULT StorageErrorFrom(DWORD win32Error) {
    switch (win32Error) {
        case ERROR_FILE_NOT_FOUND: return STG_E_FILENOTFOUND;
        case ERROR_PATH_NOT_FOUND: return STG_E_PATHNOTFOUND;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return STG_E_SHAREVIOLATION;
        case ERROR_ACCESS_DENIED: return STG_E_ACCESSDENIED;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return STG_E_MEDIUMFULL;
        default: return HResultFromError(win32Error);
    }
}

}  // namespace plat
