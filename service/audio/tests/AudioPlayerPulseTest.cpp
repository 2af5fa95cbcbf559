// The player and the capturer against the private PulseAudio server of the
// test environment (null sinks "Tonquil Audio Device", "Speakers",
// "Headphones" and the sine source "Microphone"); skipped when no server
// answers.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/core/Clock.h"
#include "platform/core/Text.h"
#include "platform/fs/File.h"
#include "platform/sound/PulseSoundSystem.h"
#include "platform/sound/tests/support/SoundServer.h"
#include "platform/sound/tests/support/Tone.h"
#include "service/audio/KAudioCapturer.h"
#include "service/audio/KAudioPlayer.h"
#include "service/audio/tests/DeviceListTestBed.h"

namespace {

using namespace std::chrono_literals;
using namespace soundtest;
using Steady = std::chrono::steady_clock;

std::vector<std::u16string> WithoutOwnDevice(std::vector<std::u16string> names) {
    for (auto it = names.begin(); it != names.end(); ++it) {
        if (it->find(u"Tonquil Audio") != std::u16string::npos) {
            names.erase(it);
            break;
        }
    }
    return names;
}

class AudioPlayerPulse : public ::testing::Test {
protected:
    void SetUp() override {
        if (!SoundServerAnswers()) GTEST_SKIP() << "no PulseAudio server answers (run inside scripts/testenv)";
        char tmpl[] = "/tmp/tq-pulse-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_dir = plat::ToUtf16(tmpl);
        KErrorLog::Instance().OpenLogFile(m_dir + u"/log.log");
        KErrorLog::Instance().ClearErrors();
        plat::SetSoundSystem(std::make_shared<plat::PulseSoundSystem>());
    }
    void TearDown() override {
        plat::SetSoundSystem(nullptr);
        KErrorLog::Instance().ClearErrors();
        if (!m_dir.empty()) plat::DeleteFolderRecursive(m_dir);
    }
    // Initialize without spending its prescribed pause. The clock outlives
    // the call: a recorder already running may take it up meanwhile and still
    // be waiting by it when it is taken away.
    static HRESULT Open(KAudioPlayer* player, const char16_t* device) {
        static plat::ManualClock quick;
        plat::SetClock(&quick);
        plat::Bstr name(device);
        HRESULT hr = player->Initialize(EngineFormat(), name);
        plat::SetClock(nullptr);
        return hr;
    }

    std::u16string m_dir;
};

// Collects what a capturer delivers, on a thread of its own.
class Recorder {
public:
    explicit Recorder(IAudioCapturer* capturer) : m_capturer(capturer) {
        ULONG size = 0;
        capturer->GetCaptureBufferSize(&size);
        m_block.resize(size);
        m_thread = std::thread([this] {
            while (!m_stop) {
                ULONG n = 0;
                if (SUCCEEDED(m_capturer->GetData(m_block.data(), &n)) && n > 0) {
                    std::lock_guard<std::mutex> g(m_lock);
                    m_bytes.insert(m_bytes.end(), m_block.begin(), m_block.begin() + n);
                }
            }
        });
    }
    ~Recorder() { Stop(); }
    void Stop() {
        m_stop = true;
        if (m_thread.joinable()) {
            m_capturer->StopCapture();
            m_capturer->Uninitialize();  // ends a wait in progress
            m_thread.join();
        }
    }
    size_t Size() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_bytes.size();
    }
    bool WaitFor(size_t bytes, std::chrono::milliseconds limit) {
        auto end = Steady::now() + limit;
        while (Size() < bytes && Steady::now() < end) std::this_thread::sleep_for(10ms);
        return Size() >= bytes;
    }
    std::vector<BYTE> Bytes() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_bytes;
    }

private:
    IAudioCapturer* m_capturer;
    std::vector<BYTE> m_block;
    std::mutex m_lock;
    std::vector<BYTE> m_bytes;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace

