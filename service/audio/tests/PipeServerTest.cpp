#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numeric>
#include <thread>

#include "log/ErrorTextTable.h"
#include "log/KErrorLog.h"
#include "platform/core/LastError.h"
#include "platform/core/Text.h"
#include "platform/driver/tests/TempRuntimeDir.h"
#include "service/audio/PipeServer.h"
#include "service/audio/tests/FakeDriver.h"
#include "service/audio/tests/TestListener.h"

namespace {

using namespace std::chrono_literals;
using plat::drv::TAG_WAVE;
using plat::drv::TAG_WFMT;
constexpr DWORD R = FakeDriver::R;

OWAVEFORMATEX Pcm(WORD channels, DWORD rate, WORD bits) {
    WORD align = static_cast<WORD>(channels * bits / 8);
    return OWAVEFORMATEX{WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}
const OWAVEFORMATEX kEngine = Pcm(2, 48000, 16);

std::vector<BYTE> Pattern(size_t bytes, BYTE seed) {
    std::vector<BYTE> v(bytes);
    for (size_t i = 0; i < bytes; ++i) v[i] = static_cast<BYTE>(seed + i * 7);
    return v;
}

// Waits for what the reader thread brings about; the deadline only ends a
// run whose reader is stuck.
template <class Cond>
bool WaitFor(Cond cond) {
    for (auto end = std::chrono::steady_clock::now() + 60s; std::chrono::steady_clock::now() < end;) {
        if (cond()) return true;
        std::this_thread::sleep_for(1ms);
    }
    return cond();
}

class PipeServerTest : public ::testing::Test {
protected:
    void StartLink(DWORD startOffset = 0) {
        driver->SetStartOffset(startOffset);
        ASSERT_EQ(S_OK, link.StartStop());
        ASSERT_TRUE(link.IsStarted());
        ASSERT_TRUE(driver->WaitLinkOpen());
    }
    // Writes a marker record and waits until it arrives: everything written
    // before it has then been dealt with.
    void SendMarkerAndWait(size_t expectedChunks) {
        driver->PutRecord(TAG_WAVE, kMarker);
        driver->Publish();
        ASSERT_TRUE(listener->WaitChunks(expectedChunks));
        ASSERT_EQ(kMarker, listener->Chunks().back());
    }

    const std::vector<BYTE> kMarker = Pattern(64, 0x40);
    TempRuntimeDir dir;
    std::unique_ptr<FakeDriver> driver = std::make_unique<FakeDriver>();
    plat::ComPtr<TestListener> listener = TestListener::Create();
    KPipeServer link{listener.Get()};
};

TEST_F(PipeServerTest, EngineAudioIsDeliveredAsItIsAndCounted) {
    StartLink();
    driver->PutFormat(kEngine);
    auto a = Pattern(1920, 1), b = Pattern(4, 2), c = Pattern(7680, 3);
    driver->PutRecord(TAG_WAVE, a);
    driver->PutRecord(TAG_WAVE, b);
    driver->PutRecord(TAG_WAVE, c);
    driver->Publish();
    ASSERT_TRUE(listener->WaitChunks(3));
    EXPECT_EQ((std::vector<std::vector<BYTE>>{a, b, c}), listener->Chunks());
    ASSERT_TRUE(driver->WaitConsumed());
    EXPECT_TRUE(driver->WaitWord(plat::drv::CONSUMED_AUDIO_POS, 1920u + 4 + 7680));
    EXPECT_EQ(driver->Cursor(), driver->Word(plat::drv::READ_OFFSET_POS));
}

TEST_F(PipeServerTest, DriverFormatIsConvertedToTheEngineFormat) {
    StartLink();
    // 10 ms of 44100 Hz mono 8-bit: 441 frames become 480 stereo 16-bit frames.
    std::vector<BYTE> mono(441);
    for (size_t i = 0; i < mono.size(); ++i) mono[i] = static_cast<BYTE>(i);
    driver->PutFormat(Pcm(1, 44100, 8));
    driver->PutRecord(TAG_WAVE, mono);
    driver->Publish();
    ASSERT_TRUE(listener->WaitChunks(1));
    auto out = listener->Chunks()[0];
    ASSERT_EQ(480u * 4, out.size());
    auto sample = [&](size_t frame, int ch) {
        return static_cast<int16_t>(out[frame * 4 + ch * 2] | (out[frame * 4 + ch * 2 + 1] << 8));
    };
    EXPECT_EQ(-128 * 256, sample(0, 0));
    EXPECT_EQ(sample(0, 0), sample(0, 1));
    // Output frame j holds source frame ceil((j + 1) * 44100 / 48000) - 1.
    EXPECT_EQ((200 - 128) * 256, sample(217, 1));
    EXPECT_EQ((440 % 256 - 128) * 256, sample(479, 0));
    EXPECT_TRUE(driver->WaitWord(plat::drv::CONSUMED_AUDIO_POS, 441));
}

TEST_F(PipeServerTest, FormatChangesApplyToTheAudioThatFollows) {
    StartLink();
    driver->PutFormat(kEngine);
    auto stereo = Pattern(400, 5);
    driver->PutRecord(TAG_WAVE, stereo);
    driver->PutFormat(Pcm(1, 48000, 16));
    driver->PutRecord(TAG_WAVE, {0x34, 0x12, 0xFF, 0xFF});
    driver->Publish();
    ASSERT_TRUE(listener->WaitChunks(2));
    auto chunks = listener->Chunks();
    EXPECT_EQ(stereo, chunks[0]);
    EXPECT_EQ((std::vector<BYTE>{0x34, 0x12, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0xFF}), chunks[1]);
}

// Everything delivered up to the marker, joined, with each delivery checked
// to hold whole frames of the engine format.
std::vector<BYTE> DeliveredUpToMarker(TestListener& listener, const std::vector<BYTE>& marker) {
    EXPECT_TRUE(listener.WaitFor([&] { return !listener.chunks.empty() && listener.chunks.back() == marker; }));
    std::vector<BYTE> joined;
    auto chunks = listener.Chunks();
    for (size_t i = 0; i + 1 < chunks.size(); ++i) {
        EXPECT_EQ(0u, chunks[i].size() % kEngine.nBlockAlign) << "delivery " << i << " of " << chunks[i].size();
        joined.insert(joined.end(), chunks[i].begin(), chunks[i].end());
    }
    return joined;
}

TEST_F(PipeServerTest, RecordsOfAnyLengthAreDeliveredAsWholeFramesOfTheSameStream) {
    StartLink();
    driver->PutFormat(kEngine);
    const std::vector<DWORD> lengths = {4001, 3, 1, 2, 4094, 7, 5, 4003, 1, 3, 4, 0, 2, 2};
    const DWORD total = std::accumulate(lengths.begin(), lengths.end(), DWORD{0});
    ASSERT_EQ(0u, total % 4);
    const auto stream = Pattern(total, 11);
    DWORD at = 0;
    for (DWORD n : lengths) {
        driver->PutRecord(TAG_WAVE, std::vector<BYTE>(stream.begin() + at, stream.begin() + at + n));
        at += n;
    }
    driver->PutRecord(TAG_WAVE, kMarker);
    driver->Publish();
    EXPECT_EQ(stream, DeliveredUpToMarker(*listener, kMarker));
    // Every byte the driver wrote counts as taken, including the parts
    // of frames that waited for their rest.
    EXPECT_TRUE(driver->WaitWord(plat::drv::CONSUMED_AUDIO_POS, total + static_cast<DWORD>(kMarker.size())));
}

TEST_F(PipeServerTest, APartOfAFrameDoesNotOutliveItsFormatOrTheLink) {
    StartLink();
    const auto a = Pattern(6, 1), b = Pattern(8, 2);
    driver->PutFormat(kEngine);
    driver->PutRecord(TAG_WAVE, a);            // one frame and half of the next
    driver->PutFormat(kEngine);                // the same format again: the half waits on
    driver->PutRecord(TAG_WAVE, {0xA1, 0xA2});
    driver->PutRecord(TAG_WAVE, {0xB1, 0xB2, 0xB3});
    driver->PutFormat(Pcm(2, 48000, 8));       // another format: the part left is dropped
    driver->PutRecord(TAG_WAVE, b);
    driver->PutFormat(kEngine);
    driver->PutRecord(TAG_WAVE, {0xC1, 0xC2, 0xC3, 0xC4, 0xC5});
    driver->Publish();
    ASSERT_TRUE(listener->WaitChunks(4));
    auto chunks = listener->Chunks();
    EXPECT_EQ((std::vector<BYTE>(a.begin(), a.begin() + 4)), chunks[0]);
    EXPECT_EQ((std::vector<BYTE>{a[4], a[5], 0xA1, 0xA2}), chunks[1]);
    EXPECT_EQ(4u * 4, chunks[2].size());  // four 8-bit stereo frames, none of the dropped bytes
    EXPECT_EQ((std::vector<BYTE>{0xC1, 0xC2, 0xC3, 0xC4}), chunks[3]);

    // The last byte is dropped with the link: a new link starts on a frame.
    ASSERT_EQ(S_OK, link.StartStop());
    StartLink();
    driver->PutFormat(kEngine);
    driver->PutRecord(TAG_WAVE, {0xD1, 0xD2, 0xD3, 0xD4});
    driver->Publish();
    ASSERT_TRUE(listener->WaitChunks(5));
    EXPECT_EQ((std::vector<BYTE>{0xD1, 0xD2, 0xD3, 0xD4}), listener->Chunks()[4]);
}

TEST(PipeServerSplit, HeaderSplitAtTheRingEndWaitsForItsRestAndIsAssembled) {
    // The tag ends the ring; the last k bytes of the length word are at its start.
    for (DWORD k = 1; k <= 4; ++k) {
        SCOPED_TRACE(k);
        TempRuntimeDir dir;
        FakeDriver driver;
        auto listener = TestListener::Create();
        KPipeServer link(listener.Get());
        const DWORD formatRecord = 8 + sizeof(OWAVEFORMATEX);
        driver.SetStartOffset(R - 8 + k - formatRecord);
        ASSERT_EQ(S_OK, link.StartStop());
        ASSERT_TRUE(driver.WaitLinkOpen());
        driver.PutFormat(kEngine);
        ASSERT_EQ(R - 8 + k, driver.Cursor());
        auto audio = Pattern(100, static_cast<BYTE>(k));
        driver.PutHeader(TAG_WAVE, 100);
        driver.Put(audio.data(), audio.size());
        // Only part of the length word is announced: the reader must wait
        // for the rest instead of passing over the tag.
        driver.PublishValue(k - 1);
        // Two more pauses: the reader has looked at the partial header since.
        const unsigned pauses = link.Pauses();
        ASSERT_TRUE(WaitFor([&] { return link.Pauses() >= pauses + 2; }));
        EXPECT_TRUE(listener->Chunks().empty());
        driver.Publish();
        ASSERT_TRUE(listener->WaitChunks(1));
        ASSERT_TRUE(driver.WaitConsumed());
        EXPECT_EQ(std::vector<std::vector<BYTE>>{audio}, listener->Chunks());
        EXPECT_EQ(S_OK, link.StartStop());
    }
}

TEST_F(PipeServerTest, PayloadSplitAtTheRingEndIsDeliveredOnceWhole) {
    StartLink(R - 300);
    driver->PutFormat(kEngine);
    auto audio = Pattern(1000, 9);
    driver->PutRecord(TAG_WAVE, audio);
    ASSERT_LT(driver->Cursor(), 1000u);  // wrapped
    driver->Publish();
    ASSERT_TRUE(listener->WaitChunks(1));
    ASSERT_TRUE(driver->WaitConsumed());
    EXPECT_EQ(std::vector<std::vector<BYTE>>{audio}, listener->Chunks());
}

TEST_F(PipeServerTest, WriteOffsetAtTheRingEndIsStoredBackAsZero) {
    const DWORD record = 8 + 192;
    StartLink(R - record - (8 + sizeof(OWAVEFORMATEX)));
    driver->PutFormat(kEngine);
    driver->PutRecord(TAG_WAVE, Pattern(192, 1));
    ASSERT_EQ(R, driver->Cursor());
    driver->PublishValue(R);
    ASSERT_TRUE(listener->WaitChunks(1));
    ASSERT_TRUE(driver->WaitWord(plat::drv::READ_OFFSET_POS, 0));
    EXPECT_EQ(0u, driver->Word(plat::drv::WRITE_OFFSET_POS));
    // The driver goes on from the ring start.
    SendMarkerAndWait(2);
}

TEST_F(PipeServerTest, GarbageAndOversizedLengthsAreSkipped) {
    StartLink();
    driver->PutFormat(kEngine);
    driver->Put("garbage WAV WFM", 15);
    driver->PutHeader(TAG_WAVE, 0xFFFFFFFF);
    driver->PutHeader(TAG_WAVE, KPipeServer::ASSEMBLY_SIZE_BYTE + 1);
    driver->PutHeader(TAG_WFMT, 0x7FFFFFFF);
    driver->Put("\x01\x02\x03", 3);
    SendMarkerAndWait(1);
    EXPECT_EQ(1u, listener->Chunks().size());
    // A record of the largest length is still taken.
    auto big = Pattern(KPipeServer::ASSEMBLY_SIZE_BYTE - 64, 3);
    ASSERT_TRUE(driver->WriteWhenRoom(TAG_WAVE, big.data(), static_cast<DWORD>(big.size())));
    ASSERT_TRUE(listener->WaitChunks(2));
    EXPECT_EQ(big, listener->Chunks()[1]);
}

TEST_F(PipeServerTest, ShortFormatRecordStopsDeliveryUntilAValidOne) {
    StartLink();
    driver->PutFormat(kEngine);
    std::vector<BYTE> shortFormat(10);
    std::memcpy(shortFormat.data(), &kEngine, 10);
    driver->PutRecord(TAG_WFMT, shortFormat);
    driver->PutRecord(TAG_WAVE, Pattern(40, 1));  // its format is unknown: not delivered
    driver->PutFormat(kEngine);
    SendMarkerAndWait(1);
    EXPECT_TRUE(driver->WaitWord(plat::drv::CONSUMED_AUDIO_POS, 40 + static_cast<DWORD>(kMarker.size())));
}

TEST_F(PipeServerTest, UnusableFormatsAreRefusedButCounted) {
    StartLink();
    OWAVEFORMATEX zeroRate = Pcm(2, 0, 16);
    OWAVEFORMATEX threeChannels = Pcm(3, 48000, 16);
    OWAVEFORMATEX deep = Pcm(2, 48000, 24);
    OWAVEFORMATEX slow = Pcm(1, 1, 8);  // would make one block enormous
    driver->PutRecord(TAG_WAVE, Pattern(16, 1));  // before any format
    for (const auto& f : {zeroRate, threeChannels, deep, slow}) {
        driver->PutFormat(f);
        driver->PutRecord(TAG_WAVE, Pattern(24, 2));
    }
    driver->PutFormat(kEngine);
    SendMarkerAndWait(1);
    EXPECT_TRUE(driver->WaitWord(plat::drv::CONSUMED_AUDIO_POS, 16 + 4 * 24 + static_cast<DWORD>(kMarker.size())));
}

TEST_F(PipeServerTest, StopOnAnEmptyRingInterruptsOnceAndClosesTheLink) {
    StartLink();
    EXPECT_EQ(S_OK, link.StartStop());
    EXPECT_FALSE(link.IsStarted());
    EXPECT_EQ(1, listener->Interrupts());
    ASSERT_TRUE(driver->WaitClosed(1));
    EXPECT_EQ((std::vector<DWORD>{plat::drv::IOCTL_LINK_OPEN, plat::drv::IOCTL_LINK_CLOSE}), driver->Codes());
}

TEST_F(PipeServerTest, RestartKeepsTheListener) {
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        StartLink();
        driver->PutFormat(kEngine);
        SendMarkerAndWait(static_cast<size_t>(run));
        EXPECT_EQ(S_OK, link.StartStop());
        EXPECT_EQ(run, listener->Interrupts());
        ASSERT_TRUE(driver->WaitClosed(run));
    }
}

TEST_F(PipeServerTest, StopDoesNotHangOnAListenerHeldInAudio) {
    listener->holdInAudio = true;
    StartLink();
    driver->PutFormat(kEngine);
    driver->PutRecord(TAG_WAVE, Pattern(64, 1));
    driver->Publish();
    ASSERT_TRUE(listener->WaitChunks(1));
    EXPECT_EQ(S_OK, link.StartStop());
    EXPECT_FALSE(link.IsStarted());
    EXPECT_EQ(1, listener->Interrupts());
}

TEST_F(PipeServerTest, StreamWrittenWhileReadingArrivesInOrder) {
    StartLink();
    driver->PutFormat(kEngine);
    driver->Publish();
    constexpr int kRecords = 3000;
    std::atomic<bool> writerOk{true};
    std::thread writer([&] {
        for (int i = 0; i < kRecords && writerOk; ++i) {
            // Sizes vary so that headers and payloads land everywhere in the ring.
            std::vector<BYTE> payload(4 * (1 + (i * 37) % 900));
            std::memcpy(payload.data(), &i, sizeof(i));
            if (!driver->WriteWhenRoom(TAG_WAVE, payload.data(), static_cast<DWORD>(payload.size()))) writerOk = false;
        }
    });
    bool all = listener->WaitFor([&] { return listener->chunks.size() >= kRecords; }, 90000);
    writerOk = writerOk && all;
    writer.join();
    ASSERT_TRUE(writerOk);
    auto chunks = listener->Chunks();
    ASSERT_EQ(static_cast<size_t>(kRecords), chunks.size());
    for (int i = 0; i < kRecords; ++i) {
        int seq = 0;
        std::memcpy(&seq, chunks[static_cast<size_t>(i)].data(), sizeof(seq));
        ASSERT_EQ(i, seq);
        ASSERT_EQ(4u * (1 + (i * 37) % 900), chunks[static_cast<size_t>(i)].size());
    }
}

TEST_F(PipeServerTest, CrashCloseTellsTheDriverAndStopStillWorks) {
    StartLink();
    KPipeServer::CloseDeviceFromAnyThread();
    ASSERT_TRUE(driver->WaitClosed(1));
    EXPECT_EQ(plat::drv::IOCTL_LINK_CLOSE, driver->Codes().back());
    EXPECT_EQ(S_OK, link.StartStop());
    EXPECT_EQ(1, listener->Interrupts());
    EXPECT_EQ(2u, driver->Codes().size());  // no second close on a closed device
}

// The crash handler may close the device while its owner stops the link and
// frees it: each round the driver hears one close, and the closed connection
// is never used again (the sanitizer build catches a use after free).
TEST_F(PipeServerTest, CrashCloseRacingAStopClosesOnce) {
    constexpr int kRounds = 40;
    for (int round = 1; round <= kRounds; ++round) {
        StartLink();
        std::thread crash([] { KPipeServer::CloseDeviceFromAnyThread(); });
        EXPECT_EQ(S_OK, link.StartStop());
        crash.join();
        EXPECT_FALSE(link.IsStarted());
        ASSERT_TRUE(driver->WaitClosed(round));
    }
    const auto codes = driver->Codes();
    EXPECT_EQ(kRounds, std::count(codes.begin(), codes.end(), plat::drv::IOCTL_LINK_CLOSE));
    EXPECT_FALSE(KPipeServer::CloseDeviceFromAnyThread()) << "no device is left open";
}

TEST(PipeServerStart, MissingDriverFailsAndALaterStartRetries) {
    TempRuntimeDir dir;
    auto listener = TestListener::Create();
    KPipeServer link(listener.Get());
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), link.StartStop());
    EXPECT_FALSE(link.IsStarted());
    FakeDriver driver;
    EXPECT_EQ(S_OK, link.StartStop());
    EXPECT_TRUE(link.IsStarted());
    EXPECT_EQ(S_OK, link.StartStop());
    EXPECT_EQ(1, listener->Interrupts());
}

