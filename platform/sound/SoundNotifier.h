#pragma once
// The position notifications of one buffer: sets each event whose offset the
// cursor passes. Not thread-safe: the owning buffer guards it.
#include <memory>
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
    // The same, but the events are added to *due for the caller to set once
    // its own lock is let go: a waiter woken at once would block on it.
    void Passed(DWORD from, uint64_t bytes, DWORD ringSize, std::vector<std::shared_ptr<Event>>* due) const;

private:
    template <typename Fire>
    void ForEachPassed(DWORD from, uint64_t bytes, DWORD ringSize, Fire fire) const;

    std::vector<SoundNotifyPosition> m_positions;
};

}  // namespace plat
