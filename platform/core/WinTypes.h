#pragma once
// Fixed-width stand-ins for the Windows scalar types the engine's data and
// interfaces are defined with. Widths matter: stored records and the contract
// across processes depend on 32-bit "long" values.
#include <cstddef>
#include <cstdint>

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using UINT = uint32_t;
using INT = int32_t;
using BOOL = int32_t;
using SHORT = int16_t;
using USHORT = uint16_t;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;
using HRESULT = int32_t;
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using VARIANT_BOOL = int16_t;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// A rectangle: left, top, right, bottom as signed 32-bit numbers (stored
// records depend on this 16-byte layout).
struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;
inline constexpr DWORD INFINITE = 0xFFFFFFFFu;
