#include "service/audio/KSongDetector.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "log/Trace.h"
#include "service/foundation/ByteTime.h"

namespace SoundProcessing {

namespace {
constexpr DWORD kStreamBytesPerSecond = 192000;
}

KSongDetector::KSongDetector() {
    m_tcMinLength.Set(0, 0, 10, 0);
    m_tcMaxLength.Set(0, 10, 0, 0);
}

KSongDetector::~KSongDetector() = default;

HRESULT KSongDetector::SetWindow(DWORD ms) {
    const uint64_t frames = static_cast<uint64_t>(ms) * kRate / 1000;
    if (frames == 0 || ms > kMaxWindowMs) {
        TQ_TRACE_HR("E_INVALIDARG");
        TQ_REPORT(EC_INTERNAL, E_INVALIDARG, u"Invalid song detection window");
        return E_INVALIDARG;
    }
    m_nWindowLength = static_cast<LONG>(frames);
    m_vWindow.assign(frames * 2, 0);
    m_vWindow.shrink_to_fit();
    m_nFill = 0;
    return S_OK;
}

void KSongDetector::SetMaxLength(const KTimecode& maxLength) { m_tcMaxLength = maxLength; }

void KSongDetector::SetListener(IQXListener* listener) {
    if (listener != m_pListener.Get()) m_pListener = listener;
}

void KSongDetector::Reset() {
    m_bSoundHeard = false;
    m_bStarted = false;
}

bool KSongDetector::IsLoudWindow() const {
    int64_t sum[2] = {0, 0};
    int64_t squares[2] = {0, 0};
    const short* p = m_vWindow.data();
    for (LONG i = 0; i < m_nWindowLength; ++i, p += 2) {
        for (int c = 0; c < 2; ++c) {
            sum[c] += p[c];
            squares[c] += static_cast<int64_t>(p[c]) * p[c];
        }
    }
    const double n = m_nWindowLength;
    for (int c = 0; c < 2; ++c) {
        double mean = static_cast<double>(sum[c]) / n;
        double variance = static_cast<double>(squares[c]) / n - mean * mean;
        if (std::fabs(mean) >= kLoudMean || variance >= kLoudVariance) return true;
    }
    return false;
}

HRESULT KSongDetector::AnalizeBlock(const short* samples, LONG bytes, LONGLONG position) {
    if (!samples && bytes > 0) return E_POINTER;
    if (bytes < 0 || position < 0) return E_INVALIDARG;
    if (m_vWindow.empty() || m_nWindowLength <= 0 || bytes < static_cast<LONG>(kFrameBytes)) return S_OK;
    const LONG frames = bytes / static_cast<LONG>(kFrameBytes);
    LONG consumed = 0;
    while (consumed < frames) {
        LONG n = std::min(m_nWindowLength - m_nFill, frames - consumed);
        std::memcpy(m_vWindow.data() + static_cast<size_t>(m_nFill) * 2, samples + static_cast<size_t>(consumed) * 2,
                    static_cast<size_t>(n) * kFrameBytes);
        m_nFill += n;
        consumed += n;
        if (m_nFill < m_nWindowLength) break;

        m_nFill = 0;
        if (IsLoudWindow()) {
            m_bSoundHeard = true;
        } else {
            CloseSegment(position + static_cast<LONGLONG>(kFrameBytes) * consumed, true, true);
        }
    }
    return S_OK;
}

void KSongDetector::CloseSegment(LONGLONG position, bool requireSound, bool checkLength) {
    if (!m_bStarted) {
        m_bStarted = true;
        m_llSegmentStart = position;
        return;
    }
    if (requireSound && !m_bSoundHeard) return;

    const DWORD startMs = SaturateToDword(BytesToMilliseconds(static_cast<ULONGLONG>(m_llSegmentStart), kStreamBytesPerSecond));
    const DWORD endMs = SaturateToDword(BytesToMilliseconds(static_cast<ULONGLONG>(position), kStreamBytesPerSecond));
    if (startMs >= endMs) return;

    KTimecode start, end;
    start.FromMilliseconds(startMs);
    end.FromMilliseconds(endMs);
    KTimecode length = end.Subtract(start.ToHundredNs());

    if (checkLength) {
        if (length.IsLessOrEqual(m_tcMinLength)) return;  // too short yet: the segment goes on
        if (length.IsGreater(m_tcMaxLength)) {
            // Too long to be a song: counting starts again here. What was heard
            // belongs to the dropped segment, so the pause that follows is not
            // taken for a song of its own.
            m_llSegmentStart = position;
            m_bSoundHeard = false;
            return;
        }
    }
    if (start.IsEqual(end)) return;

    if (m_pListener) m_pListener->OnSongFound(startMs, endMs);
    m_llSegmentStart = position;
    m_bSoundHeard = false;
}

void KSongDetector::MarkBoundary(LONGLONG position) { CloseSegment(position, false, false); }

}  // namespace SoundProcessing
