#pragma once
// How each parameter type of the contract is taken from the bus (in) or put
// back on it (out) by the service. Every value that comes from the bus is
// checked here before the engine sees it: text length, GUID form, enumeration
// range, object paths. A value that fails gives the call's HRESULT
// (E_INVALIDARG, or E_POINTER for a null object) without calling the object.
//
// Each Arg<P> names its bus type as Wire, so that a parameter whose bus type
// does not match the interface declaration fails to compile.
#include <string>
#include <type_traits>
#include <vector>

#include <sdbus-c++/Types.h>

#include "ipc/QXServiceLib.h"
#include "ipc/common/Names.h"
#include "ipc/common/ObjectKind.h"
#include "ipc/common/WireText.h"
#include "ipc/service/CallContext.h"
#include "ipc/service/ObjectTable.h"
#include "platform/com/ComPtr.h"
#include "platform/core/Text.h"

namespace ipc {

// The most objects one array argument may carry.
inline constexpr size_t kMaxArrayObjects = 65536;

template <class P>
struct Arg;

// --- in parameters ----------------------------------------------------------

template <class Native>
struct ScalarIn {
    using Wire = Native;
    static constexpr bool kOut = false;
    Native value{};
    HRESULT Set(CallContext&, const Wire& wire) {
        value = wire;
        return S_OK;
    }
    Native Get() const { return value; }
};

template <>
struct Arg<uint32_t> : ScalarIn<uint32_t> {};
template <>
struct Arg<int32_t> : ScalarIn<int32_t> {};
template <>
struct Arg<int64_t> : ScalarIn<int64_t> {};
template <>
struct Arg<uint64_t> : ScalarIn<uint64_t> {};

// An enumeration: accepted when no bit lies outside validMask and the value
// is at most maxValue.
template <class E, uint32_t maxValue, uint32_t validMask = 0xFFFFFFFFu>
struct EnumIn {
    using Wire = uint32_t;
    static constexpr bool kOut = false;
    E value{};
    HRESULT Set(CallContext&, const Wire& wire) {
        if (wire > maxValue || (wire & ~validMask) != 0) return E_INVALIDARG;
        value = static_cast<E>(wire);
        return S_OK;
    }
    E Get() const { return value; }
};

template <>
struct Arg<EBasicPosition> : EnumIn<EBasicPosition, posCurrent> {};
template <>
struct Arg<EEncoderType> : EnumIn<EEncoderType, eAAC> {};
// Flag sets: any combination of the defined flags.
template <>
struct Arg<EState> : EnumIn<EState, 0xFFu, 0xFFu> {};
template <>
struct Arg<ECommand> : EnumIn<ECommand, 0x7Fu, 0x7Fu> {};

template <>
struct Arg<BSTR> {
    using Wire = std::string;
    static constexpr bool kOut = false;
    plat::Bstr text;
    HRESULT Set(CallContext&, const Wire& wire) { return WireText::ToBstr(wire, &text); }
    BSTR Get() const { return text.Get(); }
};

template <>
struct Arg<GUID> {
    using Wire = std::string;
    static constexpr bool kOut = false;
    GUID guid = GUID_NULL;
    HRESULT Set(CallContext&, const Wire& wire) { return WireText::ToGuid(wire, &guid) ? S_OK : E_INVALIDARG; }
    GUID Get() const { return guid; }
};

// An object handed in by path: it must be one that this service exported.
template <>
struct Arg<ISong*> {
    using Wire = sdbus::ObjectPath;
    static constexpr bool kOut = false;
    plat::ComPtr<ISong> song;
    HRESULT Set(CallContext& ctx, const Wire& wire) {
        if (wire == kNullPath) return E_POINTER;
        plat::ComPtr<IUnknown> obj = ctx.table.Resolve(wire);
        if (!obj) return E_INVALIDARG;
        if (FAILED(obj->QueryInterface(IID_ISong, reinterpret_cast<void**>(song.ReleaseAndGetAddressOf()))))
            return E_INVALIDARG;
        return S_OK;
    }
    ISong* Get() const { return song.Get(); }
};

// The cache never leaves the service, so no path can name one: only the null
// pointer passes (and the object answers it).
template <>
struct Arg<ICache*> {
    using Wire = sdbus::ObjectPath;
    static constexpr bool kOut = false;
    HRESULT Set(CallContext&, const Wire& wire) { return wire == kNullPath ? S_OK : E_INVALIDARG; }
    ICache* Get() const { return nullptr; }
};

// An array of objects (a group of songs) handed in by their paths.
template <>
struct Arg<VARIANT> {
    using Wire = std::vector<sdbus::ObjectPath>;
    static constexpr bool kOut = false;
    plat::Variant array;
    HRESULT Set(CallContext& ctx, const Wire& wire) {
        if (wire.size() > kMaxArrayObjects) return E_INVALIDARG;
        std::vector<plat::ComPtr<IUnknown>> objects;
        objects.reserve(wire.size());
        for (const sdbus::ObjectPath& path : wire) {
            if (path == kNullPath) return E_POINTER;
            plat::ComPtr<IUnknown> obj = ctx.table.Resolve(path);
            if (!obj) return E_INVALIDARG;
            objects.push_back(obj);
        }
        std::vector<IUnknown*> raw;
        raw.reserve(objects.size());
        for (auto& obj : objects) raw.push_back(obj.Get());
        return plat::MakeUnknownArray(raw, &array);
    }
    VARIANT Get() const { return array.Get(); }
};

// --- out parameters ---------------------------------------------------------

template <class Native>
struct ScalarOut {
    using Wire = Native;
    static constexpr bool kOut = true;
    Native value{};
    Native* Get() { return &value; }
    HRESULT Put(CallContext&, Wire& wire) {
        wire = value;
        return S_OK;
    }
};

template <>
struct Arg<uint32_t*> : ScalarOut<uint32_t> {};
template <>
struct Arg<int32_t*> : ScalarOut<int32_t> {};
template <>
struct Arg<uint8_t*> : ScalarOut<uint8_t> {};

template <>
struct Arg<BSTR*> {
    using Wire = std::string;
    static constexpr bool kOut = true;
    plat::Bstr text;
    BSTR* Get() { return text.Out(); }
    HRESULT Put(CallContext&, Wire& wire) {
        wire = WireText::FromBstr(text.Get());
        return S_OK;
    }
};

template <>
struct Arg<GUID*> {
    using Wire = std::string;
    static constexpr bool kOut = true;
    GUID guid = GUID_NULL;
    GUID* Get() { return &guid; }
    HRESULT Put(CallContext&, Wire& wire) {
        wire = WireText::FromGuid(guid);
        return S_OK;
    }
};

// An object given out: exported on demand, one reference counted for the caller.
template <class Itf, ObjectKind kind>
struct ObjectOut {
    using Wire = sdbus::ObjectPath;
    static constexpr bool kOut = true;
    Itf* object = nullptr;
    ObjectOut() = default;
    ObjectOut(const ObjectOut&) = delete;
    ObjectOut& operator=(const ObjectOut&) = delete;
    ~ObjectOut() {
        if (object) object->Release();
    }
    Itf** Get() { return &object; }
    HRESULT Put(CallContext& ctx, Wire& wire) {
        wire = sdbus::ObjectPath(kNullPath);
        if (!object) return S_OK;
        std::string path;
        HRESULT hr = ctx.table.HandOut(kind, object, ctx.caller, ctx.selfPath, &path);
        if (SUCCEEDED(hr)) wire = sdbus::ObjectPath(path);
        return hr;
    }
};

template <>
struct Arg<ISong**> : ObjectOut<ISong, ObjectKind::Song> {};
template <>
struct Arg<ID3**> : ObjectOut<ID3, ObjectKind::Tag> {};
template <>
struct Arg<IAudioEncoder**> : ObjectOut<IAudioEncoder, ObjectKind::Encoder> {};

// An array of strings (as) or of objects (ao), as the method's answer says.
template <>
struct Arg<VARIANT*> {
    using Wire = void;  // either form
    static constexpr bool kOut = true;
    plat::Variant array;
    VARIANT* Get() { return &array; }

