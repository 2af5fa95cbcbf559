// The engine threads: replay, maintenance with song finding and the storage
// checks, playlist clean-up; and the engine under concurrent commands.
#include "service/controller/tests/ControllerFixture.h"

#include <chrono>
#include <cstring>
#include <future>
#include <random>
#include <thread>

#include "platform/com/Bstr.h"
#include "platform/core/Clock.h"

namespace {

using namespace std::chrono_literals;

// Engine-format audio: silence, or a loud square wave.
std::vector<BYTE> Audio(ULONGLONG bytes, bool loud) {
    std::vector<BYTE> data(bytes, 0);
    if (loud) {
        for (size_t i = 0; i + 1 < data.size(); i += 2) {
            short s = ((i / 4) % 2) ? 8000 : -8000;
            std::memcpy(&data[i], &s, 2);
        }
    }
    return data;
}

// A sink that calls the engine back from another thread while it handles an
// event: it would wait for ever if the event came while an engine lock is held.
class CallingBackSink final : public plat::ComObject<CallingBackSink, _IAudioControllerEvents> {
public:
    explicit CallingBackSink(IAudioController* c) : m_controller(c) {}
    std::atomic<int> calls{0};
    HRESULT SongDetected(BSTR) override { return CallBack(); }
    HRESULT SongDeleted(BSTR) override { return CallBack(); }
    HRESULT CacheAlmostFull(UINT) override { return S_OK; }
    HRESULT DiskAlmostFull(UINT) override { return S_OK; }
    HRESULT DiskFull() override { return S_OK; }
    HRESULT ClearPlayList() override { return S_OK; }
    HRESULT CacheLoaded(UINT) override { return S_OK; }
    HRESULT CacheLoading() override { return S_OK; }

private:
    HRESULT CallBack() {
        auto other = std::async(std::launch::async, [this] {
            ULONG pos = 0;
            m_controller->GetPlayPosition(&pos);
            return m_controller->Pause();
        });
        if (other.wait_for(60s) != std::future_status::ready) return E_FAIL;  // would be a deadlock
        ++calls;
        return other.get();
    }
    IAudioController* m_controller;
};

}  // namespace

class ControllerThreads : public ControllerFixture {
protected:
    void TearDown() override {
        ControllerFixture::TearDown();
        plat::SetClock(nullptr);
    }
    void Force(DWORD state) {
        controller->ResetState(0xFFFFFFFFu);
        controller->SetState(state);
    }
    void Write(const std::vector<BYTE>& data) {
        for (size_t at = 0; at < data.size(); at += 19200) {
            size_t n = std::min<size_t>(19200, data.size() - at);
            ASSERT_EQ(S_OK, controller->OnAudioData(static_cast<DWORD>(n), const_cast<BYTE*>(data.data() + at)));
        }
    }
};

TEST_F(ControllerThreads, ReplayFromTenSecondsBackPlaysTheCacheInBlocksAndReturnsToLive) {
    ASSERT_EQ(S_OK, Build());
    cache->Fill(0, 10 * kSecond, 1);
    controller->UpdatePositionState();
    ASSERT_EQ(S_OK, controller->SetPlayPosition(-10000, posCurrent));
    ASSERT_TRUE(State() & _esReplay);
    int passes = 0;
    while ((State() & _esReplay) && passes < 100) {
        controller->ReplayPass();
        ++passes;
    }
    EXPECT_EQ(30, passes);
    auto calls = replay()->PlayCalls();
    ASSERT_EQ(30u, calls.size());
    for (ULONG n : calls) EXPECT_EQ(KAudioController::BYTES_TO_PLAY, n);
    auto played = replay()->Played();
    EXPECT_EQ(0x01, played[0]);
    EXPECT_EQ(0x01, played[29 * 65536 - 1]);
    EXPECT_EQ(0x00, played[29 * 65536]);  // the last 400 ms before the write position are not replayed
    EXPECT_EQ(DWORD(_esLive | _esPlay | _esStop), State() & ~DWORD(_esAtFirstPos | _esAtLastPos));
}

