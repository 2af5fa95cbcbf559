#include "driver/WavFile.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

constexpr WORD kFormatExtensible = 0xFFFE;
constexpr size_t kMaxFileBytes = size_t{1} << 31;

uint32_t Le32(const BYTE* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t Le16(const BYTE* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

bool WavFile::Load(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot open " + path;
        return false;
    }
    in.seekg(0, std::ios::end);
    auto size = in.tellg();
    if (size < 0 || static_cast<size_t>(size) > kMaxFileBytes) {
        *error = path + " is too large";
        return false;
    }
    in.seekg(0);
    std::vector<BYTE> bytes(static_cast<size_t>(size));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) {
        *error = "cannot read " + path;
        return false;
    }
    return Parse(std::move(bytes), error);
}

bool WavFile::Parse(std::vector<BYTE> bytes, std::string* error) {
    m_bytes = std::move(bytes);
    const BYTE* b = m_bytes.data();
    const size_t size = m_bytes.size();
    if (size < 12 || std::memcmp(b, "RIFF", 4) != 0 || std::memcmp(b + 8, "WAVE", 4) != 0) {
        *error = "not a RIFF WAVE file";
        return false;
    }
    bool haveFormat = false, haveData = false;
    size_t pos = 12;
    while (pos + 8 <= size && !(haveFormat && haveData)) {
        const uint32_t chunkBytes = Le32(b + pos + 4);
        const size_t body = pos + 8;
        const size_t available = size - body;
        if (std::memcmp(b + pos, "fmt ", 4) == 0) {
            if (chunkBytes < 16 || chunkBytes > available) {
                *error = "damaged format chunk";
                return false;
            }
            WORD tag = Le16(b + body);
            if (tag == kFormatExtensible && chunkBytes >= 40) tag = Le16(b + body + 24);  // the sub-format
            m_format.wFormatTag = tag;
            m_format.nChannels = Le16(b + body + 2);
            m_format.nSamplesPerSec = Le32(b + body + 4);
            m_format.nAvgBytesPerSec = Le32(b + body + 8);
            m_format.nBlockAlign = Le16(b + body + 12);
            m_format.wBitsPerSample = Le16(b + body + 14);
            m_format.cbSize = 0;
            haveFormat = true;
        } else if (std::memcmp(b + pos, "data", 4) == 0) {
            // A length beyond the end (files cut short, or streamed) keeps what is there.
            m_dataOffset = body;
            m_dataBytes = chunkBytes < available ? chunkBytes : available;
            haveData = true;
        }
        pos = body + chunkBytes + (chunkBytes & 1);
        if (pos < body) break;  // overflow
    }
    if (!haveFormat || !haveData) {
        *error = haveFormat ? "no data chunk" : "no format chunk";
        return false;
    }
    const OWAVEFORMATEX& f = m_format;
    if (f.wFormatTag != WAVE_FORMAT_PCM || (f.nChannels != 1 && f.nChannels != 2) ||
        (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) || f.nSamplesPerSec < 1000 || f.nSamplesPerSec > 768000 ||
        f.nBlockAlign != f.nChannels * f.wBitsPerSample / 8) {
        *error = "only uncompressed PCM of 1 or 2 channels, 8 or 16 bits, 1000 to 768000 Hz is supported";
        return false;
    }
    m_format.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
    m_dataBytes -= m_dataBytes % f.nBlockAlign;
    return true;
}
