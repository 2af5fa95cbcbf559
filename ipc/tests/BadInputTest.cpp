// The bus is an open door for every program of the same user: whatever
// arrives (wrong argument types, malformed GUIDs, unknown paths, out-of-range
// enumerations, huge texts and arrays) gets a clean answer, nothing of it
// reaches the engine's objects, and the service goes on serving.
#include <regex>
#include <string>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>

#include "ipc/common/Names.h"
#include "ipc/common/WireText.h"
#include "ipc/tests/BusFixture.h"

using namespace ipctest;

namespace {

constexpr const char* kController = "QXServiceLib.IAudioController";
constexpr const char* kSettings = "QXServiceLib.ISettings";
constexpr const char* kPlayList = "QXServiceLib.IPlayList";
constexpr const char* kEncoder = "QXServiceLib.IAudioEncoder";

// Calls straight on the bus, past every check a proxy makes.
class RawClient {
public:
    explicit RawClient(std::string service) : m_bus(sdbus::createSessionBusConnection()), m_service(std::move(service)) {}

    std::string Name() { return m_bus->getUniqueName(); }

    // The call's hr, or the bus error's name (as text) when it fails.
    template <class... Args>
    std::string Call(const std::string& path, const char* iface, const char* method, const Args&... args) {
        try {
            auto proxy = sdbus::createProxy(*m_bus, m_service, path);
            auto call = proxy->createMethodCall(iface, method);
            ((void)(call << args), ...);
            auto reply = proxy->callMethod(call);
            int32_t hr = 0;
            reply >> hr;
            return std::to_string(hr);
        } catch (const sdbus::Error& e) {
            return e.getName();
        }
    }

    // The path the service hands out from a method that answers (hr, o).
    template <class... Args>
    std::string Path(const std::string& path, const char* iface, const char* method, const Args&... args) {
        auto proxy = sdbus::createProxy(*m_bus, m_service, path);
        auto call = proxy->createMethodCall(iface, method);
        ((void)(call << args), ...);
        auto reply = proxy->callMethod(call);
        int32_t hr = 0;
        sdbus::ObjectPath out;
        reply >> hr >> out;
        return out;
    }

