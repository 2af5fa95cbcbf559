#pragma once
// Conversions between byte counts of an audio stream and milliseconds. The
// double-precision steps are kept exactly: positions stored by earlier runs
// and shown to users depend on the same truncations.
#include "platform/core/WinTypes.h"

DWORD BytesToMilliseconds(ULONGLONG bytes, DWORD rate);
LONGLONG MillisecondsToBytes(DWORD milliseconds, DWORD rate);
