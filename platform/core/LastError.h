#pragma once
// The thread's last error, as Win32 error numbers. Every stand-in call that
// fails sets it; errno values are mapped to the nearest Win32 number.
#include "platform/core/HResult.h"

namespace plat {

DWORD GetLastError();
void SetLastError(DWORD error);

// The Win32 error number that stands for an errno value.
DWORD Win32FromErrno(int err);
// Sets the last error from errno (or from the given errno value) and returns it.
DWORD SetLastErrorFromErrno();
DWORD SetLastErrorFromErrno(int err);

// HRESULT_FROM_WIN32 of the last error, but never a success: a failure whose
// last error is 0 is reported as E_FAIL.
HRESULT HResultFromLastError();
// The same for a given error number.
HRESULT HResultFromError(DWORD error);

}  // namespace plat
