#include <gtest/gtest.h>

#include <vector>

#include "log/KErrorLog.h"
#include "service/controller/KStateMachine.h"

namespace {

class Recorder : public KStateMachine {
public:
    Recorder() : KStateMachine(_esLive, _esPlay, _esStop, _esAtFirstPos) {}
    std::vector<DWORD> calls;
    HRESULT result = S_OK;
    void Force(DWORD state) {
        ResetState(0xFFFFFFFFu);
        SetState(state);
    }

protected:
    HRESULT Note(DWORD c) {
        calls.push_back(c);
        return result;
    }
    HRESULT OnPlay() override { return Note(_ecPlay); }
    HRESULT OnPause() override { return Note(_ecPause); }
    HRESULT OnLive() override { return Note(_ecLive); }
    HRESULT OnRec() override { return Note(_ecRec); }
    HRESULT OnSkip() override { return Note(_ecSkip); }
    HRESULT OnBack() override { return Note(_ecBack); }
    HRESULT OnStop() override { return Note(_ecStop); }
};

// The commands a state allows, from the rules rather than the table.
DWORD ByRules(DWORD s) {
    DWORD c = 0;
    c |= (s & _esPlay) ? _ecPause : _ecPlay;
    c |= (s & _esRec) ? _ecStop : _ecRec;
    if (s & _esReplay) c |= _ecLive | _ecSkip;
    c |= _ecBack;
    if (s & _esAtFirstPos) c &= ~static_cast<DWORD>(_ecBack);
    if (s & _esAtLastPos) c &= ~static_cast<DWORD>(_ecSkip);
    return c;
}

}  // namespace

TEST(KStateMachine, EveryValidStateAllowsWhatTheRulesSay) {
    int valid = 0;
    for (DWORD mode : {_esLive, _esReplay})
        for (DWORD play : {_esPlay, _esPause})
            for (DWORD rec : {_esRec, _esStop})
                for (DWORD pos : {0u, DWORD(_esAtFirstPos), DWORD(_esAtLastPos), DWORD(_esAtFirstPos | _esAtLastPos)}) {
                    DWORD s = mode | play | rec | pos;
                    EXPECT_EQ(KStateMachine::AllowedCommands(s), ByRules(s)) << std::hex << s;
                    ++valid;
                    Recorder m;
                    m.Force(s);
                    for (DWORD cmd = 1; cmd <= _ecBack; cmd <<= 1) {
                        m.calls.clear();
                        EXPECT_EQ(m.ProcessCommand(static_cast<ECommand>(cmd)), S_OK);
                        bool ran = !m.calls.empty();
                        EXPECT_EQ(ran, (ByRules(s) & cmd) != 0) << std::hex << s << " cmd " << cmd;
                        if (ran) {
                            EXPECT_EQ(m.calls.front(), cmd);
                        }
                    }
                }
    EXPECT_EQ(valid, 32);
}

TEST(KStateMachine, InitialStateAllowsOnlyPauseAndRec) {
    Recorder m;
    EXPECT_EQ(m.GetState(), 0x65u);
    for (ECommand c : {_ecSkip, _ecBack, _ecPlay, _ecLive, _ecStop}) EXPECT_EQ(m.ProcessCommand(c), S_OK);
    EXPECT_TRUE(m.calls.empty());
    m.ProcessCommand(_ecPause);
    m.ProcessCommand(_ecRec);
    EXPECT_EQ(m.calls, (std::vector<DWORD>{_ecPause, _ecRec}));
}

TEST(KStateMachine, CombinedCommandsMatchNoHandler) {
    Recorder m;
    m.Force(0x29);
    EXPECT_EQ(m.ProcessCommand(static_cast<ECommand>(_ecPlay | _ecPause)), S_OK);
    EXPECT_TRUE(m.calls.empty());
}

TEST(KStateMachine, NullCommandAndInvalidStatesFailEvenWithoutALastError) {
    Recorder m;
    plat::SetLastError(0);
    EXPECT_EQ(m.ProcessCommand(_ecNull), E_FAIL);
    m.Force(0);
    EXPECT_EQ(m.ProcessCommand(_ecPlay), E_FAIL);
    m.Force(_esLive | _esReplay | _esPlay | _esStop);
    EXPECT_EQ(m.ProcessCommand(_ecPause), E_FAIL);
    EXPECT_TRUE(m.calls.empty());
}

TEST(KStateMachine, HandlerResults) {
    Recorder m;
    m.result = S_FALSE;
    EXPECT_EQ(m.ProcessCommand(_ecPause), S_OK);
    m.result = E_FAIL;
    EXPECT_EQ(m.ProcessCommand(_ecRec), E_FAIL);
}

TEST(KStateMachine, EndsOfTheCacheRemoveSkipOrBack) {
    Recorder m;
    m.Force(0xA6);
    m.ProcessCommand(_ecSkip);
    m.ProcessCommand(_ecBack);
    m.Force(0x66);
    m.ProcessCommand(_ecBack);
    m.ProcessCommand(_ecSkip);
    EXPECT_EQ(m.calls, (std::vector<DWORD>{_ecBack, _ecSkip}));
}
