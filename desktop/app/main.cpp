// Parvane: the desktop program that drives the Tonquil service.
#include <QApplication>

#include <chrono>
#include <cstdio>

#include "desktop/app/AppCore.h"
#include "desktop/app/CParvaneDlg.h"
#include "desktop/app/CSaveSongProgressDlg.h"
#include "desktop/app/DefaultSeams.h"
#include "desktop/app/Startup.h"
#include "desktop/app/Stragglers.h"
#include "desktop/controls/KTabOrderKeeper.h"
#include "ipc/client/ClientConnection.h"
#include "platform/service/ProgramInfo.h"
#ifdef PARVANE_HAS_EXTRAS
#include "desktop/app/Extras.h"
#endif

namespace {

// How long the end of the program waits for calls still under way.
constexpr int kStragglerWaitMs = 5000;

constexpr const char* kUsage =
    "usage: Parvane [Qt options, e.g. -platform offscreen]\n"
    "The desktop program of Tonquil, the time-shift audio recorder. It drives the engine\n"
    "QXService on the D-Bus session bus and starts it when it does not run (QXService is\n"
    "looked for beside this program, then on PATH). One Parvane runs per user; a second\n"
    "start shows the first one's window. F1 opens the manual qxmanual.html beside it.\n"
    "  -h, --help     print this text;  --version  print the version\n"
    "Exit status 0 after a normal end, 1 when start-up failed, 2 when the service went away.\n";

class QuitExiter final : public parvane::Exiter {
public:
    void Exit(int code) override { QCoreApplication::exit(code); }
};

}  // namespace

int main(int argc, char** argv) {
    // Answered before anything starts: no display, no service.
    if (plat::svc::AnswerInfoSwitches(argc, argv, "Parvane", kUsage)) return 0;
#ifdef PARVANE_WEB_RADIO
    // The web view of the radio window shares its GL contexts with the program.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Parvane"));
    QApplication::setQuitOnLastWindowClosed(false);
    // Tab visits every window's controls in the order they stand on screen.
    KTabOrderKeeper::Install();
    // Every call from the windows is bounded; a save waits as long as it takes.
    ipc::ClientConnection::SetDefaultCallTimeout(std::chrono::milliseconds(3000));

    parvane::QtPrompter prompter;
    parvane::QtFileDialogs files;
    parvane::DesktopUrlOpener urls;
    parvane::BusServiceLink link;
    parvane::PlatformSoundDevices sound;
    parvane::WaitingSleeper sleeper;
    QuitExiter exiter;
    parvane::Seams seams;
    seams.prompter = &prompter;
    seams.files = &files;
    seams.urls = &urls;
    seams.link = &link;
    seams.sound = &sound;
    seams.sleeper = &sleeper;
    seams.exiter = &exiter;
#ifdef PARVANE_HAS_EXTRAS
    parvane::InstallExtraHooks(seams);
#endif
    parvane::AppCore core(seams);
    parvane::SingleInstance instance(parvane::RuntimeFolder());
    int code = parvane::StartUp(core, instance);
    if (code >= 0) return code;

    int exitCode = parvane::kExitNormal;
    {
        parvane::CParvaneDlg window(core);
        instance.onShowRequest = [&window] { window.ShowFromOutside(); };
        window.onEnd = [&exitCode, &exiter](int end) {
            exitCode = end;
            exiter.Exit(end);
        };
        if (!window.Init()) {
            window.Teardown();
            return window.EndCode() >= 0 ? window.EndCode() : parvane::kExitFailed;
        }
        window.ShowWindows();
        app.exec();
        window.Teardown();
        instance.onShowRequest = nullptr;
    }
    // A call still running in a thread whose window has gone (a save, a
    // settings update) is given a little time; one that hangs in a stalled
    // service does not keep the program, nor its lock on the next start.
    if (!parvane::stragglers::JoinAll(std::chrono::milliseconds(kStragglerWaitMs))) {
        std::fprintf(stderr, "Parvane: %d call(s) to the Tonquil service did not return; leaving without them\n",
                     parvane::stragglers::Count());
        instance.Release();
        parvane::stragglers::LeaveNow(exitCode);
    }
    return exitCode;
}
