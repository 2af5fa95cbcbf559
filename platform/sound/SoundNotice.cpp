#include "platform/sound/SoundNotice.h"

#include <mutex>

#include "platform/core/DebugOutput.h"

namespace plat {

namespace {
std::mutex g_lock;
SoundNoticeSink g_sink;
}  // namespace

void SetSoundNoticeSink(SoundNoticeSink sink) {
    std::lock_guard<std::mutex> g(g_lock);
    g_sink = std::move(sink);
}

void SoundNotice(const std::u16string& text) {
    SoundNoticeSink sink;
    {
        std::lock_guard<std::mutex> g(g_lock);
        sink = g_sink;
    }
    if (sink) sink(text);
    else OutputDebugString(text + u"\n");
}

}  // namespace plat
