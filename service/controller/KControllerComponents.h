#pragma once
// How the controller gets its components. The engine uses the real objects;
// tests hand in their own so that the controller can be driven without sound
// devices, a disk cache or stored files.
#include <functional>
#include <string>

#include "ipc/QXServiceLib.h"
#include "service/encoders/KEncoderFactories.h"

struct IAudioCapturer;
namespace SoundProcessing {
class KSongDetector;
}

struct KControllerComponents {
    // Each creator returns a new object with no reference taken yet (the
    // controller's counted pointer takes the first), or null after logging.
    std::function<IPlayList*()> createPlaylist;
    std::function<ISettings*()> createSettings;
    std::function<ICache*()> createCache;
    // live: a player that passes sound on as it comes (see
    // KAudioPlayer::SetLiveFeed), not one fed from the cache.
    std::function<IAudioPlayer*(bool live)> createPlayer;
    std::function<IAudioCapturer*()> createCapturer;
    // Bytes free to this user on the volume that holds the folder; false with
    // the last error set when the volume cannot be asked.
    std::function<bool(const std::u16string& folder, ULONGLONG* freeBytes)> diskFreeSpace;
    // Writes what the cache still holds in memory to its files (before its
    // index is saved and its folder changes); none when the cache has nothing
    // held back.
    std::function<HRESULT(ICache*)> flushCache;
    // The maker of an encoder type (empty when none is offered for it); asked
    // at every CreateNewEncoder, so encoders registered after the engine was
    // built are found too.
    std::function<KEncoderFactory(EEncoderType)> encoderFactory;
    // Hands a block of the recorded stream to the song detector; empty: the
    // detector's own analysis. Tests put one in its place that can fail.
    std::function<HRESULT(SoundProcessing::KSongDetector& detector, const short* samples, LONG bytes, LONGLONG position)>
        analyseBlock;
    // The engine threads run unless a test drives their passes itself.
    bool startThreads = true;
    // The maintenance pass's pace while nothing moves the cache positions
    // (not recording, not replaying): commands wake it at once, so this is
    // only the pace of the saves and of changes no command made. Tests set
    // it beyond their length to see that the wake-ups alone suffice.
    DWORD stillMaintenancePeriodMs = 1000;

    // The real playlist, settings, cache, players, capturer and disk query,
    // and the encoders registered in KEncoderFactories::Process().
    static KControllerComponents Engine();
};
