#pragma once
// The debugger message channel. Nobody listens by default; with
// TONQUIL_DEBUG_OUTPUT=1 in the environment the messages go to stderr.
#include <string_view>

namespace plat {

void OutputDebugString(std::u16string_view text);

}  // namespace plat
