#include "ipc/client/ClientConnection.h"

#include <atomic>
#include <new>
#include <system_error>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>

#include "ipc/client/ProxyFactory.h"
#include "ipc/common/BusError.h"
#include "ipc/common/BusName.h"
#include "ipc/common/WireText.h"

namespace ipc {

namespace {

std::atomic<int64_t> g_defaultCallTimeoutMs{0};

std::string SignalRule(const char* interfaceName) {
    return std::string("type='signal',interface='") + interfaceName + "'";
}

}  // namespace

void ClientConnection::SetDefaultCallTimeout(std::chrono::milliseconds timeout) {
    g_defaultCallTimeoutMs = timeout.count() > 0 ? timeout.count() : 0;
}

std::chrono::milliseconds ClientConnection::DefaultCallTimeout() {
    return std::chrono::milliseconds(g_defaultCallTimeoutMs.load());
}

HRESULT ClientConnection::Shared(std::shared_ptr<ClientConnection>* out) {
    if (!out) return E_POINTER;
    static std::mutex lock;
    static std::shared_ptr<ClientConnection> shared;
    std::lock_guard guard(lock);
    if (!shared || !shared->IsConnected()) {
        std::shared_ptr<ClientConnection> fresh;
        HRESULT hr = Open(&fresh);
        if (FAILED(hr)) return hr;
        shared = std::move(fresh);
    }
    *out = shared;
    return S_OK;
}

HRESULT ClientConnection::Open(std::shared_ptr<ClientConnection>* out, const std::string& address) {
    if (!out) return E_POINTER;
    out->reset();
    std::shared_ptr<ClientConnection> connection(new (std::nothrow) ClientConnection());
    if (!connection) return E_OUTOFMEMORY;
    HRESULT hr = connection->Start(address);
    if (FAILED(hr)) return hr;
    *out = std::move(connection);
    return S_OK;
}

HRESULT ClientConnection::Start(const std::string& address) {
    try {
        m_bus = address.empty() ? sdbus::createSessionBusConnection()
                                : sdbus::createSessionBusConnectionWithAddress(address);
        if (int64_t ms = g_defaultCallTimeoutMs.load()) m_bus->setMethodCallTimeout(uint64_t(ms) * 1000);
        m_controllerEvents = m_bus->addMatch(SignalRule(kControllerEventsInterface),
                                             [this](sdbus::Message& m) { OnControllerEvent(m); });
        m_encoderEvents =
            m_bus->addMatch(SignalRule(kEncoderEventsInterface), [this](sdbus::Message& m) { OnEncoderEvent(m); });
        m_loop = std::make_unique<EventLoop>(m_bus);
        m_loop->Start();
    } catch (const std::system_error&) {
        return E_OUTOFMEMORY;
    } catch (const sdbus::Error& e) {
        return BusError::ToHResult(e);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

ClientConnection::~ClientConnection() {
    if (!m_bus) return;
    // Stop the event loop first: no sink call may run while the rest goes.
    if (m_loop) m_loop->Stop();
    m_controllerEvents.reset();
    m_encoderEvents.reset();
}

std::string ClientConnection::UniqueName() const {
    try {
        return m_bus->getUniqueName();
    } catch (const sdbus::Error&) {
        return std::string();
    }
}

HRESULT ClientConnection::FindController(IAudioController** controller, const std::string& serviceName) {
    if (!controller) return E_POINTER;
    *controller = nullptr;
    std::string owner;
    HRESULT hr = BusName::LookUp(*m_bus, serviceName, &owner);
    if (hr != S_OK) return hr;
    hr = ConnectController(owner, controller);
    // The service left between the look-up and the call: nothing answers.
    if (hr == RPC_E_SERVER_UNAVAILABLE) return S_FALSE;
    return hr;
}

HRESULT ClientConnection::ConnectController(const std::string& service, IAudioController** controller) {
    if (!controller) return E_POINTER;
    *controller = nullptr;
    int32_t hr = S_OK;
    sdbus::ObjectPath path;
    try {
        auto proxy = sdbus::createProxy(*m_bus, service, kControllerPath);
        proxy->callMethod("QueryInterface")
            .onInterface(kLifetimeInterface)
            .withArguments(WireText::FromGuid(IID_IAudioController))
            .storeResultsTo(hr, path);
    } catch (const sdbus::Error& e) {
        return BusError::ToHResult(e);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (FAILED(hr)) return hr;
    if (path == kNullPath) return E_NOINTERFACE;
    return ProxyFactory::Create(shared_from_this(), service, path, ObjectKind::Controller, IID_IAudioController,
                                reinterpret_cast<void**>(controller));
}

uint64_t ClientConnection::AddSubscriber(Subscriber subscriber) {
    std::lock_guard lock(m_mutex);
    uint64_t id = m_nextId++;
    m_subscribers.emplace(id, std::move(subscriber));
    return id;
}

uint64_t ClientConnection::Subscribe(const std::string& service, const std::string& path,
                                     plat::ComPtr<_IAudioControllerEvents> sink) {
    return AddSubscriber(Subscriber{service, path, std::move(sink), nullptr});
}

uint64_t ClientConnection::Subscribe(const std::string& service, const std::string& path,
                                     plat::ComPtr<_IAudioEncoderEvents> sink) {
    return AddSubscriber(Subscriber{service, path, nullptr, std::move(sink)});
}

void ClientConnection::Unsubscribe(uint64_t id) {
    Subscriber gone;
    {
        std::lock_guard lock(m_mutex);
        auto found = m_subscribers.find(id);
        if (found == m_subscribers.end()) return;
        gone = std::move(found->second);
        m_subscribers.erase(found);
    }
    // gone's sink is released here, outside the lock.
}

void ClientConnection::OnControllerEvent(sdbus::Message& message) {
    std::vector<plat::ComPtr<_IAudioControllerEvents>> sinks;
    {
        std::lock_guard lock(m_mutex);
        const std::string sender = message.getSender();
        const std::string path = message.getPath();
        for (auto& [id, s] : m_subscribers)
            if (s.controllerSink && s.service == sender && s.path == path) sinks.push_back(s.controllerSink);
    }
    if (sinks.empty()) return;
    const std::string member = message.getMemberName();
    try {
        if (member == "SongDetected" || member == "SongDeleted") {
            std::string guid;
            message >> guid;
            plat::Bstr text;
            if (FAILED(WireText::ToBstr(guid, &text))) return;
            for (auto& sink : sinks) {
                if (member == "SongDetected")
                    sink->SongDetected(text);
                else
                    sink->SongDeleted(text);
            }
        } else if (member == "CacheAlmostFull" || member == "DiskAlmostFull" || member == "CacheLoaded") {
            uint32_t value = 0;
            message >> value;
            for (auto& sink : sinks) {
                if (member == "CacheAlmostFull")
                    sink->CacheAlmostFull(value);
                else if (member == "DiskAlmostFull")
                    sink->DiskAlmostFull(value);
                else
                    sink->CacheLoaded(value);
            }
        } else if (member == "DiskFull") {
            for (auto& sink : sinks) sink->DiskFull();
        } else if (member == "ClearPlayList") {
            for (auto& sink : sinks) sink->ClearPlayList();
        } else if (member == "CacheLoading") {
            for (auto& sink : sinks) sink->CacheLoading();
        }
    } catch (const sdbus::Error&) {
        // A signal that does not carry what its name promises is dropped.
    }
}

void ClientConnection::OnEncoderEvent(sdbus::Message& message) {
    if (message.getMemberName() != "Progress") return;
    std::vector<plat::ComPtr<_IAudioEncoderEvents>> sinks;
    {
        std::lock_guard lock(m_mutex);
        const std::string sender = message.getSender();
        const std::string path = message.getPath();
        for (auto& [id, s] : m_subscribers)
            if (s.encoderSink && s.service == sender && s.path == path) sinks.push_back(s.encoderSink);
    }
    if (sinks.empty()) return;
    try {
        uint32_t progress = 0;
        std::string savePath;
        message >> progress >> savePath;
        plat::Bstr text;
        if (FAILED(WireText::ToBstr(savePath, &text))) return;
        for (auto& sink : sinks) sink->Progress(progress, text);
    } catch (const sdbus::Error&) {
        // Malformed: dropped.
    }
}

}  // namespace ipc