TEST_F(ControllerThreads, AFailedCacheReadIsReplayedAsSilenceNotAsTheBlockBefore) {
    ASSERT_EQ(S_OK, Build());
    cache->Fill(0, 10 * kSecond, 1);
    controller->UpdatePositionState();
    ASSERT_EQ(S_OK, controller->SetPlayPosition(-10000, posCurrent));
    controller->ReplayPass();
    cache->FailReads(true);
    controller->ReplayPass();
    auto played = replay()->Played();
    ASSERT_EQ(2u * 65536u, played.size());
    EXPECT_EQ(0x01, played[65535]);
    EXPECT_EQ(0x00, played[65536]);
}

TEST_F(ControllerThreads, AReplayPlayerThatFailsIsFedAtTheBlocksPaceNotRacedThrough) {
    plat::ManualClock clock(1000);
    plat::SetClock(&clock);
    ASSERT_EQ(S_OK, Build());
    cache->Fill(0, 10 * kSecond, 1);
    controller->UpdatePositionState();
    ASSERT_EQ(S_OK, controller->SetPlayPosition(-10000, posCurrent));
    controller->ReplayPass();
    EXPECT_EQ(1000u, clock.NowMs()) << "a block that plays costs no rest";
    replay()->Fail("PlayData", E_FAIL);
    for (int i = 0; i < 3; ++i) controller->ReplayPass();
    EXPECT_EQ(1000u + 3 * KAudioController::kReplayBlockMs, clock.NowMs())
        << "each failed block is followed by a rest as long as the block";
    EXPECT_EQ(4, replay()->Calls("PlayData"));
}

// While nothing moves the positions the maintenance pass waits for the next
// command, which wakes it; recording brings its steady pace back.
TEST_F(ControllerThreads, CommandsWakeTheMaintenancePassWhileThePositionsStandStill) {
    KControllerComponents c = Components(true);
    c.stillMaintenancePeriodMs = INFINITE;  // only the wake-ups can run a pass
    ASSERT_EQ(S_OK, Build(c));
    auto flags = [&] { return State() & (_esAtFirstPos | _esAtLastPos); };
    cache->Fill(0, 5 * kSecond, 2);

    ASSERT_EQ(S_OK, controller->Pause());  // at the live point, nothing moving
    ASSERT_EQ(0u, State() & _esRec);
    EXPECT_TRUE(Eventually([&] { return flags() == DWORD(_esAtLastPos); }));
    ASSERT_EQ(S_OK, controller->SetPlayPosition(0, posStart));
    EXPECT_TRUE(Eventually([&] { return flags() == DWORD(_esAtFirstPos); }));
    ASSERT_EQ(S_OK, controller->DropCache(TRUE));
    EXPECT_TRUE(Eventually([&] { return flags() == DWORD(_esAtFirstPos | _esAtLastPos); }));

    // Recording: the write position moves with no command to say so.
    ASSERT_EQ(S_OK, controller->Record());
    ASSERT_NE(0u, State() & _esRec);
    cache->Fill(0, kSecond, 2);
    EXPECT_TRUE(Eventually([&] { return (flags() & _esAtLastPos) == 0; }));
}

TEST_F(ControllerThreads, TheReplayThreadReturnsToLiveAtTheLivePoint) {
    ASSERT_EQ(S_OK, Build(true));
    cache->Fill(0, 5 * kSecond, 2);
    ASSERT_TRUE(Eventually([&] { return (State() & _esAtFirstPos) == 0; }));
    ASSERT_EQ(S_OK, controller->SetPlayPosition(-5000, posCurrent));
    ASSERT_TRUE(Eventually([&] { return (State() & _esLive) != 0; }));
    EXPECT_FALSE(replay()->IsPlaying());
    auto calls = replay()->PlayCalls();
    EXPECT_EQ(15u, calls.size());
    for (ULONG n : calls) EXPECT_EQ(65536u, n);
}

