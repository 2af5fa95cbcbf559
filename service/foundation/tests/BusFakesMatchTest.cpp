// The bus tests serve in-memory stand-ins for the settings, the playlist, its
// songs and their tags. Each script here runs once against the service's own
// object and once against the stand-in, writing down every code and
// out-value; the two transcripts must be the same, so a stand-in that drifts
// from the object it stands for fails here and not in a bus test that trusts it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "ipc/tests/support/FakePlayList.h"
#include "ipc/tests/support/FakeSettings.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Guid.h"
#include "platform/com/Variant.h"
#include "platform/core/Text.h"
#include "platform/fs/File.h"
#include "platform/fs/tests/TempDir.h"
#include "service/foundation/KPlayList.h"
#include "service/foundation/KSettings.h"

using plat::ComPtr;

namespace {

// What a script saw, in order. Song ids differ between the two objects, so
// an id is written as the order in which the script first met it. A call
// whose out-value is written goes in a statement of its own: the arguments of
// Add are evaluated in no fixed order.
class Transcript {
public:
    void Add(const std::string& what, HRESULT hr) { m_text += what + "=" + Hex(hr) + "\n"; }
    void Add(const std::string& what, HRESULT hr, const std::string& value) {
        m_text += what + "=" + Hex(hr) + " " + value + "\n";
    }
    std::string Id(const GUID& id) {
        if (id == GUID_NULL) return "null";
        for (size_t i = 0; i < m_ids.size(); ++i)
            if (m_ids[i] == id) return "song" + std::to_string(i);
        m_ids.push_back(id);
        return "song" + std::to_string(m_ids.size() - 1);
    }
    static std::string Text(BSTR s) { return s ? "'" + plat::BstrToUtf8(s) + "'" : "<null>"; }
    const std::string& Str() const { return m_text; }

private:
    static std::string Hex(HRESULT hr) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(hr));
        return buf;
    }
    std::string m_text;
    std::vector<GUID> m_ids;
};

class BusFakesMatch : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("TONQUIL_DATA_DIR", plat::ToUtf8(m_dir.Path()).c_str(), 1); }
    void TearDown() override { ::unsetenv("TONQUIL_DATA_DIR"); }

    testutil::TempDir m_dir;
};

// --- settings ----------------------------------------------------------------

using SettingsScript = std::function<void(ISettings*, Transcript&)>;

