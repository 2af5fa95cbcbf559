#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>

#include "platform/core/LastError.h"
#include "platform/driver/CMemoryMappedFile.h"
#include "platform/driver/DriverProtocol.h"
#include "platform/driver/SharedSection.h"

namespace {

using plat::drv::SharedSection;

TEST(DriverSection, TwoViewsOfOneSectionShareItsWords) {
    auto section = SharedSection::CreateSealed(plat::drv::kSectionName, plat::drv::SECTION_SIZE_BYTE);
    ASSERT_NE(nullptr, section);
    auto* view = static_cast<BYTE*>(section->Map(0, plat::drv::SECTION_SIZE_BYTE, true));
    ASSERT_NE(nullptr, view);
    // Mapping and unmapping say nothing on the program's terminal.
    testing::internal::CaptureStdout();
    CMemoryMappedFile service;
    ASSERT_TRUE(service.Attach(::dup(section->NativeHandle()), plat::drv::SECTION_SIZE_BYTE,
                               plat::drv::FILE_MAP_READ | plat::drv::FILE_MAP_WRITE));
    ASSERT_EQ(plat::drv::SECTION_SIZE_BYTE, service.MappedSize());

    plat::drv::StoreWord(view, plat::drv::WRITE_OFFSET_POS, 0x1234);
    std::memcpy(view, "WAVE", 4);
    EXPECT_EQ(0x1234u, plat::drv::LoadWord(service.View(), plat::drv::WRITE_OFFSET_POS));
    EXPECT_EQ(plat::drv::TAG_WAVE, plat::drv::ReadLe32(service.View()));
    // The words are little-endian in memory.
    EXPECT_EQ(0x34, view[plat::drv::WRITE_OFFSET_POS]);

    EXPECT_FALSE(plat::drv::CompareExchangeWord(service.View(), plat::drv::WRITE_OFFSET_POS, 7, 0));
    EXPECT_TRUE(plat::drv::CompareExchangeWord(service.View(), plat::drv::WRITE_OFFSET_POS, 0x1234, 0));
    EXPECT_EQ(0u, plat::drv::LoadWord(view, plat::drv::WRITE_OFFSET_POS));

    // A view is bounded by the section, and a smaller one replaces the first.
    plat::SetLastError(0);
    EXPECT_EQ(nullptr, section->Map(0, plat::drv::SECTION_SIZE_BYTE + 1, true));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, plat::GetLastError());
    ASSERT_TRUE(service.MapView(plat::drv::FILE_MAP_READ, 0, 0, 0x1000));
    EXPECT_EQ(0x1000u, service.MappedSize());
    EXPECT_EQ(plat::drv::TAG_WAVE, plat::drv::ReadLe32(service.View()));
    service.Close();
    EXPECT_FALSE(service.IsMapped());
    plat::SetLastError(0);
    EXPECT_FALSE(service.MapView(plat::drv::FILE_MAP_READ, 0, 0, 0x1000));
    EXPECT_EQ(ERROR_INVALID_HANDLE, plat::GetLastError());
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    SharedSection::Unmap(view, plat::drv::SECTION_SIZE_BYTE);
}

TEST(DriverSection, ASealedSectionKeepsItsSize) {
    auto section = SharedSection::CreateSealed(plat::drv::kSectionName, plat::drv::SECTION_SIZE_BYTE);
    ASSERT_NE(nullptr, section);
    const int fd = section->NativeHandle();
    for (off_t size : {off_t{0}, off_t{4096}, off_t{2 * plat::drv::SECTION_SIZE_BYTE}})
        EXPECT_NE(0, ::ftruncate(fd, size)) << size;
    // Nor can the seals be lifted or added to.
    EXPECT_NE(0, ::fcntl(fd, F_ADD_SEALS, F_SEAL_WRITE));
    struct stat st {};
    ASSERT_EQ(0, ::fstat(fd, &st));
    EXPECT_EQ(plat::drv::SECTION_SIZE_BYTE, static_cast<DWORD>(st.st_size));
}

TEST(DriverSection, OnlyASealedSectionOfTheWholeSizeIsAdopted) {
    auto unsealed = [](uint64_t bytes) {
        int fd = ::memfd_create("QXSection", MFD_CLOEXEC | MFD_ALLOW_SEALING);
        if (fd >= 0 && ::ftruncate(fd, static_cast<off_t>(bytes)) != 0) {
            ::close(fd);
            fd = -1;
        }
        return fd;
    };
    auto sealed = [](uint64_t bytes) {
        auto s = SharedSection::CreateSealed(plat::drv::kSectionName, bytes);
        return s ? ::dup(s->NativeHandle()) : -1;
    };
    auto growOnly = [&](uint64_t bytes) {
        int fd = unsealed(bytes);
        if (fd >= 0) ::fcntl(fd, F_ADD_SEALS, F_SEAL_GROW | F_SEAL_SEAL);
        return fd;
    };
    auto named = [](uint64_t bytes) {
        // POSIX shared memory cannot be sealed at all.
        const std::string name = "/tq-section-test." + std::to_string(::getpid());
        int fd = ::shm_open(name.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
        ::shm_unlink(name.c_str());
        if (fd >= 0 && ::ftruncate(fd, static_cast<off_t>(bytes)) != 0) {
            ::close(fd);
            fd = -1;
        }
        return fd;
    };
    const struct {
        const char* name;
        std::function<int(uint64_t)> make;
        uint64_t bytes;
        DWORD error;  // 0: adopted
    } cases[] = {
        {"sealed, whole", sealed, plat::drv::SECTION_SIZE_BYTE, 0},
        {"sealed, larger", sealed, 2 * plat::drv::SECTION_SIZE_BYTE, 0},
        {"sealed, short", sealed, plat::drv::RING_SIZE_BYTE, ERROR_INVALID_PARAMETER},
        {"not sealed", unsealed, plat::drv::SECTION_SIZE_BYTE, ERROR_ACCESS_DENIED},
        {"may still shrink", growOnly, plat::drv::SECTION_SIZE_BYTE, ERROR_ACCESS_DENIED},
        {"named shared memory", named, plat::drv::SECTION_SIZE_BYTE, ERROR_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int fd = c.make(c.bytes);
        ASSERT_GE(fd, 0);
        plat::SetLastError(0);
        CMemoryMappedFile file;
        const bool adopted = file.Attach(fd, plat::drv::SECTION_SIZE_BYTE, plat::drv::FILE_MAP_READ | plat::drv::FILE_MAP_WRITE);
        EXPECT_EQ(c.error == 0, adopted);
        if (adopted) {
            EXPECT_EQ(plat::drv::SECTION_SIZE_BYTE, file.MappedSize());
            plat::drv::StoreWord(file.View(), plat::drv::CONSUMED_AUDIO_POS, 5);  // the last word is there
        } else {
            EXPECT_EQ(c.error, plat::GetLastError());
            EXPECT_EQ(-1, ::fcntl(fd, F_GETFD));  // a refused descriptor is closed
        }
    }
}

}  // namespace

