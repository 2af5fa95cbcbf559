// Transport methods, state queries and the position, fullness and range
// queries of the controller's interface.
#include <limits>

#include "log/Trace.h"
#include "service/controller/KAudioController.h"
#include "service/controller/KEngineLock.h"
#include "service/foundation/ByteTime.h"
#include "service/foundation/KTimecode.h"

namespace {

// The time code holds up to 99:59:59.99.
constexpr ULONGLONG kLargestTimecodeMs = 359999990;
constexpr ULONGLONG kBytesPerHundredth = KAudioController::kByteRate / 100;
// Larger magnitudes make no sense as stream positions; holding them here keeps
// the byte arithmetic clear of overflow.
constexpr ULONGLONG kLargestMs = std::numeric_limits<LONGLONG>::max() / KAudioController::kByteRate;

}  // namespace

ULONGLONG KAudioController::PositionToBytes(ULONGLONG llMilliseconds) {
    if (llMilliseconds <= kLargestTimecodeMs) {
        KTimecode timecode;
        timecode.FromMilliseconds(static_cast<DWORD>(llMilliseconds));
        return TimecodeToBytes(timecode, kByteRate);
    }
    // Beyond what the time code holds: the same whole hundredths, counted directly.
    if (llMilliseconds > kLargestMs) llMilliseconds = kLargestMs;
    return (llMilliseconds / 10) * kBytesPerHundredth;
}

LONGLONG KAudioController::OffsetToBytes(LONGLONG llMilliseconds) {
    ULONGLONG magnitude = llMilliseconds < 0 ? 0 - static_cast<ULONGLONG>(llMilliseconds)
                                             : static_cast<ULONGLONG>(llMilliseconds);
    LONGLONG bytes = static_cast<LONGLONG>(PositionToBytes(magnitude));
    return llMilliseconds < 0 ? -bytes : bytes;
}

int KAudioController::BytesToMinutes(LONGLONG llBytes) {
    if (llBytes < 0) llBytes = 0;
    const ULONGLONG ms = BytesToMilliseconds(static_cast<ULONGLONG>(llBytes), kByteRate);
    if (ms == 0) return 0;
    const ULONGLONG minutes = ms / 60000 + 1;
    return minutes > static_cast<ULONGLONG>(INT32_MAX) ? INT32_MAX : static_cast<int>(minutes);
}

// A transport request: the state machine decides; a failure is traced and
// reported under the command's own sentence.
HRESULT KAudioController::RunTransportCommand(ECommand eCmd, const char* expression, const char16_t* failure) {
    HRESULT hr = ProcessCommand(eCmd);
    if (FAILED(hr)) {
        TQ_TRACE_HR(expression);
        TQ_REPORT(EC_INTERNAL, hr, failure);
        return hr;
    }
    return S_OK;
}

HRESULT KAudioController::Play() {
    return RunTransportCommand(_ecPlay, "ProcessCommand(_ecPlay)", u"Play Command was failed");
}

HRESULT KAudioController::Pause() {
    return RunTransportCommand(_ecPause, "ProcessCommand(_ecPause)", u"Pause Command was failed");
}

HRESULT KAudioController::Record() {
    return RunTransportCommand(_ecRec, "ProcessCommand(_ecRec)", u"Record Command was failed");
}

HRESULT KAudioController::StopRecord() {
    return RunTransportCommand(_ecStop, "ProcessCommand(_ecStop)", u"Stop Command was failed");
}

HRESULT KAudioController::Live() {
    return RunTransportCommand(_ecLive, "ProcessCommand(_ecLive)", u"Live Command was failed");
}

HRESULT KAudioController::SetPlayPosition(LONGLONG lOffset, EBasicPosition eBasePos) {
    if (eBasePos != posStart && eBasePos != posEnd && eBasePos != posCurrent) {
        TQ_TRACE_HR("E_INVALIDARG");
        TQ_REPORT(EC_INTERNAL, E_INVALIDARG, u"Unknown base of the play position");
        return E_INVALIDARG;
    }
    if (m_bDestroyed) return E_UNEXPECTED;
    LONGLONG llOffset = OffsetToBytes(lOffset);

    // The command lock first: the positions read, the target stored and the
    // command that applies it form one step for other commands, and the data
    // mutex is let go before the command runs (never wait for the command
    // lock while holding the data mutex).
    KEngineLock commands(m_stateMutex, m_cEventGate);
    ECommand eCmd = _ecNull;
    {
        KEngineLock lock(m_hDataMutex, m_cEventGate);
        HRESULT hr = S_OK;
        ULONGLONG llStartReadPos = 0;
        if (TQ_FAILED(hr, m_pCache->GetStartReadPos(&llStartReadPos))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Getting cache start read position was failed");
            return hr;
        }
        ULONGLONG llWritePos = 0;
        if (TQ_FAILED(hr, m_pCache->GetWritePos(&llWritePos))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Getting cache write position was failed");
            return hr;
        }
        if (GetState() & _esLive) {
            if (TQ_FAILED(hr, m_pCache->SynchronizeReadPos(llWritePos - llStartReadPos, posStart))) {
                TQ_REPORT(EC_INTERNAL, hr, u"SynchronizeReadPos was failed");
                return hr;
            }
        }
        ULONGLONG llReadPos = 0;
        if (TQ_FAILED(hr, m_pCache->GetReadPosEx(PLAY_DEVICE_BUFFER, &llReadPos))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Getting cache read position was failed");
            return hr;
        }
        m_eReadPosBase = eBasePos;
        m_llReadPosOffset = llOffset;
        LONGLONG llRead = static_cast<LONGLONG>(llReadPos);
        switch (eBasePos) {
            case posCurrent:
                eCmd = llOffset > 0 ? _ecSkip : _ecBack;
                break;
            case posEnd:
                eCmd = static_cast<LONGLONG>(llWritePos) + llOffset < llRead ? _ecBack : _ecSkip;
                break;
            case posStart:
                eCmd = static_cast<LONGLONG>(llStartReadPos) + llOffset < llRead ? _ecBack : _ecSkip;
                break;
        }
    }
    HRESULT hr = S_OK;
    if (eCmd == _ecBack) {
        if (TQ_FAILED(hr, ProcessCommand(_ecBack))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Back command was failed");
            return hr;
        }
    } else {
        if (TQ_FAILED(hr, ProcessCommand(_ecSkip))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Skip command was failed");
            return hr;
        }
    }
    return S_OK;
}

