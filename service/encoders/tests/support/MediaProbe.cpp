#include "service/encoders/tests/support/MediaProbe.h"

#include <sys/wait.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <sstream>

namespace enctest {

std::string RunCommand(const std::string& command, int* status) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) {
        if (status) *status = -1;
        return out;
    }
    char buf[4096];
    while (size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    int st = ::pclose(p);
    if (status) *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return out;
}

std::string ShellQuote(const std::string& text) {
    std::string q = "'";
    for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

bool HaveTool(const char* name) {
    int status = -1;
    RunCommand(std::string("command -v ") + name + " >/dev/null 2>&1", &status);
    return status == 0;
}

bool ProbeAudio(const std::string& path, ProbedAudio* out) {
    *out = ProbedAudio{};
    int status = -1;
    const std::string text = RunCommand("ffprobe -v error -select_streams a:0 -show_entries "
                                        "stream=codec_name,profile,sample_rate,channels:format=format_name,duration:"
                                        "format_tags -of default=nw=1 " +
                                            ShellQuote(path) + " 2>/dev/null",
                                        &status);
    if (status != 0) return false;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "codec_name") out->codec = value;
        else if (key == "profile") out->profile = value;
        else if (key == "sample_rate") out->sampleRate = std::atoi(value.c_str());
        else if (key == "channels") out->channels = std::atoi(value.c_str());
        else if (key == "format_name") out->format = value;
        else if (key == "duration" && value != "N/A") out->declaredSeconds = std::atof(value.c_str());
        else if (key.rfind("TAG:", 0) == 0) {
            std::string tag = key.substr(4);
            for (char& c : tag) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            out->tags[tag] = value;
        }
    }
    if (out->codec.empty()) return false;
    // Decoded length and decoder errors: one full decode into a scratch file.
    const std::string raw = path + ".decoded.raw";
    const std::string errors = RunCommand("ffmpeg -nostdin -y -v error -xerror -i " + ShellQuote(path) +
                                              " -f s16le -ac 1 " + ShellQuote(raw) + " 2>&1",
                                          &status);
    out->decodedCleanly = status == 0 && errors.empty();
    if (FILE* f = std::fopen(raw.c_str(), "rb")) {
        std::fseek(f, 0, SEEK_END);
        out->decodedFrames = std::ftell(f) / 2;
        std::fclose(f);
    }
    std::remove(raw.c_str());
    return true;
}

std::map<std::string, std::string> ReadRawTags(const std::string& path) {
    static const char* script =
        "import sys, mutagen\n"
        "f = mutagen.File(sys.argv[1])\n"
        "tags = f.tags if f is not None and f.tags is not None else {}\n"
        "for k, v in tags.items():\n"
        "    vals = v if isinstance(v, list) else [v]\n"
        "    sys.stdout.write(str(k) + '=' + '|'.join(str(x) for x in vals) + '\\n')\n";
    int status = -1;
    const std::string text =
        RunCommand("/usr/bin/python3 -c " + ShellQuote(script) + " " + ShellQuote(path) + " 2>/dev/null", &status);
    std::map<std::string, std::string> tags;
    if (status != 0) return tags;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        auto eq = line.find('=');
        if (eq != std::string::npos) tags[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return tags;
}

std::string FirstValue(const std::map<std::string, std::string>& tags, const std::string& name) {
    auto it = tags.find(name);
    return it == tags.end() ? std::string() : it->second.substr(0, it->second.find('|'));
}

std::vector<std::string> AllValues(const std::map<std::string, std::string>& tags, const std::string& name) {
    auto lower = [](std::string text) {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    std::vector<std::string> values;
    for (const auto& [key, joined] : tags) {
        if (lower(key) != lower(name)) continue;
        std::istringstream parts(joined);
        for (std::string v; std::getline(parts, v, '|');) values.push_back(v);
        if (!joined.empty() && joined.back() == '|') values.emplace_back();
        if (joined.empty()) values.emplace_back();
    }
    return values;
}

std::vector<int16_t> StereoTone(uint32_t frames, uint32_t rate, double hz, double amplitude) {
    std::vector<int16_t> pcm(size_t(frames) * 2);
    for (uint32_t i = 0; i < frames; ++i) {
        double v = amplitude * 32767.0 * std::sin(2.0 * std::numbers::pi * hz * i / rate);
        pcm[2 * size_t(i)] = pcm[2 * size_t(i) + 1] = static_cast<int16_t>(std::lround(v));
    }
    return pcm;
}

}  // namespace enctest
