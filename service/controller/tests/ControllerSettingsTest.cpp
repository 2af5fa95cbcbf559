// Taking over changed settings while the engine runs: cache size and folder,
// the playback and recording devices, silence and the longest song.
#include "service/controller/tests/ControllerFixture.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "log/DirUtils.h"
#include "platform/core/Clock.h"
#include "platform/core/Text.h"
#include "platform/fs/File.h"
#include "service/controller/KCacheFolder.h"
#include "service/foundation/ByteTime.h"

namespace {

// A folder of its own under the temporary folder, removed at the end.
class TempFolder {
public:
    TempFolder() {
        char tmpl[] = "/tmp/tq-settings-XXXXXX";
        if (::mkdtemp(tmpl)) m_path = plat::ToUtf16(tmpl) + u"/";
    }
    ~TempFolder() {
        if (!m_path.empty()) plat::DeleteFolderRecursive(m_path);
    }
    const std::u16string& Path() const { return m_path; }
    std::u16string Sub(const std::u16string& name) const { return m_path + name; }

private:
    std::u16string m_path;
};

void Touch(const std::u16string& path) {
    plat::File f;
    ASSERT_TRUE(f.Open(path, plat::FileAccess::Write, plat::FileCreation::CreateAlways));
}

constexpr DWORD kModes = _esLive | _esReplay | _esPlay | _esPause | _esRec | _esStop;

}  // namespace

class ControllerSettings : public ControllerFixture {
protected:
    void SetUp() override {
        ControllerFixture::SetUp();
        ASSERT_FALSE(folder.Path().empty());
        settings->SetStrings(folder.Sub(u"old/"), u"Speakers", u"Microphone");
        cache->SetDir(folder.Sub(u"old/"));
    }
    void Force(DWORD state) {
        controller->ResetState(0xFFFFFFFFu);
        controller->SetState(state);
    }
    std::u16string CacheDir() {
        plat::Bstr dir;
        cache->GetCacheDir(dir.Out());
        return plat::BstrToU16(dir);
    }
    bool SwitchEnded() {
        return Eventually([this] { return !controller->IsSwitchingCacheFolder(); });
    }
    ULONGLONG Size() {
        ULONGLONG size = 0;
        cache->GetSize(&size);
        return size;
    }
    TempFolder folder;
};

// ---- Cache size --------------------------------------------------------------

TEST_F(ControllerSettings, TheCacheSizeIsTakenAtOnceWithinItsRangeAndRefusedOutsideIt) {
    ASSERT_EQ(S_OK, Build());
    Advise();
    struct Case {
        ULONG ms;
        HRESULT expected;
    } cases[] = {
        {600000, S_OK}, {240000, E_INVALIDARG}, {0, E_INVALIDARG}, {299999, E_INVALIDARG},
        {300000, S_OK}, {359999990, S_OK},      {359999991, E_INVALIDARG}, {0xFFFFFFFFu, E_INVALIDARG},
    };
    for (const Case& c : cases) {
        ULONGLONG before = Size();
        settings->cacheSize = c.ms;
        EXPECT_EQ(c.expected, controller->UpdateSettings()) << c.ms;
        ULONGLONG expected = c.expected == S_OK ? static_cast<ULONGLONG>(MillisecondsToBytes(c.ms, 192000)) : before;
        EXPECT_EQ(expected, Size()) << c.ms;
    }
    EXPECT_EQ(600000ull * 192, static_cast<ULONGLONG>(MillisecondsToBytes(600000, 192000)));
    // The same folder spelt with or without its trailing separator is no switch.
    settings->SetStrings(folder.Sub(u"old"), u"Speakers", u"Microphone");
    settings->cacheSize = 600000;
    EXPECT_EQ(S_OK, controller->UpdateSettings());
    EXPECT_FALSE(controller->IsSwitchingCacheFolder());
    EXPECT_TRUE(events->Events().empty()) << "a size change fires nothing";
}

// ---- Playback device ---------------------------------------------------------

