#pragma once
// What the storage checks remember between two runs, and when they warn.
// A warning about minutes left fires when the value enters 1..5 minutes and
// again whenever it changes there; once it has left that range it fires
// again on the way back. "Disk full" fires once per shortage.
#include "platform/core/WinTypes.h"

class KStorageWarnings {
public:
    static constexpr UINT kFirstWarningMinutes = 5;

    // True when CacheAlmostFull(minutes) is to be fired now.
    bool CheckCache(UINT minutes);
    // True when DiskAlmostFull(minutes) is to be fired now; pWasActive (may
    // be null) tells whether a warning was already standing.
    bool CheckDisk(UINT minutes, bool* pWasActive = nullptr);
    // After each disk check: when recording has just stopped, the disk
    // warning is armed again, so the next recording is warned afresh.
    void NoteState(DWORD state);
    // True when DiskFull is to be fired now (the disk has just become full).
    bool CheckDiskFull(bool full);

private:
    bool m_bCacheWarning = false;
    UINT m_nCacheMinutes = kFirstWarningMinutes;
    bool m_bDiskWarning = false;
    UINT m_nDiskMinutes = kFirstWarningMinutes;
    DWORD m_dwLastState = 0;
    bool m_bDiskFull = false;
};
