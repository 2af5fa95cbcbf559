#include "service/controller/CProxy_IAudioControllerEvents.h"

#include "platform/com/Bstr.h"

namespace {

// The song's identity as clients receive it: the registry form in braces.
HRESULT CallWithGuid(_IAudioControllerEvents* sink, const GUID& guid,
                     HRESULT (_IAudioControllerEvents::*method)(BSTR)) {
    plat::Bstr text(plat::GuidToString(guid));
    if (text.IsNull()) return E_OUTOFMEMORY;
    return (sink->*method)(text.Get());
}

}  // namespace

HRESULT CProxy_IAudioControllerEvents::Fire_SongDetected(const GUID& guid) {
    return FireEach([&](_IAudioControllerEvents* s) { return CallWithGuid(s, guid, &_IAudioControllerEvents::SongDetected); });
}

HRESULT CProxy_IAudioControllerEvents::Fire_CacheAlmostFull(UINT nMinutesTo) {
    return FireEach([&](_IAudioControllerEvents* s) { return s->CacheAlmostFull(nMinutesTo); });
}

HRESULT CProxy_IAudioControllerEvents::Fire_SongDeleted(const GUID& guid) {
    return FireEach([&](_IAudioControllerEvents* s) { return CallWithGuid(s, guid, &_IAudioControllerEvents::SongDeleted); });
}

HRESULT CProxy_IAudioControllerEvents::Fire_DiskAlmostFull(UINT nMinutesTo) {
    return FireEach([&](_IAudioControllerEvents* s) { return s->DiskAlmostFull(nMinutesTo); });
}

HRESULT CProxy_IAudioControllerEvents::Fire_DiskFull() {
    return FireEach([](_IAudioControllerEvents* s) { return s->DiskFull(); });
}

HRESULT CProxy_IAudioControllerEvents::Fire_ClearPlayList() {
    return FireEach([](_IAudioControllerEvents* s) { return s->ClearPlayList(); });
}

HRESULT CProxy_IAudioControllerEvents::Fire_CacheLoaded(UINT nNewCacheSize) {
    return FireEach([&](_IAudioControllerEvents* s) { return s->CacheLoaded(nNewCacheSize); });
}

HRESULT CProxy_IAudioControllerEvents::Fire_CacheLoading() {
    return FireEach([](_IAudioControllerEvents* s) { return s->CacheLoading(); });
}
