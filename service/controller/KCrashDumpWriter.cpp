#include "service/controller/KCrashDumpWriter.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "log/KErrorLog.h"
#include "platform/core/Text.h"
#include "platform/fs/File.h"
#include "platform/service/CrashHandler.h"
#include "service/audio/PipeServer.h"

namespace {

// The log's path, kept where the handler can read it with no lock: written
// into the buffer not in use, then made current. The handler opens the live
// log by this path at crash time, so its lines never land in a log that was
// moved aside or removed since the start.
char g_logPath[2][4096];
std::atomic<int> g_logPathIndex{-1};
long g_utcOffset = 0;  // seconds east of UTC, taken at install

void NoteLogPath(const std::u16string& path) {
    const std::string text = plat::ToUtf8(path);
    if (text.empty() || text.size() >= sizeof(g_logPath[0])) {
        g_logPathIndex.store(-1);
        return;
    }
    const int next = g_logPathIndex.load() == 0 ? 1 : 0;
    std::memcpy(g_logPath[next], text.c_str(), text.size() + 1);
    g_logPathIndex.store(next);
}

// UTF-16 little-endian log entry, built and written without allocation, in
// the error log's own entry format.
char16_t g_entry[KErrorLog::kEntryUnits];
size_t g_entryLength = 0;

void Put(char16_t c) {
    if (g_entryLength + 1 < KErrorLog::kEntryUnits) g_entry[g_entryLength++] = c;
}

// UTF-8 text into the entry; a broken sequence becomes U+FFFD.
void PutUtf8(const char* text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    while (*s) {
        unsigned c = *s;
        int more = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        if (more < 0) {
            Put(0xFFFD);
            ++s;
            continue;
        }
        unsigned code = more == 0 ? c : c & (0x3F >> more);
        ++s;
        bool ok = true;
        for (int i = 0; i < more; ++i, ++s) {
            if ((*s & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            code = (code << 6) | (*s & 0x3F);
        }
        if (!ok) {
            Put(0xFFFD);
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            Put(static_cast<char16_t>(0xD800 + (code >> 10)));
            Put(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            Put(static_cast<char16_t>(code));
        }
    }
}

// The local time as ctime gives it ("Wed Dec  9 07:52:35 2026\n"), from the
// offset taken at install: localtime itself may lock.
void PutTime() {
    static const char* const days[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    long long t = static_cast<long long>(now.tv_sec) + g_utcOffset;
    long long daysSince = t >= 0 ? t / 86400 : (t - 86399) / 86400;
    long long secs = t - daysSince * 86400;
    // Civil date from days since 1970-01-01.
    long long z = daysSince + 719468;
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    long long day = doy - (153 * mp + 2) / 5 + 1;
    long long month = mp < 10 ? mp + 3 : mp - 9;
    long long year = yoe + era * 400 + (month <= 2);
    plat::svc::SafeText text;
    text.Add(days[((daysSince % 7) + 7) % 7]).Add(" ").Add(months[month - 1]).Add(day < 10 ? "  " : " ");
    text.AddDecimal(day).Add(" ");
    auto two = [&text](long long v) {
        if (v < 10) text.Add("0");
        text.AddDecimal(v);
    };
    two(secs / 3600);
    text.Add(":");
    two(secs / 60 % 60);
    text.Add(":");
    two(secs % 60);
    text.Add(" ").AddDecimal(year).Add("\n");
    PutUtf8(text.Text());
}

// One trace entry (code 0, no source file, line 0).
void WriteLogLine(const char* line) {
    const int index = g_logPathIndex.load();
    if (index < 0) return;
    const int fd = ::open(g_logPath[index], O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return;
    g_entryLength = 0;
    PutUtf8("Time: ");
    PutTime();
    PutUtf8(", File: , Line: 0 -- ");
    PutUtf8(line);
    PutUtf8(" (0) \r\n");
    unsigned char bytes[KErrorLog::kEntryUnits * 2];
    for (size_t i = 0; i < g_entryLength; ++i) {
        bytes[2 * i] = static_cast<unsigned char>(g_entry[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<unsigned char>(g_entry[i] >> 8);
    }
    size_t left = g_entryLength * 2;
    const unsigned char* p = bytes;
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        p += n;
        left -= static_cast<size_t>(n);
    }
    ::close(fd);
}

}  // namespace

KCrashDumpWriter::KCrashDumpWriter(const char* applicationName) {
    std::string name = applicationName ? applicationName : "Application";
    const std::string dumpPath = plat::ToUtf8(plat::GetTempDir()) + name + ".dmp";
    KErrorLog::Instance().SetPathObserver(&NoteLogPath);
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local)) g_utcOffset = local.tm_gmtoff;
    plat::svc::CrashHooks hooks;
    hooks.onCrash = &KCrashDumpWriter::ServiceCrashFilter;
    hooks.onResult = &KCrashDumpWriter::ReportResult;
    m_installed = plat::svc::InstallCrashHandler(dumpPath, hooks);
}

void KCrashDumpWriter::ServiceCrashFilter(int) {
    WriteLogLine("QXSERVICE CRASH \n");
    if (KPipeServer::CloseDeviceFromAnyThread()) WriteLogLine("Cleanup ok \n");
}

void KCrashDumpWriter::ReportResult(const char* line) { WriteLogLine(line); }
