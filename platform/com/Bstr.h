#pragma once
// Automation strings: length-prefixed UTF-16 text, zero-terminated, which may
// hold embedded zeros. A null BSTR is distinct from an empty one, but both
// have length 0.
#include <string>
#include <string_view>
#include <utility>

#include "platform/core/WinTypes.h"

using BSTR = OLECHAR*;

BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);  // text may be null: zero-filled
BSTR SysAllocStringByteLen(const char* bytes, UINT byteLength);
void SysFreeString(BSTR s);
UINT SysStringLen(BSTR s);
UINT SysStringByteLen(BSTR s);
// Replaces *target by a copy of text (null text gives null); FALSE when memory runs out.
BOOL SysReAllocString(BSTR* target, const OLECHAR* text);

namespace plat {

BSTR BstrFromU16(std::u16string_view text);
BSTR BstrFromUtf8(std::string_view text);
std::u16string BstrToU16(BSTR s);  // null gives ""
std::string BstrToUtf8(BSTR s);

// Owns one BSTR.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const OLECHAR* text) : m_s(text ? SysAllocString(text) : nullptr) {}
    explicit Bstr(std::u16string_view text) : m_s(BstrFromU16(text)) {}
    Bstr(const Bstr& o) : m_s(o.m_s ? SysAllocStringLen(o.m_s, SysStringLen(o.m_s)) : nullptr) {}
    Bstr(Bstr&& o) noexcept : m_s(std::exchange(o.m_s, nullptr)) {}
    ~Bstr() { SysFreeString(m_s); }
    Bstr& operator=(Bstr o) noexcept {
        std::swap(m_s, o.m_s);
        return *this;
    }

    BSTR Get() const { return m_s; }
    operator BSTR() const { return m_s; }
    bool IsNull() const { return m_s == nullptr; }
    UINT Length() const { return SysStringLen(m_s); }
    std::u16string Str() const { return BstrToU16(m_s); }
    std::string Utf8() const { return BstrToUtf8(m_s); }

    void Attach(BSTR s) {
        SysFreeString(m_s);
        m_s = s;
    }
    BSTR Detach() { return std::exchange(m_s, nullptr); }
    // For out-parameters: frees what is held and returns the slot.
    BSTR* Out() {
        Attach(nullptr);
        return &m_s;
    }
    // A new copy for the caller to free (null stays null).
    BSTR Copy() const { return m_s ? SysAllocStringLen(m_s, SysStringLen(m_s)) : nullptr; }

private:
    BSTR m_s = nullptr;
};

}  // namespace plat
