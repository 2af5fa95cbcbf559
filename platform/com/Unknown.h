#pragma once
// The root of every engine interface: reference counting and interface lookup.
#include "platform/com/Guid.h"

// {00000000-0000-0000-C000-000000000046}
inline constexpr IID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct IUnknown {
    static constexpr const IID& kIID = IID_IUnknown;
    virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

namespace plat {

// The IID of an interface type (each declares a static kIID).
template <class T>
constexpr const IID& IidOf() {
    return T::kIID;
}

}  // namespace plat