TEST_F(ControllerSettings, APlaybackDeviceChangeKeepsTheStateWordAndRestartsWhatPlayed) {
    const DWORD states[] = {
        _esLive | _esPlay | _esStop,
        _esLive | _esPlay | _esRec,
        _esReplay | _esPlay | _esRec,
        _esReplay | _esPause | _esRec,
        _esLive | _esPause | _esStop,
    };
    ASSERT_EQ(S_OK, Build());
    const char16_t* devices[] = {u"Headphones", u"Speakers"};
    int turn = 0;
    for (DWORD state : states) {
        Force(state);
        bool liveWasPlaying = live()->IsPlaying();
        bool captureWasPlaying = liveCapture()->IsPlaying();
        int replayStarts = replay()->Calls("StartPlay");
        const char16_t* device = devices[turn++ % 2];
        settings->SetStrings(folder.Sub(u"old/"), device, u"Microphone");
        ASSERT_EQ(S_OK, controller->UpdateSettings()) << std::hex << state;
        EXPECT_EQ(state, State() & kModes) << std::hex << state << ": no pause and play in between";
        for (FakePlayer* p : {live(), liveCapture(), replay()}) EXPECT_EQ(device, p->Device());
        EXPECT_EQ(liveWasPlaying, live()->IsPlaying()) << std::hex << state;
        EXPECT_EQ(captureWasPlaying, liveCapture()->IsPlaying()) << std::hex << state;
        bool replaying = (state & _esReplay) && (state & _esPlay);
        EXPECT_EQ(replaying ? replayStarts + 1 : replayStarts, replay()->Calls("StartPlay")) << std::hex << state;
    }
}

TEST_F(ControllerSettings, TheThreePlayersSettleTogetherAtTheStartAndOnADeviceChange) {
    // Each player waits for its device to settle inside Initialize; opened
    // one after another those waits would add up.
    FakePlayer::MeetInInitialize(3);
    ASSERT_EQ(S_OK, Build());
    EXPECT_EQ(3, FakePlayer::MostInInitializeAtOnce()) << "at the start";
    FakePlayer::MeetInInitialize(3);
    settings->SetStrings(folder.Sub(u"old/"), u"Headphones", u"Microphone");
    EXPECT_EQ(S_OK, controller->UpdateSettings());
    EXPECT_EQ(3, FakePlayer::MostInInitializeAtOnce()) << "on a device change";
    FakePlayer::MeetInInitialize(0);
    for (FakePlayer* p : {live(), liveCapture(), replay()}) EXPECT_EQ(u"Headphones", p->Device());
}

TEST_F(ControllerSettings, NoPlaybackDeviceChangeForAnEmptyOrTheSameName) {
    ASSERT_EQ(S_OK, Build());
    for (const char16_t* name : {u"", u"Speakers"}) {
        int opens = live()->Calls("Initialize") + replay()->Calls("Initialize");
        int closes = live()->Calls("Uninitialize");
        settings->SetStrings(folder.Sub(u"old/"), name, u"Microphone");
        EXPECT_EQ(S_OK, controller->UpdateSettings());
        EXPECT_EQ(opens, live()->Calls("Initialize") + replay()->Calls("Initialize"));
        EXPECT_EQ(closes, live()->Calls("Uninitialize"));
    }
}

TEST_F(ControllerSettings, ABadPlaybackDeviceFailsAndTheEngineStaysOnTheOldOne) {
    ASSERT_EQ(S_OK, Build());
    Record();
    const std::u16string tooLong(KAudioController::kMaxDeviceNameLength + 1, u'x');
    struct Case {
        std::u16string name;
        HRESULT expected;
    } cases[] = {{u"Nowhere", E_FAIL}, {tooLong, E_INVALIDARG}};
    for (const Case& c : cases) {
        settings->SetStrings(folder.Sub(u"old/"), c.name, u"Microphone");
        const int opens = live()->Calls("Initialize") + replay()->Calls("Initialize") + liveCapture()->Calls("Initialize");
        const int closes = live()->Calls("Uninitialize");
        EXPECT_EQ(c.expected, controller->UpdateSettings());
        // Nothing is closed for a device that is not there (nor opened again).
        EXPECT_EQ(opens, live()->Calls("Initialize") + replay()->Calls("Initialize") + liveCapture()->Calls("Initialize"));
        EXPECT_EQ(closes, live()->Calls("Uninitialize"));
        for (FakePlayer* p : {live(), liveCapture(), replay()}) {
            EXPECT_EQ(u"Speakers", p->Device());
            EXPECT_TRUE(p->IsOpen());
        }
        EXPECT_TRUE(live()->IsPlaying());
        EXPECT_EQ(u"Speakers", settings->AudioDevice()) << "the settings name the device in use";
        EXPECT_EQ(DWORD(_esLive | _esPlay | _esRec), State() & kModes);
    }
}

