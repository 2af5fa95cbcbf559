#include "platform/core/Text.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace plat {

namespace {

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

constexpr char32_t kReplacement = 0xFFFD;

}  // namespace

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
                ++i;
            } else {
                c = kReplacement;
            }
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            c = kReplacement;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::string ToUtf8(const char16_t* text) { return text ? ToUtf8(std::u16string_view(text)) : std::string(); }

std::u16string ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        char32_t cp;
        size_t len;
        if (b < 0x80) {
            cp = b;
            len = 1;
        } else if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F;
            len = 2;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F;
            len = 3;
        } else if ((b & 0xF8) == 0xF0) {
            cp = b & 0x07;
            len = 4;
        } else {
            out.push_back(static_cast<char16_t>(kReplacement));
            ++i;
            continue;
        }
        bool ok = i + len <= n;
        for (size_t k = 1; ok && k < len; ++k) {
            unsigned char cb = static_cast<unsigned char>(text[i + k]);
            if ((cb & 0xC0) != 0x80) ok = false;
            else cp = (cp << 6) | (cb & 0x3F);
        }
        // Reject overlong forms, surrogates and values beyond Unicode.
        if (ok && ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) ||
                   cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
            ok = false;
        if (!ok) {
            out.push_back(static_cast<char16_t>(kReplacement));
            ++i;
            continue;
        }
        AppendUtf16(out, cp);
        i += len;
    }
    return out;
}

std::u16string ToUtf16(const char* text) { return text ? ToUtf16(std::string_view(text)) : std::u16string(); }

size_t WLen(const char16_t* text) {
    if (!text) return 0;
    size_t n = 0;
    while (text[n]) ++n;
    return n;
}

namespace {

struct Spec {
    char flags[8] = {};  // at most one of each of "-+0 #"
    size_t flagCount = 0;
    int width = -1;
    int precision = -1;
    const char* lengthMod = "";  // "", "h", "l", "ll"
    char16_t conv = 0;
};

// Parses one conversion starting after '%'; returns the index after it, or npos
// when the text ends before a conversion character.
size_t ParseSpec(const char16_t* f, size_t i, Spec& s, va_list* args) {
    while (f[i] == u'-' || f[i] == u'+' || f[i] == u'0' || f[i] == u' ' || f[i] == u'#') {
        if (s.flagCount + 1 < sizeof s.flags) s.flags[s.flagCount++] = static_cast<char>(f[i]);
        ++i;
    }
    if (f[i] == u'*') {
        if (args) s.width = va_arg(*args, int);
        else s.width = 0;
        ++i;
    } else {
        while (f[i] >= u'0' && f[i] <= u'9') {
            s.width = (s.width < 0 ? 0 : s.width) * 10 + (f[i] - u'0');
            if (s.width > 100000) s.width = 100000;
            ++i;
        }
    }
    if (f[i] == u'.') {
        ++i;
        s.precision = 0;
        if (f[i] == u'*') {
            if (args) s.precision = va_arg(*args, int);
            ++i;
        } else {
            while (f[i] >= u'0' && f[i] <= u'9') {
                s.precision = s.precision * 10 + (f[i] - u'0');
                if (s.precision > 100000) s.precision = 100000;
                ++i;
            }
        }
    }
    if (f[i] == u'h') {
        s.lengthMod = "h";
        ++i;
        if (f[i] == u'h') ++i;
    } else if (f[i] == u'l') {
        ++i;
        if (f[i] == u'l') {
            s.lengthMod = "ll";
            ++i;
        } else {
            s.lengthMod = "l";
        }
    } else if (f[i] == u'I' && f[i + 1] == u'6' && f[i + 2] == u'4') {
        s.lengthMod = "ll";
        i += 3;
    } else if (f[i] == u'z') {
        s.lengthMod = "ll";
        ++i;
    }
    if (f[i] == 0) return std::u16string::npos;
    s.conv = f[i];
    return i + 1;
}

char KindOf(const Spec& s) {
    switch (s.conv) {
        case u's': return std::strcmp(s.lengthMod, "h") == 0 ? 'a' : 's';
        case u'S': return 'a';
        case u'c':
        case u'C': return 'c';
        case u'd':
        case u'i':
        case u'u':
        case u'x':
        case u'X':
        case u'o': return std::strcmp(s.lengthMod, "ll") == 0 ? 'l' : 'i';
        case u'p': return 'p';
        case u'f':
        case u'F':
        case u'g':
        case u'G':
        case u'e':
        case u'E': return 'f';
        default: return 0;
    }
}

void AppendPadded(std::u16string& out, std::u16string_view body, const Spec& s) {
    size_t width = s.width > 0 ? static_cast<size_t>(s.width) : 0;
    bool left = std::strchr(s.flags, '-') != nullptr;
    if (body.size() >= width) {
        out.append(body);
        return;
    }
    size_t pad = width - body.size();
    if (left) {
        out.append(body);
        out.append(pad, u' ');
    } else {
        out.append(pad, u' ');
        out.append(body);
    }
}

std::string NarrowSpec(const Spec& s, const char* lengthMod, char conv) {
    char buf[64];
    char width[16] = "", precision[16] = "";
    if (s.width >= 0) std::snprintf(width, sizeof width, "%d", s.width);
    if (s.precision >= 0) std::snprintf(precision, sizeof precision, ".%d", s.precision);
    std::snprintf(buf, sizeof buf, "%%%s%s%s%s%c", s.flags, width, precision, lengthMod, conv);
    return buf;
}

template <typename T>
void AppendNumber(std::u16string& out, const Spec& s, const char* lengthMod, T value) {
    std::string f = NarrowSpec(s, lengthMod, static_cast<char>(s.conv));
    int n = std::snprintf(nullptr, 0, f.c_str(), value);
    if (n <= 0) return;
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::snprintf(buf.data(), buf.size(), f.c_str(), value);
    for (int k = 0; k < n; ++k) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(buf[k])));
}

}  // namespace

