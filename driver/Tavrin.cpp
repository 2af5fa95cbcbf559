// Tavrin: installs or removes the output "Tonquil Audio Device" on the sound
// server. /install creates it (once) and makes it the default output;
// /uninstall removes it. Exit code 0 on success, 1 on failure, 2 on bad usage.
#include <strings.h>

#include <cstdio>
#include <string>

#include "driver/PulseAdmin.h"

namespace {

constexpr const char* kSinkName = "tonquil";
constexpr const char* kDescription = "Tonquil Audio Device";

int Fail(const std::string& text) {
    std::fprintf(stderr, "Tavrin: %s\n", text.c_str());
    return 1;
}

bool FindOurs(PulseAdmin& server, PulseAdmin::Sink* found, bool* present) {
    std::vector<PulseAdmin::Sink> sinks;
    if (!server.ListSinks(&sinks)) return false;
    *present = false;
    for (const auto& s : sinks) {
        if (s.name == kSinkName || s.description == kDescription) {
            *found = s;
            *present = true;
            break;
        }
    }
    return true;
}

int Install(PulseAdmin& server) {
    PulseAdmin::Sink sink;
    bool present = false;
    if (!FindOurs(server, &sink, &present)) return Fail(server.Error());
    if (!present) {
        uint32_t module = 0;
        std::string args = std::string("sink_name=") + kSinkName + " rate=48000 sink_properties='device.description=\"" +
                           kDescription + "\"'";
        if (!server.LoadModule("module-null-sink", args, &module)) return Fail(server.Error());
        if (!FindOurs(server, &sink, &present) || !present) return Fail("the output did not appear");
    }
    if (!server.SetDefaultSink(sink.name)) return Fail(server.Error());
    std::printf("Tavrin: \"%s\" (%s) is installed and is the default output\n", kDescription, sink.name.c_str());
    return 0;
}

int Uninstall(PulseAdmin& server) {
    PulseAdmin::Sink sink;
    bool present = false;
    if (!FindOurs(server, &sink, &present)) return Fail(server.Error());
    if (!present) {
        std::printf("Tavrin: \"%s\" is not installed\n", kDescription);
        return 0;
    }
    if (sink.ownerModule == static_cast<uint32_t>(-1)) return Fail("the output belongs to no module and cannot be removed");
    if (!server.UnloadModule(sink.ownerModule)) return Fail(server.Error());
    std::printf("Tavrin: \"%s\" is removed\n", kDescription);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    bool install = argc == 2 && strcasecmp(argv[1], "/install") == 0;
    bool uninstall = argc == 2 && strcasecmp(argv[1], "/uninstall") == 0;
    if (!install && !uninstall) {
        std::fputs("usage: Tavrin /install | /uninstall\n", stderr);
        return 2;
    }
    PulseAdmin server;
    if (!server.Connect("Tavrin")) return Fail(server.Error());
    return install ? Install(server) : Uninstall(server);
}
