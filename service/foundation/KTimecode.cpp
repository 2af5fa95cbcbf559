#include "service/foundation/KTimecode.h"

#include <atomic>

namespace {

// Written once at start, read afterwards.
std::atomic<LONG> g_rateMode{3};

constexpr BYTE kInvalidFlag = 0x40;

BYTE Encode(unsigned v) {
    v &= 0xFF;
    return static_cast<BYTE>((((v / 10) << 4) & 0xFF) + (v % 10));
}

unsigned Decode(BYTE b) { return (b >> 4) * 10u + (b & 0x0F); }

bool IsHundredths(LONG mode) { return mode == KTimecode::kHundredthsMode; }

// 100-ns units of one sub-second field when converting to 100-ns counts.
LONGLONG UnitOf(LONG mode) {
    switch (mode) {
        case 0: return 333667;
        case 1: return 400000;
        case 2: return 416667;
        case 7: return 100000;
        default: return 400000;
    }
}

// Divisor when converting from 100-ns counts.
LONGLONG DivisorOf(LONG mode) {
    switch (mode) {
        case 0: return 333667;
        case 1: return 400000;
        case 2: return 416667;
        case 7: return 100000;
        default: return 333333;
    }
}

DWORD FieldsPerSecond(LONG mode) {
    switch (mode) {
        case 0: return 30;
        case 1: return 25;
        case 2: return 24;
        case 3: return 29;
        default: return 100;
    }
}

}  // namespace

LONG KTimecode::GetRateMode() { return g_rateMode.load(std::memory_order_relaxed); }
void KTimecode::SetRateMode(LONG mode) { g_rateMode.store(mode, std::memory_order_relaxed); }

BYTE KTimecode::GetHours() const { return static_cast<BYTE>(Decode(m_bytes[3])); }
BYTE KTimecode::GetMinutes() const { return static_cast<BYTE>(Decode(m_bytes[2])); }
BYTE KTimecode::GetSeconds() const { return static_cast<BYTE>(Decode(m_bytes[1])); }

BYTE KTimecode::GetFrames() const {
    if (IsHundredths(GetRateMode())) return static_cast<BYTE>(Decode(m_bytes[0]));
    return static_cast<BYTE>(((m_bytes[0] >> 4) & 0x03) * 10u + (m_bytes[0] & 0x0F));
}

bool KTimecode::IsEqual(const KTimecode& other) const {
    for (int i = 0; i < 4; ++i)
        if (m_bytes[i] != other.m_bytes[i]) return false;
    return true;
}

void KTimecode::Set(BYTE hours, BYTE minutes, BYTE seconds, BYTE frames) {
    m_bytes[3] = Encode(hours);
    m_bytes[2] = Encode(minutes);
    m_bytes[1] = Encode(seconds);
    m_bytes[0] = Encode(frames);
}

void KTimecode::Clear() {
    m_bytes[0] = m_bytes[1] = m_bytes[2] = m_bytes[3] = 0;
    if (!IsHundredths(GetRateMode())) m_bytes[0] = kInvalidFlag;
}

LONGLONG KTimecode::ToHundredNs() const {
    LONG mode = GetRateMode();
    if (!IsHundredths(mode) && (m_bytes[0] & kInvalidFlag)) return -1;
    LONGLONG whole = (static_cast<LONGLONG>(GetHours()) * 60 + GetMinutes()) * 60 + GetSeconds();
    return static_cast<LONGLONG>(GetFrames()) * UnitOf(mode) + whole * 10000000LL;
}

void KTimecode::FromHundredNs(LONGLONG t) {
    LONG mode = GetRateMode();
    if (t < 0) {
        if (IsHundredths(mode)) m_bytes[0] = m_bytes[1] = m_bytes[2] = m_bytes[3] = 0;
        else m_bytes[0] |= kInvalidFlag;
        return;
    }
    LONGLONG hours = t / 10000000LL / 3600;
    t -= hours * 36000000000LL;
    LONGLONG minutes = t / 10000000LL / 60;
    t -= minutes * 600000000LL;
    LONGLONG seconds = t / 10000000LL;
    t -= seconds * 10000000LL;
    LONGLONG frames = t / DivisorOf(mode);
    m_bytes[0] = Encode(static_cast<unsigned>(frames));
    m_bytes[1] = Encode(static_cast<unsigned>(seconds));
    m_bytes[2] = Encode(static_cast<unsigned>(minutes));
    m_bytes[3] = Encode(static_cast<unsigned>(hours & 0xFF));
}

void KTimecode::FromMilliseconds(DWORD milliseconds) { FromHundredNs(static_cast<LONGLONG>(milliseconds) * 10000); }