std::u16string WFormatNV(size_t maxUnits, const char16_t* f, va_list argsIn) {
    std::u16string out;
    if (!f) return out;
    va_list args;
    va_copy(args, argsIn);
    size_t i = 0;
    while (f[i] && out.size() < maxUnits) {
        if (f[i] != u'%') {
            out.push_back(f[i++]);
            continue;
        }
        if (f[i + 1] == u'%') {
            out.push_back(u'%');
            i += 2;
            continue;
        }
        Spec s;
        size_t start = i;
        size_t next = ParseSpec(f, i + 1, s, &args);
        if (next == std::u16string::npos) {
            out.append(f + start);
            break;
        }
        i = next;
        switch (KindOf(s)) {
            case 's': {
                const char16_t* t = va_arg(args, const char16_t*);
                std::u16string_view v = t ? std::u16string_view(t) : std::u16string_view(u"(null)");
                if (s.precision >= 0 && static_cast<size_t>(s.precision) < v.size()) v = v.substr(0, s.precision);
                AppendPadded(out, v, s);
                break;
            }
            case 'a': {
                const char* t = va_arg(args, const char*);
                std::u16string w = ToUtf16(t ? t : "(null)");
                std::u16string_view v = w;
                if (s.precision >= 0 && static_cast<size_t>(s.precision) < v.size()) v = v.substr(0, s.precision);
                AppendPadded(out, v, s);
                break;
            }
            case 'c': {
                char16_t c = static_cast<char16_t>(va_arg(args, int));
                AppendPadded(out, std::u16string_view(&c, 1), s);
                break;
            }
            case 'i': {
                if (s.conv == u'd' || s.conv == u'i') AppendNumber(out, s, "", va_arg(args, int));
                else AppendNumber(out, s, "", va_arg(args, unsigned int));
                break;
            }
            case 'l': {
                if (s.conv == u'd' || s.conv == u'i') AppendNumber(out, s, "ll", va_arg(args, long long));
                else AppendNumber(out, s, "ll", va_arg(args, unsigned long long));
                break;
            }
            case 'p': {
                // As the message texts expect: the address's hex digits in capitals,
                // zero-filled to the pointer's width and without "0x" (the texts
                // write "0x%p" themselves).
                char digits[2 * sizeof(void*) + 1];
                std::snprintf(digits, sizeof digits, "%0*llX", static_cast<int>(2 * sizeof(void*)),
                              static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(va_arg(args, void*))));
                AppendPadded(out, ToUtf16(digits), s);
                break;
            }
            case 'f': AppendNumber(out, s, "", va_arg(args, double)); break;
            default:
                // Unknown conversion: copy it as it stands and consume nothing.
                out.append(f + start, i - start);
                break;
        }
    }
    va_end(args);
    if (out.size() > maxUnits) out.resize(maxUnits);
    // Never leave half a surrogate pair at the cut.
    if (!out.empty() && out.back() >= 0xD800 && out.back() <= 0xDBFF) out.pop_back();
    return out;
}

std::u16string WFormatV(const char16_t* format, va_list args) {
    return WFormatNV(static_cast<size_t>(-1) / 4, format, args);
}

std::u16string WFormat(const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::u16string r = WFormatV(format, args);
    va_end(args);
    return r;
}

std::u16string WFormatN(size_t maxUnits, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::u16string r = WFormatNV(maxUnits, format, args);
    va_end(args);
    return r;
}

std::string FormatArgKinds(const char16_t* f) {
    std::string kinds;
    if (!f) return kinds;
    size_t i = 0;
    while (f[i]) {
        if (f[i] != u'%') {
            ++i;
            continue;
        }
        if (f[i + 1] == u'%') {
            i += 2;
            continue;
        }
        Spec s;
        // Star widths consume integer arguments.
        size_t j = i + 1;
        while (f[j] == u'-' || f[j] == u'+' || f[j] == u'0' || f[j] == u' ' || f[j] == u'#') ++j;
        if (f[j] == u'*') kinds.push_back('i');
        while ((f[j] >= u'0' && f[j] <= u'9') || f[j] == u'*') ++j;
        if (f[j] == u'.' && f[j + 1] == u'*') kinds.push_back('i');
        size_t next = ParseSpec(f, i + 1, s, nullptr);
        if (next == std::u16string::npos) break;
        char k = KindOf(s);
        if (k) kinds.push_back(k);
        i = next;
    }
    return kinds;
}

int WCompareNoCase(std::u16string_view a, std::u16string_view b) {
    auto lower = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; };
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        char16_t x = lower(a[i]), y = lower(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool WParseInt(std::u16string_view text, int64_t* value, size_t* used) {
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\r' || text[i] == u'\n')) ++i;
    bool neg = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        neg = text[i] == u'-';
        ++i;
    }
    size_t digitsStart = i;
    // The magnitude may reach 2^63 only for a negative number.
    const uint64_t limit = neg ? uint64_t{1} << 63 : static_cast<uint64_t>(INT64_MAX);
    uint64_t v = 0;
    bool tooLarge = false;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
        const uint64_t digit = static_cast<uint64_t>(text[i] - u'0');
        if (v > (limit - digit) / 10) tooLarge = true;  // never wraps: refused instead
        if (!tooLarge) v = v * 10 + digit;
        ++i;
    }
    if (i == digitsStart || tooLarge) return false;
    if (value) *value = neg ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
    if (used) *used = i;
    return true;
}

}  // namespace plat
