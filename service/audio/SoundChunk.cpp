#include "service/audio/SoundChunk.h"

DWORD SoundChunkSize(const OWAVEFORMATEX& format) {
    if (format.nBlockAlign == 0) return 0;
    DWORD chunk = format.nAvgBytesPerSec / 8;
    if (chunk < 1024) chunk = 1024;
    return chunk - chunk % format.nBlockAlign;
}
