#pragma once
// A time value of four BCD bytes: sub-second field ("frames"), seconds,
// minutes, hours. The meaning of the sub-second field follows one
// process-wide rate mode; both programs use mode 7 (hundredths of a second).
#include "platform/core/WinTypes.h"

class KTimecode {
public:
    static constexpr LONG kHundredthsMode = 7;

    KTimecode() = default;

    BYTE GetHours() const;
    BYTE GetMinutes() const;
    BYTE GetSeconds() const;
    BYTE GetFrames() const;

    static LONG GetRateMode();
    // Set once at program start, before other threads exist.
    static void SetRateMode(LONG mode);

    bool IsEqual(const KTimecode& other) const;
    void Set(BYTE hours, BYTE minutes, BYTE seconds, BYTE frames);
    void Clear();
    // Count of 100-ns units, -1 for a value that holds no time.
    LONGLONG ToHundredNs() const;
    void FromHundredNs(LONGLONG count);
    void FromMilliseconds(DWORD milliseconds);
    // This value less a count of 100-ns units, never below zero.
    KTimecode Subtract(LONGLONG count) const;
    bool IsGreater(const KTimecode& other) const;
    bool IsLessOrEqual(const KTimecode& other) const;

    // Operations of the desktop's time-code entry.
    // Units of the sub-second field per second in the current mode.
    static LONG GetRate();
    void Zero();
    // In the hundredths mode the flag is not used: setting it clears the value.
    void SetInvalid(bool on);
    bool IsInvalid() const;
    // Each setter keeps the field in range: hours wrap (below 0 gives 99,
    // 100 or more gives 0); the others borrow from or carry into the next
    // field up, through that field's setter.
    void SetHours(int hours);
    void SetMinutes(int minutes);
    void SetSeconds(int seconds);
    void SetFrames(int frames);
    // This value plus a count of 100-ns units; a negative count changes
    // nothing and a value that holds no time counts as zero.
    KTimecode Add(LONGLONG count) const;
    LONGLONG ToMilliseconds() const;
    void AssignMilliseconds(LONGLONG milliseconds);

    const BYTE* Bytes() const { return m_bytes; }
    BYTE* Bytes() { return m_bytes; }

private:
    BYTE m_bytes[4] = {0, 0, 0, 0};  // frames, seconds, minutes, hours
};

struct STimecodeRate {
    KTimecode timecode;
    DWORD rate;  // units per second (bytes per second of a stream)
};

// The time code as a count of units at the given rate.
ULONGLONG TimecodeToBytes(const STimecodeRate& value);
ULONGLONG TimecodeToBytes(const KTimecode& timecode, DWORD rate);
