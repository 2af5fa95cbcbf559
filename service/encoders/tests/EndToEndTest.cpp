// Saves in every format from a real cache on disk: silence trimming and fades as
// heard in the decoded files, a stop from another thread, two encoders on one
// cache at once, and the clean failures of a full, read-only or emptied disk.
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "log/KErrorLog.h"
#include "platform/com/Variant.h"
#include "platform/core/Sync.h"
#include "platform/core/Text.h"
#include "service/encoders/KAacEncoder.h"
#include "service/encoders/KWmaEncoder.h"
#include "service/encoders/mp3/KMp3Encoder.h"
#include "service/encoders/ogg/KOggEncoder.h"
#include "service/encoders/tests/EncoderTestSupport.h"
#include "service/encoders/tests/support/MediaProbe.h"

using namespace enctest;

namespace {

struct Format {
    const char* name;
    std::function<IAudioEncoder*()> make;
    const char16_t* ext;
    int rate;
};
const Format kFormats[] = {
    {"mp3", [] { return static_cast<IAudioEncoder*>(KMp3Encoder::Create()); }, u".mp3", 48000},
    {"ogg", [] { return static_cast<IAudioEncoder*>(KOggEncoder::Create()); }, u".ogg", 44100},
    {"aac", [] { return static_cast<IAudioEncoder*>(KAacEncoder::Create()); }, u".aac", 48000},
    {"wma", [] { return static_cast<IAudioEncoder*>(KWmaEncoder::Create()); }, u".wma", 48000},
};

// 3 s of silence, 10 s of a 1 kHz tone, 3 s of silence.
std::vector<BYTE> SilenceToneSilence() {
    std::vector<BYTE> audio = Tone(3000, 0);
    const std::vector<BYTE> tone = AsBytes(StereoTone(10 * 48000, 48000, 1000.0));
    audio.insert(audio.end(), tone.begin(), tone.end());
    const std::vector<BYTE> tail = Tone(3000, 0);
    audio.insert(audio.end(), tail.begin(), tail.end());
    return audio;
}

// Runs body in a child process (so that mounts and limits stay there) and
// returns its exit code.
int InChild(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class EndToEndTest : public ::testing::Test {
public:
    void SetUp() override {
        if (!HaveTool("ffprobe") || !HaveTool("ffmpeg")) GTEST_SKIP() << "ffprobe/ffmpeg missing";
        cache = RealCacheWith(dir / u"cache", SilenceToneSilence());
        ASSERT_TRUE(cache);
        ASSERT_EQ(cache->GetStartReadPos(&start), S_OK);
        ASSERT_TRUE(plat::CreateDirectory(dir / u"out"));
    }
    plat::ComPtr<IAudioEncoder> Make(const Format& f, ULONG kbps = 128) {
        plat::ComPtr<IAudioEncoder> e(f.make());
        EXPECT_TRUE(e);
        EXPECT_EQ(e->SetCachePtr(cache.Get()), S_OK);
        EXPECT_EQ(e->SetConstantBitrate(kbps), S_OK);
        return e;
    }
    plat::ComPtr<ISong> Song(ULONG fromMs, ULONG toMs, const std::u16string& title = u"song") {
        const auto base = static_cast<ULONG>(start / 192);
        return plat::ComPtr<ISong>(FakeSong::CreateInstance(base + fromMs, base + toMs, title));
    }

    TempFolder dir;
    plat::ComPtr<ICache> cache;
    ULONGLONG start = 0;
};

TEST_F(EndToEndTest, TrimmedAndFadedSongsSoundAsAsked) {
    for (const Format& f : kFormats) {
        SCOPED_TRACE(f.name);
        auto e = Make(f);
        ASSERT_EQ(e->DeleteSilenceStartEnd(TRUE), S_OK);
        ASSERT_EQ(e->LowVolumeStartEnd(TRUE), S_OK);
        const std::u16string file = dir / (u"out/faded" + std::u16string(f.ext));
        ASSERT_EQ(e->Save(Song(0, 16000).Get(), plat::Bstr(file)), S_OK);
        const std::vector<int16_t> pcm = DecodeMono(file);
        const size_t second = size_t(f.rate);
        // About the 10 s of tone: the trim moves in 2048-byte blocks.
        EXPECT_NEAR(double(pcm.size()) / f.rate, 10.0, 0.05);
        const size_t tenth = second / 10;
        const double middle = Rms(pcm, pcm.size() / 2 - tenth, 2 * tenth);
        ASSERT_GT(middle, 1000.0);
        EXPECT_LT(Rms(pcm, 0, tenth), 0.1 * middle);
        EXPECT_LT(Rms(pcm, pcm.size() - tenth, tenth), 0.1 * middle);
        EXPECT_NEAR(Rms(pcm, second - tenth / 2, tenth) / middle, 0.5, 0.1);
        EXPECT_NEAR(Rms(pcm, pcm.size() - second - tenth / 2, tenth) / middle, 0.5, 0.1);
    }
}

// A stretch with no audio, empty or trimmed to nothing, is saved as a file
// that declares and decodes to no sound, as the formats' own tools make it
// (an empty MP3 or AAC stream is one that no prober takes for audio).
TEST_F(EndToEndTest, AStretchWithoutAudioDeclaresAndDecodesNoSound) {
    for (const Format& f : kFormats) {
        for (bool trimmed : {false, true}) {
            SCOPED_TRACE(std::string(f.name) + (trimmed ? " trimmed to nothing" : " empty"));
            auto e = Make(f);
            ASSERT_EQ(e->DeleteSilenceStartEnd(trimmed), S_OK);
            const std::u16string name = dir / (u"out/nothing" + std::u16string(trimmed ? u"T" : u"E") + f.ext);
            // 2496 ms of silence are whole blocks of the trimming.
            ASSERT_EQ(e->Save((trimmed ? Song(0, 2496) : Song(5000, 5000)).Get(), plat::Bstr(name)), S_OK);
            ASSERT_TRUE(plat::IsFile(name));
            ProbedAudio probe;
            if (ProbeAudio(plat::ToUtf8(name), &probe)) {
                EXPECT_LT(probe.declaredSeconds, 0.01);
            }
            EXPECT_EQ(DecodeMono(name).size(), 0u);
        }
    }
}

// A bit rate the format cannot make, or none at all (a fresh encoder), fails
// the save with an entry in the error list that names the file and says why;
// WMA names the profile it looked for instead.
TEST_F(EndToEndTest, ARefusedBitRateIsEnteredWithItsReason) {
    struct Case {
        const Format& format;
        ULONG kbps;  // ~0: no rate set
        const char16_t* says;
    } cases[] = {{kFormats[0], ~0u, u"No bit rate was set"},
                 {kFormats[1], ~0u, u"No bit rate was set"},
                 {kFormats[0], 7, u"not one this format can make"},
                 {kFormats[1], 7, u"not one this format can make"},
                 {kFormats[2], 7, u"not one this format can make"},
                 {kFormats[3], ~0u, u"Cannot open the data file"}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.format.name) + " " + std::to_string(c.kbps));
        plat::ComPtr<IAudioEncoder> e(c.format.make());
        ASSERT_TRUE(e);
        ASSERT_EQ(e->SetCachePtr(cache.Get()), S_OK);
        if (c.kbps != ~0u) {
            ASSERT_EQ(e->SetConstantBitrate(c.kbps), S_OK);
        }
        KErrorLog::Instance().ClearErrors();
        const std::u16string name = dir / (u"out/rate" + plat::ToUtf16(std::to_string(n++)) + c.format.ext);
        EXPECT_TRUE(FAILED(e->Save(Song(3000, 4000).Get(), plat::Bstr(name))));
        EXPECT_FALSE(plat::EntryExists(name));
        std::vector<std::u16string> errors;
        KErrorLog::Instance().GetErrors(&errors);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_NE(errors[0].find(c.says), std::u16string::npos) << plat::ToUtf8(errors[0]);
        if (c.format.ext != std::u16string(u".wma")) {
            EXPECT_NE(errors[0].find(name), std::u16string::npos) << plat::ToUtf8(errors[0]);
        }
    }
}

