// QXService: the engine daemon.
#include "service/controller/CQXServiceModule.h"
#include "service/controller/KCrashDumpWriter.h"
#include "service/encoders/EncoderRegistry.h"
#include "service/foundation/KErrorLog.h"

namespace {

// Built before the entry point: the error log first, then the crash report
// that writes into it.
KErrorLog& g_errorLog = KErrorLog::Instance();
KCrashDumpWriter g_crashDumpWriter("QXService");

}  // namespace

int main(int argc, char** argv) {
    (void)g_errorLog;
    // The four formats CreateNewEncoder makes.
    RegisterEncoders();
    CQXServiceModule module;
    return module.WinMain(argc, argv);
}
