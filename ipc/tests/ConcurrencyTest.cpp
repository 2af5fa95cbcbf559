// No call holds up the bus: a save that lasts as long as it likes does
// not hold up StopSave, other calls on the same encoder, or the desktop's poll.
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "ipc/tests/BusFixture.h"

using namespace ipctest;
using plat::ComPtr;

namespace {

constexpr HRESULT kNotAnswered = MakeHResult(0x8000000Au);

// A getter of another out type, as one that hands back a ULONG.
template <class T, class F>
std::function<HRESULT(ULONG*)> Widened(F get) {
    return [get](ULONG* v) {
        T value{};
        const HRESULT hr = get(&value);
        *v = static_cast<ULONG>(value);
        return hr;
    };
}

// The getters the desktop program polls every 100 ms.
HRESULT PollRound(IAudioController* c) {
    ULONG value = 0;
    BYTE percent = 0;
    LONG yes = 0;
    HRESULT hr = S_OK;
    for (HRESULT step : {c->GetAvailableCommands(&value), c->GetCurrentState(&value), c->GetPlayPosition(&value),
                         c->GetRecordPosition(&value), c->GetStartReadPos(&value), c->GetTimeFullness(&value),
                         c->GetPercentFullness(&percent), c->IsCacheFull(&yes), c->CheckState(_esLive, &yes),
                         c->CheckCommand(_ecPlay, &yes), c->CheckState(_esRec, &yes)})
        if (FAILED(step)) hr = step;
    return hr;
}

// A save that blocks inside the fake encoder until StopSave, on a thread of its own.
struct HeldSave {
    ComPtr<IAudioEncoder> encoder;
    ComPtr<FakeEncoder> fake;
    ComPtr<ISong> song;
    std::atomic<HRESULT> saved{kNotAnswered};
    std::thread thread;

    ::testing::AssertionResult Start(IAudioController* controller, FakeController& service) {
        if (controller->CreateNewEncoder(encoder.ReleaseAndGetAddressOf(), eMP3) != S_OK)
            return ::testing::AssertionFailure() << "no encoder";
        fake = service.lastEncoder;
        ComPtr<IPlayList> playlist;
        if (controller->QueryInterface(plat::IidOf<IPlayList>(), reinterpret_cast<void**>(playlist.GetAddressOf())) !=
                S_OK ||
            playlist->CreateNewSong(song.ReleaseAndGetAddressOf()) != S_OK)
            return ::testing::AssertionFailure() << "no song";
        thread = std::thread([this] {
            plat::Bstr file(u"/tmp/held.mp3");
            saved = encoder->Save(song.Get(), file);
        });
        if (fake->saving.Wait(10000) != plat::WAIT_OBJECT_0) return ::testing::AssertionFailure() << "the save never started";
        return ::testing::AssertionSuccess();
    }
    ~HeldSave() {
        if (thread.joinable()) thread.join();
    }
};

}  // namespace

TEST_F(IpcBus, ALongSaveDoesNotHoldUpStopSaveOrThePoll) {
    HeldSave save;
    ASSERT_TRUE(save.Start(controller.Get(), *service->controller));

    // While the save is blocked inside the encoder, everything else is served.
    for (int round = 0; round < 50; ++round) ASSERT_EQ(PollRound(controller.Get()), S_OK);
    EXPECT_EQ(save.encoder->SetConstantBitrate(256), S_OK);
    EXPECT_TRUE(save.fake->saving.IsSet());
    EXPECT_EQ(save.saved.load(), kNotAnswered);

    EXPECT_EQ(save.encoder->StopSave(), S_OK);
    save.thread.join();
    EXPECT_EQ(save.saved.load(), S_OK);
}

TEST_F(IpcBus, SeveralBlockedSavesDoNotStarveTheOtherCalls) {
    // More saves blocked at once than the pool has core threads.
    constexpr int kSaves = 6;
    std::vector<ComPtr<IAudioEncoder>> encoders(kSaves);
    std::vector<ComPtr<FakeEncoder>> fakes(kSaves);
    auto playlist = As<IPlayList>(controller.Get());
    ComPtr<ISong> song;
    ASSERT_EQ(playlist->CreateNewSong(song.ReleaseAndGetAddressOf()), S_OK);
    std::vector<std::thread> workers;
    std::atomic<int> finished{0};
    for (int i = 0; i < kSaves; ++i) {
        ASSERT_EQ(controller->CreateNewEncoder(encoders[i].ReleaseAndGetAddressOf(), eOGG), S_OK);
        fakes[i] = service->controller->lastEncoder;
        workers.emplace_back([&, i] {
            plat::Bstr file(u"/tmp/many.ogg");
            if (encoders[i]->Save(song.Get(), file) == S_OK) ++finished;
        });
    }
    for (auto& fake : fakes) ASSERT_EQ(fake->saving.Wait(10000), plat::WAIT_OBJECT_0);
    EXPECT_EQ(PollRound(controller.Get()), S_OK);
    for (auto& encoder : encoders) EXPECT_EQ(encoder->StopSave(), S_OK);
    for (auto& w : workers) w.join();
    EXPECT_EQ(finished.load(), kSaves);
}

