#pragma once
// One enumerated sound device, and the one enumeration callback that fills
// both the playback and the capture device lists.
#include <string>
#include <vector>

#include "platform/com/Guid.h"

struct SDevInfo {
    std::u16string strDescription;
    // A copy of the identifier: the enumeration's own is gone once it ends.
    GUID guid = GUID_NULL;
};

// Context: a std::vector<SDevInfo>. Skips the primary entry (no GUID) and
// appends every other device; always goes on.
BOOL DevEnumCallback(const GUID* pGuid, const char16_t* description, const char16_t* module, void* context);
