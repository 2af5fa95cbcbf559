#pragma once
// How players and the capturer lay out their rings: in chunks of an eighth
// of a second of the format, at least 1024 bytes, in whole blocks, with a
// notification at the last byte of each chunk.
#include <memory>
#include <vector>

#include "ipc/QXServiceLib.h"
#include "platform/sound/SoundTypes.h"

// 0 for a format without a block alignment (such a format is refused).
DWORD SoundChunkSize(const OWAVEFORMATEX& format);
// E_INVALIDARG (traced and reported) for a format that has no chunk size.
HRESULT CheckChunkFormat(const OWAVEFORMATEX& format);
// One notification of event at the last byte of each of 'chunks' chunks.
std::vector<plat::SoundNotifyPosition> ChunkEndPositions(DWORD chunk, DWORD chunks,
                                                         const std::shared_ptr<plat::Event>& event);
