// Settings taken over by the running engine with its real cache, playlist
// and capturer: the recording device switched on while recording, and the
// cache moved to another folder and back.
#include "service/controller/tests/EngineFixture.h"

#include "platform/com/Bstr.h"
#include "platform/fs/File.h"
#include "platform/sound/SoundTypes.h"
#include "service/controller/tests/Eventually.h"

namespace {

std::u16string Text(const plat::Bstr& b) { return plat::BstrToU16(b.Get()); }

}  // namespace

using EngineSettings = EngineFixture;

TEST_F(EngineSettings, TurningOnTheRecordingDeviceWhileRecordingCapturesItAtOnce) {
    const plat::WaveFormat format{plat::kWaveFormatPcm, 2, 48000, 192000, 4, 16, 0};
    sys->SetGenerator(microphone, plat::SineGenerator(format, 440.0, 0.5));
    ASSERT_EQ(S_OK, Build(true));
    StartPump();
    ASSERT_EQ(S_OK, controller->Record());
    ULONG status = 0;
    ASSERT_EQ(S_OK, capturer->GetStatus(&status));
    EXPECT_EQ(0u, status & plat::DSCBSTATUS_CAPTURING) << "nothing records from the device yet";
    const ULONGLONG start = WritePos(1);

    ASSERT_EQ(S_OK, settings->SetWriteFromRecordDeviceState(1));
    ASSERT_EQ(S_OK, controller->UpdateSettings());
    // Capturing before the pump reads: its first read finds data rather than
    // waiting out its time-out on a stopped buffer.
    ASSERT_EQ(S_OK, capturer->GetStatus(&status));
    EXPECT_NE(0u, status & plat::DSCBSTATUS_CAPTURING);

    const ULONG bytes = 19200;
    ASSERT_TRUE(Eventually([&] { return WritePos(1) >= start + bytes; })) << "the microphone reaches buffer 1";
    std::vector<BYTE> cached(bytes);
    ASSERT_EQ(S_OK, cache->ReadFixedPosEx(1, start, bytes, cached.data()));
    size_t loud = 0;
    for (size_t i = 0; i + 1 < cached.size(); i += 2) {
        short sample = static_cast<short>(cached[i] | (cached[i + 1] << 8));
        if (sample > 1000 || sample < -1000) ++loud;
    }
    EXPECT_GT(loud, cached.size() / 8) << "the tone, not silence";
}

TEST_F(EngineSettings, ASwitchToAnotherFolderAndBackBringsTheSongsBackAndMixesNothing) {
    ASSERT_EQ(S_OK, Build(false));
    Advise();
    plat::Bstr home;
    ASSERT_EQ(S_OK, settings->GetCacheDir(home.Out()));
    ASSERT_EQ(S_OK, controller->Record());
    Feed(Tone(12 * kSecond, 0));
    ASSERT_EQ(S_OK, controller->StopRecord());
    ULONG count = 0;
    playlist->Count(&count);
    ASSERT_EQ(1u, count);

    const std::u16string other = m_dir + u"/other/";
    ASSERT_EQ(S_OK, settings->SetCacheDir(plat::Bstr(other)));
    ASSERT_EQ(S_OK, controller->UpdateSettings());
    // The switch counts as over just before CacheLoaded, its last event, goes out.
    ASSERT_TRUE(Eventually([&] { return !controller->IsSwitchingCacheFolder() && events->Count("CacheLoaded") >= 1u; }));
    playlist->Count(&count);
    EXPECT_EQ(0u, count) << "the new folder has no playlist";
    EXPECT_TRUE(plat::IsFile(Text(home) + u"QXCache/QXPlaylist.dat")) << "the old playlist stays where it was";
    // What the maintenance thread would save into the new folder holds no old song.
    playlist->Save();
    playlist->Load();
    playlist->Count(&count);
    EXPECT_EQ(0u, count);
    EXPECT_EQ(1u, events->Count("CacheLoaded"));

    ASSERT_EQ(S_OK, settings->SetCacheDir(home));
    ASSERT_EQ(S_OK, controller->UpdateSettings());
    ASSERT_TRUE(Eventually([&] { return !controller->IsSwitchingCacheFolder() && events->Count("CacheLoaded") >= 2u; }));
    playlist->Count(&count);
    EXPECT_EQ(1u, count);
    GUID back{};
    ASSERT_EQ(S_OK, playlist->First(&back));
    EXPECT_EQ(2u, events->Count("SongDetected ")) << "found while recording, announced again after the load";
    EXPECT_LE(1u, events->Count("SongDetected " + plat::GuidToUtf8(back)));
    EXPECT_EQ(2u, events->Count("CacheLoaded"));
    EXPECT_FALSE(plat::PathExists(other + u"QXCache")) << "the empty folder left nothing of ours behind";
    ULONG fullnessBack = 0;
    controller->GetTimeFullness(&fullnessBack);
    EXPECT_EQ(12000u, fullnessBack) << "the old cache is back whole, with what was still in memory at the switch";
}

TEST_F(EngineSettings, DroppingTheCacheAndWaitingLeavesNoOldCacheFile) {
    ASSERT_EQ(S_OK, Build(false));
    plat::Bstr home;
    ASSERT_EQ(S_OK, settings->GetCacheDir(home.Out()));
    const std::u16string data = Text(home) + u"QXCache/";
    auto cacheFiles = [&] {
        std::vector<plat::DirEntry> entries;
        plat::ListDirectory(data, &entries);
        size_t n = 0;
        for (const auto& e : entries) n += e.name.size() > 4 && e.name.substr(e.name.size() - 4) == u".cah";
        return n;
    };
    ASSERT_EQ(S_OK, controller->Record());
    Feed(Tone(12 * kSecond, 0));
    ASSERT_EQ(S_OK, controller->StopRecord());
    ASSERT_TRUE(Eventually([&] { return cacheFiles() > 0; }));
    ASSERT_EQ(S_OK, controller->DropCache(TRUE));
    EXPECT_EQ(0u, cacheFiles());
    ULONG count = 1;
    playlist->Count(&count);
    EXPECT_EQ(0u, count);
}
