#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "log/ErrorTextTable.h"
#include "log/KErrorLog.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Module.h"
#include "platform/core/Text.h"
#include "platform/fs/File.h"
#include "platform/fs/tests/TempDir.h"
#include "service/foundation/KSettings.h"
#include "service/foundation/KStgArchive.h"
#include "service/foundation/tests/ArchiveTestUtil.h"

using namespace testutil;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("TONQUIL_DATA_DIR", plat::ToUtf8(m_dir.Path()).c_str(), 1);
        m_file = m_dir.Path() + u"/Tonquil/QXSettings.dat";
        KErrorLog::Instance().ClearErrors();
    }

    static plat::ComPtr<ISettings> Make() { return plat::ComPtr<ISettings>(CreateSettingsObject()); }

    static std::vector<LONG> ErrorCodes() {
        std::vector<LONG> codes;
        LONG code;
        while (KErrorLog::Instance().PopError(&code, nullptr)) codes.push_back(code);
        return codes;
    }

    static std::u16string Text(HRESULT (ISettings::*get)(BSTR*), ISettings* s) {
        plat::Bstr b;
        EXPECT_EQ((s->*get)(b.Out()), S_OK);
        return b.Str();
    }

    TempDir m_dir;
    std::u16string m_file;
};

struct Values {
    UINT format, cbr, vbrMin, vbrMax, bitrateType, maxSong;
    ULONG cacheSize;
    LONG flags[20];
    LONG main[4], radio[4], playlist[4];
    std::u16string cacheDir, audio, capture;
};

// Reads every setting through the interface.
Values ReadAll(ISettings* s) {
    Values v{};
    EXPECT_EQ(s->GetAudioFormat(&v.format), S_OK);
    EXPECT_EQ(s->GetCBR(&v.cbr), S_OK);
    EXPECT_EQ(s->GetVBR(&v.vbrMin, &v.vbrMax), S_OK);
    EXPECT_EQ(s->GetBitrateType(&v.bitrateType), S_OK);
    EXPECT_EQ(s->GetMaxSongLength(&v.maxSong), S_OK);
    EXPECT_EQ(s->GetCacheSize(&v.cacheSize), S_OK);
    const std::vector<HRESULT (ISettings::*)(LONG*)> flags = {
        &ISettings::GetLowVolumeStartEndState,  &ISettings::GetDeleteSilenceStartEndState,
        &ISettings::GetDropCacheOnExitState,    &ISettings::GetAutoSplitSongsState,
        &ISettings::GetInterceptAudioAlwaysState, &ISettings::GetPlayLiveRecDeviceState,
        &ISettings::GetWriteFromPlayDeviceState, &ISettings::GetWriteFromRecordDeviceState,
        &ISettings::GetWriteSilenceState,       &ISettings::GetShowPlaylistState,
        &ISettings::GetAlwaysOnTopState,        &ISettings::GetRemindUpdateStatus,
        &ISettings::GetRegistered,              &ISettings::GetOpenMain,
        &ISettings::GetOpenRadio,               &ISettings::GetStickRadio,
        &ISettings::GetOpenPlayList,            &ISettings::GetStickPlayList,
        &ISettings::GetOpenGuide};
    for (size_t i = 0; i < flags.size(); ++i) EXPECT_EQ((s->*flags[i])(&v.flags[i]), S_OK);
    EXPECT_EQ(s->GetMainRect(&v.main[0], &v.main[1], &v.main[2], &v.main[3]), S_OK);
    EXPECT_EQ(s->GetRadioRect(&v.radio[0], &v.radio[1], &v.radio[2], &v.radio[3]), S_OK);
    EXPECT_EQ(s->GetPlayListRect(&v.playlist[0], &v.playlist[1], &v.playlist[2], &v.playlist[3]), S_OK);
    plat::Bstr b;
    EXPECT_EQ(s->GetCacheDir(b.Out()), S_OK);
    v.cacheDir = b.Str();
    EXPECT_EQ(s->GetAudioDevice(b.Out()), S_OK);
    v.audio = b.Str();
    EXPECT_EQ(s->GetCaptureDevice(b.Out()), S_OK);
    v.capture = b.Str();
    return v;
}

