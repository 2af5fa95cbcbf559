#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/sound/SoundGenerator.h"
#include "platform/sound/VirtualSoundSystem.h"

using namespace plat;

namespace {

WaveFormat EngineFormat() { return WaveFormat{1, 2, 48000, 192000, 4, 16, 0}; }

struct Listed {
    bool hasGuid;
    GUID guid;
    std::u16string description;
};

BOOL Collect(const GUID* guid, const char16_t* description, const char16_t*, void* context) {
    auto* list = static_cast<std::vector<Listed>*>(context);
    list->push_back({guid != nullptr, guid ? *guid : GUID_NULL, description});
    return TRUE;
}

class VirtualSound : public ::testing::Test {
protected:
    void SetUp() override {
        sys = VirtualSoundSystem::Create();
        speakers = sys->AddPlaybackDevice(u"Speakers");
        mic = sys->AddCaptureDevice(u"Microphone", CounterGenerator());
    }
    std::shared_ptr<SoundPlaybackBuffer> OpenPlayback(DWORD bytes) {
        std::shared_ptr<SoundPlaybackDevice> dev;
        EXPECT_EQ(sys->CreatePlaybackDevice(&speakers, &dev), S_OK);
        std::shared_ptr<SoundPlaybackBuffer> buf;
        EXPECT_EQ(dev->CreateSoundBuffer(EngineFormat(), bytes, &buf), S_OK);
        return buf;
    }
    std::shared_ptr<SoundCaptureBuffer> OpenCapture(DWORD bytes) {
        std::shared_ptr<SoundCaptureDevice> dev;
        EXPECT_EQ(sys->CreateCaptureDevice(&mic, &dev), S_OK);
        std::shared_ptr<SoundCaptureBuffer> buf;
        EXPECT_EQ(dev->CreateCaptureBuffer(EngineFormat(), bytes, &buf), S_OK);
        return buf;
    }
    static void Fill(SoundPlaybackBuffer& b, DWORD offset, DWORD bytes, uint8_t value) {
        void* p1;
        void* p2;
        DWORD n1, n2;
        ASSERT_EQ(b.Lock(offset, bytes, &p1, &n1, &p2, &n2), S_OK);
        std::memset(p1, value, n1);
        if (p2) std::memset(p2, value, n2);
        ASSERT_EQ(b.Unlock(p1, n1, p2, n2), S_OK);
    }
    static std::pair<DWORD, DWORD> Cursors(SoundPlaybackBuffer& b) {
        DWORD p = 0, c = 0;
        EXPECT_EQ(b.GetCurrentPosition(&p, &c), S_OK);
        return {p, c};
    }

    std::shared_ptr<VirtualSoundSystem> sys;
    GUID speakers{};
    GUID mic{};
};

}  // namespace

TEST_F(VirtualSound, EnumerationListsThePrimaryEntryFirstThenDevicesInOrder) {
    GUID phones = sys->AddPlaybackDevice(u"Headphones");
    std::vector<Listed> out;
    ASSERT_EQ(sys->EnumeratePlayback(&Collect, &out), S_OK);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_FALSE(out[0].hasGuid);
    EXPECT_EQ(out[1].description, u"Speakers");
    EXPECT_EQ(out[1].guid, speakers);
    EXPECT_EQ(out[2].guid, phones);

    std::vector<Listed> in;
    ASSERT_EQ(sys->EnumerateCapture(&Collect, &in), S_OK);
    ASSERT_EQ(in.size(), 2u);
    EXPECT_EQ(in[1].description, u"Microphone");

    ASSERT_TRUE(sys->RemoveDevice(phones));
    out.clear();
    ASSERT_EQ(sys->EnumeratePlayback(&Collect, &out), S_OK);
    EXPECT_EQ(out.size(), 2u);
    std::shared_ptr<SoundPlaybackDevice> dev;
    EXPECT_EQ(sys->CreatePlaybackDevice(&phones, &dev), DSERR_NODRIVER);
    EXPECT_EQ(dev, nullptr);
}

TEST_F(VirtualSound, PlayCursorMovesOnlyWhilePlayingAndTheDeviceHearsTheRing) {
    auto buf = OpenPlayback(96000);
    Fill(*buf, 0, 48000, 0x11);
    Fill(*buf, 48000, 48000, 0x22);
    sys->Advance(100);
    EXPECT_EQ(Cursors(*buf), std::make_pair(DWORD{0}, DWORD{0})) << "a stopped ring stands still";

    ASSERT_EQ(buf->Play(DSBPLAY_LOOPING), S_OK);
    DWORD status = 0;
    ASSERT_EQ(buf->GetStatus(&status), S_OK);
    EXPECT_TRUE(status & DSBSTATUS_PLAYING);
    sys->Advance(300);  // 57600 bytes
    auto [p, c] = Cursors(*buf);
    EXPECT_EQ(p, 57600u);
    EXPECT_EQ(c, 57600u + 1920u) << "the write cursor leads by 10 ms while playing";
    std::vector<uint8_t> heard = sys->Rendered(speakers);
    ASSERT_EQ(heard.size(), 57600u);
    EXPECT_EQ(heard[47999], 0x11);
    EXPECT_EQ(heard[48000], 0x22);

    ASSERT_EQ(buf->Stop(), S_OK);
    sys->Advance(100);
    EXPECT_EQ(Cursors(*buf), std::make_pair(DWORD{57600}, DWORD{57600})) << "stopped: both cursors stay";
    ASSERT_EQ(buf->Play(DSBPLAY_LOOPING), S_OK);
    sys->Advance(250);  // 48000 bytes: wraps past the end
    EXPECT_EQ(Cursors(*buf).first, (57600u + 48000u) % 96000u);
    heard = sys->Rendered(speakers);
    ASSERT_EQ(heard.size(), 105600u);
    EXPECT_EQ(heard.back(), 0x11) << "the ring repeats after the wrap";
}

