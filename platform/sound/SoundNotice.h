#pragma once
// What the sound layer has to tell the program's log, one line each: a sound
// server that went away and came back. The program installs where the lines
// go; without that they go to the debugger channel.
#include <functional>
#include <string>

namespace plat {

using SoundNoticeSink = std::function<void(const std::u16string& text)>;

// Replaces where notices go (null: back to the debugger channel).
void SetSoundNoticeSink(SoundNoticeSink sink);
void SoundNotice(const std::u16string& text);

}  // namespace plat
