#include "platform/core/DebugOutput.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/core/Text.h"

namespace plat {

void OutputDebugString(std::u16string_view text) {
    static const bool enabled = [] {
        const char* v = std::getenv("TONQUIL_DEBUG_OUTPUT");
        return v && std::strcmp(v, "0") != 0 && *v;
    }();
    if (!enabled) return;
    std::string s = ToUtf8(text);
    std::fwrite(s.data(), 1, s.size(), stderr);
}

}  // namespace plat
