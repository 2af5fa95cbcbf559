#pragma once
// The sinks advised on a proxy's connection point: a growable array of slots
// (four at first, doubled when all are taken); a sink takes the first empty
// slot and its cookie is the slot number plus 1; an unadvised slot is emptied
// and kept for the next sink.
#include <memory>
#include <mutex>
#include <vector>

#include "ipc/QXServiceLib.h"
#include "ipc/client/EventSubscription.h"

namespace ipc {

class SinkSlots {
public:
    // source is the proxy whose events the sink wants.
    HRESULT Advise(IUnknown* source, IUnknown* sink, DWORD* cookie);
    HRESULT Unadvise(DWORD cookie);

private:
    std::mutex m_mutex;
    std::vector<std::unique_ptr<EventSubscription>> m_slots;
};

}  // namespace ipc
