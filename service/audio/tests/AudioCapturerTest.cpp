#include <chrono>
#include <future>
#include <thread>

#include "platform/com/ComPtr.h"
#include "platform/com/Module.h"
#include "service/audio/KAudioCapturer.h"
#include "service/audio/tests/DeviceListTestBed.h"

namespace {

using namespace std::chrono_literals;

// A capturer on virtual inputs that record a counter stream, so every byte
// tells where in the stream it was captured.
class AudioCapturer : public DeviceTestBed {
protected:
    void SetUp() override {
        DeviceTestBed::SetUp();
        mic = sys->AddCaptureDevice(u"Microphone Array", plat::CounterGenerator());
        line = sys->AddCaptureDevice(u"Line In", plat::CounterGenerator());
        capturer = KAudioCapturer::Create();
        ASSERT_NE(capturer.Get(), nullptr);
        impl = static_cast<KAudioCapturer*>(capturer.Get());
        block.resize(384000);
    }
    void TearDown() override {
        impl = nullptr;
        capturer = nullptr;
        DeviceTestBed::TearDown();
    }
    void Open(const char16_t* device = u"Microphone", OWAVEFORMATEX format = EngineFormat()) {
        plat::Bstr name(device);
        ASSERT_EQ(capturer->Initialize(format, name), S_OK);
    }
    HRESULT Get(ULONG* bytes) { return capturer->GetData(block.data(), bytes); }
    // Whether the block's first n bytes are the stream from 'from' on.
    bool HoldsStream(uint64_t from, ULONG n) const {
        for (ULONG i = 0; i < n; ++i)
            if (block[i] != plat::CounterByteAt(from + i)) return false;
        return true;
    }

    GUID mic{};
    GUID line{};
    plat::ComPtr<IAudioCapturer> capturer;
    KAudioCapturer* impl = nullptr;
    std::vector<BYTE> block;
};

}  // namespace

TEST_F(AudioCapturer, GeometryFollowsTheFormat) {
    Open();
    ULONG size = 0;
    ASSERT_EQ(capturer->GetCaptureBufferSize(&size), S_OK);
    EXPECT_EQ(size, 384000u);
    EXPECT_EQ(impl->ChunkSize(), 24000u);

    Open(u"Microphone", OWAVEFORMATEX{1, 1, 44100, 88200, 2, 16, 0});
    ASSERT_EQ(capturer->GetCaptureBufferSize(&size), S_OK);
    EXPECT_EQ(impl->ChunkSize(), 11024u);
    EXPECT_EQ(size, 176384u);

    Open(u"Microphone", OWAVEFORMATEX{1, 1, 8000, 8000, 1, 8, 0});
    ASSERT_EQ(capturer->GetCaptureBufferSize(&size), S_OK);
    EXPECT_EQ(size, 16384u);

    plat::Bstr name(u"Microphone");
    EXPECT_EQ(capturer->Initialize(OWAVEFORMATEX{1, 2, 48000, 192000, 0, 16, 0}, name), E_INVALIDARG);
}

TEST_F(AudioCapturer, EachCallReturnsWhatWasCapturedUpToTheNextChunkEnd) {
    Open();
    ASSERT_EQ(capturer->StartCapture(), S_OK);
    sys->Advance(124);  // 23808 bytes: the first chunk's end (23999) not yet passed
    ULONG n = 99;
    EXPECT_EQ(Get(&n), E_FAIL);
    EXPECT_EQ(n, 0u);
    sys->Advance(1);
    ASSERT_EQ(Get(&n), S_OK);
    EXPECT_EQ(n, 24000u);
    EXPECT_TRUE(HoldsStream(0, n));
    sys->Advance(300);  // the caller fell behind: the whole backlog comes at once
    ASSERT_EQ(Get(&n), S_OK);
    EXPECT_EQ(n, 57600u);
    EXPECT_TRUE(HoldsStream(24000, n));
}