TEST_F(IpcBus, ManyThreadsCallOneProxyAtOnce) {
    constexpr int kThreads = 8;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                ULONG value = 0;
                if (controller->GetPlayPosition(&value) != S_OK || value != FakeController::kPlayPosition) ++failures;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
}

// The poll round's getters are answered by the thread that reads the bus: they
// answer even while every thread that runs calls is held, and a call that
// needs such a thread waits for one.
TEST(IpcBusLimits, ThePollRoundsGettersAnswerWhileEveryCallThreadIsHeld) {
    TQ_REQUIRE_SESSION_BUS();
    ipc::CallPool::Limits limits;
    limits.coreThreads = 1;
    limits.maxThreads = 1;
    std::unique_ptr<TestService> service;
    ASSERT_EQ(TestService::Start(UniqueTestBusName(), &service, std::string(), limits), S_OK);
    std::shared_ptr<ipc::ClientConnection> client;
    ASSERT_EQ(ipc::ClientConnection::Open(&client), S_OK);
    ComPtr<IAudioController> controller;
    ASSERT_EQ(client->FindController(controller.ReleaseAndGetAddressOf(), service->BusName()), S_OK);

    HeldSave save;
    ASSERT_TRUE(save.Start(controller.Get(), *service->controller));

    // The pool's one call thread is inside the save: a call that may wait
    // (here the settings update) waits for it.
    std::atomic<HRESULT> update{kNotAnswered};
    std::thread caller([&] { update = controller->UpdateSettings(); });

    // Every getter of the desktop's poll round still answers, with its value.
    struct Getter {
        const char* name;
        std::function<HRESULT(ULONG*)> call;
        ULONG expected;
    };
    const Getter getters[] = {
        {"GetCurrentState", [&](ULONG* v) { return controller->GetCurrentState(v); }, FakeController::kState},
        {"GetAvailableCommands", [&](ULONG* v) { return controller->GetAvailableCommands(v); }, FakeController::kCommands},
        {"GetPlayPosition", [&](ULONG* v) { return controller->GetPlayPosition(v); }, FakeController::kPlayPosition},
        {"GetRecordPosition", [&](ULONG* v) { return controller->GetRecordPosition(v); }, FakeController::kRecordPosition},
        {"GetStartReadPos", [&](ULONG* v) { return controller->GetStartReadPos(v); }, FakeController::kStartReadPos},
        {"GetTimeFullness", [&](ULONG* v) { return controller->GetTimeFullness(v); }, FakeController::kTimeFullness},
        {"GetPercentFullness", Widened<BYTE>([&](BYTE* p) { return controller->GetPercentFullness(p); }),
         FakeController::kPercent},
        {"IsCacheFull", Widened<LONG>([&](LONG* p) { return controller->IsCacheFull(p); }), 1},
        {"CheckState(Live)", Widened<LONG>([&](LONG* p) { return controller->CheckState(_esLive, p); }), 1},
        {"CheckCommand(Rec)", Widened<LONG>([&](LONG* p) { return controller->CheckCommand(_ecRec, p); }), 1},
    };
    for (const Getter& g : getters) {
        ULONG value = 0;
        EXPECT_EQ(g.call(&value), S_OK) << g.name;
        EXPECT_EQ(value, g.expected) << g.name;
    }
    EXPECT_EQ(update.load(), kNotAnswered);
    EXPECT_EQ(save.saved.load(), kNotAnswered);

    // Let go in the service's own process: a StopSave on the bus would wait
    // for the held thread too.
    EXPECT_EQ(save.fake->StopSave(), S_OK);
    save.thread.join();
    caller.join();
    EXPECT_EQ(save.saved.load(), S_OK);
    EXPECT_EQ(update.load(), S_OK);
}
