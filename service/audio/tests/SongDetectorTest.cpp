#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

#include "service/audio/KSongDetector.h"
#include "service/audio/tests/TestListener.h"

namespace {

using SoundProcessing::KSongDetector;
using Songs = std::vector<std::pair<DWORD, DWORD>>;
constexpr LONGLONG kBytesPerSecond = 192000;
constexpr size_t kBlockFrames = 51200 / 4;

// Feeds a detector the engine stream in blocks of 51200 bytes, each with the
// stream position of its first byte, as the controller's maintenance thread does.
class Feeder {
public:
    using Frame = std::function<std::pair<short, short>(size_t)>;
    explicit Feeder(KSongDetector& detector) : m_detector(detector) {}
    ~Feeder() { Flush(); }

    void Add(double seconds, const Frame& frame) {
        const auto frames = static_cast<size_t>(seconds * 48000 + 0.5);
        for (size_t i = 0; i < frames; ++i) {
            auto [l, r] = frame(i);
            m_block.push_back(l);
            m_block.push_back(r);
            if (m_block.size() == kBlockFrames * 2) Flush();
        }
    }
    void Silence(double seconds) { Fill(seconds, false); }
    // A square wave of 1200 Hz, the channels in opposite phase.
    void Music(double seconds) { Fill(seconds, true); }
    void Fill(double seconds, bool loud) {
        auto frames = static_cast<size_t>(seconds * 48000 + 0.5);
        while (frames > 0) {
            const size_t used = m_block.size();
            const size_t n = std::min(frames, kBlockFrames - used / 2);
            m_block.resize(used + n * 2);
            short* p = m_block.data() + used;
            for (size_t i = 0; i < n; ++i, ++m_phase) {
                const short v = loud ? static_cast<short>((m_phase / 20) % 2 ? 9000 : -9000) : 0;
                *p++ = v;
                *p++ = static_cast<short>(-v);
            }
            frames -= n;
            if (m_block.size() == kBlockFrames * 2) Flush();
        }
    }
    void Flush() {
        if (m_block.empty()) return;
        const auto bytes = static_cast<LONG>(m_block.size() * 2);
        EXPECT_EQ(S_OK, m_detector.AnalizeBlock(m_block.data(), bytes, m_position));
        m_position += bytes;
        m_block.clear();
    }
    LONGLONG Position() const { return m_position + static_cast<LONGLONG>(m_block.size() * 2); }
    void SetPosition(LONGLONG position) {
        Flush();
        m_position = position;
    }

private:
    KSongDetector& m_detector;
    std::vector<short> m_block;
    LONGLONG m_position = 0;
    size_t m_phase = 0;
};

class SongDetectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        KTimecode::SetRateMode(KTimecode::kHundredthsMode);
        ASSERT_EQ(S_OK, detector.SetWindow(300));
        detector.SetListener(listener.Get());
    }

    plat::ComPtr<TestListener> listener = TestListener::Create();
    KSongDetector detector;
};

TEST_F(SongDetectorTest, OneSongBetweenTheFirstQuietWindowsAroundTheMusic) {
    {
        Feeder feed(detector);
        feed.Silence(2.0);
        feed.Music(180.0);
        feed.Silence(1.0);
    }
    // The first quiet window ends at 300 ms and starts the segment; the music
    // ends at 182.0 s, inside the window [181.8, 182.1) that still counts as
    // loud; the next window ends the song at 182.4 s.
    EXPECT_EQ((Songs{{300, 182400}}), listener->Songs());
}

TEST_F(SongDetectorTest, PausesInTheFirstTenSecondsDoNotSplit) {
    {
        Feeder feed(detector);
        feed.Silence(0.3);
        feed.Music(7.5);    // to 7.8 s: the quiet window ending at 8.1 s is too early
        feed.Silence(1.2);
        feed.Music(11.1);   // to 20.1 s
        feed.Silence(1.0);
    }
    EXPECT_EQ((Songs{{300, 20400}}), listener->Songs());
}

TEST_F(SongDetectorTest, AnOverlongSegmentIsDroppedAndItsPauseIsNoSong) {
    {
        Feeder feed(detector);
        feed.Silence(0.3);
        feed.Music(660.0);  // 11 minutes, to 660.3 s: dropped at the window ending 660.6 s
        feed.Silence(15.0);  // silence alone is never a song
        feed.Music(20.0);   // 675.3 to 695.3 s
        feed.Silence(1.0);
    }
    EXPECT_EQ((Songs{{660600, 695700}}), listener->Songs());
}

TEST_F(SongDetectorTest, MaximumLengthIsTheCallersChoice) {
    KTimecode max;
    max.Set(0, 0, 20, 0);
    detector.SetMaxLength(max);
    Feeder feed(detector);
    feed.Silence(0.3);
    feed.Music(25.0);
    feed.Silence(0.6);
    feed.Music(15.0);
    feed.Silence(0.6);
    feed.Flush();
    // The 25 s segment is dropped at the quiet window ending 25.8 s; the next
    // one runs from there to the window after the music, ending 41.4 s.
    EXPECT_EQ((Songs{{25800, 41400}}), listener->Songs());
}