TEST_F(AudioCapturer, AReadRoundTheEndComesInStreamOrder) {
    Open();
    ASSERT_EQ(capturer->StartCapture(), S_OK);
    sys->AdvanceUs(1979167);  // 380000 bytes
    ULONG n = 0;
    ASSERT_EQ(Get(&n), S_OK);
    ASSERT_EQ(n, 380000u);
    EXPECT_EQ(impl->ReadOffset(), 380000u);
    sys->AdvanceUs(125000);  // read position 404000 mod 384000 = 20000
    ASSERT_EQ(Get(&n), S_OK);
    ASSERT_EQ(n, 24000u);
    EXPECT_TRUE(HoldsStream(380000, n)) << "4000 bytes from offset 380000, then 20000 from offset 0";
    EXPECT_EQ(impl->ReadOffset(), 20000u);
}

TEST_F(AudioCapturer, ANotificationWithNothingNewIsNoData) {
    Open();
    ASSERT_EQ(capturer->StartCapture(), S_OK);
    sys->Advance(125);
    ULONG n = 0;
    ASSERT_EQ(Get(&n), S_OK);
    sys->Advance(2000);  // exactly one ring: every chunk end passed, read position back at the offset
    EXPECT_EQ(Get(&n), E_FAIL);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(impl->ReadOffset(), 24000u);
}

TEST_F(AudioCapturer, GetDataTimesOutByTheClockBeforeStartAndFailsAtOnceWithoutABuffer) {
    ULONG n = 7;
    EXPECT_EQ(Get(&n), E_FAIL);
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(LogHas(u"No capture buffer"));
    EXPECT_EQ(capturer->GetData(nullptr, &n), E_POINTER);
    EXPECT_EQ(capturer->GetData(block.data(), nullptr), E_POINTER);

    Open();
    const uint64_t before = clock.NowMs();
    const std::u16string logBefore = Log();
    EXPECT_EQ(Get(&n), E_FAIL);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(clock.NowMs() - before, 10000u) << "the full wait, by the clock";
    EXPECT_EQ(Log(), logBefore) << "a time-out is not logged";
    EXPECT_TRUE(Codes().empty());
}

TEST_F(AudioCapturer, StopKeepsTheCursorsAndStartGoesOn) {
    Open();
    ASSERT_EQ(capturer->StartCapture(), S_OK);
    ULONG status = 0;
    ASSERT_EQ(capturer->GetStatus(&status), S_OK);
    EXPECT_EQ(status, plat::DSCBSTATUS_CAPTURING | plat::DSCBSTATUS_LOOPING);
    sys->Advance(125);
    ULONG n = 0;
    ASSERT_EQ(Get(&n), S_OK);
    ASSERT_EQ(capturer->StopCapture(), S_OK);
    ASSERT_EQ(capturer->GetStatus(&status), S_OK);
    EXPECT_EQ(status, 0u);
    sys->Advance(500);
    ASSERT_EQ(capturer->StartCapture(), S_OK);
    sys->Advance(125);
    ASSERT_EQ(Get(&n), S_OK);
    EXPECT_EQ(n, 24000u);
    EXPECT_TRUE(HoldsStream(24000, n)) << "nothing lost or repeated across the stop";
}

TEST_F(AudioCapturer, ChoosesTheDeviceByPartialNameAndKeepsThatName) {
    Open(u"Line");
    plat::Bstr used;
    ASSERT_EQ(impl->GetUsedDevice(used.Out()), S_OK);
    EXPECT_EQ(used.Str(), u"Line");
    ASSERT_EQ(capturer->StartCapture(), S_OK);
    sys->Advance(125);
    ULONG n = 0;
    EXPECT_EQ(Get(&n), S_OK);

    plat::Bstr empty(u"");
    ASSERT_EQ(capturer->Initialize(EngineFormat(), empty), S_OK);
    ASSERT_EQ(impl->GetUsedDevice(used.Out()), S_OK);
    EXPECT_EQ(used.Str(), u"");

    plat::Bstr nothing(u"Webcam");
    EXPECT_EQ(capturer->Initialize(EngineFormat(), nothing), E_FAIL);
    auto texts = Texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], u"Audio device Webcam does not exist ");
    ULONG size = 0;
    EXPECT_EQ(capturer->GetCaptureBufferSize(&size), S_OK) << "a name that matches nothing leaves the buffer";
    EXPECT_EQ(capturer->Initialize(EngineFormat(), nullptr), E_POINTER);
}

