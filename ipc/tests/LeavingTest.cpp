// A client that releases an object, or leaves the bus, while a call on that
// object is still running: from then on the object takes no new call, but it
// stays on the bus until the running call has answered (or the answer found
// its caller gone), and only then leaves and is freed. Sent after its adaptor
// was destroyed, the answer would read the freed method table (the sanitizer
// build reports it).
#include <atomic>
#include <memory>
#include <string>

#include <sdbus-c++/sdbus-c++.h>

#include "ipc/client/RemoteObject.h"
#include "ipc/common/BusError.h"
#include "ipc/common/Names.h"
#include "ipc/common/WireText.h"
#include "ipc/tests/BusFixture.h"
#include "platform/com/Bstr.h"

using namespace ipctest;
using plat::ComPtr;

namespace {

constexpr const char* kEncoderInterface = "QXServiceLib.IAudioEncoder";

// How the client lets go of the encoder while its Save runs.
enum class LetGo { Release, Disconnect };

struct LeaveCase {
    const char* name;
    LetGo letGo;
};

// A client of its own (one connection), as a script or another program is.
class RawClient {
public:
    explicit RawClient(const std::string& service) : m_bus(sdbus::createSessionBusConnection()), m_service(service) {
        m_bus->enterEventLoopAsync();
    }
    ~RawClient() { Disconnect(); }

    std::string Name() const { return m_bus->getUniqueName(); }
    std::unique_ptr<sdbus::IProxy> Proxy(const std::string& path) { return sdbus::createProxy(*m_bus, m_service, path); }
    std::string NewSong() {
        int32_t hr = E_FAIL;
        sdbus::ObjectPath out;
        Proxy(ipc::kPlayListPath)->callMethod("CreateNewSong").onInterface("QXServiceLib.IPlayList").storeResultsTo(hr, out);
        return hr == S_OK ? std::string(out) : std::string();
    }
    std::string NewEncoder(EEncoderType type) {
        int32_t hr = E_FAIL;
        sdbus::ObjectPath out;
        Proxy(ipc::kControllerPath)
            ->callMethod("CreateNewEncoder")
            .onInterface("QXServiceLib.IAudioController")
            .withArguments(uint32_t(type))
            .storeResultsTo(hr, out);
        return hr == S_OK ? std::string(out) : std::string();
    }
    // Closes the connection without releasing anything.
    void Disconnect() {
        if (!m_bus) return;
        m_bus->leaveEventLoop();
        m_bus.reset();
    }

private:
    std::unique_ptr<sdbus::IConnection> m_bus;
    std::string m_service;
};

}  // namespace

class IpcLeaving : public IpcBus, public ::testing::WithParamInterface<LeaveCase> {};

TEST_P(IpcLeaving, AnEncoderStaysOnTheBusUntilItsRunningSaveHasAnswered) {
    TQ_REQUIRE_SESSION_BUS();
    ipc::ObjectTable& table = service->Objects();
    const size_t exported = table.ExportedCount();
    const int liveBefore = FakeEncoder::s_live.load();
    service->controller->keepLastEncoder = true;

    auto client = std::make_unique<RawClient>(service->UniqueName());
    const std::string leaver = client->Name();
    const std::string path = client->NewEncoder(eMP3);
    const std::string songPath = client->NewSong();
    ASSERT_FALSE(path.empty());
    ASSERT_FALSE(songPath.empty());
    ComPtr<FakeEncoder> encoder = service->controller->lastEncoder;
    ASSERT_TRUE(encoder);
    service->controller->lastEncoder = nullptr;

    struct Answer {
        std::atomic<bool> came{false};
        std::atomic<int32_t> hr{E_FAIL};
    };
    auto answer = std::make_shared<Answer>();
    auto encoderProxy = client->Proxy(path);
    encoderProxy->callMethodAsync("Save")
        .onInterface(kEncoderInterface)
        .withArguments(sdbus::ObjectPath(songPath), std::string("leaving.mp3"))
        .uponReplyInvoke([answer](const sdbus::Error* error, int32_t hr) {
            answer->hr = error ? E_FAIL : hr;
            answer->came = true;
        });
    ASSERT_EQ(encoder->saving.Wait(30000), plat::WAIT_OBJECT_0) << "the Save never started";

    if (GetParam().letGo == LetGo::Release) {
        encoderProxy->callMethod("Release").onInterface(ipc::kLifetimeInterface);
    } else {
        encoderProxy.reset();
        client->Disconnect();
    }
    ASSERT_TRUE(Eventually([&] { return table.IsLeaving(path); }));
    // Off the bus for new calls and as an argument, still there for the running Save.
    EXPECT_FALSE(table.Resolve(path));
    EXPECT_TRUE(table.IsExported(path));
    if (GetParam().letGo == LetGo::Release) {
        int32_t hr = S_OK;
        try {
            encoderProxy->callMethod("SetConstantBitrate").onInterface(kEncoderInterface).withArguments(uint32_t(128)).storeResultsTo(hr);
            ADD_FAILURE() << "a released encoder took a new call";
        } catch (const sdbus::Error& e) {
            EXPECT_EQ(ipc::BusError::ToHResult(e), RPC_E_DISCONNECTED) << e.getName();
        }
    }
    // Events the encoder raises while it goes still reach the bus safely.
    plat::Bstr file(u"leaving.mp3");
    encoder->FireProgress(75, file.Get());

    encoder->StopSave();
    if (GetParam().letGo == LetGo::Release) {
        EXPECT_TRUE(Eventually([&] { return answer->came.load(); })) << "the running Save never answered";
        EXPECT_EQ(answer->hr.load(), S_OK);
    }
    EXPECT_TRUE(Eventually([&] { return !table.IsExported(path); })) << "the encoder never left the bus";
    encoderProxy.reset();
    client.reset();
    encoder = nullptr;
    EXPECT_TRUE(Eventually([&] {
        return table.ReferenceCount(leaver) == 0 && table.ExportedCount() == exported &&
               FakeEncoder::s_live.load() == liveBefore;
    })) << "exported " << table.ExportedCount() << ", encoders alive " << FakeEncoder::s_live.load();
    ULONG state = 0;
    EXPECT_EQ(controller->GetCurrentState(&state), S_OK);
}

