#pragma once
// A controller built on test doubles: a cache in memory, players that record
// what they get, a capturer fed by the test, settings and a playlist in
// memory, and a disk whose free space the test sets.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <vector>

#include "log/tests/TestErrorLog.h"
#include "platform/com/ComPtr.h"
#include "service/controller/KAudioController.h"
#include "service/controller/tests/Eventually.h"
#include "service/controller/tests/FakeCache.h"
#include "service/controller/tests/FakeCapturer.h"
#include "service/controller/tests/FakePlayer.h"
#include "service/controller/tests/FakePlaylist.h"
#include "service/controller/tests/FakeSettings.h"

using testutil::TestErrorLog;

class ControllerFixture : public ::testing::Test {
protected:
    static constexpr ULONGLONG kSecond = KAudioController::kByteRate;

    void SetUp() override;
    void TearDown() override;

    // Builds the components and the controller; the engine threads run only
    // when asked. A test that changes a component builds from Components.
    KControllerComponents Components(bool startThreads);
    HRESULT Build(bool startThreads = false);
    HRESULT Build(const KControllerComponents& components);
    void Advise();

    // Drives the controller into a state by commands (from the initial state).
    void Record();
    DWORD State();
    // One of what a client asks (n picks it): the transport commands, a
    // step back or forward, or two queries.
    void ClientRequest(unsigned n);

    plat::ComPtr<FakeCache> cache;
    plat::ComPtr<FakeSettings> settings;
    plat::ComPtr<FakePlaylist> playlist;
    plat::ComPtr<FakeCapturer> capturer;
    std::vector<plat::ComPtr<FakePlayer>> players;  // live, live capture, replay
    FakePlayer* live() { return players.at(0).Get(); }
    FakePlayer* liveCapture() { return players.at(1).Get(); }
    FakePlayer* replay() { return players.at(2).Get(); }
    std::atomic<ULONGLONG> diskFree{1ULL << 40};
    std::atomic<bool> diskFails{false};
    // The encoders the controller may make (none unless a test offers them).
    KEncoderFactories encoders;

    plat::ComPtr<KAudioController> controller;
    plat::ComPtr<EventRecorder> events;
    DWORD cookie = 0;
};
