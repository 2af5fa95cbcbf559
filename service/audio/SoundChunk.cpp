#include "service/audio/SoundChunk.h"

#include "log/Trace.h"

DWORD SoundChunkSize(const OWAVEFORMATEX& format) {
    if (format.nBlockAlign == 0) return 0;
    DWORD chunk = format.nAvgBytesPerSec / 8;
    if (chunk < 1024) chunk = 1024;
    return chunk - chunk % format.nBlockAlign;
}

HRESULT CheckChunkFormat(const OWAVEFORMATEX& format) {
    if (SoundChunkSize(format) != 0) return S_OK;
    TQ_TRACE_HR("E_INVALIDARG");
    TQ_REPORT(EC_INTERNAL, E_INVALIDARG, u"Invalid wave format");
    return E_INVALIDARG;
}

std::vector<plat::SoundNotifyPosition> ChunkEndPositions(DWORD chunk, DWORD chunks,
                                                         const std::shared_ptr<plat::Event>& event) {
    std::vector<plat::SoundNotifyPosition> positions;
    for (DWORD i = 1; i <= chunks; ++i) positions.push_back({i * chunk - 1, event});
    return positions;
}
