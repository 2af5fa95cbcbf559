#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <iterator>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/Thread.h"
#include "service/audio/KBufferCircle.h"
#include "service/audio/tests/CacheTestSupport.h"

namespace {

using namespace std::chrono_literals;
using cachetest::Pattern;

std::vector<BYTE> ReadAll(KBufferCircle& ring, DWORD bytes) {
    std::vector<BYTE> out(bytes);
    EXPECT_EQ(ring.Read(out.data(), bytes, false), static_cast<LONG>(bytes));
    return out;
}

TEST(BufferCircle, HoldsOneByteLessThanItsCapacityAndThenBlocksTheWriter) {
    KBufferCircle ring;
    ASSERT_TRUE(ring.SetSize(CIRCLE_BUFFER_BYTE));
    std::vector<BYTE> data(CIRCLE_BUFFER_BYTE - 1, 7);
    ASSERT_TRUE(ring.Write(data.data(), static_cast<DWORD>(data.size())));
    EXPECT_EQ(ring.UsedBytes(), 1048575u);
    EXPECT_EQ(ring.FreeBytes(), 0u);

    // One more byte cannot go in: the writer waits, and a stop ends the wait
    // with false (had it gone in, Write would have said true).
    std::atomic<int> result{-1};
    std::thread producer([&] {
        BYTE b = 1;
        result = ring.Write(&b, 1) ? 1 : 0;
    });
    ring.Stop();
    producer.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(ring.UsedBytes(), 1048575u);
}

TEST(BufferCircle, ABlockedWriterGoesOnWhenTheReaderMakesRoom) {
    KBufferCircle ring;
    ASSERT_TRUE(ring.SetSize(16));
    auto first = Pattern(0, 15);
    ASSERT_TRUE(ring.Write(first.data(), 15));
    auto second = Pattern(15, 5);
    std::thread producer([&] { EXPECT_TRUE(ring.Write(second.data(), 5)); });
    std::vector<BYTE> got(20);
    ASSERT_EQ(ring.Read(got.data(), 20, true), 20);
    producer.join();
    EXPECT_EQ(got, Pattern(0, 20));
}

TEST(BufferCircle, DataCrossingTheEndComesOutInOrder) {
    KBufferCircle ring;
    ASSERT_TRUE(ring.SetSize(16));
    auto a = Pattern(0, 10);
    ASSERT_TRUE(ring.Write(a.data(), 10));
    EXPECT_EQ(ReadAll(ring, 10), a);
    // Ends exactly at the end of the storage: the write index wraps to 0 and
    // the next bytes go to the start.
    auto b = Pattern(10, 6);
    ASSERT_TRUE(ring.Write(b.data(), 6));
    auto c = Pattern(16, 9);
    ASSERT_TRUE(ring.Write(c.data(), 9));
    EXPECT_EQ(ring.UsedBytes(), 15u);
    EXPECT_EQ(ReadAll(ring, 15), Pattern(10, 15));
}

TEST(BufferCircle, EmptyAfterReadingAllAndANonWaitingReadThenGivesNothing) {
    KBufferCircle ring;
    ASSERT_TRUE(ring.SetSize(64));
    auto a = Pattern(0, 10);
    ASSERT_TRUE(ring.Write(a.data(), 10));
    EXPECT_EQ(ReadAll(ring, 10), a);
    EXPECT_EQ(ring.UsedBytes(), 0u);
    BYTE buf[8];
    EXPECT_EQ(ring.Read(buf, 8, false), 0);
}

TEST(BufferCircle, NonWaitingReadReturnsWhatIsThere) {
    KBufferCircle ring;
    ASSERT_TRUE(ring.SetSize(CIRCLE_BUFFER_BYTE));
    auto a = Pattern(0, 5000);
    ASSERT_TRUE(ring.Write(a.data(), 5000));
    std::vector<BYTE> out(8192);
    EXPECT_EQ(ring.Read(out.data(), 8192, false), 5000);
    EXPECT_TRUE(std::equal(a.begin(), a.end(), out.begin()));
}

TEST(BufferCircle, WaitingReadWaitsForTheWholeCount) {
    KBufferCircle ring;
    ASSERT_TRUE(ring.SetSize(CIRCLE_BUFFER_BYTE));
    std::vector<BYTE> out(8192);
    std::atomic<LONG> got{-2};
    std::thread consumer([&] { got = ring.Read(out.data(), 8192, true); });
    auto a = Pattern(0, 5000);
    ASSERT_TRUE(ring.Write(a.data(), 5000));
    auto b = Pattern(5000, 4000);
    ASSERT_TRUE(ring.Write(b.data(), 4000));
    consumer.join();
    EXPECT_EQ(got.load(), 8192);
    EXPECT_EQ(out, Pattern(0, 8192));
    EXPECT_EQ(ring.UsedBytes(), 808u);
}

TEST(BufferCircle, ZeroBytesNeverWaitAndAStopEndsEveryWait) {
    KBufferCircle ring;
    ASSERT_TRUE(ring.SetSize(64));
    auto a = Pattern(0, 10);
    ASSERT_TRUE(ring.Write(a.data(), 10));
    ring.Stop();
    BYTE buf[16];
    EXPECT_TRUE(ring.Write(buf, 0));
    EXPECT_EQ(ring.Read(buf, 0, true), 0);
    // Room and data are both there, the stop still counts first.
    EXPECT_FALSE(ring.Write(a.data(), 1));
    EXPECT_EQ(ring.Read(buf, 4, true), -1);
    EXPECT_EQ(ring.UsedBytes(), 10u);
}

TEST(BufferCircle, AStopNeverLosesBytesAReaderHasTakenOut) {
    KBufferCircle ring;
    ASSERT_TRUE(ring.SetSize(CIRCLE_BUFFER_BYTE));
    std::vector<BYTE> out(8192);
    std::atomic<LONG> got{-2};
    std::thread consumer([&] { got = ring.Read(out.data(), 8192, true); });
    auto a = Pattern(0, 5000);
    ASSERT_TRUE(ring.Write(a.data(), 5000));
    ring.Stop();
    consumer.join();
    // Either the reader took the bytes and reports them, or it saw the stop
    // first and they are still in the ring.
    if (got.load() == -1) {
        EXPECT_EQ(ring.UsedBytes(), 5000u);
    } else {
        EXPECT_EQ(got.load(), 5000);
        EXPECT_TRUE(std::equal(a.begin(), a.end(), out.begin()));
    }
}

TEST(BufferCircle, PortionReadDrainsTheRingAfterAStop) {
    KBufferCircle ring;
    ASSERT_TRUE(ring.SetSize(CIRCLE_BUFFER_BYTE));
    auto a = Pattern(0, 12000);
    ASSERT_TRUE(ring.Write(a.data(), 12000));
    std::vector<BYTE> out(8192);
    uint64_t generation = 99;
    EXPECT_EQ(ring.ReadPortion(out.data(), 8192, INFINITE, &generation), 8192);
    EXPECT_EQ(generation, 0u);
    ring.Stop();
    EXPECT_EQ(ring.ReadPortion(out.data(), 8192, INFINITE, &generation), 3808);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 3808, a.begin() + 8192));
    EXPECT_EQ(ring.ReadPortion(out.data(), 8192, INFINITE, &generation), -1);
}