// ---- Steps, their failures and the recording device ---------------------------

TEST_F(ControllerSettings, EveryStepRunsAndTheFirstFailureIsTheAnswer) {
    ASSERT_EQ(S_OK, Build());
    settings->Fail("AudioDevice");
    settings->Fail("MaxSongLength");
    settings->writeFromRecord = 1;
    int starts = capturer->Calls("StartCapture");
    EXPECT_EQ(E_FAIL, controller->UpdateSettings());
    EXPECT_EQ(starts + 1, capturer->Calls("StartCapture")) << "the capture step ran after the failed play step";
}

TEST_F(ControllerSettings, TheLongestSongIsOneToSixtyMinutes) {
    ASSERT_EQ(S_OK, Build());
    struct Case {
        UINT minutes;
        HRESULT expected;
    } cases[] = {{0, E_INVALIDARG}, {1, S_OK}, {60, S_OK}, {61, E_INVALIDARG}, {100000, E_INVALIDARG}};
    for (const Case& c : cases) {
        settings->maxSongLength = c.minutes;
        EXPECT_EQ(c.expected, controller->UpdateSettings()) << c.minutes;
    }
}

TEST_F(ControllerSettings, WritingFromTheRecordingDeviceStartsAndStopsCaptureAndADeviceChangeRebuildsTheCapturer) {
    FakeCapturer::Devices() = {u"Microphone", u"Line In"};
    ASSERT_EQ(S_OK, Build());
    settings->writeFromRecord = 1;
    int starts = capturer->Calls("StartCapture");
    ASSERT_EQ(S_OK, controller->UpdateSettings());
    EXPECT_EQ(starts + 1, capturer->Calls("StartCapture"));

    settings->SetStrings(folder.Sub(u"old/"), u"Speakers", u"Line In");
    ASSERT_EQ(S_OK, controller->UpdateSettings());
    EXPECT_EQ(u"Line In", capturer->Device());
    EXPECT_TRUE(capturer->IsOpen());

    // A device that is not there: back on the one that works.
    settings->SetStrings(folder.Sub(u"old/"), u"Speakers", u"Nowhere");
    EXPECT_EQ(E_FAIL, controller->UpdateSettings());
    EXPECT_EQ(u"Line In", capturer->Device());
    EXPECT_TRUE(capturer->IsOpen());
    EXPECT_EQ(u"Line In", settings->CaptureDevice());

    settings->writeFromRecord = 0;
    int stops = capturer->Calls("StopCapture");
    ASSERT_EQ(S_OK, controller->UpdateSettings());
    EXPECT_EQ(stops + 1, capturer->Calls("StopCapture"));
}

TEST_F(ControllerSettings, ACaptureDeviceChangeWaitsForThePumpAndTheDataPathGoesOn) {
    // The pump runs (engine threads on) and waits inside the capturer, as
    // for a device that sends nothing; the change must not wait it out.
    FakeCapturer::Devices() = {u"Microphone", u"Line In"};
    settings->writeFromRecord = 1;
    ASSERT_EQ(S_OK, Build(true));
    Record();
    capturer->BlockGetData(true);
    ASSERT_TRUE(Eventually([&] { return capturer->Calls("GetDataBlocked") > 0; }));
    settings->SetStrings(folder.Sub(u"old/"), u"Speakers", u"Line In");
    ASSERT_EQ(S_OK, controller->UpdateSettings());
    EXPECT_EQ(u"Line In", capturer->Device());
    capturer->BlockGetData(false);
    capturer->Queue(std::vector<BYTE>(24000, 7));
    EXPECT_TRUE(Eventually([&] { return cache->BufferCopy(1).write >= 24000; }))
        << "the pump reads the new device";
    EXPECT_EQ(0, capturer->Calls("GetDataTimedOut")) << "the change ended the pump's wait";
}

// ---- Cache folder ------------------------------------------------------------

