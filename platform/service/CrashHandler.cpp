#include "platform/service/CrashHandler.h"

#include <errno.h>
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>

#include "platform/core/Thread.h"

namespace plat::svc {

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGSYS};
constexpr size_t kAltStackBytes = 64 * 1024;
constexpr size_t kStackDumpBytes = 1024;
constexpr int kMaxFrames = 64;

// Everything the handler uses is made at install time.
char g_reportPath[4096];
CrashHooks g_hooks;
std::atomic<pid_t> g_crashingThread{0};
SafeText g_line;
char g_copy[4096];
void* g_frames[kMaxFrames];

void WriteAll(int fd, const char* data, size_t length) {
    while (length > 0) {
        ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        data += n;
        length -= static_cast<size_t>(n);
    }
}

void WriteLine(int fd, SafeText& text) {
    text.Add("\n");
    WriteAll(fd, text.Text(), text.Length());
    text.Clear();
}

const char* SignalName(int signal) {
    switch (signal) {
        case SIGSEGV: return "SIGSEGV";
        case SIGBUS: return "SIGBUS";
        case SIGILL: return "SIGILL";
        case SIGFPE: return "SIGFPE";
        case SIGABRT: return "SIGABRT";
        case SIGSYS: return "SIGSYS";
        default: return "signal";
    }
}

uintptr_t StackPointer(const ucontext_t* context) {
#if defined(__x86_64__)
    return static_cast<uintptr_t>(context->uc_mcontext.gregs[REG_RSP]);
#elif defined(__aarch64__)
    return static_cast<uintptr_t>(context->uc_mcontext.sp);
#else
    (void)context;
    return 0;
#endif
}

void WriteRegisters(int fd, const ucontext_t* context) {
    SafeText& t = g_line;
#if defined(__x86_64__)
    static const char* const names[] = {"r8", "r9", "r10", "r11", "r12", "r13", "r14", "r15", "rdi",
                                        "rsi", "rbp", "rbx", "rdx", "rax", "rcx", "rsp", "rip", "efl"};
    for (int i = 0; i < 18; ++i) {
        t.Add(names[i]).Add(" = 0x").AddHex(static_cast<uint64_t>(context->uc_mcontext.gregs[i]));
        WriteLine(fd, t);
    }
#elif defined(__aarch64__)
    for (int i = 0; i < 31; ++i) {
        t.Add("x").AddDecimal(i).Add(" = 0x").AddHex(context->uc_mcontext.regs[i]);
        WriteLine(fd, t);
    }
    t.Add("sp = 0x").AddHex(context->uc_mcontext.sp);
    WriteLine(fd, t);
    t.Add("pc = 0x").AddHex(context->uc_mcontext.pc);
    WriteLine(fd, t);
#else
    (void)context;
    t.Add("(registers are not read on this processor)");
    WriteLine(fd, t);
#endif
}

void CopyFile(int fd, const char* path) {
    int in = ::open(path, O_RDONLY | O_CLOEXEC);
    if (in < 0) return;
    for (;;) {
        ssize_t n = ::read(in, g_copy, sizeof(g_copy));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        WriteAll(fd, g_copy, static_cast<size_t>(n));
    }
    ::close(in);
}

// The bytes from the stack pointer up, read through the kernel so that an
// unmapped address gives an error instead of a second fault.
void WriteStackBytes(int fd, uintptr_t sp) {
    SafeText& t = g_line;
    unsigned char bytes[kStackDumpBytes];
    iovec local{bytes, sizeof(bytes)};
    iovec remote{reinterpret_cast<void*>(sp), sizeof(bytes)};
    ssize_t got = sp ? ::process_vm_readv(::getpid(), &local, 1, &remote, 1, 0) : -1;
    if (got <= 0) {
        t.Add("(the stack could not be read)");
        WriteLine(fd, t);
        return;
    }
    for (ssize_t row = 0; row < got; row += 16) {
        t.AddHex(sp + static_cast<uintptr_t>(row)).Add(":");
        for (ssize_t i = row; i < row + 16 && i < got; ++i) t.Add(" ").AddHex(bytes[i], 2);
        WriteLine(fd, t);
    }
}

// Opens the report: never through a link, and an existing entry only when it
// is this user's own regular file. -1 with errno set otherwise.
int OpenReport() {
    int fd = ::open(g_reportPath, O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_nlink != 1) {
        ::close(fd);
        errno = EPERM;
        return -1;
    }
    if (::ftruncate(fd, 0) != 0 || ::fchmod(fd, 0600) != 0) {
        int err = errno;
        ::close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

void ReportResult(const char* head, int error) {
    if (!g_hooks.onResult) return;
    SafeText& t = g_line;
    t.Clear();
    t.Add(head).Add(g_reportPath).Add("'");
    if (error >= 0) t.Add(" (error ").AddDecimal(error).Add(")");
    g_hooks.onResult(t.Text());
    t.Clear();
}

// Back to the default action for every handled signal, so that the next
// delivery ends the process.
void RestoreDefaults() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int s : kSignals) ::sigaction(s, &action, nullptr);
}

