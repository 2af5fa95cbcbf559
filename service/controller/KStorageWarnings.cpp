#include "service/controller/KStorageWarnings.h"

#include "ipc/QXServiceLib.h"

namespace {

bool InRange(UINT minutes) { return minutes >= 1 && minutes <= KStorageWarnings::kFirstWarningMinutes; }

}  // namespace

bool KStorageWarnings::CheckCache(UINT minutes) {
    if (!InRange(minutes)) {
        m_bCacheWarning = false;
        return false;
    }
    bool fire = !m_bCacheWarning || minutes != m_nCacheMinutes;
    m_bCacheWarning = true;
    m_nCacheMinutes = minutes;
    return fire;
}

bool KStorageWarnings::CheckDisk(UINT minutes, bool* pWasActive) {
    if (pWasActive) *pWasActive = m_bDiskWarning;
    if (!InRange(minutes)) {
        m_nDiskMinutes = kFirstWarningMinutes;
        m_bDiskWarning = false;
        return false;
    }
    bool fire = !m_bDiskWarning || minutes != m_nDiskMinutes;
    m_bDiskWarning = true;
    m_nDiskMinutes = minutes;
    return fire;
}

void KStorageWarnings::NoteState(DWORD state) {
    // Only the moment recording stops re-arms; re-arming at every check while
    // stopped would repeat the warning every few seconds for nothing.
    bool stoppedNow = (state & _esStop) != 0;
    bool stoppedBefore = (m_dwLastState & _esStop) != 0;
    if (stoppedNow && !stoppedBefore && m_dwLastState != 0) {
        m_nDiskMinutes = kFirstWarningMinutes;
        m_bDiskWarning = false;
    }
    m_dwLastState = state;
}

bool KStorageWarnings::CheckDiskFull(bool full) {
    if (!full) {
        m_bDiskFull = false;
        return false;
    }
    if (m_bDiskFull) return false;
    m_bDiskFull = true;
    return true;
}