void AllValues(ISettings* s, Transcript& t) {
    const struct {
        const char* name;
        HRESULT (ISettings::*get)(LONG*);
    } flags[] = {
        {"LowVolume", &ISettings::GetLowVolumeStartEndState},
        {"DeleteSilence", &ISettings::GetDeleteSilenceStartEndState},
        {"DropCache", &ISettings::GetDropCacheOnExitState},
        {"AutoSplit", &ISettings::GetAutoSplitSongsState},
        {"Intercept", &ISettings::GetInterceptAudioAlwaysState},
        {"PlayLiveRec", &ISettings::GetPlayLiveRecDeviceState},
        {"WriteFromPlay", &ISettings::GetWriteFromPlayDeviceState},
        {"WriteFromRecord", &ISettings::GetWriteFromRecordDeviceState},
        {"WriteSilence", &ISettings::GetWriteSilenceState},
        {"ShowPlaylist", &ISettings::GetShowPlaylistState},
        {"AlwaysOnTop", &ISettings::GetAlwaysOnTopState},
        {"RemindStatus", &ISettings::GetRemindUpdateStatus},
        {"Registered", &ISettings::GetRegistered},
        {"OpenMain", &ISettings::GetOpenMain},
        {"OpenRadio", &ISettings::GetOpenRadio},
        {"StickRadio", &ISettings::GetStickRadio},
        {"OpenPlayList", &ISettings::GetOpenPlayList},
        {"StickPlayList", &ISettings::GetStickPlayList},
        {"OpenGuide", &ISettings::GetOpenGuide},
    };
    for (const auto& f : flags) {
        LONG v = -7;
        HRESULT hr = (s->*f.get)(&v);
        t.Add(f.name, hr, std::to_string(v));
    }
    const struct {
        const char* name;
        HRESULT (ISettings::*get)(UINT*);
    } numbers[] = {{"AudioFormat", &ISettings::GetAudioFormat},
                   {"CBR", &ISettings::GetCBR},
                   {"BitrateType", &ISettings::GetBitrateType},
                   {"MaxSongLength", &ISettings::GetMaxSongLength}};
    for (const auto& n : numbers) {
        UINT v = 7;
        HRESULT hr = (s->*n.get)(&v);
        t.Add(n.name, hr, std::to_string(v));
    }
    UINT lo = 7, hi = 7;
    HRESULT hr = s->GetVBR(&lo, &hi);
    t.Add("VBR", hr, std::to_string(lo) + "," + std::to_string(hi));
    ULONG size = 7;
    hr = s->GetCacheSize(&size);
    t.Add("CacheSize", hr, std::to_string(size));
    const struct {
        const char* name;
        HRESULT (ISettings::*get)(BSTR*);
    } texts[] = {{"CacheDir", &ISettings::GetCacheDir},
                 {"AudioDevice", &ISettings::GetAudioDevice},
                 {"CaptureDevice", &ISettings::GetCaptureDevice}};
    for (const auto& x : texts) {
        plat::Bstr v;
        hr = (s->*x.get)(v.Out());
        t.Add(x.name, hr, Transcript::Text(v));
    }
    const struct {
        const char* name;
        HRESULT (ISettings::*get)(LONG*, LONG*, LONG*, LONG*);
    } rects[] = {{"MainRect", &ISettings::GetMainRect},
                 {"RadioRect", &ISettings::GetRadioRect},
                 {"PlayListRect", &ISettings::GetPlayListRect}};
    for (const auto& r : rects) {
        LONG v[4] = {9, 9, 9, 9};
        hr = (s->*r.get)(&v[0], &v[1], &v[2], &v[3]);
        t.Add(r.name, hr,
              std::to_string(v[0]) + "," + std::to_string(v[1]) + "," + std::to_string(v[2]) + "," +
                  std::to_string(v[3]));
    }
}

// Each value is set, then everything is read back.
template <class T>
SettingsScript Sets(const char* name, HRESULT (ISettings::*set)(T), std::vector<T> values) {
    return [=](ISettings* s, Transcript& t) {
        for (T v : values) {
            t.Add(std::string(name) + "(" + std::to_string(v) + ")", (s->*set)(v));
            AllValues(s, t);
        }
    };
}

SettingsScript SetsText(const char* name, HRESULT (ISettings::*set)(BSTR), std::vector<const char16_t*> values) {
    return [=](ISettings* s, Transcript& t) {
        for (const char16_t* v : values) {
            plat::Bstr text = v ? plat::Bstr(std::u16string_view(v)) : plat::Bstr();
            t.Add(std::string(name) + "(" + Transcript::Text(text) + ")", (s->*set)(text));
            AllValues(s, t);
        }
    };
}

struct SettingsCase {
    const char* name;
    SettingsScript script;
};