TEST_F(ControllerSettings, AFolderChangeWhileRecordingKeepsTheOldMaterialAndTellsTheClientsInOrder) {
    ASSERT_EQ(S_OK, Build());
    Advise();
    cache->Fill(0, 30 * kSecond, 1);
    Record();
    cache->Fill(0, 15 * kSecond, 1);
    int cacheSaves = cache->SaveCount();
    int playlistSaves = playlist->SaveCount();
    settings->SetStrings(folder.Sub(u"new"), u"Speakers", u"Microphone");
    ASSERT_EQ(S_OK, controller->UpdateSettings());
    ASSERT_GE(events->Events().size(), 1u);
    EXPECT_EQ("CacheLoading", events->Events().front()) << "before UpdateSettings returns";
    ASSERT_TRUE(SwitchEnded());
    // The switch counts as over just before its last event goes out.
    ASSERT_TRUE(Eventually([this] {
        const auto raised = events->Events();
        return !raised.empty() && raised.back().rfind("CacheLoaded", 0) == 0;
    }));

    EXPECT_EQ(0u, State() & _esRec) << "recording stopped";
    EXPECT_EQ(cacheSaves + 1, cache->SaveCount()) << "the old cache is kept where it is";
    EXPECT_EQ(playlistSaves + 1, playlist->SaveCount()) << "with the song just recorded";
    EXPECT_TRUE(playlist->Songs().empty()) << "old songs leave the list before the new folder loads";
    EXPECT_EQ(folder.Sub(u"new/"), CacheDir());
    EXPECT_EQ(folder.Sub(u"new/"), playlist->Dir());
    EXPECT_TRUE(plat::IsDirectory(folder.Sub(u"new/QXCache/")));
    auto all = events->Events();
    std::vector<std::string> expected = {"CacheLoading", "SongDetected", "ClearPlayList", "CacheLoaded 0"};
    ASSERT_EQ(4u, all.size());
    all[1] = all[1].substr(0, 12);
    EXPECT_EQ(expected, all);
}

TEST_F(ControllerSettings, AnEmptyOldFolderLosesOnlyTheEnginesOwnFiles) {
    const std::u16string data = folder.Sub(u"old/QXCache/");
    ASSERT_TRUE(dirUtils::createDirRecursive(data + u"sub/"));
    const std::u16string own[] = {u"CasheFile_0_1_000001.cah", u"QXCacheStructure0.dat",
                                  u"QXCacheStructure0.dat.bak", u"QXPlaylist.dat", u"QXPlaylist.dat.bak.tqnew",
                                  u"QXPlaylist.dat.tqtmp", u".QXWriteProbe"};
    const std::u16string foreign[] = {u"notes.txt", u"CasheFile_0_1.txt", u"QXPlaylist.dat.old", u"sub/QXPlaylist.dat"};
    for (const auto& f : own) Touch(data + f);
    for (const auto& f : foreign) Touch(data + f);
    ASSERT_EQ(S_OK, Build());
    settings->SetStrings(folder.Sub(u"new/"), u"Speakers", u"Microphone");
    ASSERT_EQ(S_OK, controller->UpdateSettings());
    ASSERT_TRUE(SwitchEnded());
    for (const auto& f : own) EXPECT_FALSE(plat::PathExists(data + f)) << plat::ToUtf8(f);
    for (const auto& f : foreign) EXPECT_TRUE(plat::PathExists(data + f)) << plat::ToUtf8(f);

    // With nothing else in it, the subfolder goes as well.
    for (const auto& f : foreign) plat::DeleteFile(data + f);
    plat::RemoveDirectory(data + u"sub/");
    Touch(data + u"QXCacheStructure2.dat");
    EXPECT_EQ(S_OK, cacheFolder::DeleteOwnFiles(folder.Sub(u"old")));
    EXPECT_FALSE(plat::PathExists(data));
}