bool operator==(const Values& a, const Values& b) {
    return a.format == b.format && a.cbr == b.cbr && a.vbrMin == b.vbrMin && a.vbrMax == b.vbrMax &&
           a.bitrateType == b.bitrateType && a.maxSong == b.maxSong && a.cacheSize == b.cacheSize &&
           std::equal(std::begin(a.flags), std::end(a.flags), std::begin(b.flags)) &&
           std::equal(std::begin(a.main), std::end(a.main), std::begin(b.main)) &&
           std::equal(std::begin(a.radio), std::end(a.radio), std::begin(b.radio)) &&
           std::equal(std::begin(a.playlist), std::end(a.playlist), std::begin(b.playlist)) &&
           a.cacheDir == b.cacheDir && a.audio == b.audio && a.capture == b.capture;
}

TEST_F(SettingsTest, ANewObjectAnswersTheDefaultsAndItsInterfaces) {
    LONG locks = plat::ComModule::LockCount();
    auto s = Make();
    ASSERT_TRUE(s);
    EXPECT_EQ(plat::ComModule::LockCount(), locks + 1);
    Values v = ReadAll(s.Get());
    EXPECT_EQ(v.format, FMT_MP3);
    EXPECT_EQ(v.cbr, 64u);
    EXPECT_EQ(v.vbrMin, 64u);
    EXPECT_EQ(v.vbrMax, 128u);
    EXPECT_EQ(v.bitrateType, BT_CBR);
    EXPECT_EQ(v.maxSong, 10u);
    EXPECT_EQ(v.cacheSize, 1800000u);
    const LONG flags[] = {1, 1, 0, 1, 0, 0, 1, 0, 0, 1, 0, 1, 0, 1, 0, 1, 1, 1, 1};
    for (size_t i = 0; i < std::size(flags); ++i) EXPECT_EQ(v.flags[i], flags[i]) << i;
    for (LONG x : v.main) EXPECT_EQ(x, 0);
    EXPECT_EQ(v.cacheDir, m_dir.Path() + u"/Tonquil/");
    EXPECT_EQ(v.audio, u"");

    plat::ComPtr<IUnknown> unk;
    EXPECT_EQ(s->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(unk.ReleaseAndGetAddressOf())), S_OK);
    plat::ComPtr<IPlayList> other;
    EXPECT_EQ(s->QueryInterface(IID_IPlayList, reinterpret_cast<void**>(other.ReleaseAndGetAddressOf())),
              E_NOINTERFACE);
    unk = nullptr;
    s = nullptr;
    EXPECT_EQ(plat::ComModule::LockCount(), locks);
}

TEST_F(SettingsTest, AFreshInstallationFailsToLoadAndKeepsTheDefaults) {
    auto s = Make();
    EXPECT_EQ(s->LoadSettings(), E_FAIL);
    EXPECT_EQ(ErrorCodes(), (std::vector<LONG>{EC_OPEN_FILE, EC_OPEN_DATA_FILE}));
    LONG due = 0;
    EXPECT_EQ(s->GetRemindUpdateStatus(&due), S_OK);
    EXPECT_EQ(due, 1);
    auto fresh = Make();
    EXPECT_TRUE(ReadAll(s.Get()) == ReadAll(fresh.Get()));
}

