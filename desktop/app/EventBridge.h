#pragma once
// The program's event sinks. The service's events arrive on the bus's own
// thread; each is copied and queued to a receiver on the GUI thread, in the
// order they came. Once closed, a sink drops what still arrives (events
// during shutdown).
#include <QObject>
#include <QString>

#include <functional>
#include <mutex>

#include "ipc/QXServiceLib.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"

namespace parvane {

struct ControllerEvent {
    enum Kind { SongDetected = 1, CacheAlmostFull, SongDeleted, DiskAlmostFull, DiskFull, ClearPlayList, CacheLoaded, CacheLoading };
    Kind kind;
    QString guid;   // SongDetected, SongDeleted
    UINT value = 0;  // minutes, or the new cache size
};

class ControllerEventSink final : public plat::ComObject<ControllerEventSink, _IAudioControllerEvents> {
public:
    using Handler = std::function<void(const ControllerEvent&)>;
    ControllerEventSink(QObject* receiver, Handler handler) : m_receiver(receiver), m_handler(std::move(handler)) {}
    // Stops the delivery; call before the receiver goes.
    void Close();

    HRESULT SongDetected(BSTR guid) override;
    HRESULT CacheAlmostFull(UINT nMinutesTo) override;
    HRESULT SongDeleted(BSTR guid) override;
    HRESULT DiskAlmostFull(UINT nMinutesTo) override;
    HRESULT DiskFull() override;
    HRESULT ClearPlayList() override;
    HRESULT CacheLoaded(UINT nNewCacheSize) override;
    HRESULT CacheLoading() override;

private:
    HRESULT Post(ControllerEvent event);

    std::mutex m_mutex;
    QObject* m_receiver;
    Handler m_handler;
};

class EncoderEventSink final : public plat::ComObject<EncoderEventSink, _IAudioEncoderEvents> {
public:
    using Handler = std::function<void(UINT progress, const QString& path)>;
    EncoderEventSink(QObject* receiver, Handler handler) : m_receiver(receiver), m_handler(std::move(handler)) {}
    void Close();
    HRESULT Progress(UINT nProgress, BSTR bstrSavePath) override;

private:
    std::mutex m_mutex;
    QObject* m_receiver;
    Handler m_handler;
};

// A sink attached to an object's connection point for as long as it lives.
class Advice {
public:
    Advice() = default;
    ~Advice() { Reset(); }
    Advice(const Advice&) = delete;
    Advice& operator=(const Advice&) = delete;
    HRESULT Connect(IUnknown* source, REFIID events, IUnknown* sink);
    void Reset();
    bool Connected() const { return m_point != nullptr; }

private:
    plat::ComPtr<IConnectionPoint> m_point;
    DWORD m_cookie = 0;
};

}  // namespace parvane
