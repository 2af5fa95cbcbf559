#include <gtest/gtest.h>

#include <cstring>

#include "platform/sound/SoundDeviceId.h"
#include "platform/sound/SoundFormat.h"
#include "platform/sound/SoundNotifier.h"
#include "platform/sound/SoundRing.h"

using namespace plat;

namespace {

WaveFormat EngineFormat() { return WaveFormat{1, 2, 48000, 192000, 4, 16, 0}; }

}  // namespace

TEST(SoundRing, LockPastTheEndGivesTwoRegionsAndOnlyUnlockWritesThem) {
    SoundRing ring;
    ASSERT_TRUE(ring.Allocate(100));
    void* p1 = nullptr;
    void* p2 = nullptr;
    DWORD n1 = 0, n2 = 0;
    ASSERT_EQ(ring.Lock(90, 20, &p1, &n1, &p2, &n2), S_OK);
    EXPECT_EQ(n1, 10u);
    EXPECT_EQ(n2, 10u);
    ASSERT_NE(p2, nullptr);
    std::memset(p1, 0xAA, n1);
    std::memset(p2, 0xBB, n2);
    uint8_t seen[100];
    ring.Read(0, 100, seen);
    EXPECT_EQ(seen[95], 0) << "nothing reaches the ring before Unlock";
    ASSERT_EQ(ring.Unlock(p1, n1, p2, n2), S_OK);
    ring.Read(0, 100, seen);
    EXPECT_EQ(seen[90], 0xAA);
    EXPECT_EQ(seen[99], 0xAA);
    EXPECT_EQ(seen[0], 0xBB);
    EXPECT_EQ(seen[9], 0xBB);
    EXPECT_EQ(seen[10], 0);
}

TEST(SoundRing, LockWithinTheRingHasNoSecondRegion) {
    SoundRing ring;
    ASSERT_TRUE(ring.Allocate(100));
    void* p1 = nullptr;
    void* p2 = reinterpret_cast<void*>(1);
    DWORD n1 = 0, n2 = 7;
    ASSERT_EQ(ring.Lock(10, 90, &p1, &n1, &p2, &n2), S_OK);
    EXPECT_EQ(n1, 90u);
    EXPECT_EQ(p2, nullptr);
    EXPECT_EQ(n2, 0u);
    EXPECT_EQ(ring.Unlock(p1, n1, nullptr, 0), S_OK);
}

TEST(SoundRing, RefusesBadLocksAndForeignUnlocks) {
    SoundRing ring;
    ASSERT_TRUE(ring.Allocate(64));
    void* p1;
    void* p2;
    DWORD n1, n2;
    EXPECT_EQ(ring.Lock(0, 0, &p1, &n1, &p2, &n2), E_INVALIDARG);
    EXPECT_EQ(ring.Lock(0, 65, &p1, &n1, &p2, &n2), E_INVALIDARG);
    EXPECT_EQ(ring.Lock(64, 1, &p1, &n1, &p2, &n2), E_INVALIDARG);
    EXPECT_EQ(ring.Unlock(nullptr, 0, nullptr, 0), DSERR_INVALIDCALL) << "nothing is locked";
    ASSERT_EQ(ring.Lock(0, 8, &p1, &n1, &p2, &n2), S_OK);
    uint8_t other[8];
    EXPECT_EQ(ring.Unlock(other, 8, nullptr, 0), DSERR_INVALIDCALL);
    EXPECT_EQ(ring.Unlock(p1, 9, nullptr, 0), DSERR_INVALIDCALL) << "more than was locked";
    // A lock left open is replaced by the next one rather than blocking it.
    ASSERT_EQ(ring.Lock(8, 8, &p1, &n1, &p2, &n2), S_OK);
    EXPECT_EQ(ring.Unlock(p1, n1, nullptr, 0), S_OK);
}

// Both forms: the one that sets the events at once, and the one that hands
// them to its caller (which sets them once its own lock is let go).
TEST(SoundNotifier, FiresTheOffsetsThatTheCursorPassesAcrossTheWrap) {
    for (bool deferred : {false, true}) {
        SCOPED_TRACE(deferred ? "deferred" : "at once");
        SoundNotifier n;
        auto a = std::make_shared<Event>(Event::Reset::Manual);
        auto b = std::make_shared<Event>(Event::Reset::Manual);
        auto c = std::make_shared<Event>(Event::Reset::Manual);
        ASSERT_EQ(n.Set({{9, a}, {49, b}, {99, c}}, 100), S_OK);
        auto passed = [&](DWORD from, uint64_t bytes) {
            if (!deferred) return n.Passed(from, bytes, 100);
            std::vector<std::shared_ptr<Event>> due;
            n.Passed(from, bytes, 100, &due);
            EXPECT_FALSE(a->IsSet() || b->IsSet() || c->IsSet()) << "set before the caller sets them";
            for (const auto& e : due) e->Set();
        };
        passed(90, 20);  // bytes 90..99 and 0..9
        EXPECT_TRUE(c->IsSet());
        EXPECT_TRUE(a->IsSet());
        EXPECT_FALSE(b->IsSet());
        a->ResetEvent();
        c->ResetEvent();
        passed(10, 39);  // up to byte 48: offset 49 not yet played
        EXPECT_FALSE(b->IsSet());
        passed(49, 1);
        EXPECT_TRUE(b->IsSet());
        b->ResetEvent();
        passed(50, 100);  // a whole ring
        EXPECT_TRUE(a->IsSet() && b->IsSet() && c->IsSet());
    }
}

TEST(SoundNotifier, RefusesOffsetsOutsideTheRingAndMissingEvents) {
    SoundNotifier n;
    auto e = std::make_shared<Event>();
    EXPECT_EQ(n.Set({{100, e}}, 100), E_INVALIDARG);
    EXPECT_EQ(n.Set({{1, nullptr}}, 100), E_INVALIDARG);
}

TEST(SoundDeviceId, TheSameDeviceKeepsItsGuidAndOthersDiffer) {
    GUID a = StableDeviceGuid("speakers", u"Speakers");
    EXPECT_EQ(a, StableDeviceGuid("speakers", u"Speakers"));
    EXPECT_NE(a, StableDeviceGuid("speakers", u"Speakers 2"));
    EXPECT_NE(a, StableDeviceGuid("headphones", u"Speakers"));
    EXPECT_NE(a, GUID_NULL);
}

TEST(SoundFormat, EngineFormatStreamsAndInconsistentOnesDoNot) {
    WaveFormat f = EngineFormat();
    EXPECT_TRUE(IsStreamableFormat(f));
    EXPECT_EQ(FormatBytesForMs(f, 10), 1920u);
    WaveFormat badAlign = f;
    badAlign.nBlockAlign = 0;
    EXPECT_FALSE(IsStreamableFormat(badAlign));
    EXPECT_FALSE(HasBufferGeometry(badAlign));
    WaveFormat badRate = f;
    badRate.nAvgBytesPerSec = 10000;
    EXPECT_FALSE(IsStreamableFormat(badRate));
    EXPECT_TRUE(HasBufferGeometry(badRate));
    WaveFormat mono8{1, 1, 8000, 8000, 1, 8, 0};
    EXPECT_TRUE(IsStreamableFormat(mono8));
    WaveFormat threeBytes{1, 2, 48000, 48000 * 6, 6, 24, 0};
    EXPECT_TRUE(IsStreamableFormat(threeBytes));
    WaveFormat twelveBits{1, 1, 48000, 96000, 2, 12, 0};
    EXPECT_FALSE(IsStreamableFormat(twelveBits));
}