TEST_F(SettingsTest, EverySettingRoundTripsThroughTheFile) {
    auto s = Make();
    ASSERT_EQ(s->SetAudioFormat(FMT_AAC), S_OK);
    ASSERT_EQ(s->SetCBR(320), S_OK);
    ASSERT_EQ(s->SetVBR(96, 256), S_OK);
    ASSERT_EQ(s->SetBitrateType(BT_VBR), S_OK);
    s->SetMaxSongLength(25);
    s->SetCacheSize(123456);
    const std::vector<HRESULT (ISettings::*)(LONG)> setters = {
        &ISettings::SetLowVolumeStartEndState,  &ISettings::SetDeleteSilenceStartEndState,
        &ISettings::SetDropCacheOnExitState,    &ISettings::SetAutoSplitSongsState,
        &ISettings::SetInterceptAudioAlwaysState, &ISettings::SetPlayLiveRecDeviceState,
        &ISettings::SetWriteFromPlayDeviceState, &ISettings::SetWriteFromRecordDeviceState,
        &ISettings::SetWriteSilenceState,       &ISettings::SetShowPlaylistState,
        &ISettings::SetAlwaysOnTopState,        &ISettings::SetRemindUpdateStatus,
        &ISettings::SetRegistered,              &ISettings::SetOpenMain,
        &ISettings::SetOpenRadio,               &ISettings::SetStickRadio,
        &ISettings::SetOpenPlayList,            &ISettings::SetStickPlayList,
        &ISettings::SetOpenGuide};
    for (size_t i = 0; i < setters.size(); ++i) (s.Get()->*setters[i])(static_cast<LONG>(i % 2 ? 0 : 7 + i));
    s->SetMainRect(-10, -20, 30, 40);
    s->SetRadioRect(INT32_MIN, 1, INT32_MAX, -1);
    s->SetPlayListRect(5, 6, 7, 8);
    ASSERT_EQ(s->SetRemindUpdatePeriod(3), S_OK);
    plat::Bstr dir(u"/some/cache \u00e9"), audio(u"Speakers \u2603"), capture(u"");
    ASSERT_EQ(s->SetCacheDir(dir), S_OK);
    ASSERT_EQ(s->SetAudioDevice(audio), S_OK);
    ASSERT_EQ(s->SetCaptureDevice(capture), S_OK);
    Values saved = ReadAll(s.Get());
    EXPECT_EQ(saved.cacheDir, u"/some/cache \u00e9/");
    ASSERT_EQ(s->SaveSettings(), S_OK);
    EXPECT_EQ(ReadFileBytes(m_file), ReadFileBytes(m_file + u".bak"));

    auto t = Make();
    ASSERT_EQ(t->LoadSettings(), S_OK);
    EXPECT_TRUE(ReadAll(t.Get()) == saved);
    EXPECT_TRUE(ErrorCodes().empty());
}

TEST_F(SettingsTest, TheFileHoldsTheDocumentedRecords) {
    auto s = Make();
    ASSERT_EQ(s->SaveSettings(), S_OK);
    ser::KStgArchive archive;
    ASSERT_EQ(archive.open4read(m_file, u"kq47tt2mpawrel8106dxxsb"), S_OK);
    std::vector<Rec> records;
    for (;;) {
        Rec r{};
        r.type = archive.ReadRecord(r.name, r.value);
        if (r.type == ser::rt_error) break;
        records.push_back(r);
    }
    ASSERT_EQ(records.size(), 36u);
    EXPECT_EQ(records.front(), Begin(u"\\Settings1", u"KSettingsImpl"));
    EXPECT_EQ(records.back(), End());
    auto has = [&](const Rec& r) { return std::find(records.begin(), records.end(), r) != records.end(); };
    EXPECT_TRUE(has(Value(u"m_nAudioFormat", u"otMDAA==")));
    EXPECT_TRUE(has(Value(u"m_dwCacheSize", u"QHcbAA==")));
    EXPECT_TRUE(has(Value(u"m_bOpenGuide", u"AQAAAA==")));
    EXPECT_TRUE(has(Value(u"m_cUpdateRemind", u"AAAAAAAAAAA=")));
    EXPECT_TRUE(has(Value(u"m_cMainRect", u"AAAAAAAAAAAAAAAAAAAAAA==")));
    EXPECT_TRUE(has(Value(u"m_strAudioDevice", u"")));
}