INSTANTIATE_TEST_SUITE_P(Leaving, IpcLeaving,
                         ::testing::Values(LeaveCase{"Release", LetGo::Release},
                                           LeaveCase{"Disconnect", LetGo::Disconnect}),
                         [](const ::testing::TestParamInfo<LeaveCase>& info) { return info.param.name; });

// Handed out again while it still waits for its running call, the object
// stays where it is and takes calls again.
TEST_F(IpcBus, AnEncoderHandedOutAgainWhileLeavingStays) {
    TQ_REQUIRE_SESSION_BUS();
    ipc::ObjectTable& table = service->Objects();
    service->controller->keepLastEncoder = true;
    ComPtr<IAudioEncoder> proxy;
    ASSERT_EQ(controller->CreateNewEncoder(proxy.ReleaseAndGetAddressOf(), eOGG), S_OK);
    ComPtr<FakeEncoder> encoder = service->controller->lastEncoder;
    service->controller->lastEncoder = nullptr;
    auto playlist = As<IPlayList>(controller.Get());
    ComPtr<ISong> song;
    ASSERT_EQ(playlist->CreateNewSong(song.ReleaseAndGetAddressOf()), S_OK);

    RawClient other(service->UniqueName());
    std::string path;
    {
        ComPtr<ipc::IRemoteObject> remote;
        ASSERT_EQ(proxy->QueryInterface(ipc::IID_IRemoteObject, reinterpret_cast<void**>(remote.GetAddressOf())), S_OK);
        path = remote->ObjectPath();
    }
    std::atomic<bool> answered{false};
    auto saver = other.Proxy(path);
    ComPtr<ipc::IRemoteObject> songRemote;
    ASSERT_EQ(song->QueryInterface(ipc::IID_IRemoteObject, reinterpret_cast<void**>(songRemote.GetAddressOf())), S_OK);
    saver->callMethodAsync("Save")
        .onInterface(kEncoderInterface)
        .withArguments(sdbus::ObjectPath(songRemote->ObjectPath()), std::string("again.ogg"))
        .uponReplyInvoke([&answered](const sdbus::Error*, int32_t) { answered = true; });
    ASSERT_EQ(encoder->saving.Wait(30000), plat::WAIT_OBJECT_0);
    proxy = nullptr;  // our only reference: the encoder starts to leave
    ASSERT_TRUE(Eventually([&] { return table.IsLeaving(path); }));

    // Asking the leaving object for itself (the other client's QueryInterface
    // ran before it left) counts a reference again.
    EXPECT_EQ(table.AddRef(path, other.Name()), S_OK);
    EXPECT_FALSE(table.IsLeaving(path));
    EXPECT_TRUE(table.Resolve(path));
    int32_t hr = E_FAIL;
    saver->callMethod("SetConstantBitrate").onInterface(kEncoderInterface).withArguments(uint32_t(160)).storeResultsTo(hr);
    EXPECT_EQ(hr, S_OK);
    encoder->StopSave();
    EXPECT_TRUE(Eventually([&] { return answered.load(); }));
    EXPECT_TRUE(table.IsExported(path)) << "the second reference still holds it";
    saver->callMethod("Release").onInterface(ipc::kLifetimeInterface);
    EXPECT_TRUE(Eventually([&] { return !table.IsExported(path); }));
}
