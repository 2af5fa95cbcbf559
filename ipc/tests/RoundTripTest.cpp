// Every method of every interface that crosses the bus, called through the
// proxies: arguments, HRESULTs (success codes and failures alike) and
// out-parameters arrive exactly as the object gave them.
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "ipc/client/ProxyFactory.h"
#include "ipc/tests/BusFixture.h"
#include "log/KErrorLog.h"
#include "platform/core/Text.h"

using namespace ipctest;
using plat::ComPtr;

namespace {

std::string Text(BSTR s) { return s ? plat::BstrToUtf8(s) : std::string("<null>"); }

struct Owned {
    BSTR s = nullptr;
    ~Owned() { SysFreeString(s); }
};

}  // namespace

TEST_F(IpcBus, ControllerCallsCarryTheirArguments) {
    FakeController& fake = *service->controller;
    EXPECT_EQ(controller->Play(), S_OK);
    EXPECT_EQ(controller->Pause(), S_OK);
    EXPECT_EQ(controller->Record(), S_OK);
    EXPECT_EQ(controller->StopRecord(), S_OK);
    EXPECT_EQ(controller->Live(), S_OK);
    EXPECT_EQ(controller->SetPlayPosition(-5000, posCurrent), S_OK);
    EXPECT_EQ(controller->SetPlayPosition(INT64_MIN, posEnd), S_OK);
    EXPECT_EQ(controller->UpdateSettings(), S_OK);
    EXPECT_EQ(controller->DropCache(TRUE), S_OK);
    EXPECT_EQ(controller->SetUndeletableRange(0x100000000ull, 42), S_OK);
    EXPECT_EQ(controller->ResetUndeletableRange(UINT64_MAX, 0), S_OK);
    EXPECT_EQ(controller->ClearPlayList(), S_OK);
    EXPECT_EQ(fake.log.Take(), (std::vector<std::string>{
                                   "Play()", "Pause()", "Record()", "StopRecord()", "Live()",
                                   "SetPlayPosition(-5000,2)", "SetPlayPosition(-9223372036854775808,1)",
                                   "UpdateSettings()", "DropCache(1)", "SetUndeletableRange(4294967296,42)",
                                   "ResetUndeletableRange(18446744073709551615,0)", "ClearPlayList()"}));
}

TEST_F(IpcBus, ControllerGettersGiveTheirOutValues) {
    ULONG value = 0;
    EXPECT_EQ(controller->GetPlayPosition(&value), S_OK);
    EXPECT_EQ(value, FakeController::kPlayPosition);
    EXPECT_EQ(controller->GetRecordPosition(&value), S_OK);
    EXPECT_EQ(value, FakeController::kRecordPosition);
    EXPECT_EQ(controller->GetTimeFullness(&value), S_OK);
    EXPECT_EQ(value, FakeController::kTimeFullness);
    EXPECT_EQ(controller->GetStartReadPos(&value), S_OK);
    EXPECT_EQ(value, FakeController::kStartReadPos);
    EXPECT_EQ(controller->GetAvailableCommands(&value), S_OK);
    EXPECT_EQ(value, FakeController::kCommands);
    EXPECT_EQ(controller->GetCurrentState(&value), S_OK);
    EXPECT_EQ(value, FakeController::kState);
    BYTE percent = 0;
    EXPECT_EQ(controller->GetPercentFullness(&percent), S_OK);
    EXPECT_EQ(percent, FakeController::kPercent);
    UINT buffers = 0;
    EXPECT_EQ(controller->GetAmountCacheBuffer(&buffers), S_OK);
    EXPECT_EQ(buffers, FakeController::kBuffers);
    LONG yes = -1;
    EXPECT_EQ(controller->IsCacheFull(&yes), S_OK);
    EXPECT_EQ(yes, 1);
    EXPECT_EQ(controller->CheckState(_esLive, &yes), S_OK);
    EXPECT_EQ(yes, 1);
    EXPECT_EQ(controller->CheckState(EState(_esReplay | _esPause), &yes), S_OK);
    EXPECT_EQ(yes, 0);
    EXPECT_EQ(controller->CheckCommand(_ecRec, &yes), S_OK);
    EXPECT_EQ(yes, 1);
    EXPECT_EQ(controller->CheckCommand(_ecSkip, &yes), S_OK);
    EXPECT_EQ(yes, 0);

    plat::Variant errors;
    EXPECT_EQ(controller->GetErrors(&errors), S_OK);
    std::vector<std::u16string> texts;
    ASSERT_EQ(plat::ReadStringArray(errors.Get(), &texts), S_OK);
    EXPECT_EQ(texts, (std::vector<std::u16string>{u"Cache saving was failed", u"Ünïcode – error"}));
    EXPECT_EQ(service->controller->log.Take().back(), "GetErrors()");
}