    std::string Introspect(const std::string& path) {
        auto proxy = sdbus::createProxy(*m_bus, m_service, path);
        std::string xml;
        proxy->callMethod("Introspect").onInterface("org.freedesktop.DBus.Introspectable").storeResultsTo(xml);
        return xml;
    }

private:
    std::unique_ptr<sdbus::IConnection> m_bus;
    std::string m_service;
};

std::string Hr(HRESULT hr) { return std::to_string(hr); }

struct MethodRef {
    std::string iface;
    std::string method;
};

// The contract's methods at a path, as the service itself describes them.
std::vector<MethodRef> MethodsAt(const std::string& xml) {
    std::vector<MethodRef> out;
    static const std::regex interfaceBlock(R"re(<interface name="(QXServiceLib\.[^"]+)">([\s\S]*?)</interface>)re");
    static const std::regex methodName(R"re(<method name="([^"]+)">)re");
    for (std::sregex_iterator i(xml.begin(), xml.end(), interfaceBlock), end; i != end; ++i) {
        const std::string body = (*i)[2];
        for (std::sregex_iterator m(body.begin(), body.end(), methodName); m != end; ++m)
            out.push_back({(*i)[1], (*m)[1]});
    }
    return out;
}

}  // namespace

TEST_F(IpcBus, EveryMethodRefusesArgumentsOfTheWrongType) {
    RawClient raw(service->UniqueName());
    std::vector<std::string> paths = {ipc::kControllerPath, ipc::kSettingsPath, ipc::kPlayListPath,
                                      ipc::kAudioManagerPath, ipc::kCaptureManagerPath};
    std::string song = raw.Path(ipc::kPlayListPath, kPlayList, "CreateNewSong");
    paths.push_back(song);
    paths.push_back(raw.Path(song, "QXServiceLib.ISong", "GetID3Tag"));
    paths.push_back(raw.Path(ipc::kControllerPath, kController, "CreateNewEncoder", uint32_t(eMP3)));
    service->controller->log.Take();

    size_t methods = 0;
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        auto found = MethodsAt(raw.Introspect(path));
        EXPECT_FALSE(found.empty());
        for (const MethodRef& m : found) {
            if (m.method == "Release") continue;  // answers nothing, by design
            ++methods;
            // No method of the contract takes a double.
            EXPECT_EQ(raw.Call(path, m.iface.c_str(), m.method.c_str(), 2.5), "org.freedesktop.DBus.Error.InvalidArgs")
                << m.iface << "." << m.method;
        }
    }
    // The 143 methods of the eight interfaces, and QueryInterface at each of the eight paths.
    EXPECT_EQ(methods, 143u + 8u);
    EXPECT_EQ(service->controller->log.Size(), 0u);
    ULONG state = 0;
    EXPECT_EQ(controller->GetCurrentState(&state), S_OK);
}

TEST_F(IpcBus, MalformedValuesGetAFailureResultAndNeverReachTheObjects) {
    RawClient raw(service->UniqueName());
    const std::string song = raw.Path(ipc::kPlayListPath, kPlayList, "CreateNewSong");
    const std::string encoder = raw.Path(ipc::kControllerPath, kController, "CreateNewEncoder", uint32_t(eAAC));
    ASSERT_NE(encoder, ipc::kNullPath);
    plat::ComPtr<FakeEncoder> fake = service->controller->lastEncoder;
    service->controller->log.Take();

    const std::string huge(ipc::WireText::kMaxTextBytes + 1, 'x');
    const std::string invalid = Hr(E_INVALIDARG);
    const std::vector<sdbus::ObjectPath> tooMany(65537, sdbus::ObjectPath(song));
    struct Case {
        const char* what;
        std::string answer;
        std::string expected;
    };
    const Case cases[] = {
        // GUIDs
        {"Delete(not a GUID)", raw.Call(ipc::kPlayListPath, kPlayList, "Delete", std::string("not a GUID")), invalid},
        {"Get(bad digit)", raw.Call(ipc::kPlayListPath, kPlayList, "Get", std::string("{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8FG}")), invalid},
        {"SetCurrentID(empty)", raw.Call(ipc::kPlayListPath, kPlayList, "SetCurrentID", std::string()), invalid},
        {"Get(huge)", raw.Call(ipc::kPlayListPath, kPlayList, "Get", huge), invalid},
        {"QueryInterface(garbage)", raw.Call(ipc::kControllerPath, ipc::kLifetimeInterface, "QueryInterface", std::string("{}")), invalid},
        {"QueryInterface(ICache)", raw.Call(ipc::kControllerPath, ipc::kLifetimeInterface, "QueryInterface", ipc::WireText::FromGuid(IID_ICache)), Hr(E_NOINTERFACE)},
        // Enumerations
        {"SetPlayPosition(base 3)", raw.Call(ipc::kControllerPath, kController, "SetPlayPosition", int64_t(0), uint32_t(3)), invalid},
        {"SetPlayPosition(base -1)", raw.Call(ipc::kControllerPath, kController, "SetPlayPosition", int64_t(-1), uint32_t(0xFFFFFFFF)), invalid},
        {"CheckState(0x100)", raw.Call(ipc::kControllerPath, kController, "CheckState", uint32_t(0x100)), invalid},
        {"CheckCommand(0x80)", raw.Call(ipc::kControllerPath, kController, "CheckCommand", uint32_t(0x80)), invalid},
        {"CreateNewEncoder(4)", raw.Call(ipc::kControllerPath, kController, "CreateNewEncoder", uint32_t(4)), invalid},
        {"CreateNewEncoder(-1)", raw.Call(ipc::kControllerPath, kController, "CreateNewEncoder", uint32_t(0xFFFFFFFF)), invalid},
        // Texts
        {"SetCacheDir(huge)", raw.Call(ipc::kSettingsPath, kSettings, "SetCacheDir", huge), invalid},
        {"Rename(huge)", raw.Call(song, "QXServiceLib.ISong", "Rename", huge), invalid},
        {"Save(song, huge)", raw.Call(encoder, kEncoder, "Save", sdbus::ObjectPath(song), huge), invalid},
        // Object paths
        {"Save(null)", raw.Call(encoder, kEncoder, "Save", sdbus::ObjectPath("/"), std::string("/tmp/a.aac")), Hr(E_POINTER)},
        {"Save(unknown)", raw.Call(encoder, kEncoder, "Save", sdbus::ObjectPath("/Songs/FFFF"), std::string("/tmp/a.aac")), invalid},
        {"Save(not a song)", raw.Call(encoder, kEncoder, "Save", sdbus::ObjectPath(ipc::kSettingsPath), std::string("/tmp/a.aac")), invalid},
        {"SaveGroup(unknown)", raw.Call(encoder, kEncoder, "SaveGroup", std::vector<sdbus::ObjectPath>{sdbus::ObjectPath(song), sdbus::ObjectPath("/Nothing")}, std::string("/tmp")), invalid},
        {"SaveGroup(null)", raw.Call(encoder, kEncoder, "SaveGroup", std::vector<sdbus::ObjectPath>{sdbus::ObjectPath("/")}, std::string("/tmp")), Hr(E_POINTER)},
        {"SaveGroup(too many)", raw.Call(encoder, kEncoder, "SaveGroup", tooMany, std::string("/tmp")), invalid},
        {"SetCachePtr(a path)", raw.Call(encoder, kEncoder, "SetCachePtr", sdbus::ObjectPath(ipc::kControllerPath)), invalid},
        // Not for clients
        {"Destroy()", raw.Call(ipc::kControllerPath, kController, "Destroy"), Hr(E_ACCESSDENIED)},
        // Nothing there
        {"unknown path", raw.Call("/Songs/NoSuchSong", "QXServiceLib.ISong", "GetLength"), "org.freedesktop.DBus.Error.UnknownObject"},
        {"unknown method", raw.Call(ipc::kControllerPath, kController, "Explode"), "org.freedesktop.DBus.Error.UnknownMethod"},
        {"wrong interface at a path", raw.Call(ipc::kSettingsPath, kController, "Play"), "org.freedesktop.DBus.Error.UnknownMethod"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.answer, c.expected) << c.what;

    EXPECT_EQ(service->controller->log.Size(), 0u);
    EXPECT_EQ(fake->log.Size(), 0u);
    // A well-formed call still works, and the encoder's own answers pass.
    EXPECT_EQ(raw.Call(encoder, kEncoder, "SetCachePtr", sdbus::ObjectPath("/")), Hr(E_POINTER));
    EXPECT_EQ(raw.Call(ipc::kControllerPath, kController, "SetPlayPosition", int64_t(-5000), uint32_t(posEnd)), Hr(S_OK));
    ULONG state = 0;
    EXPECT_EQ(controller->GetCurrentState(&state), S_OK);
}

TEST_F(IpcBus, AClientCannotReleaseAnotherClientsReferences) {
    auto playlist = As<IPlayList>(controller.Get());
    plat::ComPtr<ISong> song;
    ASSERT_EQ(playlist->CreateNewSong(song.ReleaseAndGetAddressOf()), S_OK);
    GUID id;
    song->GetID(&id);
    const std::string path = std::string(ipc::kSongsPath) + "/" + plat::GuidToHex(id);
    const size_t refs = ClientReferences();
    {
        RawClient raw(service->UniqueName());
        auto bus = sdbus::createSessionBusConnection();
        auto proxy = sdbus::createProxy(*bus, service->UniqueName(), path);
        for (int i = 0; i < 5; ++i) proxy->callMethod("Release").onInterface(ipc::kLifetimeInterface).dontExpectReply();
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(raw.Call(ipc::kControllerPath, ipc::kLifetimeInterface, "QueryInterface", std::string("x")),
                      Hr(E_INVALIDARG));
        EXPECT_EQ(raw.Call(path, "QXServiceLib.ISong", "IsDefined"), Hr(S_OK));
    }
    // Let every queued release run before counting.
    EXPECT_TRUE(Eventually([&] { return service->Exporter().Pool().PendingCount() == 0; }));
    EXPECT_EQ(ClientReferences(), refs);
    EXPECT_TRUE(service->Objects().IsExported(path));
    ULONG length = 0;
    EXPECT_EQ(song->GetLength(&length), S_OK);
}
