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

std::vector<std::u16string> PactlDescriptions(const char* what, bool defaultFirst) {
    std::vector<std::u16string> result;
    std::string text = Shell(std::string("pactl list ") + what + " 2>/dev/null");
    std::string wanted;
    if (defaultFirst) {
        wanted = Shell(std::string("pactl get-default-") + (std::string(what) == "sinks" ? "sink" : "source") + " 2>/dev/null");
        while (!wanted.empty() && (wanted.back() == '\n' || wanted.back() == ' ')) wanted.pop_back();
    }
    const std::string nameKey = "\tName: ";
    const std::string key = "Description: ";
    std::string name;
    size_t lead = 0;
    for (size_t at = 0; (at = text.find(key, at)) != std::string::npos;) {
        const size_t nameAt = text.rfind(nameKey, at);
        name = nameAt == std::string::npos ? "" : text.substr(nameAt + nameKey.size(), text.find('\n', nameAt) - nameAt - nameKey.size());
        at += key.size();
        auto description = plat::ToUtf16(text.substr(at, text.find('\n', at) - at));
        if (!wanted.empty() && name == wanted) result.insert(result.begin() + static_cast<long>(lead++), description);
        else result.push_back(description);
    }
    return result;
}

}  // namespace soundtest
