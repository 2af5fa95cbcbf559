// Settings taken over by the running engine with its real cache, playlist
// and capturer: the recording device switched on while recording, and the
// cache moved to another folder and back.
#include "service/controller/tests/EngineFixture.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "log/ErrorTextTable.h"
#include "log/KErrorLog.h"
#include "platform/com/Bstr.h"
#include "platform/core/Text.h"
#include "platform/fs/File.h"
#include "platform/sound/SoundTypes.h"
#include "service/controller/tests/Eventually.h"
#include "service/foundation/KStgArchive.h"
#include "service/foundation/tests/ArchiveTestUtil.h"

using namespace testutil;

namespace {

std::u16string Text(const plat::Bstr& b) { return plat::BstrToU16(b.Get()); }

// A playlist file, and its backup, holding exactly these songs' records.
std::vector<Rec> PlaylistRecords(const std::u16string& count, const std::vector<std::vector<Rec>>& songs,
                                 bool closed = true) {
    std::vector<Rec> file{Begin(ser::kRootName, u"KPlayListImpl"), Begin(u"m_vPlayListInfo", count)};
    for (const auto& song : songs) file.insert(file.end(), song.begin(), song.end());
    if (closed) file.insert(file.end(), {End(), End()});
    return file;
}

std::vector<Rec> Song(const std::u16string& index, const std::u16string& title, std::vector<Rec> extra = {}) {
    std::vector<Rec> song{Begin(index, u"SSongInfo"), Value(u"strTitle", title)};
    song.insert(song.end(), extra.begin(), extra.end());
    song.push_back(End());
    return song;
}

void WritePlaylist(const std::u16string& path, const std::vector<Rec>& records) {
    ser::KStgArchive archive;
    ASSERT_EQ(S_OK, archive.open4write(path, ser::kDataStreamName));
    for (const Rec& r : records) ASSERT_TRUE(archive.WriteRecord(r.type, r.name, r.value));
    ASSERT_EQ(S_OK, archive.close(true));
}

std::string Joined(const std::vector<std::string>& events) {
    std::string text;
    for (const std::string& e : events) text += e + "; ";
    return text;
}

// A client that handles an event until the test lets it go (or a deadline
// that only ends a stuck run passes).
class SlowClient {
public:
    void Hold() {
        std::unique_lock<std::mutex> g(m_lock);
        m_changed.wait_for(g, std::chrono::seconds(60), [this] { return m_let; });
    }
    void Let() {
        std::lock_guard<std::mutex> g(m_lock);
        m_let = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_let = false;
};

// The errors the log collected whose text names the file.
size_t ReportsNaming(LONG code, const std::u16string& file) {
    size_t n = 0;
    LONG c = 0;
    std::u16string text;
    while (KErrorLog::Instance().PopError(&c, &text)) n += c == code && text.find(file) != std::u16string::npos;
    return n;
}

}  // namespace

using EngineSettings = EngineFixture;

TEST_F(EngineSettings, TurningOnTheRecordingDeviceWhileRecordingCapturesItAtOnce) {
    const plat::WaveFormat format{plat::kWaveFormatPcm, 2, 48000, 192000, 4, 16, 0};
    sys->SetGenerator(microphone, plat::SineGenerator(format, 440.0, 0.5));
    ASSERT_EQ(S_OK, Build(true));
    StartPump();
    ASSERT_EQ(S_OK, controller->Record());
    ULONG status = 0;
    ASSERT_EQ(S_OK, capturer->GetStatus(&status));
    EXPECT_EQ(0u, status & plat::DSCBSTATUS_CAPTURING) << "nothing records from the device yet";
    const ULONGLONG start = WritePos(1);

    ASSERT_EQ(S_OK, settings->SetWriteFromRecordDeviceState(1));
    ASSERT_EQ(S_OK, controller->UpdateSettings());
    // Capturing before the pump reads: its first read finds data rather than
    // waiting out its time-out on a stopped buffer.
    ASSERT_EQ(S_OK, capturer->GetStatus(&status));
    EXPECT_NE(0u, status & plat::DSCBSTATUS_CAPTURING);

    const ULONG bytes = 19200;
    ASSERT_TRUE(Eventually([&] { return WritePos(1) >= start + bytes; })) << "the microphone reaches buffer 1";
    std::vector<BYTE> cached(bytes);
    ASSERT_EQ(S_OK, cache->ReadFixedPosEx(1, start, bytes, cached.data()));
    size_t loud = 0;
    for (size_t i = 0; i + 1 < cached.size(); i += 2) {
        short sample = static_cast<short>(cached[i] | (cached[i + 1] << 8));
        if (sample > 1000 || sample < -1000) ++loud;
    }
    EXPECT_GT(loud, cached.size() / 8) << "the tone, not silence";
}

TEST_F(EngineSettings, ASwitchToAnotherFolderAndBackBringsTheSongsBackAndMixesNothing) {
    ASSERT_EQ(S_OK, Build(false));
    Advise();
    plat::Bstr home;
    ASSERT_EQ(S_OK, settings->GetCacheDir(home.Out()));
    ASSERT_EQ(S_OK, controller->Record());
    Feed(Tone(12 * kSecond, 0));
    ASSERT_EQ(S_OK, controller->StopRecord());
    ULONG count = 0;
    playlist->Count(&count);
    ASSERT_EQ(1u, count);

    const std::u16string other = m_dir + u"/other/";
    ASSERT_EQ(S_OK, settings->SetCacheDir(plat::Bstr(other)));
    ASSERT_EQ(S_OK, controller->UpdateSettings());
    // A folder without songs makes CacheLoaded the last event; the switch
    // counts as over just before it goes out.
    ASSERT_TRUE(Eventually([&] { return !controller->IsSwitchingCacheFolder() && events->Count("CacheLoaded") >= 1u; }));
    playlist->Count(&count);
    EXPECT_EQ(0u, count) << "the new folder has no playlist";
    EXPECT_TRUE(plat::IsFile(Text(home) + u"QXCache/QXPlaylist.dat")) << "the old playlist stays where it was";
    // What the maintenance thread would save into the new folder holds no old song.
    playlist->Save();
    playlist->Load();
    playlist->Count(&count);
    EXPECT_EQ(0u, count);
    EXPECT_EQ(1u, events->Count("CacheLoaded"));

    // A client still busy with CacheLoaded: the song of the folder is
    // announced after it, on the same delivery, so it waits for the client.
    auto busy = std::make_shared<SlowClient>();
    events->OnEvent([busy](const std::string& e) {
        if (e.rfind("CacheLoaded", 0) == 0) busy->Hold();
    });
    struct Release {
        std::shared_ptr<SlowClient> client;
        ~Release() { client->Let(); }
    } release{busy};
    ASSERT_EQ(S_OK, settings->SetCacheDir(home));
    ASSERT_EQ(S_OK, controller->UpdateSettings());
    ASSERT_TRUE(Eventually([&] { return events->Count("CacheLoaded") >= 2u; }));
    EXPECT_EQ(1u, events->Count("SongDetected ")) << "nothing after CacheLoaded before the client is done with it";
    busy->Let();
    ASSERT_TRUE(Eventually([&] { return events->Count("SongDetected ") >= 2u; }))
        << "found while recording, announced again after the load: " << Joined(events->Events());
    playlist->Count(&count);
    EXPECT_EQ(1u, count);
    GUID back{};
    ASSERT_EQ(S_OK, playlist->First(&back));
    const std::vector<std::string> all = events->Events();
    ASSERT_EQ(8u, all.size());
    const std::vector<std::string> secondSwitch(all.begin() + 4, all.end());
    EXPECT_EQ((std::vector<std::string>{"CacheLoading", "ClearPlayList", "CacheLoaded 0",
                                        "SongDetected " + plat::GuidToUtf8(back)}),
              secondSwitch);
    EXPECT_FALSE(plat::PathExists(other + u"QXCache")) << "the empty folder left nothing of ours behind";
    ULONG fullnessBack = 0;
    controller->GetTimeFullness(&fullnessBack);
    EXPECT_EQ(12000u, fullnessBack) << "the old cache is back whole, with what was still in memory at the switch";
}

TEST_F(EngineSettings, DroppingTheCacheAndWaitingLeavesNoOldCacheFile) {
    ASSERT_EQ(S_OK, Build(false));
    plat::Bstr home;
    ASSERT_EQ(S_OK, settings->GetCacheDir(home.Out()));
    const std::u16string data = Text(home) + u"QXCache/";
    auto cacheFiles = [&] {
        std::vector<plat::DirEntry> entries;
        plat::ListDirectory(data, &entries);
        size_t n = 0;
        for (const auto& e : entries) n += e.name.size() > 4 && e.name.substr(e.name.size() - 4) == u".cah";
        return n;
    };
    ASSERT_EQ(S_OK, controller->Record());
    Feed(Tone(12 * kSecond, 0));
    ASSERT_EQ(S_OK, controller->StopRecord());
    ASSERT_TRUE(Eventually([&] { return cacheFiles() > 0; }));
    ASSERT_EQ(S_OK, controller->DropCache(TRUE));
    EXPECT_EQ(0u, cacheFiles());
    ULONG count = 1;
    playlist->Count(&count);
    EXPECT_EQ(0u, count);
}

// Whatever the playlist file of the folder switched to gave the list is
// announced, after CacheLoaded and in list order, also when the file did not
// load whole; its damage is reported once, by the load.
TEST_F(EngineSettings, TheSwitchAnnouncesEverySongThePlaylistOfTheNewFolderKept) {
    struct Case {
        const char* name;
        std::vector<Rec> records;
        bool onlyBackup;                   // the file itself is gone, its backup stays
        std::vector<std::u16string> kept;  // titles, in list order
        size_t damageReports;
    };
    const std::vector<Case> cases = {
        {"a whole file", PlaylistRecords(u"2", {Song(u"0", u"first"), Song(u"1", u"second")}), false,
         {u"first", u"second"}, 0},
        {"only the backup", PlaylistRecords(u"2", {Song(u"0", u"first"), Song(u"1", u"second")}), true,
         {u"first", u"second"}, 0},
        {"a damaged song among good ones",
         PlaylistRecords(u"3", {Song(u"0", u"first"), Song(u"1", u"damaged", {Value(u"dwLeftBorder", u"AA")}),
                                Song(u"2", u"third")}),
         false, {u"first", u"third"}, 1},
        {"a record of a newer version",
         PlaylistRecords(u"2", {Song(u"0", u"first"), Song(u"1", u"second", {Value(u"fromANewerVersion", u"1")})}),
         false, {u"first", u"second"}, 1},
        {"a cut stream",
         PlaylistRecords(u"3", {Song(u"0", u"first"), Song(u"1", u"second"), {Begin(u"2", u"SSongInfo")}}, false),
         false, {u"first", u"second"}, 1},
    };
    ASSERT_EQ(S_OK, Build(false));
    Advise();
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::u16string folder = m_dir + u"/lists/" + plat::ToUtf16(std::to_string(n++)) + u"/";
        const std::u16string file = folder + u"QXCache/QXPlaylist.dat";
        ASSERT_TRUE(plat::CreateDirectoryRecursive(folder + u"QXCache"));
        WritePlaylist(file, c.records);
        if (c.onlyBackup) {
            ASSERT_TRUE(plat::DeleteFile(file));
        }
        KErrorLog::Instance().ClearErrors();
        const size_t before = events->Events().size();

        ASSERT_EQ(S_OK, settings->SetCacheDir(plat::Bstr(folder)));
        ASSERT_EQ(S_OK, controller->UpdateSettings());
        ASSERT_TRUE(Eventually([&] {
            return events->Events().size() >= before + 3 + c.kept.size() && !controller->IsSwitchingCacheFolder();
        })) << Joined(events->Events());

        std::vector<std::string> expected = {"CacheLoading", "ClearPlayList", "CacheLoaded 0"};
        std::vector<std::u16string> titles;
        GUID guid = GUID_NULL;
        for (HRESULT hr = playlist->First(&guid); hr == S_OK; hr = playlist->Next(&guid)) {
            expected.push_back("SongDetected " + plat::GuidToUtf8(guid));
            plat::ComPtr<ISong> song;
            plat::ComPtr<ID3> tag;
            plat::Bstr title;
            ASSERT_EQ(S_OK, playlist->Get(guid, song.ReleaseAndGetAddressOf()));
            ASSERT_EQ(S_OK, song->GetID3Tag(tag.ReleaseAndGetAddressOf()));
            tag->GetTitle(title.Out());
            titles.push_back(Text(title));
        }
        EXPECT_EQ(c.kept, titles);
        const std::vector<std::string> all = events->Events();
        EXPECT_EQ(expected, std::vector<std::string>(all.begin() + static_cast<ptrdiff_t>(before), all.end()));
        EXPECT_EQ(c.damageReports, ReportsNaming(EC_OPEN_DATA_FILE, file));
    }
}
