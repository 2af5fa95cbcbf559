#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <thread>
#include <utility>

#include "platform/com/ComPtr.h"
#include "service/audio/KAudioPlayer.h"
#include "service/audio/SoundChunk.h"
#include "service/audio/tests/DeviceListTestBed.h"

namespace {

using namespace std::chrono_literals;

// Players on a virtual device whose time the test moves by hand. The play
// thread is stopped after Initialize so that the test runs its turns itself.
class AudioPlayer : public DeviceTestBed {
protected:
    void SetUp() override {
        DeviceTestBed::SetUp();
        speakers = sys->AddPlaybackDevice(u"Speakers");
        headphones = sys->AddPlaybackDevice(u"Headphones");
        player = KAudioPlayer::Create();
        ASSERT_NE(player.Get(), nullptr);
    }
    void TearDown() override {
        player = nullptr;
        DeviceTestBed::TearDown();
    }
    void Open(const char16_t* device = u"Speakers") {
        plat::Bstr name(device);
        ASSERT_EQ(player->Initialize(EngineFormat(), name), S_OK);
        player->StopPlayThread();
    }
    DWORD Status() {
        ULONG s = 0xFFFFFFFFu;
        EXPECT_EQ(player->GetStatus(&s), S_OK);
        return s;
    }
    bool Playing() { return (Status() & plat::DSBSTATUS_PLAYING) != 0; }
    static std::vector<BYTE> Bytes(size_t n, BYTE value) { return std::vector<BYTE>(n, value); }
    HRESULT Feed(std::vector<BYTE> data) { return player->PlayData(static_cast<ULONG>(data.size()), data.data()); }

    GUID speakers{};
    GUID headphones{};
    plat::ComPtr<KAudioPlayer> player;
};

}  // namespace

TEST(AudioPlayerGeometry, ChunkIsAnEighthOfASecondAtLeast1024InWholeBlocks) {
    EXPECT_EQ(SoundChunkSize(EngineFormat()), 24000u);
    EXPECT_EQ(SoundChunkSize(OWAVEFORMATEX{1, 2, 1000, 4000, 4, 16, 0}), 1024u);
    EXPECT_EQ(SoundChunkSize(OWAVEFORMATEX{1, 3, 1666, 10000, 6, 16, 0}), 1248u);
    EXPECT_EQ(SoundChunkSize(OWAVEFORMATEX{1, 2, 48000, 192000, 0, 16, 0}), 0u) << "no block alignment";
}

TEST_F(AudioPlayer, EngineFormatGivesAFourChunkRingNotifiedAtEachChunkEnd) {
    Open();
    EXPECT_EQ(player->ChunkSize(), 24000u);
    EXPECT_EQ(player->BufferSize(), 96000u);
    DWORD size = 0;
    ASSERT_EQ(player->GetPlayBufferSize(&size), S_OK);
    EXPECT_EQ(size, 96000u);
    // The played part is silenced at a notification: none before the play
    // cursor passes offset 23999, one as soon as it has.
    ASSERT_EQ(Feed(Bytes(48000, 0x55)), S_OK);
    ASSERT_EQ(player->StartPlay(), S_OK);
    ASSERT_TRUE(Playing());
    sys->Advance(124);
    ASSERT_EQ(player->PlayTurn(), S_OK);
    sys->ClearRendered(speakers);
    sys->Advance(1);
    ASSERT_EQ(player->PlayTurn(), S_OK);
    // The ring's first chunk [0, 24000) was silenced: the device hears zeros
    // when the ring comes round to it again.
    sys->Advance(375);  // up to 96000: the ring's end
    sys->ClearRendered(speakers);
    sys->Advance(125);
    auto heard = sys->Rendered(speakers);
    ASSERT_EQ(heard.size(), 24000u);
    EXPECT_TRUE(std::all_of(heard.begin(), heard.end(), [](uint8_t b) { return b == 0; }));
}

