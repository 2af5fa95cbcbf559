// Transport commands, their handlers and the state and position queries.
#include "service/controller/tests/ControllerFixture.h"

#include "log/ErrorTextTable.h"
#include "log/KErrorLog.h"
#include "service/controller/tests/StateRules.h"


class ControllerCommands : public ControllerFixture {
protected:
    void SetUp() override {
        ControllerFixture::SetUp();
        ASSERT_EQ(S_OK, Build());
    }
    void Force(DWORD state) {
        controller->ResetState(0xFFFFFFFFu);
        controller->SetState(state);
    }
    ULONGLONG ReadPos() {
        ULONGLONG pos = 0;
        cache->GetReadPosEx(0, &pos);
        return pos;
    }
    // What the maintenance thread would do within 10 ms.
    void Fill(ULONGLONG bytes) {
        cache->Fill(0, bytes, 1);
        controller->UpdatePositionState();
    }
    ULONGLONG WritePos() {
        ULONGLONG pos = 0;
        cache->GetWritePos(&pos);
        return pos;
    }
};

TEST_F(ControllerCommands, EveryStateAndCommandFollowsTheTableAndTheTransitionRules) {
    const ECommand commands[] = {_ecPlay, _ecPause, _ecLive, _ecRec, _ecStop, _ecSkip, _ecBack};
    for (int iaa = 0; iaa <= 1; ++iaa) {
        settings->interceptAlways = iaa;
        for (const auto& row : KStateMachine::m_saStateTable) {
            for (ECommand cmd : commands) {
                Force(row.m_dwState);
                cache->SetStart(0);
                HRESULT hr = controller->ProcessCommand(cmd);
                ASSERT_EQ(S_OK, hr) << std::hex << row.m_dwState << " cmd " << cmd;
                DWORD now = State();
                bool allowed = (row.m_dwCommands & static_cast<DWORD>(cmd)) != 0;
                DWORD expected = allowed ? ExpectedModes(row.m_dwState, cmd, iaa != 0) : row.m_dwState;
                EXPECT_EQ(expected & kModeFlags, now & kModeFlags)
                    << "state 0x" << std::hex << row.m_dwState << " command " << cmd << " intercept " << iaa;
                EXPECT_EQ(row.m_dwState & ~kModeFlags, now & ~kModeFlags) << "position flags are the maintenance's";
            }
        }
    }
}

TEST_F(ControllerCommands, PauseWhileLiveAndStoppedKeepsTheLiveSound) {
    ASSERT_EQ(S_OK, controller->Pause());
    EXPECT_EQ(DWORD(_esLive | _esPause | _esStop | _esAtFirstPos), State());
    EXPECT_TRUE(live()->IsPlaying());
    EXPECT_EQ(0, live()->Calls("StopPlay"));
}

TEST_F(ControllerCommands, PauseWhileRecordingReplaysFromTheLivePointAndLiveResumesTheLiveSound) {
    cache->Fill(0, 10 * kSecond, 1);
    Record();
    ASSERT_EQ(S_OK, controller->Pause());
    EXPECT_EQ(DWORD(_esReplay | _esPause | _esRec), State() & kModeFlags);
    EXPECT_FALSE(live()->IsPlaying());
    EXPECT_FALSE(liveCapture()->IsPlaying());
    EXPECT_EQ(WritePos(), ReadPos());
    LONG isLive = 1;
    cache->IsLive(0, &isLive);
    EXPECT_EQ(0, isLive);

    int starts = replay()->Calls("StartPlay");
    ASSERT_EQ(S_OK, controller->Play());
    EXPECT_EQ(DWORD(_esReplay | _esPlay | _esRec), State() & kModeFlags);
    EXPECT_EQ(starts + 1, replay()->Calls("StartPlay"));

    ASSERT_EQ(S_OK, controller->Live());
    EXPECT_EQ(DWORD(_esLive | _esPlay | _esRec), State() & kModeFlags);
    EXPECT_FALSE(replay()->IsPlaying());
    // Back to live, the live sound is heard again.
    EXPECT_TRUE(live()->IsPlaying());
    EXPECT_TRUE(liveCapture()->IsPlaying());
}

