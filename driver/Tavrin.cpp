// Tavrin: installs or removes the output "Tonquil Audio Device" on the sound
// server. /install creates it (once) and makes it the default output;
// /uninstall removes it. /install also registers the driver stand-in as this
// user's service (the user unit tonquil-audio-driver.service, enabled when a
// user service manager runs); /uninstall removes that too.
// Exit code 0 on success, 1 on failure, 2 on bad usage.
#include <strings.h>

#include <cstdio>
#include <string>

#include "driver/PulseAdmin.h"
#include "driver/TonquilSink.h"
#include "platform/core/Text.h"
#include "platform/fs/File.h"
#include "platform/service/ProgramInfo.h"
#include "platform/service/UserUnits.h"

namespace {

using tonquil_sink::kDescription;

constexpr const char* kUsage =
    "usage: Tavrin /install | /uninstall\n"
    "Installs or removes the output \"Tonquil Audio Device\" on the sound server.\n"
    "  /install    create the output (once), make it the default output and register the\n"
    "              driver stand-in as this user's service tonquil-audio-driver.service\n"
    "  /uninstall  remove the output and that service\n"
    "  -h, --help  print this text;  --version  print the version\n"
    "Exit status 0 on success, 1 on failure, 2 on bad usage.\n";

int Fail(const std::string& text) {
    std::fprintf(stderr, "Tavrin: %s\n", text.c_str());
    return 1;
}

int Install(PulseAdmin& server) {
    PulseAdmin::Sink sink;
    if (!tonquil_sink::Create(server, true, &sink)) return Fail(server.Error());
    std::printf("Tavrin: \"%s\" (%s) is installed and is the default output\n", kDescription, sink.name.c_str());
    return 0;
}

int Uninstall(PulseAdmin& server) {
    PulseAdmin::Sink sink;
    bool present = false;
    if (!tonquil_sink::Find(server, &sink, &present)) return Fail(server.Error());
    if (!present) {
        std::printf("Tavrin: \"%s\" is not installed\n", kDescription);
        return 0;
    }
    if (sink.ownerModule == static_cast<uint32_t>(-1)) return Fail("the output belongs to no module and cannot be removed");
    if (!server.UnloadModule(sink.ownerModule)) return Fail(server.Error());
    std::printf("Tavrin: \"%s\" is removed\n", kDescription);
    return 0;
}

constexpr const char* kUnitName = "tonquil-audio-driver.service";

std::string UnitPath() {
    std::string dir = plat::svc::UserUnitDir();
    return dir.empty() ? dir : dir + "/" + kUnitName;
}

int InstallUnit() {
    const std::string path = UnitPath();
    if (path.empty()) return Fail("no data folder for this user (set HOME or XDG_DATA_HOME)");
    plat::svc::UserUnit unit;
    unit.description = std::string("Stand-in for the driver of \"") + kDescription + "\"";
    unit.type = "simple";
    unit.exec = {plat::ToUtf8(plat::GetModuleDir()) + "tonquil-audio-driver"};
    unit.restart = "on-failure";
    if (!plat::svc::WriteFileAtomically(path, plat::svc::UserUnitText(unit))) return Fail(path + " could not be written");
    if (plat::svc::UserManagerAnswers()) {
        plat::svc::UserSystemctl({"daemon-reload"});
        if (FAILED(plat::svc::UserSystemctl({"enable", "--now", kUnitName}))) return Fail(std::string(kUnitName) + " could not be started");
    }
    return 0;
}

int UninstallUnit() {
    const std::string path = UnitPath();
    if (path.empty()) return 0;
    if (plat::svc::UserManagerAnswers()) plat::svc::UserSystemctl({"disable", "--now", kUnitName});
    if (!plat::svc::RemoveOwnFile(path)) return Fail(path + " could not be removed");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (plat::svc::AnswerInfoSwitches(argc, argv, "Tavrin", kUsage)) return 0;
    bool install = argc == 2 && strcasecmp(argv[1], "/install") == 0;
    bool uninstall = argc == 2 && strcasecmp(argv[1], "/uninstall") == 0;
    if (!install && !uninstall) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    PulseAdmin server;
    if (!server.Connect("Tavrin")) return Fail(server.Error());
    int rc = install ? Install(server) : Uninstall(server);
    if (rc != 0) return rc;
    return install ? InstallUnit() : UninstallUnit();
}
