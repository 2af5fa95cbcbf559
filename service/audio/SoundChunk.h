#pragma once
// The chunk that players and the capturer divide their rings into: an
// eighth of a second of the format, at least 1024 bytes, in whole blocks.
#include "ipc/QXServiceLib.h"

// 0 for a format without a block alignment (such a format is refused).
DWORD SoundChunkSize(const OWAVEFORMATEX& format);