TEST_F(AudioPlayerPulse, DeviceListsMatchTheServerLessTheProductsDevice) {
    plat::ComPtr<KAudioPlayer> player(KAudioPlayer::Create());
    plat::ComPtr<IAudioCapturer> capturer(KAudioCapturer::Create());
    plat::ComPtr<ICaptureManager> captureList;
    ASSERT_EQ(capturer.As(&captureList), S_OK);
    // Another client may add or remove a device meanwhile: compare a listing
    // only with a server that did not change around it.
    // The server's default devices lead the lists and are the defaults.
    for (int attempt = 0; attempt < 10; ++attempt) {
        auto sinks = PactlDescriptions("sinks", true);
        auto sources = PactlDescriptions("sources", true);
        auto outputs = Walk(player.Get());
        auto inputs = Walk(captureList.Get());
        if (sinks != PactlDescriptions("sinks", true) || sources != PactlDescriptions("sources", true)) {
            std::this_thread::sleep_for(200ms);
            continue;
        }
        ASSERT_FALSE(sinks.empty());
        EXPECT_EQ(outputs, WithoutOwnDevice(sinks));
        EXPECT_EQ(inputs, WithoutOwnDevice(sources));
        plat::Bstr def;
        ASSERT_EQ(player->GetDefaultDevice(def.Out()), S_OK);
        EXPECT_EQ(def.Str(), sinks.front());
        EXPECT_EQ(def.Str(), u"Speakers");
        plat::Bstr defIn;
        ASSERT_EQ(captureList->GetDefaultDevice(defIn.Out()), S_OK);
        EXPECT_EQ(defIn.Str(), u"Microphone");
        for (const auto& name : outputs) EXPECT_EQ(name.find(u"Tonquil Audio"), std::u16string::npos);
        return;
    }
    FAIL() << "the server's device lists never held still";
}

TEST_F(AudioPlayerPulse, AToneThroughThePlayerComesBackFromTheMonitor) {
    plat::ComPtr<IAudioCapturer> capturer(KAudioCapturer::Create());
    plat::Bstr monitor(u"Monitor of Speakers");
    ASSERT_EQ(capturer->Initialize(EngineFormat(), monitor), S_OK);
    ASSERT_EQ(capturer->StartCapture(), S_OK);
    Recorder recorder(capturer.Get());
    ASSERT_TRUE(recorder.WaitFor(1, 30s)) << "the monitor delivers nothing";

    plat::ComPtr<KAudioPlayer> player(KAudioPlayer::Create());
    ASSERT_EQ(Open(player.Get(), u"Speakers"), S_OK);
    ASSERT_EQ(player->StartPlay(), S_OK);
    // A 1 kHz tone at half scale, fed in 10 ms pieces at real time for 1.5 s,
    // as the engine feeds its players.
    std::vector<BYTE> piece(1920);
    auto next = Steady::now();
    for (int p = 0; p < 150; ++p) {
        FillTone(reinterpret_cast<int16_t*>(piece.data()), 480, p * 480, 1000, 16384);
        ASSERT_EQ(player->PlayData(static_cast<ULONG>(piece.size()), piece.data()), S_OK);
        next += 10ms;
        std::this_thread::sleep_until(next);
    }
    // The monitor has delivered 1.5 s from the tone's onset on.
    auto onset = [](const std::vector<int16_t>& left) {
        size_t first = 0;
        while (first < left.size() && std::abs(left[first]) < 2000) ++first;
        return first;
    };
    for (auto end = Steady::now() + 30s; Steady::now() < end;) {
        auto left = LeftChannel(recorder.Bytes());
        if (left.size() > onset(left) + 72000) break;
        std::this_thread::sleep_for(20ms);
    }
    recorder.Stop();
    ASSERT_EQ(player->StopPlay(), S_OK);
    ASSERT_EQ(player->Uninitialize(), S_OK);

    auto all = LeftChannel(recorder.Bytes());
    const size_t first = onset(all);
    ASSERT_LT(first + 72000, all.size()) << "less than 1.5 s came back after the tone's onset";
    // A loaded machine may leave gaps where a thread came late: the tone must
    // come back whole over some 500 ms of it, at its frequency and level. A
    // wrong rate, layout or scale is wrong in every window.
    double frequency = 0;
    int peak = 0;
    bool whole = false;
    for (size_t at = first; !whole && at + 24000 <= first + 72000; at += 480) {
        std::vector<int16_t> tone(all.begin() + static_cast<long>(at), all.begin() + static_cast<long>(at + 24000));
        frequency = Frequency(tone, 48000);
        peak = Peak(tone);
        whole = std::abs(frequency - 1000.0) <= 10.0 && std::abs(peak - 16384) <= 400;
    }
    EXPECT_TRUE(whole) << "no 500 ms of the tone came back whole; the last window: " << frequency << " Hz, peak "
                       << peak;
}

