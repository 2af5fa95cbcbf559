// The save loop of the encoder base, driven through a recording format over a
// cache held in memory.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <thread>

#include <gtest/gtest.h>

#include "platform/com/Variant.h"
#include "platform/core/Sync.h"
#include "platform/core/Text.h"
#include "platform/core/Thread.h"
#include "service/encoders/tests/EncoderTestSupport.h"

using namespace enctest;

namespace {

constexpr SHORT kLevel = 10000;

class AudioEncoderTest : public ::testing::Test {
public:
    // A cache holding `data` from position 0 and a fresh encoder on it.
    void Use(std::vector<BYTE> data, ULONGLONG start = 0) {
        cache = MemoryCache::CreateInstance(start, std::move(data));
        encoder = RecordingEncoder::Create();
        ASSERT_TRUE(encoder);
        encoder->callerThread = plat::CurrentThreadId();
        ASSERT_EQ(encoder->SetCachePtr(cache.Get()), S_OK);
        log = ProgressLog::CreateInstance();
        log->Attach(encoder.Get());
    }
    HRESULT Save(ULONG leftMs, ULONG rightMs, const std::u16string& path, const std::u16string& title = u"T") {
        plat::ComPtr<ISong> song(FakeSong::CreateInstance(leftMs, rightMs, title));
        plat::Bstr name(path);
        return encoder->Save(song.Get(), name);
    }
    HRESULT SaveGroup(const std::vector<plat::ComPtr<ISong>>& songs, const std::u16string& folder) {
        std::vector<IUnknown*> items;
        for (auto& s : songs) items.push_back(s.Get());
        plat::Variant v;
        EXPECT_EQ(plat::MakeUnknownArray(items, &v), S_OK);
        plat::Bstr dir(folder);
        return encoder->SaveGroup(v.Get(), dir);
    }
    // Nothing but the listed names in the folder (no temporary file left).
    void ExpectFolderHolds(std::vector<std::u16string> names) {
        std::sort(names.begin(), names.end());
        EXPECT_EQ(dir.Names(), names);
    }

    TempFolder dir;
    plat::ComPtr<MemoryCache> cache;
    plat::ComPtr<RecordingEncoder> encoder;
    plat::ComPtr<ProgressLog> log;
};

TEST_F(AudioEncoderTest, NamesAreNumberedAroundEveryExistingEntry) {
    Use(Tone(20, kLevel));
    // Taken names: a file we may not write, a folder, a dangling link.
    ASSERT_TRUE(WriteText(dir / u"Song.rec", "keep me"));
    ASSERT_EQ(::chmod(plat::ToUtf8(dir / u"Song.rec").c_str(), 0444), 0);
    ASSERT_TRUE(plat::CreateDirectory(dir / u"Song0.rec"));
    ASSERT_EQ(::symlink("/nonexistent", plat::ToUtf8(dir / u"Song1.rec").c_str()), 0);

    struct Case {
        std::u16string requested, saved;
    } cases[] = {
        {u"Song.rec", u"Song2.rec"},
        {u"Song.rec", u"Song3.rec"},
        {u"Song", u"Song4.rec"},            // missing extension appended
        {u"Mr. Jones", u"Mr. Jones"},       // ". Jones" counts as its extension
        {u"Other.mp3", u"Other.mp3"},       // another format's extension is kept
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(plat::ToUtf8(c.requested));
        ASSERT_EQ(Save(0, 20, dir / c.requested), S_OK);
        EXPECT_TRUE(plat::IsFile(dir / c.saved));
        auto paths = log->Paths();
        ASSERT_GE(paths.size(), 2u);
        EXPECT_EQ(paths.back(), dir / c.requested);        // the 100 names what was asked for
        EXPECT_EQ(paths[paths.size() - 2], dir / c.saved);  // the progress names the file
    }
    EXPECT_EQ(ReadText(dir / u"Song.rec"), "keep me");
    EXPECT_TRUE(plat::IsDirectory(dir / u"Song0.rec"));
    ExpectFolderHolds({u"Mr. Jones", u"Other.mp3", u"Song.rec", u"Song0.rec", u"Song1.rec", u"Song2.rec",
                       u"Song3.rec", u"Song4.rec"});
    // The file holds the head, the samples and the tail, nothing else.
    EXPECT_EQ(ReadText(dir / u"Song2.rec").size(), 4 + 20 * 192 + 4u);
}

TEST_F(AudioEncoderTest, ProgressPerPieceIsMonotoneWithOneHundredAtTheEnd) {
    struct Case {
        ULONG ms;  // pieces are 10 ms
        std::vector<UINT> progress;
        std::vector<DWORD> pieces;
    } cases[] = {
        {0, {100}, {}},
        {10, {1, 100}, {1920}},
        {20, {0, 50, 100}, {1920, 1920}},
        {30, {0, 34, 67, 100}, {1920, 1920, 1920}},
        {15, {0, 50, 100}, {1920, 960}},  // the short tail is encoded too
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ms);
        Use(Tone(40, kLevel));
        ASSERT_EQ(Save(5, 5 + c.ms, dir / u"p"), S_OK);
        EXPECT_EQ(log->Values(), c.progress);
        EXPECT_EQ(encoder->pieceBytes, c.pieces);
        EXPECT_EQ(encoder->uninitCalls, 1);
    }