TEST_F(AudioPlayer, InitializeWaitsByTheClockAndChoosesByPartialCaseSensitiveName) {
    const uint64_t before = clock.NowMs();
    plat::Bstr part(u"Head");
    ASSERT_EQ(player->Initialize(EngineFormat(), part), S_OK);
    EXPECT_GE(clock.NowMs() - before, 2000u) << "the prescribed pause goes through the clock";
    EXPECT_TRUE(player->IsPlayThreadRunning());
    plat::Bstr used;
    ASSERT_EQ(player->GetUsedDevice(used.Out()), S_OK);
    EXPECT_EQ(used.Str(), u"Head");
    player->StopPlayThread();
    ASSERT_EQ(Feed(Bytes(24000, 7)), S_OK);
    ASSERT_EQ(player->StartPlay(), S_OK);
    sys->Advance(10);
    EXPECT_FALSE(sys->Rendered(headphones).empty());
    EXPECT_TRUE(sys->Rendered(speakers).empty());

    plat::Bstr wrongCase(u"head");
    const uint64_t beforeMissing = clock.NowMs();
    EXPECT_EQ(player->Initialize(EngineFormat(), wrongCase), E_FAIL);
    EXPECT_EQ(clock.NowMs(), beforeMissing) << "a device that is not there is not waited for";
    auto texts = Texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], u"Audio device head does not exist ");
    ASSERT_EQ(player->GetUsedDevice(used.Out()), S_OK);
    EXPECT_EQ(used.Str(), u"Head") << "a failed choice leaves the device in use";

    plat::Bstr empty(u"");
    ASSERT_EQ(player->Initialize(EngineFormat(), empty), S_OK);
    player->StopPlayThread();
    sys->ClearRendered(speakers);
    ASSERT_EQ(player->StartPlay(), S_OK);
    ASSERT_EQ(Feed(Bytes(24000, 7)), S_OK);
    ASSERT_EQ(player->StartPlay(), S_OK);
    sys->Advance(10);
    EXPECT_FALSE(sys->Rendered(speakers).empty()) << "an empty name takes the first device";
}

TEST_F(AudioPlayer, RefusesANullDeviceNameAndAFormatWithoutBlockAlignment) {
    EXPECT_EQ(player->Initialize(EngineFormat(), nullptr), E_POINTER);
    OWAVEFORMATEX f = EngineFormat();
    f.nBlockAlign = 0;
    plat::Bstr name(u"Speakers");
    EXPECT_EQ(player->Initialize(f, name), E_INVALIDARG);
    EXPECT_FALSE(player->IsPlayThreadRunning());
    ULONG s;
    EXPECT_EQ(player->GetStatus(&s), E_FAIL);
}

TEST_F(AudioPlayer, PlayDataRefusesNullAndNeedsARing) {
    BYTE b[4] = {};
    EXPECT_EQ(player->PlayData(4, b), E_FAIL) << "not initialised";
    Open();
    EXPECT_EQ(player->PlayData(4, nullptr), E_POINTER);
    EXPECT_EQ(player->PlayData(0, b), S_OK);
    EXPECT_EQ(player->WritePosition(), 0u);
}

