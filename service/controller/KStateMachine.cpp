#include "service/controller/KStateMachine.h"

#include <iterator>

#include "log/KLock.h"
#include "log/Trace.h"

const KStateMachine::SCommandHandler KStateMachine::m_saCSTable[7] = {
    {_ecPlay, &KStateMachine::OnPlay}, {_ecPause, &KStateMachine::OnPause}, {_ecLive, &KStateMachine::OnLive},
    {_ecRec, &KStateMachine::OnRec},   {_ecStop, &KStateMachine::OnStop},   {_ecSkip, &KStateMachine::OnSkip},
    {_ecBack, &KStateMachine::OnBack},
};

// Every valid state with the commands it allows. Of Play/Pause only the one not
// in force is allowed, likewise of Rec/Stop; Live and Skip only while replaying;
// Back in both modes; at the first position no Back, at the last no Skip.
const KStateMachine::SStateCommands KStateMachine::m_saStateTable[32] = {
    {0x15, 0x52}, {0x25, 0x4A}, {0x29, 0x49}, {0x19, 0x51}, {0x16, 0x76}, {0x26, 0x6E}, {0x1A, 0x75}, {0x2A, 0x6D},
    {0x55, 0x12}, {0x65, 0x0A}, {0x69, 0x09}, {0x59, 0x11}, {0x56, 0x36}, {0x66, 0x2E}, {0x5A, 0x35}, {0x6A, 0x2D},
    {0x95, 0x52}, {0xA5, 0x4A}, {0xA9, 0x49}, {0x99, 0x51}, {0x96, 0x56}, {0xA6, 0x4E}, {0x9A, 0x55}, {0xAA, 0x4D},
    {0xD5, 0x12}, {0xE5, 0x0A}, {0xE9, 0x09}, {0xD9, 0x11}, {0xD6, 0x16}, {0xE6, 0x0E}, {0xDA, 0x15}, {0xEA, 0x0D},
};

KStateMachine::KStateMachine(EState a, EState b, EState c, EState d)
    : m_dwState(static_cast<DWORD>(a) | static_cast<DWORD>(b) | static_cast<DWORD>(c) | static_cast<DWORD>(d)) {}

DWORD KStateMachine::AllowedCommands(DWORD state) {
    for (const SStateCommands& row : m_saStateTable)
        if (row.m_dwState == state) return row.m_dwCommands;
    return 0;
}

HRESULT KStateMachine::ProcessCommand(ECommand eCmd) {
    KLock lock(m_stateMutex);
    if (eCmd == _ecNull) {
        TQ_TRACE_BOOL("eCmd != _ecNull");
        TQ_REPORT(EC_INTERNAL, 0, u"Unexpected command passed");
        return E_FAIL;  // the checks set no error: a stale one must not stand in
    }
    DWORD dwCommands = AllowedCommands(GetState());
    if (dwCommands == 0) {
        TQ_TRACE_BOOL("dwCommands != _ecNull");
        TQ_REPORT(EC_INTERNAL, 0, u"Program in unavailable state");
        return E_FAIL;
    }
    if ((static_cast<DWORD>(eCmd) & dwCommands) == 0) return S_OK;
    for (const SCommandHandler& row : m_saCSTable) {
        if (row.m_dwCommand != static_cast<DWORD>(eCmd)) continue;
        HRESULT hr = (this->*row.m_pfaHandler)();
        if (FAILED(hr)) {
            TQ_TRACE_HR("(this->*m_saCSTable[i].m_pfaHandler)()");
            TQ_REPORT(EC_INTERNAL, hr, u"(this->*m_saCSTable[i].m_pfaHandler)() was failed");
            return hr;
        }
        return S_OK;
    }
    return S_OK;
}