TEST_F(IpcBus, ResultCodesPassExactlyAndFailuresLeaveOutValuesAlone) {
    FakeController& fake = *service->controller;
    for (HRESULT code : {S_FALSE, E_FAIL, E_ACCESSDENIED, HRESULT_FROM_WIN32(ERROR_DISK_FULL), CONNECT_E_ADVISELIMIT,
                         MakeHResult(0x8007FFFFu)}) {
        SCOPED_TRACE(code);
        fake.answer = code;
        EXPECT_EQ(controller->Play(), code);
        EXPECT_EQ(controller->SetPlayPosition(1, posStart), code);
        ULONG value = 0xDEAD;
        EXPECT_EQ(controller->GetPlayPosition(&value), code);
        EXPECT_EQ(value, SUCCEEDED(code) ? FakeController::kPlayPosition : 0xDEADu);
        VARIANT errors;
        errors.vt = VT_I4;
        EXPECT_EQ(controller->GetErrors(&errors), code);
        EXPECT_EQ(errors.vt, SUCCEEDED(code) ? VARTYPE(VT_ARRAY | VT_BSTR) : VARTYPE(VT_EMPTY));
        VariantClear(&errors);
        IAudioEncoder* encoder = reinterpret_cast<IAudioEncoder*>(0x1);
        EXPECT_EQ(controller->CreateNewEncoder(&encoder, eMP3), SUCCEEDED(code) ? S_OK : code);
        if (FAILED(code)) {
            EXPECT_EQ(encoder, nullptr);
        }
        if (encoder && SUCCEEDED(code)) encoder->Release();
    }
}

