#pragma once
// A stream over bytes in memory: reads from a position that writes also
// move, writes overwrite or extend. An optional capacity makes writes beyond
// it fail, like a full medium.
#include <cstddef>
#include <limits>
#include <vector>

#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/storage/Storage.h"

namespace plat {

class MemoryStream : public ComObject<MemoryStream, IStream> {
public:
    // A stream holding the given bytes, positioned at their start; null when
    // memory runs out.
    static ComPtr<MemoryStream> Make(std::vector<uint8_t> bytes = {});

    HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override;
    HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override;

    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    size_t Position() const { return m_position; }
    void Rewind() { m_position = 0; }
    // Writes that would end beyond capacity bytes write what fits and fail.
    void SetCapacity(size_t capacity) { m_capacity = capacity; }

private:
    friend class ComObject<MemoryStream, IStream>;
    explicit MemoryStream(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}
    ~MemoryStream() override = default;

    std::vector<uint8_t> m_bytes;
    size_t m_position = 0;
    size_t m_capacity = std::numeric_limits<size_t>::max();
};

}  // namespace plat
