// Objects handed to a client are exported on demand, count one reference for
// that client and leave the bus when the client's last proxy goes or the
// client leaves the bus; the engine's objects are never held past that.
#include <sdbus-c++/sdbus-c++.h>

#include "ipc/client/ProxyFactory.h"
#include "ipc/common/Names.h"
#include "ipc/common/WireText.h"
#include "ipc/tests/BusFixture.h"

using namespace ipctest;
using plat::ComPtr;

TEST_F(IpcBus, HandedOutObjectsLiveOnTheBusWhileAClientHoldsThem) {
    ipc::ObjectTable& table = service->Objects();
    const size_t exported = table.ExportedCount();  // the controller and its four parts
    EXPECT_EQ(exported, 5u);
    auto playlist = As<IPlayList>(controller.Get());
    const size_t refs = ClientReferences();

    ComPtr<ISong> song;
    ASSERT_EQ(playlist->CreateNewSong(song.ReleaseAndGetAddressOf()), S_OK);
    GUID id;
    song->GetID(&id);
    const std::string songPath = std::string(ipc::kSongsPath) + "/" + plat::GuidToHex(id);
    EXPECT_TRUE(table.IsExported(songPath));
    EXPECT_EQ(ClientReferences(), refs + 1);

    ComPtr<ID3> tag;
    ASSERT_EQ(song->GetID3Tag(tag.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_TRUE(table.IsExported(songPath + "/ID3"));
    ComPtr<ISong> second;
    ASSERT_EQ(playlist->Get(id, second.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(ClientReferences(), refs + 3) << "each hand-out counts, the same path or not";

    tag = nullptr;
    EXPECT_TRUE(Eventually([&] { return !table.IsExported(songPath + "/ID3"); }));
    song = nullptr;
    EXPECT_TRUE(Eventually([&] { return ClientReferences() == refs + 1; }));
    EXPECT_TRUE(table.IsExported(songPath)) << "the second proxy still holds the song";
    ULONG length = 1;
    EXPECT_EQ(second->GetLength(&length), S_OK);
    second = nullptr;
    EXPECT_TRUE(Eventually([&] { return !table.IsExported(songPath); }));
    EXPECT_EQ(table.ExportedCount(), exported);

    // The song itself lives on in the playlist, and is exported again on request.
    ASSERT_EQ(playlist->Get(id, second.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_TRUE(table.IsExported(songPath));
    EXPECT_EQ(second->GetLength(&length), S_OK);
}

TEST_F(IpcBus, EncodersMadeAndDroppedInALoopLeaveNothingBehind) {
    service->controller->keepLastEncoder = false;
    ipc::ObjectTable& table = service->Objects();
    const size_t exported = table.ExportedCount();
    const size_t refs = ClientReferences();
    const int liveBefore = FakeEncoder::s_live.load();
    for (int i = 0; i < 200; ++i) {
        ComPtr<IAudioEncoder> encoder;
        ASSERT_EQ(controller->CreateNewEncoder(encoder.ReleaseAndGetAddressOf(), EEncoderType(i % 4)), S_OK);
        ASSERT_EQ(encoder->SetConstantBitrate(128), S_OK);
    }
    EXPECT_TRUE(Eventually([&] {
        return table.ExportedCount() == exported && ClientReferences() == refs &&
               FakeEncoder::s_live.load() == liveBefore;  // every encoder was freed
    }));
    EXPECT_LE(service->Exporter().Pool().ThreadCount(), 64u);
}

TEST_F(IpcBus, AClientThatLeavesTheBusGivesBackEveryReference) {
    ipc::ObjectTable& table = service->Objects();
    const size_t exported = table.ExportedCount();
    const int liveBefore = FakeEncoder::s_live.load();
    service->controller->keepLastEncoder = false;
    std::string leaver;
    {
        // A client that never releases anything: it just disconnects.
        auto bus = sdbus::createSessionBusConnection();
        leaver = bus->getUniqueName();
        auto root = sdbus::createProxy(*bus, service->UniqueName(), ipc::kControllerPath);
        int32_t hr = 0;
        sdbus::ObjectPath path;
        root->callMethod("QueryInterface")
            .onInterface(ipc::kLifetimeInterface)
            .withArguments(ipc::WireText::FromGuid(IID_IAudioController))
            .storeResultsTo(hr, path);
        ASSERT_EQ(hr, S_OK);
        for (int i = 0; i < 3; ++i) {
            root->callMethod("CreateNewEncoder")
                .onInterface("QXServiceLib.IAudioController")
                .withArguments(uint32_t(eWMA))
                .storeResultsTo(hr, path);
            ASSERT_EQ(hr, S_OK);
        }
        auto list = sdbus::createProxy(*bus, service->UniqueName(), ipc::kPlayListPath);
        list->callMethod("CreateNewSong").onInterface("QXServiceLib.IPlayList").storeResultsTo(hr, path);
        ASSERT_EQ(hr, S_OK);
        EXPECT_EQ(table.ReferenceCount(leaver), 5u);
        EXPECT_EQ(table.ExportedCount(), exported + 4);
    }
    EXPECT_TRUE(Eventually([&] {
        return table.ReferenceCount(leaver) == 0 && table.ExportedCount() == exported &&
               FakeEncoder::s_live.load() == liveBefore;
    }));
    // Other clients keep theirs.
    EXPECT_GE(ClientReferences(), 1u);
    ULONG state = 0;
    EXPECT_EQ(controller->GetCurrentState(&state), S_OK);
}

TEST_F(IpcBus, QueryInterfaceAcrossTheBus) {
    // The controller hands out its parts; each is its own object.
    auto settings = As<ISettings>(controller.Get());
    ASSERT_TRUE(settings);
    EXPECT_FALSE(As<IAudioController>(settings.Get())) << "the settings object is not the controller";
    EXPECT_FALSE(As<ICache>(controller.Get())) << "the cache never crosses the bus";
    EXPECT_FALSE(As<IAudioPlayer>(controller.Get()));
    ComPtr<IUnknown> unknown = As<IUnknown>(controller.Get());
    EXPECT_TRUE(unknown);
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(controller->QueryInterface(IID_IAudioEncoder, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    // A playback list that also answers the capture identity.
    auto playback = As<IAudioManager>(controller.Get());
    auto asCapture = As<ICaptureManager>(playback.Get());
    ASSERT_TRUE(asCapture);
    BSTR device = nullptr;
    EXPECT_EQ(asCapture->GetFirstDevice(&device), S_OK);
    EXPECT_EQ(plat::BstrToUtf8(device), "Speakers");
    SysFreeString(device);
}

TEST_F(IpcBus, AnObjectThatIsGoneAnswersWithACleanError) {
    ComPtr<ISong> ghost;
    ASSERT_EQ(ipc::ProxyFactory::Create(client, service->UniqueName(), "/Songs/00000000000000000000000000000001",
                                        ipc::ObjectKind::Song, IID_ISong, reinterpret_cast<void**>(ghost.GetAddressOf())),
              S_OK);
    ULONG length = 5;
    EXPECT_EQ(ghost->GetLength(&length), RPC_E_DISCONNECTED);
    EXPECT_EQ(length, 5u);
    ghost = nullptr;  // its release goes nowhere and harms nothing
    ULONG state = 0;
    EXPECT_EQ(controller->GetCurrentState(&state), S_OK);
}

TEST_F(IpcBus, AStoppedServiceAnswersEveryCallWithAnHResult) {
    auto settings = As<ISettings>(controller.Get());
    ComPtr<IAudioEncoder> encoder;
    ASSERT_EQ(controller->CreateNewEncoder(encoder.ReleaseAndGetAddressOf(), eMP3), S_OK);
    service->Shutdown();
    EXPECT_EQ(service->Objects().ExportedCount(), 0u);
    EXPECT_EQ(controller->Play(), RPC_E_SERVER_UNAVAILABLE);
    LONG yes = 0;
    EXPECT_EQ(settings->GetOpenMain(&yes), RPC_E_SERVER_UNAVAILABLE);
    EXPECT_EQ(encoder->StopSave(), RPC_E_SERVER_UNAVAILABLE);
    ComPtr<IAudioController> again;
    EXPECT_EQ(client->FindController(again.ReleaseAndGetAddressOf(), service->BusName()), S_FALSE);
    EXPECT_FALSE(again);
}
