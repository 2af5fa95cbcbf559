#pragma once
// The record archive over a stream: reads and writes records through it.
#include "platform/com/ComPtr.h"
#include "platform/storage/Storage.h"
#include "service/foundation/IArchive.h"

namespace ser {

class KIStreamArchive : public IArchive {
public:
    KIStreamArchive() = default;
    // An archive over a stream it already has (a new reference is taken).
    explicit KIStreamArchive(IStream* stream) : m_pStream(stream) {}
    ~KIStreamArchive() override = default;
    KIStreamArchive(const KIStreamArchive&) = delete;
    KIStreamArchive& operator=(const KIStreamArchive&) = delete;

    int ReadRecord(std::u16string& name, std::u16string& value) override;
    bool WriteRecord(int type, std::u16string_view name, std::u16string_view value) override;
    int SkipGroup() override;

    // Opens a named stream of a storage, for reading (STGM_READ |
    // STGM_SHARE_EXCLUSIVE) or writing (STGM_CREATE | STGM_WRITE |
    // STGM_SHARE_EXCLUSIVE), after releasing the current one. False when no
    // storage is given or the storage refuses; the storage's HRESULT is kept
    // (LastOpenResult).
    bool OpenStream(IStorage* storage, const char16_t* streamName, bool forWriting);
    bool IsOpen() const { return static_cast<bool>(m_pStream); }
    void ReleaseStream() { m_pStream = nullptr; }
    HRESULT LastOpenResult() const { return m_hrOpen; }

    // What was written through the current stream since it was opened: the
    // byte count and their CRC-32C, the check a stored file keeps beside it.
    uint64_t WrittenBytes() const { return m_nWritten; }
    uint32_t WrittenCrc() const { return m_nWrittenCrc; }

protected:
    // Reads and writes go to this stream from now on.
    void AttachStream(plat::ComPtr<IStream> stream) {
        m_pStream = std::move(stream);
        m_nWritten = 0;
        m_nWrittenCrc = 0;
    }

private:
    bool ReadExact(void* buffer, size_t size);
    bool WriteExact(const void* buffer, size_t size);
    bool ReadString(std::u16string& text);
    bool WriteString(std::u16string_view text);

    plat::ComPtr<IStream> m_pStream;
    HRESULT m_hrOpen = S_OK;
    uint64_t m_nWritten = 0;
    uint32_t m_nWrittenCrc = 0;
};

}  // namespace ser
