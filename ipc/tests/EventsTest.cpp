// The controller's events and an encoder's progress reach the sinks a client
// attaches, in order, with their arguments, through the same connection
// points the objects offer in-process.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ipc/client/EventSubscription.h"
#include "ipc/tests/BusFixture.h"
#include "platform/com/ComObject.h"

using namespace ipctest;
using plat::ComPtr;

namespace {

class RecordingSink final : public plat::ComObject<RecordingSink, _IAudioControllerEvents, _IAudioEncoderEvents> {
public:
    HRESULT SongDetected(BSTR guid) override { return Add("SongDetected(" + plat::BstrToUtf8(guid) + ")"); }
    HRESULT CacheAlmostFull(UINT n) override { return Add("CacheAlmostFull(" + std::to_string(n) + ")"); }
    HRESULT SongDeleted(BSTR guid) override { return Add("SongDeleted(" + plat::BstrToUtf8(guid) + ")"); }
    HRESULT DiskAlmostFull(UINT n) override { return Add("DiskAlmostFull(" + std::to_string(n) + ")"); }
    HRESULT DiskFull() override { return Add("DiskFull()"); }
    HRESULT ClearPlayList() override { return Add("ClearPlayList()"); }
    HRESULT CacheLoaded(UINT n) override { return Add("CacheLoaded(" + std::to_string(n) + ")"); }
    HRESULT CacheLoading() override { return Add("CacheLoading()"); }
    HRESULT Progress(UINT n, BSTR path) override {
        return Add("Progress(" + std::to_string(n) + "," + plat::BstrToUtf8(path) + ")");
    }

    std::vector<std::string> Seen() {
        std::lock_guard lock(m_mutex);
        return m_seen;
    }

private:
    HRESULT Add(std::string s) {
        std::lock_guard lock(m_mutex);
        m_seen.push_back(std::move(s));
        return S_OK;
    }
    std::mutex m_mutex;
    std::vector<std::string> m_seen;
};

// A sink without any event interface.
class DeafSink final : public plat::ComObject<DeafSink, IUnknown> {};

ComPtr<IConnectionPoint> PointOf(IUnknown* obj, REFIID events) {
    ComPtr<IConnectionPointContainer> container;
    obj->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(container.GetAddressOf()));
    ComPtr<IConnectionPoint> point;
    if (container) container->FindConnectionPoint(events, point.GetAddressOf());
    return point;
}

const GUID kSong{0x0A1B2C3D, 0x4E5F, 0x6071, {0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xF9}};

std::vector<std::string> AllEvents() {
    const std::string id = "{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}";
    return {"SongDetected(" + id + ")", "CacheAlmostFull(5)", "SongDeleted(" + id + ")", "DiskAlmostFull(3)",
            "DiskFull()",  "ClearPlayList()",  "CacheLoaded(3600000)", "CacheLoading()"};
}

}  // namespace

TEST_F(IpcBus, ControllerEventsArriveInOrderWithTheirArguments) {
    auto point = PointOf(controller.Get(), DIID__IAudioControllerEvents);
    ASSERT_TRUE(point);
    IID events = GUID_NULL;
    EXPECT_EQ(point->GetConnectionInterface(&events), S_OK);
    EXPECT_EQ(events, DIID__IAudioControllerEvents);
    ComPtr<RecordingSink> sink(RecordingSink::CreateInstance());
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(static_cast<_IAudioControllerEvents*>(sink.Get()), &cookie), S_OK);
    EXPECT_EQ(cookie, 1u);

    service->controller->FireAllEvents(kSong);
    service->controller->FireAllEvents(kSong);
    std::vector<std::string> twice = AllEvents();
    const std::vector<std::string> once = AllEvents();
    twice.insert(twice.end(), once.begin(), once.end());
    ASSERT_TRUE(Eventually([&] { return sink->Seen().size() >= twice.size(); }));
    EXPECT_EQ(sink->Seen(), twice);

    // After Unadvise nothing more arrives: a call answered after the firing
    // comes behind every signal fired before it.
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
    service->controller->FireAllEvents(kSong);
    ULONG state = 0;
    EXPECT_EQ(controller->GetCurrentState(&state), S_OK);
    EXPECT_EQ(sink->Seen().size(), twice.size());
}