    HRESULT Put(CallContext&, std::vector<std::string>& wire) {
        wire.clear();
        if (array.Get().vt == VT_EMPTY) return S_OK;
        std::vector<std::u16string> texts;
        HRESULT hr = plat::ReadStringArray(array.Get(), &texts);
        if (FAILED(hr)) return hr;
        wire.reserve(texts.size());
        for (const auto& text : texts) wire.push_back(plat::ToUtf8(text));
        return S_OK;
    }

    HRESULT Put(CallContext& ctx, std::vector<sdbus::ObjectPath>& wire) {
        wire.clear();
        if (array.Get().vt == VT_EMPTY) return S_OK;
        std::vector<IUnknown*> objects;
        HRESULT hr = plat::ReadUnknownArray(array.Get(), &objects);
        if (FAILED(hr)) return hr;
        std::vector<std::string> handed;
        for (IUnknown* obj : objects) {
            if (SUCCEEDED(hr)) {
                std::string path = kNullPath;
                if (obj) hr = HandOutAny(ctx, obj, &path);
                if (SUCCEEDED(hr)) {
                    handed.push_back(path);
                    wire.emplace_back(path);
                }
            }
            if (obj) obj->Release();
        }
        if (FAILED(hr)) {
            // All or nothing: what was counted for the caller is given back.
            for (const std::string& path : handed)
                if (path != kNullPath) ctx.table.Release(path, ctx.caller);
            wire.clear();
        }
        return hr;
    }

private:
    static HRESULT HandOutAny(CallContext& ctx, IUnknown* obj, std::string* path) {
        for (ObjectKind kind : kAllObjectKinds) {
            plat::ComPtr<IUnknown> typed;
            if (SUCCEEDED(obj->QueryInterface(IidOfKind(kind), reinterpret_cast<void**>(typed.GetAddressOf()))))
                return ctx.table.HandOut(kind, typed.Get(), ctx.caller, ctx.selfPath, path);
        }
        return E_NOINTERFACE;
    }
};

}  // namespace ipc
