// Dropping the cache, clearing the playlist, fetching the error list and
// making encoders.
#include "service/controller/tests/ControllerFixture.h"

#include "log/KErrorLog.h"
#include "log/Trace.h"
#include "platform/com/Variant.h"

namespace {

// An encoder that only keeps the cache it is given; it can refuse the cache
// or its own interface.
class FakeEncoder final : public plat::ComObject<FakeEncoder, IAudioEncoder> {
public:
    HRESULT Save(ISong*, BSTR) override { return E_NOTIMPL; }
    HRESULT SaveGroup(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT StopSave() override { return S_OK; }
    HRESULT SetConstantBitrate(ULONG) override { return S_OK; }
    HRESULT SetMinMaxBitrates(ULONG, ULONG) override { return S_OK; }
    HRESULT DeleteSilenceStartEnd(LONG) override { return S_OK; }
    HRESULT LowVolumeStartEnd(LONG) override { return S_OK; }
    HRESULT SetCachePtr(ICache* pCache) override {
        if (refuseCache) return E_FAIL;
        cache = pCache;
        return S_OK;
    }
    ULONG Count() {
        AddRef();
        return Release();
    }
    plat::ComPtr<ICache> cache;
    bool refuseCache = false;
};

class ControllerCacheCommands : public ControllerFixture {
protected:
    void SetUp() override {
        ControllerFixture::SetUp();
        KErrorLog::Instance().ClearErrors();
    }
    void Force(DWORD state) {
        controller->ResetState(0xFFFFFFFFu);
        controller->SetState(state);
    }
    std::vector<std::u16string> Errors() {
        plat::Variant v;
        EXPECT_EQ(S_OK, controller->GetErrors(&v));
        std::vector<std::u16string> texts;
        EXPECT_EQ(S_OK, plat::ReadStringArray(v.Get(), &texts));
        return texts;
    }
};

IAudioEncoder* const kSentinel = reinterpret_cast<IAudioEncoder*>(0x1234);

}  // namespace

TEST_F(ControllerCacheCommands, DropCacheEmptiesBothTellsTheClientsAndLeavesReplayOnlyWhenItPlays) {
    struct Case {
        DWORD state;
        DWORD after;  // the mode flags afterwards
    } cases[] = {
        {_esLive | _esPlay | _esStop, _esLive | _esPlay | _esStop},
        {_esLive | _esPause | _esStop, _esLive | _esPause | _esStop},
        {_esLive | _esPlay | _esRec, _esLive | _esPlay | _esRec},
        {_esReplay | _esPlay | _esStop, _esLive | _esPlay | _esStop},
        {_esReplay | _esPlay | _esRec, _esLive | _esPlay | _esRec},
        {_esReplay | _esPause | _esRec, _esReplay | _esPause | _esRec},
    };
    ASSERT_EQ(S_OK, Build());
    Advise();
    for (const Case& c : cases) {
        cache->Fill(0, 20 * kSecond, 1);
        playlist->Add(100, 2000);
        Force(c.state);
        size_t cleared = events->Count("ClearPlayList");
        ASSERT_EQ(S_OK, controller->DropCache(FALSE)) << std::hex << c.state;
        LONG empty = 0;
        cache->IsEmpty(&empty);
        EXPECT_TRUE(empty) << std::hex << c.state;
        EXPECT_TRUE(playlist->Songs().empty());
        EXPECT_EQ(cleared + 1, events->Count("ClearPlayList")) << "before DropCache returns";
        EXPECT_EQ(c.after, State() & (_esLive | _esReplay | _esPlay | _esPause | _esRec | _esStop))
            << std::hex << c.state;
    }
}

TEST_F(ControllerCacheCommands, APlaylistEmptiedBeforeTheCacheFailsIsStillAnnounced) {
    ASSERT_EQ(S_OK, Build());
    Advise();
    cache->Fill(0, 20 * kSecond, 1);
    playlist->Add(100, 2000);
    cache->FailClear(true);
    EXPECT_EQ(E_ACCESSDENIED, controller->DropCache(FALSE));
    EXPECT_TRUE(playlist->Songs().empty());
    EXPECT_EQ(1u, events->Count("ClearPlayList")) << "the clients still list songs the engine has dropped";
}

TEST_F(ControllerCacheCommands, AfterADropTheNextSongStartsAtTheWritePosition) {
    ASSERT_EQ(S_OK, Build());
    cache->Fill(0, 30 * kSecond, 1);
    ASSERT_EQ(S_OK, controller->Record());
    cache->Fill(0, 5 * kSecond, 1);
    ASSERT_EQ(S_OK, controller->DropCache(TRUE));
    cache->Fill(0, 12 * kSecond, 1);
    ASSERT_EQ(S_OK, controller->StopRecord());
    auto songs = playlist->Songs();
    ASSERT_EQ(1u, songs.size()) << "only the audio after the drop becomes a song";
    ULONG left = 0, right = 0;
    songs[0]->GetBorders(&left, &right);
    EXPECT_EQ(35000u, left);
    EXPECT_EQ(47000u, right);
}

TEST_F(ControllerCacheCommands, ClearPlayListEmptiesThePlaylistAndTellsTheClients) {
    ASSERT_EQ(S_OK, Build());
    Advise();
    playlist->Add(0, 1000);
    playlist->Add(1000, 2000);
    cache->Fill(0, 5 * kSecond, 1);
    ASSERT_EQ(S_OK, controller->ClearPlayList());
    EXPECT_TRUE(playlist->Songs().empty());
    LONG empty = 1;
    cache->IsEmpty(&empty);
    EXPECT_FALSE(empty) << "the cache is left as it is";
    EXPECT_EQ(1u, events->Count("ClearPlayList"));
    EXPECT_EQ(1u, events->Events().size());
}

TEST_F(ControllerCacheCommands, ErrorsComeOutInOrderOnceAndAnEmptyListIsAnEmptyArray) {
    ASSERT_EQ(S_OK, Build());
    EXPECT_TRUE(Errors().empty());
    TQ_REPORT(EC_NO_PLAY_DEVICE, 0, u"");
    TQ_REPORT_FORMATTED(EC_NO_SUCH_DEVICE, 0, u"Headphones");
    TQ_REPORT(EC_NO_CAPTURE_DEVICE, 0, u"");
    auto texts = Errors();
    ASSERT_EQ(3u, texts.size());
    EXPECT_NE(texts[0], texts[1]);
    EXPECT_NE(std::u16string::npos, texts[1].find(u"Headphones"));
    EXPECT_TRUE(Errors().empty()) << "the first fetch emptied the list";
    EXPECT_EQ(E_POINTER, controller->GetErrors(nullptr));
}

TEST(ControllerErrorList, AFetchThatCannotHandTheErrorsOverLeavesThemInTheList) {
    KErrorLog& log = KErrorLog::Instance();
    log.ClearErrors();
    TQ_REPORT(EC_NO_PLAY_DEVICE, 0, u"");
    TQ_REPORT(EC_NO_CAPTURE_DEVICE, 0, u"");
    size_t offered = 0;
    log.TakeErrors([&](const std::vector<std::u16string>& texts) {
        offered = texts.size();
        return false;
    });
    EXPECT_EQ(2u, offered);
    std::vector<std::u16string> kept;
    log.GetErrors(&kept);
    EXPECT_EQ(2u, kept.size());
}

TEST_F(ControllerCacheCommands, EncodersComeFromTheirTypesSlotAndShareTheCache) {
    ASSERT_EQ(S_OK, Build());
    std::vector<plat::ComPtr<FakeEncoder>> made;
    encoders.Set(eOGG, [&]() -> IAudioEncoder* {
        made.emplace_back(FakeEncoder::CreateInstance());
        return made.back().Get();
    });
    IAudioEncoder* first = nullptr;
    IAudioEncoder* second = nullptr;
    ASSERT_EQ(S_OK, controller->CreateNewEncoder(&first, eOGG));
    ASSERT_EQ(S_OK, controller->CreateNewEncoder(&second, eOGG));
    ASSERT_EQ(2u, made.size());
    EXPECT_EQ(static_cast<IAudioEncoder*>(made[0].Get()), first);
    EXPECT_EQ(static_cast<IAudioEncoder*>(made[1].Get()), second);
    EXPECT_EQ(made[0]->cache.Get(), made[1]->cache.Get());
    EXPECT_EQ(static_cast<ICache*>(cache.Get()), made[0]->cache.Get());
    // The caller's reference and the test's own: the creation reference is gone.
    EXPECT_EQ(2u, made[0]->Count());
    first->Release();
    second->Release();
}

TEST_F(ControllerCacheCommands, EncoderCreationFailuresLeaveTheCallersPointerAlone) {
    ASSERT_EQ(S_OK, Build());
    plat::ComPtr<FakeEncoder> refusing(FakeEncoder::CreateInstance());
    refusing->refuseCache = true;
    encoders.Set(eMP3, [&]() -> IAudioEncoder* { return refusing.Get(); });
    encoders.Set(eAAC, []() -> IAudioEncoder* { return nullptr; });
    struct Case {
        int type;
        HRESULT expected;
    } cases[] = {
        {-1, E_INVALIDARG}, {4, E_INVALIDARG}, {0x7FFFFFFF, E_INVALIDARG},
        {eWMA, E_NOTIMPL},  // empty slot
        {eAAC, E_POINTER},  // the factory made nothing
        {eMP3, E_FAIL},     // the encoder refused the cache
    };
    for (const Case& c : cases) {
        IAudioEncoder* out = kSentinel;
        EXPECT_EQ(c.expected, controller->CreateNewEncoder(&out, static_cast<EEncoderType>(c.type))) << c.type;
        EXPECT_EQ(kSentinel, out) << c.type;
    }
    EXPECT_EQ(1u, refusing->Count()) << "the refused encoder was released";
    EXPECT_EQ(E_POINTER, controller->CreateNewEncoder(nullptr, eMP3));
}

TEST(EncoderFactories, SlotsOfKnownTypesOnly) {
    KEncoderFactories table;
    EXPECT_FALSE(table.Set(static_cast<EEncoderType>(4), [] { return static_cast<IAudioEncoder*>(nullptr); }));
    EXPECT_FALSE(table.Set(static_cast<EEncoderType>(-1), [] { return static_cast<IAudioEncoder*>(nullptr); }));
    EXPECT_TRUE(table.Set(eWMA, [] { return static_cast<IAudioEncoder*>(nullptr); }));
    EXPECT_TRUE(static_cast<bool>(table.Get(eWMA)));
    EXPECT_FALSE(static_cast<bool>(table.Get(eMP3)));
    EXPECT_FALSE(static_cast<bool>(table.Get(static_cast<EEncoderType>(9))));
    KEncoderFactories copy = table;
    EXPECT_TRUE(table.Set(eWMA, nullptr));
    EXPECT_FALSE(static_cast<bool>(table.Get(eWMA)));
    EXPECT_TRUE(static_cast<bool>(copy.Get(eWMA))) << "a copy keeps its own slots";
}