// One window's worth of a signal, followed by sound-free windows, shows
// whether the signal counted as loud: only then does the segment become a song.
bool IsLoud(const Feeder::Frame& signal) {
    KTimecode::SetRateMode(KTimecode::kHundredthsMode);
    auto listener = TestListener::Create();
    KSongDetector detector;
    EXPECT_EQ(S_OK, detector.SetWindow(300));
    detector.SetListener(listener.Get());
    Feeder feed(detector);
    feed.Silence(0.3);
    feed.Add(10.5, [&](size_t i) { return signal(i % 14400); });
    feed.Silence(0.3);
    feed.Flush();
    return !listener->Songs().empty();
}

TEST(SongDetectorLevels, MeanAndVarianceDecide) {
    EXPECT_TRUE(IsLoud([](size_t) { return std::pair<short, short>{600, 0}; }));
    EXPECT_TRUE(IsLoud([](size_t) { return std::pair<short, short>{0, -500}; }));
    EXPECT_FALSE(IsLoud([](size_t) { return std::pair<short, short>{499, -499}; }));
    // 10800 of 14400 frames at +-40: variance exactly 1200 (loud); 10791: just below.
    auto spread = [](size_t count) {
        return [count](size_t i) {
            short v = i < count ? static_cast<short>(i % 2 ? 40 : -40) : 0;
            return std::pair<short, short>{v, v};
        };
    };
    EXPECT_TRUE(IsLoud(spread(10800)));
    EXPECT_FALSE(IsLoud(spread(10791)));
}

TEST_F(SongDetectorTest, AWindowEndsWhereItsLastFrameWasTaken) {
    Feeder feed(detector);
    feed.SetPosition(960000 - 13400 * 4);
    feed.Silence(13400.0 / 48000);
    feed.Silence(2000.0 / 48000);  // the window completes 1000 frames into this block
    feed.Flush();
    EXPECT_TRUE(listener->Songs().empty());
    detector.MarkBoundary(964000 + 5 * kBytesPerSecond);
    EXPECT_EQ((Songs{{5020, 10020}}), listener->Songs());
}

TEST_F(SongDetectorTest, BoundariesReportWhateverIsOpen) {
    EXPECT_EQ(2u, listener->RefCount());  // the detector holds its listener
    detector.MarkBoundary(0);
    EXPECT_TRUE(listener->Songs().empty());
    detector.MarkBoundary(5 * kBytesPerSecond);
    detector.MarkBoundary(5 * kBytesPerSecond + 1000);  // under 10 ms: same time code, nothing
    EXPECT_EQ((Songs{{0, 5000}}), listener->Songs());
    detector.SetListener(nullptr);
    EXPECT_EQ(1u, listener->RefCount());
}

TEST_F(SongDetectorTest, ResetRestartsTheSegmentAtTheNextQuietWindow) {
    Feeder feed(detector);
    detector.MarkBoundary(0);
    feed.Music(11.1);
    feed.Flush();
    detector.Reset();
    feed.Silence(0.3);  // ends at 11.4 s: a new start, no report
    feed.Flush();
    EXPECT_TRUE(listener->Songs().empty());
    detector.MarkBoundary(feed.Position() + 5 * kBytesPerSecond);
    EXPECT_EQ((Songs{{11400, 16400}}), listener->Songs());
}

TEST_F(SongDetectorTest, AWindowWithoutFramesIsRefused) {
    EXPECT_EQ(E_INVALIDARG, detector.SetWindow(0));
    EXPECT_EQ(E_INVALIDARG, detector.SetWindow(KSongDetector::kMaxWindowMs + 1));
    // The 300 ms window stays in use.
    Feeder feed(detector);
    feed.Silence(0.3);
    feed.Flush();
    detector.MarkBoundary(feed.Position() + 5 * kBytesPerSecond);
    EXPECT_EQ((Songs{{300, 5300}}), listener->Songs());

    KSongDetector fresh;
    EXPECT_EQ(E_INVALIDARG, fresh.SetWindow(0));
    std::vector<short> block(25600, 1000);
    EXPECT_EQ(S_OK, fresh.AnalizeBlock(block.data(), 51200, 0));  // no window: nothing happens
}

TEST_F(SongDetectorTest, ABlockThatCannotBeAnalysedIsRefusedAndChangesNothing) {
    std::vector<short> block(25600, 9000);
    EXPECT_EQ(E_POINTER, detector.AnalizeBlock(nullptr, 51200, 0));
    EXPECT_EQ(E_INVALIDARG, detector.AnalizeBlock(block.data(), -4, 0));
    EXPECT_EQ(E_INVALIDARG, detector.AnalizeBlock(block.data(), 51200, -1));
    EXPECT_EQ(S_OK, detector.AnalizeBlock(nullptr, 0, 0));  // nothing to analyse
    // None of them started a segment: the first quiet window does.
    Feeder feed(detector);
    feed.Silence(0.3);
    feed.Flush();
    detector.MarkBoundary(feed.Position() + 5 * kBytesPerSecond);
    EXPECT_EQ((Songs{{300, 5300}}), listener->Songs());
}

}  // namespace
