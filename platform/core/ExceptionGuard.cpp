#include "platform/core/ExceptionGuard.h"

#include <atomic>
#include <cstdio>
#include <exception>
#include <new>

namespace plat {

namespace {

void ToStandardError(std::string_view kind, std::string_view name, std::string_view what, HRESULT hr) {
    std::fprintf(stderr, "tonquil: an exception escaped %.*s '%.*s' (0x%08X): %.*s\n", static_cast<int>(kind.size()),
                 kind.data(), static_cast<int>(name.size()), name.data(), static_cast<unsigned>(hr),
                 static_cast<int>(what.size()), what.data());
}

std::atomic<ExceptionSink> g_sink{nullptr};

}  // namespace

void SetExceptionSink(ExceptionSink sink) { g_sink = sink; }

HRESULT ReportCurrentException(std::string_view kind, std::string_view name) noexcept {
    HRESULT hr = E_FAIL;
    // Nothing here allocates: the report must get out when memory ran out.
    const char* what = "an exception of an unknown type";
    try {
        throw;
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
        what = "out of memory (std::bad_alloc)";
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
    }
    ExceptionSink sink = g_sink.load();
    (sink ? sink : &ToStandardError)(kind, name, what, hr);
    return hr;
}

}  // namespace plat