TEST_F(IpcBus, AnExceptionInTheObjectAnswersAFailureIsLoggedAndTheServiceGoesOn) {
    char folder[] = "/tmp/ipc-log-XXXXXX";
    ASSERT_NE(nullptr, ::mkdtemp(folder));
    const std::string logPath = std::string(folder) + "/errors.log";
    ASSERT_TRUE(KErrorLog::Instance().OpenLogFile(plat::ToUtf16(logPath)));
    FakeController& fake = *service->controller;
    const struct {
        int kind;
        HRESULT expected;
        const char* what;
    } cases[] = {{1, E_FAIL, "the fake controller throws"}, {2, E_OUTOFMEMORY, "out of memory"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake.playThrows = c.kind;
        EXPECT_EQ(c.expected, controller->Play());
        std::ifstream in(logPath, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::u16string units(bytes.size() / 2, u'\0');  // the log is UTF-16
        std::memcpy(units.data(), bytes.data(), units.size() * 2);
        const std::string log = plat::ToUtf8(units);
        bool logged = false;
        for (size_t at = log.find(c.what); at != std::string::npos && !logged; at = log.find(c.what, at + 1)) {
            const size_t begin = log.rfind('\n', at);
            logged = log.substr(begin == std::string::npos ? 0 : begin, at - begin).find(".Play'") != std::string::npos;
        }
        EXPECT_TRUE(logged) << "the method and the exception are in the error log:\n" << log;
    }
    fake.playThrows = 0;
    EXPECT_EQ(S_OK, controller->Play());
    ::unlink(logPath.c_str());
    ::rmdir(folder);
}

TEST_F(IpcBus, NullOutPointersAreRefusedBeforeAnythingIsSent) {
    FakeController& fake = *service->controller;
    EXPECT_EQ(controller->GetPlayPosition(nullptr), E_POINTER);
    EXPECT_EQ(controller->GetRecordPosition(nullptr), E_POINTER);
    EXPECT_EQ(controller->GetPercentFullness(nullptr), E_POINTER);
    EXPECT_EQ(controller->GetTimeFullness(nullptr), E_POINTER);
    EXPECT_EQ(controller->GetStartReadPos(nullptr), E_POINTER);
    EXPECT_EQ(controller->GetAvailableCommands(nullptr), E_POINTER);
    EXPECT_EQ(controller->GetCurrentState(nullptr), E_POINTER);
    EXPECT_EQ(controller->CheckState(_esLive, nullptr), E_POINTER);
    EXPECT_EQ(controller->CheckCommand(_ecPlay, nullptr), E_POINTER);
    EXPECT_EQ(controller->IsCacheFull(nullptr), E_POINTER);
    EXPECT_EQ(controller->CreateNewEncoder(nullptr, eAAC), E_POINTER);
    EXPECT_EQ(controller->GetErrors(nullptr), E_POINTER);
    EXPECT_EQ(controller->GetAmountCacheBuffer(nullptr), E_POINTER);
    auto settings = As<ISettings>(controller.Get());
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->GetMainRect(nullptr, nullptr, nullptr, nullptr), E_POINTER);
    LONG a, b, c;
    EXPECT_EQ(settings->GetRadioRect(&a, &b, &c, nullptr), E_POINTER);
    EXPECT_EQ(fake.log.Size(), 0u);
}

TEST_F(IpcBus, DestroyIsForTheServiceAloneAndRefusedAcrossTheBus) {
    EXPECT_EQ(controller->Destroy(), E_ACCESSDENIED);
    EXPECT_EQ(service->controller->log.Size(), 0u);
}

// --- settings, compared with the same object called in-process -------------

namespace {

struct SettingCase {
    const char* name;
    std::function<HRESULT(ISettings*)> set;
    std::function<std::string(ISettings*)> get;
    // What get shows once set has succeeded ("" when there is no getter).
    std::string expected;
};

template <class T>
std::string Shown(HRESULT hr, const T& value) {
    return std::to_string(hr) + ":" + std::to_string(value);
}

// A flag is set to 1 and then to 0, so that one of the two changes it.
#define FLAG_CASE_TO(name, value)                                                   \
    SettingCase {                                                                   \
        #name, [](ISettings* s) { return s->Set##name(value); },                    \
            [](ISettings* s) {                                                      \
                LONG v = -7;                                                        \
                HRESULT hr = s->Get##name(&v);                                      \
                return Shown(hr, v);                                                \
            },                                                                      \
            Shown(S_OK, LONG(value))                                                \
    }
#define FLAG_CASE(name) FLAG_CASE_TO(name, 1), FLAG_CASE_TO(name, 0)
#define UINT_CASE(name, type, value)                                                \
    SettingCase {                                                                   \
        #name, [](ISettings* s) { return s->Set##name(value); },                    \
            [](ISettings* s) {                                                      \
                type v = 7;                                                         \
                HRESULT hr = s->Get##name(&v);                                      \
                return Shown(hr, v);                                                \
            },                                                                      \
            Shown(S_OK, type(value))                                                \
    }
#define TEXT_CASE(name, value)                                                     \
    SettingCase {                                                                  \
        #name,                                                                     \
            [](ISettings* s) {                                                     \
                plat::Bstr text(std::u16string_view(value));                       \
                return s->Set##name(text);                                         \
            },                                                                     \
            [](ISettings* s) {                                                     \
                Owned v;                                                           \
                HRESULT hr = s->Get##name(&v.s);                                   \
                return std::to_string(hr) + ":" + Text(v.s);                       \
            },                                                                     \
            "0:" + plat::ToUtf8(value)                                             \
    }
#define RECT_CASE(name, l, t, r, b)                                                            \
    SettingCase {                                                                              \
        #name, [](ISettings* s) { return s->Set##name(l, t, r, b); },                          \
            [](ISettings* s) {                                                                 \
                LONG v[4] = {9, 9, 9, 9};                                                      \
                HRESULT hr = s->Get##name(&v[0], &v[1], &v[2], &v[3]);                         \
                return Shown(hr, v[0]) + "," + std::to_string(v[1]) + "," + std::to_string(v[2]) + \
                       "," + std::to_string(v[3]);                                             \
            },                                                                                 \
            Shown(S_OK, LONG(l)) + "," + std::to_string(LONG(t)) + "," + std::to_string(LONG(r)) + "," + \
                std::to_string(LONG(b))                                                        \
    }

std::vector<SettingCase> AllSettings() {
    return {
        UINT_CASE(AudioFormat, UINT, 2),
        UINT_CASE(AudioFormat, UINT, 0),
        UINT_CASE(CBR, UINT, 192),
        UINT_CASE(CBR, UINT, 320),
        UINT_CASE(CBR, UINT, 7),  // not a bit rate: refused alike
        SettingCase{"VBR", [](ISettings* s) { return s->SetVBR(64, 320); },
                    [](ISettings* s) {
                        UINT lo = 7, hi = 7;
                        HRESULT hr = s->GetVBR(&lo, &hi);
                        return Shown(hr, lo) + "," + std::to_string(hi);
                    },
                    "0:64,320"},
        UINT_CASE(BitrateType, UINT, 1),
        UINT_CASE(BitrateType, UINT, 0),
        FLAG_CASE(LowVolumeStartEndState),
        FLAG_CASE(DeleteSilenceStartEndState),
        FLAG_CASE(DropCacheOnExitState),
        FLAG_CASE(AutoSplitSongsState),
        FLAG_CASE(InterceptAudioAlwaysState),
        FLAG_CASE(PlayLiveRecDeviceState),
        FLAG_CASE(WriteFromPlayDeviceState),
        FLAG_CASE(WriteFromRecordDeviceState),
        FLAG_CASE(WriteSilenceState),
        FLAG_CASE(ShowPlaylistState),
        FLAG_CASE(AlwaysOnTopState),
        TEXT_CASE(CacheDir, u"/tmp/tonquil-cache/Ünï/"),
        UINT_CASE(CacheSize, ULONG, 7200000),
        TEXT_CASE(AudioDevice, u"Headphones"),
        TEXT_CASE(CaptureDevice, u"Line In"),
        FLAG_CASE(RemindUpdateStatus),
        SettingCase{"RemindUpdatePeriod", [](ISettings* s) { return s->SetRemindUpdatePeriod(14); },
                    [](ISettings*) { return std::string(); }, ""},
        SettingCase{"RemindUpdatePeriod", [](ISettings* s) { return s->SetRemindUpdatePeriod(0xFFFFFFFFu); },
                    [](ISettings*) { return std::string(); }, ""},
        FLAG_CASE(Registered),
        UINT_CASE(MaxSongLength, UINT, 900),
        RECT_CASE(MainRect, 10, 20, 310, 220),
        FLAG_CASE(OpenMain),
        RECT_CASE(RadioRect, -5, -6, 7, 8),
        FLAG_CASE(OpenRadio),
        FLAG_CASE(StickRadio),
        RECT_CASE(PlayListRect, INT32_MIN, 0, INT32_MAX, 1),
        FLAG_CASE(OpenPlayList),
        FLAG_CASE(StickPlayList),
        FLAG_CASE(OpenGuide),
    };
}

}  // namespace

TEST_F(IpcBus, SettingsAnswerAcrossTheBusAsInProcess) {
    auto remote = As<ISettings>(controller.Get());
    ASSERT_TRUE(remote);
    ISettings* local = service->settings.Get();
    for (const SettingCase& c : AllSettings()) {
        SCOPED_TRACE(c.name);
        std::string before = c.get(local);
        HRESULT hr = c.set(remote.Get());
        std::string afterLocal = c.get(local);
        EXPECT_EQ(c.get(remote.Get()), afterLocal);
        if (SUCCEEDED(hr)) {
            EXPECT_EQ(afterLocal, c.expected) << "the value did not reach the object";
        } else {
            EXPECT_EQ(afterLocal, before);
        }
        EXPECT_EQ(c.set(local), hr);  // the same value set in-process answers the same
    }
    HRESULT remoteSave = remote->SaveSettings();
    EXPECT_EQ(remoteSave, local->SaveSettings());
    HRESULT remoteLoad = remote->LoadSettings();
    EXPECT_EQ(remoteLoad, local->LoadSettings());
}

// --- playlist, songs and tags ----------------------------------------------

TEST_F(IpcBus, PlayListSongsAndTagsRoundTrip) {
    auto playlist = As<IPlayList>(controller.Get());
    ASSERT_TRUE(playlist);
    IPlayList* local = service->playlist.Get();
    ASSERT_EQ(playlist->Clear(), S_OK);
    GUID id = GUID_NULL;
    HRESULT remoteFirst = playlist->First(&id);
    EXPECT_EQ(remoteFirst, local->First(&id));

    ComPtr<ISong> song;
    ASSERT_EQ(playlist->CreateNewSong(song.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_TRUE(song);
    ASSERT_EQ(song->GetID(&id), S_OK);
    EXPECT_NE(id, GUID_NULL);
    EXPECT_EQ(song->SetLeftBorder(1000), S_OK);
    EXPECT_EQ(song->SetRightBorder(61000), S_OK);
    ULONG left = 0, right = 0, length = 0;
    EXPECT_EQ(song->GetBorders(&left, &right), S_OK);
    EXPECT_EQ(left, 1000u);
    EXPECT_EQ(right, 61000u);
    EXPECT_EQ(song->GetLength(&length), S_OK);
    EXPECT_EQ(length, 60000u);
    EXPECT_EQ(song->SetDefined(TRUE), S_OK);
    LONG defined = 0;
    EXPECT_EQ(song->IsDefined(&defined), S_OK);
    EXPECT_EQ(defined, TRUE);
    plat::Bstr title(u"Título – ♫");
    EXPECT_EQ(song->Rename(title), S_OK);

    // The same song, reached in-process through the playlist, shows the changes.
    ULONG count = 0, localCount = 0;
    EXPECT_EQ(playlist->Count(&count), S_OK);
    EXPECT_EQ(local->Count(&localCount), S_OK);
    EXPECT_EQ(count, localCount);
    ComPtr<ISong> same;
    ASSERT_EQ(local->Get(id, same.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_TRUE(same);
    ULONG l2 = 0, r2 = 0;
    same->GetBorders(&l2, &r2);
    EXPECT_EQ(l2, 1000u);
    EXPECT_EQ(r2, 61000u);

    ComPtr<ID3> tag;
    ASSERT_EQ(song->GetID3Tag(tag.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_TRUE(tag);
    Owned text;
    EXPECT_EQ(tag->GetTitle(&text.s), S_OK);
    EXPECT_EQ(Text(text.s), "Título – ♫");
    for (auto [set, get, value] :
         {std::tuple{&ID3::SetArtist, &ID3::GetArtist, u"Ärtist"}, std::tuple{&ID3::SetAlbum, &ID3::GetAlbum, u"Album"},
          std::tuple{&ID3::SetGenre, &ID3::GetGenre, u"Jazz"}, std::tuple{&ID3::SetTitle, &ID3::GetTitle, u""}}) {
        plat::Bstr in{std::u16string_view(value)};
        EXPECT_EQ((tag.Get()->*set)(in), S_OK);
        Owned out;
        EXPECT_EQ((tag.Get()->*get)(&out.s), S_OK);
        EXPECT_EQ(Text(out.s), plat::ToUtf8(value));
    }
    UINT number = 0;
    EXPECT_EQ(tag->SetTrackNumber(7), S_OK);
    EXPECT_EQ(tag->GetTrackNumber(&number), S_OK);
    EXPECT_EQ(number, 7u);
    EXPECT_EQ(tag->SetYear(1999), S_OK);
    EXPECT_EQ(tag->GetYear(&number), S_OK);
    EXPECT_EQ(number, 1999u);

    // Navigation, look-up and the list of songs.
    GUID seen = GUID_NULL;
    EXPECT_EQ(playlist->First(&seen), S_OK);
    EXPECT_EQ(seen, id);
    HRESULT remoteNext = playlist->Next(&seen);
    local->First(&seen);
    EXPECT_EQ(remoteNext, local->Next(&seen));
    EXPECT_EQ(playlist->Last(&seen), S_OK);
    EXPECT_EQ(seen, id);
    HRESULT remotePrev = playlist->Prev(&seen);
    local->Last(&seen);
    EXPECT_EQ(remotePrev, local->Prev(&seen));
    EXPECT_EQ(playlist->SetCurrentID(id), S_OK);
    EXPECT_EQ(playlist->GetCurrentID(&seen), S_OK);
    EXPECT_EQ(seen, id);
    ISong* none = reinterpret_cast<ISong*>(0x1);
    EXPECT_EQ(playlist->Get(GUID_NULL, &none), S_FALSE);
    GUID unknown{0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    ISong* missing = nullptr;
    HRESULT remoteMissing = playlist->Get(unknown, &missing);
    EXPECT_EQ(remoteMissing, local->Get(unknown, &missing));
    EXPECT_EQ(missing, nullptr);
    ComPtr<ISong> again;
    ASSERT_EQ(playlist->Get(id, again.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->GetLength(&length), S_OK);
    EXPECT_EQ(length, 60000u);

    plat::Variant songs;
    ASSERT_EQ(playlist->GetPlaylist(&songs), S_OK);
    std::vector<IUnknown*> items;
    ASSERT_EQ(plat::ReadUnknownArray(songs.Get(), &items), S_OK);
    ASSERT_EQ(items.size(), 1u);
    auto listed = As<ISong>(items[0]);
    items[0]->Release();
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->GetID(&seen), S_OK);
    EXPECT_EQ(seen, id);

    plat::Bstr folder(u"/nonexistent-folder/for-the-playlist");
    HRESULT remoteDir = playlist->SetPlayListDir(folder);
    EXPECT_EQ(remoteDir, local->SetPlayListDir(folder));
    HRESULT remoteSave = playlist->Save();
    EXPECT_EQ(remoteSave, local->Save());
    EXPECT_EQ(playlist->Delete(id), S_OK);
    EXPECT_EQ(playlist->Count(&count), S_OK);
    EXPECT_EQ(count, 0u);
    LONG empty = 0;
    EXPECT_EQ(playlist->IsEmpty(&empty), S_OK);
    EXPECT_EQ(empty, 1);
    HRESULT remoteLoad = playlist->Load();
    EXPECT_EQ(remoteLoad, local->Load());
}

TEST_F(IpcBus, DeviceListsWalkAndServeBothIdentities) {
    auto playback = As<IAudioManager>(controller.Get());
    auto capture = As<ICaptureManager>(controller.Get());
    ASSERT_TRUE(playback);
    ASSERT_TRUE(capture);
    std::vector<std::string> walked;
    Owned device;
    for (HRESULT hr = playback->GetFirstDevice(&device.s); hr == S_OK; hr = playback->GetNextDevice(&device.s)) {
        walked.push_back(Text(device.s));
        SysFreeString(device.s);
        device.s = nullptr;
    }
    EXPECT_EQ(walked, (std::vector<std::string>{"Speakers", "Headphones", "Tonquil Audio Device"}));
    device.s = reinterpret_cast<BSTR>(0x1);
    EXPECT_EQ(playback->GetNextDevice(&device.s), S_FALSE);
    EXPECT_EQ(device.s, nullptr) << "past the end: a null string, as the object gave";
    EXPECT_EQ(playback->GetUsedDevice(&device.s), S_OK);
    EXPECT_EQ(Text(device.s), "Headphones");
    Owned first;
    EXPECT_EQ(capture->GetDefaultDevice(&first.s), S_OK);
    EXPECT_EQ(Text(first.s), "Microphone");

    // The capture list is an IAudioManager too: the same methods under the first identity.
    auto captureAsManager = As<IAudioManager>(capture.Get());
    ASSERT_TRUE(captureAsManager);
    Owned used;
    EXPECT_EQ(captureAsManager->GetUsedDevice(&used.s), S_OK);
    EXPECT_EQ(Text(used.s), "Microphone");
}

TEST_F(IpcBus, EncoderOptionsSavesAndGroupsReachTheEncoder) {
    ComPtr<IAudioEncoder> encoder;
    ASSERT_EQ(controller->CreateNewEncoder(encoder.ReleaseAndGetAddressOf(), eOGG), S_OK);
    ASSERT_TRUE(encoder);
    ComPtr<FakeEncoder> fake = service->controller->lastEncoder;
    ASSERT_TRUE(fake);
    EXPECT_EQ(fake->Type(), eOGG);
    fake->blockInSave = false;

    EXPECT_EQ(encoder->SetConstantBitrate(192), S_OK);
    EXPECT_EQ(encoder->SetMinMaxBitrates(64, 320), S_OK);
    EXPECT_EQ(encoder->DeleteSilenceStartEnd(TRUE), S_OK);
    EXPECT_EQ(encoder->LowVolumeStartEnd(-1), S_OK);
    EXPECT_EQ(encoder->SetCachePtr(nullptr), E_POINTER);  // the encoder's own answer

    auto playlist = As<IPlayList>(controller.Get());
    ComPtr<ISong> a, b;
    ASSERT_EQ(playlist->CreateNewSong(a.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_EQ(playlist->CreateNewSong(b.ReleaseAndGetAddressOf()), S_OK);
    GUID ida, idb;
    a->GetID(&ida);
    b->GetID(&idb);
    plat::Bstr file(u"/tmp/out/Sång.ogg");
    EXPECT_EQ(encoder->Save(a.Get(), file), S_OK);
    plat::Variant group;
    ASSERT_EQ(plat::MakeUnknownArray({a.Get(), b.Get()}, &group), S_OK);
    plat::Bstr folder(u"/tmp/out/");
    EXPECT_EQ(encoder->SaveGroup(group.Get(), folder), S_OK);
    EXPECT_EQ(encoder->StopSave(), S_OK);
    EXPECT_EQ(fake->log.Take(),
              (std::vector<std::string>{"SetConstantBitrate(192)", "SetMinMaxBitrates(64,320)",
                                        "DeleteSilenceStartEnd(1)", "LowVolumeStartEnd(-1)", "SetCachePtr(null)",
                                        "Save(" + plat::GuidToUtf8(ida) + ",/tmp/out/Sång.ogg)",
                                        "SaveGroup(" + plat::GuidToUtf8(ida) + "," + plat::GuidToUtf8(idb) +
                                            ",/tmp/out/)",
                                        "StopSave()"}));

    fake->answer = E_FAIL;
    EXPECT_EQ(encoder->SetConstantBitrate(1), E_FAIL);
    EXPECT_EQ(encoder->Save(a.Get(), file), E_FAIL);
}

TEST_F(IpcBus, ObjectsOfThisProcessCannotBeHandedToTheService) {
    ComPtr<IAudioEncoder> encoder;
    ASSERT_EQ(controller->CreateNewEncoder(encoder.ReleaseAndGetAddressOf(), eMP3), S_OK);
    ComPtr<FakeEncoder> fake = service->controller->lastEncoder;
    plat::Bstr file(u"/tmp/x.mp3");
    EXPECT_EQ(encoder->Save(nullptr, file), E_POINTER);  // answered by the service's check
    ComPtr<ISong> local(FakeSong::CreateInstance());
    ASSERT_TRUE(local);
    EXPECT_EQ(encoder->Save(local.Get(), file), E_INVALIDARG);
    plat::Variant texts;
    ASSERT_EQ(plat::MakeStringArray({u"not", u"songs"}, &texts), S_OK);
    EXPECT_EQ(encoder->SaveGroup(texts.Get(), file), E_INVALIDARG);
    plat::Variant mixed;
    ASSERT_EQ(plat::MakeUnknownArray({local.Get()}, &mixed), S_OK);
    EXPECT_EQ(encoder->SaveGroup(mixed.Get(), file), E_INVALIDARG);
    EXPECT_EQ(fake->log.Size(), 0u) << "nothing reached the encoder";
}
