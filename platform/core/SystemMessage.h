#pragma once
// The system's message texts for error codes. Each text ends with its own
// carriage return and line feed, as system messages do.
#include <string>

#include "platform/core/HResult.h"

namespace plat {

// Looks up the text for a message id (an HRESULT; Win32 errors appear as
// 0x8007xxxx, success as 0). False, and text untouched, when there is none.
bool FormatSystemMessage(HRESULT messageId, std::u16string* text);

}  // namespace plat
