#pragma once
// The base of every proxy: a light object over the process's connection that
// implements a contract interface by calling the object at its path. It holds
// the one reference that the service counted when it handed the object out
// and gives it back (QXServiceLib.IUnknown.Release) when its own last
// reference goes. Asked for an interface it does not implement itself, it asks
// the service (remote QueryInterface) and returns a proxy for the answer.
//
// Bus failures become HRESULTs (a vanished service RPC_E_SERVER_UNAVAILABLE,
// a released object RPC_E_DISCONNECTED); nothing throws out of a proxy.
#include <atomic>
#include <chrono>
#include <memory>
#include <new>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include <sdbus-c++/sdbus-c++.h>

#include "ipc/client/ClientArgs.h"
#include "ipc/client/ClientConnection.h"
#include "ipc/client/RemoteObject.h"
#include "ipc/common/BusError.h"
#include "ipc/common/GeneratedProxies.h"
#include "platform/com/ComObject.h"

namespace ipc {

// The generated call stubs of one path, bound to its sdbus proxy.
template <class... Generated>
class RemoteStub : public Generated... {
public:
    explicit RemoteStub(sdbus::IProxy& proxy) : Generated(proxy)... {}
};

template <class... P>
struct ClientLayout {
    static constexpr bool kOut[sizeof...(P) + 1] = {ClientArg<P>::kOut..., false};
    static constexpr size_t Position(size_t i) {
        size_t n = 0;
        for (size_t j = 0; j < i; ++j) n += (kOut[j] == kOut[i]) ? 1 : 0;
        return n;
    }
};

// What an answer's out-parameter is held in until the whole answer is taken.
template <class A, bool = A::kOut>
struct PendingOf {
    using type = int;
};
template <class A>
struct PendingOf<A, true> {
    using type = typename A::Pending;
};

// Calls method of stub with the native arguments native..., mapping the
// in-parameters to bus arguments and the answer back into the out-parameters.
template <class Stub, class R, class... WIn, class... P>
HRESULT InvokeRemote(const ProxyContext& ctx, std::type_identity_t<Stub>& stub, R (Stub::*method)(const WIn&...),
                     P... native) {
    using Layout = ClientLayout<P...>;
    using Natives = std::tuple<P...>;
    Natives values{native...};
    constexpr size_t kCount = sizeof...(P);

    // Null out-pointers are refused before anything is sent.
    bool nullOut = false;
    [&]<size_t... I>(std::index_sequence<I...>) {
        (
            [&] {
                if constexpr (ClientArg<std::tuple_element_t<I, Natives>>::kOut)
                    if (!std::get<I>(values)) nullOut = true;
            }(),
            ...);
    }(std::make_index_sequence<kCount>{});
    if (nullOut) return E_POINTER;

    auto clearOuts = [&] {
        [&]<size_t... I>(std::index_sequence<I...>) {
            (
                [&] {
                    using A = ClientArg<std::tuple_element_t<I, Natives>>;
                    if constexpr (A::kOut) A::Clear(std::get<I>(values));
                }(),
                ...);
        }(std::make_index_sequence<kCount>{});
    };

    HRESULT hr = S_OK;
    try {
        std::tuple<std::decay_t<WIn>...> wires;
        [&]<size_t... I>(std::index_sequence<I...>) {
            (
                [&] {
                    using A = ClientArg<std::tuple_element_t<I, Natives>>;
                    if constexpr (!A::kOut) {
                        using Wire = std::tuple_element_t<Layout::Position(I), decltype(wires)>;
                        static_assert(std::is_same_v<typename A::Wire, Wire>, "bus type does not match the parameter");
                        if (SUCCEEDED(hr)) hr = A::ToWire(ctx, std::get<I>(values), std::get<Layout::Position(I)>(wires));
                    }
                }(),
                ...);
        }(std::make_index_sequence<kCount>{});
        if (FAILED(hr)) {
            clearOuts();
            return hr;
        }
        R answer = std::apply([&](auto&... w) { return (stub.*method)(w...); }, wires);
        if constexpr (std::is_same_v<R, int32_t>) {
            return answer;
        } else {
            hr = std::get<0>(answer);
            if (FAILED(hr)) {
                clearOuts();
                return hr;
            }
            // Take the whole answer over first; hand it out only when all of it could be had.
            HRESULT takeHr = S_OK;
            [&]<size_t... I>(std::index_sequence<I...>) {
                std::tuple<typename PendingOf<ClientArg<std::tuple_element_t<I, Natives>>>::type...> pending;
                (
                    [&] {
                        using A = ClientArg<std::tuple_element_t<I, Natives>>;
                        if constexpr (A::kOut)
                            if (SUCCEEDED(takeHr))
                                takeHr = A::Prepare(ctx, hr, std::get<1 + Layout::Position(I)>(answer), std::get<I>(pending));
                    }(),
                    ...);
                if (SUCCEEDED(takeHr)) {
                    (
                        [&] {
                            using A = ClientArg<std::tuple_element_t<I, Natives>>;
                            if constexpr (A::kOut) A::Commit(std::get<I>(values), std::get<I>(pending));
                        }(),
                        ...);
                }
            }(std::make_index_sequence<kCount>{});
            if (FAILED(takeHr)) {
                clearOuts();
                return takeHr;
            }
            return hr;
        }
    } catch (const sdbus::Error& e) {
        clearOuts();
        return BusError::ToHResult(e);
    } catch (const std::bad_alloc&) {
        clearOuts();
        return E_OUTOFMEMORY;
    }
}

// Calls method of interfaceName at proxy, whose whole answer is its HRESULT,
// without a time limit (a save runs as long as it needs). The answer is taken
// on the connection's event-loop thread, like the service's signals, so every
// event the service fired before it answered has reached its sinks by the time
// this returns. A blocking call would read those signals itself and hold them
// back until it returned: a progress sink would see nothing while a save ran.
template <class... P>
HRESULT InvokeRemoteWaiting(const ProxyContext& ctx, sdbus::IProxy& proxy, const char* interfaceName,
                            const char* method, P... native) {
    struct Answer {
        plat::Event done{plat::Event::Reset::Manual};
        std::atomic<int32_t> hr{E_FAIL};
    };
    std::shared_ptr<Answer> answer;
    try {
        answer = std::make_shared<Answer>();
        std::tuple<P...> values{native...};
        std::tuple<typename ClientArg<P>::Wire...> wires;
        HRESULT hr = S_OK;
        [&]<size_t... I>(std::index_sequence<I...>) {
            ((hr = SUCCEEDED(hr) ? ClientArg<P>::ToWire(ctx, std::get<I>(values), std::get<I>(wires)) : hr), ...);
        }(std::index_sequence_for<P...>{});
        if (FAILED(hr)) return hr;
        std::apply(
            [&](auto&... wire) {
                proxy.callMethodAsync(method)
                    .onInterface(interfaceName)
                    .withTimeout(std::chrono::minutes(52560000))
                    .withArguments(wire...)
                    .uponReplyInvoke([answer](const sdbus::Error* error, int32_t result) {
                        answer->hr = error ? BusError::ToHResult(*error) : result;
                        answer->done.Set();
                    });
            },
            wires);
    } catch (const sdbus::Error& e) {
        return BusError::ToHResult(e);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    plat::Event* lost = ctx.connection->LostEvent();
    DWORD woke = lost ? plat::WaitAny({&answer->done, lost}, INFINITE) : answer->done.Wait(INFINITE);
    if (woke != plat::WAIT_OBJECT_0) return RPC_E_SERVER_UNAVAILABLE;  // the bus went: no answer can come
    return answer->hr.load();
}

template <class Derived, class Stub, class... Itfs>
class ProxyBase : public plat::ComObject<Derived, Itfs..., IRemoteObject> {
public:
    const std::shared_ptr<ClientConnection>& Connection() const override { return m_ctx.connection; }
    const std::string& ServiceName() const override { return m_ctx.service; }
    const std::string& ObjectPath() const override { return m_ctx.path; }

protected:
    // Throws sdbus::Error when no proxy can be made for path (ProxyFactory
    // catches it).
    ProxyBase(std::shared_ptr<ClientConnection> connection, std::string service, std::string path)
        : m_ctx{std::move(connection), std::move(service), std::move(path)},
          m_proxy(sdbus::createProxy(m_ctx.connection->Bus(), m_ctx.service, m_ctx.path)),
          m_stub(*m_proxy) {}

    ~ProxyBase() override {
        try {
            m_stub.Release();
        } catch (const sdbus::Error&) {
            // The service or the connection is gone: so is the reference.
        }
    }

    // Interfaces this proxy does not implement are asked of the service.
    HRESULT QueryExtraInterface(REFIID riid, void** ppv) override {
        ObjectKind kind;
        if (!KindFromIid(riid, &kind)) return E_NOINTERFACE;
        int32_t hr = S_OK;
        sdbus::ObjectPath path;
        try {
            std::tie(hr, path) = m_stub.QueryInterface(WireText::FromGuid(riid));
        } catch (const sdbus::Error& e) {
            return BusError::ToHResult(e);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        if (FAILED(hr)) return hr;
        if (path == kNullPath) return E_NOINTERFACE;
        return ProxyFactory::Create(m_ctx.connection, m_ctx.service, path, kind, riid, ppv);
    }

    template <class Gen, class R, class... WIn, class... P>
    HRESULT Invoke(R (Gen::*method)(const WIn&...), P... native) {
        return InvokeRemote<Gen>(m_ctx, m_stub, method, native...);
    }

    template <class... P>
    HRESULT InvokeWaiting(const char* interfaceName, const char* method, P... native) {
        return InvokeRemoteWaiting(m_ctx, *m_proxy, interfaceName, method, native...);
    }

    ProxyContext m_ctx;
    std::unique_ptr<sdbus::IProxy> m_proxy;
    Stub m_stub;
};

}  // namespace ipc
