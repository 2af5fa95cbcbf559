// The engine in one process with its real cache, settings, playlist, players
// on the virtual sound backend and the driver link to a fake driver.
#include "service/controller/tests/EngineFixture.h"

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <cstring>
#include <future>
#include <thread>

#include "platform/com/Bstr.h"
#include "platform/core/Text.h"
#include "service/controller/tests/StateRules.h"
#include "service/foundation/ByteTime.h"

namespace {

using namespace std::chrono_literals;

// Waits for a condition the engine's threads bring about; the deadline only
// ends a run whose engine is broken, however loaded the machine is.
template <class Cond>
bool Eventually(Cond cond, std::chrono::seconds deadline = 60s) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < end) {
        if (cond()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return cond();
}

}  // namespace

using Engine = EngineFixture;

TEST_F(Engine, EveryStateAndCommandFollowsTheTableAndTheTransitionRules) {
    ASSERT_EQ(S_OK, Build(false));
    StartPump(100);
    Feed(Tone(20 * kSecond, 0));
    const ECommand commands[] = {_ecPlay, _ecPause, _ecLive, _ecRec, _ecStop, _ecSkip, _ecBack};
    for (LONG iaa = 0; iaa <= 1; ++iaa) {
        settings->SetInterceptAudioAlwaysState(iaa);
        for (const auto& row : KStateMachine::m_saStateTable) {
            for (ECommand cmd : commands) {
                controller->ResetState(0xFFFFFFFFu);
                controller->SetState(row.m_dwState);
                ASSERT_EQ(S_OK, controller->ProcessCommand(cmd)) << std::hex << row.m_dwState << " " << cmd;
                bool allowed = (row.m_dwCommands & static_cast<DWORD>(cmd)) != 0;
                DWORD expected = allowed ? ExpectedModes(row.m_dwState, cmd, iaa != 0) : row.m_dwState;
                EXPECT_EQ(expected & kModeFlags, State() & kModeFlags)
                    << "state 0x" << std::hex << row.m_dwState << " command " << cmd << " intercept " << iaa;
            }
        }
    }
}

TEST_F(Engine, RecordedSoundFromTheDriverReachesBufferZeroAndTheLivePlayer) {
    ASSERT_EQ(S_OK, Build(true));
    StartPump();
    StartLink();
    ASSERT_EQ(S_OK, controller->Record());
    const ULONGLONG start = WritePos(0);
    auto tone = Tone(kSecond, 0);
    Send(tone);
    ASSERT_TRUE(Eventually([&] { return WritePos(0) >= start + tone.size(); }));
    std::vector<BYTE> cached(tone.size());
    ASSERT_EQ(S_OK, cache->ReadFixedPos(start, static_cast<ULONG>(cached.size()), cached.data()));
    EXPECT_EQ(tone, cached);
    EXPECT_EQ(tone, live()->Bytes());
}

TEST_F(Engine, ReplayFromAPositionPlaysTheCacheInBlocksAndReturnsToLiveAtTheLivePoint) {
    ASSERT_EQ(S_OK, Build(true));
    StartPump();
    const ULONGLONG origin = WritePos(0);
    ASSERT_EQ(S_OK, controller->Record());
    auto tone = Tone(10 * kSecond, 0);
    Feed(tone);
    ASSERT_EQ(S_OK, controller->StopRecord());
    ASSERT_TRUE(Eventually([&] { return (State() & _esAtFirstPos) == 0; }));
    // The cache's writers have put away all there is.
    const ULONGLONG write = origin + tone.size();
    ASSERT_TRUE(Eventually([&] { return WritePos(0) == write; })) << WritePos(0);

    replay()->Clear();
    ASSERT_EQ(S_OK, controller->SetPlayPosition(-5000, posCurrent));
    ASSERT_TRUE(State() & _esReplay);
    ASSERT_TRUE(Eventually([&] { return (State() & _esLive) != 0; }));
    auto sizes = replay()->Sizes();
    ASSERT_FALSE(sizes.empty());
    for (ULONG n : sizes) EXPECT_EQ(65536u, n);
    // 5 s behind: 14 blocks of cached sound, then silence for the last 400 ms.
    EXPECT_EQ(15u, sizes.size());
    auto played = replay()->Bytes();
    std::vector<BYTE> expected(14 * 65536);
    ASSERT_EQ(S_OK, cache->ReadFixedPos(write - 5 * kSecond, static_cast<ULONG>(expected.size()), expected.data()));
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), played.begin()));
    EXPECT_TRUE(std::all_of(played.begin() + 14 * 65536, played.end(), [](BYTE b) { return b == 0; }));
    EXPECT_EQ(write, ReadPos());
}

