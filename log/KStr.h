#pragma once
// A small owning holder of one wide text, with the system's message lookup.
#include <map>
#include <memory>
#include <string>

#include "platform/core/HResult.h"

// A program's string resources, looked up by id.
using StringResources = std::map<UINT, std::u16string>;

class KStr {
public:
    KStr();
    explicit KStr(const char16_t* text);
    ~KStr();
    KStr(const KStr& other);
    KStr& operator=(const KStr& other);

    // Replaces the text; null leaves the holder empty.
    void Assign(const char16_t* text);
    // Appends an 8-bit (UTF-8) text; null changes nothing.
    void Append(const char* text);
    // A copy of the text owned by the holder, valid until the next call or the
    // holder's end; never null (an empty holder gives "").
    const char16_t* GetBuffer();
    // Loads a string resource (at most 1000 characters); returns its length,
    // 0 when the resource does not exist.
    int LoadString(const StringResources& module, UINT id);
    // Replaces the text by the system's message for a code: a positive code is
    // a Win32 error number, anything else an HRESULT; "0x..." when none.
    void FromHResult(LONG code);
    void Free();

    // Characters of the text including its terminating zero (1 when empty).
    DWORD Count() const { return m_count; }
    std::u16string Str() const { return m_text ? std::u16string(m_text.get()) : std::u16string(); }

private:
    void AssignView(std::u16string_view text);

    std::unique_ptr<char16_t[]> m_text;
    std::unique_ptr<char16_t[]> m_handedOut;
    DWORD m_count = 1;
};
