#include "platform/core/LastError.h"

#include <cerrno>

namespace plat {

namespace {
thread_local DWORD t_lastError = 0;
}

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD error) { t_lastError = error; }

DWORD Win32FromErrno(int err) {
    switch (err) {
        case 0: return ERROR_SUCCESS;
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS: return ERROR_ACCESS_DENIED;
        case EEXIST: return ERROR_ALREADY_EXISTS;
        case EISDIR: return ERROR_DIRECTORY;
        case ENOSPC:
        case EDQUOT:
        case EFBIG: return ERROR_DISK_FULL;
        case EMFILE:
        case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        case EBADF: return ERROR_INVALID_HANDLE;
        case EINVAL: return ERROR_INVALID_PARAMETER;
        case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
        case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
        case EBUSY: return ERROR_BUSY;
        case EWOULDBLOCK: return ERROR_SHARING_VIOLATION;
        case EPIPE: return ERROR_BROKEN_PIPE;
        case ECONNREFUSED:
        case ENOTCONN: return ERROR_PIPE_NOT_CONNECTED;
        case ETIMEDOUT: return ERROR_TIMEOUT;
        case ECANCELED: return ERROR_CANCELLED;
        case ENODEV:
        case ENXIO: return ERROR_DEV_NOT_EXIST;
        case ENOTSUP: return ERROR_NOT_SUPPORTED;
        case ELOOP: return ERROR_INVALID_NAME;
        case EIO: return ERROR_GEN_FAILURE;
        default: return ERROR_GEN_FAILURE;
    }
}

DWORD SetLastErrorFromErrno() { return SetLastErrorFromErrno(errno); }

DWORD SetLastErrorFromErrno(int err) {
    DWORD e = Win32FromErrno(err);
    t_lastError = e;
    return e;
}

HRESULT HResultFromError(DWORD error) {
    HRESULT hr = HRESULT_FROM_WIN32(error);
    return SUCCEEDED(hr) ? E_FAIL : hr;
}

HRESULT HResultFromLastError() { return HResultFromError(t_lastError); }

}  // namespace plat