std::vector<SettingsCase> SettingsCases() {
    constexpr UINT kMp3 = 0x3D3A2, kWma = 0x3D3A4, kCbr = 0x3D3A5, kVbr = 0x3D3A6, kAac = 0x3D3A7;
    return {
        {"defaults", AllValues},
        {"formats", Sets<UINT>("SetAudioFormat", &ISettings::SetAudioFormat, {kAac, kWma, kCbr, kVbr, 0, 2, kMp3})},
        {"constant rates", Sets<UINT>("SetCBR", &ISettings::SetCBR, {320, 96, 0, 7, 100, 256})},
        {"bitrate types", Sets<UINT>("SetBitrateType", &ISettings::SetBitrateType, {kVbr, kMp3, 0, 1, kCbr})},
        {"variable rates",
         [](ISettings* s, Transcript& t) {
             const UINT pairs[][2] = {{96, 256}, {320, 64}, {128, 128}, {64, 100}, {0, 320}, {64, 320}};
             for (const auto& p : pairs) {
                 t.Add("SetVBR(" + std::to_string(p[0]) + "," + std::to_string(p[1]) + ")", s->SetVBR(p[0], p[1]));
                 AllValues(s, t);
             }
         }},
        {"flags", [](ISettings* s, Transcript& t) {
             for (LONG v : {0, 1, -1, 7}) {
                 t.Add("set all to " + std::to_string(v), S_OK);
                 for (auto set : {&ISettings::SetLowVolumeStartEndState, &ISettings::SetDeleteSilenceStartEndState,
                                  &ISettings::SetDropCacheOnExitState, &ISettings::SetAutoSplitSongsState,
                                  &ISettings::SetInterceptAudioAlwaysState, &ISettings::SetPlayLiveRecDeviceState,
                                  &ISettings::SetWriteFromPlayDeviceState, &ISettings::SetWriteFromRecordDeviceState,
                                  &ISettings::SetWriteSilenceState, &ISettings::SetShowPlaylistState,
                                  &ISettings::SetAlwaysOnTopState, &ISettings::SetRemindUpdateStatus,
                                  &ISettings::SetRegistered, &ISettings::SetOpenMain, &ISettings::SetOpenRadio,
                                  &ISettings::SetStickRadio, &ISettings::SetOpenPlayList, &ISettings::SetStickPlayList,
                                  &ISettings::SetOpenGuide})
                     t.Add("set", (s->*set)(v));
                 AllValues(s, t);
             }
         }},
        {"sizes", [](ISettings* s, Transcript& t) {
             for (ULONG v : {0ul, 7200000ul, 0xFFFFFFFFul}) {
                 t.Add("sizes " + std::to_string(v), s->SetCacheSize(v));
                 t.Add("length", s->SetMaxSongLength(static_cast<UINT>(v)));
                 AllValues(s, t);
             }
         }},
        {"rectangles", [](ISettings* s, Transcript& t) {
             t.Add("main", s->SetMainRect(10, 20, 310, 220));
             t.Add("radio", s->SetRadioRect(-5, -6, 7, 8));
             t.Add("playlist", s->SetPlayListRect(INT32_MIN, 0, INT32_MAX, 1));
             AllValues(s, t);
         }},
        {"cache folder", SetsText("SetCacheDir", &ISettings::SetCacheDir,
                                  {u"/tmp/cache", u"/tmp/Ünï/", u"", nullptr, u"relative"})},
        {"devices",
         [](ISettings* s, Transcript& t) {
             SetsText("SetAudioDevice", &ISettings::SetAudioDevice, {u"Headphones", u"", nullptr})(s, t);
             SetsText("SetCaptureDevice", &ISettings::SetCaptureDevice, {u"Line In", u"", nullptr})(s, t);
         }},
        {"reminder periods",
         Sets<ULONG>("SetRemindUpdatePeriod", &ISettings::SetRemindUpdatePeriod, {0, 1, 14, 0xFFFFFFFFu, 0x80000000u, 0})},
        {"null out-pointers", [](ISettings* s, Transcript& t) {
             LONG v = 0;
             t.Add("GetOpenGuide", s->GetOpenGuide(nullptr));
             t.Add("GetRemindUpdateStatus", s->GetRemindUpdateStatus(nullptr));
             t.Add("GetCBR", s->GetCBR(nullptr));
             t.Add("GetCacheSize", s->GetCacheSize(nullptr));
             t.Add("GetCacheDir", s->GetCacheDir(nullptr));
             UINT n = 0;
             t.Add("GetVBR min", s->GetVBR(nullptr, &n));
             t.Add("GetVBR max", s->GetVBR(&n, nullptr));
             t.Add("GetMainRect", s->GetMainRect(&v, &v, &v, nullptr));
             t.Add("GetRadioRect", s->GetRadioRect(nullptr, &v, &v, &v));
         }},
        {"save and load", [](ISettings* s, Transcript& t) {
             t.Add("load before any save", s->LoadSettings());
             AllValues(s, t);
             s->SetCBR(192);
             s->SetOpenGuide(0);
             t.Add("save", s->SaveSettings());
             s->SetCBR(320);
             s->SetOpenGuide(1);
             t.Add("load", s->LoadSettings());
             AllValues(s, t);
         }},
    };
}