TEST_F(ControllerThreads, MaintenanceSavesEveryFiveSecondsAndKeepsGoingWhenAChecksFails) {
    plat::ManualClock clock(1000);
    plat::SetClock(&clock);
    ASSERT_EQ(S_OK, Build());
    diskFails = true;
    controller->MaintenancePass();
    EXPECT_EQ(0, cache->SaveCount());
    clock.Advance(4999);
    controller->MaintenancePass();
    EXPECT_EQ(0, cache->SaveCount());
    clock.Advance(1);
    controller->MaintenancePass();
    EXPECT_EQ(1, cache->SaveCount());
    EXPECT_EQ(1, playlist->SaveCount());
    clock.Advance(5000);
    controller->MaintenancePass();
    EXPECT_EQ(2, cache->SaveCount());
    EXPECT_EQ(2, playlist->SaveCount());
}

TEST_F(ControllerThreads, WarningsForTheCacheAndTheDiskAndTheStopWhenTheDiskIsFull) {
    plat::ManualClock clock(1000);
    plat::SetClock(&clock);
    ASSERT_EQ(S_OK, Build());
    Advise();
    auto pass = [&] {
        clock.Advance(5000);
        controller->MaintenancePass();
    };
    cache->SetSize(5 * 60 * kSecond);
    cache->Fill(0, 30 * kSecond, 0);  // 4 min 30 s left
    diskFree = 3 * 60 * kSecond;                 // 3 minutes of disk
    pass();
    pass();
    EXPECT_EQ(1u, events->Count("CacheAlmostFull 5"));
    EXPECT_EQ(1u, events->Count("DiskAlmostFull 4"));  // not repeated while stopped

    // Recording while replaying: a full disk stops it all the same, once.
    controller->UpdatePositionState();
    ASSERT_EQ(S_OK, controller->SetPlayPosition(-20000, posCurrent));
    ASSERT_EQ(S_OK, controller->Record());
    ASSERT_EQ(DWORD(_esReplay | _esPlay | _esRec), State() & 0x3F);
    diskFree = 1000;
    pass();
    EXPECT_EQ(DWORD(_esReplay | _esPlay | _esStop), State() & 0x3F);
    pass();
    EXPECT_EQ(1u, events->Count("DiskFull"));
    diskFree = 1ULL << 40;
    pass();
    diskFree = 1000;
    pass();
    EXPECT_EQ(2u, events->Count("DiskFull"));
}

TEST_F(ControllerThreads, ASongIsFoundByDetectionWithItsBorders) {
    plat::ManualClock clock(1000);
    plat::SetClock(&clock);
    ASSERT_EQ(S_OK, Build());
    Advise();
    controller->MaintenancePass();  // the thread starts with the engine
    Record();
    Write(Audio(1 * kSecond, false));
    Write(Audio(12 * kSecond, true));
    Write(Audio(1 * kSecond, false));
    for (int i = 0; i < 60; ++i) controller->MaintenancePass();
    auto songs = playlist->Songs();
    ASSERT_EQ(1u, songs.size());
    ULONG left = 0, right = 0;
    songs[0]->GetBorders(&left, &right);
    // The song closes at the end of the first quiet 300 ms window after the music.
    EXPECT_EQ(0u, left);
    EXPECT_EQ(13500u, right);
    GUID id{};
    songs[0]->GetID(&id);
    EXPECT_EQ(1u, events->Count("SongDetected " + plat::GuidToUtf8(id)));
}

