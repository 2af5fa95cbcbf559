#include <atomic>
#include <thread>

#include "platform/com/ComPtr.h"
#include "service/audio/KAudioCapturer.h"
#include "service/audio/KAudioPlayer.h"
#include "service/audio/tests/DeviceListTestBed.h"

namespace {

class DeviceList : public DeviceTestBed {
protected:
    void SetUp() override {
        DeviceTestBed::SetUp();
        player = KAudioPlayer::Create();
        ASSERT_NE(player.Get(), nullptr);
        IAudioCapturer* c = KAudioCapturer::Create();
        ASSERT_NE(c, nullptr);
        plat::ComPtr<IAudioCapturer> keep(c);
        ASSERT_EQ(keep.As(&capture), S_OK);
        capturer = keep;
    }
    void TearDown() override {
        player = nullptr;
        capture = nullptr;
        capturer = nullptr;
        DeviceTestBed::TearDown();
    }
    plat::ComPtr<KAudioPlayer> player;
    plat::ComPtr<IAudioCapturer> capturer;
    plat::ComPtr<ICaptureManager> capture;
};

}  // namespace

TEST_F(DeviceList, TheWalkLeavesOutThePrimaryEntryAndTheOwnDevice) {
    sys->AddPlaybackDevice(u"Speakers A");
    sys->AddPlaybackDevice(u"Tonquil Audio Device");
    sys->AddPlaybackDevice(u"Line B");
    EXPECT_EQ(Walk(player.Get()), (std::vector<std::u16string>{u"Speakers A", u"Line B"}));
    plat::Bstr def;
    ASSERT_EQ(player->GetDefaultDevice(def.Out()), S_OK);
    EXPECT_EQ(def.Str(), u"Speakers A");
    // After the end the walk keeps failing with a null name.
    plat::Bstr next;
    EXPECT_EQ(player->GetNextDevice(next.Out()), E_FAIL);
    EXPECT_TRUE(next.IsNull());
    EXPECT_EQ(player->GetNextDevice(next.Out()), E_FAIL);
}

TEST_F(DeviceList, TheDefaultIsTakenBeforeTheOwnDeviceIsRemoved) {
    sys->AddCaptureDevice(u"Monitor of Tonquil Audio Device");
    sys->AddCaptureDevice(u"Line B");
    sys->AddCaptureDevice(u"Tonquil Audio 2");
    EXPECT_EQ(Walk(capture.Get()), (std::vector<std::u16string>{u"Line B", u"Tonquil Audio 2"}))
        << "only the first own device goes";
    plat::Bstr def;
    ASSERT_EQ(capture->GetDefaultDevice(def.Out()), S_OK);
    EXPECT_EQ(def.Str(), u"Monitor of Tonquil Audio Device");
}

TEST_F(DeviceList, AnEmptyListIsAFailureEvenWithoutASystemError) {
    sys->AddPlaybackDevice(u"Tonquil Audio Device");
    plat::SetLastError(0);
    plat::Bstr first;
    HRESULT hr = player->GetFirstDevice(first.Out());
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_EQ(Codes(), std::vector<LONG>{EC_NO_PLAY_DEVICE});
    EXPECT_TRUE(LogHas(u"Refresing device list was failed"));
    EXPECT_TRUE(LogHas(u"m_vDevInfoList.size() > 0"));

    plat::SetLastError(ERROR_NOT_READY);
    EXPECT_EQ(capture->GetFirstDevice(first.Out()), HRESULT_FROM_WIN32(ERROR_NOT_READY));
    EXPECT_EQ(Codes(), std::vector<LONG>{EC_NO_CAPTURE_DEVICE});
}

TEST_F(DeviceList, AFailedEnumerationGivesItsOwnFailure) {
    sys->AddPlaybackDevice(u"Speakers");
    sys->FailNext(plat::VirtualCall::Enumerate, plat::DSERR_NODRIVER);
    plat::Bstr first;
    EXPECT_EQ(player->GetFirstDevice(first.Out()), plat::DSERR_NODRIVER);
}

