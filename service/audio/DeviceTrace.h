#pragma once
// Traces a failed sound-device step under the expression text that the log
// has always shown for it, which names the step rather than this code.
#include "log/Trace.h"

#define TQ_FAILED_AS(hr, expr, text) (FAILED((hr) = (expr)) ? (TQ_TRACE_HR(text), true) : false)
