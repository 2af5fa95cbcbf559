// Conversions at the bus boundary: bus errors to HRESULTs, bounded text,
// GUID text, the kinds of paths.
#include <gtest/gtest.h>

#include "ipc/common/BusError.h"
#include "ipc/common/Names.h"
#include "ipc/common/ObjectKind.h"
#include "ipc/common/WireText.h"

using namespace ipc;

TEST(IpcBusError, TransportFailuresBecomeTheirHResults) {
    struct Row {
        const char* name;
        HRESULT hr;
    } rows[] = {
        {"org.freedesktop.DBus.Error.ServiceUnknown", RPC_E_SERVER_UNAVAILABLE},
        {"org.freedesktop.DBus.Error.NameHasNoOwner", RPC_E_SERVER_UNAVAILABLE},
        {"org.freedesktop.DBus.Error.NoServer", RPC_E_SERVER_UNAVAILABLE},
        {"org.freedesktop.DBus.Error.Spawn.ChildExited", RPC_E_SERVER_UNAVAILABLE},
        {"org.freedesktop.DBus.Error.NoReply", RPC_E_CALL_FAILED},
        {"org.freedesktop.DBus.Error.Timeout", HRESULT_FROM_WIN32(ERROR_TIMEOUT)},
        {"org.freedesktop.DBus.Error.UnknownObject", RPC_E_DISCONNECTED},
        {"org.freedesktop.DBus.Error.UnknownMethod", E_NOTIMPL},
        {"org.freedesktop.DBus.Error.InvalidArgs", E_INVALIDARG},
        {"org.freedesktop.DBus.Error.NoMemory", E_OUTOFMEMORY},
        {"org.freedesktop.DBus.Error.LimitsExceeded", HRESULT_FROM_WIN32(ERROR_BUSY)},
        {"System.Error.ECONNRESET", RPC_E_SERVER_UNAVAILABLE},
        {"System.Error.ENOMEM", E_OUTOFMEMORY},
        {"System.Error.EWHATEVER", RPC_E_CALL_FAILED},
        {"com.example.Anything", RPC_E_CALL_FAILED},
        {"", RPC_E_CALL_FAILED},
    };
    for (const Row& r : rows) EXPECT_EQ(BusError::ToHResult(std::string(r.name)), r.hr) << r.name;
    EXPECT_EQ(BusError::ToHResult(std::string(BusError::kShuttingDown)), RPC_E_SERVER_UNAVAILABLE);
}

TEST(IpcWireText, TextIsBoundedAndKeepsItsCharacters) {
    plat::Bstr text;
    ASSERT_EQ(WireText::ToBstr("Grüße ♫ \xF0\x9F\x8E\xB5", &text), S_OK);
    EXPECT_EQ(text.Str(), u"Grüße ♫ \U0001F3B5");
    EXPECT_EQ(WireText::FromBstr(text), "Grüße ♫ \xF0\x9F\x8E\xB5");
    EXPECT_EQ(WireText::FromBstr(nullptr), "");
    EXPECT_EQ(WireText::ToBstr(std::string(WireText::kMaxTextBytes, 'a'), &text), S_OK);
    EXPECT_EQ(WireText::ToBstr(std::string(WireText::kMaxTextBytes + 1, 'a'), &text), E_INVALIDARG);
}

TEST(IpcWireText, GuidsTravelInRegistryForm) {
    const GUID g{0x76BBA451, 0x5CAA, 0x4A44, {0x94, 0x11, 0x5D, 0x7C, 0xA6, 0x8C, 0x70, 0x37}};
    EXPECT_EQ(WireText::FromGuid(g), "{76BBA451-5CAA-4A44-9411-5D7CA68C7037}");
    GUID back{};
    ASSERT_TRUE(WireText::ToGuid("{76bba451-5caa-4a44-9411-5d7ca68c7037}", &back));
    EXPECT_EQ(back, g);
    for (const char* bad : {"", "{}", "76BBA451", "{76BBA451-5CAA-4A44-9411-5D7CA68C7037}}"})
        EXPECT_FALSE(WireText::ToGuid(bad, &back)) << bad;
    EXPECT_FALSE(WireText::ToGuid(std::string(100000, '{'), &back));
}

TEST(IpcObjectKind, InterfacesAndPathsMapToKinds) {
    ObjectKind kind;
    for (ObjectKind k : kAllObjectKinds) {
        ASSERT_TRUE(KindFromIid(IidOfKind(k), &kind));
        EXPECT_EQ(kind, k);
    }
    EXPECT_FALSE(KindFromIid(IID_ICache, &kind));
    EXPECT_FALSE(KindFromIid(IID_IUnknown, &kind));
    EXPECT_STREQ(InterfaceNameOf(ObjectKind::CaptureManager), "QXServiceLib.ICaptureManager");

    struct Row {
        const char* path;
        bool known;
        ObjectKind kind;
    } rows[] = {
        {kControllerPath, true, ObjectKind::Controller},
        {kCaptureManagerPath, true, ObjectKind::CaptureManager},
        {"/Songs/0A1B", true, ObjectKind::Song},
        {"/Songs/0A1B_2", true, ObjectKind::Song},
        {"/Songs/0A1B/ID3", true, ObjectKind::Tag},
        {"/Tags/3", true, ObjectKind::Tag},
        {"/Encoders/12", true, ObjectKind::Encoder},
        {"/Songs", false, ObjectKind::Song},
        {"/Songs/", false, ObjectKind::Song},
        {"/", false, ObjectKind::Song},
        {"/Elsewhere/1", false, ObjectKind::Song},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(KindOfPath(r.path, &kind), r.known) << r.path;
        if (r.known) {
            EXPECT_EQ(kind, r.kind) << r.path;
        }
    }
}
