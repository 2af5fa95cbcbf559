#pragma once
// Reads saved audio files back with the system's own decoder tools (ffprobe,
// ffmpeg) so that tests judge our files by what other programs make of them.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace enctest {

// Runs a shell command and returns its standard output; *status gets the
// exit status (-1 when it could not be started).
std::string RunCommand(const std::string& command, int* status = nullptr);
// The text quoted for a shell command line.
std::string ShellQuote(const std::string& text);
bool HaveTool(const char* name);

struct ProbedAudio {
    std::string format;  // container, e.g. "aac" (ADTS) or "asf"
    std::string codec;
    std::string profile;
    int sampleRate = 0;
    int channels = 0;
    double declaredSeconds = -1;         // the length the file declares (-1: none)
    int64_t decodedFrames = -1;          // samples per channel after a full decode
    bool decodedCleanly = false;          // the decoder reported no error
    std::map<std::string, std::string> tags;  // container tags, lower-case keys
};
// False when ffprobe finds no audio stream.
bool ProbeAudio(const std::string& path, ProbedAudio* out);

// The tags of a file under their names in the file (ASF attribute names,
// ID3v2 frame ids, Vorbis comment names), read with python3-mutagen; several
// values of one name are joined with "|". Empty when the file has none or
// mutagen cannot read it.
std::map<std::string, std::string> ReadRawTags(const std::string& path);
// The first value of a tag that ReadRawTags read ("" when absent).
std::string FirstValue(const std::map<std::string, std::string>& tags, const std::string& name);
// Every value of every tag whose name is `name` in any letter case: a field
// stored twice, under one name or two, gives two values.
std::vector<std::string> AllValues(const std::map<std::string, std::string>& tags, const std::string& name);

// Interleaved 16-bit stereo: a sine tone at the given amplitude.
std::vector<int16_t> StereoTone(uint32_t frames, uint32_t rate, double hz, double amplitude = 0.5);

}  // namespace enctest
