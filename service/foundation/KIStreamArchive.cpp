#include "service/foundation/KIStreamArchive.h"

#include <algorithm>
#include <bit>

#include "service/foundation/Crc32c.h"

namespace ser {

static_assert(std::endian::native == std::endian::little,
              "records are stored in the little-endian layout of the machine");

namespace {

// Strings are read in pieces, so that a damaged count costs no more memory
// than the stream really holds.
constexpr size_t kReadPieceUnits = 32768;

}  // namespace

bool SkipToGroupEnd(IArchive* archive, int depth) {
    std::u16string name, value;
    while (depth > 0) {
        switch (archive->ReadRecord(name, value)) {
            case rt_begin: ++depth; break;
            case rt_end: --depth; break;
            case rt_value: break;
            default: return false;
        }
    }
    return true;
}

bool KIStreamArchive::OpenStream(IStorage* storage, const char16_t* streamName, bool forWriting) {
    m_pStream = nullptr;
    m_nWritten = 0;
    m_nWrittenCrc = 0;
    if (!storage) {
        m_hrOpen = E_POINTER;
        return false;
    }
    if (forWriting)
        m_hrOpen = storage->CreateStream(streamName, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE,
                                         m_pStream.ReleaseAndGetAddressOf());
    else
        m_hrOpen = storage->OpenStream(streamName, STGM_READ | STGM_SHARE_EXCLUSIVE, m_pStream.ReleaseAndGetAddressOf());
    if (FAILED(m_hrOpen)) m_pStream = nullptr;
    else if (!m_pStream) m_hrOpen = E_FAIL;
    return static_cast<bool>(m_pStream);
}

bool KIStreamArchive::ReadExact(void* buffer, size_t size) {
    auto* p = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < size) {
        ULONG got = 0;
        HRESULT hr = m_pStream->Read(p + done, static_cast<ULONG>(std::min<size_t>(size - done, 0x40000000)), &got);
        if (FAILED(hr) || got == 0) return false;
        done += got;
    }
    return true;
}

bool KIStreamArchive::WriteExact(const void* buffer, size_t size) {
    if (size == 0) return true;
    ULONG written = 0;
    HRESULT hr = m_pStream->Write(buffer, static_cast<ULONG>(size), &written);
    if (FAILED(hr) || written != size) return false;
    m_nWritten += size;
    m_nWrittenCrc = Crc32c(m_nWrittenCrc, buffer, size);
    return true;
}

bool KIStreamArchive::ReadString(std::u16string& text) {
    uint32_t count = 0;
    if (!ReadExact(&count, sizeof count)) return false;
    if (count > kMaxStringUnits) return false;
    text.clear();
    size_t done = 0;
    while (done < count) {
        size_t piece = std::min<size_t>(count - done, kReadPieceUnits);
        text.resize(done + piece);
        if (!ReadExact(text.data() + done, piece * sizeof(char16_t))) return false;
        done += piece;
    }
    return true;
}

bool KIStreamArchive::WriteString(std::u16string_view text) {
    size_t end = text.find(u'\0');
    if (end != std::u16string_view::npos) text = text.substr(0, end);
    if (text.size() > kMaxStringUnits) return false;
    uint32_t count = static_cast<uint32_t>(text.size());
    if (!WriteExact(&count, sizeof count)) return false;
    return WriteExact(text.data(), text.size() * sizeof(char16_t));
}

int KIStreamArchive::ReadRecord(std::u16string& name, std::u16string& value) {
    if (!m_pStream) return rt_error;
    uint32_t tag = 0;
    if (!ReadExact(&tag, sizeof tag)) return rt_error;
    int type;
    switch (tag) {
        case kTagBegin: type = rt_begin; break;
        case kTagEnd: type = rt_end; break;
        case kTagValue: type = rt_value; break;
        default: return rt_error;
    }
    if (type == rt_end) {
        name.clear();
        value.clear();
        return rt_end;
    }
    if (!ReadString(name) || !ReadString(value)) return rt_error;
    return type;
}

bool KIStreamArchive::WriteRecord(int type, std::u16string_view name, std::u16string_view value) {
    if (!m_pStream) return false;
    uint32_t tag;
    switch (type) {
        case rt_begin: tag = kTagBegin; break;
        case rt_end: tag = kTagEnd; break;
        case rt_value: tag = kTagValue; break;
        default: return false;
    }
    if (!WriteExact(&tag, sizeof tag)) return false;
    if (type == rt_end) return true;
    return WriteString(name) && WriteString(value);
}

int KIStreamArchive::SkipGroup() { return SkipToGroupEnd(this, 1) ? rt_end : rt_error; }

}  // namespace ser
