#pragma once
// GUIDs: 16 bytes in the registry text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#include <cstring>
#include <string>
#include <string_view>

#include "platform/core/HResult.h"

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFGUID = const GUID&;
using REFCLSID = const CLSID&;

inline bool operator==(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }
inline bool operator<(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }
inline bool IsEqualGUID(const GUID& a, const GUID& b) { return a == b; }

inline constexpr GUID GUID_NULL{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

namespace plat {

// The registry form in upper case with braces.
std::u16string GuidToString(const GUID& guid);
std::string GuidToUtf8(const GUID& guid);
// The 32 hex digits without braces or hyphens (for names that allow no punctuation).
std::string GuidToHex(const GUID& guid);
// Parses the registry form (braces optional, either case). False on anything else.
bool GuidFromString(std::u16string_view text, GUID* guid);
bool GuidFromString(std::string_view text, GUID* guid);
// A new random (version 4) GUID. E_FAIL when no random source answers.
HRESULT CreateGuid(GUID* guid);

// The little-endian 16-byte form in which GUIDs are stored.
void GuidToBytes(const GUID& guid, uint8_t out[16]);
GUID GuidFromBytes(const uint8_t in[16]);

}  // namespace plat