TEST_F(IpcBus, ASinkMayDropTheLastReferenceOfItsConnection) {
    // A connection of its own whose only references are held by a sink: the
    // first event releases them on the connection's own loop thread.
    class ReleasingSink final : public plat::ComObject<ReleasingSink, _IAudioControllerEvents> {
    public:
        HRESULT SongDetected(BSTR) override { return Drop(); }
        HRESULT CacheAlmostFull(UINT) override { return Drop(); }
        HRESULT SongDeleted(BSTR) override { return Drop(); }
        HRESULT DiskAlmostFull(UINT) override { return Drop(); }
        HRESULT DiskFull() override { return Drop(); }
        HRESULT ClearPlayList() override { return Drop(); }
        HRESULT CacheLoaded(UINT) override { return Drop(); }
        HRESULT CacheLoading() override { return Drop(); }

        std::shared_ptr<ipc::ClientConnection> connection;
        ComPtr<IAudioController> controller;
        std::unique_ptr<ipc::EventSubscription> subscription;
        std::atomic<int> calls{0};

    private:
        HRESULT Drop() {
            ++calls;
            subscription.reset();
            controller = nullptr;
            connection.reset();
            return S_OK;
        }
    };
    ComPtr<ReleasingSink> sink(ReleasingSink::CreateInstance());
    std::weak_ptr<ipc::ClientConnection> watch;
    {
        std::shared_ptr<ipc::ClientConnection> own;
        ASSERT_EQ(ipc::ClientConnection::Open(&own), S_OK);
        ASSERT_EQ(own->FindController(sink->controller.ReleaseAndGetAddressOf(), service->BusName()), S_OK);
        ASSERT_EQ(ipc::EventSubscription::Create(sink->controller.Get(),
                                                 static_cast<_IAudioControllerEvents*>(sink.Get()), &sink->subscription),
                  S_OK);
        watch = own;
        sink->connection = std::move(own);
    }
    service->controller->FireAllEvents(kSong);
    ASSERT_TRUE(Eventually([&] { return watch.expired(); })) << "the connection outlived its last reference";
    EXPECT_EQ(1, sink->calls.load()) << "no event after the connection went";
    // The service and this test's own connection carry on.
    ULONG state = 0;
    EXPECT_EQ(controller->GetCurrentState(&state), S_OK);
}

