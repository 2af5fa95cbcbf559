#pragma once
// The controller's connection point for _IAudioControllerEvents: the list of
// advised sinks (shared connection-point base) and the eight firing
// operations. Lives inside the controller and shares its reference count.
#include "ipc/KConnectionPoint.h"

class CProxy_IAudioControllerEvents final : public KConnectionPoint<_IAudioControllerEvents> {
public:
    using KConnectionPoint::KConnectionPoint;

    // Each calls every sink; S_OK with no sink, else the first failure of a
    // sink (a later sink's success does not hide it) or S_OK.
    HRESULT Fire_SongDetected(const GUID& guid);
    HRESULT Fire_CacheAlmostFull(UINT nMinutesTo);
    HRESULT Fire_SongDeleted(const GUID& guid);
    HRESULT Fire_DiskAlmostFull(UINT nMinutesTo);
    HRESULT Fire_DiskFull();
    HRESULT Fire_ClearPlayList();
    HRESULT Fire_CacheLoaded(UINT nNewCacheSize);
    HRESULT Fire_CacheLoading();
};
