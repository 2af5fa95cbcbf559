#pragma once
// What the audio driver device and the service agree on: the device and
// section names, the two control codes, the section's layout and the record
// tags. The offset words are shared between processes and are only ever read
// with acquire and written with release semantics, so that the bytes they
// cover are visible before the word that announces them.
#include <atomic>
#include <bit>

#include "platform/core/WinTypes.h"

namespace plat::drv {

inline constexpr const char16_t* kDevicePath = u"\\\\.\\ParvaneAD";
inline constexpr const char16_t* kSectionName = u"QXSection";

// Device type 0x22, functions 0x802 and 0x803, buffered, any access.
inline constexpr DWORD IOCTL_LINK_OPEN = 0x222008;
inline constexpr DWORD IOCTL_LINK_CLOSE = 0x22200C;

inline constexpr DWORD RING_SIZE_BYTE = 0x20000;
inline constexpr DWORD SECTION_SIZE_BYTE = 0x21000;
inline constexpr DWORD READ_OFFSET_POS = 0x20000;      // written by the service
inline constexpr DWORD WRITE_OFFSET_POS = 0x20004;     // written by the driver
inline constexpr DWORD CONSUMED_AUDIO_POS = 0x20008;   // written by the service

inline constexpr DWORD TAG_WFMT = 0x544D4657;  // "WFMT"
inline constexpr DWORD TAG_WAVE = 0x45564157;  // "WAVE"
inline constexpr DWORD RECORD_HEADER_BYTE = 8;
inline constexpr DWORD TAG_BYTE = 4;
// The longest payload a record may carry (the reader's assembly buffer).
inline constexpr DWORD MAX_PAYLOAD_BYTE = 0x20000;
// A wave-format payload: the 18-byte format record.
inline constexpr DWORD WAVE_FORMAT_BYTE = 18;

namespace detail {
inline DWORD ToLittle(DWORD v) {
    if constexpr (std::endian::native == std::endian::little) return v;
    else return __builtin_bswap32(v);
}
inline std::atomic_ref<DWORD> Word(const BYTE* view, DWORD offset) {
    // The section is page aligned and every word offset is a multiple of 4.
    return std::atomic_ref<DWORD>(*reinterpret_cast<DWORD*>(const_cast<BYTE*>(view) + offset));
}
}  // namespace detail

inline DWORD LoadWord(const BYTE* view, DWORD offset) {
    return detail::ToLittle(detail::Word(view, offset).load(std::memory_order_acquire));
}
inline void StoreWord(BYTE* view, DWORD offset, DWORD value) {
    detail::Word(view, offset).store(detail::ToLittle(value), std::memory_order_release);
}
// Replaces the word only while it still holds the expected value.
inline bool CompareExchangeWord(BYTE* view, DWORD offset, DWORD expected, DWORD desired) {
    DWORD e = detail::ToLittle(expected);
    return detail::Word(view, offset).compare_exchange_strong(e, detail::ToLittle(desired), std::memory_order_acq_rel,
                                                              std::memory_order_acquire);
}

// Little-endian 32-bit value at an unaligned place.
inline DWORD ReadLe32(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
           (static_cast<DWORD>(p[3]) << 24);
}
inline void WriteLe32(BYTE* p, DWORD v) {
    p[0] = static_cast<BYTE>(v);
    p[1] = static_cast<BYTE>(v >> 8);
    p[2] = static_cast<BYTE>(v >> 16);
    p[3] = static_cast<BYTE>(v >> 24);
}

}  // namespace plat::drv