void Handler(int signal, siginfo_t* info, void* raw) {
    const pid_t self = ::gettid();
    pid_t first = 0;
    if (!g_crashingThread.compare_exchange_strong(first, self)) {
        if (first == self) {
            // The report itself faulted: end now rather than loop.
            RestoreDefaults();
            ::raise(signal);
            return;
        }
        // A second faulting thread waits while the first writes its report
        // and then ends the process; the action stays this handler until
        // then, so the second fault cannot end the process mid-report.
        for (;;) ::pause();
    }
    if (g_hooks.onCrash) g_hooks.onCrash(signal);

    int fd = OpenReport();
    if (fd < 0) {
        ReportResult("Failed to create dump file '", errno);
    } else {
        const auto* context = static_cast<const ucontext_t*>(raw);
        SafeText& t = g_line;
        t.Clear();
        t.Add("Crash report of process ").AddDecimal(::getpid()).Add(", thread ").AddDecimal(::gettid());
        WriteLine(fd, t);
        t.Add("signal ").AddDecimal(signal).Add(" (").Add(SignalName(signal)).Add("), code ").AddDecimal(info->si_code);
        WriteLine(fd, t);
        t.Add("address 0x").AddHex(reinterpret_cast<uintptr_t>(info->si_addr));
        WriteLine(fd, t);
        t.Add("\nregisters:");
        WriteLine(fd, t);
        WriteRegisters(fd, context);
        t.Add("\nbacktrace:");
        WriteLine(fd, t);
        int frames = ::backtrace(g_frames, kMaxFrames);
        ::backtrace_symbols_fd(g_frames, frames, fd);
        t.Add("\nmemory map:");
        WriteLine(fd, t);
        CopyFile(fd, "/proc/self/maps");
        t.Add("\nstack:");
        WriteLine(fd, t);
        WriteStackBytes(fd, StackPointer(context));
        int error = ::fsync(fd) == 0 ? 0 : errno;
        ::close(fd);
        if (error == 0 || error == EINVAL) {
            ReportResult("Saved dump file to '", -1);
        } else {
            ReportResult("Failed to save dump file to '", error);
        }
    }
    // Die of the signal: with the default action back, a fault repeats on
    // return, any other signal is raised again and delivered once the handler
    // returns.
    RestoreDefaults();
    if (info->si_code <= 0 || signal == SIGABRT) ::raise(signal);
}

void ThreadHook(bool starting) {
    // One stack per thread, kept in a thread-local slot and freed at its end.
    thread_local void* stack = nullptr;
    if (starting && !stack) {
        stack = ::mmap(nullptr, kAltStackBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (stack == MAP_FAILED) {
            stack = nullptr;
            return;
        }
        stack_t ss{};
        ss.ss_sp = stack;
        ss.ss_size = kAltStackBytes;
        if (::sigaltstack(&ss, nullptr) != 0) {
            ::munmap(stack, kAltStackBytes);
            stack = nullptr;
        }
    } else if (!starting && stack) {
        stack_t ss{};
        ss.ss_flags = SS_DISABLE;
        ::sigaltstack(&ss, nullptr);
        ::munmap(stack, kAltStackBytes);
        stack = nullptr;
    }
}

}  // namespace

SafeText& SafeText::Add(const char* text) { return Add(text, text ? ::strlen(text) : 0); }

SafeText& SafeText::Add(const char* text, size_t length) {
    for (size_t i = 0; i < length && m_length + 1 < sizeof(m_text); ++i) m_text[m_length++] = text[i];
    m_text[m_length] = 0;
    return *this;
}

SafeText& SafeText::AddDecimal(long long value) {
    char digits[24];
    int n = 0;
    unsigned long long v = value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v);
    if (value < 0) Add("-");
    while (n > 0) Add(&digits[--n], 1);
    return *this;
}

SafeText& SafeText::AddHex(uint64_t value, int digits) {
    static const char hex[] = "0123456789abcdef";
    for (int i = digits - 1; i >= 0; --i) Add(&hex[(value >> (4 * i)) & 0xF], 1);
    return *this;
}

bool InstallCrashHandler(const std::string& reportPath, const CrashHooks& hooks) {
    if (reportPath.empty() || reportPath.size() >= sizeof(g_reportPath)) return false;
    ::memcpy(g_reportPath, reportPath.c_str(), reportPath.size() + 1);
    g_hooks = hooks;
    // The first backtrace loads what it needs; later ones, in the handler, do not.
    ::backtrace(g_frames, kMaxFrames);
    ThreadHook(true);
    plat::SetThreadHook(&ThreadHook);
    struct sigaction action {};
    action.sa_sigaction = &Handler;
    // No SA_RESETHAND: a second thread that faults while the report is written
    // must find this handler (and wait in it), not the default action. The
    // handled signals are held back on the reporting thread, so a fault of the
    // report itself ends the process at once.
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int s : kSignals) sigaddset(&action.sa_mask, s);
    bool ok = true;
    for (int s : kSignals) ok = ::sigaction(s, &action, nullptr) == 0 && ok;
    return ok;
}

}  // namespace plat::svc