// A block the detector cannot analyse is passed over: the failure is logged,
// the next block is handed on from where that one ended, songs are still
// found with their borders on the stream's axis, and the saves go on.
TEST_F(ControllerThreads, ABlockTheDetectorCannotAnalyseIsPassedOverAndFindingGoesOn) {
    plat::ManualClock clock(1000);
    plat::SetClock(&clock);
    TestErrorLog log;
    ASSERT_TRUE(log.IsOpen());
    std::vector<LONGLONG> handed;
    constexpr LONGLONG kFailing = 102400;  // the third block, in the first second's silence
    KControllerComponents components = Components(false);
    components.analyseBlock = [&](SoundProcessing::KSongDetector& detector, const short* samples, LONG bytes,
                                  LONGLONG position) {
        handed.push_back(position);
        return position == kFailing ? E_OUTOFMEMORY : detector.AnalizeBlock(samples, bytes, position);
    };
    ASSERT_EQ(S_OK, Build(components));
    Advise();
    controller->MaintenancePass();
    Record();
    Write(Audio(1 * kSecond, false));
    Write(Audio(12 * kSecond, true));
    Write(Audio(1 * kSecond, false));
    for (int i = 0; i < 60; ++i) controller->MaintenancePass();

    // Every block of the 14 s once, in order: none twice, none left out.
    ASSERT_EQ((14 * kSecond + 51199) / 51200, handed.size());
    for (size_t i = 0; i < handed.size(); ++i) EXPECT_EQ(LONGLONG(i) * 51200, handed[i]) << i;
    EXPECT_EQ(1u, log.Count("Analizing in pause detector was failed"));
    auto songs = playlist->Songs();
    ASSERT_EQ(1u, songs.size());
    ULONG left = 0, right = 0;
    songs[0]->GetBorders(&left, &right);
    EXPECT_EQ(0u, left);
    // The first quiet 300 ms window after the music ends it (the windows after
    // the gap lie 6400 bytes earlier on the axis than without it).
    EXPECT_GE(right, 13300u);
    EXPECT_LE(right, 13600u);

    const int saves = cache->SaveCount();
    clock.Advance(5000);
    controller->MaintenancePass();
    EXPECT_EQ(saves + 1, cache->SaveCount());
}

TEST_F(ControllerThreads, ARecordingThatStallsBecomesASongWithoutSplitting) {
    plat::ManualClock clock(1000);
    plat::SetClock(&clock);
    settings->autoSplit = 0;
    ASSERT_EQ(S_OK, Build());
    controller->MaintenancePass();
    Record();
    Write(Audio(12 * kSecond, true));
    controller->MaintenancePass();
    clock.Advance(3000);
    controller->MaintenancePass();  // the position moved since the start: remembered
    EXPECT_TRUE(playlist->Songs().empty());
    clock.Advance(3000);
    controller->MaintenancePass();  // no growth for 3 s: a boundary
    ASSERT_EQ(1u, playlist->Songs().size());
    ULONG left = 0, right = 0;
    playlist->Songs()[0]->GetBorders(&left, &right);
    EXPECT_EQ(0u, left);
    EXPECT_EQ(12000u, right);
    clock.Advance(3000);
    controller->MaintenancePass();
    EXPECT_EQ(1u, playlist->Songs().size());
}

TEST_F(ControllerThreads, DetectionFollowsThePlayDeviceThenTheRecordingDeviceThenSilence) {
    ASSERT_EQ(S_OK, Build());
    cache->Fill(0, 1000, 1);
    cache->Fill(1, 2000, 1);
    cache->Fill(2, 3000, 0);
    struct Case {
        LONG play, record;
        ULONGLONG followed;
    };
    // Any non-zero flag is on.
    for (Case c : {Case{1, 1, 1000}, Case{2, 0, 1000}, Case{0, 1, 2000}, Case{0, -1, 2000}, Case{0, 0, 3000}}) {
        settings->writeFromPlay = c.play;
        settings->writeFromRecord = c.record;
        ULONGLONG pos = 0;
        ASSERT_TRUE(controller->GetDetectionWritePos(&pos));
        EXPECT_EQ(c.followed, pos) << c.play << " " << c.record;
    }
}

using Reads = std::vector<std::pair<ULONGLONG, ULONG>>;

TEST_F(ControllerThreads, SplittingSwitchedOnMidRecordingFeedsFromWhereDetectionStoodBlockByBlock) {
    plat::ManualClock clock(1000);
    plat::SetClock(&clock);
    settings->autoSplit = 0;
    ASSERT_EQ(S_OK, Build());
    controller->MaintenancePass();  // detection stands at 0
    Record();
    cache->Fill(0, 192000, 1);
    controller->MaintenancePass();
    EXPECT_TRUE(cache->FixedReads().empty());  // nothing is analysed while off
    settings->autoSplit = 2;                    // any non-zero value is on
    for (int i = 0; i < 6; ++i) controller->MaintenancePass();
    EXPECT_EQ((Reads{{0, 51200}, {51200, 51200}, {102400, 51200}, {153600, 38400}}), cache->FixedReads());
}

