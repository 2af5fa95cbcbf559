#pragma once
// The in-process sink that the service attaches to the controller's
// connection point: every event becomes a signal of
// QXServiceLib._IAudioControllerEvents at /AudioController, in the order
// fired. Signals are broadcast, so firing never waits for a client.
#include <mutex>

#include "ipc/QXServiceLib.h"
#include "ipc/service/ExportedInterface.h"
#include "platform/com/ComObject.h"

namespace ipc {

class ControllerAdaptor;

class ControllerEventSink final : public plat::ComObject<ControllerEventSink, _IAudioControllerEvents>,
                                  public SignalEmitter {
public:
    explicit ControllerEventSink(ControllerAdaptor* adaptor) : m_adaptor(adaptor) {}

    // After this, events are dropped (the controller is leaving the bus).
    void Detach() override;

    HRESULT SongDetected(BSTR guid) override;
    HRESULT CacheAlmostFull(UINT nMinutesTo) override;
    HRESULT SongDeleted(BSTR guid) override;
    HRESULT DiskAlmostFull(UINT nMinutesTo) override;
    HRESULT DiskFull() override;
    HRESULT ClearPlayList() override;
    HRESULT CacheLoaded(UINT nNewCacheSize) override;
    HRESULT CacheLoading() override;

private:
    template <class F>
    HRESULT Emit(F&& emit);

    std::mutex m_mutex;
    ControllerAdaptor* m_adaptor;
};

}  // namespace ipc
