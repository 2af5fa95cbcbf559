#include "driver/RingWriter.h"

#include <cstring>

#include "platform/driver/DriverProtocol.h"

using namespace plat::drv;

RingWriter::RingWriter(BYTE* section) : m_section(section) {}

void RingWriter::Reset() {
    m_write = 0;
    StoreWord(m_section, READ_OFFSET_POS, 0);
    StoreWord(m_section, CONSUMED_AUDIO_POS, 0);
    StoreWord(m_section, WRITE_OFFSET_POS, 0);
}

DWORD RingWriter::FreeBytes() const {
    DWORD read = LoadWord(m_section, READ_OFFSET_POS);
    if (read > RING_SIZE_BYTE) return 0;
    if (read == RING_SIZE_BYTE) read = 0;
    const DWORD used = (m_write + RING_SIZE_BYTE - read) % RING_SIZE_BYTE;
    return RING_SIZE_BYTE - 1 - used;
}

void RingWriter::Put(const BYTE* data, DWORD bytes) {
    const DWORD first = bytes < RING_SIZE_BYTE - m_write ? bytes : RING_SIZE_BYTE - m_write;
    std::memcpy(m_section + m_write, data, first);
    std::memcpy(m_section, data + first, bytes - first);
    m_write = (m_write + bytes) % RING_SIZE_BYTE;
}

bool RingWriter::Write(DWORD tag, const BYTE* payload, DWORD bytes) {
    if (bytes > MAX_PAYLOAD_BYTE) return false;
    // A tag is never split at the ring end: when fewer bytes than a tag are
    // left there, they are filled with zeros (which the reader skips).
    const DWORD padding = RING_SIZE_BYTE - m_write < TAG_BYTE ? RING_SIZE_BYTE - m_write : 0;
    const uint64_t need = uint64_t{padding} + RECORD_HEADER_BYTE + bytes;
    if (need > FreeBytes()) return false;
    static const BYTE kZeros[TAG_BYTE] = {};
    Put(kZeros, padding);
    BYTE header[RECORD_HEADER_BYTE];
    WriteLe32(header, tag);
    WriteLe32(header + 4, bytes);
    Put(header, sizeof(header));
    Put(payload, bytes);
    Republish();
    return true;
}

void RingWriter::Republish() { StoreWord(m_section, WRITE_OFFSET_POS, m_write); }
