// QXService: the engine daemon.
#include <malloc.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>

#include "log/KErrorLog.h"
#include "platform/service/ProgramInfo.h"
#include "service/controller/CQXServiceModule.h"
#include "service/controller/KCrashDumpWriter.h"
#include "service/encoders/EncoderRegistry.h"

namespace {

constexpr int kAllocatorArenas = 2;

constexpr const char* kUsage =
    "usage: QXService [-RegServer | -Service | -UnregServer]\n"
    "The engine of Tonquil, the time-shift audio recorder.\n"
    "  (no switch)    serve the engine on the D-Bus session bus as QXService.AudioController\n"
    "                 (under systemd when it started the program, else in the foreground)\n"
    "                 until SIGTERM, SIGINT or SIGHUP, which save the cache index and playlist\n"
    "  -RegServer     install the driver (Tavrin /install) and register the program for this\n"
    "                 user: the systemd user unit QXService.service, the D-Bus activation\n"
    "                 file and the interface description under $XDG_DATA_HOME; then start it\n"
    "  -Service       the same as -RegServer\n"
    "  -UnregServer   drop the cache and stop the service, delete the recordings, the\n"
    "                 playlist, the settings and the data folder, remove the driver\n"
    "                 (Tavrin /uninstall) and the registration\n"
    "  -h, --help     print this text;  --version  print the version\n"
    "A switch begins with \"-\" or \"/\" and may be written in any case.\n"
    "Data: $TONQUIL_DATA_DIR, else $XDG_DATA_HOME, else ~/.local/share, in the folder \"Tonquil\".\n"
    "Exit status 0 on success, 1 on failure.\n";

// Asked only for its usage or its version, the program answers before
// anything is built: the error log built next would recreate its file, and
// the running daemon's log with it. The C library hands the program's
// arguments to its constructors.
__attribute__((constructor(101))) void AnswerInfoSwitchesFirst(int argc, char** argv) {
    if (plat::svc::AnswerInfoSwitches(argc, argv, "QXService", kUsage)) std::exit(0);
}

// A stop request that comes while the process is still starting waits for
// the main loop instead of ending the process: the stop signals are blocked
// before anything else is built (the main loop reads them from a descriptor).
bool BlockStopSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGUSR2}) sigaddset(&set, s);
    return sigprocmask(SIG_BLOCK, &set, nullptr) == 0;
}
const bool g_stopSignalsBlocked = BlockStopSignals();

// Built before the entry point: the error log first, then the crash report
// that writes into it.
KErrorLog& g_errorLog = KErrorLog::Instance();
KCrashDumpWriter g_crashDumpWriter("QXService");

}  // namespace

int main(int argc, char** argv) {
    (void)g_errorLog;
    (void)g_stopSignalsBlocked;
    // Bus calls run on a pool of up to 64 threads; by default each would get
    // an allocator arena of its own, and every arena keeps part of what a
    // burst of calls left in it. Two arenas serve calls that mostly wait on
    // the engine, and what a burst took goes back when it ends.
    // (The sanitizers' allocator has no arenas and refuses the setting.)
#if !defined(__SANITIZE_ADDRESS__)
    if (mallopt(M_ARENA_MAX, kAllocatorArenas) != 1) std::fprintf(stderr, "QXService: the allocator's arena limit was not set\n");
#endif
    // The four formats CreateNewEncoder makes.
    RegisterEncoders();
    CQXServiceModule module;
    return module.WinMain(argc, argv);
}