TEST_F(ControllerCommands, LiveWhilePausedInReplayOnlyMovesToTheLivePoint) {
    cache->Fill(0, 10 * kSecond, 1);
    settings->interceptAlways = 1;
    ASSERT_EQ(S_OK, controller->Pause());
    ASSERT_EQ(DWORD(_esReplay | _esPause | _esStop), State() & kModeFlags);
    cache->SynchronizeReadPos(0, posStart);
    ASSERT_EQ(S_OK, controller->Live());
    EXPECT_EQ(DWORD(_esReplay | _esPause | _esStop), State() & kModeFlags);
    EXPECT_EQ(WritePos(), ReadPos());
    controller->UpdatePositionState();
    EXPECT_TRUE(State() & _esAtLastPos);
    LONG yes = 1;
    controller->CheckCommand(_ecSkip, &yes);
    EXPECT_EQ(0, yes);
}

TEST_F(ControllerCommands, ALiveWithoutAPlaybackDeviceStillReturnsFromPausedReplay) {
    ASSERT_EQ(S_OK, controller->Pause());
    Force(_esReplay | _esPause | _esStop);
    live()->Uninitialize();
    EXPECT_EQ(S_OK, controller->Live());
    EXPECT_EQ(DWORD(_esReplay | _esPause | _esStop), State());
}

TEST_F(ControllerCommands, RecordIsRefusedWhenTheDiskIsFullAndReportsTheSystemError) {
    KErrorLog::Instance().ClearErrors();
    diskFree = 262144;
    EXPECT_EQ(MakeHResult(0x80070070u), controller->Record());
    EXPECT_EQ(0x65u, State());
    std::vector<std::u16string> errors;
    KErrorLog::Instance().GetErrors(&errors);
    ASSERT_EQ(1u, errors.size());
    EXPECT_EQ(0u, errors[0].rfind(u"The following error occurred:", 0));

    diskFails = true;
    HRESULT hr = controller->Record();
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    EXPECT_EQ(0x65u, State());

    diskFails = false;
    diskFree = 262145;
    EXPECT_EQ(S_OK, controller->Record());
    EXPECT_EQ(DWORD(_esLive | _esPlay | _esRec | _esAtFirstPos), State());
}

TEST_F(ControllerCommands, RecordWhilePausedLiveSwitchesToReplay) {
    ASSERT_EQ(S_OK, controller->Pause());
    ASSERT_EQ(S_OK, controller->Record());
    EXPECT_EQ(DWORD(_esReplay | _esPause | _esRec), State() & kModeFlags);
}

TEST_F(ControllerCommands, ALiveRecordingThatCannotStopTheLivePlayerIsReportedAndNotStarted) {
    Force(_esReplay | _esPlay | _esStop);
    live()->Fail("StopPlay", E_ACCESSDENIED);
    EXPECT_EQ(E_ACCESSDENIED, controller->Record());
    EXPECT_EQ(DWORD(_esReplay | _esPlay | _esStop), State());
}

TEST_F(ControllerCommands, StopRecordingClosesASongAtTheWritePosition) {
    Advise();
    Record();
    cache->Fill(0, 12 * kSecond, 1);
    ASSERT_EQ(S_OK, controller->StopRecord());
    EXPECT_EQ(DWORD(_esLive | _esPlay | _esStop), State() & kModeFlags);
    auto songs = playlist->Songs();
    ASSERT_EQ(1u, songs.size());
    ULONG left = 0, right = 0;
    songs[0]->GetBorders(&left, &right);
    EXPECT_EQ(0u, left);
    EXPECT_EQ(12000u, right);
    EXPECT_EQ(1u, events->Count("SongDetected {"));
    // A second stop is refused by the table and adds nothing.
    EXPECT_EQ(S_OK, controller->StopRecord());
    EXPECT_EQ(1u, playlist->Songs().size());
}