TEST_F(SettingsTest, TheFileOpensInAnotherCompoundFileReader) {
    if (std::system("/usr/bin/python3 -c 'import olefile' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "/usr/bin/python3 with the olefile module is not available";
    auto s = Make();
    ASSERT_EQ(s->SaveSettings(), S_OK);
    std::string cmd =
        "/usr/bin/python3 -c \"import olefile,sys\n"
        "o=olefile.OleFileIO(sys.argv[1])\n"
        "print(sorted('/'.join(e) for e in o.listdir(streams=True, storages=True)))\n"
        "print(o.openstream('__DUMMY__').read().hex(), o.get_size('kq47tt2mpawrel8106dxxsb') > 0)\" '" +
        plat::ToUtf8(m_file) + "'";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[256];
    while (size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    EXPECT_EQ(::pclose(p), 0);
    EXPECT_EQ(out, "['__CHECK__', '__DUMMY__', 'kq47tt2mpawrel8106dxxsb']\n00000000 True\n");
}

TEST_F(SettingsTest, TheBackupIsReadWhenTheFileIsMissingOrDamaged) {
    auto s = Make();
    ASSERT_EQ(s->SetCBR(192), S_OK);
    ASSERT_EQ(s->SaveSettings(), S_OK);
    ASSERT_TRUE(plat::DeleteFile(m_file));
    auto t = Make();
    EXPECT_EQ(t->LoadSettings(), S_OK);
    UINT cbr = 0;
    t->GetCBR(&cbr);
    EXPECT_EQ(cbr, 192u);
    EXPECT_EQ(ErrorCodes(), (std::vector<LONG>{EC_OPEN_FILE}));

    ASSERT_TRUE(WriteFileBytes(m_file, std::vector<uint8_t>(3000, 0x11)));
    auto u = Make();
    EXPECT_EQ(u->LoadSettings(), S_OK);
    u->GetCBR(&cbr);
    EXPECT_EQ(cbr, 192u);
}

TEST_F(SettingsTest, AFailedSaveLeavesTheLastSavedFile) {
    auto s = Make();
    ASSERT_EQ(s->SetCBR(128), S_OK);
    ASSERT_EQ(s->SaveSettings(), S_OK);
    std::vector<uint8_t> before = ReadFileBytes(m_file);
    ErrorCodes();

    // Too big for the room files may take in this process for a moment.
    s->SetCBR(256);
    std::u16string longDir(100000, u'd');
    ASSERT_EQ(s->SetCacheDir(plat::Bstr(longDir)), S_OK);
    struct rlimit saved;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 65536;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    HRESULT hr = s->SaveSettings();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(ErrorCodes(), (std::vector<LONG>{EC_SAVE_DATA_FILE}));
    EXPECT_EQ(ReadFileBytes(m_file), before);

    // A backup that cannot be written at all fails the opening.
    ASSERT_TRUE(plat::DeleteFile(m_file + u".bak"));
    ASSERT_TRUE(plat::CreateDirectory(m_file + u".bak"));
    EXPECT_TRUE(FAILED(s->SaveSettings()));
    EXPECT_EQ(ErrorCodes(), (std::vector<LONG>{EC_OPEN_DATA_FILE}));
    EXPECT_EQ(ReadFileBytes(m_file), before);

    auto t = Make();
    ASSERT_EQ(t->LoadSettings(), S_OK);
    UINT cbr = 0;
    t->GetCBR(&cbr);
    EXPECT_EQ(cbr, 128u);
}

TEST_F(SettingsTest, AnUnknownNameLoadsEveryKnownValueButFails) {
    struct Extended : KSettingsImpl {
        UINT extra = 77;
        void DefineProperties() override {
            KSettingsImpl::DefineProperties();
            AddProperty(u"m_nFromANewerVersion", &extra);
        }
    };
    Extended newer;
    newer.m_nCBR = 96;
    newer.m_bOpenGuide = 0;
    ASSERT_EQ(newer.Save(), S_OK);
    auto s = Make();
    EXPECT_TRUE(FAILED(s->LoadSettings()));
    EXPECT_EQ(ErrorCodes(), (std::vector<LONG>{EC_OPEN_DATA_FILE}));
    UINT cbr = 0;
    LONG guide = 1;
    s->GetCBR(&cbr);
    s->GetOpenGuide(&guide);
    EXPECT_EQ(cbr, 96u);
    EXPECT_EQ(guide, 0);
}

TEST_F(SettingsTest, RefusedValuesFailAndChangeNothing) {
    auto s = Make();
    EXPECT_EQ(s->SetVBR(128, 128), S_OK);
    EXPECT_EQ(s->SetVBR(128, 96), E_INVALIDARG);
    EXPECT_EQ(s->SetVBR(100, 128), E_INVALIDARG);
    EXPECT_EQ(s->SetVBR(128, 100), E_INVALIDARG);
    UINT lo = 0, hi = 0;
    s->GetVBR(&lo, &hi);
    EXPECT_EQ(lo, 128u);
    EXPECT_EQ(hi, 128u);
    EXPECT_EQ(s->SetAudioFormat(BT_CBR), E_INVALIDARG);
    EXPECT_EQ(s->SetBitrateType(FMT_MP3), E_INVALIDARG);
    EXPECT_EQ(s->SetCBR(100), E_INVALIDARG);
    UINT format = 0, type = 0, cbr = 0;
    s->GetAudioFormat(&format);
    s->GetBitrateType(&type);
    s->GetCBR(&cbr);
    EXPECT_EQ(format, FMT_MP3);
    EXPECT_EQ(type, BT_CBR);
    EXPECT_EQ(cbr, 64u);
    EXPECT_EQ(s->SetAudioFormat(FMT_OGG), S_OK);
    EXPECT_EQ(s->SetBitrateType(BT_VBR), S_OK);
    // Refused values are logged only.
    EXPECT_TRUE(ErrorCodes().empty());
}

TEST_F(SettingsTest, PointersAndStringsAreChecked) {
    auto s = Make();
    UINT lo = 7;
    EXPECT_EQ(s->GetVBR(&lo, nullptr), E_POINTER);
    EXPECT_EQ(lo, 7u);
    LONG a = 0, b = 0, c = 0;
    EXPECT_EQ(s->GetMainRect(&a, &b, &c, nullptr), E_POINTER);
    EXPECT_EQ(s->GetCacheDir(nullptr), E_POINTER);
    EXPECT_EQ(s->SetAudioDevice(nullptr), E_POINTER);
    EXPECT_EQ(s->SetCaptureDevice(nullptr), E_POINTER);
    EXPECT_EQ(s->SetCacheDir(nullptr), E_POINTER);
    EXPECT_EQ(s->SetAudioDevice(plat::Bstr(u"x")), S_OK);
    EXPECT_EQ(s->SetAudioDevice(plat::Bstr(u"")), S_OK);
    EXPECT_EQ(Text(&ISettings::GetAudioDevice, s.Get()), u"");

    EXPECT_EQ(s->SetCacheDir(plat::Bstr(u"/data/cache")), S_OK);
    EXPECT_EQ(Text(&ISettings::GetCacheDir, s.Get()), u"/data/cache/");
    EXPECT_EQ(s->SetCacheDir(plat::Bstr(u"/data/other/")), S_OK);
    EXPECT_EQ(Text(&ISettings::GetCacheDir, s.Get()), u"/data/other/");
    EXPECT_EQ(s->SetCacheDir(plat::Bstr(u"")), E_INVALIDARG);
    EXPECT_EQ(Text(&ISettings::GetCacheDir, s.Get()), u"/data/other/");

    EXPECT_EQ(s->SetOpenMain(5), S_OK);
    LONG open = 0;
    s->GetOpenMain(&open);
    EXPECT_EQ(open, 5);
    // A setter followed by a load without a save loses the change.
    ASSERT_EQ(s->SaveSettings(), S_OK);
    s->SetOpenMain(0);
    ASSERT_EQ(s->LoadSettings(), S_OK);
    s->GetOpenMain(&open);
    EXPECT_EQ(open, 5);
}

TEST_F(SettingsTest, TheReminderFallsDueAtLocalMidnight) {
    auto s = Make();
    LONG due = 0;
    ASSERT_EQ(s->SetRemindUpdatePeriod(0), S_OK);
    s->GetRemindUpdateStatus(&due);
    EXPECT_EQ(due, 1);
    ASSERT_EQ(s->SetRemindUpdateStatus(0), S_OK);
    s->GetRemindUpdateStatus(&due);
    EXPECT_EQ(due, 0);
    s->SetRemindUpdateStatus(1);

    std::time_t before = std::time(nullptr);
    ASSERT_EQ(s->SetRemindUpdatePeriod(5), S_OK);
    s->GetRemindUpdateStatus(&due);
    EXPECT_EQ(due, 0);
    ASSERT_EQ(s->SaveSettings(), S_OK);
    KSettingsImpl stored;
    ASSERT_EQ(stored.Load(), S_OK);
    std::time_t at = static_cast<std::time_t>(stored.m_cUpdateRemind);
    std::tm local{}, today{};
    localtime_r(&at, &local);
    std::time_t inFive = before + 5 * 86400;
    localtime_r(&inFive, &today);
    EXPECT_EQ(local.tm_hour, 0);
    EXPECT_EQ(local.tm_min, 0);
    EXPECT_EQ(local.tm_sec, 0);
    EXPECT_EQ(local.tm_mday, today.tm_mday);
    EXPECT_EQ(local.tm_mon, today.tm_mon);

    // The largest day count lies far ahead, never in the past.
    ASSERT_EQ(s->SetRemindUpdatePeriod(0x7FFFFFFFu), S_OK);
    s->GetRemindUpdateStatus(&due);
    EXPECT_EQ(due, 0);

    // A count that would be negative is refused and leaves the reminder as it was.
    ASSERT_EQ(s->SetRemindUpdatePeriod(0), S_OK);
    for (ULONG negative : {0xFFFFFFFFu, 0x80000000u}) {
        EXPECT_EQ(s->SetRemindUpdatePeriod(negative), E_INVALIDARG);
        s->GetRemindUpdateStatus(&due);
        EXPECT_EQ(due, 1);
    }
}

TEST_F(SettingsTest, CallsFromSeveralThreadsAtOnceAreSafe) {
    auto s = Make();
    std::atomic<bool> bad{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                std::u16string name = plat::ToUtf16("device-" + std::to_string(t) + "-" + std::to_string(i));
                s->SetAudioDevice(plat::Bstr(name));
                plat::Bstr got;
                if (FAILED(s->GetAudioDevice(got.Out())) || got.Str().rfind(u"device-", 0) != 0) bad = true;
                s->SetMainRect(i, i, i, i);
                LONG r[4];
                s->GetMainRect(&r[0], &r[1], &r[2], &r[3]);
                if (r[0] != r[1] || r[1] != r[2] || r[2] != r[3]) bad = true;  // never a mix of two rectangles
                s->SetCacheDir(plat::Bstr(u"/tmp/x" + name));
                if (i % 100 == 0 && FAILED(s->SaveSettings())) bad = true;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_FALSE(bad);
    EXPECT_EQ(s->LoadSettings(), S_OK);
}

}  // namespace
