// tonquil-audio-driver: stands in for the virtual audio driver. Serves the
// device "\\.\ParvaneAD" and, while the service holds a link open, writes the
// played sound into the shared section "QXSection".
#include <signal.h>

#include <cstring>
#include <memory>
#include <string>

#include "driver/AudioDriverDevice.h"
#include "driver/DriverLog.h"
#include "driver/PulseAdmin.h"
#include "driver/PulseMonitorSource.h"
#include "driver/ToneSource.h"
#include "driver/WavFile.h"
#include "driver/WavSource.h"
#include "platform/core/LastError.h"
#include "platform/core/SystemMessage.h"
#include "platform/core/Text.h"
#include "platform/driver/DeviceServer.h"
#include "platform/driver/DriverProtocol.h"
#include "platform/service/ProgramInfo.h"
#include "platform/service/SignalWaitable.h"

namespace {

constexpr const char* kUsage =
    "usage: tonquil-audio-driver [--source pulse | --source tone | --source wav FILE]\n"
    "  pulse  the sound played into the output \"Tonquil Audio Device\" (the default)\n"
    "  tone   a 1000 Hz sine at half of full scale, 48000 Hz stereo 16-bit\n"
    "  wav    a PCM WAVE file (1-2 channels, 8 or 16 bits), played once in its own format\n"
    "The device socket and the section live in $TONQUIL_RUNTIME_DIR, else $XDG_RUNTIME_DIR, else /tmp.\n"
    "Ends cleanly on SIGTERM, SIGINT or SIGHUP.\n"
    "  -h, --help  print this text;  --version  print the version\n";

std::string ErrorText(DWORD error) {
    std::u16string text;
    if (!plat::FormatSystemMessage(plat::HResultFromError(error), &text)) return "error " + std::to_string(error);
    std::string utf8 = plat::ToUtf8(text);
    while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r')) utf8.pop_back();
    return utf8;
}

}  // namespace

int main(int argc, char** argv) {
    if (plat::svc::AnswerInfoSwitches(argc, argv, "tonquil-audio-driver", kUsage)) return 0;
    std::string source = "pulse";
    std::string file;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--source" && i + 1 < argc) {
            source = argv[++i];
            if (source == "wav") {
                if (i + 1 >= argc) {
                    std::fputs(kUsage, stderr);
                    return 2;
                }
                file = argv[++i];
            }
            continue;
        }
        std::fputs(kUsage, stderr);
        return 2;
    }

    AudioDriverDevice::SourceFactory makeSource;
    if (source == "tone") {
        makeSource = [] { return std::make_unique<ToneSource>(); };
    } else if (source == "wav") {
        WavFile check;
        std::string error;
        if (!check.Load(file, &error)) {
            DriverLog(file + ": " + error);
            return 1;
        }
        makeSource = [file] { return std::make_unique<WavSource>(file); };
    } else if (source == "pulse") {
        PulseAdmin server;
        PulseAdmin::Sink sink;
        if (!server.Connect("tonquil-audio-driver") || !server.FindSink(PulseMonitorSource::kDeviceName, &sink)) {
            DriverLog(server.Error());
            return 1;
        }
        makeSource = [] { return std::make_unique<PulseMonitorSource>(); };
    } else {
        std::fputs(kUsage, stderr);
        return 2;
    }

    // Before any thread starts, so that every thread has them blocked.
    plat::SignalWaitable signals{SIGTERM, SIGINT, SIGHUP};
    if (!signals.IsValid()) {
        DriverLog("cannot watch for signals");
        return 1;
    }
    plat::drv::DeviceServer server;
    if (!server.Create(plat::drv::kDevicePath)) {
        DWORD error = plat::GetLastError();
        DriverLog(error == ERROR_ALREADY_EXISTS ? "another driver already serves the device"
                                                : "cannot create the device: " + ErrorText(error));
        return 1;
    }
    DriverLog("serving " + server.SocketPath() + " (source: " + source + ")");
    int rc = 0;
    {
        AudioDriverDevice device(makeSource);
        if (!server.Serve(device, signals)) {
            DriverLog("serving failed: " + ErrorText(plat::GetLastError()));
            rc = 1;
        }
    }
    server.Close();
    if (rc == 0) DriverLog(std::string("stopped (") + strsignal(signals.LastSignal()) + ")");
    return rc;
}