TEST_F(IpcBus, ConnectionPointCookiesAndRefusals) {
    auto point = PointOf(controller.Get(), DIID__IAudioControllerEvents);
    ASSERT_TRUE(point);
    ComPtr<RecordingSink> first(RecordingSink::CreateInstance()), second(RecordingSink::CreateInstance());
    DWORD a = 0, b = 0, c = 0;
    ASSERT_EQ(point->Advise(static_cast<_IAudioControllerEvents*>(first.Get()), &a), S_OK);
    ASSERT_EQ(point->Advise(static_cast<_IAudioControllerEvents*>(second.Get()), &b), S_OK);
    EXPECT_EQ(a, 1u);
    EXPECT_EQ(b, 2u);
    EXPECT_EQ(point->Unadvise(a), S_OK);
    EXPECT_EQ(point->Unadvise(a), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Unadvise(0), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Unadvise(99), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(point->Advise(static_cast<_IAudioControllerEvents*>(first.Get()), &c), S_OK);
    EXPECT_EQ(c, 1u) << "a freed slot is taken again";

    ComPtr<DeafSink> deaf(DeafSink::CreateInstance());
    DWORD cookie = 77;
    EXPECT_EQ(point->Advise(deaf.Get(), &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(point->Advise(nullptr, &cookie), E_POINTER);
    EXPECT_EQ(point->Advise(static_cast<_IAudioControllerEvents*>(first.Get()), nullptr), E_POINTER);

    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(point->GetConnectionPointContainer(container.GetAddressOf()), S_OK);
    ComPtr<IConnectionPoint> other;
    EXPECT_EQ(container->FindConnectionPoint(DIID__IAudioEncoderEvents, other.GetAddressOf()), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Unadvise(b), S_OK);
    EXPECT_EQ(point->Unadvise(c), S_OK);
}

TEST_F(IpcBus, EncoderProgressReachesItsSinkAndNoOtherEncodersSink) {
    ComPtr<IAudioEncoder> encoder, otherEncoder;
    ASSERT_EQ(controller->CreateNewEncoder(otherEncoder.ReleaseAndGetAddressOf(), eMP3), S_OK);
    ComPtr<FakeEncoder> otherFake = service->controller->lastEncoder;
    ASSERT_EQ(controller->CreateNewEncoder(encoder.ReleaseAndGetAddressOf(), eMP3), S_OK);
    ComPtr<FakeEncoder> fake = service->controller->lastEncoder;
    fake->blockInSave = false;
    otherFake->blockInSave = false;

    ComPtr<RecordingSink> sink(RecordingSink::CreateInstance()), otherSink(RecordingSink::CreateInstance());
    auto point = PointOf(encoder.Get(), DIID__IAudioEncoderEvents);
    ASSERT_TRUE(point);
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(static_cast<_IAudioEncoderEvents*>(sink.Get()), &cookie), S_OK);
    std::unique_ptr<ipc::EventSubscription> subscription;
    ASSERT_EQ(ipc::EventSubscription::Create(otherEncoder.Get(), static_cast<_IAudioEncoderEvents*>(otherSink.Get()),
                                             &subscription),
              S_OK);

    auto playlist = As<IPlayList>(controller.Get());
    ComPtr<ISong> song;
    ASSERT_EQ(playlist->CreateNewSong(song.ReleaseAndGetAddressOf()), S_OK);
    plat::Bstr file(u"/tmp/Sång.mp3");
    ASSERT_EQ(encoder->Save(song.Get(), file), S_OK);
    // Sinks are called on the connection's own thread, beside the caller: the
    // progress is waited for, then checked whole and in order.
    ASSERT_TRUE(Eventually([&] { return sink->Seen().size() >= 3; }));
    EXPECT_EQ(sink->Seen(), (std::vector<std::string>{"Progress(0,/tmp/Sång.mp3)", "Progress(50,/tmp/Sång.mp3)",
                                                       "Progress(100,/tmp/Sång.mp3)"}));
    // Each signal goes to every sink it matches in one turn: the other
    // encoder's sink would have had them by now.
    EXPECT_TRUE(otherSink->Seen().empty());
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
}

TEST_F(IpcBus, SubscriptionsAreOnlyForObjectsThatFireEvents) {
    ComPtr<RecordingSink> sink(RecordingSink::CreateInstance());
    std::unique_ptr<ipc::EventSubscription> subscription;
    auto settings = As<ISettings>(controller.Get());
    EXPECT_EQ(ipc::EventSubscription::Create(settings.Get(), static_cast<_IAudioControllerEvents*>(sink.Get()),
                                             &subscription),
              E_INVALIDARG);
    EXPECT_EQ(ipc::EventSubscription::Create(static_cast<IAudioController*>(service->controller.Get()),
                                             static_cast<_IAudioControllerEvents*>(sink.Get()), &subscription),
              E_INVALIDARG)
        << "an in-process object is advised on its own connection point";
    ComPtr<DeafSink> deaf(DeafSink::CreateInstance());
    EXPECT_EQ(ipc::EventSubscription::Create(controller.Get(), deaf.Get(), &subscription), CONNECT_E_CANNOTCONNECT);
    EXPECT_FALSE(subscription);
}

namespace {

// A sink whose SongDetected runs a test's callback (on the connection's
// event-loop thread); the other events are ignored.
class CallbackSink final : public plat::ComObject<CallbackSink, _IAudioControllerEvents> {
public:
    explicit CallbackSink(std::function<void()> onSong) : m_onSong(std::move(onSong)) {}
    HRESULT SongDetected(BSTR) override {
        m_onSong();
        return S_OK;
    }
    HRESULT CacheAlmostFull(UINT) override { return S_OK; }
    HRESULT SongDeleted(BSTR) override { return S_OK; }
    HRESULT DiskAlmostFull(UINT) override { return S_OK; }
    HRESULT DiskFull() override { return S_OK; }
    HRESULT ClearPlayList() override { return S_OK; }
    HRESULT CacheLoaded(UINT) override { return S_OK; }
    HRESULT CacheLoading() override { return S_OK; }

private:
    std::function<void()> m_onSong;
};

}  // namespace

TEST_F(IpcBus, ASinkMayCallTheServiceAndUnadviseFromItsHandler) {
    auto point = PointOf(controller.Get(), DIID__IAudioControllerEvents);
    ASSERT_TRUE(point);
    DWORD cookie = 0;
    std::atomic<int> calls{0};
    std::atomic<HRESULT> answered{E_FAIL}, unadvised{E_FAIL};
    ComPtr<CallbackSink> sink(CallbackSink::CreateInstance([&] {
        ++calls;
        ULONG state = 0;
        answered = controller->GetCurrentState(&state);  // a call made from the event thread
        unadvised = point->Unadvise(cookie);
    }));
    ASSERT_EQ(point->Advise(sink.Get(), &cookie), S_OK);
    service->controller->FireAllEvents(kSong);
    ASSERT_TRUE(Eventually([&] { return calls.load() == 1; }));
    ASSERT_TRUE(Eventually([&] { return unadvised.load() == S_OK; }));
    EXPECT_EQ(answered.load(), S_OK);
    service->controller->FireAllEvents(kSong);
    ULONG state = 0;
    EXPECT_EQ(controller->GetCurrentState(&state), S_OK);
    EXPECT_EQ(calls.load(), 1) << "unadvised from inside its handler: no second call";
}