// A kill in the middle of a save leaves unfinished files beside the stored
// data; the next start removes them and nothing else.
TEST_F(ControllerSettings, TheStartRemovesWhatAKillMidSaveLeftBesideTheStoredData) {
    const std::u16string data = folder.Sub(u"old/QXCache/");
    ASSERT_TRUE(dirUtils::createDirRecursive(data));
    const std::u16string leftovers[] = {u"QXPlaylist.dat.tqtmp", u"QXPlaylist.dat.bak.tqnew", u"QXPlaylist.dat.tqnew",
                                        u"QXCacheStructure2.dat.tqnew", u".QXWriteProbe"};
    const std::u16string kept[] = {u"QXPlaylist.dat", u"QXPlaylist.dat.bak", u"QXCacheStructure2.dat",
                                   u"CasheFile_0_1_000001.cah", u"notes.txt.tqnew", u"mine.tqtmp"};
    for (const auto& f : leftovers) Touch(data + f);
    for (const auto& f : kept) Touch(data + f);
    ASSERT_EQ(S_OK, Build());
    for (const auto& f : leftovers) EXPECT_FALSE(plat::PathExists(data + f)) << plat::ToUtf8(f);
    for (const auto& f : kept) EXPECT_TRUE(plat::PathExists(data + f)) << plat::ToUtf8(f);
}

TEST_F(ControllerSettings, UnusableFoldersAreRefusedBeforeAnythingChanges) {
    Touch(folder.Sub(u"file"));
    ASSERT_EQ(S_OK, Build());
    Advise();
    struct Case {
        std::u16string dir;
        bool fullDisk;
    } cases[] = {
        {u"", false},
        {u"relative/cache", false},
        {folder.Sub(u"file"), false},          // a file, not a folder
        {folder.Sub(u"file/below"), false},    // below a file: no user can create it
        {folder.Sub(u"roomless"), true},       // no room on its disk
        {folder.Sub(u"made/for/it"), true},    // nor here, where its parents are made first
    };
    for (const Case& c : cases) {
        diskFree = c.fullDisk ? 1000 : (1ULL << 40);
        settings->SetStrings(c.dir, u"Speakers", u"Microphone");
        HRESULT hr = controller->UpdateSettings();
        EXPECT_TRUE(FAILED(hr)) << plat::ToUtf8(c.dir);
        if (c.fullDisk) {
            EXPECT_EQ(plat::HResultFromError(ERROR_DISK_FULL), hr);
        }
        EXPECT_FALSE(controller->IsSwitchingCacheFolder());
        EXPECT_EQ(folder.Sub(u"old/"), CacheDir());
        EXPECT_EQ(folder.Sub(u"old/"), settings->CacheDir()) << "the settings name the folder in use again";
    }
    EXPECT_FALSE(plat::PathExists(folder.Sub(u"roomless/QXCache"))) << "a refused folder keeps nothing of ours";
    EXPECT_FALSE(plat::PathExists(folder.Sub(u"made"))) << "nor the parents made for it";
    EXPECT_TRUE(events->Events().empty()) << "no CacheLoading without a switch";

    // A missing folder is made.
    diskFree = 1ULL << 40;
    settings->SetStrings(folder.Sub(u"a/b/c"), u"Speakers", u"Microphone");
    ASSERT_EQ(S_OK, controller->UpdateSettings());
    ASSERT_TRUE(SwitchEnded());
    EXPECT_EQ(folder.Sub(u"a/b/c/"), CacheDir());
}

TEST_F(ControllerSettings, OneSwitchAtATimeNoPassesMeanwhileAndDestroyWaitsForIt) {
    plat::ManualClock clock(1000);
    plat::SetClock(&clock);
    ASSERT_EQ(S_OK, Build());
    Advise();
    playlist->Add(0, 1000);
    controller->MaintenancePass();  // starts the 5 s save period
    clock.Advance(6000);
    cache->BlockLoads(true);
    settings->SetStrings(folder.Sub(u"one"), u"Speakers", u"Microphone");
    ASSERT_EQ(S_OK, controller->UpdateSettings());
    ASSERT_TRUE(cache->WaitLoadBlocked(30000));

    int saves = playlist->SaveCount();
    controller->MaintenancePass();
    controller->CleanupPass();
    EXPECT_EQ(saves, playlist->SaveCount()) << "no save into the folder being switched to";

    settings->SetStrings(folder.Sub(u"two"), u"Speakers", u"Microphone");
    EXPECT_EQ(plat::HResultFromError(ERROR_BUSY), controller->UpdateSettings());

    std::atomic<bool> destroyed{false};
    std::thread destroyer([&] {
        controller->Destroy();
        destroyed = true;
    });
    EXPECT_FALSE(destroyed) << "Destroy cannot end before the switch";
    cache->BlockLoads(false);
    destroyer.join();
    EXPECT_EQ(1u, events->Count("CacheLoaded")) << "the switch finished before Destroy returned";
    EXPECT_EQ(folder.Sub(u"one/"), CacheDir());
    plat::SetClock(nullptr);
}

