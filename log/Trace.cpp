#include "log/Trace.h"

#include "platform/core/DebugOutput.h"
#include "platform/core/Text.h"

namespace trace {

void TraceHr(const char* expression, const char* file, int line) {
    DWORD saved = plat::GetLastError();
    plat::OutputDebugString(u"HRESULT have failed value\n");
    KErrorLog::Instance().WriteLine(0, plat::ToUtf16(expression ? expression : ""), file, line);
    plat::SetLastError(saved);
}

void TraceBool(const char* expression, const char* file, int line) {
    DWORD saved = plat::GetLastError();
    KErrorLog::Instance().WriteLine(0, plat::ToUtf16(expression ? expression : ""), file, line);
    plat::SetLastError(saved);
}

}  // namespace trace