TEST_F(EndToEndTest, AStopMidWayKeepsTheGroupsFinishedSongsOnly) {
    for (const Format& f : kFormats) {
        SCOPED_TRACE(f.name);
        auto e = Make(f);
        // The sink holds the save at the second song's first progress until
        // the stop has been asked for from this thread.
        plat::Event reached, stopped;
        struct Gate final : plat::ComObject<Gate, _IAudioEncoderEvents> {
            std::function<void(UINT, const std::u16string&)> on;
            std::vector<UINT> values;
            HRESULT Progress(UINT n, BSTR path) override {
                values.push_back(n);
                on(n, plat::BstrToU16(path));
                return S_OK;
            }
        };
        plat::ComPtr<Gate> gate(Gate::CreateInstance());
        const std::u16string second = dir / (u"out/second" + std::u16string(f.ext));
        gate->on = [&](UINT, const std::u16string& path) {
            if (path != second || reached.IsSet()) return;
            reached.Set();
            stopped.Wait(60000);
        };
        plat::ComPtr<IConnectionPointContainer> cpc;
        ASSERT_EQ(e->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(cpc.GetAddressOf())), S_OK);
        plat::ComPtr<IConnectionPoint> point;
        ASSERT_EQ(cpc->FindConnectionPoint(DIID__IAudioEncoderEvents, point.GetAddressOf()), S_OK);
        DWORD cookie = 0;
        ASSERT_EQ(point->Advise(static_cast<_IAudioEncoderEvents*>(gate.Get()), &cookie), S_OK);

        std::vector<plat::ComPtr<ISong>> songs{Song(3000, 5000, u"first"), Song(5000, 12000, u"second"),
                                               Song(12000, 13000, u"third")};
        std::vector<IUnknown*> items;
        for (auto& s : songs) items.push_back(s.Get());
        plat::Variant group;
        ASSERT_EQ(plat::MakeUnknownArray(items, &group), S_OK);
        std::thread stopper([&] {
            reached.Wait(60000);
            e->StopSave();
            stopped.Set();
        });
        EXPECT_EQ(e->SaveGroup(group.Get(), plat::Bstr(dir / u"out")), S_OK);
        stopper.join();
        ASSERT_EQ(point->Unadvise(cookie), S_OK);
        EXPECT_EQ(dir.Names(), (std::vector<std::u16string>{u"cache", u"out"}));
        std::vector<plat::DirEntry> out;
        ASSERT_TRUE(plat::ListDirectory(dir / u"out", &out));
        ASSERT_EQ(out.size(), 1u);  // the first song only, no partial file
        EXPECT_EQ(out[0].name, u"first" + std::u16string(f.ext));
        EXPECT_EQ(std::count(gate->values.begin(), gate->values.end(), 100u), 1);  // the first song's
        ASSERT_TRUE(plat::DeleteFile(dir / (u"out/first" + std::u16string(f.ext))));
    }
}

