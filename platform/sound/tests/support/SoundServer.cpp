#include "platform/sound/tests/support/SoundServer.h"

#include <cstdio>
#include <cstdlib>

#include "platform/core/Text.h"
#include "platform/sound/PulseConnection.h"

namespace soundtest {

bool SoundServerAnswers() {
    const char* server = std::getenv("PULSE_SERVER");
    return server && *server && plat::PulseServerAnswers(2000);
}

std::string Shell(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, p)) out += line;
        ::pclose(p);
    }
    return out;
}

std::vector<std::u16string> PactlDescriptions(const char* what) {
    std::vector<std::u16string> result;
    std::string text = Shell(std::string("pactl list ") + what + " 2>/dev/null");
    const std::string key = "Description: ";
    for (size_t at = 0; (at = text.find(key, at)) != std::string::npos;) {
        at += key.size();
        result.push_back(plat::ToUtf16(text.substr(at, text.find('\n', at) - at)));
    }
    return result;
}

}  // namespace soundtest
