#include "log/KStr.h"

#include <cstring>

#include "platform/core/SystemMessage.h"
#include "platform/core/Text.h"

// The C locale is not touched here: conversions are UTF-8 <-> UTF-16 and do not
// depend on it, so holders may be built on any thread at any time.
KStr::KStr() = default;

KStr::KStr(const char16_t* text) { Assign(text); }

KStr::~KStr() { Free(); }

KStr::KStr(const KStr& other) { Assign(other.m_text.get()); }

KStr& KStr::operator=(const KStr& other) {
    if (this != &other) {
        std::u16string copy = other.Str();
        if (other.m_text) AssignView(copy);
        else Free();
    }
    return *this;
}

void KStr::AssignView(std::u16string_view text) {
    // Room for two more characters than the text needs, as callers expect.
    auto buf = std::make_unique<char16_t[]>(text.size() + 3);
    std::memcpy(buf.get(), text.data(), text.size() * sizeof(char16_t));
    buf[text.size()] = 0;
    m_text = std::move(buf);
    m_count = static_cast<DWORD>(text.size() + 1);
}

void KStr::Assign(const char16_t* text) {
    if (!text) {
        m_text.reset();
        m_count = 1;
        return;
    }
    AssignView(std::u16string_view(text));
}

void KStr::Append(const char* text) {
    if (!text) return;
    // The count grows by the characters the conversion produced, not by the
    // bytes of the 8-bit text, so multi-byte texts keep the count right.
    AssignView(Str() + plat::ToUtf16(text));
}

const char16_t* KStr::GetBuffer() {
    std::u16string t = Str();
    m_handedOut = std::make_unique<char16_t[]>(m_count + 10);
    std::memcpy(m_handedOut.get(), t.data(), t.size() * sizeof(char16_t));
    m_handedOut[t.size()] = 0;
    return m_handedOut.get();
}

int KStr::LoadString(const StringResources& module, UINT id) {
    auto it = module.find(id);
    if (it == module.end()) {
        Assign(u"");
        return 0;
    }
    std::u16string text = it->second.substr(0, 999);
    AssignView(text);
    return static_cast<int>(text.size());
}

void KStr::FromHResult(LONG code) {
    HRESULT id = code <= 0 ? code : HRESULT_FROM_WIN32(static_cast<uint32_t>(code));
    std::u16string text;
    if (!plat::FormatSystemMessage(id, &text))
        text = plat::WFormat(u"0x%x", static_cast<unsigned>(code));
    AssignView(text.substr(0, 1023));
}

void KStr::Free() {
    m_text.reset();
    m_handedOut.reset();
    m_count = 1;
}
