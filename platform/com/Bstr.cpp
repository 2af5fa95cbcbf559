#include "platform/com/Bstr.h"

#include <cstdlib>
#include <cstring>

#include "platform/core/Text.h"

namespace {

// Layout: a 32-bit byte count, the text, two zero bytes.
BSTR AllocBytes(const void* data, UINT byteLength) {
    if (byteLength > 0x7FFFFFF0u) return nullptr;
    char* block = static_cast<char*>(std::malloc(sizeof(uint32_t) + byteLength + sizeof(OLECHAR) + 1));
    if (!block) return nullptr;
    uint32_t len = byteLength;
    std::memcpy(block, &len, sizeof len);
    char* body = block + sizeof(uint32_t);
    if (data) std::memcpy(body, data, byteLength);
    else std::memset(body, 0, byteLength);
    std::memset(body + byteLength, 0, sizeof(OLECHAR) + 1);
    return reinterpret_cast<BSTR>(body);
}

char* BlockOf(BSTR s) { return reinterpret_cast<char*>(s) - sizeof(uint32_t); }

}  // namespace

BSTR SysAllocString(const OLECHAR* text) {
    if (!text) return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(plat::WLen(text)));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    if (length > 0x3FFFFFF0u) return nullptr;
    return AllocBytes(text, length * static_cast<UINT>(sizeof(OLECHAR)));
}

BSTR SysAllocStringByteLen(const char* bytes, UINT byteLength) { return AllocBytes(bytes, byteLength); }

void SysFreeString(BSTR s) {
    if (s) std::free(BlockOf(s));
}

UINT SysStringByteLen(BSTR s) {
    if (!s) return 0;
    uint32_t len;
    std::memcpy(&len, BlockOf(s), sizeof len);
    return len;
}

UINT SysStringLen(BSTR s) { return SysStringByteLen(s) / static_cast<UINT>(sizeof(OLECHAR)); }

BOOL SysReAllocString(BSTR* target, const OLECHAR* text) {
    if (!target) return FALSE;
    BSTR fresh = nullptr;
    if (text) {
        fresh = SysAllocString(text);
        if (!fresh) return FALSE;
    }
    SysFreeString(*target);
    *target = fresh;
    return TRUE;
}

namespace plat {

BSTR BstrFromU16(std::u16string_view text) {
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

BSTR BstrFromUtf8(std::string_view text) { return BstrFromU16(ToUtf16(text)); }

std::u16string BstrToU16(BSTR s) { return s ? std::u16string(s, SysStringLen(s)) : std::u16string(); }

std::string BstrToUtf8(BSTR s) { return ToUtf8(BstrToU16(s)); }

}  // namespace plat
