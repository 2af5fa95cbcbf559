// Saves a long stretch of a real cache in each format at 128 kbit/s and runs
// the format's reference encoder on the same audio as a WAV file, and prints
// the times side by side. A reference whose tool is missing is skipped.
//
// The save runs on a thread at a lower priority, so the reference runs at the
// same niceness, and the ratio compares processor time (user + system), which
// a loaded machine does not stretch the way it stretches wall time.
//
// With several runs the save and its references take turns, so that a change
// of the machine's load falls on both; each figure is given as min / median /
// max over the runs, the ratio (reference cpu / save cpu) per run.
//
// Each save is judged against the reference that makes the same kind of file
// (oggenc -q 5, a quality-driven encode, and ffmpeg's Main profile, which
// adds prediction, are shown only): it fails when its median processor time
// ratio says it used more than the limit times the reference's.
//
//   encoder_bench [--limit FACTOR] [--runs N] [seconds] [format]
//     FACTOR   default 1.5: a save may use at most 1.5 times the reference's
//              processor time; 0 only prints the figures
//     N        default 1, 1..50: runs of each save and each reference
//     seconds  default 600 (ten minutes of audio), 1..3600
//     format   MP3, OGG, AAC or WMA (default every format)
//   Exit status: 0 every judged save within the limit, 1 a save or a
//   reference failed or a save exceeded the limit, 2 bad usage.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "platform/com/Bstr.h"
#include "platform/com/ComPtr.h"
#include "platform/core/Text.h"
#include "service/audio/KCache.h"
#include "service/encoders/KAacEncoder.h"
#include "service/encoders/KWmaEncoder.h"
#include "service/encoders/mp3/KMp3Encoder.h"
#include "service/encoders/ogg/KOggEncoder.h"
#include "service/foundation/KSong.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A reference command: {in} is the WAV file, {out} the file to write.
struct Reference {
    const char* tool;
    const char* command;
    bool judged = true;  // the same kind of encode as the save
};

struct Format {
    const char* name;
    std::function<IAudioEncoder*()> make;
    const char* extension;
    std::vector<Reference> references;
};

const Format kFormats[] = {
    {"MP3", [] { return static_cast<IAudioEncoder*>(KMp3Encoder::Create()); }, ".mp3",
     {{"lame", "lame --quiet -b 128 {in} {out}"}}},
    {"OGG", [] { return static_cast<IAudioEncoder*>(KOggEncoder::Create()); }, ".ogg",
     {{"oggenc", "oggenc --quiet --managed -b 128 -m 128 -M 128 --resample 44100 -o {out} {in}"},
      {"oggenc", "oggenc --quiet -q 5 -o {out} {in}", false}}},
    {"AAC", [] { return static_cast<IAudioEncoder*>(KAacEncoder::Create()); }, ".aac",
     {{"ffmpeg", "ffmpeg -nostdin -y -v error -i {in} -c:a aac -b:a 128k {out}"},
      {"ffmpeg", "ffmpeg -nostdin -y -v error -i {in} -c:a aac -profile:a aac_main -b:a 128k {out}", false}}},
    {"WMA", [] { return static_cast<IAudioEncoder*>(KWmaEncoder::Create()); }, ".wma",
     {{"ffmpeg", "ffmpeg -nostdin -y -v error -i {in} -c:a wmav2 -b:a 128k {out}"}}},
};

// The command with its placeholders filled in (quoted).
std::string Expand(std::string command, const fs::path& in, const fs::path& out) {
    for (auto [key, value] : {std::pair<std::string, std::string>{"{in}", "'" + in.string() + "'"},
                              std::pair<std::string, std::string>{"{out}", "'" + out.string() + "'"}})
        for (size_t at; (at = command.find(key)) != std::string::npos;) command.replace(at, key.size(), value);
    return command;
}

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