// A client that changes the folder again as soon as CacheLoaded reaches it
// (here while it is still busy with that event) is not told that a switch
// runs: the switch is over before its last event goes out.
TEST_F(ControllerSettings, AFolderChangeRightAfterCacheLoadedIsNotRefusedAsBusy) {
    ASSERT_EQ(S_OK, Build());
    Advise();
    std::mutex m;
    std::condition_variable cv;
    bool loaded = false, release = false;
    events->OnEvent([&](const std::string& e) {
        if (e.rfind("CacheLoaded", 0) != 0) return;
        std::unique_lock<std::mutex> g(m);
        if (loaded) return;  // only the first switch's client is busy
        loaded = true;
        cv.notify_all();
        cv.wait_for(g, std::chrono::seconds(60), [&] { return release; });
    });
    settings->SetStrings(folder.Sub(u"one"), u"Speakers", u"Microphone");
    ASSERT_EQ(S_OK, controller->UpdateSettings());
    {
        std::unique_lock<std::mutex> g(m);
        ASSERT_TRUE(cv.wait_for(g, std::chrono::seconds(60), [&] { return loaded; }));
    }
    std::atomic<HRESULT> second{plat::STILL_ACTIVE};
    std::thread client([&] {
        settings->SetStrings(folder.Sub(u"two"), u"Speakers", u"Microphone");
        second = controller->UpdateSettings();
    });
    {
        // A refusal comes at once; a change that is taken waits for the first
        // switch's thread to finish its delivery.
        std::unique_lock<std::mutex> g(m);
        cv.wait_for(g, std::chrono::seconds(2), [&] { return second != plat::STILL_ACTIVE; });
        release = true;
        cv.notify_all();
    }
    client.join();
    EXPECT_EQ(S_OK, second.load());
    ASSERT_TRUE(SwitchEnded());
    EXPECT_TRUE(Eventually([&] { return CacheDir() == folder.Sub(u"two/"); }));
    // CacheLoaded goes out just after the switch counts as over.
    EXPECT_TRUE(Eventually([&] { return events->Count("CacheLoaded") >= 2u; }));
    EXPECT_EQ(2u, events->Count("CacheLoaded"));
}

// An in-process sink that answers CacheLoaded with a settings update (on the
// switch's thread) while another thread's update holds the update lock and
// waits for that thread to end gets a busy answer instead of hanging both.
TEST_F(ControllerSettings, AnUpdateFromTheSwitchThreadDuringAnotherUpdateIsBusyNotAHang) {
    ASSERT_EQ(S_OK, Build());
    Advise();
    std::mutex m;
    std::condition_variable cv;
    bool loaded = false, otherHoldsLock = false;
    std::thread::id other;
    std::atomic<HRESULT> fromSink{plat::STILL_ACTIVE};
    events->OnEvent([&](const std::string& e) {
        if (e.rfind("CacheLoaded", 0) != 0) return;
        {
            std::unique_lock<std::mutex> g(m);
            if (loaded) return;  // the second switch's event
            loaded = true;
            cv.notify_all();
            ASSERT_TRUE(cv.wait_for(g, std::chrono::seconds(60), [&] { return otherHoldsLock; }));
        }
        fromSink = controller->UpdateSettings();
    });
    settings->OnGetCacheDir([&] {
        std::lock_guard<std::mutex> g(m);
        if (std::this_thread::get_id() != other) return;
        otherHoldsLock = true;  // its update reads the folder under the lock
        cv.notify_all();
    });
    settings->SetStrings(folder.Sub(u"one"), u"Speakers", u"Microphone");
    ASSERT_EQ(S_OK, controller->UpdateSettings());
    {
        std::unique_lock<std::mutex> g(m);
        ASSERT_TRUE(cv.wait_for(g, std::chrono::seconds(60), [&] { return loaded; }));
    }
    std::atomic<HRESULT> fromOther{plat::STILL_ACTIVE};
    std::thread client([&] {
        {
            std::lock_guard<std::mutex> g(m);
            other = std::this_thread::get_id();
        }
        settings->SetStrings(folder.Sub(u"two"), u"Speakers", u"Microphone");
        fromOther = controller->UpdateSettings();
    });
    client.join();
    EXPECT_EQ(plat::HResultFromError(ERROR_BUSY), fromSink.load());
    EXPECT_EQ(S_OK, fromOther.load());
    ASSERT_TRUE(SwitchEnded());
    EXPECT_TRUE(Eventually([&] { return CacheDir() == folder.Sub(u"two/"); }));
    settings->OnGetCacheDir(nullptr);
}