    // Many pieces: every step is fired once, 99 at most before the end.
    Use(Tone(2000, kLevel));
    ASSERT_EQ(Save(0, 2000, dir / u"many"), S_OK);
    auto values = log->Values();
    ASSERT_EQ(values.size(), 101u);
    for (size_t i = 1; i < values.size(); ++i) EXPECT_LT(values[i - 1], values[i]);
    EXPECT_EQ(values[values.size() - 2], 99u);
    EXPECT_EQ(values.back(), 100u);
}

TEST_F(AudioEncoderTest, SavesRunOnALowerPriorityThreadOfTheirOwn) {
    Use(Tone(20, kLevel));
    ASSERT_EQ(Save(0, 20, dir / u"x"), S_OK);
    EXPECT_FALSE(encoder->piecesOnCaller);
    // Nice 10, unless the test itself runs nicer than that.
    EXPECT_EQ(encoder->piecePriority, std::max(10, ::getpriority(PRIO_PROCESS, 0)));
}

TEST_F(AudioEncoderTest, PositionsBeyondFourGibibytesAreReadWhereTheyAre) {
    // 24,000,000 ms lies at 4,608,000,000 bytes: past what 32 bits hold.
    const ULONG leftMs = 24000000;
    const ULONGLONG start = ULONGLONG{leftMs} * 192;
    Use(Tone(30, kLevel), start);
    ASSERT_EQ(Save(leftMs, leftMs + 30, dir / u"late"), S_OK);
    EXPECT_EQ(cache->reads, (std::vector<ULONGLONG>{start, start + 1920, start + 3840}));
}

TEST_F(AudioEncoderTest, RampsRiseOverTheFirstAndFallOverTheLastTwoSeconds) {
    auto gainAt = [&](size_t frame) { return std::abs(encoder->samples.at(2 * frame)) / double(kLevel); };

    Use(Tone(5000, kLevel));
    encoder->pieceSize = 64000;  // pieces do not line up with the ramps
    encoder->LowVolumeStartEnd(TRUE);
    ASSERT_EQ(Save(0, 5000, dir / u"fade"), S_OK);
    ASSERT_EQ(encoder->samples.size(), 5000u * 96);
    const size_t frames = 5000 * 48, ramp = 96000, fallStart = frames - ramp;
    EXPECT_LT(gainAt(0), 0.001);
    EXPECT_NEAR(gainAt(ramp / 2), 0.5, 0.01);
    EXPECT_NEAR(gainAt(ramp), 1.0, 0.001);
    EXPECT_NEAR(gainAt(fallStart - 1), 1.0, 0.001);  // untouched until exactly 2 s before the end
    EXPECT_NEAR(gainAt(fallStart + ramp / 2), 0.5, 0.01);
    EXPECT_LT(gainAt(frames - 1), 0.001);             // reaches silence
    EXPECT_EQ(encoder->samples.at(1), encoder->samples.at(0));  // both channels alike

    // Under two seconds: only the rise.
    Use(Tone(1500, kLevel));
    encoder->LowVolumeStartEnd(TRUE);
    ASSERT_EQ(Save(0, 1500, dir / u"short"), S_OK);
    EXPECT_LT(gainAt(0), 0.001);
    EXPECT_NEAR(gainAt(1500 * 48 - 1), 0.75, 0.01);
}

