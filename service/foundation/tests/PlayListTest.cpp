#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include "log/ErrorTextTable.h"
#include "log/KErrorLog.h"
#include "platform/com/ComPtr.h"
#include "platform/core/Clock.h"
#include "platform/core/Text.h"
#include "platform/fs/File.h"
#include "platform/fs/tests/TempDir.h"
#include "service/foundation/Base64.h"
#include "service/foundation/KPlayList.h"
#include "service/foundation/KStgArchive.h"
#include "service/foundation/tests/ArchiveTestUtil.h"

using namespace testutil;

namespace {

struct SongData {
    ULONG left, right;
    LONG defined;
    UINT track, year;
    std::u16string title, artist, album, genre;
    bool operator==(const SongData& o) const {
        return left == o.left && right == o.right && defined == o.defined && track == o.track && year == o.year &&
               title == o.title && artist == o.artist && album == o.album && genre == o.genre;
    }
};

class PlayListTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("TONQUIL_DATA_DIR", plat::ToUtf8(m_dir.Path()).c_str(), 1);
        m_list = Make();
        KErrorLog::Instance().ClearErrors();
    }

    plat::ComPtr<KPlayList> Make() {
        plat::ComPtr<KPlayList> list(KPlayList::Create());
        EXPECT_TRUE(list);
        EXPECT_EQ(list->SetPlayListDir(plat::Bstr(m_dir.Path() + u"/cache")), S_OK);
        return list;
    }

    std::u16string File() const { return m_dir.Path() + u"/cache/QXCache/QXPlaylist.dat"; }

    static std::vector<LONG> ErrorCodes() {
        std::vector<LONG> codes;
        LONG code;
        while (KErrorLog::Instance().PopError(&code, nullptr)) codes.push_back(code);
        return codes;
    }

    static GUID AddSong(IPlayList* list, const SongData& d) {
        plat::ComPtr<ISong> song;
        EXPECT_EQ(list->CreateNewSong(song.ReleaseAndGetAddressOf()), S_OK);
        song->SetLeftBorder(d.left);
        song->SetRightBorder(d.right);
        song->SetDefined(d.defined);
        plat::ComPtr<ID3> tag;
        song->GetID3Tag(tag.ReleaseAndGetAddressOf());
        tag->SetTrackNumber(d.track);
        tag->SetYear(d.year);
        tag->SetTitle(plat::Bstr(d.title));
        tag->SetArtist(plat::Bstr(d.artist));
        tag->SetAlbum(plat::Bstr(d.album));
        tag->SetGenre(plat::Bstr(d.genre));
        GUID id;
        song->GetID(&id);
        return id;
    }

    static std::vector<SongData> Contents(IPlayList* list) {
        plat::Variant v;
        EXPECT_EQ(list->GetPlaylist(&v), S_OK);
        std::vector<IUnknown*> objects;
        EXPECT_EQ(plat::ReadUnknownArray(v.Get(), &objects), S_OK);
        std::vector<SongData> out;
        for (IUnknown* o : objects) {
            plat::ComPtr<ISong> song;
            EXPECT_EQ(o->QueryInterface(IID_ISong, reinterpret_cast<void**>(song.ReleaseAndGetAddressOf())), S_OK);
            o->Release();
            SongData d{};
            song->GetBorders(&d.left, &d.right);
            song->IsDefined(&d.defined);
            plat::ComPtr<ID3> tag;
            song->GetID3Tag(tag.ReleaseAndGetAddressOf());
            tag->GetTrackNumber(&d.track);
            tag->GetYear(&d.year);
            plat::Bstr b;
            tag->GetTitle(b.Out());
            d.title = b.Str();
            tag->GetArtist(b.Out());
            d.artist = b.Str();
            tag->GetAlbum(b.Out());
            d.album = b.Str();
            tag->GetGenre(b.Out());
            d.genre = b.Str();
            out.push_back(d);
        }
        return out;
    }

    // Writes a playlist file (and its backup) holding exactly these records.
    static void WriteRecords(const std::u16string& path, const std::vector<Rec>& records) {
        ser::KStgArchive archive;
        ASSERT_EQ(archive.open4write(path, ser::kDataStreamName), S_OK);
        for (const Rec& r : records) ASSERT_TRUE(archive.WriteRecord(r.type, r.name, r.value));
        ASSERT_EQ(archive.close(true), S_OK);
    }

    static std::vector<Rec> SongRecords(const std::u16string& index, ULONG left, const std::u16string& title) {
        return {Begin(index, u"SSongInfo"),
                Value(u"bDefined", u"AQAAAA=="),
                Value(u"dwLeftBorder", ser::Base64Encode(&left, 4)),
                Value(u"dwRightBorder", ser::Base64Encode(&left, 4)),
                Value(u"strTitle", title),
                End()};
    }

    TempDir m_dir;
    plat::ComPtr<KPlayList> m_list;
};

