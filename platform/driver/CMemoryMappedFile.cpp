#include "platform/driver/CMemoryMappedFile.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/core/LastError.h"
#include "platform/core/DebugOutput.h"
#include "platform/core/Text.h"

namespace {

// The mapping's debug lines go to the debugger message channel (the trace),
// never to the terminal of the program that maps.
void TraceOut(const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::u16string text = plat::WFormatV(format, args);
    va_end(args);
    plat::OutputDebugString(text);
}

}  // namespace

CMemoryMappedFile::~CMemoryMappedFile() {
    if (m_hMapping) Close();
}

bool CMemoryMappedFile::Attach(int fd, DWORD size, DWORD access) {
    Close();
    m_hMapping = plat::drv::SharedSection::AdoptSealed(fd, size, (access & plat::drv::FILE_MAP_WRITE) != 0);
    if (!m_hMapping) return false;
    return MapView(access, 0, 0, size);
}

bool CMemoryMappedFile::MapView(DWORD access, DWORD offsetHigh, DWORD offsetLow, DWORD size) {
    if (m_pView) {
        if (!plat::drv::SharedSection::Unmap(m_pView, m_dwSize)) return false;
        m_pView = nullptr;
        m_dwSize = m_dwLimit = 0;
    }
    if (!m_hMapping) {
        plat::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    uint64_t offset = (static_cast<uint64_t>(offsetHigh) << 32) | offsetLow;
    size_t bytes = size ? size : static_cast<size_t>(m_hMapping->Size() - std::min<uint64_t>(offset, m_hMapping->Size()));
    void* view = m_hMapping->Map(offset, bytes, (access & plat::drv::FILE_MAP_WRITE) != 0);
    if (!view) return false;
    m_pView = static_cast<BYTE*>(view);
    m_dwPosition = m_dwPositionHigh = 0;
    m_dwSize = m_dwLimit = static_cast<DWORD>(bytes);
    TraceOut(u"Map BUFFER: 0x%p SIZE: %d \n", static_cast<void*>(m_pView), static_cast<int>(m_dwSize));
    return true;
}

void CMemoryMappedFile::Close() {
    if (!m_hMapping) return;
    if (m_pView) {
        plat::drv::SharedSection::Unmap(m_pView, m_dwSize);
        m_pView = nullptr;
        m_dwSize = m_dwLimit = 0;
        TraceOut(u"Unmap ok\n");
    }
    TraceOut(u"closing handle...\n");
    m_hMapping.reset();
    TraceOut(u"close handle ok\n");
}