TEST_F(AudioCapturer, WithoutABufferStopAndUninitializeSucceedAndTheRestFails) {
    EXPECT_EQ(capturer->StopCapture(), S_OK);
    EXPECT_EQ(capturer->Uninitialize(), S_OK);
    EXPECT_EQ(capturer->StartCapture(), E_FAIL);
    ULONG v = 0;
    EXPECT_EQ(capturer->GetStatus(&v), E_FAIL);
    EXPECT_EQ(capturer->GetCaptureBufferSize(&v), E_POINTER);
    EXPECT_TRUE(Codes().empty()) << "internal failures are only logged";
}

TEST_F(AudioCapturer, AnUninitializeWhoseStopFailsKeepsTheBuffer) {
    Open();
    ASSERT_EQ(capturer->StartCapture(), S_OK);
    sys->FailNext(plat::VirtualCall::Stop, plat::DSERR_BUFFERLOST);
    EXPECT_EQ(capturer->Uninitialize(), plat::DSERR_BUFFERLOST);
    EXPECT_TRUE(LogHas(u"Cannot Uninitialize"));
    ULONG status = 0;
    EXPECT_EQ(capturer->GetStatus(&status), S_OK);
    EXPECT_EQ(capturer->Uninitialize(), S_OK);
    EXPECT_EQ(capturer->GetStatus(&status), E_FAIL);
    EXPECT_EQ(sys->LiveBufferCount(), 0u);
}

TEST_F(AudioCapturer, OpeningFailuresAreReportedAsAnUnopenableDevice) {
    sys->FailNext(plat::VirtualCall::CreateBuffer, E_OUTOFMEMORY);
    plat::Bstr name(u"Microphone");
    EXPECT_EQ(capturer->Initialize(EngineFormat(), name), E_OUTOFMEMORY);
    EXPECT_EQ(Codes(), std::vector<LONG>{EC_OPEN_PLAY_DEVICE});
    EXPECT_TRUE(LogHas(u"Creating capture buffer was failed"));
    ULONG v;
    EXPECT_EQ(capturer->GetStatus(&v), E_FAIL);

    // A buffer without notifications: it stays, but yields nothing. (The
    // device failed just before: this retry is quiet.)
    sys->FailNext(plat::VirtualCall::SetNotificationPositions, plat::DSERR_INVALIDCALL);
    EXPECT_EQ(capturer->Initialize(EngineFormat(), name), plat::DSERR_INVALIDCALL);
    EXPECT_TRUE(Codes().empty());
    ASSERT_EQ(capturer->StartCapture(), S_OK);
    sys->Advance(500);
    ULONG n = 0;
    EXPECT_EQ(Get(&n), E_FAIL);
}