TEST_F(DeviceList, UsedAndDefaultBeforeAnyDevice) {
    plat::Bstr used;
    ASSERT_EQ(player->GetUsedDevice(used.Out()), S_OK);
    EXPECT_FALSE(used.IsNull()) << "empty, not null";
    EXPECT_EQ(used.Length(), 0u);
    ASSERT_EQ(capture->GetUsedDevice(used.Out()), S_OK);
    EXPECT_FALSE(used.IsNull());
    plat::Bstr def;
    EXPECT_TRUE(FAILED(capture->GetDefaultDevice(def.Out())));
    EXPECT_TRUE(def.IsNull());
    Codes();
}

TEST_F(DeviceList, NullOutPointersAndAWalkNeverBegun) {
    sys->AddPlaybackDevice(u"Speakers");
    EXPECT_EQ(player->GetFirstDevice(nullptr), E_POINTER);
    EXPECT_EQ(player->GetNextDevice(nullptr), E_POINTER);
    EXPECT_EQ(capture->GetUsedDevice(nullptr), E_POINTER);
    EXPECT_EQ(capture->GetDefaultDevice(nullptr), E_POINTER);
    EXPECT_TRUE(LogHas(u"Invalid pointer"));
    plat::Bstr next;
    EXPECT_EQ(player->GetNextDevice(next.Out()), E_FAIL) << "no GetFirstDevice yet";
    plat::Bstr def;
    ASSERT_EQ(player->GetDefaultDevice(def.Out()), S_OK);
    EXPECT_EQ(player->GetNextDevice(next.Out()), E_FAIL) << "a refresh begins no walk";
}

TEST_F(DeviceList, AWalkThatARefreshShortensEndsCleanly) {
    GUID a = sys->AddPlaybackDevice(u"A");
    sys->AddPlaybackDevice(u"B");
    sys->AddPlaybackDevice(u"C");
    plat::Bstr s;
    ASSERT_EQ(player->GetFirstDevice(s.Out()), S_OK);
    ASSERT_EQ(player->GetNextDevice(s.Out()), S_OK);
    ASSERT_EQ(player->GetNextDevice(s.Out()), S_OK);
    EXPECT_EQ(s.Str(), u"C");
    sys->RemoveDevice(a);
    plat::Bstr def;
    ASSERT_EQ(player->GetDefaultDevice(def.Out()), S_OK);  // rebuilds: B, C
    EXPECT_EQ(player->GetNextDevice(s.Out()), E_FAIL);
    EXPECT_TRUE(s.IsNull());
}

TEST_F(DeviceList, TheCallbackCopiesTheGuidAndSkipsThePrimaryEntry) {
    std::vector<SDevInfo> list;
    GUID g{0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};
    const GUID original = g;
    EXPECT_EQ(DevEnumCallback(nullptr, u"Primary Sound Driver", u"", &list), TRUE);
    EXPECT_EQ(DevEnumCallback(&g, u"Speakers", u"speakers", &list), TRUE);
    g.Data1 = 0;  // the enumeration's storage is reused once the call returns
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].guid, original);
    EXPECT_EQ(list[0].strDescription, u"Speakers");
}

TEST_F(DeviceList, WalksAndRefreshesFromSeveralThreadsAtOnce) {
    for (int i = 0; i < 6; ++i) sys->AddPlaybackDevice(u"Device " + plat::ToUtf16(std::to_string(i)));
    std::atomic<bool> bad{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                plat::Bstr s;
                if (SUCCEEDED(player->GetFirstDevice(s.Out())) && s.Str().rfind(u"Device ", 0) != 0) bad = true;
                while (SUCCEEDED(player->GetNextDevice(s.Out())))
                    if (s.Str().rfind(u"Device ", 0) != 0) bad = true;
                plat::Bstr d;
                if (FAILED(player->GetDefaultDevice(d.Out()))) bad = true;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_FALSE(bad.load());
}