// The replay goes on on the new device only if its player starts there; a
// player that does not start is no success of the change.
TEST_F(ControllerSettings, AReplayThatDoesNotStartOnTheNewDeviceFailsTheChange) {
    ASSERT_EQ(S_OK, Build());
    Force(_esReplay | _esPlay | _esStop);
    replay()->Fail("StartPlay", E_OUTOFMEMORY);
    settings->SetStrings(folder.Sub(u"old/"), u"Headphones", u"Microphone");
    EXPECT_EQ(E_OUTOFMEMORY, controller->UpdateSettings());
    EXPECT_EQ(u"Headphones", replay()->Device());
}

TEST_F(ControllerSettings, ASwitchThatCannotReadItsFoldersStillEndsTheClientsWait) {
    ASSERT_EQ(S_OK, Build());
    Advise();
    cache->FailSetCacheDir(true);  // the new folder is not taken
    settings->SetStrings(folder.Sub(u"new"), u"Speakers", u"Microphone");
    ASSERT_EQ(S_OK, controller->UpdateSettings());
    ASSERT_TRUE(SwitchEnded());
    EXPECT_TRUE(Eventually([&] { return events->Count("CacheLoaded") >= 1u; }));
    EXPECT_EQ(1u, events->Count("CacheLoading"));
    EXPECT_EQ(1u, events->Count("CacheLoaded"));
    EXPECT_EQ(folder.Sub(u"old/"), settings->CacheDir()) << "the settings follow the folder in use";
    EXPECT_EQ(folder.Sub(u"old/"), playlist->Dir());
}

// ---- Under load ----------------------------------------------------------------

TEST_F(ControllerSettings, SettingsUpdatesBesideCommandsFromEightThreadsWhileRecordingAlwaysFinish) {
    settings->writeFromRecord = 1;
    ASSERT_EQ(S_OK, Build(true));
    Record();
    std::atomic<bool> stop{false};
    std::atomic<int> done{0};
    std::vector<std::thread> clients;
    for (int t = 0; t < 8; ++t) {
        clients.emplace_back([&, t] {
            std::vector<BYTE> block(1920, static_cast<BYTE>(t));
            for (unsigned i = 0; !stop; ++i) {
                // The clients' requests beside the played sound and the
                // recording device's data.
                switch ((i + t) % 10) {
                    case 8: controller->OnAudioData(static_cast<DWORD>(block.size()), block.data()); break;
                    case 9: capturer->Queue(std::vector<BYTE>(1920, 3)); break;
                    default: ClientRequest(i + t);
                }
            }
            ++done;
        });
    }
    const char16_t* devices[] = {u"Headphones", u"Speakers"};
    const char16_t* dirs[] = {u"x", u"y"};
    for (int round = 0; round < 12; ++round) {
        settings->SetStrings(folder.Sub(dirs[round % 2]), devices[round % 2], u"Microphone");
        settings->writeFromRecord = round % 3 != 0;
        HRESULT hr = controller->UpdateSettings();
        EXPECT_TRUE(hr == S_OK || hr == plat::HResultFromError(ERROR_BUSY)) << std::hex << hr;
        if (round % 4 == 3) {
            EXPECT_EQ(S_OK, controller->StopRecord());
        }
    }
    stop = true;
    EXPECT_TRUE(Eventually([&] { return done == 8; })) << "a command never finished";
    for (auto& c : clients) c.join();
    EXPECT_TRUE(SwitchEnded());
    EXPECT_EQ(S_OK, controller->StopRecord());
    EXPECT_EQ(0u, State() & _esRec);
}