TEST_F(AudioEncoderTest, SilenceIsTrimmedAndAStretchTrimmedToNothingEncodesNothing) {
    Use(Parts({{1000, 0}, {500, kLevel}, {1000, 0}}));
    encoder->DeleteSilenceStartEnd(TRUE);
    ASSERT_EQ(Save(0, 2500, dir / u"trim"), S_OK);
    // Trimming moves in 2048-byte blocks: what is left is the sound and less
    // than a block of silence on either side.
    const double seconds = encoder->samples.size() / 96000.0;
    EXPECT_GE(seconds, 0.5);
    EXPECT_LT(seconds, 0.5 + 2 * 2048 / 192000.0);

    Use(Tone(640, 0));  // 60 blocks of silence
    encoder->DeleteSilenceStartEnd(TRUE);
    ASSERT_EQ(Save(0, 640, dir / u"empty"), S_OK);
    EXPECT_TRUE(encoder->pieceBytes.empty());
    EXPECT_EQ(log->Values(), std::vector<UINT>{100});
    EXPECT_EQ(ReadText(dir / u"empty.rec"), "HEADTAIL");
}

TEST_F(AudioEncoderTest, StopFromAnotherThreadLeavesNoFileAndFiresNoHundred) {
    Use(Tone(1000, kLevel));
    encoder->SetPiecePauseMs(3600000);  // the stop must also end the pause after this piece
    plat::Event inPiece, stopped;
    encoder->onPiece = [&](size_t i) {
        if (i != 0) return;
        inPiece.Set();
        stopped.Wait(60000);
    };
    HRESULT busy = S_OK;
    std::thread stopper([&] {
        inPiece.Wait(60000);
        busy = Save(0, 10, dir / u"second");  // one save at a time
        encoder->StopSave();
        stopped.Set();
    });
    EXPECT_EQ(Save(0, 1000, dir / u"stopped"), S_OK);
    stopper.join();
    EXPECT_EQ(busy, HRESULT_FROM_WIN32(ERROR_BUSY));
    EXPECT_EQ(encoder->pieceBytes.size(), 1u);
    EXPECT_EQ(encoder->uninitCalls, 1);
    auto values = log->Values();
    EXPECT_TRUE(std::find(values.begin(), values.end(), 100u) == values.end());
    ExpectFolderHolds({});

    // A stop before a save has no effect on it.
    encoder->onPiece = nullptr;
    encoder->SetPiecePauseMs(0);
    encoder->StopSave();
    ASSERT_EQ(Save(0, 30, dir / u"after"), S_OK);
    ExpectFolderHolds({u"after.rec"});
}

