#include "driver/ToneSource.h"

#include <cmath>

ToneSource::ToneSource()
    : m_format{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0}, m_pacer(std::chrono::microseconds(10000)) {}

bool ToneSource::Open(std::string*) {
    m_frame = 0;
    return true;
}

AudioSource::ReadResult ToneSource::Read(std::vector<BYTE>* chunk, plat::Event& stop, std::string*) {
    if (!m_pacer.WaitNext(stop)) return ReadResult::Stopped;
    chunk->resize(kChunkFrames * 4);
    BYTE* p = chunk->data();
    for (DWORD i = 0; i < kChunkFrames; ++i, ++m_frame) {
        // The frame count wraps once a second so the phase stays exact.
        double t = static_cast<double>(m_frame % 48000) / 48000.0;
        auto v = static_cast<int16_t>(std::lround(kPeak * std::sin(2.0 * M_PI * kFrequencyHz * t)));
        auto u = static_cast<uint16_t>(v);
        for (int c = 0; c < 2; ++c) {
            *p++ = static_cast<BYTE>(u);
            *p++ = static_cast<BYTE>(u >> 8);
        }
    }
    return ReadResult::Data;
}
