// The controller's connection point and the gate that keeps events away from
// the engine's locks.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/com/ComPtr.h"
#include "service/controller/CProxy_IAudioControllerEvents.h"
#include "service/controller/KEngineLock.h"
#include "service/controller/KEventGate.h"
#include "service/controller/tests/FakePlaylist.h"

namespace {

// Stands in for the controller that owns the point: counts references.
class Container final : public plat::ComObject<Container, IConnectionPointContainer> {
public:
    HRESULT FindConnectionPoint(REFIID, IConnectionPoint**) override { return E_NOTIMPL; }
};

// An object that is not a sink of the controller's events.
class NotASink final : public plat::ComObject<NotASink, IConnectionPointContainer> {
public:
    HRESULT FindConnectionPoint(REFIID, IConnectionPoint**) override { return E_NOTIMPL; }
};

class ConnectionPoint : public ::testing::Test {
protected:
    plat::ComPtr<Container> owner{Container::CreateInstance()};
    CProxy_IAudioControllerEvents point{owner.Get()};
    plat::ComPtr<EventRecorder> first{EventRecorder::CreateInstance()};
    plat::ComPtr<EventRecorder> second{EventRecorder::CreateInstance()};

    IUnknown* Sink(EventRecorder* r) { return static_cast<_IAudioControllerEvents*>(r); }
};

}  // namespace

TEST_F(ConnectionPoint, WithoutSinksEveryFiringSucceeds) {
    GUID g{};
    EXPECT_EQ(S_OK, point.Fire_SongDetected(g));
    EXPECT_EQ(S_OK, point.Fire_CacheAlmostFull(3));
    EXPECT_EQ(S_OK, point.Fire_SongDeleted(g));
    EXPECT_EQ(S_OK, point.Fire_DiskAlmostFull(2));
    EXPECT_EQ(S_OK, point.Fire_DiskFull());
    EXPECT_EQ(S_OK, point.Fire_ClearPlayList());
    EXPECT_EQ(S_OK, point.Fire_CacheLoaded(0));
    EXPECT_EQ(S_OK, point.Fire_CacheLoading());
}

TEST_F(ConnectionPoint, CookiesAreSlotNumbersAndAFreedSlotIsTakenAgain) {
    DWORD c1 = 0, c2 = 0, c3 = 0;
    ASSERT_EQ(S_OK, point.Advise(Sink(first.Get()), &c1));
    ASSERT_EQ(S_OK, point.Advise(Sink(second.Get()), &c2));
    EXPECT_EQ(1u, c1);
    EXPECT_EQ(2u, c2);
    ASSERT_EQ(S_OK, point.Unadvise(c1));
    point.Fire_DiskFull();
    EXPECT_EQ(0u, first->Count("DiskFull"));
    EXPECT_EQ(1u, second->Count("DiskFull"));
    ASSERT_EQ(S_OK, point.Advise(Sink(first.Get()), &c3));
    EXPECT_EQ(1u, c3);
    EXPECT_EQ(CONNECT_E_NOCONNECTION, point.Unadvise(0));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, point.Unadvise(99));
    EXPECT_EQ(S_OK, point.Unadvise(c2));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, point.Unadvise(c2));
}

TEST_F(ConnectionPoint, TheListGrowsBeyondItsFirstFourSlots) {
    std::vector<plat::ComPtr<EventRecorder>> sinks;
    for (DWORD i = 1; i <= 9; ++i) {
        sinks.emplace_back(EventRecorder::CreateInstance());
        DWORD cookie = 0;
        ASSERT_EQ(S_OK, point.Advise(Sink(sinks.back().Get()), &cookie));
        EXPECT_EQ(i, cookie);
    }
    point.Fire_CacheLoaded(7);
    for (auto& s : sinks) EXPECT_EQ(1u, s->Count("CacheLoaded 7"));
}

TEST_F(ConnectionPoint, AdviseChecksItsArgumentsAndTheSinksInterface) {
    DWORD cookie = 5;
    EXPECT_EQ(E_POINTER, point.Advise(nullptr, &cookie));
    EXPECT_EQ(0u, cookie);
    EXPECT_EQ(E_POINTER, point.Advise(Sink(first.Get()), nullptr));
    plat::ComPtr<NotASink> other(NotASink::CreateInstance());
    EXPECT_EQ(CONNECT_E_CANNOTCONNECT, point.Advise(other.Get(), &cookie));
    IID iid{};
    ASSERT_EQ(S_OK, point.GetConnectionInterface(&iid));
    EXPECT_EQ(DIID__IAudioControllerEvents, iid);
    plat::ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(S_OK, point.GetConnectionPointContainer(container.GetAddressOf()));
    EXPECT_EQ(static_cast<IConnectionPointContainer*>(owner.Get()), container.Get());
}

TEST_F(ConnectionPoint, AdvisedSinksAreHeldUntilUnadvised) {
    DWORD cookie = 0;
    ULONG before = first->AddRef();
    first->Release();
    ASSERT_EQ(S_OK, point.Advise(Sink(first.Get()), &cookie));
    EXPECT_EQ(before + 1, first->AddRef());
    first->Release();
    point.UnadviseAll();
    EXPECT_EQ(before, first->AddRef());
    first->Release();
}

