#include "service/audio/SDevInfo.h"

BOOL DevEnumCallback(const GUID* pGuid, const char16_t* description, const char16_t*, void* context) {
    if (!pGuid || !context) return TRUE;
    auto* list = static_cast<std::vector<SDevInfo>*>(context);
    list->push_back(SDevInfo{description ? std::u16string(description) : std::u16string(), *pGuid});
    return TRUE;
}
