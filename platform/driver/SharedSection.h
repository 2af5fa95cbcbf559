#pragma once
// A section of shared memory (backed by memory, not by a file), the stand-in
// for a file mapping on the paging file. It is sealed and has no name: its
// size can never change, so a view of it can never fault, and it is handed to
// another process as a descriptor.
#include <memory>
#include <string>
#include <string_view>

#include "platform/core/WinTypes.h"

namespace plat::drv {

class SharedSection {
public:
    // A new nameless section of exactly `bytes` bytes (zero-filled), sealed
    // against shrinking, growing and further seals; `name` only labels it for
    // debugging. Null with the last error set.
    static std::unique_ptr<SharedSection> CreateSealed(std::u16string_view name, uint64_t bytes);
    // Takes over a section descriptor that another process handed over. It
    // is kept only when it is sealed against shrinking, growing and further
    // seals (ERROR_ACCESS_DENIED otherwise) and holds at least `bytes` bytes
    // (ERROR_INVALID_PARAMETER otherwise); a refused descriptor is closed.
    static std::unique_ptr<SharedSection> AdoptSealed(int fd, uint64_t bytes, bool writable);
    SharedSection(int fd, uint64_t size, bool writable) : m_fd(fd), m_size(size), m_writable(writable) {}
    ~SharedSection();
    SharedSection(const SharedSection&) = delete;
    SharedSection& operator=(const SharedSection&) = delete;

    // Maps `bytes` bytes from `offset` (a multiple of the page size); null
    // with the last error set. A view outlives the section object.
    void* Map(uint64_t offset, size_t bytes, bool writable) const;
    static bool Unmap(void* view, size_t bytes);

    uint64_t Size() const { return m_size; }
    int NativeHandle() const { return m_fd; }

private:
    int m_fd;
    uint64_t m_size;
    bool m_writable;
};

}  // namespace plat::drv
