#pragma once
// The last word of a crashing process. On SIGSEGV, SIGBUS, SIGILL, SIGFPE,
// SIGABRT and SIGSYS the handler runs on an alternate signal stack (so that a
// stack overflow can be reported too) and uses only async-signal-safe calls:
// no lock, no allocation. It calls the owner's hook, writes a text report
// (signal, fault address, registers, backtrace, the memory map and the bytes
// at the stack pointer) to the report file, tells the owner the result, and
// re-raises the signal so that the process dies of it.
#include <cstddef>
#include <cstdint>
#include <string>

namespace plat::svc {

// Builds text in a fixed buffer; safe inside a signal handler. Text that does
// not fit is cut.
class SafeText {
public:
    SafeText& Add(const char* text);
    SafeText& Add(const char* text, size_t length);
    SafeText& AddDecimal(long long value);
    SafeText& AddHex(uint64_t value, int digits = 16);
    const char* Text() const { return m_text; }
    size_t Length() const { return m_length; }
    void Clear() {
        m_length = 0;
        m_text[0] = 0;
    }

private:
    char m_text[1024] = {};
    size_t m_length = 0;
};

struct CrashHooks {
    // First thing on the crashing thread, with the signal number.
    void (*onCrash)(int signal) = nullptr;
    // The one result line: "Saved dump file to '<path>'", or "Failed to
    // create dump file '<path>' (error <errno>)", or "Failed to save dump file
    // to '<path>' (error <errno>)".
    void (*onResult)(const char* line) = nullptr;
};

// Installs the handler for this process, with the report written to
// reportPath (created with mode 0600; an existing path is used only when it is
// a regular file of this user, and never through a link). Gives the calling
// thread, and every thread later started by plat::Thread, an alternate signal
// stack (and every thread that holds a plat::ThreadHookScope). False when the
// handler could not be installed.
bool InstallCrashHandler(const std::string& reportPath, const CrashHooks& hooks);

}  // namespace plat::svc
