#pragma once
// The driver's side of the section's ring: appends whole records after the
// bytes the service has not read yet, never over them, always leaving one
// byte free (a full ring would read as empty). The write offset it announces
// is its own and is announced again after every record, so a stale value
// stored by a reader does not last.
#include "platform/core/WinTypes.h"

class RingWriter {
public:
    // `section` is the mapped section (ring followed by the offset words).
    explicit RingWriter(BYTE* section);

    // Starts an empty ring: the offsets and the consumed-audio counter are 0.
    void Reset();
    // Writes one record and announces it. False, writing nothing, when the
    // ring has no room for it (or the reader's offset makes no sense).
    bool Write(DWORD tag, const BYTE* payload, DWORD bytes);
    // Announces the write offset again.
    void Republish();

    DWORD WriteOffset() const { return m_write; }
    // Bytes that can be written now (0 when the reader's offset is invalid).
    DWORD FreeBytes() const;

private:
    void Put(const BYTE* data, DWORD bytes);

    BYTE* m_section;
    DWORD m_write = 0;
};