TEST_F(AudioPlayerPulse, TheCapturerCapturesTheSineSource) {
    plat::ComPtr<IAudioCapturer> capturer(KAudioCapturer::Create());
    plat::Bstr mic(u"Microphone");
    ASSERT_EQ(capturer->Initialize(EngineFormat(), mic), S_OK);
    ULONG size = 0;
    ASSERT_EQ(capturer->GetCaptureBufferSize(&size), S_OK);
    EXPECT_EQ(size, 384000u);
    ASSERT_EQ(capturer->StartCapture(), S_OK);
    Recorder recorder(capturer.Get());
    // The sine source renders in blocks of about two seconds, more than the
    // capture ring holds, so each block arrives cut to what fits.
    ASSERT_TRUE(recorder.WaitFor(48000, 30s));
    recorder.Stop();
    std::vector<BYTE> heard = recorder.Bytes();
    auto tone = LeftChannel(heard, heard.size() / 4 - 12000, 12000);
    EXPECT_NEAR(Frequency(tone, 48000), 440.0, 12.0);
    EXPECT_GT(Peak(tone), 1000);
}

TEST_F(AudioPlayerPulse, ARemovedSinkStopsThePlayerWithoutHoldingItsFeed) {
    std::string index = Shell(
        "pactl load-module module-null-sink sink_name=tq_gone rate=48000 "
        "sink_properties=device.description=Vanishing 2>/dev/null");
    ASSERT_FALSE(index.empty());
    index.erase(index.find_last_not_of("\n ") + 1);
    plat::ComPtr<KAudioPlayer> player(KAudioPlayer::Create());
    ASSERT_EQ(Open(player.Get(), u"Vanishing"), S_OK);
    ASSERT_EQ(player->StartPlay(), S_OK);
    std::atomic<bool> fed{false};
    std::atomic<int> pieces{0};
    std::thread feeder([&] {
        std::vector<BYTE> piece(1920, 0);
        for (int p = 0; p < 300; ++p) {
            player->PlayData(static_cast<ULONG>(piece.size()), piece.data());
            ++pieces;
        }
        fed = true;
    });
    // The sink goes away while the feed is under way.
    for (auto end = Steady::now() + 30s; Steady::now() < end && pieces < 10;) std::this_thread::sleep_for(2ms);
    EXPECT_GE(pieces.load(), 10) << "the feed never started";
    Shell("pactl unload-module " + index);
    // Its cursors stop: the stall rule stops the ring and the feed goes on.
    bool sawStopped = false;
    for (auto end = Steady::now() + 30s; Steady::now() < end && !sawStopped;) {
        ULONG status = 0;
        sawStopped = SUCCEEDED(player->GetStatus(&status)) && !(status & plat::DSBSTATUS_PLAYING);
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_TRUE(sawStopped);
    for (auto end = Steady::now() + 60s; Steady::now() < end && !fed;) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(fed.load()) << "the feed is held";
    player->Uninitialize();
    feeder.join();
}
