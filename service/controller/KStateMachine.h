#pragma once
// Decides whether a transport command may run in the engine's current state
// and, if so, runs its handler. One command runs at a time.
#include <atomic>

#include "ipc/QXServiceLib.h"
#include "platform/core/Sync.h"

class KStateMachine {
public:
    struct SCommandHandler {
        DWORD m_dwCommand;
        HRESULT (KStateMachine::*m_pfaHandler)();
    };
    struct SStateCommands {
        DWORD m_dwState;
        DWORD m_dwCommands;
    };

    static const SCommandHandler m_saCSTable[7];
    static const SStateCommands m_saStateTable[32];

    KStateMachine(EState a, EState b, EState c, EState d);
    virtual ~KStateMachine() = default;
    KStateMachine(const KStateMachine&) = delete;
    KStateMachine& operator=(const KStateMachine&) = delete;

    // The only way a command runs. S_OK when it ran, was not allowed now or
    // matched no handler; the handler's failure otherwise.
    HRESULT ProcessCommand(ECommand eCmd);

    // The commands the given state allows (0 for a word that is no valid state).
    static DWORD AllowedCommands(DWORD state);

    // The state word. Callers that change it hold the controller's data mutex.
    void SetState(DWORD flags) { m_dwState.fetch_or(flags); }
    void ResetState(DWORD flags) { m_dwState.fetch_and(~flags); }
    DWORD GetState() const { return m_dwState.load(); }

protected:
    virtual HRESULT OnPlay() = 0;
    virtual HRESULT OnPause() = 0;
    virtual HRESULT OnLive() = 0;
    virtual HRESULT OnRec() = 0;
    virtual HRESULT OnSkip() = 0;
    virtual HRESULT OnBack() = 0;
    virtual HRESULT OnStop() = 0;

    // Held while a command runs; always taken before the controller's data mutex.
    plat::Mutex m_stateMutex;

private:
    std::atomic<DWORD> m_dwState;
};
