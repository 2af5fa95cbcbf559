#include "service/audio/KWave.h"

#include <cstring>

namespace {

int ReadSample(const BYTE* p, WORD bits) {
    if (bits == 16) return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
    return p[0];
}

// A sample in the source's depth brought to the target's depth.
int ConvertDepth(int sample, WORD from, WORD to) {
    if (from == to) return sample;
    if (from == 16) return (sample / 256 + 128) & 0xFF;  // truncated towards zero, then unsigned
    return (sample - 128) * 256;
}

void WriteSample(BYTE* p, int sample, WORD bits) {
    if (bits == 16) {
        auto v = static_cast<uint16_t>(static_cast<int16_t>(sample));
        p[0] = static_cast<BYTE>(v);
        p[1] = static_cast<BYTE>(v >> 8);
    } else {
        p[0] = static_cast<BYTE>(sample);
    }
}

}  // namespace

KWave::KWave() : m_work(kInitialWorkBytes) {}

KWave::~KWave() = default;

bool KWave::IsValidPcm(const OWAVEFORMATEX* format) {
    if (!format) return false;
    if (format->nChannels != 1 && format->nChannels != 2) return false;
    if (format->wBitsPerSample != 8 && format->wBitsPerSample != 16) return false;
    if (format->nSamplesPerSec < kMinRate || format->nSamplesPerSec > kMaxRate) return false;
    if (format->nBlockAlign != format->wBitsPerSample / 8 * format->nChannels) return false;
    return format->nAvgBytesPerSec == format->nSamplesPerSec * format->nBlockAlign;
}

bool KWave::SetSource(const OWAVEFORMATEX* format, const BYTE* data, DWORD bytes) {
    if (!IsValidPcm(format) || (!data && bytes > 0)) return false;
    std::memcpy(&m_wfSource, format, sizeof(OWAVEFORMATEX));
    m_pSource = data;
    m_dwSourceBytes = bytes;
    m_bHasSource = true;
    return true;
}

bool KWave::Convert(const OWAVEFORMATEX* target, BYTE** outData, DWORD* outBytes) {
    if (!IsValidPcm(target) || !outData || !outBytes) return false;
    if (!m_bHasSource) {
        *outData = nullptr;
        return false;
    }
    return ConvertSamples(target, outData, outBytes);
}

bool KWave::ConvertSamples(const OWAVEFORMATEX* target, BYTE** outData, DWORD* outBytes) {
    const OWAVEFORMATEX& s = m_wfSource;
    const OWAVEFORMATEX& t = *target;
    if (std::memcmp(&s, &t, sizeof(OWAVEFORMATEX)) == 0) {
        *outBytes = m_dwSourceBytes;
        *outData = const_cast<BYTE*>(m_pSource);
        return true;
    }

    // The phase is counted in parts of a source frame; a new source rate
    // keeps the same fraction.
    if (m_dwPhaseRate != s.nSamplesPerSec) {
        if (m_dwPhaseRate != 0) m_llPhase = m_llPhase * s.nSamplesPerSec / m_dwPhaseRate;
        m_dwPhaseRate = s.nSamplesPerSec;
    }
    const uint64_t frames = m_dwSourceBytes / s.nBlockAlign;
    const uint64_t outFrames = (m_llPhase + frames * t.nSamplesPerSec) / s.nSamplesPerSec;
    const uint64_t total = outFrames * t.nBlockAlign;
    if (total > kMaxOutputBytes) return false;
    if (m_work.size() < total) m_work.resize(total);

    BYTE* out = m_work.data();
    BYTE* const end = out + total;
    const BYTE* in = m_pSource;
    for (uint64_t i = 0; i < frames; ++i, in += s.nBlockAlign) {
        m_llPhase += t.nSamplesPerSec;
        if (m_llPhase < s.nSamplesPerSec) continue;  // this frame is left out

        int left = ReadSample(in, s.wBitsPerSample);
        int right = s.nChannels == 2 ? ReadSample(in + s.wBitsPerSample / 8, s.wBitsPerSample) : left;
        if (s.nChannels == 2 && t.nChannels == 1) left = (left + right) >> 1;  // floor of the mean
        BYTE frame[4];
        WriteSample(frame, ConvertDepth(left, s.wBitsPerSample, t.wBitsPerSample), t.wBitsPerSample);
        if (t.nChannels == 2)
            WriteSample(frame + t.wBitsPerSample / 8, ConvertDepth(right, s.wBitsPerSample, t.wBitsPerSample),
                        t.wBitsPerSample);
        while (m_llPhase >= s.nSamplesPerSec && out < end) {
            std::memcpy(out, frame, t.nBlockAlign);
            out += t.nBlockAlign;
            m_llPhase -= s.nSamplesPerSec;
        }
    }
    *outData = m_work.data();
    *outBytes = static_cast<DWORD>(out - m_work.data());
    return true;
}
