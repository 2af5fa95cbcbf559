#include "platform/driver/SharedSection.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/core/LastError.h"
#include "platform/core/Text.h"

namespace plat::drv {

namespace {

constexpr int kSizeSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL;

}  // namespace

std::unique_ptr<SharedSection> SharedSection::CreateSealed(std::u16string_view name, uint64_t bytes) {
    if (bytes == 0 || bytes > (uint64_t{1} << 32)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string label = ToUtf8(name);
    int fd = ::memfd_create(label.c_str(), MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) {
        SetLastErrorFromErrno();
        return nullptr;
    }
    auto section = std::make_unique<SharedSection>(fd, bytes, true);
    if (::ftruncate(fd, static_cast<off_t>(bytes)) < 0 || ::fcntl(fd, F_ADD_SEALS, kSizeSeals) < 0) {
        SetLastErrorFromErrno();
        return nullptr;
    }
    return section;
}

std::unique_ptr<SharedSection> SharedSection::AdoptSealed(int fd, uint64_t bytes, bool writable) {
    if (fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto section = std::make_unique<SharedSection>(fd, 0, writable);  // closes a refused descriptor
    // Only a section whose size nobody can change any more is safe to map:
    // one that its maker could shrink would fault the reader's view.
    int seals = ::fcntl(fd, F_GET_SEALS);
    if (seals < 0 || (seals & kSizeSeals) != kSizeSeals) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) < 0) {
        SetLastErrorFromErrno();
        return nullptr;
    }
    if (!S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) < bytes) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    section->m_size = static_cast<uint64_t>(st.st_size);
    return section;
}

SharedSection::~SharedSection() {
    if (m_fd >= 0) ::close(m_fd);
}

void* SharedSection::Map(uint64_t offset, size_t bytes, bool writable) const {
    if (bytes == 0 || offset > m_size || bytes > m_size - offset || (writable && !m_writable)) {
        SetLastError(writable && !m_writable ? ERROR_ACCESS_DENIED : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    void* view = ::mmap(nullptr, bytes, PROT_READ | (writable ? PROT_WRITE : 0), MAP_SHARED, m_fd,
                        static_cast<off_t>(offset));
    if (view == MAP_FAILED) {
        SetLastErrorFromErrno();
        return nullptr;
    }
    return view;
}

bool SharedSection::Unmap(void* view, size_t bytes) {
    if (!view) return true;
    if (::munmap(view, bytes) < 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

}  // namespace plat::drv