TEST_F(EndToEndTest, TwoEncodersOnOneCacheSaveAtOnce) {
    auto mp3 = Make(kFormats[0]), ogg = Make(kFormats[1]);
    HRESULT other = E_FAIL;
    std::thread t([&] { other = mp3->Save(Song(3000, 11000).Get(), plat::Bstr(dir / u"out/both.mp3")); });
    EXPECT_EQ(ogg->Save(Song(4000, 12000).Get(), plat::Bstr(dir / u"out/both.ogg")), S_OK);
    t.join();
    EXPECT_EQ(other, S_OK);
    for (const Format* f : {&kFormats[0], &kFormats[1]}) {
        ProbedAudio probe;
        ASSERT_TRUE(ProbeAudio(plat::ToUtf8(dir / (u"out/both" + std::u16string(f->ext))), &probe));
        EXPECT_TRUE(probe.decodedCleanly);
        EXPECT_NEAR(double(probe.decodedFrames), 8.0 * f->rate, 1152.0);
    }
}

TEST_F(EndToEndTest, AudioGoneFromTheCacheFailsWithoutAFile) {
    ASSERT_EQ(cache->Clear(TRUE), S_OK);
    for (const Format& f : kFormats) {
        auto e = Make(f);
        EXPECT_TRUE(FAILED(e->Save(Song(3000, 5000).Get(), plat::Bstr(dir / u"out/gone"))));
    }
    std::vector<plat::DirEntry> out;
    ASSERT_TRUE(plat::ListDirectory(dir / u"out", &out));
    EXPECT_TRUE(out.empty());
}

