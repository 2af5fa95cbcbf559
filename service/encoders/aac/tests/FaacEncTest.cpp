#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/LastError.h"
#include "service/encoders/aac/FaacEnc.h"
#include "service/encoders/tests/support/MediaProbe.h"

namespace {

struct Closer {
    void operator()(FaacEncoder* h) const { faacEncClose(h); }
};
using Handle = std::unique_ptr<FaacEncoder, Closer>;

Handle Open(uint32_t* samples = nullptr, uint32_t* maxBytes = nullptr) {
    uint32_t s = 0, m = 0;
    Handle h(faacEncOpen(48000, 2, &s, &m));
    if (samples) *samples = s;
    if (maxBytes) *maxBytes = m;
    return h;
}

faacEncConfiguration MainAt(uint32_t bitRate) {
    return faacEncConfiguration{FAAC_MPEG4, FAAC_MAIN, FAAC_INPUT_16BIT, FAAC_OUTPUT_ADTS, bitRate, 0, 100};
}

// The frames of one ADTS stream: each header checked against the stream's
// settings and its length field against the bytes that follow.
struct AdtsScan {
    int frames = 0;
    bool headersOk = true;
};
AdtsScan ScanAdts(const std::vector<uint8_t>& data, int profile, int rateIndex, int channels) {
    AdtsScan scan;
    size_t pos = 0;
    while (pos + 7 <= data.size()) {
        const uint8_t* h = &data[pos];
        size_t length = (size_t(h[3] & 3) << 11) | (size_t(h[4]) << 3) | (h[5] >> 5);
        bool ok = h[0] == 0xFF && h[1] == 0xF1 && (h[2] >> 6) == profile && ((h[2] >> 2) & 0xF) == rateIndex &&
                  (((h[2] & 1) << 2) | (h[3] >> 6)) == channels && length > 7 && pos + length <= data.size();
        if (!ok) {
            scan.headersOk = false;
            return scan;
        }
        pos += length;
        ++scan.frames;
    }
    scan.headersOk = scan.headersOk && pos == data.size();
    return scan;
}

TEST(FaacEnc, OpenReportsOneFramePerCallAndRefusesWhatAdtsCannotCarry) {
    uint32_t samples = 0, maxBytes = 0;
    Handle h = Open(&samples, &maxBytes);
    ASSERT_TRUE(h);
    EXPECT_EQ(samples, 2048u);
    EXPECT_GE(maxBytes, 7u + 768u * 2u);
    faacEncConfiguration* cfg = faacEncGetCurrentConfiguration(h.get());
    ASSERT_NE(cfg, nullptr);
    EXPECT_EQ(cfg->aacObjectType, FAAC_LOW);
    EXPECT_EQ(cfg->outputFormat, FAAC_OUTPUT_ADTS);
    EXPECT_EQ(cfg->bitRate, 0u);

    struct Case {
        uint32_t rate, channels;
    } bad[] = {{0, 2}, {44000, 2}, {48000, 0}, {48000, 3}};
    for (const Case& c : bad) {
        plat::SetLastError(0);
        EXPECT_EQ(faacEncOpen(c.rate, c.channels, &samples, &maxBytes), nullptr) << c.rate << "/" << c.channels;
        EXPECT_NE(plat::GetLastError(), 0u);
    }
    EXPECT_EQ(faacEncGetCurrentConfiguration(nullptr), nullptr);
}

TEST(FaacEnc, ConfigurationsTheCodecCannotUseAreRefusedAndKeepTheOldOne) {
    Handle h = Open();
    ASSERT_TRUE(h);
    struct Case {
        const char* what;
        faacEncConfiguration cfg;
    } cases[] = {
        {"long-term prediction", {FAAC_MPEG4, 4, FAAC_INPUT_16BIT, FAAC_OUTPUT_ADTS, 128000, 0, 100}},
        {"object type 0", {FAAC_MPEG4, 0, FAAC_INPUT_16BIT, FAAC_OUTPUT_ADTS, 128000, 0, 100}},
        {"float input", {FAAC_MPEG4, FAAC_MAIN, 4, FAAC_OUTPUT_ADTS, 128000, 0, 100}},
        {"bandwidth above Nyquist", {FAAC_MPEG4, FAAC_MAIN, FAAC_INPUT_16BIT, FAAC_OUTPUT_ADTS, 128000, 24001, 100}},
        {"7 kbit/s", MainAt(7000)},
        {"above 6144 bits per channel and frame", MainAt(576001)},
    };
    for (const Case& c : cases) {
        faacEncConfiguration cfg = c.cfg;
        plat::SetLastError(0);
        EXPECT_EQ(faacEncSetConfiguration(h.get(), &cfg), 0) << c.what;
        EXPECT_NE(plat::GetLastError(), 0u) << c.what;
        EXPECT_EQ(faacEncGetCurrentConfiguration(h.get())->aacObjectType, FAAC_LOW) << c.what;
    }
    faacEncConfiguration good = MainAt(128000);
    EXPECT_EQ(faacEncSetConfiguration(h.get(), &good), 1);
    EXPECT_EQ(faacEncGetCurrentConfiguration(h.get())->aacObjectType, FAAC_MAIN);
    EXPECT_EQ(faacEncSetConfiguration(nullptr, &good), 0);
    EXPECT_EQ(faacEncSetConfiguration(h.get(), nullptr), 0);
}

// A 128 kbit/s Main stream of 2.5 s: the first call is held back by the
// codec, every later whole frame comes out framed, the end of input brings
// out what the codec still holds, and other decoders read the result.
TEST(FaacEnc, MainProfileStreamIsFramedDrainedAndDecodable) {
    uint32_t samples = 0, maxBytes = 0;
    Handle h = Open(&samples, &maxBytes);
    ASSERT_TRUE(h);
    faacEncConfiguration cfg = MainAt(128000);
    cfg.bandWidth = 15900;
    ASSERT_EQ(faacEncSetConfiguration(h.get(), &cfg), 1);

    const uint32_t frames = 120000 + 333;  // 2.5 s and a short tail
    const std::vector<int16_t> pcm = enctest::StereoTone(frames, 48000, 1000.0);
    std::vector<uint8_t> out(maxBytes), stream;
    int calls = 0, emptyCalls = 0;
    for (size_t at = 0; at < pcm.size(); at += samples, ++calls) {
        uint32_t n = static_cast<uint32_t>(std::min<size_t>(samples, pcm.size() - at));
        int got = faacEncEncode(h.get(), &pcm[at], n, out.data(), maxBytes);
        ASSERT_GE(got, 0) << "call " << calls;
        if (calls == 0) {
            EXPECT_EQ(got, 0) << "the codec delays its first frame";
        }
        if (got == 0) ++emptyCalls;
        stream.insert(stream.end(), out.begin(), out.begin() + got);
    }
    EXPECT_EQ(faacEncSetConfiguration(h.get(), &cfg), 0) << "no change once encoding runs";
    const size_t beforeDrain = stream.size();
    for (int got; (got = faacEncEncode(h.get(), nullptr, 0, out.data(), maxBytes)) != 0;) {
        ASSERT_GT(got, 0);
        stream.insert(stream.end(), out.begin(), out.begin() + got);
    }
    EXPECT_GT(stream.size(), beforeDrain) << "the end of input brings out held frames";
    EXPECT_LT(faacEncEncode(h.get(), pcm.data(), samples, out.data(), maxBytes), 0) << "input after its end";

    // Profile bits 00 (Main), rate index 3 (48 kHz), two channels; the codec's
    // delay of one frame and the padded tail make ceil((n + 1024) / 1024) frames.
    AdtsScan scan = ScanAdts(stream, 0, 3, 2);
    EXPECT_TRUE(scan.headersOk);
    EXPECT_EQ(scan.frames, static_cast<int>((frames + 1024 + 1023) / 1024));
    EXPECT_LE(emptyCalls, 2);

    const std::string path = (std::filesystem::path(testing::TempDir()) / "faac_main.aac").string();
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(stream.data(), 1, stream.size(), f);
    std::fclose(f);
    enctest::ProbedAudio probe;
    ASSERT_TRUE(enctest::ProbeAudio(path, &probe));
    EXPECT_EQ(probe.codec, "aac");
    EXPECT_EQ(probe.profile, "Main");
    EXPECT_EQ(probe.sampleRate, 48000);
    EXPECT_EQ(probe.channels, 2);
    EXPECT_TRUE(probe.decodedCleanly);
    EXPECT_GE(probe.decodedFrames, int64_t(frames) + 1024);
    EXPECT_LE(probe.decodedFrames, int64_t(frames) + 2047);
    const double kbps = stream.size() * 8.0 / (frames / 48000.0) / 1000.0;
    EXPECT_NEAR(kbps, 128.0, 12.8);
    std::remove(path.c_str());
}

// The whole stream of one encode of pcm with the configuration, drained; the
// input goes in calls of chunk samples (0: the count the codec asks for).
std::vector<uint8_t> EncodeAll(faacEncConfiguration cfg, const std::vector<int16_t>& pcm, uint32_t chunk = 0) {
    uint32_t samples = 0, maxBytes = 0;
    Handle h = Open(&samples, &maxBytes);
    std::vector<uint8_t> out(maxBytes), stream;
    if (!h || faacEncSetConfiguration(h.get(), &cfg) != 1) return stream;
    if (chunk == 0) chunk = samples;
    for (size_t at = 0; at < pcm.size(); at += chunk) {
        const auto n = static_cast<uint32_t>(std::min<size_t>(chunk, pcm.size() - at));
        const int got = faacEncEncode(h.get(), &pcm[at], n, out.data(), maxBytes);
        if (got < 0) return {};
        stream.insert(stream.end(), out.begin(), out.begin() + got);
    }
    for (int got; (got = faacEncEncode(h.get(), nullptr, 0, out.data(), maxBytes)) != 0;) {
        if (got < 0) return {};
        stream.insert(stream.end(), out.begin(), out.begin() + got);
    }
    return stream;
}

// A second of a tone under noise (from a fixed seed) and a short tail: the
// mix on which prediction would change most frames.
std::vector<int16_t> ToneUnderNoise() {
    std::vector<int16_t> pcm = enctest::StereoTone(48000 + 500, 48000, 1000.0, 0.4);
    uint32_t seed = 20261209;
    for (int16_t& sample : pcm) {
        seed = seed * 1664525u + 1013904223u;
        sample = static_cast<int16_t>(sample + static_cast<int16_t>(seed >> 16) / 80);
    }
    return pcm;
}

// A Main stream is coded without prediction, which would cost the codec a
// tenth to a fifth more time: its frames are the low-complexity stream's,
// byte for byte, behind headers that differ in the profile bits alone.
TEST(FaacEnc, MainFramesAreTheLowComplexityFramesUnderAMainHeader) {
    const std::vector<int16_t> pcm = ToneUnderNoise();
    faacEncConfiguration main = MainAt(128000), low = MainAt(128000);
    main.bandWidth = low.bandWidth = 15900;
    low.aacObjectType = FAAC_LOW;
    const std::vector<uint8_t> mainStream = EncodeAll(main, pcm), lowStream = EncodeAll(low, pcm);
    ASSERT_FALSE(mainStream.empty());
    ASSERT_EQ(mainStream.size(), lowStream.size());
    EXPECT_TRUE(ScanAdts(mainStream, 0, 3, 2).headersOk);
    EXPECT_TRUE(ScanAdts(lowStream, 1, 3, 2).headersOk);
    // Frame by frame (the length field is checked by the scans above): the
    // headers alike but for the two profile bits, the payloads alike.
    int frames = 0;
    for (size_t pos = 0; pos + 7 <= mainStream.size(); ++frames) {
        const size_t length = (size_t(mainStream[pos + 3] & 3) << 11) | (size_t(mainStream[pos + 4]) << 3) |
                              (mainStream[pos + 5] >> 5);
        ASSERT_LE(pos + length, mainStream.size());
        for (size_t i = pos; i < pos + length; ++i) {
            const uint8_t mask = i == pos + 2 ? 0x3F : 0xFF;
            ASSERT_EQ(mainStream[i] & mask, lowStream[i] & mask) << "frame " << frames << ", byte " << i - pos;
        }
        pos += length;
    }
    EXPECT_EQ(frames, (48000 + 500 + 1024 + 1023) / 1024);
}

// Input cut short of whole frames waits for the next call: however the
// calls cut it, the stream is the one of whole-frame calls, tail included.
TEST(FaacEnc, TheStreamDoesNotDependOnHowTheCallsCutTheInput) {
    const std::vector<int16_t> pcm = ToneUnderNoise();
    const std::vector<uint8_t> whole = EncodeAll(MainAt(128000), pcm);
    ASSERT_FALSE(whole.empty());
    for (uint32_t chunk : {2u, 1000u, 2046u}) {
        EXPECT_EQ(EncodeAll(MainAt(128000), pcm, chunk), whole) << chunk << " samples per call";
    }
}

// The decoder's view of a Main stream at 128 kbit/s: after the codec's delay
// of one frame, the decoded sound follows the input to about 30 dB. With the
// codec's own Main prediction the same input came back at 10-13 dB.
TEST(FaacEnc, AMainStreamDecodesCloseToItsInput) {
    if (!enctest::HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    const std::vector<int16_t> pcm = ToneUnderNoise();
    faacEncConfiguration cfg = MainAt(128000);
    cfg.bandWidth = 15900;
    const std::vector<uint8_t> stream = EncodeAll(cfg, pcm);
    ASSERT_FALSE(stream.empty());
    const std::string path = (std::filesystem::path(testing::TempDir()) / "faac_fidelity.aac").string();
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(stream.data(), 1, stream.size(), f);
    std::fclose(f);
    int status = -1;
    const std::string decoded = enctest::RunCommand(
        "ffmpeg -nostdin -v error -i " + enctest::ShellQuote(path) + " -f s16le -c:a pcm_s16le -", &status);
    std::remove(path.c_str());
    ASSERT_EQ(status, 0);
    const size_t delay = 1024 * 2;
    ASSERT_GE(decoded.size() / 2, delay + pcm.size());
    double signal = 0, error = 0;
    for (size_t i = 0; i < pcm.size(); ++i) {
        int16_t out;
        std::memcpy(&out, decoded.data() + 2 * (delay + i), 2);
        signal += double(pcm[i]) * pcm[i];
        error += (double(out) - pcm[i]) * (double(out) - pcm[i]);
    }
    const double snr = 10 * std::log10(signal / std::max(error, 1.0));
    EXPECT_GT(snr, 20.0) << "signal to error, dB";
}

TEST(FaacEnc, FailuresGiveNegativeCounts) {
    uint32_t samples = 0, maxBytes = 0;
    Handle h = Open(&samples, &maxBytes);
    ASSERT_TRUE(h);
    const std::vector<int16_t> pcm = enctest::StereoTone(4096, 48000, 440.0);
    uint8_t tiny[8];
    std::vector<uint8_t> out(maxBytes);
    EXPECT_LT(faacEncEncode(nullptr, pcm.data(), samples, out.data(), maxBytes), 0);
    EXPECT_LT(faacEncEncode(h.get(), nullptr, samples, out.data(), maxBytes), 0);
    EXPECT_LT(faacEncEncode(h.get(), pcm.data(), 3, out.data(), maxBytes), 0) << "half a stereo frame";
    ASSERT_EQ(faacEncEncode(h.get(), pcm.data(), samples, out.data(), maxBytes), 0);
    EXPECT_LT(faacEncEncode(h.get(), pcm.data() + samples, samples, tiny, sizeof tiny), 0)
        << "an output buffer too small for the frame";
    EXPECT_EQ(faacEncClose(nullptr), -1);
}

}  // namespace

namespace {

// Encodes a second of a tone and closes, which is when the codec prints its
// statistics ("Qavg: ..."). Runs only as the child of the test below.
TEST(FfmpegMessages, ChildEncodesASecond) {
    if (!std::getenv("TONQUIL_FFMPEG_MESSAGES_CHILD")) GTEST_SKIP() << "run by FfmpegMessages.GoToTheDebugChannel";
    uint32_t samples = 0, maxBytes = 0;
    Handle h = Open(&samples, &maxBytes);
    ASSERT_TRUE(h);
    faacEncConfiguration cfg = MainAt(128000);
    ASSERT_TRUE(faacEncSetConfiguration(h.get(), &cfg));
    const std::vector<int16_t> pcm = enctest::StereoTone(48000, 48000, 440.0);
    std::vector<uint8_t> out(maxBytes);
    for (size_t at = 0; at + samples <= pcm.size(); at += samples)
        ASSERT_GE(faacEncEncode(h.get(), pcm.data() + at, samples, out.data(), maxBytes), 0);
    while (faacEncEncode(h.get(), nullptr, 0, out.data(), maxBytes) > 0) {
    }
}

// FFmpeg's own lines never reach the daemon's standard error; with the debug
// channel on they come there through it.
TEST(FfmpegMessages, GoToTheDebugChannel) {
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    for (bool debug : {false, true}) {
        SCOPED_TRACE(debug ? "debug channel on" : "debug channel off");
        int status = -1;
        const std::string stderrText = enctest::RunCommand(
            std::string("env -u TONQUIL_DEBUG_OUTPUT TONQUIL_FFMPEG_MESSAGES_CHILD=1 ") +
                (debug ? "TONQUIL_DEBUG_OUTPUT=1 " : "") + enctest::ShellQuote(self) +
                " --gtest_filter=FfmpegMessages.ChildEncodesASecond 2>&1 >/dev/null",
            &status);
        ASSERT_EQ(status, 0) << stderrText;
        EXPECT_EQ(stderrText.find("Qavg") != std::string::npos, debug) << stderrText;
        EXPECT_EQ(stderrText.find("[aac @") != std::string::npos, debug) << stderrText;
    }
}

}  // namespace