TEST_F(ConnectionPoint, SongsTravelAsBracedUpperCaseTextAndAFailingSinkIsNotHiddenByALaterOne) {
    DWORD c1 = 0, c2 = 0;
    point.Advise(Sink(first.Get()), &c1);
    point.Advise(Sink(second.Get()), &c2);
    first->result = E_ACCESSDENIED;
    GUID g{0x0A1B2C3D, 0x4E5F, 0x6a7b, {0x8c, 0x9d, 0xae, 0xbf, 0xc0, 0xd1, 0xe2, 0xf3}};
    EXPECT_EQ(E_ACCESSDENIED, point.Fire_SongDetected(g));
    ASSERT_EQ(1u, second->Events().size());
    EXPECT_EQ("SongDetected {0A1B2C3D-4E5F-6A7B-8C9D-AEBFC0D1E2F3}", second->Events()[0]);
}

TEST(EventGate, EventsRaisedUnderAnEngineLockWaitUntilTheLastLockIsLetGo) {
    KEventGate gate;
    plat::Mutex a, b;
    std::vector<int> delivered;
    {
        KEngineLock outer(a, gate);
        {
            KEngineLock inner(b, gate);
            gate.Post([&] {
                // Delivered with no engine lock held by this thread.
                EXPECT_FALSE(KEngineLock::HeldByThisThread());
                delivered.push_back(1);
            });
        }
        EXPECT_TRUE(delivered.empty());
        gate.Post([&] { delivered.push_back(2); });
        EXPECT_EQ(2u, gate.Pending());
    }
    EXPECT_EQ((std::vector<int>{1, 2}), delivered);
    gate.Post([&] { delivered.push_back(3); });
    EXPECT_EQ((std::vector<int>{1, 2, 3}), delivered);
}

TEST(EventGate, AnotherThreadHoldingTheLockDoesNotHoldBackDelivery) {
    KEventGate gate;
    plat::Mutex m;
    bool delivered = false;
    KEngineLock held(m, gate);
    std::thread other([&] { gate.Post([&] { delivered = true; }); });
    other.join();
    EXPECT_TRUE(delivered);
}

// One thread delivers at a time. Here a client is still busy with the first
// event when another thread raises a second: the second comes once the first
// is done, and an event that a delivery raises on its own thread comes after
// it, not inside it.
TEST(EventGate, EventsFromSeveralThreadsReachTheClientsInTheOrderRaised) {
    KEventGate gate;
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::string> seen;
    bool release = false;
    const auto note = [&](const char* what) {
        std::lock_guard<std::mutex> g(m);
        seen.emplace_back(what);
        cv.notify_all();
    };
    std::thread first([&] {
        gate.Post([&] {
            gate.Post([&] { note("raised by the first"); });
            note("first begins");
            std::unique_lock<std::mutex> g(m);
            cv.wait_for(g, std::chrono::seconds(60), [&] { return release; });
            seen.emplace_back("first ends");
        });
    });
    {
        std::unique_lock<std::mutex> g(m);
        ASSERT_TRUE(cv.wait_for(g, std::chrono::seconds(60), [&] { return !seen.empty(); }));
    }
    std::thread second([&] { gate.Post([&] { note("second"); }); });
    {
        // Time for a second that jumped the queue to show; one that waits its
        // turn never shows before the release.
        std::unique_lock<std::mutex> g(m);
        cv.wait_for(g, std::chrono::milliseconds(200), [&] { return seen.back() == "second"; });
        release = true;
        cv.notify_all();
    }
    first.join();
    second.join();
    EXPECT_EQ((std::vector<std::string>{"first begins", "first ends", "raised by the first", "second"}), seen);
    EXPECT_EQ(0u, gate.Pending());
}

// The call that raised an event returns only once its clients have it, also
// when another thread is delivering at that moment (a reply must never pass
// the event it follows, e.g. ClearPlayList before DropCache's answer).
TEST(EventGate, ARaiseWhileAnotherThreadDeliversReturnsOnceItsEventWentOut) {
    KEventGate gate;
    std::mutex m;
    std::condition_variable cv;
    bool busy = false, release = false, delivered = false, returned = false;
    std::thread first([&] {
        gate.Post([&] {
            std::unique_lock<std::mutex> g(m);
            busy = true;
            cv.notify_all();
            cv.wait_for(g, std::chrono::seconds(60), [&] { return release; });
        });
    });
    {
        std::unique_lock<std::mutex> g(m);
        ASSERT_TRUE(cv.wait_for(g, std::chrono::seconds(60), [&] { return busy; }));
    }
    std::thread second([&] {
        gate.Post([&] {
            std::lock_guard<std::mutex> g(m);
            delivered = true;
        });
        std::lock_guard<std::mutex> g(m);
        // The answer of the call that raised it goes out only now.
        EXPECT_TRUE(delivered);
        returned = true;
        cv.notify_all();
    });
    {
        // A raise that returned before its delivery shows within this time;
        // one that waits never returns before the release.
        std::unique_lock<std::mutex> g(m);
        EXPECT_FALSE(cv.wait_for(g, std::chrono::milliseconds(200), [&] { return returned; }));
        release = true;
        cv.notify_all();
    }
    first.join();
    second.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(0u, gate.Pending());
}
