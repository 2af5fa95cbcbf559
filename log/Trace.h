#pragma once
// How every failed check in the service is traced and reported: the text of
// the failed expression, the source file and the line go to the error log,
// then, as a rule, a report with one of the service's error codes follows
// from the same place.
//
//   HRESULT form (after a call that returns an HRESULT):
//     if (TQ_FAILED(hr, m_pCache->Read(...))) {
//         TQ_REPORT(EC_INTERNAL, hr, u"Reading cache was failed");
//         return hr;
//     }
//   Boolean form (after a call that returns a success flag; the last error is
//   kept for the report):
//     if (TQ_FALSE(file.Open(...))) {
//         HRESULT hr = plat::HResultFromLastError();
//         TQ_REPORT_SYSTEM(EC_OPEN_FILE, plat::GetLastError(), path);
//         return hr;
//     }
#include "log/ErrorTextTable.h"
#include "log/KErrorLog.h"
#include "platform/core/LastError.h"

namespace trace {

// HRESULT form: a debugger message, then a trace entry.
void TraceHr(const char* expression, const char* file, int line);
// Boolean form: a trace entry; the thread's last error is left as it was.
void TraceBool(const char* expression, const char* file, int line);

}  // namespace trace

// Assigns the HRESULT of expr to hr; true (after tracing) when it is a failure.
#define TQ_FAILED(hr, expr) \
    (FAILED((hr) = (expr)) ? (::trace::TraceHr(#expr, __FILE__, __LINE__), true) : false)
// True (after tracing) when expr is false.
#define TQ_FALSE(expr) ((expr) ? false : (::trace::TraceBool(#expr, __FILE__, __LINE__), true))
// Traces a failure given by its text ("E_FAIL", "E_POINTER", "FALSE", ...).
#define TQ_TRACE_HR(text) ::trace::TraceHr(text, __FILE__, __LINE__)
#define TQ_TRACE_BOOL(text) ::trace::TraceBool(text, __FILE__, __LINE__)

#define TQ_REPORT(code, sysError, detail) \
    KErrorLog::Instance().AddError(__FILE__, __LINE__, (code), static_cast<LONG>(sysError), (detail))
#define TQ_REPORT_FORMATTED(code, sysError, detail) \
    KErrorLog::Instance().AddErrorFormatted(__FILE__, __LINE__, (code), static_cast<LONG>(sysError), (detail))
#define TQ_REPORT_SYSTEM(code, sysError, detail) \
    KErrorLog::Instance().AddSystemError(__FILE__, __LINE__, (code), static_cast<LONG>(sysError), (detail))
#define TQ_REPORT_EX(code, sysError) \
    KErrorLog::Instance().AddErrorEx(__FILE__, __LINE__, (code), static_cast<LONG>(sysError), u"")

// A null pointer argument: traced, reported as "Invalid pointer" (logged
// only) and answered with E_POINTER.
#define TQ_CHECK_POINTER(p)                                          \
    do {                                                             \
        if (!(p)) {                                                  \
            TQ_TRACE_HR("E_POINTER");                                \
            TQ_REPORT(EC_INTERNAL, E_POINTER, u"Invalid pointer"); \
            return E_POINTER;                                        \
        }                                                            \
    } while (0)
