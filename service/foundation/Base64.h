#pragma once
// The text form of stored numbers: standard Base64 (A-Z a-z 0-9 + /, "="
// padding, no line breaks), carried in wide text unit by unit.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ser {

std::u16string Base64Encode(const void* bytes, size_t size);

// Decodes text: characters outside the alphabet (padding, blanks, line
// breaks, anything beyond ASCII) are skipped; decoding stops at the end of
// the text or at a zero unit. Four characters give three bytes, a final
// group of two or three characters one or two bytes. The first `capacity`
// decoded bytes go to out; the return value is the count of all decoded
// bytes, which may exceed capacity.
size_t Base64Decode(std::u16string_view text, uint8_t* out, size_t capacity);

}  // namespace ser