TEST_F(BusFakesMatch, SettingsAnswerAsTheServiceSettings) {
    for (const SettingsCase& c : SettingsCases()) {
        SCOPED_TRACE(c.name);
        // Both start from the same place: no stored settings.
        plat::DeleteFolderRecursive(m_dir / u"Tonquil");
        ComPtr<ISettings> real(CreateSettingsObject());
        ComPtr<ISettings> fake(ipctest::FakeSettings::CreateInstance());
        ASSERT_TRUE(real && fake);
        Transcript fromReal, fromFake;
        c.script(real.Get(), fromReal);
        plat::DeleteFolderRecursive(m_dir / u"Tonquil");
        c.script(fake.Get(), fromFake);
        ASSERT_FALSE(fromReal.Str().empty());
        EXPECT_EQ(fromFake.Str(), fromReal.Str());
    }
}

// --- playlist, songs and tags ------------------------------------------------

using ListScript = std::function<void(IPlayList*, Transcript&, const std::u16string& dir)>;

void DescribeSong(ISong* song, Transcript& t) {
    GUID id = GUID_NULL;
    HRESULT hr = song->GetID(&id);
    t.Add("id", hr, t.Id(id));
    ULONG left = 7, right = 7, length = 7;
    hr = song->GetBorders(&left, &right);
    t.Add("borders", hr, std::to_string(left) + "," + std::to_string(right));
    hr = song->GetLength(&length);
    t.Add("length", hr, std::to_string(length));
    LONG defined = 7;
    hr = song->IsDefined(&defined);
    t.Add("defined", hr, std::to_string(defined));
    ComPtr<ID3> tag;
    hr = song->GetID3Tag(tag.GetAddressOf());
    t.Add("tag", hr);
    if (!tag) return;
    UINT track = 7, year = 7;
    hr = tag->GetTrackNumber(&track);
    t.Add("track", hr, std::to_string(track));
    hr = tag->GetYear(&year);
    t.Add("year", hr, std::to_string(year));
    for (auto get : {&ID3::GetTitle, &ID3::GetArtist, &ID3::GetAlbum, &ID3::GetGenre}) {
        plat::Bstr text;
        hr = (tag.Get()->*get)(text.Out());
        t.Add("text", hr, Transcript::Text(text));
    }
}

void DescribeList(IPlayList* list, Transcript& t) {
    ULONG count = 7;
    HRESULT hr = list->Count(&count);
    t.Add("count", hr, std::to_string(count));
    LONG empty = 7;
    hr = list->IsEmpty(&empty);
    t.Add("empty", hr, std::to_string(empty));
    GUID current = GUID_NULL;
    hr = list->GetCurrentID(&current);
    t.Add("current", hr, t.Id(current));
    plat::Variant songs;
    t.Add("list", list->GetPlaylist(&songs));
    std::vector<IUnknown*> items;
    if (FAILED(plat::ReadUnknownArray(songs.Get(), &items))) return;
    for (IUnknown* item : items) {
        ComPtr<ISong> song;
        item->QueryInterface(IID_ISong, reinterpret_cast<void**>(song.GetAddressOf()));
        item->Release();
        if (song) DescribeSong(song.Get(), t);
    }
}

// n new songs with borders and titles of their own; their ids in order.
std::vector<GUID> AddSongs(IPlayList* list, Transcript& t, int n) {
    std::vector<GUID> ids;
    for (int i = 0; i < n; ++i) {
        ComPtr<ISong> song;
        t.Add("create", list->CreateNewSong(song.GetAddressOf()));
        if (!song) continue;
        song->SetLeftBorder(1000u * static_cast<ULONG>(i + 1));
        song->SetRightBorder(1000u * static_cast<ULONG>(i + 1) + 500u);
        song->Rename(plat::Bstr(u"Song " + plat::ToUtf16(std::to_string(i))));
        GUID id = GUID_NULL;
        song->GetID(&id);
        t.Id(id);
        ids.push_back(id);
    }
    return ids;
}