TEST_F(ControllerThreads, APositionThatMovesBackwardsIsTakenOverAndFeedingResumesFromIt) {
    ASSERT_EQ(S_OK, Build());
    controller->MaintenancePass();
    Record();
    cache->Fill(0, 100000, 1);
    for (int i = 0; i < 3; ++i) controller->MaintenancePass();
    ASSERT_EQ((Reads{{0, 51200}, {51200, 48800}}), cache->FixedReads());
    cache->Empty();  // the cache was dropped: its positions start again at 0
    cache->Fill(0, 30000, 1);
    controller->MaintenancePass();
    EXPECT_EQ(2u, cache->FixedReads().size());  // the position is taken over, nothing read
    cache->Fill(0, 20000, 1);
    controller->MaintenancePass();
    EXPECT_EQ((Reads{{0, 51200}, {51200, 48800}, {30000, 20000}}), cache->FixedReads());
}

TEST_F(ControllerThreads, TheSaveAndStallIntervalsHoldAcrossATickCountWrap) {
    // The 32-bit tick wraps 2.5 s after the thread starts.
    plat::ManualClock clock((1ull << 32) - 2500);
    plat::SetClock(&clock);
    settings->autoSplit = 0;
    ASSERT_EQ(S_OK, Build());
    controller->MaintenancePass();
    Record();
    cache->Fill(0, 12 * kSecond, 1);
    struct Step {
        uint64_t advance;
        int saves;
        size_t songs;
    };
    const Step steps[] = {
        {2999, 0, 0},  // no stall check yet
        {1, 0, 0},     // 3000 ms: the position moved, it is remembered (the tick has wrapped)
        {1999, 0, 0},  // 4999 ms: no save yet
        {1, 1, 0},     // 5000 ms: saved
        {999, 1, 0},   // 5999 ms: the next stall check is 1 ms away
        {1, 1, 1},     // 6000 ms: no growth for 3 s, a boundary
        {3999, 1, 1},  // 9999 ms: a stall check at the same position adds nothing
        {1, 2, 1},     // 10000 ms: the second save
    };
    uint64_t elapsed = 0;
    for (const Step& step : steps) {
        clock.Advance(step.advance);
        elapsed += step.advance;
        controller->MaintenancePass();
        EXPECT_EQ(step.saves, cache->SaveCount()) << elapsed;
        EXPECT_EQ(step.songs, playlist->Songs().size()) << elapsed;
    }
}

TEST_F(ControllerThreads, SongsOutsideTheCacheOrHalfMadeLeaveNoEntry) {
    ASSERT_EQ(S_OK, Build());
    cache->Fill(0, 20 * kSecond, 0);
    cache->SetStart(5 * kSecond);
    EXPECT_EQ(E_FAIL, controller->OnSongFound(6000, 6000));
    EXPECT_EQ(E_FAIL, controller->OnSongFound(6000, 20001));
    EXPECT_EQ(E_FAIL, controller->OnSongFound(4999, 8000));
    EXPECT_TRUE(playlist->Songs().empty());
    playlist->failRightBorderOfNewSongs = true;
    EXPECT_EQ(E_FAIL, controller->OnSongFound(6000, 8000));
    EXPECT_TRUE(playlist->Songs().empty());
    playlist->failRightBorderOfNewSongs = false;
    EXPECT_EQ(S_OK, controller->OnSongFound(5000, 20000));
    EXPECT_EQ(1u, playlist->Songs().size());
}

