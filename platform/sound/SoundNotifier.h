#pragma once
// The position notifications of one buffer: sets each event whose offset the
// cursor passes. Not thread-safe: the owning buffer guards it.
#include <vector>

#include "platform/sound/SoundTypes.h"

namespace plat {

class SoundNotifier {
public:
    // Offsets must lie inside the ring and events must be set.
    HRESULT Set(const std::vector<SoundNotifyPosition>& positions, DWORD ringSize);
    // The cursor moved forward from 'from' over 'bytes' bytes: every offset
    // among them (from included) fires; a whole ring or more fires them all.
    void Passed(DWORD from, uint64_t bytes, DWORD ringSize) const;

private:
    std::vector<SoundNotifyPosition> m_positions;
};

}  // namespace plat