double CpuSeconds(int who) {
    rusage ru{};
    ::getrusage(who, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// The min, median and max of the values (the mean of the middle two for an
// even count).
struct Spread {
    double min = 0, median = 0, max = 0;
};
Spread SpreadOf(std::vector<double> values) {
    if (values.empty()) return {};
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return {values.front(), n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2, values.back()};
}

// One timed run: wall and processor seconds.
struct Run {
    double seconds = 0, cpu = 0;
};
std::vector<double> Field(const std::vector<Run>& runs, double Run::*field) {
    std::vector<double> values;
    for (const Run& run : runs) values.push_back(run.*field);
    return values;
}

bool HaveTool(const char* name) { return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0; }

void PutLe(std::FILE* f, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) std::fputc(static_cast<int>((v >> (8 * i)) & 0xFF), f);
}

// A 1 kHz tone with noise from a fixed seed, into the cache's first buffer and
// a WAV file alike.
bool FillSources(KCache* cache, const fs::path& wav, uint32_t seconds) {
    std::FILE* f = std::fopen(wav.c_str(), "wb");
    if (!f) return false;
    const uint32_t dataBytes = seconds * 192000;
    std::fputs("RIFF", f);
    PutLe(f, 36 + dataBytes, 4);
    std::fputs("WAVEfmt ", f);
    PutLe(f, 16, 4);
    PutLe(f, 1, 2);
    PutLe(f, 2, 2);
    PutLe(f, 48000, 4);
    PutLe(f, 192000, 4);
    PutLe(f, 4, 2);
    PutLe(f, 16, 2);
    std::fputs("data", f);
    PutLe(f, dataBytes, 4);
    std::mt19937 random(20261209);
    std::uniform_real_distribution<double> noise(-0.05, 0.05);
    std::vector<int16_t> chunk(48000 * 2);  // one second
    uint64_t n = 0;
    for (uint32_t s = 0; s < seconds; ++s) {
        for (size_t i = 0; i < chunk.size(); i += 2, ++n) {
            const double tone = 0.4 * std::sin(2.0 * std::numbers::pi * 1000.0 * double(n) / 48000.0);
            chunk[i] = static_cast<int16_t>(std::lround((tone + noise(random)) * 32767.0));
            chunk[i + 1] = static_cast<int16_t>(std::lround((tone + noise(random)) * 32767.0));
        }
        const ULONG bytes = static_cast<ULONG>(chunk.size() * 2);
        if (std::fwrite(chunk.data(), 1, bytes, f) != bytes ||
            FAILED(cache->WriteEx(PLAY_DEVICE_BUFFER, bytes, reinterpret_cast<BYTE*>(chunk.data()))) ||
            FAILED(cache->Flush())) {
            std::fclose(f);
            return false;
        }
    }
    return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    double limit = 1.5;
    long runs = 1;
    int arg = 1;
    bool usable = true;
    for (; usable && arg < argc && std::strncmp(argv[arg], "--", 2) == 0; arg += 2) {
        const std::string option = argv[arg];
        char* end = nullptr;
        const char* value = arg + 1 < argc ? argv[arg + 1] : "";
        if (option == "--limit") {
            limit = std::strtod(value, &end);
            usable = end != value && *end == 0 && limit >= 0 && std::isfinite(limit);
        } else if (option == "--runs") {
            runs = std::strtol(value, &end, 10);
            usable = end != value && *end == 0 && runs >= 1 && runs <= 50;
        } else {
            usable = false;
        }
    }
    const uint32_t seconds = arg < argc ? static_cast<uint32_t>(std::strtoul(argv[arg], nullptr, 10)) : 600;
    const std::string only = arg + 1 < argc ? argv[arg + 1] : "";
    bool known = only.empty();
    for (const Format& format : kFormats) known = known || only == format.name;
    if (!usable || !known || seconds == 0 || seconds > 3600 || arg + 2 < argc) {
        std::fprintf(stderr,
                     "usage: encoder_bench [--limit FACTOR] [--runs N, 1..50] [seconds, 1..3600] [MP3|OGG|AAC|WMA]\n"
                     "  fails when a save's processor time exceeds FACTOR (default 1.5; 0: no judging)\n"
                     "  times its reference encoder's, by the median over N runs (default 1)\n");
        return 2;
    }
    const fs::path dir = fs::temp_directory_path() / ("encoder_bench_" + std::to_string(::getpid()));
    fs::create_directories(dir / "cache");
    int result = 0;
    {
        plat::ComPtr<KCache> cache(KCache::Create());
        if (!cache || FAILED(cache->SetCacheDir(plat::Bstr(plat::ToUtf16((dir / "cache").string())))) ||
            FAILED(cache->SetSize(ULONGLONG{seconds + 60} * 192000)) || (cache->Load(), false) ||
            !FillSources(cache.Get(), dir / "source.wav", seconds)) {
            std::fprintf(stderr, "encoder_bench: the cache or the WAV file could not be filled\n");
            fs::remove_all(dir);
            return 1;
        }
        ULONGLONG start = 0;
        cache->GetStartReadPos(&start);
        const ULONG leftMs = static_cast<ULONG>(start / 192);
        std::printf("%u s of 48 kHz stereo, 128 kbit/s constant rate, %ld run(s) each; processor seconds "
                    "(user + system) as min / median / max\n",
                    seconds, runs);
        if (limit > 0)
            std::printf("limit: a save's cpu at most %.2f times its reference's (median cpu ratio at least %.2f)\n",
                        limit, 1.0 / limit);
        std::printf("%-6s %-9s %25s %9s %24s %9s\n", "format", "", "cpu s", "wall s", "cpu ratio (ref / save)",
                    "verdict");
        // The saves start now (for measuring something else beside them).
        std::fflush(stdout);
        for (const Format& format : kFormats) {
            if (!only.empty() && only != format.name) continue;
            const fs::path out = dir / (std::string("saved") + format.extension);
            std::vector<Run> saves;
            std::vector<std::vector<Run>> refs(format.references.size());
            std::vector<bool> refUsable(format.references.size());
            for (size_t r = 0; r < refs.size(); ++r) refUsable[r] = HaveTool(format.references[r].tool);
            bool saved = true;
            for (long run = 0; run < runs && saved; ++run) {
                plat::ComPtr<IAudioEncoder> encoder(format.make());
                plat::ComPtr<ISong> song(CreateSongObject());
                if (!encoder || !song) return 1;
                encoder->SetCachePtr(cache.Get());
                encoder->SetConstantBitrate(128);
                song->SetLeftBorder(leftMs);
                song->SetRightBorder(leftMs + seconds * 1000);
                fs::remove(out);
                const auto began = Clock::now();
                const double cpu = CpuSeconds(RUSAGE_SELF);
                const HRESULT hr = encoder->Save(song.Get(), plat::Bstr(plat::ToUtf16(out.string())));
                saves.push_back({Seconds(began), CpuSeconds(RUSAGE_SELF) - cpu});
                if (FAILED(hr) || !fs::exists(out)) {
                    std::printf("%-6s save failed (0x%08X)\n", format.name, static_cast<unsigned>(hr));
                    saved = false;
                    result = 1;
                }
                for (size_t r = 0; saved && r < refs.size(); ++r) {
                    if (!refUsable[r]) continue;
                    const fs::path refOut = dir / (std::string("reference") + format.extension);
                    const std::string command =
                        "nice -n 10 " + Expand(format.references[r].command, dir / "source.wav", refOut);
                    const auto refBegan = Clock::now();
                    const double refCpu = CpuSeconds(RUSAGE_CHILDREN);
                    if (std::system(command.c_str()) == 0) {
                        refs[r].push_back({Seconds(refBegan), CpuSeconds(RUSAGE_CHILDREN) - refCpu});
                    } else {
                        std::printf("%-6s reference failed: %s\n", format.name, command.c_str());
                        refUsable[r] = false;
                        result = 1;
                    }
                }
            }
            if (!saved) continue;
            const Spread saveCpu = SpreadOf(Field(saves, &Run::cpu));
            const Spread saveWall = SpreadOf(Field(saves, &Run::seconds));
            const double kbps = fs::file_size(out) * 8.0 / seconds / 1000.0;
            std::printf("%-6s %-9s %7.2f / %6.2f / %6.2f %9.2f %24s %9s   %.1f x realtime, file %.1f kbit/s\n",
                        format.name, "save", saveCpu.min, saveCpu.median, saveCpu.max, saveWall.median, "", "",
                        seconds / saveWall.median, kbps);
            for (size_t r = 0; r < refs.size(); ++r) {
                const Reference& reference = format.references[r];
                if (!refUsable[r]) {
                    std::printf("%-6s %-9s %25s %9s %24s %9s   %s\n", "", "reference", "(skipped)", "-", "-", "-",
                                reference.command);
                    continue;
                }
                std::vector<double> ratios;
                for (size_t i = 0; i < refs[r].size(); ++i) ratios.push_back(refs[r][i].cpu / saves[i].cpu);
                const Spread refCpu = SpreadOf(Field(refs[r], &Run::cpu));
                const Spread ratio = SpreadOf(ratios);
                const char* verdict = "-";
                if (limit > 0 && reference.judged) {
                    const bool within = ratio.median * limit >= 1.0;
                    verdict = within ? "ok" : "TOO SLOW";
                    if (!within) result = 1;
                }
                const Spread refWall = SpreadOf(Field(refs[r], &Run::seconds));
                std::printf("%-6s %-9s %7.2f / %6.2f / %6.2f %9.2f %6.2f / %6.2f / %6.2f %9s   %s\n", "",
                            "reference", refCpu.min, refCpu.median, refCpu.max, refWall.median, ratio.min, ratio.median,
                            ratio.max, verdict, reference.command);
            }
        }
    }
    fs::remove_all(dir);
    if (result != 0)
        std::printf("encoder_bench: FAILED (a save or a reference failed, or a save used more than %.2f times its "
                    "reference's cpu)\n",
                    limit);
    return result;
}
