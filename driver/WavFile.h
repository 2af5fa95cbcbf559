#pragma once
// Reads a RIFF WAVE file of uncompressed PCM (1 or 2 channels, 8 or 16 bits).
#include <string>
#include <vector>

#include "ipc/QXServiceLib.h"

class WavFile {
public:
    // Parses the bytes of a file; false with a message for the user.
    bool Parse(std::vector<BYTE> bytes, std::string* error);
    bool Load(const std::string& path, std::string* error);

    // The format as a plain PCM record (tag 1, cbSize 0).
    const OWAVEFORMATEX& Format() const { return m_format; }
    const BYTE* Data() const { return m_bytes.data() + m_dataOffset; }
    size_t DataBytes() const { return m_dataBytes; }

private:
    std::vector<BYTE> m_bytes;
    OWAVEFORMATEX m_format{};
    size_t m_dataOffset = 0;
    size_t m_dataBytes = 0;
};