TEST_F(VirtualSound, NotificationsFireWhenThePlayCursorPassesTheirOffsets) {
    auto buf = OpenPlayback(96000);
    auto ev = std::make_shared<Event>(Event::Reset::Auto);
    std::vector<SoundNotifyPosition> pos;
    for (DWORD i = 1; i <= 4; ++i) pos.push_back({24000 * i - 1, ev});
    ASSERT_EQ(buf->SetNotificationPositions(pos), S_OK);
    ASSERT_EQ(buf->Play(DSBPLAY_LOOPING), S_OK);
    EXPECT_EQ(buf->SetNotificationPositions(pos), DSERR_INVALIDCALL) << "only while stopped";
    sys->Advance(124);  // 23808 bytes: offset 23999 not yet reached
    EXPECT_FALSE(ev->IsSet());
    sys->Advance(1);
    EXPECT_TRUE(ev->IsSet());
}

TEST_F(VirtualSound, SetCurrentPositionMovesTheStoppedPlayCursor) {
    auto buf = OpenPlayback(96000);
    EXPECT_EQ(buf->SetCurrentPosition(4000), S_OK);
    EXPECT_EQ(Cursors(*buf).first, 4000u);
    EXPECT_EQ(buf->SetCurrentPosition(96000), E_INVALIDARG);
}

TEST_F(VirtualSound, CaptureWritesTheGeneratedStreamAndStopKeepsTheCursors) {
    auto buf = OpenCapture(384000);
    auto ev = std::make_shared<Event>(Event::Reset::Auto);
    ASSERT_EQ(buf->SetNotificationPositions({{23999, ev}}), S_OK);
    sys->Advance(500);
    DWORD cap = 1, rd = 1;
    ASSERT_EQ(buf->GetCurrentPosition(&cap, &rd), S_OK);
    EXPECT_EQ(cap, 0u) << "nothing before Start";
    ASSERT_EQ(buf->Start(DSCBSTART_LOOPING), S_OK);
    sys->Advance(125);
    ASSERT_EQ(buf->GetCurrentPosition(&cap, &rd), S_OK);
    EXPECT_EQ(cap, 24000u);
    EXPECT_EQ(rd, 24000u);
    EXPECT_TRUE(ev->IsSet());
    ASSERT_EQ(buf->Stop(), S_OK);
    sys->Advance(1000);
    ASSERT_EQ(buf->Start(DSCBSTART_LOOPING), S_OK);
    sys->Advance(2000);  // once round the ring: 408000 bytes in all
    ASSERT_EQ(buf->GetCurrentPosition(&cap, &rd), S_OK);
    EXPECT_EQ(cap, 408000u - 384000u);
    void* p1;
    void* p2;
    DWORD n1, n2;
    ASSERT_EQ(buf->Lock(383000, 2000, &p1, &n1, &p2, &n2), S_OK);
    ASSERT_EQ(n1, 1000u);
    ASSERT_EQ(n2, 1000u);
    // Offset 383000 holds stream byte 383000 (first lap); offset 0 holds byte 384000 (second lap).
    EXPECT_EQ(static_cast<uint8_t*>(p1)[0], CounterByteAt(383000));
    EXPECT_EQ(static_cast<uint8_t*>(p2)[0], CounterByteAt(384000));
    EXPECT_EQ(static_cast<uint8_t*>(p2)[999], CounterByteAt(384999));
    EXPECT_EQ(buf->Unlock(p1, n1, p2, n2), S_OK);
}

TEST_F(VirtualSound, AFrozenOrVanishedDeviceStopsTheCursorsButKeepsTheStatus) {
    auto play = OpenPlayback(96000);
    auto rec = OpenCapture(384000);
    ASSERT_EQ(play->Play(DSBPLAY_LOOPING), S_OK);
    ASSERT_EQ(rec->Start(DSCBSTART_LOOPING), S_OK);
    sys->Advance(10);
    ASSERT_TRUE(sys->SetFrozen(speakers, true));
    DWORD before = Cursors(*play).first;
    sys->Advance(100);
    EXPECT_EQ(Cursors(*play).first, before);
    DWORD status = 0;
    ASSERT_EQ(play->GetStatus(&status), S_OK);
    EXPECT_TRUE(status & DSBSTATUS_PLAYING);
    ASSERT_TRUE(sys->SetFrozen(speakers, false));
    sys->Advance(10);
    EXPECT_EQ(Cursors(*play).first, before + 1920u);

    ASSERT_TRUE(sys->RemoveDevice(mic));
    DWORD capBefore = 0, capAfter = 0;
    ASSERT_EQ(rec->GetCurrentPosition(&capBefore, nullptr), S_OK);
    sys->Advance(100);
    ASSERT_EQ(rec->GetCurrentPosition(&capAfter, nullptr), S_OK);
    EXPECT_EQ(capBefore, capAfter);
    ASSERT_EQ(rec->GetStatus(&status), S_OK);
    EXPECT_TRUE(status & DSCBSTATUS_CAPTURING);
}

