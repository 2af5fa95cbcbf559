#pragma once
// The storage result that stands for a Win32 error of the file layer.
#include "platform/core/HResult.h"

namespace plat {

// Win32 ERROR_INVALID_DATA: a file that is not a compound file, or a damaged one.
inline constexpr DWORD kErrorInvalidData = 13;

// Missing file or folder, sharing and access failures and a full disk get
// their storage codes; other errors their HRESULT_FROM_WIN32 form (E_FAIL for 0).
HRESULT StorageErrorFrom(DWORD win32Error);

}  // namespace plat
