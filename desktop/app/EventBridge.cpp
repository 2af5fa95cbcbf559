#include "desktop/app/EventBridge.h"

#include <QMetaObject>

#include "platform/com/Bstr.h"

namespace parvane {

namespace {
QString Text(BSTR s) { return QString::fromStdU16String(plat::BstrToU16(s)); }
}  // namespace

void ControllerEventSink::Close() {
    std::lock_guard lock(m_mutex);
    m_receiver = nullptr;
}

HRESULT ControllerEventSink::Post(ControllerEvent event) {
    std::lock_guard lock(m_mutex);
    if (!m_receiver) return S_OK;
    Handler handler = m_handler;
    QMetaObject::invokeMethod(m_receiver, [handler, event] { handler(event); }, Qt::QueuedConnection);
    return S_OK;
}

HRESULT ControllerEventSink::SongDetected(BSTR guid) { return Post({ControllerEvent::SongDetected, Text(guid), 0}); }
HRESULT ControllerEventSink::CacheAlmostFull(UINT n) { return Post({ControllerEvent::CacheAlmostFull, {}, n}); }
HRESULT ControllerEventSink::SongDeleted(BSTR guid) { return Post({ControllerEvent::SongDeleted, Text(guid), 0}); }
HRESULT ControllerEventSink::DiskAlmostFull(UINT n) { return Post({ControllerEvent::DiskAlmostFull, {}, n}); }
HRESULT ControllerEventSink::DiskFull() { return Post({ControllerEvent::DiskFull, {}, 0}); }
HRESULT ControllerEventSink::ClearPlayList() { return Post({ControllerEvent::ClearPlayList, {}, 0}); }
HRESULT ControllerEventSink::CacheLoaded(UINT size) { return Post({ControllerEvent::CacheLoaded, {}, size}); }
HRESULT ControllerEventSink::CacheLoading() { return Post({ControllerEvent::CacheLoading, {}, 0}); }

void EncoderEventSink::Close() {
    std::lock_guard lock(m_mutex);
    m_receiver = nullptr;
}

HRESULT EncoderEventSink::Progress(UINT nProgress, BSTR bstrSavePath) {
    std::lock_guard lock(m_mutex);
    if (!m_receiver) return S_OK;
    Handler handler = m_handler;
    QString path = Text(bstrSavePath);
    QMetaObject::invokeMethod(m_receiver, [handler, nProgress, path] { handler(nProgress, path); },
                              Qt::QueuedConnection);
    return S_OK;
}

HRESULT Advice::Connect(IUnknown* source, REFIID events, IUnknown* sink) {
    Reset();
    if (!source || !sink) return E_POINTER;
    plat::ComPtr<IConnectionPointContainer> container;
    HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer,
                                        reinterpret_cast<void**>(container.ReleaseAndGetAddressOf()));
    if (FAILED(hr)) return hr;
    plat::ComPtr<IConnectionPoint> point;
    if (FAILED(hr = container->FindConnectionPoint(events, point.ReleaseAndGetAddressOf()))) return hr;
    DWORD cookie = 0;
    if (FAILED(hr = point->Advise(sink, &cookie))) return hr;
    m_point = point;
    m_cookie = cookie;
    return S_OK;
}

void Advice::Reset() {
    if (m_point) m_point->Unadvise(m_cookie);
    m_point = nullptr;
    m_cookie = 0;
}

}  // namespace parvane