void Walk(IPlayList* list, Transcript& t, const std::string& moves) {
    for (char m : moves) {
        GUID id = GUID_NULL;
        HRESULT hr = m == 'n' ? list->Next(&id) : m == 'p' ? list->Prev(&id) : m == 'f' ? list->First(&id) : list->Last(&id);
        t.Add(std::string(1, m), hr, t.Id(id));
    }
}

struct ListCase {
    const char* name;
    ListScript script;
};

std::vector<ListCase> ListCases() {
    const GUID unknown{0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    return {
        {"an empty list", [=](IPlayList* list, Transcript& t, const std::u16string&) {
             DescribeList(list, t);
             Walk(list, t, "fnlp");
             ISong* song = reinterpret_cast<ISong*>(0x1);
             HRESULT hr = list->Get(GUID_NULL, &song);
             t.Add("get null id", hr, song == reinterpret_cast<ISong*>(0x1) ? "kept" : "changed");
             hr = list->Get(unknown, &song);
             t.Add("get unknown", hr, song == nullptr ? "none" : "not cleared");
             t.Add("delete unknown", list->Delete(unknown));
         }},
        {"navigation", [](IPlayList* list, Transcript& t, const std::u16string&) {
             std::vector<GUID> ids = AddSongs(list, t, 3);
             Walk(list, t, "nnnpplppppfnn");
             t.Add("delete last", list->Delete(ids[2]));
             t.Add("delete middle", list->Delete(ids[1]));
             Walk(list, t, "npnlp");
             t.Add("set current", list->SetCurrentID(ids[1]));  // any id is kept, listed or not
             DescribeList(list, t);
         }},
        {"look-up", [=](IPlayList* list, Transcript& t, const std::u16string&) {
             std::vector<GUID> ids = AddSongs(list, t, 2);
             for (const GUID& id : {ids[1], unknown, GUID_NULL, ids[0]}) {
                 ComPtr<ISong> song;
                 HRESULT hr = list->Get(id, song.GetAddressOf());
                 t.Add("get " + t.Id(id), hr, song ? "song" : "none");
                 if (song) DescribeSong(song.Get(), t);
             }
             t.Add("delete twice", list->Delete(ids[0]));
             t.Add("delete twice", list->Delete(ids[0]));
             t.Add("clear", list->Clear());
             DescribeList(list, t);
         }},
        {"borders and flag", [](IPlayList* list, Transcript& t, const std::u16string&) {
             ComPtr<ISong> song;
             t.Add("create", list->CreateNewSong(song.GetAddressOf()));
             DescribeSong(song.Get(), t);
             const struct {
                 char side;
                 ULONG value;
             } steps[] = {{'r', 5000}, {'l', 9000}, {'l', 1000}, {'r', 500}, {'r', 0}, {'l', 4000},
                          {'r', 3000}, {'d', 0},   {'r', 8000}, {'d', 5}, {'l', 0}};
             for (const auto& s : steps) {
                 HRESULT hr = s.side == 'l' ? song->SetLeftBorder(s.value)
                              : s.side == 'r' ? song->SetRightBorder(s.value)
                                              : song->SetDefined(static_cast<LONG>(s.value));
                 t.Add(std::string(1, s.side) + std::to_string(s.value), hr);
                 DescribeSong(song.Get(), t);
             }
         }},
        {"tags", [](IPlayList* list, Transcript& t, const std::u16string&) {
             ComPtr<ISong> song;
             list->CreateNewSong(song.GetAddressOf());
             ComPtr<ID3> tag;
             t.Add("tag", song->GetID3Tag(tag.GetAddressOf()));
             t.Add("rename null", song->Rename(nullptr));
             t.Add("rename", song->Rename(plat::Bstr(u"Título – ♫")));
             t.Add("artist null", tag->SetArtist(nullptr));
             t.Add("album empty", tag->SetAlbum(plat::Bstr(u"")));
             t.Add("genre", tag->SetGenre(plat::Bstr(u"Jazz")));
             t.Add("track", tag->SetTrackNumber(0xFFFFFFFFu));
             t.Add("year", tag->SetYear(1999));
             DescribeSong(song.Get(), t);
             t.Add("null out", tag->GetTitle(nullptr));
             t.Add("null out", tag->GetYear(nullptr));
             t.Add("null out", song->GetID3Tag(nullptr));
             t.Add("null out", song->GetBorders(nullptr, nullptr));
             t.Add("null out", song->GetLength(nullptr));
         }},
        {"null out-pointers", [](IPlayList* list, Transcript& t, const std::u16string&) {
             t.Add("create", list->CreateNewSong(nullptr));
             t.Add("count", list->Count(nullptr));
             t.Add("empty", list->IsEmpty(nullptr));
             t.Add("first", list->First(nullptr));
             t.Add("next", list->Next(nullptr));
             t.Add("current", list->GetCurrentID(nullptr));
             t.Add("get", list->Get(GUID_NULL, nullptr));
             t.Add("list", list->GetPlaylist(nullptr));
             DescribeList(list, t);
         }},
        {"folders", [](IPlayList* list, Transcript& t, const std::u16string& dir) {
             t.Add("empty", list->SetPlayListDir(plat::Bstr(u"")));
             t.Add("null", list->SetPlayListDir(nullptr));
             t.Add("new folder", list->SetPlayListDir(plat::Bstr(dir + u"/lists/a")));
             t.Add("made", S_OK, plat::IsDirectory(dir + u"/lists/a/QXCache") ? "yes" : "no");
             plat::File file;
             file.Open(dir + u"/plain", plat::FileAccess::Write, plat::FileCreation::CreateAlways, 0);
             file.Close();
             t.Add("below a file", list->SetPlayListDir(plat::Bstr(dir + u"/plain/sub")));
         }},
        {"save and load", [](IPlayList* list, Transcript& t, const std::u16string& dir) {
             t.Add("folder", list->SetPlayListDir(plat::Bstr(dir + u"/first")));
             t.Add("load before any save", list->Load());
             std::vector<GUID> ids = AddSongs(list, t, 3);
             t.Add("current", list->SetCurrentID(ids[1]));
             ComPtr<ISong> song;
             list->Get(ids[2], song.GetAddressOf());
             song->SetDefined(0);
             ComPtr<ID3> tag;
             song->GetID3Tag(tag.GetAddressOf());
             tag->SetArtist(nullptr);  // stored as an empty text
             tag->SetYear(2001);
             t.Add("save", list->Save());
             t.Add("delete", list->Delete(ids[0]));
             Walk(list, t, "l");
             t.Add("load", list->Load());  // new songs, new ids, the position back at the start
             DescribeList(list, t);
             Walk(list, t, "n");
             t.Add("other folder", list->SetPlayListDir(plat::Bstr(dir + u"/second")));
             t.Add("load where nothing was saved", list->Load());
             DescribeList(list, t);
             t.Add("back", list->SetPlayListDir(plat::Bstr(dir + u"/first/")));
             t.Add("clear", list->Clear());
             t.Add("load after clear", list->Load());
             DescribeList(list, t);
         }},
    };
}

TEST_F(BusFakesMatch, PlayListSongsAndTagsAnswerAsTheServiceObjects) {
    for (const ListCase& c : ListCases()) {
        SCOPED_TRACE(c.name);
        testutil::TempDir forReal, forFake;
        ComPtr<IPlayList> real(KPlayList::Create());
        ComPtr<IPlayList> fake(ipctest::FakePlayList::CreateInstance());
        ASSERT_TRUE(real && fake);
        Transcript fromReal, fromFake;
        c.script(real.Get(), fromReal, forReal.Path());
        c.script(fake.Get(), fromFake, forFake.Path());
        ASSERT_FALSE(fromReal.Str().empty());
        EXPECT_EQ(fromFake.Str(), fromReal.Str());
    }
}

}  // namespace
