#include "service/encoders/AvLog.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdarg>
#include <mutex>

#include "platform/core/DebugOutput.h"
#include "platform/core/Text.h"

namespace {

void ToDebugChannel(void* context, int level, const char* format, va_list args) {
    if (level > av_log_get_level()) return;
    // A message may come in parts; the "[codec @ 0x...]" prefix belongs
    // before the first part of each line only.
    thread_local int linePrefix = 1;
    char line[1024];
    va_list copy;
    va_copy(copy, args);
    const int length = av_log_format_line2(context, level, format, copy, line, sizeof line, &linePrefix);
    va_end(copy);
    if (length > 0) plat::OutputDebugString(plat::ToUtf16(line));
}

}  // namespace

void RouteFfmpegMessages() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(ToDebugChannel); });
}