TEST_F(VirtualSound, InjectedFailuresHitTheNamedCallsOnly) {
    auto buf = OpenPlayback(96000);
    sys->FailNext(VirtualCall::GetCurrentPosition, E_OUTOFMEMORY, 2);
    DWORD p, c;
    EXPECT_EQ(buf->GetCurrentPosition(&p, &c), E_OUTOFMEMORY);
    EXPECT_EQ(buf->GetStatus(&p), S_OK);
    EXPECT_EQ(buf->GetCurrentPosition(&p, &c), E_OUTOFMEMORY);
    EXPECT_EQ(buf->GetCurrentPosition(&p, &c), S_OK);

    sys->FailNext(VirtualCall::Play, DSERR_BUFFERLOST, -1);
    EXPECT_EQ(buf->Play(DSBPLAY_LOOPING), DSERR_BUFFERLOST);
    EXPECT_EQ(buf->Play(DSBPLAY_LOOPING), DSERR_BUFFERLOST);
    sys->ClearFaults();
    EXPECT_EQ(buf->Play(DSBPLAY_LOOPING), S_OK);

    sys->FailNext(VirtualCall::Enumerate, E_FAIL);
    std::vector<Listed> out;
    EXPECT_EQ(sys->EnumeratePlayback(&Collect, &out), E_FAIL);
    EXPECT_TRUE(out.empty());
}

TEST_F(VirtualSound, BuffersRefuseFormatsWithoutGeometry) {
    std::shared_ptr<SoundPlaybackDevice> dev;
    ASSERT_EQ(sys->CreatePlaybackDevice(nullptr, &dev), S_OK) << "null opens the default output";
    WaveFormat f = EngineFormat();
    f.nBlockAlign = 0;
    std::shared_ptr<SoundPlaybackBuffer> buf;
    EXPECT_EQ(dev->CreateSoundBuffer(f, 4096, &buf), DSERR_BADFORMAT);
    EXPECT_EQ(dev->CreateSoundBuffer(EngineFormat(), 4098, &buf), E_INVALIDARG) << "not whole blocks";
}

TEST_F(VirtualSound, RealTimeClockMovesTheCursorsByItself) {
    auto rt = VirtualSoundSystem::Create(VirtualSoundSystem::ClockMode::RealTime);
    ASSERT_NE(rt, nullptr);
    GUID out = rt->AddPlaybackDevice(u"Out");
    std::shared_ptr<SoundPlaybackDevice> dev;
    ASSERT_EQ(rt->CreatePlaybackDevice(&out, &dev), S_OK);
    std::shared_ptr<SoundPlaybackBuffer> buf;
    ASSERT_EQ(dev->CreateSoundBuffer(EngineFormat(), 96000, &buf), S_OK);
    ASSERT_EQ(buf->Play(DSBPLAY_LOOPING), S_OK);
    DWORD p = 0;
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
         p == 0 && std::chrono::steady_clock::now() < end;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_EQ(buf->GetCurrentPosition(&p, nullptr), S_OK);
    }
    EXPECT_GT(p, 0u);
    EXPECT_EQ(p % 4, 0u) << "whole blocks";
}

TEST(SoundSystemChoice, TheEnvironmentChoosesTheBackend) {
    const char* saved = std::getenv("TONQUIL_SOUND");
    std::string keep = saved ? saved : "";
    ::setenv("TONQUIL_SOUND", "virtual", 1);
    SetSoundSystem(nullptr);
    auto chosen = GetSoundSystem();
    ASSERT_NE(chosen, nullptr);
    EXPECT_STREQ(chosen->Name(), "virtual");
    std::vector<Listed> out;
    ASSERT_EQ(chosen->EnumeratePlayback(&Collect, &out), S_OK);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[1].description, u"Virtual Output");
    EXPECT_EQ(GetSoundSystem(), chosen) << "chosen once";

    ::setenv("TONQUIL_SOUND", "pulse", 1);
    SetSoundSystem(nullptr);
    EXPECT_STREQ(GetSoundSystem()->Name(), "pulse");

    auto mine = VirtualSoundSystem::Create();
    SetSoundSystem(mine);
    EXPECT_EQ(GetSoundSystem(), mine);
    SetSoundSystem(nullptr);
    if (saved) {
        ::setenv("TONQUIL_SOUND", keep.c_str(), 1);
    } else {
        ::unsetenv("TONQUIL_SOUND");
    }
}
