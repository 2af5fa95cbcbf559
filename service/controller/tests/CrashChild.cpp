// A service process that crashes on purpose: it installs the service's crash
// report, opens the driver link (when asked) and then faults as its argument
// says: "null" (a null pointer written), "abort", "overflow" (endless
// recursion on a second thread), "rotated" (a null pointer written after the
// log was moved aside twice at its size limit) or "twice" (a second thread
// faults while the first one's report is being written). The log goes to
// $TMPDIR/crash.log.
#include <time.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "log/KErrorLog.h"
#include "platform/core/Text.h"
#include "platform/core/Thread.h"
#include "platform/fs/File.h"
#include "platform/service/CrashHandler.h"
#include "service/audio/PipeServer.h"
#include "service/audio/tests/TestListener.h"
#include "service/controller/KCrashDumpWriter.h"

namespace {

volatile int* volatile g_null = nullptr;
volatile bool g_deeper = true;
std::atomic<bool> g_firstReporting{false};

// The first fault's report, held open for a second once the second thread
// has been let go to fault meanwhile.
void SlowReport(int signal) {
    KCrashDumpWriter::ServiceCrashFilter(signal);
    g_firstReporting.store(true);
    timespec pause{1, 0};
    while (::nanosleep(&pause, &pause) != 0) {
    }
}

// Deeper until the stack runs out (the flag never clears).
int Recurse(volatile char* previous) {
    volatile char frame[512];
    frame[0] = previous ? previous[0] : 1;
    if (!g_deeper) return frame[0];
    return Recurse(frame) + frame[0];
}

// The fault itself, not a sanitizer's report of it, is what is tested.
__attribute__((no_sanitize("undefined", "address"))) void WriteThroughNull() { *g_null = 1; }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string mode = argv[1];
    const bool link = argc > 2 && std::strcmp(argv[2], "link") == 0;
    KErrorLog::Instance().OpenLogFile(plat::GetTempDir() + u"crash.log");
    KCrashDumpWriter writer("QXService");
    if (!writer.IsInstalled()) return 3;
    plat::ComPtr<TestListener> listener = TestListener::Create();
    KPipeServer server(listener.Get());
    if (link && FAILED(server.StartStop())) return 4;
    std::puts("ready");
    std::fflush(stdout);
    if (mode == "rotated") {
        KErrorLog::Instance().SetMaxFileBytes(1);
        KErrorLog::Instance().WriteLine(0, u"fills the log", "", 0);
        KErrorLog::Instance().WriteLine(0, u"fills the new log", "", 0);
        KErrorLog::Instance().SetMaxFileBytes(KErrorLog::kMaxFileBytes);
        WriteThroughNull();
    }
    if (mode == "twice") {
        plat::svc::CrashHooks hooks;
        hooks.onCrash = &SlowReport;
        hooks.onResult = &KCrashDumpWriter::ReportResult;
        if (!plat::svc::InstallCrashHandler(plat::ToUtf8(plat::GetTempDir()) + "QXService.dmp", hooks)) return 3;
        plat::Thread second;
        second.Start(
            [] {
                while (!g_firstReporting.load()) {
                    timespec tick{0, 1000000};
                    ::nanosleep(&tick, nullptr);
                }
                WriteThroughNull();
                return S_OK;
            },
            "second-fault");
        WriteThroughNull();
    }
    if (mode == "null") WriteThroughNull();
    if (mode == "abort") std::abort();
    if (mode == "overflow") {
        plat::Thread thread;
        thread.Start([] { return static_cast<HRESULT>(Recurse(nullptr)); }, "overflow");
        thread.Join();
    }
    return 5;
}
