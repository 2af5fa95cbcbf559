#include "platform/com/Guid.h"

#include <sys/random.h>

#include <cstdio>

#include "platform/core/Text.h"

namespace plat {

std::string GuidToUtf8(const GUID& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

std::u16string GuidToString(const GUID& guid) { return ToUtf16(GuidToUtf8(guid)); }

std::string GuidToHex(const GUID& guid) {
    std::string s;
    for (char c : GuidToUtf8(guid))
        if (c != '{' && c != '}' && c != '-') s.push_back(c);
    return s;
}

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ReadHex(std::string_view t, size_t& i, int digits, uint64_t& out) {
    out = 0;
    for (int k = 0; k < digits; ++k) {
        if (i >= t.size()) return false;
        int v = HexValue(t[i++]);
        if (v < 0) return false;
        out = (out << 4) | static_cast<uint64_t>(v);
    }
    return true;
}

bool Expect(std::string_view t, size_t& i, char c) {
    if (i >= t.size() || t[i] != c) return false;
    ++i;
    return true;
}

}  // namespace

bool GuidFromString(std::string_view t, GUID* guid) {
    bool braces = !t.empty() && t.front() == '{';
    if (braces) {
        if (t.size() != 38 || t.back() != '}') return false;
        t = t.substr(1, 36);
    } else if (t.size() != 36) {
        return false;
    }
    size_t i = 0;
    uint64_t v;
    GUID g{};
    if (!ReadHex(t, i, 8, v)) return false;
    g.Data1 = static_cast<uint32_t>(v);
    if (!Expect(t, i, '-') || !ReadHex(t, i, 4, v)) return false;
    g.Data2 = static_cast<uint16_t>(v);
    if (!Expect(t, i, '-') || !ReadHex(t, i, 4, v)) return false;
    g.Data3 = static_cast<uint16_t>(v);
    if (!Expect(t, i, '-')) return false;
    for (int k = 0; k < 8; ++k) {
        if (k == 2 && !Expect(t, i, '-')) return false;
        if (!ReadHex(t, i, 2, v)) return false;
        g.Data4[k] = static_cast<uint8_t>(v);
    }
    if (i != t.size()) return false;
    if (guid) *guid = g;
    return true;
}

bool GuidFromString(std::u16string_view text, GUID* guid) {
    for (char16_t c : text)
        if (c > 0x7F) return false;
    return GuidFromString(ToUtf8(text), guid);
}

HRESULT CreateGuid(GUID* guid) {
    if (!guid) return E_POINTER;
    uint8_t b[16];
    size_t got = 0;
    while (got < sizeof b) {
        ssize_t r = ::getrandom(b + got, sizeof b - got, 0);
        if (r <= 0) return E_FAIL;
        got += static_cast<size_t>(r);
    }
    b[6] = static_cast<uint8_t>((b[6] & 0x0F) | 0x40);  // version 4
    b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80);  // variant 1
    GUID g;
    g.Data1 = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
    g.Data2 = static_cast<uint16_t>((b[4] << 8) | b[5]);
    g.Data3 = static_cast<uint16_t>((b[6] << 8) | b[7]);
    std::memcpy(g.Data4, b + 8, 8);
    *guid = g;
    return S_OK;
}

void GuidToBytes(const GUID& g, uint8_t out[16]) {
    out[0] = static_cast<uint8_t>(g.Data1);
    out[1] = static_cast<uint8_t>(g.Data1 >> 8);
    out[2] = static_cast<uint8_t>(g.Data1 >> 16);
    out[3] = static_cast<uint8_t>(g.Data1 >> 24);
    out[4] = static_cast<uint8_t>(g.Data2);
    out[5] = static_cast<uint8_t>(g.Data2 >> 8);
    out[6] = static_cast<uint8_t>(g.Data3);
    out[7] = static_cast<uint8_t>(g.Data3 >> 8);
    std::memcpy(out + 8, g.Data4, 8);
}

GUID GuidFromBytes(const uint8_t in[16]) {
    GUID g;
    g.Data1 = uint32_t(in[0]) | (uint32_t(in[1]) << 8) | (uint32_t(in[2]) << 16) | (uint32_t(in[3]) << 24);
    g.Data2 = static_cast<uint16_t>(in[4] | (in[5] << 8));
    g.Data3 = static_cast<uint16_t>(in[6] | (in[7] << 8));
    std::memcpy(g.Data4, in + 8, 8);
    return g;
}

}  // namespace plat
