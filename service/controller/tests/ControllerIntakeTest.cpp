// Where the played sound, the recording device and silence go in each state.
#include "service/controller/tests/ControllerFixture.h"

#include "log/KErrorLog.h"
#include "platform/core/Clock.h"

namespace {

std::vector<BYTE> Block(size_t bytes, BYTE value) { return std::vector<BYTE>(bytes, value); }

}  // namespace

class ControllerIntake : public ControllerFixture {
protected:
    void SetUp() override {
        ControllerFixture::SetUp();
        ASSERT_EQ(S_OK, Build());
    }
    void TearDown() override {
        ControllerFixture::TearDown();
        plat::SetClock(nullptr);
    }
    void Force(DWORD state) {
        controller->ResetState(0xFFFFFFFFu);
        controller->SetState(state);
    }
    HRESULT Feed(size_t bytes, BYTE value) {
        auto block = Block(bytes, value);
        return controller->OnAudioData(static_cast<DWORD>(block.size()), block.data());
    }
    ULONGLONG Written(UINT index) { return cache->BufferCopy(index).write; }
};

TEST_F(ControllerIntake, PlayedSoundIsHeardLiveAndReachesBufferZeroOnlyWhileRecording) {
    ASSERT_EQ(S_OK, Feed(1920, 3));
    EXPECT_EQ(1920u, live()->PlayedBytes());
    EXPECT_EQ(0u, Written(0));

    Record();
    ASSERT_EQ(S_OK, Feed(3840, 4));
    EXPECT_EQ(1920u + 3840u, live()->PlayedBytes());
    auto buffer = cache->BufferCopy(0);
    ASSERT_EQ(3840u, buffer.write);
    EXPECT_EQ(4, buffer.data.at(3839));
    EXPECT_EQ(0u, Written(1));
}

TEST_F(ControllerIntake, EachStateHearsOrSilencesThePlayedSoundAsTheInterceptSettingSays) {
    struct Case {
        DWORD state;
        LONG intercept;
        bool heard;
        bool written;
    };
    const Case cases[] = {
        {_esLive | _esPlay | _esStop, 0, true, false},    {_esLive | _esPlay | _esStop, 1, true, false},
        {_esLive | _esPause | _esStop, 0, true, false},   {_esLive | _esPause | _esStop, 1, false, false},
        {_esReplay | _esPlay | _esStop, 0, true, false},  {_esReplay | _esPlay | _esStop, 1, false, false},
        {_esReplay | _esPause | _esStop, 0, true, false}, {_esReplay | _esPlay | _esRec, 0, false, true},
        {_esLive | _esPause | _esRec, 0, false, true},    {_esLive | _esPlay | _esRec, 1, true, true},
    };
    for (const Case& c : cases) {
        Force(c.state);
        settings->interceptAlways = c.intercept;
        size_t heard = live()->PlayedBytes();
        ULONGLONG written = Written(0);
        ASSERT_EQ(S_OK, Feed(1920, 1));
        EXPECT_EQ(c.heard ? heard + 1920 : heard, live()->PlayedBytes()) << std::hex << c.state << " " << c.intercept;
        EXPECT_EQ(c.written ? written + 1920 : written, Written(0)) << std::hex << c.state;
    }
}

TEST_F(ControllerIntake, WritingFromThePlayDeviceIsOnForAnyNonZeroValueAndOffKeepsOnlyTheSound) {
    Record();
    size_t heard = 0;
    for (LONG flag : {0, 1, 2, -1}) {
        settings->writeFromPlay = flag;
        ULONGLONG written = Written(0);
        ASSERT_EQ(S_OK, Feed(1920, 1));
        EXPECT_EQ(flag != 0 ? written + 1920 : written, Written(0)) << flag;
        heard += 1920;
        EXPECT_EQ(heard, live()->PlayedBytes()) << flag;
    }
}

TEST_F(ControllerIntake, APlayerWithoutDeviceLogsOneTraceAndOneReportPerBurstNotOnePerBlock) {
    plat::ManualClock clock(1000);
    plat::SetClock(&clock);
    TestErrorLog log;
    ASSERT_TRUE(log.IsOpen());
    live()->Fail("PlayData", E_FAIL);
    controller->MaintenancePass();
    for (int i = 0; i < 1000; ++i) {  // 10 s of blocks from the driver
        ASSERT_EQ(S_OK, Feed(1920, 1));
        clock.Advance(10);
    }
    // The burst has ended: the maintenance pass writes its counts.
    clock.Advance(KErrorLog::kRepeatWindowMs);
    controller->MaintenancePass();

    EXPECT_EQ(1u, log.Count("-- Internal error. Live player data playing was failed (10000)"));
    EXPECT_EQ(1u, log.Count("PlayData(dwBytes, pSource) (0)"));
    EXPECT_EQ(2u, log.Count("-- (repeated 999 times)"));
    EXPECT_EQ(4u, log.Count("Time: "));
}

