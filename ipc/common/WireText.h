#pragma once
// Text and GUIDs as they travel on the bus: UTF-8 strings, GUIDs in their
// registry form. Text coming from the bus is bounded before it becomes a BSTR.
#include <string>

#include "platform/com/Bstr.h"
#include "platform/com/Guid.h"

namespace ipc {

class WireText {
public:
    // The longest text accepted from the bus for one BSTR argument, in bytes
    // (far above any path, device name or tag the engine keeps).
    static constexpr size_t kMaxTextBytes = 64 * 1024;

    // A BSTR as bus text (null and empty both give "").
    static std::string FromBstr(BSTR text);
    // Bus text as a new BSTR in *out. E_INVALIDARG when it is longer than
    // kMaxTextBytes, E_OUTOFMEMORY when no string can be had.
    static HRESULT ToBstr(const std::string& text, plat::Bstr* out);

    // A GUID as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
    static std::string FromGuid(const GUID& guid);
    // False for anything but a GUID in registry form (braces optional).
    static bool ToGuid(const std::string& text, GUID* guid);
};

}  // namespace ipc
