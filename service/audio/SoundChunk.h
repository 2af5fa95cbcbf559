#pragma once
// How players and the capturer lay out their rings: in chunks of an eighth
// of a second of the format, at least 1024 bytes, in whole blocks, with a
// notification at the last byte of each chunk.
#include <initializer_list>
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

// The layout of a ring of some chunks of a format.
struct ChunkRing {
    DWORD chunk = 0;  // bytes of one chunk
    DWORD size = 0;   // bytes of the whole ring
};

// Makes a device's ring of 'chunks' chunks of the format: 'create' is given
// the format and the ring's size and makes the buffer. *pRing takes the
// layout first. E_INVALIDARG for a format without a chunk size.
template <class Create>
HRESULT CreateChunkRing(const OWAVEFORMATEX& format, DWORD chunks, ChunkRing* pRing, Create create) {
    const DWORD chunk = SoundChunkSize(format);
    if (chunk == 0) return E_INVALIDARG;
    *pRing = ChunkRing{chunk, chunks * chunk};
    return create(format, pRing->size);
}

// Asks the ring for a notification at the last byte of each chunk, to each
// of the events.
template <class Buffer>
HRESULT SetChunkNotifications(Buffer& buffer, const ChunkRing& ring,
                              std::initializer_list<std::shared_ptr<plat::Event>> events) {
    std::vector<plat::SoundNotifyPosition> positions;
    for (const std::shared_ptr<plat::Event>& event : events) {
        std::vector<plat::SoundNotifyPosition> one = ChunkEndPositions(ring.chunk, ring.size / ring.chunk, event);
        positions.insert(positions.end(), one.begin(), one.end());
    }
    return buffer.SetNotificationPositions(positions);
}
