#pragma once
// How each parameter type of the contract is sent by a proxy (in) and taken
// from the service's answer (out). Out-parameters are written only when the
// call succeeded and the whole answer could be taken over; after a failure,
// string, object and array outs are null (so the caller may free them) and
// number outs are left as the caller set them.
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include <sdbus-c++/Types.h>

#include "ipc/QXServiceLib.h"
#include "ipc/client/ProxyFactory.h"
#include "ipc/client/RemoteObject.h"
#include "ipc/common/Names.h"
#include "ipc/common/WireText.h"
#include "platform/com/ComPtr.h"
#include "platform/core/Text.h"

namespace ipc {

template <class P>
struct ClientArg;

// The path of a proxy of the same service, for an object handed back in.
inline HRESULT PathOfRemote(const ProxyContext& ctx, IUnknown* obj, sdbus::ObjectPath* wire) {
    if (!obj) {
        *wire = sdbus::ObjectPath(kNullPath);
        return S_OK;
    }
    plat::ComPtr<IRemoteObject> remote;
    if (FAILED(obj->QueryInterface(IID_IRemoteObject, reinterpret_cast<void**>(remote.GetAddressOf()))) || !remote)
        return E_INVALIDARG;  // an object of this process cannot be handed to the service
    if (remote->ServiceName() != ctx.service) return E_INVALIDARG;
    *wire = sdbus::ObjectPath(remote->ObjectPath());
    return S_OK;
}

// --- in ---------------------------------------------------------------------

template <class Native, class W = Native>
struct PlainIn {
    using Wire = W;
    static constexpr bool kOut = false;
    static HRESULT ToWire(const ProxyContext&, Native value, Wire& wire) {
        wire = static_cast<Wire>(value);
        return S_OK;
    }
};

template <>
struct ClientArg<uint32_t> : PlainIn<uint32_t> {};
template <>
struct ClientArg<int32_t> : PlainIn<int32_t> {};
template <>
struct ClientArg<int64_t> : PlainIn<int64_t> {};
template <>
struct ClientArg<uint64_t> : PlainIn<uint64_t> {};
// Enumerations go as their number; the service checks the range.
template <>
struct ClientArg<EBasicPosition> : PlainIn<EBasicPosition, uint32_t> {};
template <>
struct ClientArg<EState> : PlainIn<EState, uint32_t> {};
template <>
struct ClientArg<ECommand> : PlainIn<ECommand, uint32_t> {};
template <>
struct ClientArg<EEncoderType> : PlainIn<EEncoderType, uint32_t> {};

template <>
struct ClientArg<BSTR> {
    using Wire = std::string;
    static constexpr bool kOut = false;
    static HRESULT ToWire(const ProxyContext&, BSTR value, Wire& wire) {
        wire = WireText::FromBstr(value);
        return S_OK;
    }
};

template <>
struct ClientArg<GUID> {
    using Wire = std::string;
    static constexpr bool kOut = false;
    static HRESULT ToWire(const ProxyContext&, const GUID& value, Wire& wire) {
        wire = WireText::FromGuid(value);
        return S_OK;
    }
};

template <>
struct ClientArg<ISong*> {
    using Wire = sdbus::ObjectPath;
    static constexpr bool kOut = false;
    static HRESULT ToWire(const ProxyContext& ctx, ISong* value, Wire& wire) { return PathOfRemote(ctx, value, &wire); }
};

// The cache never crosses the bus: only a null pointer can be sent.
template <>
struct ClientArg<ICache*> {
    using Wire = sdbus::ObjectPath;
    static constexpr bool kOut = false;
    static HRESULT ToWire(const ProxyContext&, ICache* value, Wire& wire) {
        wire = sdbus::ObjectPath(kNullPath);
        return value ? E_INVALIDARG : S_OK;
    }
};

// An array of songs handed in (proxies of the same service).
template <>
struct ClientArg<VARIANT> {
    using Wire = std::vector<sdbus::ObjectPath>;
    static constexpr bool kOut = false;
    static HRESULT ToWire(const ProxyContext& ctx, const VARIANT& value, Wire& wire) {
        std::vector<IUnknown*> objects;
        HRESULT hr = plat::ReadUnknownArray(value, &objects);
        if (FAILED(hr)) return E_INVALIDARG;
        wire.clear();
        wire.reserve(objects.size());
        for (IUnknown* obj : objects) {
            sdbus::ObjectPath path;
            if (SUCCEEDED(hr)) hr = PathOfRemote(ctx, obj, &path);
            if (SUCCEEDED(hr)) wire.push_back(std::move(path));
            if (obj) obj->Release();
        }
        return hr;
    }
};

// --- out --------------------------------------------------------------------

template <class Native>
struct PlainOut {
    using Wire = Native;
    using Pending = Native;
    static constexpr bool kOut = true;
    static HRESULT Prepare(const ProxyContext&, HRESULT, Wire& wire, Pending& pending) {
        pending = wire;
        return S_OK;
    }
    static void Commit(Native* out, Pending& pending) { *out = pending; }
    static void Clear(Native*) {}  // left as the caller set it
};

template <>
struct ClientArg<uint32_t*> : PlainOut<uint32_t> {};
template <>
struct ClientArg<int32_t*> : PlainOut<int32_t> {};
template <>
struct ClientArg<uint8_t*> : PlainOut<uint8_t> {};

template <>
struct ClientArg<GUID*> {
    using Wire = std::string;
    using Pending = GUID;
    static constexpr bool kOut = true;
    static HRESULT Prepare(const ProxyContext&, HRESULT, Wire& wire, Pending& pending) {
        return WireText::ToGuid(wire, &pending) ? S_OK : E_UNEXPECTED;
    }
    static void Commit(GUID* out, Pending& pending) { *out = pending; }
    static void Clear(GUID*) {}
};

// The bus has no null string: an empty text with a partial success (S_FALSE,
// "nothing more") is the null string that answer carries in-process.
template <>
struct ClientArg<BSTR*> {
    using Wire = std::string;
    using Pending = plat::Bstr;
    static constexpr bool kOut = true;
    static HRESULT Prepare(const ProxyContext&, HRESULT hr, Wire& wire, Pending& pending) {
        if (hr != S_OK && wire.empty()) return S_OK;
        pending.Attach(plat::BstrFromUtf8(wire));
        return pending.IsNull() ? E_OUTOFMEMORY : S_OK;
    }
    static void Commit(BSTR* out, Pending& pending) { *out = pending.Detach(); }
    static void Clear(BSTR* out) { *out = nullptr; }
};

template <class Itf, ObjectKind kind>
struct ObjectOut {
    using Wire = sdbus::ObjectPath;
    using Pending = plat::ComPtr<Itf>;
    static constexpr bool kOut = true;
    static HRESULT Prepare(const ProxyContext& ctx, HRESULT, Wire& wire, Pending& pending) {
        if (wire == kNullPath) return S_OK;
        return ProxyFactory::Create(ctx.connection, ctx.service, wire, kind, plat::IidOf<Itf>(),
                                    reinterpret_cast<void**>(pending.ReleaseAndGetAddressOf()));
    }
    static void Commit(Itf** out, Pending& pending) { *out = pending.Detach(); }
    static void Clear(Itf** out) { *out = nullptr; }
};

template <>
struct ClientArg<ISong**> : ObjectOut<ISong, ObjectKind::Song> {};
template <>
struct ClientArg<ID3**> : ObjectOut<ID3, ObjectKind::Tag> {};
template <>
struct ClientArg<IAudioEncoder**> : ObjectOut<IAudioEncoder, ObjectKind::Encoder> {};

// A VARIANT that clears itself, for an answer not yet handed over.
struct PendingVariant {
    VARIANT v;
    PendingVariant() { VariantInit(&v); }
    ~PendingVariant() { VariantClear(&v); }
    PendingVariant(const PendingVariant&) = delete;
    PendingVariant& operator=(const PendingVariant&) = delete;
};

template <>
struct ClientArg<VARIANT*> {
    using Pending = PendingVariant;
    static constexpr bool kOut = true;

