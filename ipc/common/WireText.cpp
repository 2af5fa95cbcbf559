#include "ipc/common/WireText.h"

#include "platform/core/Text.h"

namespace ipc {

std::string WireText::FromBstr(BSTR text) {
    if (!text) return std::string();
    return plat::ToUtf8(std::u16string_view(text, SysStringLen(text)));
}

HRESULT WireText::ToBstr(const std::string& text, plat::Bstr* out) {
    if (text.size() > kMaxTextBytes) return E_INVALIDARG;
    out->Attach(plat::BstrFromUtf8(text));
    return out->IsNull() ? E_OUTOFMEMORY : S_OK;
}

std::string WireText::FromGuid(const GUID& guid) { return plat::GuidToUtf8(guid); }

bool WireText::ToGuid(const std::string& text, GUID* guid) {
    // The registry form is 38 characters; anything much longer is not a GUID.
    if (text.size() > 64) return false;
    return plat::GuidFromString(std::string_view(text), guid);
}

}  // namespace ipc
