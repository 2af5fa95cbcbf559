#include "platform/service/ProgramInfo.h"

#include <cstdio>
#include <cstring>

namespace plat::svc {

const char* ProgramVersion() { return TONQUIL_VERSION; }

bool AnswerInfoSwitches(int argc, char** argv, const char* program, const char* usage) {
    for (int i = 1; i < argc && argv && argv[i]; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(usage, stdout);
            std::fflush(stdout);
            return true;
        }
        if (std::strcmp(arg, "--version") == 0) {
            std::printf("%s %s\n", program, ProgramVersion());
            std::fflush(stdout);
            return true;
        }
    }
    return false;
}

}  // namespace plat::svc