TEST_F(ControllerIntake, AFailingCacheWriteStopsRecordingOnce) {
    Record();
    cache->FailWrites(true);
    ASSERT_EQ(S_OK, Feed(1920, 1));
    EXPECT_TRUE(State() & _esStop);
    cache->FailWrites(false);
    ASSERT_EQ(S_OK, Feed(1920, 1));
    EXPECT_EQ(0u, Written(0));
}

TEST_F(ControllerIntake, BadBlocksAndInterruption) {
    EXPECT_EQ(E_POINTER, controller->OnAudioData(10, nullptr));
    BYTE b = 0;
    EXPECT_EQ(S_OK, controller->OnAudioData(0, &b));
    EXPECT_EQ(0, live()->Calls("PlayData"));
    EXPECT_EQ(S_OK, controller->OnInterrupt());
    EXPECT_EQ(1, live()->Calls("Interrupt"));
    live()->Fail("Interrupt", E_ACCESSDENIED);
    EXPECT_EQ(E_ACCESSDENIED, controller->OnInterrupt());
    settings->Fail("InterceptAlways");
    EXPECT_EQ(E_FAIL, Feed(1920, 1));
}

TEST_F(ControllerIntake, TheRecordingDeviceIsWrittenToBufferOneAndHeardLiveWhenAsked) {
    settings->playLiveRec = 1;
    capturer->Queue(Block(24000, 9));
    controller->CapturePass();
    EXPECT_EQ(24000u, liveCapture()->PlayedBytes());
    EXPECT_EQ(0u, Written(1));

    Record();
    capturer->Queue(Block(24000, 8));
    controller->CapturePass();
    EXPECT_EQ(24000u, Written(1));
    EXPECT_EQ(48000u, liveCapture()->PlayedBytes());  // live and recording: heard as well

    Force(_esReplay | _esPlay | _esRec);
    capturer->Queue(Block(24000, 7));
    controller->CapturePass();
    EXPECT_EQ(48000u, Written(1));
    EXPECT_EQ(48000u, liveCapture()->PlayedBytes());
}

TEST_F(ControllerIntake, ACaptureFailureRebuildsTheCapturerOnTheSettingsDevice) {
    settings->writeFromRecord = 1;  // the pump runs
    ASSERT_EQ(S_OK, controller->UpdateSettings());
    int opens = capturer->Calls("Initialize");
    controller->CapturePass();  // nothing captured: as after the capturer's time-out
    EXPECT_EQ(1, capturer->Calls("Uninitialize"));
    EXPECT_EQ(opens + 1, capturer->Calls("Initialize"));
    EXPECT_EQ(u"Microphone", capturer->Device());

    FakeCapturer::Devices().clear();  // the device is gone: retried pass after pass
    controller->CapturePass();
    controller->CapturePass();
    EXPECT_EQ(opens + 3, capturer->Calls("Initialize"));
    EXPECT_FALSE(capturer->IsOpen());
}

TEST_F(ControllerIntake, TheCaptureBlockFollowsALargerCaptureBuffer) {
    Record();
    capturer->SetBufferSize(500000);
    capturer->Queue(Block(450000, 5));
    controller->CapturePass();
    EXPECT_EQ(450000u, Written(1));
}

TEST_F(ControllerIntake, SettingsFailuresInTheCapturePumpOnlySkipTheLiveSound) {
    settings->playLiveRec = 1;
    settings->Fail("InterceptAlways");
    Record();
    capturer->Queue(Block(24000, 1));
    controller->CapturePass();
    capturer->Queue(Block(24000, 1));
    controller->CapturePass();
    EXPECT_EQ(48000u, Written(1));
    EXPECT_EQ(0u, liveCapture()->PlayedBytes());
}

TEST_F(ControllerIntake, SilenceFollowsTheClockWhileRecording) {
    plat::ManualClock clock(0xFFFFFFFFull - 4);  // the tick wraps during the test
    plat::SetClock(&clock);
    controller->SilencePass();  // starts the count
    Record();
    clock.Advance(10);
    controller->SilencePass();
    EXPECT_EQ(1920u, Written(2));
    clock.Advance(9);
    controller->SilencePass();
    EXPECT_EQ(1920u + 1728u, Written(2));
    controller->SilencePass();  // no time passed
    EXPECT_EQ(1920u + 1728u, Written(2));
    controller->StopRecord();
    clock.Advance(1000);
    controller->SilencePass();
    Record();
    clock.Advance(10);
    controller->SilencePass();  // only the time since the previous pass
    EXPECT_EQ(1920u + 1728u + 1920u, Written(2));
}