// Open descriptors of this process.
size_t OpenDescriptors() {
    std::vector<plat::DirEntry> fds;
    plat::ListDirectory(u"/proc/self/fd", &fds);
    return fds.size();
}

// A full disk and a read-only one: a small file system of its own when the
// test may mount one, else a file-size limit (and a folder without write
// permission). Each case runs in a child process that has no thread but the
// saving one (a cache held in memory), so that mounts and limits stay there.
TEST(DiskFailures, AFullOrReadOnlyDiskFailsCleanly) {
    TempFolder dir;
    const std::u16string out = dir / u"out";
    ASSERT_TRUE(plat::CreateDirectory(out));
    const std::string target = plat::ToUtf8(out);
    for (const Format& f : kFormats) {
        for (bool readOnly : {false, true}) {
            SCOPED_TRACE(std::string(f.name) + (readOnly ? " read-only" : " full"));
            const int code = InChild([&]() -> int {
                bool mounted = ::unshare(CLONE_NEWNS) == 0 &&
                               ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                               ::mount("tmpfs", target.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0,
                                       "size=128k") == 0;
                if (!mounted) {
                    if (readOnly) {
                        if (::geteuid() == 0) return 77;  // root writes anyway: nothing to test
                        ::chmod(target.c_str(), 0555);
                    } else {
                        ::signal(SIGXFSZ, SIG_IGN);
                        struct rlimit limit{128 * 1024, 128 * 1024};
                        ::setrlimit(RLIMIT_FSIZE, &limit);
                    }
                }
                plat::ComPtr<MemoryCache> cache(MemoryCache::CreateInstance(0, AsBytes(StereoTone(11 * 48000, 48000, 1000.0))));
                plat::ComPtr<IAudioEncoder> e(f.make());
                if (!e || e->SetCachePtr(cache.Get()) != S_OK || e->SetConstantBitrate(128) != S_OK) return 4;
                // A first failure opens the error log; later ones add no descriptor.
                KErrorLog::Instance().WriteLine(0, u"disk failure test", __FILE__, __LINE__);
                const size_t descriptors = OpenDescriptors();
                KErrorLog::Instance().ClearErrors();
                const HRESULT hr = SaveTagged(e.Get(), 0, 10000, {u"big", u"", u"", u""}, out + u"/big");
                std::vector<plat::DirEntry> left;
                plat::ListDirectory(out, &left);
                if (!FAILED(hr)) return 1;
                if (!left.empty()) return 2;
                // The user's file is named in the error list, as a failed
                // write of it or, on a read-only disk, its failed creation.
                const LONG expected = readOnly ? EC_CREATE_FILE : EC_WRITE_FILE;
                const std::u16string named = u"\r\n" + out + u"/big" + f.ext + u"\r\n";
                int entered = 0;
                LONG code = 0;
                for (std::u16string text; KErrorLog::Instance().PopError(&code, &text);) {
                    if (text.find(u"tonquil-save") != std::u16string::npos || text.find(u"/proc/") != std::u16string::npos)
                        return 6;
                    if (code == expected && text.find(named) != std::u16string::npos) ++entered;
                }
                if (entered != 1) return 10 + entered;  // one failure, one entry
                if (OpenDescriptors() != descriptors) return 5;  // the file was closed
                // The encoder saves again once there is room.
                if (mounted) ::umount(target.c_str());
                else ::chmod(target.c_str(), 0755);
                struct rlimit none{RLIM_INFINITY, RLIM_INFINITY};
                ::setrlimit(RLIMIT_FSIZE, &none);
                return SaveTagged(e.Get(), 0, 1000, {u"small", u"", u"", u""}, out + u"/small") == S_OK ? 0 : 3;
            });
            if (code == 77) continue;
            EXPECT_EQ(code, 0);
            plat::DeleteFile(out + u"/small" + f.ext);
        }
    }
}

}  // namespace