TEST_F(AudioCapturer, ALostDeviceIsReportedOnceWhileTheRebuildRetries) {
    Open();
    ASSERT_TRUE(sys->RemoveDevice(mic));
    plat::Bstr name(u"Microphone");
    for (int retry = 0; retry < 20; ++retry) EXPECT_EQ(capturer->Initialize(EngineFormat(), name), E_FAIL);
    EXPECT_EQ(Codes(), std::vector<LONG>{EC_NO_SUCH_DEVICE}) << "one report for the loss";

    // The device comes back; once it opens, a later loss is reported again.
    sys->AddCaptureDevice(u"Microphone Array", plat::CounterGenerator());
    EXPECT_EQ(capturer->Initialize(EngineFormat(), name), S_OK);
    sys->FailNext(plat::VirtualCall::CreateDevice, plat::DSERR_NODRIVER, 3);
    for (int retry = 0; retry < 3; ++retry) EXPECT_EQ(capturer->Initialize(EngineFormat(), name), plat::DSERR_NODRIVER);
    EXPECT_EQ(Codes(), std::vector<LONG>{EC_OPEN_PLAY_DEVICE});

    // Every capture device gone (a while later): the empty list is reported
    // once as well.
    clock.Advance(KErrorLog::kRepeatWindowMs);
    EXPECT_EQ(capturer->Initialize(EngineFormat(), name), S_OK);
    ASSERT_TRUE(sys->RemoveDevice(line));
    for (const auto& d : impl->Devices().Devices()) sys->RemoveDevice(d.guid);
    for (int retry = 0; retry < 5; ++retry) EXPECT_TRUE(FAILED(capturer->Initialize(EngineFormat(), name)));
    EXPECT_EQ(Codes(), (std::vector<LONG>{EC_NO_CAPTURE_DEVICE, EC_NO_SUCH_DEVICE}));
}

TEST_F(AudioCapturer, AnswersItsTwoInterfacesAndHoldsTheModule) {
    const LONG before = plat::ComModule::LockCount();
    {
        plat::ComPtr<IAudioCapturer> other(KAudioCapturer::Create());
        EXPECT_EQ(plat::ComModule::LockCount(), before + 1);
        plat::ComPtr<ICaptureManager> manager;
        EXPECT_EQ(other.As(&manager), S_OK);
        plat::ComPtr<IAudioManager> plain;
        EXPECT_EQ(other.As(&plain), E_NOINTERFACE);
        plat::ComPtr<IUnknown> unknown;
        EXPECT_EQ(other.As(&unknown), S_OK);
    }
    EXPECT_EQ(plat::ComModule::LockCount(), before);
}

namespace {

// Real time: a reader really waits in GetData while another thread acts.
class AudioCapturerRealTime : public AudioCapturer {
protected:
    bool UseManualClock() const override { return false; }
};

}  // namespace

TEST_F(AudioCapturerRealTime, InitializeWhileAReaderWaitsEndsTheWaitAndRebuilds) {
    Open();
    ASSERT_EQ(capturer->StartCapture(), S_OK);  // manual sound time: no chunk ever comes
    auto reader = std::async(std::launch::async, [&] {
        ULONG n = 0;
        return Get(&n);
    });
    EXPECT_EQ(reader.wait_for(50ms), std::future_status::timeout);
    const auto start = std::chrono::steady_clock::now();
    plat::Bstr name(u"Line");
    ASSERT_EQ(capturer->Initialize(EngineFormat(), name), S_OK);
    ASSERT_EQ(reader.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(reader.get(), E_ABORT);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    ASSERT_EQ(capturer->StartCapture(), S_OK);
    sys->Advance(125);
    ULONG n = 0;
    EXPECT_EQ(Get(&n), S_OK);
    EXPECT_EQ(n, 24000u);
}

TEST_F(AudioCapturerRealTime, StopAndStatusNeverWaitForAReader) {
    Open();
    ASSERT_EQ(capturer->StartCapture(), S_OK);
    auto reader = std::async(std::launch::async, [&] {
        ULONG n = 0;
        return Get(&n);
    });
    EXPECT_EQ(reader.wait_for(30ms), std::future_status::timeout);
    auto stopper = std::async(std::launch::async, [&] {
        ULONG status = 0;
        HRESULT a = capturer->StopCapture();
        HRESULT b = capturer->GetStatus(&status);
        return SUCCEEDED(a) && SUCCEEDED(b) && status == 0;
    });
    ASSERT_EQ(stopper.wait_for(2s), std::future_status::ready);
    EXPECT_TRUE(stopper.get());
    ASSERT_EQ(capturer->Uninitialize(), S_OK);  // ends the reader's wait
    ASSERT_EQ(reader.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(reader.get(), E_ABORT);
}