TEST(BufferCircle, PortionReadHandsOverAShortTailWhenTheProducerPauses) {
    KBufferCircle ring;
    ASSERT_TRUE(ring.SetSize(CIRCLE_BUFFER_BYTE));
    auto a = Pattern(0, 5000);
    ASSERT_TRUE(ring.Write(a.data(), 5000));
    std::vector<BYTE> out(8192);
    EXPECT_EQ(ring.ReadPortion(out.data(), 8192, 20, nullptr), 5000);
}

// True once the thread sleeps (in a wait, as nothing else here blocks).
bool WaitUntilAsleep(int tid) {
    const std::string path = "/proc/self/task/" + std::to_string(tid) + "/stat";
    for (auto end = std::chrono::steady_clock::now() + 60s; std::chrono::steady_clock::now() < end;) {
        std::ifstream in(path);
        std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const size_t name = stat.rfind(')');
        if (name != std::string::npos && name + 2 < stat.size() && stat[name + 2] == 'S') return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

TEST(BufferCircle, PortionReadHandsOverATailThatCameWhileItWaited) {
    KBufferCircle ring;
    ASSERT_TRUE(ring.SetSize(CIRCLE_BUFFER_BYTE));
    std::atomic<int> tid{0};
    std::vector<BYTE> out(8192);
    auto reader = std::async(std::launch::async, [&] {
        tid = plat::CurrentThreadId();
        return ring.ReadPortion(out.data(), 8192, 20, nullptr);
    });
    while (tid == 0) std::this_thread::yield();
    ASSERT_TRUE(WaitUntilAsleep(tid));  // waiting on an empty ring
    auto a = Pattern(0, 5000);
    ASSERT_TRUE(ring.Write(a.data(), 5000));
    const bool handed = reader.wait_for(60s) == std::future_status::ready;
    if (!handed) ring.Stop();  // lets a reader that was never woken go
    EXPECT_TRUE(handed) << "the tail waits for a portion that may never come";
    EXPECT_EQ(reader.get(), 5000);
    EXPECT_TRUE(std::equal(a.begin(), a.end(), out.begin()));
}

TEST(BufferCircle, FlushWaitsUntilTheConsumerHasTakenEverything) {
    KBufferCircle ring;
    ASSERT_TRUE(ring.SetSize(CIRCLE_BUFFER_BYTE));
    std::atomic<DWORD> taken{0};
    std::thread consumer([&] {
        std::vector<BYTE> out(8192);
        LONG n;
        while ((n = ring.ReadPortion(out.data(), 8192, INFINITE, nullptr)) >= 0) {
            taken += static_cast<DWORD>(n);
            ring.CompleteFlushIfEmpty();
        }
    });
    auto a = Pattern(0, 20000);
    ASSERT_TRUE(ring.Write(a.data(), 20000));
    EXPECT_TRUE(ring.Flush(60000));
    EXPECT_EQ(taken.load(), 20000u);
    ring.Stop();
    consumer.join();
    EXPECT_FALSE(ring.Flush(60000));  // nobody confirms after a stop, and nobody waits for ever
}

TEST(BufferCircle, DiscardDropsTheStreamAndStartsANewGeneration) {
    KBufferCircle ring;
    ASSERT_TRUE(ring.SetSize(CIRCLE_BUFFER_BYTE));
    auto a = Pattern(0, 5000);
    ASSERT_TRUE(ring.Write(a.data(), 5000));
    const uint64_t before = ring.Generation();
    ring.Discard();
    EXPECT_EQ(ring.UsedBytes(), 0u);
    EXPECT_NE(ring.Generation(), before);
    auto b = Pattern(7, 8192);
    ASSERT_TRUE(ring.Write(b.data(), 8192));
    std::vector<BYTE> out(8192);
    uint64_t generation = 0;
    EXPECT_EQ(ring.ReadPortion(out.data(), 8192, INFINITE, &generation), 8192);
    EXPECT_EQ(generation, ring.Generation());
    EXPECT_EQ(out, b);
}

}  // namespace