    static HRESULT Prepare(const ProxyContext&, HRESULT, std::vector<std::string>& wire, Pending& pending) {
        std::vector<std::u16string> texts;
        texts.reserve(wire.size());
        for (const std::string& text : wire) texts.push_back(plat::ToUtf16(text));
        return plat::MakeStringArray(texts, &pending.v);
    }

    static HRESULT Prepare(const ProxyContext& ctx, HRESULT, std::vector<sdbus::ObjectPath>& wire, Pending& pending) {
        // Every path counts one reference for this connection: each becomes a
        // proxy, or is given back when that cannot be done.
        std::vector<plat::ComPtr<IUnknown>> objects;
        HRESULT hr = S_OK;
        for (const sdbus::ObjectPath& path : wire) {
            plat::ComPtr<IUnknown> obj;
            ObjectKind kind;
            if (path == kNullPath) {
                // stays null
            } else if (SUCCEEDED(hr) && KindOfPath(path, &kind)) {
                hr = ProxyFactory::Create(ctx.connection, ctx.service, path, kind, IID_IUnknown,
                                          reinterpret_cast<void**>(obj.GetAddressOf()));
            } else {
                if (SUCCEEDED(hr)) hr = E_UNEXPECTED;
                ProxyFactory::GiveBack(ctx.connection, ctx.service, path);
            }
            objects.push_back(obj);
        }
        if (FAILED(hr)) return hr;
        std::vector<IUnknown*> raw;
        raw.reserve(objects.size());
        for (auto& obj : objects) raw.push_back(obj.Get());
        return plat::MakeUnknownArray(raw, &pending.v);
    }

    static void Commit(VARIANT* out, Pending& pending) {
        *out = pending.v;
        VariantInit(&pending.v);
    }
    static void Clear(VARIANT* out) { VariantInit(out); }
};

}  // namespace ipc
