#pragma once
// Conversions between byte counts of an audio stream and milliseconds. The
// double-precision steps are kept exactly: positions stored by earlier runs
// and shown to users depend on the same truncations.
#include "platform/core/WinTypes.h"

// 64 bits: a disk's free bytes in milliseconds pass 2^32 at 768 GiB.
ULONGLONG BytesToMilliseconds(ULONGLONG bytes, DWORD rate);
LONGLONG MillisecondsToBytes(DWORD milliseconds, DWORD rate);
// A count where a 32-bit value is passed on: the largest one rather than a
// wrapped-around small one.
inline DWORD SaturateToDword(ULONGLONG value) { return value > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<DWORD>(value); }