TEST_F(ControllerCommands, APlayerThatRefusesToStopUndoesThePause) {
    Record();
    live()->Fail("StopPlay", E_ACCESSDENIED);
    EXPECT_EQ(E_ACCESSDENIED, controller->Pause());
    EXPECT_EQ(DWORD(_esLive | _esPlay | _esRec), State() & kModeFlags);
    LONG isLive = 0;
    cache->IsLive(0, &isLive);
    EXPECT_EQ(1, isLive);
}

TEST_F(ControllerCommands, BackFromLiveReplaysAndStopsTheLivePlayerOnlyWhenInterceptingAlways) {
    Fill(60 * kSecond);
    ASSERT_EQ(S_OK, controller->SetPlayPosition(-5000, posCurrent));
    EXPECT_EQ(DWORD(_esReplay | _esPlay | _esStop), State() & kModeFlags);
    EXPECT_EQ(WritePos() - 5 * kSecond, ReadPos());
    EXPECT_TRUE(live()->IsPlaying());
    EXPECT_TRUE(replay()->IsPlaying());
    ASSERT_EQ(S_OK, controller->Live());
    controller->UpdatePositionState();

    settings->interceptAlways = 1;
    ASSERT_EQ(S_OK, controller->SetPlayPosition(-30000, posCurrent));
    EXPECT_EQ(WritePos() - 30 * kSecond, ReadPos());
    EXPECT_FALSE(live()->IsPlaying());
}

TEST_F(ControllerCommands, SkipAndBackByFiveAndThirtySecondsWhileReplaying) {
    Fill(120 * kSecond);
    ASSERT_EQ(S_OK, controller->SetPlayPosition(-60000, posCurrent));
    controller->UpdatePositionState();
    const ULONGLONG start = ReadPos();
    ASSERT_EQ(WritePos() - 60 * kSecond, start);
    ASSERT_EQ(S_OK, controller->SetPlayPosition(5000, posCurrent));
    EXPECT_EQ(start + 5 * kSecond, ReadPos());
    controller->UpdatePositionState();
    ASSERT_EQ(S_OK, controller->SetPlayPosition(30000, posCurrent));
    EXPECT_EQ(start + 35 * kSecond, ReadPos());
    controller->UpdatePositionState();
    ASSERT_EQ(S_OK, controller->SetPlayPosition(-30000, posCurrent));
    EXPECT_EQ(start + 5 * kSecond, ReadPos());
    controller->UpdatePositionState();
    ASSERT_EQ(S_OK, controller->SetPlayPosition(-5000, posCurrent));
    EXPECT_EQ(start, ReadPos());
}

TEST_F(ControllerCommands, PositionTargetsFromStartAndEndAndTheirRounding) {
    Fill(120 * kSecond);
    ASSERT_EQ(S_OK, controller->SetPlayPosition(-60000, posCurrent));
    controller->UpdatePositionState();
    ASSERT_EQ(S_OK, controller->SetPlayPosition(1234, posStart));  // before the read position: a Back
    EXPECT_EQ(123u * 1920u, ReadPos());
    controller->UpdatePositionState();
    ASSERT_EQ(S_OK, controller->SetPlayPosition(-10000, posEnd));  // after it: a Skip
    EXPECT_EQ(WritePos() - 10 * kSecond, ReadPos());
}