TEST(PipeServerStart, RefusedLinkOpenClosesTheDevice) {
    TempRuntimeDir dir;
    FakeDriver driver;
    driver.SetOpenAnswer(ERROR_NOT_READY);
    auto listener = TestListener::Create();
    KPipeServer link(listener.Get());
    EXPECT_EQ(E_FAIL, link.StartStop());
    EXPECT_FALSE(link.IsStarted());
    ASSERT_TRUE(driver.WaitClosed(1));
    driver.SetOpenAnswer(0);
    EXPECT_EQ(S_OK, link.StartStop());
    EXPECT_EQ(2, driver.Opens());
}

TEST(PipeServerStart, ASecondLinkIsRefusedWhileTheDeviceIsHeld) {
    TempRuntimeDir dir;
    FakeDriver driver;
    auto listener = TestListener::Create();
    KPipeServer first(listener.Get());
    KPipeServer second(listener.Get());
    ASSERT_EQ(S_OK, first.StartStop());
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), second.StartStop());
    EXPECT_EQ(S_OK, first.StartStop());
    EXPECT_EQ(S_OK, second.StartStop());
}

TEST(PipeServerSection, OnlyASectionSealedAgainstResizingAndWholeIsMapped) {
    TempRuntimeDir dir;
    KErrorLog& log = KErrorLog::Instance();
    const std::u16string previousLog = log.LogFilePath();
    const std::u16string logFile = plat::ToUtf16(dir.Path()) + u"/refusals.log";
    ASSERT_TRUE(log.OpenLogFile(logFile));
    FakeDriver driver;
    auto listener = TestListener::Create();
    KPipeServer link(listener.Get());
    const struct {
        FakeDriver::Section kind;
        std::string logged;
    } refused[] = {
        {FakeDriver::Section::Unsealed, "it is not sealed against resizing"},
        {FakeDriver::Section::Short, "it is shorter than 0x21000 bytes"},
        {FakeDriver::Section::None, "The driver passed no section"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.logged);
        driver.SetSection(c.kind);
        EXPECT_EQ(E_FAIL, link.StartStop());
        EXPECT_FALSE(link.IsStarted());
        std::ifstream in(plat::ToUtf8(logFile), std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::string utf16;  // the log is UTF-16LE
        for (char ch : c.logged) utf16 += std::string{ch, '\0'};
        EXPECT_NE(std::string::npos, text.find(utf16));
    }
    log.OpenLogFile(previousLog);
    // The engine is still there, and takes a proper section.
    driver.SetSection(FakeDriver::Section::Sealed);
    ASSERT_EQ(S_OK, link.StartStop());
    ASSERT_TRUE(driver.WaitLinkOpen());
    driver.PutFormat(kEngine);
    driver.PutRecord(TAG_WAVE, Pattern(64, 9));
    driver.Publish();
    ASSERT_TRUE(listener->WaitChunks(1));
    EXPECT_EQ(Pattern(64, 9), listener->Chunks()[0]);
}

TEST_F(PipeServerTest, ADriverCannotResizeTheSectionUnderTheReader) {
    StartLink();
    EXPECT_FALSE(driver->TryResize(0));
    EXPECT_FALSE(driver->TryResize(plat::drv::SECTION_SIZE_BYTE / 2));
    EXPECT_FALSE(driver->TryResize(2 * plat::drv::SECTION_SIZE_BYTE));
    driver->PutFormat(kEngine);
    SendMarkerAndWait(1);
}

}  // namespace
