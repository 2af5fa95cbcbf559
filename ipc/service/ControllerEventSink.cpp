#include "ipc/service/ControllerEventSink.h"

#include <sdbus-c++/Error.h>

#include "ipc/common/WireText.h"
#include "ipc/service/ControllerAdaptor.h"
#include "log/Trace.h"

namespace ipc {

void ControllerEventSink::Detach() {
    std::lock_guard lock(m_mutex);
    m_adaptor = nullptr;
}

template <class F>
HRESULT ControllerEventSink::Emit(F&& emit) {
    std::lock_guard lock(m_mutex);
    if (!m_adaptor) return S_OK;  // nobody left to tell
    try {
        emit(*m_adaptor);
        return S_OK;
    } catch (const sdbus::Error&) {
        TQ_TRACE_HR("emit controller event");
        return RPC_E_CALL_FAILED;
    }
}

HRESULT ControllerEventSink::SongDetected(BSTR guid) {
    return Emit([&](ControllerAdaptor& a) { a.emitSongDetected(WireText::FromBstr(guid)); });
}

HRESULT ControllerEventSink::CacheAlmostFull(UINT nMinutesTo) {
    return Emit([&](ControllerAdaptor& a) { a.emitCacheAlmostFull(nMinutesTo); });
}

HRESULT ControllerEventSink::SongDeleted(BSTR guid) {
    return Emit([&](ControllerAdaptor& a) { a.emitSongDeleted(WireText::FromBstr(guid)); });
}

HRESULT ControllerEventSink::DiskAlmostFull(UINT nMinutesTo) {
    return Emit([&](ControllerAdaptor& a) { a.emitDiskAlmostFull(nMinutesTo); });
}

HRESULT ControllerEventSink::DiskFull() {
    return Emit([](ControllerAdaptor& a) { a.emitDiskFull(); });
}

HRESULT ControllerEventSink::ClearPlayList() {
    return Emit([](ControllerAdaptor& a) { a.emitClearPlayList(); });
}

HRESULT ControllerEventSink::CacheLoaded(UINT nNewCacheSize) {
    return Emit([&](ControllerAdaptor& a) { a.emitCacheLoaded(nNewCacheSize); });
}

HRESULT ControllerEventSink::CacheLoading() {
    return Emit([](ControllerAdaptor& a) { a.emitCacheLoading(); });
}

}  // namespace ipc
