#pragma once
// A file mapping of shared memory and its view. The mapping is a sealed
// section another process hands over. Progress is traced to the standard
// output only.
#include <memory>

#include "platform/core/WinTypes.h"
#include "platform/driver/SharedSection.h"

namespace plat::drv {
inline constexpr DWORD FILE_MAP_WRITE = 0x0002;
inline constexpr DWORD FILE_MAP_READ = 0x0004;
}  // namespace plat::drv

class CMemoryMappedFile {
public:
    CMemoryMappedFile() = default;
    ~CMemoryMappedFile();
    CMemoryMappedFile(const CMemoryMappedFile&) = delete;
    CMemoryMappedFile& operator=(const CMemoryMappedFile&) = delete;

    // Takes over a section descriptor handed over by another process and maps
    // `size` bytes of it from its start. The section must be sealed against
    // resizing and hold `size` bytes (SharedSection::AdoptSealed); a refused
    // descriptor is closed. False with the last error set.
    bool Attach(int fd, DWORD size, DWORD access);
    // Replaces the view by one of `size` bytes at the offset.
    bool MapView(DWORD access, DWORD offsetHigh, DWORD offsetLow, DWORD size);
    // Unmaps the view and closes the mapping.
    void Close();

    BYTE* View() const { return m_pView; }
    DWORD MappedSize() const { return m_dwSize; }
    bool IsMapped() const { return m_pView != nullptr; }

private:
    std::unique_ptr<plat::drv::SharedSection> m_hMapping;
    BYTE* m_pView = nullptr;
    DWORD m_dwPosition = 0;
    DWORD m_dwPositionHigh = 0;
    DWORD m_dwSize = 0;
    DWORD m_dwLimit = 0;
};
