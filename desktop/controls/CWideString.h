#pragma once
// A wide-character text with its length, and a narrow copy made on request.
#include <QString>

#include <cstddef>
#include <string>
#include <utility>

class CWideString {
public:
    CWideString() = default;
    explicit CWideString(std::u16string text) : m_text(std::move(text)) {}
    CWideString& operator=(const std::u16string& text) {
        m_text = text;
        return *this;
    }
    const std::u16string& Wide() const { return m_text; }
    size_t Length() const { return m_text.size(); }
    bool IsEmpty() const { return m_text.empty(); }
    // The UTF-8 copy, sized by the converter (a unit may take up to 3 bytes).
    std::string Narrow() const;
    QString ToQString() const { return QString::fromStdU16String(m_text); }

private:
    std::u16string m_text;
};