TEST_F(AudioPlayer, AStoppedRingNeverBlocksAndKeepsTheLastBytes) {
    Open();
    std::vector<BYTE> data(100000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(i / 1000);
    ASSERT_EQ(Feed(data), S_OK);
    EXPECT_EQ(player->WritePosition(), 4000u);
    ASSERT_EQ(player->StartPlay(), S_OK);  // 4000 queued: less than a chunk
    EXPECT_FALSE(Playing());
    ASSERT_EQ(player->PlayTurn(), S_OK);  // the feed has paused: the resume rule starts it
    ASSERT_TRUE(Playing());
    sys->Advance(500);
    auto heard = sys->Rendered(speakers);
    ASSERT_EQ(heard.size(), 96000u);
    EXPECT_EQ(heard[0], data[96000]) << "the newest bytes overwrote the oldest";
    EXPECT_EQ(heard[3999], data[99999]);
    EXPECT_EQ(heard[4000], data[4000]);
}

TEST_F(AudioPlayer, AFullPlayingRingBlocksUntilThePlayCursorMakesRoom) {
    Open();
    ASSERT_EQ(Feed(Bytes(48000, 1)), S_OK);
    ASSERT_EQ(player->StartPlay(), S_OK);
    ASSERT_TRUE(Playing());
    ASSERT_EQ(Feed(Bytes(48000, 2)), S_OK);  // W reaches P: full
    EXPECT_EQ(player->WritePosition(), 0u);
    auto pending = std::async(std::launch::async, [&] { return Feed(Bytes(24000, 3)); });
    EXPECT_EQ(pending.wait_for(50ms), std::future_status::timeout);
    sys->Advance(100);  // 19200 bytes of room: not yet enough
    EXPECT_EQ(pending.wait_for(50ms), std::future_status::timeout);
    sys->Advance(25);  // 24000
    ASSERT_EQ(pending.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(pending.get(), S_OK);
    EXPECT_EQ(player->WritePosition(), 24000u);
}

// A feed that waits for room sleeps until the moving cursor passes a chunk
// end (the ring's notification); it does not look at the cursor by a clock
// of its own in between, and a wake-up left from before it looked (the start
// of the ring, with no feed waiting) does not count. The one other look it
// may take is when the frozen-cursor limit is up, a real second later; the
// checks allow for that on a machine slow enough to reach it.
TEST_F(AudioPlayer, AWaitingFeedSleepsUntilAChunkEndIsPlayed) {
    Open();
    ASSERT_EQ(Feed(Bytes(48000, 1)), S_OK);
    ASSERT_EQ(player->StartPlay(), S_OK);
    ASSERT_TRUE(Playing());
    ASSERT_EQ(Feed(Bytes(48000, 1)), S_OK);  // W reaches P: full
    const int before = sys->Calls(plat::VirtualCall::GetCurrentPosition);
    const auto start = std::chrono::steady_clock::now();
    const auto limitLooks = [&] {
        return static_cast<int>((std::chrono::steady_clock::now() - start) /
                                std::chrono::milliseconds(KAudioPlayer::kFrozenCursorMs));
    };
    auto pending = std::async(std::launch::async, [&] { return Feed(Bytes(4800, 2)); });
    for (int i = 0; i < 5000 && sys->Calls(plat::VirtualCall::GetCurrentPosition) == before; ++i)
        std::this_thread::sleep_for(1ms);
    ASSERT_GT(sys->Calls(plat::VirtualCall::GetCurrentPosition), before) << "the feed has looked at the ring";
    sys->Advance(100);  // room, but no chunk end passed yet
    if (pending.wait_for(50ms) == std::future_status::ready) {
        EXPECT_GE(limitLooks(), 1) << "the feed went on before a chunk end";
    }
    sys->Advance(25);  // the first chunk end
    ASSERT_EQ(pending.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(pending.get(), S_OK);
    EXPECT_EQ(player->WritePosition(), 4800u);
    // Once before sleeping and once after the notification.
    EXPECT_LE(sys->Calls(plat::VirtualCall::GetCurrentPosition) - before, 2 + limitLooks());
}

// Every change of the ring's state wakes a waiting feed at once: here the
// owner stops the ring, which then takes the bytes without waiting.
TEST_F(AudioPlayer, StoppingTheRingWakesAWaitingFeed) {
    Open();
    ASSERT_EQ(Feed(Bytes(48000, 1)), S_OK);
    ASSERT_EQ(player->StartPlay(), S_OK);
    ASSERT_EQ(Feed(Bytes(48000, 1)), S_OK);  // full
    auto pending = std::async(std::launch::async, [&] { return Feed(Bytes(4800, 2)); });
    EXPECT_EQ(pending.wait_for(20ms), std::future_status::timeout);
    ASSERT_EQ(player->StopPlay(), S_OK);
    ASSERT_EQ(pending.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(pending.get(), S_OK);
    EXPECT_FALSE(LogHas(u"Play cursor does not move"));
}

// A clock whose next wait first runs an action, as another thread would
// while the waiter sleeps, and otherwise keeps the manual clock's time.
class ActingClock final : public plat::IClock {
public:
    ActingClock(plat::ManualClock& time, std::function<void()> action) : m_time(time), m_action(std::move(action)) {}
    uint64_t NowMs() override { return m_time.NowMs(); }
    void SleepMs(DWORD ms) override { m_time.SleepMs(ms); }
    DWORD WaitForAny(const std::vector<plat::Waitable*>& objects, DWORD timeoutMs) override {
        if (auto action = std::exchange(m_action, nullptr)) action();
        return m_time.WaitForAny(objects, timeoutMs);
    }

private:
    plat::ManualClock& m_time;
    std::function<void()> m_action;
};

// The resume wait ends when the chunk is complete, not at the end of its
// period: the lead the ring starts with stays the delay of all it plays.
TEST_F(AudioPlayer, TheResumeRuleStartsTheRingOnceAChunkIsQueued) {
    Open();
    ASSERT_EQ(player->StartPlay(), S_OK);  // nothing queued: not started
    ASSERT_EQ(Feed(Bytes(20000, 1)), S_OK);
    ActingClock feeding(clock, [&] { EXPECT_EQ(Feed(Bytes(4000, 2)), S_OK); });
    plat::SetClock(&feeding);
    const uint64_t before = clock.NowMs();
    EXPECT_EQ(player->PlayTurn(), S_OK);
    plat::SetClock(&clock);
    EXPECT_TRUE(Playing());
    EXPECT_LT(clock.NowMs() - before, KAudioPlayer::kResumeWaitMs) << "the wait ran its whole period";
}

// The play thread of a stopped ring with nothing new sleeps; bytes fed
// afterwards wake it, and its resume rule starts the ring.
TEST_F(AudioPlayer, AnIdlePlayThreadWakesWhenFedAndStartsTheRing) {
    plat::Bstr name(u"Speakers");
    ASSERT_EQ(player->Initialize(EngineFormat(), name), S_OK);
    ASSERT_EQ(player->StartPlay(), S_OK);  // nothing queued: not started
    EXPECT_FALSE(Playing());
    ASSERT_EQ(Feed(Bytes(24000, 1)), S_OK);
    bool playing = false;
    for (int i = 0; i < 5000 && !(playing = Playing()); ++i) std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(playing);
    player->StopPlayThread();
}

// Between chunk ends the play thread of a ring with a moving feed sleeps;
// it still finds a feed that stopped, on a device whose chunks do not end
// (its time stands still here), and stops and rewinds the ring.
TEST_F(AudioPlayer, TheRunningPlayThreadStopsARingWhoseFeedStopped) {
    plat::Bstr name(u"Speakers");
    ASSERT_EQ(player->Initialize(EngineFormat(), name), S_OK);
    ASSERT_EQ(Feed(Bytes(48000, 1)), S_OK);
    ASSERT_EQ(player->StartPlay(), S_OK);
    ASSERT_TRUE(Playing());
    ASSERT_EQ(Feed(Bytes(4800, 2)), S_OK);  // the feed moves once more, then stops
    bool playing = true;
    for (int i = 0; i < 10000 && (playing = Playing()); ++i) std::this_thread::sleep_for(1ms);
    EXPECT_FALSE(playing) << "a stopped feed left the ring playing";
    EXPECT_EQ(player->WritePosition(), 0u) << "the stalled ring is rewound";
    player->StopPlayThread();
}

TEST_F(AudioPlayer, StartPlayWithAChunkQueuedPlaysAtOnce) {
    Open();
    EXPECT_TRUE(player->IsPaused());
    ASSERT_EQ(Feed(Bytes(24000, 1)), S_OK);
    ASSERT_EQ(player->PlayTurn(), S_OK);
    EXPECT_FALSE(Playing()) << "a paused player never starts by itself";
    ASSERT_EQ(player->StartPlay(), S_OK);
    EXPECT_TRUE(Playing());
    EXPECT_FALSE(player->IsPaused());
}

TEST_F(AudioPlayer, QueuedDataIsMeasuredAroundTheRing) {
    Open();
    ASSERT_EQ(Feed(Bytes(95000, 1)), S_OK);
    ASSERT_EQ(player->StartPlay(), S_OK);
    sys->Advance(494);  // P = 94848
    ASSERT_EQ(player->Pause(), S_OK);
    ASSERT_EQ(Feed(Bytes(2000, 2)), S_OK);  // W wraps round to 1000, behind P
    EXPECT_EQ(player->WritePosition(), 1000u);
    ASSERT_EQ(player->StartPlay(), S_OK);
    EXPECT_FALSE(Playing()) << "2152 bytes queued round the end are less than a chunk";
    ASSERT_EQ(player->Pause(), S_OK);
    ASSERT_EQ(Feed(Bytes(24000, 3)), S_OK);
    ASSERT_EQ(player->StartPlay(), S_OK);
    EXPECT_TRUE(Playing()) << "26152 queued";
}

TEST_F(AudioPlayer, PausedPlayerKeepsFillingButOnlyStartPlayRestarts) {
    Open();
    ASSERT_EQ(Feed(Bytes(24000, 1)), S_OK);
    ASSERT_EQ(player->StartPlay(), S_OK);
    ASSERT_EQ(player->Pause(), S_OK);
    EXPECT_FALSE(Playing());
    ASSERT_EQ(Feed(Bytes(24000, 2)), S_OK);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(player->PlayTurn(), S_OK);
    EXPECT_FALSE(Playing());
    ASSERT_EQ(player->StartPlay(), S_OK);
    EXPECT_TRUE(Playing());
}

TEST_F(AudioPlayer, StopPlayLetsNewDataRestartPlayback) {
    Open();
    ASSERT_EQ(Feed(Bytes(24000, 1)), S_OK);
    ASSERT_EQ(player->StartPlay(), S_OK);
    ASSERT_EQ(player->StopPlay(), S_OK);
    ASSERT_EQ(player->PlayTurn(), S_OK);
    EXPECT_FALSE(Playing()) << "no new data since the stop";
    ASSERT_EQ(Feed(Bytes(24000, 2)), S_OK);
    ASSERT_EQ(player->PlayTurn(), S_OK);
    EXPECT_TRUE(Playing());
}

TEST_F(AudioPlayer, AFeedThatStopsIsStoppedAndRewoundAtTheEleventhTurn) {
    Open();
    ASSERT_EQ(Feed(Bytes(48000, 9)), S_OK);
    ASSERT_EQ(player->StartPlay(), S_OK);
    ASSERT_EQ(player->PlayTurn(), S_OK);  // notes W
    for (int turn = 1; turn <= 10; ++turn) {
        ASSERT_EQ(player->PlayTurn(), S_OK);
        ASSERT_TRUE(Playing()) << "turn " << turn;
    }
    ASSERT_EQ(player->PlayTurn(), S_OK);
    EXPECT_FALSE(Playing());
    EXPECT_EQ(player->WritePosition(), 0u);
    EXPECT_FALSE(player->IsPaused()) << "stopped, not paused";
    // Rewound and silent: the next data restarts playback from offset 0.
    ASSERT_EQ(Feed(Bytes(24000, 4)), S_OK);
    ASSERT_EQ(player->PlayTurn(), S_OK);
    ASSERT_TRUE(Playing());
    sys->ClearRendered(speakers);
    sys->Advance(250);
    auto heard = sys->Rendered(speakers);
    ASSERT_EQ(heard.size(), 48000u);
    EXPECT_EQ(heard[0], 4);
    EXPECT_EQ(heard[47999], 0) << "what was queued before the stall is gone";
}

// A feed that pauses for longer than what it had queued (but not long enough
// for the stall rule) goes on at the device's live edge: the bytes written
// before the pause are heard once, then silence, then the fresh bytes right
// after what the device has taken; the write position never falls behind the
// play cursor, where the fresh bytes would wait a whole ring while the stale
// ring plays again. The device takes 10 ms (1920 bytes) ahead of its play
// cursor; a chunk (24000 bytes) is queued when the feed pauses.
TEST_F(AudioPlayer, AFeedThatFallsBehindTheDeviceGoesOnAtTheLiveEdge) {
    struct Case {
        const char* name;
        DWORD pauseMs;
        DWORD firstFresh;   // where the fresh bytes start in what is heard after the pause
        DWORD writeAfter;   // the write position once they are written
    };
    const Case cases[] = {
        // P 19200, the device has taken up to 21120: the queue still leads.
        {"the queue outlasts the pause", 100, 4800, 28800},
        // P 23040: the device has taken the first 960 bytes past the write position.
        {"the device took the bytes at the write position", 120, 1920, 24960 + 4800},
        // P 24000: the play cursor is at the write position.
        {"the play cursor reached the write position", 125, 1920, 25920 + 4800},
        // P 28800: the play cursor is 25 ms past it.
        {"the play cursor passed the write position", 150, 1920, 30720 + 4800},
    };
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(player->StopPlay(), S_OK);
        ASSERT_EQ(player->Reset(), S_OK);  // a silent ring, stopped at 0
        ASSERT_EQ(Feed(Bytes(24000, 1)), S_OK);
        ASSERT_EQ(player->StartPlay(), S_OK);
        ASSERT_TRUE(Playing());
        sys->ClearRendered(speakers);
        sys->Advance(c.pauseMs);
        ASSERT_EQ(player->PlayTurn(), S_OK);  // the play thread's turn in the pause
        // A feed that waited for the device to come round would never end
        // here, where the clock stands still: the owner's stop frees it.
        auto pending = std::async(std::launch::async, [&] { return Feed(Bytes(4800, 2)); });
        if (pending.wait_for(5s) != std::future_status::ready) {
            player->StopPlay();
            pending.wait();
            ADD_FAILURE() << "the feed waited for the play cursor to pass its write position";
            continue;
        }
        ASSERT_EQ(pending.get(), S_OK);
        EXPECT_EQ(player->WritePosition(), c.writeAfter);
        const auto heardBefore = static_cast<std::ptrdiff_t>(sys->Rendered(speakers).size());
        // 200 ms more at the play thread's pace: the fresh bytes are heard by then.
        for (int turn = 0; turn < 8; ++turn) {
            sys->Advance(KAudioPlayer::kTurnMs);
            ASSERT_EQ(player->PlayTurn(), S_OK);
        }
        ASSERT_TRUE(Playing());
        auto heard = sys->Rendered(speakers);
        ASSERT_EQ(heard.size(), static_cast<size_t>(heardBefore) + 38400u);
        EXPECT_EQ(std::count(heard.begin(), heard.end(), 1), 24000) << "the queued bytes are heard once";
        EXPECT_EQ(std::count(heard.begin(), heard.end(), 2), 4800) << "the fresh bytes are heard in time";
        const auto fresh = std::find(heard.begin(), heard.end(), 2);
        ASSERT_NE(fresh, heard.end());
        EXPECT_EQ(fresh - heard.begin() - heardBefore, static_cast<std::ptrdiff_t>(c.firstFresh));
        EXPECT_EQ(std::count(fresh, heard.end(), 1), 0) << "nothing written before the pause plays after";
    }
}

// A live feed goes on in 10 ms blocks while the device takes nothing after
// the start (lateBlocks of them), then plays at the feed's pace. What came
// while a device was late is passed over once it starts, so that the delay
// is what a start queues; a device on time, or a player fed from the cache,
// loses nothing.
TEST_F(AudioPlayer, ALiveFeedPassesOverWhatCameWhileItsDeviceWasLateToStart) {
    constexpr DWORD kBlock = 1920;  // 10 ms
    constexpr DWORD kChunk = 24000;
    struct Case {
        const char* name;
        bool live;
        int lateBlocks;
        DWORD lateKept;  // of the late blocks' bytes, what is heard
        DWORD passedOver;  // of the fresh bytes after the start, what is not
        DWORD lead;        // what stays queued after each block: the live delay
    };
    const Case cases[] = {
        {"a live feed, the device on time", true, 0, 0, 0, kChunk},
        // Under 250 ms late: nothing is passed over (a loaded machine's start).
        {"a live feed, the device 200 ms late", true, 20, 20 * kBlock, 0, kChunk + 20 * kBlock},
        // The ring is queued full at most; the device then finds 94080 bytes
        // queued, and the next 70080 are passed over while it plays them.
        {"a live feed, the device 450 ms late", true, 45, 4 * kChunk - kChunk, 4 * kChunk - kBlock - kChunk, kChunk + kBlock},
        {"a player fed from the cache, the device 360 ms late", false, 36, 36 * kBlock, 0, kChunk + 36 * kBlock},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        player = KAudioPlayer::Create();
        player->SetLiveFeed(c.live);
        Open();
        sys->ClearRendered(speakers);
        ASSERT_EQ(Feed(Bytes(kChunk, 1)), S_OK);
        ASSERT_EQ(player->StartPlay(), S_OK);
        ASSERT_TRUE(Playing());
        for (int i = 0; i < c.lateBlocks; ++i) {
            auto pending = std::async(std::launch::async, [&] { return Feed(Bytes(kBlock, 2)); });
            ASSERT_EQ(pending.wait_for(5s), std::future_status::ready) << "a late device must not hold the feed";
            ASSERT_EQ(pending.get(), S_OK);
        }
        constexpr int kFresh = 60;
        for (int i = 0; i < kFresh; ++i) {
            sys->Advance(10);
            ASSERT_EQ(Feed(Bytes(kBlock, 3)), S_OK);
        }
        const auto heard = sys->Rendered(speakers);
        EXPECT_EQ(std::count(heard.begin(), heard.end(), 1), static_cast<std::ptrdiff_t>(kChunk));
        EXPECT_EQ(std::count(heard.begin(), heard.end(), 2), static_cast<std::ptrdiff_t>(c.lateKept));
        // What is not heard yet is what stays queued: the live delay.
        const DWORD fedAfter = kFresh * kBlock - c.passedOver;
        const DWORD kept = kChunk + c.lateKept + fedAfter;
        ASSERT_EQ(heard.size(), kFresh * size_t{kBlock});
        const DWORD queued = kept - static_cast<DWORD>(heard.size());
        EXPECT_EQ(queued, c.lead);
        player->StopPlay();
        player = nullptr;
    }
    player = KAudioPlayer::Create();
}

TEST_F(AudioPlayer, EachPlayerKeepsItsOwnStallCount) {
    Open(u"Speakers");
    plat::ComPtr<KAudioPlayer> other(KAudioPlayer::Create());
    plat::Bstr phones(u"Headphones");
    ASSERT_EQ(other->Initialize(EngineFormat(), phones), S_OK);
    other->StopPlayThread();
    BYTE chunk[24000] = {};
    ASSERT_EQ(player->PlayData(sizeof chunk, chunk), S_OK);
    ASSERT_EQ(player->StartPlay(), S_OK);
    ASSERT_EQ(other->PlayData(sizeof chunk, chunk), S_OK);
    ASSERT_EQ(other->StartPlay(), S_OK);
    EXPECT_FALSE(player->IsPlayStalled());
    BOOL stalled = FALSE;
    for (int check = 1; check <= 11; ++check) {
        // The other player keeps being fed: that must not hide this one's stall.
        sys->Advance(5);
        ASSERT_EQ(other->PlayData(960, chunk), S_OK);
        EXPECT_FALSE(other->IsPlayStalled());
        stalled = player->IsPlayStalled();
        if (check < 11) {
            ASSERT_FALSE(stalled) << check;
        }
    }
    EXPECT_TRUE(stalled);
}

TEST_F(AudioPlayer, InterruptDiscardsWhatWasQueued) {
    ULONG s;
    EXPECT_EQ(player->Interrupt(), S_OK) << "without a ring it does nothing";
    EXPECT_EQ(player->GetStatus(&s), E_FAIL);
    Open();
    ASSERT_EQ(Feed(Bytes(48000, 5)), S_OK);
    ASSERT_EQ(player->StartPlay(), S_OK);
    sys->Advance(50);
    ASSERT_EQ(player->Interrupt(), S_OK);
    EXPECT_FALSE(Playing());
    EXPECT_EQ(player->WritePosition(), 0u);
    ASSERT_EQ(player->StartPlay(), S_OK);  // nothing queued: stays stopped
    EXPECT_FALSE(Playing());
    sys->ClearRendered(speakers);
    ASSERT_EQ(Feed(Bytes(24000, 6)), S_OK);
    ASSERT_EQ(player->StartPlay(), S_OK);
    sys->Advance(500);
    auto heard = sys->Rendered(speakers);
    ASSERT_EQ(heard.size(), 96000u);
    EXPECT_EQ(heard[0], 6);
    EXPECT_EQ(std::count(heard.begin(), heard.end(), 5), 0) << "the discarded bytes never play";
}

TEST_F(AudioPlayer, AFrozenPlayCursorNeverHoldsTheFeedForEver) {
    Open();
    ASSERT_EQ(Feed(Bytes(96000 - 4, 1)), S_OK);
    ASSERT_EQ(player->StartPlay(), S_OK);
    ASSERT_EQ(Feed(Bytes(4, 1)), S_OK);  // full
    ASSERT_TRUE(sys->SetFrozen(speakers, true));
    auto pending = std::async(std::launch::async, [&] { return Feed(Bytes(4800, 2)); });
    EXPECT_EQ(pending.wait_for(50ms), std::future_status::timeout);
    // Other callers get through while it waits.
    EXPECT_TRUE(Playing());
    // The feed notes when the cursor last moved by the clock; on a loaded
    // machine it may do so only after a first step of the clock, so the
    // clock goes on stepping until the feed gives up.
    bool gaveUp = false;
    for (int i = 0; i < 3000 && !gaveUp; ++i) {
        clock.Advance(KAudioPlayer::kFrozenCursorMs);
        gaveUp = pending.wait_for(10ms) == std::future_status::ready;
    }
    ASSERT_TRUE(gaveUp);
    EXPECT_EQ(pending.get(), E_FAIL);
    EXPECT_TRUE(LogHas(u"Play cursor does not move"));
}

TEST_F(AudioPlayer, TheStallRuleFreesAFeedWaitingOnAFrozenDevice) {
    Open();
    ASSERT_EQ(Feed(Bytes(96000, 1)), S_OK);
    ASSERT_EQ(player->StartPlay(), S_OK);
    ASSERT_EQ(Feed(Bytes(96000 - 4, 1)), S_OK);
    ASSERT_EQ(player->StopPlay(), S_OK);
    ASSERT_EQ(player->StartPlay(), S_OK);
    ASSERT_EQ(Feed(Bytes(4, 1)), S_OK);
    ASSERT_TRUE(Playing());
    ASSERT_TRUE(sys->SetFrozen(speakers, true));
    auto pending = std::async(std::launch::async, [&] { return Feed(Bytes(4800, 2)); });
    EXPECT_EQ(pending.wait_for(20ms), std::future_status::timeout);
    for (int turn = 0; turn < 12 && pending.wait_for(0ms) != std::future_status::ready; ++turn)
        ASSERT_EQ(player->PlayTurn(), S_OK);
    ASSERT_EQ(pending.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(pending.get(), S_OK) << "written into the stopped, rewound ring";
    EXPECT_EQ(player->WritePosition(), 4800u);
}

TEST_F(AudioPlayer, UninitializeEndsThePlayThreadAndReleasesTheRing) {
    plat::Bstr name(u"Speakers");
    ASSERT_EQ(player->Initialize(EngineFormat(), name), S_OK);
    ASSERT_TRUE(player->IsPlayThreadRunning());
    EXPECT_EQ(sys->LiveBufferCount(), 1u);
    ASSERT_EQ(player->Uninitialize(), S_OK);
    EXPECT_FALSE(player->IsPlayThreadRunning());
    EXPECT_EQ(sys->LiveBufferCount(), 0u);
    ULONG s;
    EXPECT_EQ(player->GetStatus(&s), E_FAIL);
    BYTE b[4] = {};
    EXPECT_EQ(player->PlayData(4, b), E_FAIL);
    EXPECT_EQ(player->StartPlay(), E_FAIL);
    EXPECT_EQ(player->StopPlay(), S_OK);
    EXPECT_EQ(player->Pause(), S_OK);
    EXPECT_EQ(player->Interrupt(), S_OK);
    EXPECT_EQ(player->Reset(), S_OK);
    EXPECT_EQ(player->Uninitialize(), S_OK);
    EXPECT_TRUE(LogHas(u"No play buffer"));
}

TEST_F(AudioPlayer, ASecondInitializeKeepsOnePlayThreadAndOneRing) {
    plat::Bstr name(u"Speakers");
    ASSERT_EQ(player->Initialize(EngineFormat(), name), S_OK);
    ASSERT_EQ(player->Initialize(EngineFormat(), name), S_OK);
    EXPECT_TRUE(player->IsPlayThreadRunning());
    EXPECT_EQ(sys->LiveBufferCount(), 1u) << "the first ring and its device are released";
    player->StopPlayThread();
    EXPECT_FALSE(player->IsPlayThreadRunning());
}

TEST_F(AudioPlayer, ASmallerRingDoesNotKeepAWritePositionPastItsEnd) {
    Open();
    ASSERT_EQ(Feed(Bytes(80000, 1)), S_OK);
    plat::Bstr name(u"Speakers");
    ASSERT_EQ(player->Initialize(OWAVEFORMATEX{1, 2, 1000, 4000, 4, 16, 0}, name), S_OK);
    player->StopPlayThread();
    EXPECT_EQ(player->BufferSize(), 4096u);
    EXPECT_EQ(player->WritePosition(), 0u);
    EXPECT_EQ(Feed(Bytes(100, 1)), S_OK);
}

TEST_F(AudioPlayer, UninitializeWhileAFeedWaitsEndsTheFeed) {
    Open();
    ASSERT_EQ(Feed(Bytes(96000 - 4, 1)), S_OK);
    ASSERT_EQ(player->StartPlay(), S_OK);
    ASSERT_EQ(Feed(Bytes(4, 1)), S_OK);
    auto pending = std::async(std::launch::async, [&] { return Feed(Bytes(4800, 2)); });
    EXPECT_EQ(pending.wait_for(20ms), std::future_status::timeout);
    ASSERT_EQ(player->Uninitialize(), S_OK);
    ASSERT_EQ(pending.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(pending.get(), E_FAIL);
}

TEST_F(AudioPlayer, DeviceFailuresAreReportedWithTheirCodes) {
    plat::Bstr name(u"Speakers");
    sys->FailNext(plat::VirtualCall::CreateBuffer, E_OUTOFMEMORY);
    EXPECT_EQ(player->Initialize(EngineFormat(), name), E_FAIL);
    EXPECT_EQ(Codes(), (std::vector<LONG>{EC_OPEN_PLAY_DEVICE, EC_NO_SUCH_DEVICE}));
    EXPECT_TRUE(LogHas(u"Creating sound buffer was failed"));
    EXPECT_FALSE(player->IsPlayThreadRunning());

    sys->FailNext(plat::VirtualCall::SetNotificationPositions, plat::DSERR_INVALIDCALL);
    EXPECT_EQ(player->Initialize(EngineFormat(), name), plat::DSERR_INVALIDCALL);
    EXPECT_EQ(Codes(), (std::vector<LONG>{EC_OPEN_PLAY_DEVICE, EC_NO_SUCH_DEVICE}));

    sys->FailNext(plat::VirtualCall::Enumerate, plat::DSERR_NODRIVER);
    EXPECT_EQ(player->Initialize(EngineFormat(), name), plat::DSERR_NODRIVER);
    EXPECT_TRUE(LogHas(u"Cannot initialize direct sound"));
    Codes();

    Open();
    ASSERT_EQ(Feed(Bytes(24000, 1)), S_OK);
    sys->FailNext(plat::VirtualCall::Play, plat::DSERR_BUFFERLOST);
    EXPECT_EQ(player->StartPlay(), S_OK) << "a failed Play is reported, not returned";
    EXPECT_TRUE(LogHas(u"Cannot play buffer"));
    sys->FailNext(plat::VirtualCall::GetStatus, plat::DSERR_BUFFERLOST);
    ULONG s;
    EXPECT_EQ(player->GetStatus(&s), plat::DSERR_BUFFERLOST);
    EXPECT_TRUE(LogHas(u"GetStatus fail"));
    sys->FailNext(plat::VirtualCall::Stop, plat::DSERR_BUFFERLOST);
    EXPECT_EQ(player->Uninitialize(), plat::DSERR_BUFFERLOST);
    EXPECT_EQ(player->GetStatus(&s), S_OK) << "a ring that would not stop stays";
    EXPECT_TRUE(LogHas(u"Cannot Uninitialize"));
    ASSERT_EQ(player->StartPlay(), S_OK);
    ASSERT_TRUE(Playing());
    sys->FailNext(plat::VirtualCall::GetCurrentPosition, E_FAIL);
    EXPECT_EQ(player->PlayTurn(), S_OK) << "the stall check goes on without cursors";
    EXPECT_TRUE(LogHas(u"Geting current position of playing buffer was failed"));
    ASSERT_EQ(player->StopPlay(), S_OK);
    ASSERT_EQ(Feed(Bytes(4, 1)), S_OK);
    sys->FailNext(plat::VirtualCall::GetCurrentPosition, E_FAIL);
    EXPECT_EQ(player->PlayTurn(), E_FAIL) << "the resume rule cannot go on without the play cursor";
}

TEST_F(AudioPlayer, StatusFromAnotherThreadWhileTheRingIsReplaced) {
    Open();
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop) {
            ULONG s;
            HRESULT hr = player->GetStatus(&s);
            if (hr != S_OK && hr != E_FAIL) ADD_FAILURE() << std::hex << hr;
            BYTE b[64] = {};
            player->PlayData(sizeof b, b);
        }
    });
    plat::Bstr name(u"Speakers");
    for (int i = 0; i < 30; ++i) {
        ASSERT_EQ(player->Initialize(EngineFormat(), name), S_OK);
        ASSERT_EQ(player->Uninitialize(), S_OK);
    }
    stop = true;
    reader.join();
    KErrorLog::Instance().ClearErrors();
}
