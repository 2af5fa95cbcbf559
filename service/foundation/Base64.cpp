#include "service/foundation/Base64.h"

namespace ser {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Sextet(char16_t c) {
    if (c >= u'A' && c <= u'Z') return c - u'A';
    if (c >= u'a' && c <= u'z') return c - u'a' + 26;
    if (c >= u'0' && c <= u'9') return c - u'0' + 52;
    if (c == u'+') return 62;
    if (c == u'/') return 63;
    return -1;
}

}  // namespace

std::u16string Base64Encode(const void* bytes, size_t size) {
    const auto* p = static_cast<const uint8_t*>(bytes);
    std::u16string out;
    out.reserve((size + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        uint32_t v = (uint32_t{p[i]} << 16) | (uint32_t{p[i + 1]} << 8) | p[i + 2];
        out.push_back(static_cast<char16_t>(kAlphabet[(v >> 18) & 63]));
        out.push_back(static_cast<char16_t>(kAlphabet[(v >> 12) & 63]));
        out.push_back(static_cast<char16_t>(kAlphabet[(v >> 6) & 63]));
        out.push_back(static_cast<char16_t>(kAlphabet[v & 63]));
    }
    size_t rest = size - i;
    if (rest > 0) {
        uint32_t v = uint32_t{p[i]} << 16;
        if (rest == 2) v |= uint32_t{p[i + 1]} << 8;
        out.push_back(static_cast<char16_t>(kAlphabet[(v >> 18) & 63]));
        out.push_back(static_cast<char16_t>(kAlphabet[(v >> 12) & 63]));
        out.push_back(rest == 2 ? static_cast<char16_t>(kAlphabet[(v >> 6) & 63]) : u'=');
        out.push_back(u'=');
    }
    return out;
}

size_t Base64Decode(std::u16string_view text, uint8_t* out, size_t capacity) {
    size_t total = 0;
    uint32_t group = 0;
    int chars = 0;
    auto emit = [&](uint8_t b) {
        if (total < capacity) out[total] = b;
        ++total;
    };
    for (char16_t c : text) {
        if (c == 0) break;
        int v = Sextet(c);
        if (v < 0) continue;
        group = (group << 6) | static_cast<uint32_t>(v);
        if (++chars == 4) {
            emit(static_cast<uint8_t>(group >> 16));
            emit(static_cast<uint8_t>(group >> 8));
            emit(static_cast<uint8_t>(group));
            group = 0;
            chars = 0;
        }
    }
    if (chars == 2) {
        emit(static_cast<uint8_t>(group >> 4));
    } else if (chars == 3) {
        emit(static_cast<uint8_t>(group >> 10));
        emit(static_cast<uint8_t>(group >> 2));
    }
    return total;
}

}  // namespace ser
