#pragma once
// Plays a WAVE file once, in its own format, in real time.
#include "driver/AudioSource.h"
#include "driver/Pacer.h"
#include "driver/WavFile.h"

class WavSource : public AudioSource {
public:
    explicit WavSource(std::string path);
    bool Open(std::string* error) override;
    const OWAVEFORMATEX& Format() const override { return m_file.Format(); }
    ReadResult Read(std::vector<BYTE>* chunk, plat::Event& stop, std::string* error) override;

private:
    std::string m_path;
    WavFile m_file;
    Pacer m_pacer{std::chrono::microseconds(10000)};
    size_t m_position = 0;
};
