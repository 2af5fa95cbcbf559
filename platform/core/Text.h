#pragma once
// UTF-16 text (the engine's wide text) and its conversion at the boundaries,
// plus a printf-style formatter for char16_t text.
#include <cstdarg>
#include <string>
#include <string_view>

#include "platform/core/WinTypes.h"

namespace plat {

// UTF-16 <-> UTF-8. Invalid sequences become U+FFFD; nothing throws.
std::string ToUtf8(std::u16string_view text);
std::string ToUtf8(const char16_t* text);  // null gives ""
std::u16string ToUtf16(std::string_view text);
std::u16string ToUtf16(const char* text);  // null gives ""

// Length of a zero-terminated wide text (0 for null).
size_t WLen(const char16_t* text);

// printf-style formatting of wide text, with the conventions the engine's
// message texts are written in:
//   %s, %ls   a wide text (const char16_t*; null prints "(null)")
//   %hs, %S   an 8-bit text (const char*)
//   %c        a wide character (passed as int)
//   %d %i %u %x %X %o  32-bit integers; with l (long = 32 bit here) the same;
//   %lld %llu %llx %I64d %I64u %I64x  64-bit integers
//   %p        a pointer: its hex digits in capitals, zero-filled to the
//             pointer's width, no "0x" (texts write "0x%p")
//   %f %g %e  doubles; %%  a percent sign
// Flags - + 0 space #, a width and a precision (also *) are honoured.
// The result is cut to at most maxUnits code units (never overruns); an
// unknown conversion is copied as it stands.
std::u16string WFormat(const char16_t* format, ...);
std::u16string WFormatV(const char16_t* format, va_list args);
std::u16string WFormatN(size_t maxUnits, const char16_t* format, ...);
std::u16string WFormatNV(size_t maxUnits, const char16_t* format, va_list args);

// Counts the conversions of a format that consume arguments, and writes their
// kinds ('s' wide text, 'a' 8-bit text, 'i' integer, 'l' 64-bit integer,
// 'f' double, 'p' pointer, 'c' character) into kinds. Lets callers check that a
// text used as a format takes the arguments they mean to pass.
std::string FormatArgKinds(const char16_t* format);

// Compare ignoring ASCII case.
int WCompareNoCase(std::u16string_view a, std::u16string_view b);

// Decimal number parsing of wide text: leading blanks skipped, optional sign;
// returns false when no digit was found or the number does not fit in 64
// bits (it never wraps).
bool WParseInt(std::u16string_view text, int64_t* value, size_t* used = nullptr);

}  // namespace plat