TEST_F(AudioEncoderTest, FailuresLeaveNoFileAndTheEncoderSavesAfterwards) {
    struct Case {
        const char* what;
        std::function<void(AudioEncoderTest&)> arrange;
        ULONG left, right;
        std::u16string name;
        bool initReached;
        HRESULT expected;  // 0: any failure
    };
    const ULONGLONG kLate = 100 * 192;
    const Case cases[] = {
        {"init fails", [](auto& t) { t.encoder->failInit = true; }, 0, 50, u"a", true, E_FAIL},
        {"piece fails", [](auto& t) { t.encoder->failPieceAt = 1; }, 0, 50, u"a", true, E_FAIL},
        {"uninit fails", [](auto& t) { t.encoder->failUninit = true; }, 0, 50, u"a", true, E_FAIL},
        {"cache read fails", [&](auto& t) { t.cache->failFrom = kLate; t.cache->readFailure = E_ACCESSDENIED; },
         0, 150, u"a", true, E_ACCESSDENIED},
        {"right before left", nullptr, 50, 40, u"a", false, E_INVALIDARG},
        {"past the write position", nullptr, 0, 1001, u"a", false, E_INVALIDARG},
        {"before the cache start", nullptr, 0, 50, u"a", false, E_INVALIDARG},  // cache starts at 10 ms here
        {"relative path", nullptr, 0, 50, u"", false, E_INVALIDARG},
        {"missing folder", nullptr, 0, 50, u"missing/a", false, HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)},
        {"path through a file", nullptr, 0, 50, u"file/a", false, HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)},
        {"folder only", nullptr, 0, 50, u"sub/", false, E_INVALIDARG},
        {"name too long", nullptr, 0, 50, std::u16string(300, u'n'), false,
         HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE)},
        {"embedded zero", nullptr, 0, 50, std::u16string(u"a\0b", 3), false, E_INVALIDARG},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Use(Tone(1000, kLevel), std::string(c.what) == "before the cache start" ? 10 * 192 : 0);
        if (!plat::IsDirectory(dir / u"sub")) {
            ASSERT_TRUE(plat::CreateDirectory(dir / u"sub"));
        }
        if (!plat::EntryExists(dir / u"file")) {
            ASSERT_TRUE(WriteText(dir / u"file", "x"));
        }
        if (c.arrange) c.arrange(*this);
        const std::u16string path = std::string(c.what) == "relative path" ? u"rel.rec" : dir / c.name;
        EXPECT_EQ(Save(c.left, c.right, path), c.expected);
        EXPECT_EQ(!encoder->initNames.empty(), c.initReached);
        EXPECT_EQ(encoder->uninitCalls, c.initReached && !encoder->failInit ? 1 : 0);
        auto values = log->Values();
        EXPECT_TRUE(std::find(values.begin(), values.end(), 100u) == values.end());
        ExpectFolderHolds({u"file", u"sub"});

        encoder->failInit = encoder->failUninit = false;
        encoder->failPieceAt = SIZE_MAX;
        cache->failFrom = ~0ULL;
        ASSERT_EQ(Save(20, 50, dir / u"good"), S_OK);
        ASSERT_TRUE(plat::DeleteFile(dir / u"good.rec"));
    }
}

TEST_F(AudioEncoderTest, GroupsUseSafeTitlesAndNumberDuplicates) {
    Use(Tone(100, kLevel));
    std::vector<plat::ComPtr<ISong>> songs;
    for (const char16_t* title : {u"Title", u"Title", u"a/b", u"..", u"", u"x\x01y", u"Vol. 2", u"Done.rec", u"../up",
                                  u".hidden"})
        songs.emplace_back(FakeSong::CreateInstance(0, 20, title));
    ASSERT_EQ(SaveGroup(songs, dir.Path().substr(0, dir.Path().size() - 1)), S_OK);  // no trailing "/"
    // A leading dot stays in sight: the file is not hidden.
    ExpectFolderHolds({u"Done.rec", u"Title.rec", u"Title0.rec", u"Untitled.rec", u"Untitled0.rec", u"Vol. 2.rec",
                       u"_.._up.rec", u"_.hidden.rec", u"a_b.rec", u"x_y.rec"});
    // Each song's own series of events: 0, 50, 100.
    EXPECT_EQ(log->Values().size(), 3 * songs.size());
}