const SongData kA{1000, 5000, 1, 3, 2001, u"Title A", u"Artist A", u"Album A", u"Genre A"};
const SongData kB{6000, 9000, 0, 0, 0, u"", u"\u00c9mile", u"Unknown", u"Unknown"};
const SongData kC{9000, 4294967295u, 1, 7, 1970, u"C", u"c", u"cc", u"ccc"};

TEST_F(PlayListTest, AnEmptyPlaylist) {
    ULONG count = 9;
    LONG empty = 0;
    EXPECT_EQ(m_list->Count(&count), S_OK);
    EXPECT_EQ(m_list->IsEmpty(&empty), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(empty, 1);
    GUID id{1, 2, 3, {}};
    for (auto nav : {&IPlayList::First, &IPlayList::Last, &IPlayList::Next, &IPlayList::Prev}) {
        EXPECT_EQ((m_list.Get()->*nav)(&id), S_FALSE);
        EXPECT_EQ(id, GUID_NULL);
    }
    GUID some{};
    plat::CreateGuid(&some);
    plat::ComPtr<ISong> song;
    ISong* out = reinterpret_cast<ISong*>(0x1);
    EXPECT_EQ(m_list->Get(some, &out), S_OK);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(m_list->Delete(some), E_FAIL);
    EXPECT_TRUE(Contents(m_list.Get()).empty());
    EXPECT_EQ(m_list->Count(nullptr), E_POINTER);
    EXPECT_EQ(m_list->CreateNewSong(nullptr), E_POINTER);
}

TEST_F(PlayListTest, NavigationMovesOneSharedPosition) {
    GUID ids[3] = {AddSong(m_list.Get(), kA), AddSong(m_list.Get(), kB), AddSong(m_list.Get(), kC)};
    EXPECT_NE(ids[0], ids[1]);
    GUID id;
    EXPECT_EQ(m_list->First(&id), S_OK);
    EXPECT_EQ(id, ids[0]);
    EXPECT_EQ(m_list->Next(&id), S_OK);
    EXPECT_EQ(id, ids[1]);
    EXPECT_EQ(m_list->Next(&id), S_OK);
    EXPECT_EQ(id, ids[2]);
    EXPECT_EQ(m_list->Next(&id), S_FALSE);
    EXPECT_EQ(id, GUID_NULL);
    EXPECT_EQ(m_list->Prev(&id), S_OK);
    EXPECT_EQ(id, ids[1]);

    EXPECT_EQ(m_list->Last(&id), S_OK);
    EXPECT_EQ(id, ids[2]);
    EXPECT_EQ(m_list->Delete(ids[2]), S_OK);
    EXPECT_EQ(m_list->Next(&id), S_FALSE);
    EXPECT_EQ(m_list->Prev(&id), S_OK);  // from the position the deletion left beyond the end
    EXPECT_EQ(id, ids[1]);

    ISong* untouched = reinterpret_cast<ISong*>(0x1);
    EXPECT_EQ(m_list->Get(GUID_NULL, &untouched), S_FALSE);
    EXPECT_EQ(untouched, reinterpret_cast<ISong*>(0x1));
    plat::ComPtr<ISong> found;
    EXPECT_EQ(m_list->Get(ids[1], found.ReleaseAndGetAddressOf()), S_OK);
    GUID fid;
    found->GetID(&fid);
    EXPECT_EQ(fid, ids[1]);
    EXPECT_EQ(m_list->Get(ids[2], found.ReleaseAndGetAddressOf()), E_INVALIDARG);
    EXPECT_EQ(Contents(m_list.Get()), (std::vector<SongData>{kA, kB}));
}

TEST_F(PlayListTest, TheFolderIsNormalisedAndCreated) {
    std::u16string dir = m_dir.Path() + u"/other";
    EXPECT_EQ(m_list->SetPlayListDir(plat::Bstr(dir)), S_OK);
    EXPECT_EQ(m_list->SaveFileName(), dir + u"/QXCache/QXPlaylist.dat");
    EXPECT_TRUE(plat::IsDirectory(dir + u"/QXCache"));
    EXPECT_EQ(m_list->SetPlayListDir(plat::Bstr(dir + u"/")), S_OK);
    EXPECT_EQ(m_list->SaveFileName(), dir + u"/QXCache/QXPlaylist.dat");
    EXPECT_EQ(m_list->SetPlayListDir(plat::Bstr(u"")), E_INVALIDARG);
    EXPECT_EQ(m_list->SetPlayListDir(nullptr), E_INVALIDARG);
    ASSERT_TRUE(WriteFileBytes(m_dir / u"afile", {1}));
    EXPECT_TRUE(FAILED(m_list->SetPlayListDir(plat::Bstr(m_dir / u"afile"))));
    EXPECT_EQ(ErrorCodes(), (std::vector<LONG>{EC_CREATE_FOLDER}));
    EXPECT_EQ(m_list->SaveFileName(), dir + u"/QXCache/QXPlaylist.dat");
}

TEST_F(PlayListTest, SongsRoundTripThroughTheFileWithNewIds) {
    GUID a = AddSong(m_list.Get(), kA);
    AddSong(m_list.Get(), kB);
    AddSong(m_list.Get(), kC);
    GUID current{};
    plat::CreateGuid(&current);
    EXPECT_EQ(m_list->SetCurrentID(current), S_OK);
    ASSERT_EQ(m_list->Save(), S_OK);
    EXPECT_EQ(ReadFileBytes(File()), ReadFileBytes(File() + u".bak"));

    auto other = Make();
    ASSERT_EQ(other->Load(), S_OK);
    EXPECT_EQ(Contents(other.Get()), (std::vector<SongData>{kA, kB, kC}));
    GUID first, got;
    other->First(&first);
    EXPECT_NE(first, a);
    other->GetCurrentID(&got);
    EXPECT_EQ(got, current);
    EXPECT_TRUE(ErrorCodes().empty());

    // A second load replaces the list rather than adding to it.
    ASSERT_EQ(other->Load(), S_OK);
    EXPECT_EQ(Contents(other.Get()).size(), 3u);
}

TEST_F(PlayListTest, AnEmptyPlaylistIsStoredAsACountOfZero) {
    ASSERT_EQ(m_list->Save(), S_OK);
    ser::KStgArchive archive;
    ASSERT_EQ(archive.open4read(File(), ser::kDataStreamName), S_OK);
    std::vector<Rec> records;
    Rec r{};
    while ((r.type = archive.ReadRecord(r.name, r.value)) != ser::rt_error) records.push_back(r);
    EXPECT_EQ(records, (std::vector<Rec>{Begin(u"\\Settings1", u"KPlayListImpl"), Begin(u"m_vPlayListInfo", u"0"), End(),
                                         Value(u"m_guidCurrent", u"AAAAAAAAAAAAAAAAAAAAAA=="), End()}));
    auto other = Make();
    EXPECT_EQ(other->Load(), S_OK);
}

TEST_F(PlayListTest, TheBackupLoadsWhenTheFileIsMissing) {
    // The second load's reports come a while after the first ones, so that
    // the log does not take them for repeats of a burst.
    plat::ManualClock clock(1000);
    plat::SetClock(&clock);
    struct Restore {
        ~Restore() { plat::SetClock(nullptr); }
    } restore;
    AddSong(m_list.Get(), kA);
    ASSERT_EQ(m_list->Save(), S_OK);
    ASSERT_TRUE(plat::DeleteFile(File()));
    auto other = Make();
    EXPECT_EQ(other->Load(), S_OK);
    EXPECT_EQ(Contents(other.Get()), (std::vector<SongData>{kA}));
    EXPECT_EQ(ErrorCodes(), (std::vector<LONG>{EC_OPEN_FILE}));

    ASSERT_TRUE(plat::DeleteFile(File() + u".bak"));
    clock.Advance(KErrorLog::kRepeatWindowMs);
    EXPECT_EQ(other->Load(), E_FAIL);
    EXPECT_EQ(ErrorCodes(), (std::vector<LONG>{EC_OPEN_FILE, EC_OPEN_DATA_FILE}));
    EXPECT_TRUE(Contents(other.Get()).empty());
    EXPECT_EQ(other->Save(), S_OK);  // nothing stored to keep: a first file is written
}

TEST_F(PlayListTest, ClearRemovesTheFileButNotItsBackup) {
    GUID a = AddSong(m_list.Get(), kA);
    ASSERT_EQ(m_list->Save(), S_OK);
    EXPECT_EQ(m_list->Clear(), S_OK);
    EXPECT_FALSE(plat::PathExists(File()));
    EXPECT_TRUE(plat::PathExists(File() + u".bak"));
    plat::ComPtr<ISong> song;
    AddSong(m_list.Get(), kB);
    EXPECT_EQ(m_list->Get(a, song.ReleaseAndGetAddressOf()), E_INVALIDARG);
    GUID current;
    m_list->GetCurrentID(&current);
    EXPECT_EQ(current, GUID_NULL);
}

TEST_F(PlayListTest, TheRefusedCountWordFailsTheLoad) {
    std::vector<Rec> file{Begin(u"\\Settings1", u"KPlayListImpl"), Begin(u"m_vPlayListInfo", u"1 pv")};
    for (const Rec& r : SongRecords(u"0", 10, u"x")) file.push_back(r);
    file.push_back(End());
    file.push_back(End());
    WriteRecords(File(), file);
    EXPECT_TRUE(FAILED(m_list->Load()));
    EXPECT_TRUE(Contents(m_list.Get()).empty());
}

TEST_F(PlayListTest, ADamagedFileLoadsEveryGoodSong) {
    std::vector<Rec> file{Begin(u"\\Settings1", u"KPlayListImpl"), Begin(u"m_vPlayListInfo", u"4")};
    auto add = [&](const std::vector<Rec>& recs) { file.insert(file.end(), recs.begin(), recs.end()); };
    add(SongRecords(u"0", 100, u"first"));
    add({Begin(u"1", u"SSongInfo"), Value(u"dwLeftBorder", u"AA"), Value(u"strTitle", u"damaged"), End()});
    add({Begin(u"2", u"SSongInfo"), Value(u"strTitle", u"third"), Value(u"fromANewerVersion", u"1"), End()});
    add(SongRecords(u"3", 400, u"fourth"));
    file.push_back(End());
    file.push_back(End());
    WriteRecords(File(), file);

    EXPECT_TRUE(FAILED(m_list->Load()));
    EXPECT_EQ(ErrorCodes(), (std::vector<LONG>{EC_OPEN_DATA_FILE}));
    std::vector<SongData> songs = Contents(m_list.Get());
    ASSERT_EQ(songs.size(), 3u);
    EXPECT_EQ(songs[0].title, u"first");
    EXPECT_EQ(songs[1].title, u"third");  // an unknown name keeps the song
    EXPECT_EQ(songs[2].title, u"fourth");
    EXPECT_EQ(songs[2].left, 400u);

    // The songs that loaded are what the next save keeps.
    ASSERT_EQ(m_list->Save(), S_OK);
    auto other = Make();
    EXPECT_EQ(other->Load(), S_OK);
    EXPECT_EQ(Contents(other.Get()).size(), 3u);
}

TEST_F(PlayListTest, ACutStreamKeepsTheSongsBeforeTheCut) {
    std::vector<Rec> file{Begin(u"\\Settings1", u"KPlayListImpl"), Begin(u"m_vPlayListInfo", u"3")};
    for (const Rec& r : SongRecords(u"0", 100, u"first")) file.push_back(r);
    for (const Rec& r : SongRecords(u"1", 200, u"second")) file.push_back(r);
    file.push_back(Begin(u"2", u"SSongInfo"));
    file.push_back(Value(u"strTitle", u"cut"));  // the stream ends here
    WriteRecords(File(), file);
    EXPECT_TRUE(FAILED(m_list->Load()));
    std::vector<SongData> songs = Contents(m_list.Get());
    ASSERT_EQ(songs.size(), 2u);
    EXPECT_EQ(songs[1].title, u"second");
}

TEST_F(PlayListTest, AnUnreadableStoredPlaylistIsNeverOverwrittenWithAnEmptyOne) {
    AddSong(m_list.Get(), kA);
    ASSERT_EQ(m_list->Save(), S_OK);
    ASSERT_TRUE(WriteFileBytes(File(), std::vector<uint8_t>(4096, 0xEE)));
    ASSERT_TRUE(WriteFileBytes(File() + u".bak", std::vector<uint8_t>(4096, 0xEE)));

    auto other = Make();
    EXPECT_EQ(other->Load(), E_FAIL);
    EXPECT_TRUE(Contents(other.Get()).empty());
    EXPECT_EQ(other->Save(), S_FALSE);  // the periodic save writes nothing
    EXPECT_EQ(ReadFileBytes(File()), std::vector<uint8_t>(4096, 0xEE));
    EXPECT_EQ(ReadFileBytes(File() + u".bak"), std::vector<uint8_t>(4096, 0xEE));

    // A change by the user makes the list worth storing again.
    AddSong(other.Get(), kB);
    EXPECT_EQ(other->Save(), S_OK);
    auto third = Make();
    EXPECT_EQ(third->Load(), S_OK);
    EXPECT_EQ(Contents(third.Get()), (std::vector<SongData>{kB}));
}

TEST_F(PlayListTest, AFileThatOpensButDoesNotLoadFallsBackToItsBackup) {
    AddSong(m_list.Get(), kA);
    AddSong(m_list.Get(), kC);
    ASSERT_EQ(m_list->Save(), S_OK);
    // The file holds a record stream cut before any song; the backup is whole.
    std::u16string other = m_dir / u"cut.dat";
    WriteRecords(other, {Begin(u"\\Settings1", u"KPlayListImpl"), Begin(u"m_vPlayListInfo", u"2")});
    ASSERT_TRUE(plat::CopyFile(other, File(), false));
    auto loaded = Make();
    EXPECT_EQ(loaded->Load(), S_OK);
    EXPECT_EQ(Contents(loaded.Get()), (std::vector<SongData>{kA, kC}));
}

TEST_F(PlayListTest, CallsFromSeveralThreadsAtOnceAreSafe) {
    std::atomic<bool> bad{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 60; ++i) {
                GUID id = AddSong(m_list.Get(), kA);
                plat::ComPtr<ISong> song;
                if (FAILED(m_list->Get(id, song.ReleaseAndGetAddressOf())) || !song) {
                    bad = true;
                    continue;
                }
                song->SetRightBorder(static_cast<ULONG>(i * 10 + 5));
                song->Rename(plat::Bstr(u"renamed"));
                GUID nav;
                m_list->First(&nav);
                m_list->Next(&nav);
                Contents(m_list.Get());
                if (i % 3 == t % 3) m_list->Delete(id);
                if (i % 20 == 0 && FAILED(m_list->Save())) bad = true;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_FALSE(bad);
    ULONG count = 0;
    m_list->Count(&count);
    ASSERT_EQ(m_list->Save(), S_OK);
    auto other = Make();
    ASSERT_EQ(other->Load(), S_OK);
    ULONG loaded = 0;
    other->Count(&loaded);
    EXPECT_EQ(loaded, count);
}

}  // namespace

// The playlist is saved on a clock: a save writes the file only when what it
// would hold differs from what the last save wrote there.
TEST_F(PlayListTest, ASaveWritesTheFileOnlyWhenItsContentChanged) {
    namespace fs = std::filesystem;
    struct Case {
        const char* between;
        std::function<void(IPlayList*, const std::filesystem::path&)> step;
        bool written;
    };
    const Case cases[] = {
        {"nothing", [](IPlayList*, const fs::path&) {}, false},
        {"a title", [](IPlayList* list, const fs::path&) {
             GUID id;
             list->First(&id);
             plat::ComPtr<ISong> song;
             list->Get(id, song.ReleaseAndGetAddressOf());
             plat::ComPtr<ID3> tag;
             song->GetID3Tag(tag.ReleaseAndGetAddressOf());
             tag->SetTitle(plat::Bstr(u"Another title"));
         }, true},
        {"a border", [](IPlayList* list, const fs::path&) {
             GUID id;
             list->First(&id);
             plat::ComPtr<ISong> song;
             list->Get(id, song.ReleaseAndGetAddressOf());
             song->SetRightBorder(kA.right + 1);
         }, true},
        {"a new song", [](IPlayList* list, const fs::path&) { AddSong(list, kB); }, true},
        {"the current song", [](IPlayList* list, const fs::path&) {
             GUID current{};
             plat::CreateGuid(&current);
             list->SetCurrentID(current);
         }, true},
        {"the file removed", [](IPlayList*, const fs::path& file) { fs::remove(file); }, true},
    };
    const fs::path file = plat::ToUtf8(File());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.between);
        auto list = Make();
        list->Clear();
        AddSong(list.Get(), kA);
        ASSERT_EQ(list->Save(), S_OK);
        ASSERT_EQ(list->Save(), S_OK);
        // Dated back, so that a write shows in the file's time.
        const auto past = fs::file_time_type::clock::now() - std::chrono::hours(24);
        fs::last_write_time(file, past);
        c.step(list.Get(), file);
        ASSERT_EQ(list->Save(), S_OK);
        ASSERT_TRUE(fs::exists(file));
        EXPECT_EQ(fs::last_write_time(file) != past, c.written);
        // What is in the file is the list as it stands.
        auto other = Make();
        ASSERT_EQ(other->Load(), S_OK);
        EXPECT_EQ(Contents(other.Get()), Contents(list.Get()));
    }
    EXPECT_TRUE(ErrorCodes().empty());
}
