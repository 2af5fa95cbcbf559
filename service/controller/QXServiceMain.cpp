// QXService: the engine daemon.
#include <signal.h>

#include "service/controller/CQXServiceModule.h"
#include "service/controller/KCrashDumpWriter.h"
#include "service/encoders/EncoderRegistry.h"
#include "service/foundation/KErrorLog.h"

namespace {

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
    // The four formats CreateNewEncoder makes.
    RegisterEncoders();
    CQXServiceModule module;
    return module.WinMain(argc, argv);
}