TEST_F(ControllerCommands, RefusalsThatNoCallCausedFailPlainlyNotWithAnOldError) {
    // An error left by some earlier call must not stand in for a refusal.
    const DWORD unknownState = _esLive | _esReplay | _esPlay | _esPause | _esRec | _esStop;
    ULONG commands = 0;
    LONG yes = 0;
    const struct {
        const char* label;
        std::function<HRESULT()> call;
        HRESULT expected;
    } cases[] = {
        {"a null command", [&] { return controller->ProcessCommand(_ecNull); }, E_FAIL},
        {"a command in a state outside the table",
         [&] {
             Force(unknownState);
             return controller->ProcessCommand(_ecPlay);
         },
         E_FAIL},
        {"the commands of a state outside the table",
         [&] {
             Force(unknownState);
             return controller->GetAvailableCommands(&commands);
         },
         E_FAIL},
        {"a command check in a state outside the table",
         [&] {
             Force(unknownState);
             return controller->CheckCommand(_ecPlay, &yes);
         },
         E_FAIL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        plat::SetLastError(ERROR_DISK_FULL);
        EXPECT_EQ(c.expected, c.call());
    }
}

TEST_F(ControllerCommands, PositionRequestsTheStateRefusesChangeNothing) {
    Fill(60 * kSecond);
    ASSERT_EQ(S_OK, controller->SetPlayPosition(5000, posCurrent));  // no Skip while live
    EXPECT_EQ(DWORD(_esLive | _esPlay | _esStop), State() & kModeFlags);

    Force(_esReplay | _esPlay | _esStop | _esAtFirstPos);
    cache->SynchronizeReadPos(0, posStart);
    ASSERT_EQ(S_OK, controller->SetPlayPosition(0, posCurrent));  // a Back, refused at the first position
    EXPECT_EQ(0u, ReadPos());

    EXPECT_EQ(E_INVALIDARG, controller->SetPlayPosition(-5000, static_cast<EBasicPosition>(3)));
    EXPECT_EQ(0u, ReadPos());
}

TEST_F(ControllerCommands, StateQueries) {
    LONG yes = 7;
    ASSERT_EQ(S_OK, controller->CheckState(_esNull, &yes));
    EXPECT_EQ(0, yes);
    for (const auto& row : KStateMachine::m_saStateTable) {
        Force(row.m_dwState);
        ASSERT_EQ(S_OK, controller->CheckState(static_cast<EState>(_esLive | _esReplay), &yes));
        EXPECT_EQ(1, yes);
        ASSERT_EQ(S_OK, controller->CheckCommand(static_cast<ECommand>(_ecPlay | _ecPause), &yes));
        EXPECT_EQ(1, yes);
    }
    // A word outside the table is an error, never a success with nothing written.
    Force(_esLive | _esReplay | _esPlay | _esStop);
    ULONG commands = 99;
    EXPECT_TRUE(FAILED(controller->GetAvailableCommands(&commands)));
    EXPECT_EQ(99u, commands);
    EXPECT_TRUE(FAILED(controller->CheckCommand(_ecPlay, &yes)));
    EXPECT_TRUE(FAILED(controller->Play()));

    EXPECT_EQ(E_POINTER, controller->GetAvailableCommands(nullptr));
    EXPECT_EQ(E_POINTER, controller->GetCurrentState(nullptr));
    EXPECT_EQ(E_POINTER, controller->CheckState(_esLive, nullptr));
    EXPECT_EQ(E_POINTER, controller->CheckCommand(_ecPlay, nullptr));
    EXPECT_EQ(E_POINTER, controller->IsCacheFull(nullptr));
    EXPECT_EQ(E_POINTER, controller->GetAmountCacheBuffer(nullptr));
    UINT amount = 0;
    EXPECT_EQ(S_OK, controller->GetAmountCacheBuffer(&amount));
    EXPECT_EQ(3u, amount);
}

TEST_F(ControllerCommands, PositionAndFullnessQueriesInMilliseconds) {
    ULONG ms = 99;
    BYTE percent = 99;
    ASSERT_EQ(S_OK, controller->GetPlayPosition(&ms));
    EXPECT_EQ(0u, ms);
    ASSERT_EQ(S_OK, controller->GetPercentFullness(&percent));
    EXPECT_EQ(0, percent);

    cache->SetSize(10 * kSecond);
    cache->Fill(0, kSecond - 1, 0);
    ASSERT_EQ(S_OK, controller->GetPlayPosition(&ms));
    EXPECT_EQ(999u, ms);
    cache->Fill(0, 1, 0);
    ASSERT_EQ(S_OK, controller->GetPlayPosition(&ms));
    EXPECT_EQ(1000u, ms);
    ASSERT_EQ(S_OK, controller->GetRecordPosition(&ms));
    EXPECT_EQ(1000u, ms);
    cache->SetStart(kSecond / 2);
    ASSERT_EQ(S_OK, controller->GetStartReadPos(&ms));
    EXPECT_EQ(500u, ms);
    ASSERT_EQ(S_OK, controller->GetTimeFullness(&ms));
    EXPECT_EQ(500u, ms);
    ASSERT_EQ(S_OK, controller->GetPercentFullness(&percent));
    EXPECT_EQ(5, percent);
    EXPECT_EQ(E_POINTER, controller->GetPlayPosition(nullptr));
    EXPECT_EQ(E_POINTER, controller->GetRecordPosition(nullptr));
    EXPECT_EQ(E_POINTER, controller->GetPercentFullness(nullptr));
    EXPECT_EQ(E_POINTER, controller->GetTimeFullness(nullptr));
    EXPECT_EQ(E_POINTER, controller->GetStartReadPos(nullptr));
}

TEST_F(ControllerCommands, UndeletableRangesAreCutToHundredthsOfASecond) {
    ASSERT_EQ(S_OK, controller->SetUndeletableRange(1234, 5678));
    ASSERT_EQ(S_OK, controller->SetUndeletableRange(0, 9));
    auto ranges = cache->Ranges();
    ASSERT_EQ(2u, ranges.size());
    using Range = std::pair<ULONGLONG, ULONGLONG>;
    EXPECT_EQ(Range(123 * 1920, 567 * 1920), ranges[0]);
    EXPECT_EQ(Range(0, 0), ranges[1]);
    ASSERT_EQ(S_OK, controller->ResetUndeletableRange(1234, 5678));
    EXPECT_EQ(1u, cache->Ranges().size());
}

TEST(ControllerUnits, MillisecondsBecomeWholeHundredthsOfBytesForEveryMagnitude) {
    KTimecode::SetRateMode(KTimecode::kHundredthsMode);
    EXPECT_EQ(123 * 1920, KAudioController::OffsetToBytes(1234));
    EXPECT_EQ(-500 * 1920, KAudioController::OffsetToBytes(-5000));
    EXPECT_EQ(0, KAudioController::OffsetToBytes(9));
    // Beyond the time code's 99:59:59.99 the same rule holds, without wrapping.
    const LONGLONG hundredHours = 100LL * 3600 * 1000;
    EXPECT_EQ(hundredHours / 10 * 1920, KAudioController::OffsetToBytes(hundredHours));
    EXPECT_EQ(-(5000000000LL / 10 * 1920), KAudioController::OffsetToBytes(-5000000000LL));
    EXPECT_GT(KAudioController::OffsetToBytes(INT64_MAX), 0);
    EXPECT_LT(KAudioController::OffsetToBytes(INT64_MIN), 0);
}

TEST(ControllerUnits, BytesToMinutes) {
    EXPECT_EQ(0, KAudioController::BytesToMinutes(0));
    EXPECT_EQ(0, KAudioController::BytesToMinutes(-5));
    EXPECT_EQ(1, KAudioController::BytesToMinutes(192000));
    EXPECT_EQ(2, KAudioController::BytesToMinutes(60 * 192000));
    EXPECT_EQ(5, KAudioController::BytesToMinutes((4 * 60 + 59) * 192000));
    EXPECT_EQ(6, KAudioController::BytesToMinutes(5 * 60 * 192000));
}