KTimecode KTimecode::Subtract(LONGLONG t) const {
    KTimecode copy = *this;
    if (!IsHundredths(GetRateMode()) && (copy.m_bytes[0] & kInvalidFlag))
        copy.m_bytes[0] = copy.m_bytes[1] = copy.m_bytes[2] = copy.m_bytes[3] = 0;
    if (t < 0) return copy;
    LONGLONG v = copy.ToHundredNs();
    if (v < t) t = v;
    KTimecode result = copy;
    result.FromHundredNs(v - t);
    return result;
}

bool KTimecode::IsGreater(const KTimecode& other) const {
    auto a = static_cast<uint32_t>(other.ToHundredNs() / 10000);
    auto b = static_cast<uint32_t>(ToHundredNs() / 10000);
    return a < b;
}

bool KTimecode::IsLessOrEqual(const KTimecode& other) const {
    auto a = static_cast<uint32_t>(other.ToHundredNs() / 10000);
    auto b = static_cast<uint32_t>(ToHundredNs() / 10000);
    return a >= b;
}

LONG KTimecode::GetRate() {
    switch (GetRateMode()) {
        case 1: return 25;
        case 2: return 24;
        case 7: return 100;
        default: return 30;
    }
}

void KTimecode::Zero() { m_bytes[0] = m_bytes[1] = m_bytes[2] = m_bytes[3] = 0; }

void KTimecode::SetInvalid(bool on) {
    if (IsHundredths(GetRateMode())) {
        if (on) Zero();
        return;
    }
    if (on) m_bytes[0] |= kInvalidFlag;
    else m_bytes[0] &= static_cast<BYTE>(~kInvalidFlag);
}

bool KTimecode::IsInvalid() const {
    return !IsHundredths(GetRateMode()) && (m_bytes[0] & kInvalidFlag) != 0;
}

void KTimecode::SetHours(int hours) {
    if (IsInvalid()) Zero();
    if (hours < 0) hours = 99;
    else if (hours >= 100) hours = 0;
    m_bytes[3] = Encode(static_cast<unsigned>(hours));
}

namespace {

// Splits a field's value into whole carries of `per` and the rest in [0, per).
void Carry(int value, int per, int& carry, int& rest) {
    carry = value / per;
    rest = value % per;
    if (rest < 0) {
        rest += per;
        --carry;
    }
}

}  // namespace

void KTimecode::SetMinutes(int minutes) {
    if (IsInvalid()) Zero();
    int carry = 0, rest = 0;
    Carry(minutes, 60, carry, rest);
    // Carried one hour at a time, hours wrap around 100.
    if (carry != 0) SetHours(((static_cast<int>(GetHours()) + carry) % 100 + 100) % 100);
    m_bytes[2] = Encode(static_cast<unsigned>(rest));
}

void KTimecode::SetSeconds(int seconds) {
    if (IsInvalid()) Zero();
    int carry = 0, rest = 0;
    Carry(seconds, 60, carry, rest);
    if (carry != 0) SetMinutes(static_cast<int>(GetMinutes()) + carry);
    m_bytes[1] = Encode(static_cast<unsigned>(rest));
}

void KTimecode::SetFrames(int frames) {
    if (IsInvalid()) Zero();
    int carry = 0, rest = 0;
    Carry(frames, static_cast<int>(GetRate()), carry, rest);
    if (carry != 0) SetSeconds(static_cast<int>(GetSeconds()) + carry);
    m_bytes[0] = Encode(static_cast<unsigned>(rest));
}

KTimecode KTimecode::Add(LONGLONG count) const {
    KTimecode result = *this;
    if (count < 0) return result;
    if (result.IsInvalid()) result.Zero();
    result.FromHundredNs(result.ToHundredNs() + count);
    return result;
}

LONGLONG KTimecode::ToMilliseconds() const { return ToHundredNs() / 10000; }

// 64-bit all the way: a 32-bit product of milliseconds and 10000 overflows
// after about seven minutes.
void KTimecode::AssignMilliseconds(LONGLONG milliseconds) { FromHundredNs(milliseconds * 10000); }

ULONGLONG TimecodeToBytes(const KTimecode& tc, DWORD rate) {
    DWORD fields = FieldsPerSecond(KTimecode::GetRateMode());
    ULONGLONG whole = (static_cast<ULONGLONG>(tc.GetHours()) * 3600 + tc.GetMinutes() * 60ull + tc.GetSeconds()) *
                      static_cast<ULONGLONG>(rate);
    DWORD part = static_cast<DWORD>(static_cast<DWORD>(tc.GetFrames()) * rate) / fields;
    return whole + part;
}

ULONGLONG TimecodeToBytes(const STimecodeRate& value) { return TimecodeToBytes(value.timecode, value.rate); }
