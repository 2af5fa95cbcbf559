#include "service/controller/KControllerComponents.h"

#include "service/audio/KAudioCapturer.h"
#include "service/audio/KAudioPlayer.h"
#include "service/audio/KCache.h"
#include "service/foundation/KPlayList.h"
#include "service/foundation/KSettings.h"

KControllerComponents KControllerComponents::Engine() {
    KControllerComponents c;
    c.createPlaylist = []() -> IPlayList* { return KPlayList::Create(); };
    c.createSettings = []() -> ISettings* { return CreateSettingsObject(); };
    c.createCache = []() -> ICache* { return KCache::Create(); };
    c.createPlayer = [](bool live) -> IAudioPlayer* {
        KAudioPlayer* player = KAudioPlayer::Create();
        if (player) player->SetLiveFeed(live);
        return player;
    };
    c.createCapturer = []() -> IAudioCapturer* { return KAudioCapturer::Create(); };
    c.flushCache = [](ICache* cache) { return static_cast<KCache*>(cache)->Flush(); };
    c.encoderFactory = [](EEncoderType type) { return KEncoderFactories::Process().Get(type); };
    // The disk is asked through the platform's free-space query (no override).
    return c;
}
