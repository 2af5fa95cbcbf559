#pragma once
// A steady sine tone in the engine's format, for demonstrations and tests.
#include "driver/AudioSource.h"
#include "driver/Pacer.h"

class ToneSource : public AudioSource {
public:
    static constexpr double kFrequencyHz = 1000.0;
    static constexpr int kPeak = 16384;  // half of full scale
    static constexpr DWORD kChunkFrames = 480;

    ToneSource();
    bool Open(std::string* error) override;
    const OWAVEFORMATEX& Format() const override { return m_format; }
    ReadResult Read(std::vector<BYTE>* chunk, plat::Event& stop, std::string* error) override;

private:
    OWAVEFORMATEX m_format;
    Pacer m_pacer;
    uint64_t m_frame = 0;
};
