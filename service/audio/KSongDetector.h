#pragma once
// Splits the recorded stream (PCM 48000 Hz, 2 channels, 16 bits) into songs
// at pauses. The stream is cut into windows of a fixed duration; a window is
// loud or quiet by the mean and variance of each channel. The first quiet
// window after sound closes the segment; a segment longer than the minimum
// and not longer than the maximum is reported to the listener as a song.
#include <vector>

#include "platform/com/ComPtr.h"
#include "service/audio/IQXListener.h"
#include "service/foundation/KTimecode.h"

namespace SoundProcessing {

class KSongDetector {
public:
    static constexpr DWORD kFrameBytes = 4;
    static constexpr DWORD kRate = 48000;
    // The longest window accepted, in milliseconds.
    static constexpr DWORD kMaxWindowMs = 60000;
    static constexpr double kLoudMean = 500.0;
    static constexpr double kLoudVariance = 1200.0;

    KSongDetector();
    virtual ~KSongDetector();
    KSongDetector(const KSongDetector&) = delete;
    KSongDetector& operator=(const KSongDetector&) = delete;

    // Sets the window duration and starts a new window. E_INVALIDARG, keeping
    // the current window, for a window of no frame or one above the limit.
    HRESULT SetWindow(DWORD ms);
    void SetMaxLength(const KTimecode& maxLength);
    void SetListener(IQXListener* listener);
    // Forgets the segment's state (the window and the segment start stay).
    void Reset();
    // Analyses a block of the stream; `position` is the stream's byte position
    // of its first byte. E_POINTER for bytes without samples, E_INVALIDARG
    // for a negative count or position; else S_OK.
    virtual HRESULT AnalizeBlock(const short* samples, LONG bytes, LONGLONG position);
    // Closes the current segment at a stream position.
    void CloseSegment(LONGLONG position, bool requireSound, bool checkLength);
    // A recording boundary: reports whatever segment is open and starts a new one.
    void MarkBoundary(LONGLONG position);

private:
    bool IsLoudWindow() const;

    plat::ComPtr<IQXListener> m_pListener;
    std::vector<short> m_vWindow;  // two samples a frame
    LONG m_nFill = 0;
    LONG m_nWindowLength = 0;
    bool m_bSoundHeard = false;
    bool m_bStarted = false;
    LONGLONG m_llSegmentStart = 0;
    KTimecode m_tcMinLength;
    KTimecode m_tcMaxLength;
};

}  // namespace SoundProcessing