TEST_F(Engine, SkipAndBackByFiveAndThirtySeconds) {
    ASSERT_EQ(S_OK, Build(false));
    StartPump(100);
    ASSERT_EQ(S_OK, controller->Record());
    const ULONGLONG origin = WritePos(0);
    Feed(Tone(60 * kSecond, 0));
    // Positions are compared once the cache's writer has put away every fed byte:
    // the live point must not move between this sample and the commands.
    const ULONGLONG write = origin + 60 * kSecond;
    ASSERT_TRUE(Eventually([&] { return WritePos(0) == write; })) << WritePos(0);
    controller->UpdatePositionState();
    ASSERT_EQ(S_OK, controller->Pause());  // recording: replay from the live point
    ASSERT_EQ(S_OK, controller->SetPlayPosition(-30000, posCurrent));
    EXPECT_EQ(write - 30 * kSecond, ReadPos());
    controller->UpdatePositionState();
    ASSERT_EQ(S_OK, controller->SetPlayPosition(-5000, posCurrent));
    EXPECT_EQ(write - 35 * kSecond, ReadPos());
    controller->UpdatePositionState();
    ASSERT_EQ(S_OK, controller->SetPlayPosition(30000, posCurrent));
    EXPECT_EQ(write - 5 * kSecond, ReadPos());
    controller->UpdatePositionState();
    ASSERT_EQ(S_OK, controller->SetPlayPosition(5000, posCurrent));  // to the live point: the cache goes live
    EXPECT_EQ(write, ReadPos());
}

TEST_F(Engine, EverythingTheEngineStoresIsTheUsersAlone) {
    const mode_t saved = ::umask(0002);  // private modes must not come from the umask
    ASSERT_EQ(S_OK, Build(false));
    StartPump(100);
    ASSERT_EQ(S_OK, controller->Record());
    const ULONGLONG origin = WritePos(0);
    Feed(Tone(3 * kSecond, 0));
    ASSERT_TRUE(Eventually([&] { return WritePos(0) == origin + 3 * kSecond; }));
    ASSERT_EQ(S_OK, controller->StopRecord());
    DestroyEngine();  // the index, the playlist and the settings are saved
    ::umask(saved);

    size_t files = 0, cacheFiles = 0;
    const std::string data = plat::ToUtf8(DataDir());
    for (const auto& entry : std::filesystem::recursive_directory_iterator(data)) {
        const auto mode = std::filesystem::status(entry.path()).permissions();
        SCOPED_TRACE(entry.path().string());
        if (entry.is_directory()) {
            EXPECT_EQ(std::filesystem::perms::owner_all, mode);
        } else {
            ++files;
            cacheFiles += entry.path().extension() == ".cah";
            EXPECT_EQ(std::filesystem::perms::owner_read | std::filesystem::perms::owner_write, mode);
        }
    }
    EXPECT_EQ(std::filesystem::perms::owner_all, std::filesystem::status(data).permissions());
    EXPECT_GT(cacheFiles, 0u);
    EXPECT_GT(files, cacheFiles) << "the index, playlist and settings files are there too";
    const auto log = std::filesystem::status(plat::ToUtf8(m_dir + u"/log.log")).permissions();
    EXPECT_EQ(std::filesystem::perms::owner_read | std::filesystem::perms::owner_write, log);
}

TEST_F(Engine, SongsFoundByDetectionAndByStoppingJoinThePlaylistWithTheirBorders) {
    ASSERT_EQ(S_OK, Build(false));
    Advise();
    StartPump();
    controller->MaintenancePass();
    ASSERT_EQ(S_OK, controller->Record());
    const ULONGLONG origin = WritePos(0);
    Feed(Quiet(1 * kSecond));
    Feed(Tone(12 * kSecond, 0));
    Feed(Quiet(1 * kSecond));
    Feed(Tone(3 * kSecond, 0));
    ASSERT_TRUE(Eventually([&] {
        controller->MaintenancePass();
        ULONG count = 0;
        playlist->Count(&count);
        return count == 1;
    }));
    ASSERT_EQ(S_OK, controller->StopRecord());

    ULONG count = 0;
    playlist->Count(&count);
    ASSERT_EQ(2u, count);
    const DWORD originMs = BytesToMilliseconds(origin, KAudioController::kByteRate);
    GUID id{};
    ASSERT_EQ(S_OK, playlist->First(&id));
    plat::ComPtr<ISong> song;
    ASSERT_EQ(S_OK, playlist->Get(id, song.GetAddressOf()));
    ULONG left = 0, right = 0;
    song->GetBorders(&left, &right);
    EXPECT_EQ(originMs, left);
    EXPECT_EQ(originMs + 13500, right);  // the first quiet 300 ms after the music
    EXPECT_EQ(1u, events->Count("SongDetected " + plat::GuidToUtf8(id)));

    ASSERT_EQ(S_OK, playlist->Next(&id));
    ASSERT_EQ(S_OK, playlist->Get(id, song.ReleaseAndGetAddressOf()));
    song->GetBorders(&left, &right);
    EXPECT_EQ(originMs + 13500, left);
    EXPECT_EQ(BytesToMilliseconds(WritePos(0), KAudioController::kByteRate), right);
    EXPECT_EQ(1u, events->Count("SongDetected " + plat::GuidToUtf8(id)));
}