// A long title is cut once, at the last character border that leaves room
// for a number and an extension in a file name.
TEST(SafeFileName, LongTitlesAreCutAtACharacterBorder) {
    const size_t room = NAME_MAX - 40;
    struct Case {
        std::u16string unit;  // repeated 65000 times
        size_t bytesPerUnit;
    } cases[] = {{u"a", 1}, {u"é", 2}, {u"日", 3}, {u"😀", 4}, {u"a😀", 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(plat::ToUtf8(c.unit));
        std::u16string title;
        for (int i = 0; i < 65000; ++i) title += c.unit;
        const std::u16string name = KAudioEncoder::SafeFileName(title);
        EXPECT_EQ(plat::ToUtf8(name).size(), room / c.bytesPerUnit * c.bytesPerUnit);
        EXPECT_EQ(name, title.substr(0, name.size()));
        EXPECT_EQ(plat::ToUtf16(plat::ToUtf8(name)), name) << "no surrogate pair is split";
    }
    EXPECT_EQ(KAudioEncoder::SafeFileName(std::u16string(65000, u'.')).size(), room);
    EXPECT_EQ(KAudioEncoder::SafeFileName(std::u16string(65000, u'.')).front(), u'_');
}

TEST_F(AudioEncoderTest, GroupInputIsChecked) {
    Use(Tone(100, kLevel));
    plat::Bstr folder(dir.Path());
    plat::Variant strings;
    ASSERT_EQ(plat::MakeStringArray({u"a"}, &strings), S_OK);
    EXPECT_EQ(encoder->SaveGroup(strings.Get(), folder), E_INVALIDARG);
    plat::Variant empty;
    EXPECT_EQ(encoder->SaveGroup(empty.Get(), folder), E_INVALIDARG);

    std::vector<plat::ComPtr<ISong>> songs{plat::ComPtr<ISong>(FakeSong::CreateInstance(0, 20, u"one"))};
    EXPECT_EQ(SaveGroup(songs, u""), E_INVALIDARG);

    // An element that is no song ends the group; songs before it stay.
    plat::ComPtr<ProgressLog> notASong(ProgressLog::CreateInstance());
    std::vector<IUnknown*> items{songs[0].Get(), static_cast<_IAudioEncoderEvents*>(notASong.Get())};
    plat::Variant mixed;
    ASSERT_EQ(plat::MakeUnknownArray(items, &mixed), S_OK);
    EXPECT_EQ(encoder->SaveGroup(mixed.Get(), folder), E_FAIL);
    ExpectFolderHolds({u"one.rec"});

    // A failed song does not stop the group, but the group reports it.
    songs.emplace_back(FakeSong::CreateInstance(50, 10, u"inverted"));
    songs.emplace_back(FakeSong::CreateInstance(0, 20, u"two"));
    EXPECT_EQ(SaveGroup(songs, dir.Path()), E_INVALIDARG);
    ExpectFolderHolds({u"one.rec", u"one0.rec", u"two.rec"});
}

TEST_F(AudioEncoderTest, AStopBetweenTwoSongsEndsTheGroup) {
    Use(Tone(100, kLevel));
    std::vector<plat::ComPtr<ISong>> songs;
    for (const char16_t* title : {u"first", u"second", u"third"})
        songs.emplace_back(FakeSong::CreateInstance(0, 20, title));
    // The stop arrives once the first song's audio is all encoded.
    encoder->onUninit = [&] { encoder->StopSave(); };
    ASSERT_EQ(SaveGroup(songs, dir.Path()), S_OK);
    ExpectFolderHolds({u"first.rec"});
    EXPECT_EQ(encoder->uninitCalls, 1);

    // A song that failed before the stop is still the group's answer.
    songs.insert(songs.begin(), plat::ComPtr<ISong>(FakeSong::CreateInstance(50, 10, u"inverted")));
    EXPECT_EQ(SaveGroup(songs, dir.Path()), E_INVALIDARG);
    ExpectFolderHolds({u"first.rec", u"first0.rec"});
}

TEST_F(AudioEncoderTest, OnlyTheProgressConnectionPointIsOffered) {
    Use(Tone(10, kLevel));
    plat::ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(encoder->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(container.GetAddressOf())),
              S_OK);
    plat::ComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(DIID__IAudioControllerEvents, point.GetAddressOf()), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(container->FindConnectionPoint(DIID__IAudioEncoderEvents, point.GetAddressOf()), S_OK);
    IID iid{};
    ASSERT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_EQ(iid, DIID__IAudioEncoderEvents);
    EXPECT_EQ(encoder->SetCachePtr(nullptr), E_POINTER);
}

}  // namespace