HRESULT KAudioController::GetAvailableCommands(ULONG* pCommands) {
    TQ_CHECK_POINTER(pCommands);
    DWORD dwCommandsTemp = AllowedCommands(GetState());
    if (TQ_FALSE(dwCommandsTemp != _ecNull)) {
        TQ_REPORT(EC_INTERNAL, 0, u"No such state available");
        return E_FAIL;  // a state outside the table: no call failed, no last error stands in
    }
    *pCommands = dwCommandsTemp;
    return S_OK;
}

HRESULT KAudioController::GetCurrentState(ULONG* pState) {
    TQ_CHECK_POINTER(pState);
    *pState = GetState();
    return S_OK;
}

HRESULT KAudioController::CheckState(EState eState, LONG* pYes) {
    TQ_CHECK_POINTER(pYes);
    *pYes = (static_cast<DWORD>(eState) & GetState()) != 0 ? 1 : 0;
    return S_OK;
}

HRESULT KAudioController::CheckCommand(ECommand eCommand, LONG* pYes) {
    TQ_CHECK_POINTER(pYes);
    DWORD dwCommands = AllowedCommands(GetState());
    if (TQ_FALSE(dwCommands != _ecNull)) {
        TQ_REPORT(EC_INTERNAL, 0, u"No such state");
        return E_FAIL;
    }
    *pYes = (dwCommands & static_cast<DWORD>(eCommand)) != 0 ? 1 : 0;
    return S_OK;
}

HRESULT KAudioController::IsCacheFull(LONG* pYes) {
    TQ_CHECK_POINTER(pYes);
    return m_pCache->IsFull(pYes);
}

HRESULT KAudioController::GetCacheMs(HRESULT (ICache::*read)(ULONGLONG*), const char* expression,
                                     const char16_t* failure, ULONG* pMs) {
    TQ_CHECK_POINTER(pMs);
    ULONGLONG llBytes = 0;
    const HRESULT hr = (m_pCache.Get()->*read)(&llBytes);
    if (FAILED(hr)) {
        TQ_TRACE_HR(expression);
        TQ_REPORT(EC_INTERNAL, hr, failure);
        return hr;
    }
    *pMs = SaturateToDword(BytesToMilliseconds(llBytes, kByteRate));
    return S_OK;
}

HRESULT KAudioController::GetPlayPosition(ULONG* pdwAbsPos) {
    return GetCacheMs(&ICache::GetReadPos, "m_pCache->GetReadPos(&llBytes)", u"Getting cache read position was failed", pdwAbsPos);
}

HRESULT KAudioController::GetRecordPosition(ULONG* pdwAbsPos) {
    return GetCacheMs(&ICache::GetWritePos, "m_pCache->GetWritePos(&llBytes)", u"Getting cache write position was failed", pdwAbsPos);
}

HRESULT KAudioController::GetPercentFullness(BYTE* pPercent) {
    TQ_CHECK_POINTER(pPercent);
    HRESULT hr = S_OK;
    if (TQ_FAILED(hr, m_pCache->GetPercentFullness(pPercent))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting cache fullness in percent read position was failed");
        return hr;
    }
    return S_OK;
}

HRESULT KAudioController::GetTimeFullness(ULONG* pTime) {
    return GetCacheMs(&ICache::GetTimeFullness, "m_pCache->GetTimeFullness(&llBytes)", u"Getting cache fullness in bytes position was failed", pTime);
}

HRESULT KAudioController::GetStartReadPos(ULONG* pPos) {
    return GetCacheMs(&ICache::GetStartReadPos, "m_pCache->GetStartReadPos(&llBytes)", u"Getting cache start reading position position was failed", pPos);
}

HRESULT KAudioController::SetUndeletableRange(ULONGLONG llStartPos, ULONGLONG llEndPos) {
    return m_pCache->SetUndeletableRange(PositionToBytes(llStartPos), PositionToBytes(llEndPos));
}

HRESULT KAudioController::ResetUndeletableRange(ULONGLONG llStartPos, ULONGLONG llEndPos) {
    return m_pCache->ResetUndeletableRange(PositionToBytes(llStartPos), PositionToBytes(llEndPos));
}

HRESULT KAudioController::GetAmountCacheBuffer(UINT* pAmount) {
    TQ_CHECK_POINTER(pAmount);
    *pAmount = kCacheBuffers;
    return S_OK;
}
