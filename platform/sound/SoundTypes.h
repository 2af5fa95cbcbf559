#pragma once
// The shapes shared by every sound backend: the wave-format record, status
// and play flags, the backend's own failure codes, position notifications and
// the device enumeration callback.
#include <memory>

#include "platform/com/Guid.h"
#include "platform/core/HResult.h"
#include "platform/core/Sync.h"
#include "platform/core/WaveFormat.h"
#include "platform/core/WinTypes.h"

namespace plat {

// Playback buffer status bits and the play flag.
inline constexpr DWORD DSBSTATUS_PLAYING = 0x1;
inline constexpr DWORD DSBSTATUS_LOOPING = 0x4;
inline constexpr DWORD DSBPLAY_LOOPING = 0x1;
// Capture buffer status bits and the start flag.
inline constexpr DWORD DSCBSTATUS_CAPTURING = 0x1;
inline constexpr DWORD DSCBSTATUS_LOOPING = 0x2;
inline constexpr DWORD DSCBSTART_LOOPING = 0x1;
// Cooperative level asked for by players (accepted and otherwise ignored).
inline constexpr DWORD DSSCL_EXCLUSIVE = 3;

// Failures of the sound layer.
inline constexpr HRESULT DSERR_ALLOCATED = MakeHResult(0x8878000Au);
inline constexpr HRESULT DSERR_INVALIDCALL = MakeHResult(0x88780032u);
inline constexpr HRESULT DSERR_BADFORMAT = MakeHResult(0x88780064u);
inline constexpr HRESULT DSERR_NODRIVER = MakeHResult(0x88780078u);
inline constexpr HRESULT DSERR_BUFFERLOST = MakeHResult(0x88780096u);

// An event that a buffer sets each time its cursor passes the byte at offset.
struct SoundNotifyPosition {
    DWORD dwOffset = 0;
    std::shared_ptr<Event> event;
};

// One enumerated device: guid is null for the first, "primary" entry that
// stands for the system default; it points to storage that is only valid
// during the call. Returning FALSE ends the enumeration.
using SoundEnumCallback = BOOL (*)(const GUID* guid, const char16_t* description, const char16_t* module,
                                   void* context);

}  // namespace plat