TEST_F(ControllerThreads, CleanUpDeletesDefinedSongsWhoseStartLeftTheCache) {
    ASSERT_EQ(S_OK, Build());
    Advise();
    controller->CleanupPass();  // an empty playlist
    EXPECT_TRUE(events->Events().empty());
    GUID a = playlist->Add(1000, 2000);
    GUID keptUndefined = playlist->Add(0, 100, false);
    GUID b = playlist->Add(3000, 0);
    GUID keptAtStart = playlist->Add(10000, 12000);
    GUID c = playlist->Add(9999, 30000);
    cache->Fill(0, 20 * kSecond, 0);
    cache->SetStart(10 * kSecond);
    controller->CleanupPass();
    auto songs = playlist->Songs();
    ASSERT_EQ(2u, songs.size());
    GUID id{};
    songs[0]->GetID(&id);
    EXPECT_EQ(keptUndefined, id);
    songs[1]->GetID(&id);
    EXPECT_EQ(keptAtStart, id);
    std::vector<std::string> expected;
    for (const GUID& g : {a, b, c}) expected.push_back("SongDeleted " + plat::GuidToUtf8(g));
    EXPECT_EQ(expected, events->Events());
}

TEST_F(ControllerThreads, EventsComeWithNoEngineLockHeld) {
    ASSERT_EQ(S_OK, Build());
    plat::ComPtr<CallingBackSink> sink(CallingBackSink::CreateInstance(controller.Get()));
    plat::ComPtr<IConnectionPoint> point;
    ASSERT_EQ(S_OK, controller->FindConnectionPoint(DIID__IAudioControllerEvents, point.GetAddressOf()));
    DWORD c = 0;
    ASSERT_EQ(S_OK, point->Advise(static_cast<_IAudioControllerEvents*>(sink.Get()), &c));

    Record();
    cache->Fill(0, 12 * kSecond, 1);
    EXPECT_EQ(S_OK, controller->StopRecord());  // the song of the recording, found under both locks
    playlist->Add(0, 1000);
    cache->SetStart(5 * kSecond);
    controller->CleanupPass();  // the deletion, made under the data mutex
    EXPECT_EQ(3, sink->calls.load());
    point->Unadvise(c);
}

TEST_F(ControllerThreads, CommandsFromManyThreadsBesideTheEngineThreadsAlwaysFinish) {
    ASSERT_EQ(S_OK, Build(true));
    cache->Fill(0, 30 * kSecond, 1);
    std::atomic<bool> stop{false};
    auto commands = [&](unsigned seed) {
        std::mt19937 rng(seed);
        for (int i = 0; i < 300; ++i) ClientRequest(static_cast<unsigned>(rng()));
    };
    std::thread audio([&] {
        std::vector<BYTE> block(1920, 3);
        while (!stop) controller->OnAudioData(1920, block.data());
    });
    std::vector<std::future<void>> workers;
    for (unsigned i = 0; i < 4; ++i) workers.push_back(std::async(std::launch::async, commands, i + 1));
    for (auto& w : workers) ASSERT_EQ(std::future_status::ready, w.wait_for(60s)) << "commands deadlocked";
    stop = true;
    audio.join();
    EXPECT_NE(0u, KStateMachine::AllowedCommands(State()));  // still a valid state
    auto done = std::async(std::launch::async, [&] { return controller->Destroy(); });
    ASSERT_EQ(std::future_status::ready, done.wait_for(30s));
}

TEST_F(ControllerThreads, AReplayPlayerThatHasNotStartedIsStartedOnceItHoldsABlockButNotWhenPaused) {
    ASSERT_EQ(S_OK, Build());
    cache->Fill(0, 10 * kSecond, 1);
    controller->UpdatePositionState();
    ASSERT_EQ(S_OK, controller->SetPlayPosition(-5000, posCurrent));
    replay()->StopPlay();  // as a player that waits for a chunk before it plays
    int starts = replay()->Calls("StartPlay");
    controller->ReplayPass();
    EXPECT_EQ(starts + 1, replay()->Calls("StartPlay"));
    EXPECT_TRUE(replay()->IsPlaying());

    ASSERT_EQ(S_OK, controller->Pause());
    starts = replay()->Calls("StartPlay");
    controller->ReplayPass();  // a block that was in hand when the pause came
    EXPECT_EQ(starts, replay()->Calls("StartPlay"));
    EXPECT_FALSE(replay()->IsPlaying());
}