TEST_F(Engine, CleanUpDeletesSongsWhoseStartLeftTheCache) {
    ASSERT_EQ(S_OK, Build(false));
    Advise();
    StartPump(100);
    ASSERT_EQ(S_OK, cache->SetSize(4 * 1048576));
    ASSERT_EQ(S_OK, controller->Record());
    Feed(Tone(30 * kSecond, 0));  // more than the cache holds: its start moves on
    ULONGLONG start = 0;
    ASSERT_TRUE(Eventually([&] {
        cache->GetStartReadPos(&start);
        return start > 0;
    }));
    const DWORD startMs = BytesToMilliseconds(start, KAudioController::kByteRate);
    auto add = [&](ULONG left, ULONG right) {
        plat::ComPtr<ISong> song;
        EXPECT_EQ(S_OK, playlist->CreateNewSong(song.GetAddressOf()));
        song->SetLeftBorder(left);
        song->SetRightBorder(right);
        GUID id{};
        song->GetID(&id);
        return id;
    };
    GUID gone = add(startMs - 1, startMs + 1000);
    GUID kept = add(startMs, startMs + 2000);
    controller->CleanupPass();
    ULONG count = 0;
    playlist->Count(&count);
    EXPECT_EQ(1u, count);
    plat::ComPtr<ISong> song;
    EXPECT_EQ(S_OK, playlist->Get(kept, song.GetAddressOf()));
    EXPECT_EQ((std::vector<std::string>{"SongDeleted " + plat::GuidToUtf8(gone)}), events->Events());
}

TEST_F(Engine, FullnessWarningsAndAFullDiskWithASmallCache) {
    ASSERT_EQ(S_OK, Build(false));
    Advise();
    StartPump();
    plat::ManualClock clock(1000);
    plat::SetClock(&clock);
    ASSERT_EQ(S_OK, cache->SetSize(5 * 60 * kSecond));
    controller->MaintenancePass();
    ASSERT_EQ(S_OK, controller->Record());
    Feed(Tone(30 * kSecond, 0));
    ULONG ms = 0;
    ASSERT_TRUE(Eventually([&] { return SUCCEEDED(controller->GetTimeFullness(&ms)) && ms == 30000; })) << ms;
    BYTE percent = 0;
    ASSERT_EQ(S_OK, controller->GetPercentFullness(&percent));
    EXPECT_EQ(10, percent);

    diskFree = 100000;  // a disk as good as full
    clock.Advance(5000);
    controller->MaintenancePass();
    plat::SetClock(nullptr);
    EXPECT_EQ(1u, events->Count("CacheAlmostFull 5"));
    EXPECT_EQ(1u, events->Count("DiskFull"));
    EXPECT_TRUE(State() & _esStop);
    EXPECT_EQ(MakeHResult(0x80070070u), controller->Record());
}

TEST_F(Engine, DestroyUnderLoadEndsInTimeAndLeavesACacheThatReloads) {
    ASSERT_EQ(S_OK, Build(true));
    StartPump();
    StartLink();
    ASSERT_EQ(S_OK, controller->Record());
    Send(Tone(8 * kSecond, 0));
    ASSERT_EQ(S_OK, controller->SetPlayPosition(-5000, posCurrent));
    std::atomic<bool> stop{false};
    std::atomic<int> sent{0};
    std::thread feeder([&] {
        auto block = Tone(19200, 0);
        while (!stop) {
            if (driver->WriteWhenRoom(plat::drv::TAG_WAVE, block.data(), static_cast<DWORD>(block.size()), 50)) ++sent;
        }
    });
    // The link is closed while the driver is still sending.
    EXPECT_TRUE(Eventually([&] { return sent >= 10; }));
    link->Close();  // the service stops the link, then destroys the engine
    stop = true;
    feeder.join();
    auto destroyed = std::async(std::launch::async, [&] { return controller->Destroy(); });
    // A hang, not a slow machine, is what this deadline catches.
    ASSERT_EQ(std::future_status::ready, destroyed.wait_for(60s));
    EXPECT_EQ(S_OK, destroyed.get());
    const ULONGLONG written = WritePos(0);
    EXPECT_GE(written, 8 * kSecond);
    DestroyEngine();
    players.clear();

    ASSERT_EQ(S_OK, Build(false));
    EXPECT_EQ(written, WritePos(0));
    std::vector<BYTE> back(19200);
    ASSERT_EQ(S_OK, cache->ReadFixedPos(written - 19200, 19200, back.data()));
    EXPECT_NE(std::vector<BYTE>(19200, 0), back);
}
