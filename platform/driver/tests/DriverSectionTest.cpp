#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "platform/core/LastError.h"
#include "platform/driver/CMemoryMappedFile.h"
#include "platform/driver/DriverProtocol.h"
#include "platform/driver/ObjectNames.h"
#include "platform/driver/SharedSection.h"
#include "platform/driver/tests/TempRuntimeDir.h"

namespace {

using plat::drv::SharedSection;

bool CreateSection(CMemoryMappedFile& file) {
    return file.Create(plat::drv::kSectionName, plat::drv::kPagingFile, plat::drv::PAGE_READWRITE, 0,
                       plat::drv::SECTION_SIZE_BYTE, 0, plat::drv::FILE_MAP_READ | plat::drv::FILE_MAP_WRITE, 0, 0);
}

TEST(DriverSection, TwoOpenersShareOneSectionUntilItIsRemoved) {
    TempRuntimeDir dir;
    CMemoryMappedFile service;
    ASSERT_TRUE(CreateSection(service));
    ASSERT_EQ(plat::drv::SECTION_SIZE_BYTE, service.MappedSize());
    auto driver = SharedSection::CreateOrOpen(plat::drv::kSectionName, plat::drv::SECTION_SIZE_BYTE, true);
    ASSERT_NE(nullptr, driver);
    auto* view = static_cast<BYTE*>(driver->Map(0, plat::drv::SECTION_SIZE_BYTE, true));
    ASSERT_NE(nullptr, view);

    plat::drv::StoreWord(view, plat::drv::WRITE_OFFSET_POS, 0x1234);
    std::memcpy(view, "WAVE", 4);
    EXPECT_EQ(0x1234u, plat::drv::LoadWord(service.View(), plat::drv::WRITE_OFFSET_POS));
    EXPECT_EQ(plat::drv::TAG_WAVE, plat::drv::ReadLe32(service.View()));
    // The words are little-endian in memory.
    EXPECT_EQ(0x34, view[plat::drv::WRITE_OFFSET_POS]);

    EXPECT_FALSE(plat::drv::CompareExchangeWord(service.View(), plat::drv::WRITE_OFFSET_POS, 7, 0));
    EXPECT_TRUE(plat::drv::CompareExchangeWord(service.View(), plat::drv::WRITE_OFFSET_POS, 0x1234, 0));
    EXPECT_EQ(0u, plat::drv::LoadWord(view, plat::drv::WRITE_OFFSET_POS));

    EXPECT_TRUE(SharedSection::Remove(plat::drv::kSectionName));
    // Views stay usable after the name is gone; a new section is a new object.
    plat::drv::StoreWord(view, plat::drv::READ_OFFSET_POS, 99);
    EXPECT_EQ(99u, plat::drv::LoadWord(service.View(), plat::drv::READ_OFFSET_POS));
    auto fresh = SharedSection::CreateOrOpen(plat::drv::kSectionName, plat::drv::SECTION_SIZE_BYTE, true);
    ASSERT_NE(nullptr, fresh);
    auto* freshView = static_cast<BYTE*>(fresh->Map(0, plat::drv::SECTION_SIZE_BYTE, true));
    EXPECT_EQ(0u, plat::drv::LoadWord(freshView, plat::drv::READ_OFFSET_POS));
    SharedSection::Unmap(freshView, plat::drv::SECTION_SIZE_BYTE);
    SharedSection::Unmap(view, plat::drv::SECTION_SIZE_BYTE);
    EXPECT_TRUE(SharedSection::Remove(plat::drv::kSectionName));
    plat::SetLastError(0);
    EXPECT_FALSE(SharedSection::Remove(plat::drv::kSectionName));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, plat::GetLastError());
}

TEST(DriverSection, EachRuntimeFolderHasItsOwnSection) {
    std::string first, second;
    {
        TempRuntimeDir dir;
        ASSERT_TRUE(plat::drv::SectionObjectName(plat::drv::kSectionName, &first));
    }
    {
        TempRuntimeDir dir;
        ASSERT_TRUE(plat::drv::SectionObjectName(plat::drv::kSectionName, &second));
    }
    EXPECT_EQ(0u, first.rfind("/QXSection.", 0));
    EXPECT_NE(first, second);
    EXPECT_FALSE(plat::drv::SectionObjectName(u"a/b", &first));
}

TEST(DriverSection, ASectionOthersCanReadIsNotOpened) {
    TempRuntimeDir dir;
    std::string name;
    ASSERT_TRUE(plat::drv::SectionObjectName(plat::drv::kSectionName, &name));
    int fd = ::shm_open(name.c_str(), O_CREAT | O_RDWR, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, ::fchmod(fd, 0666));
    ::close(fd);
    plat::SetLastError(0);
    EXPECT_EQ(nullptr, SharedSection::CreateOrOpen(plat::drv::kSectionName, 4096, true));
    EXPECT_EQ(ERROR_ACCESS_DENIED, plat::GetLastError());
    ::shm_unlink(name.c_str());
}

TEST(DriverSection, ASmallerSectionIsGrownAndMappingChecksItsBounds) {
    TempRuntimeDir dir;
    auto small = SharedSection::CreateOrOpen(plat::drv::kSectionName, 4096, true);
    ASSERT_NE(nullptr, small);
    auto grown = SharedSection::CreateOrOpen(plat::drv::kSectionName, plat::drv::SECTION_SIZE_BYTE, true);
    ASSERT_NE(nullptr, grown);
    EXPECT_EQ(plat::drv::SECTION_SIZE_BYTE, grown->Size());
    plat::SetLastError(0);
    EXPECT_EQ(nullptr, grown->Map(0, plat::drv::SECTION_SIZE_BYTE + 1, true));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, plat::GetLastError());
    SharedSection::Remove(plat::drv::kSectionName);
}

TEST(DriverSection, MappedFileRemapsAndClosesCleanly) {
    TempRuntimeDir dir;
    CMemoryMappedFile file;
    EXPECT_FALSE(file.Create(u"QXSection", 3, plat::drv::PAGE_READWRITE, 0, 4096, 0, plat::drv::FILE_MAP_WRITE, 0, 0));
    EXPECT_EQ(ERROR_NOT_SUPPORTED, plat::GetLastError());
    ASSERT_TRUE(CreateSection(file));
    file.View()[0x20FFF] = 7;
    ASSERT_TRUE(file.Remap(0x1000));
    EXPECT_EQ(0x1000u, file.MappedSize());
    file.View()[0] = 1;
    ASSERT_TRUE(file.Remap(plat::drv::SECTION_SIZE_BYTE));
    EXPECT_EQ(7, file.View()[0x20FFF]);
    file.Close();
    EXPECT_FALSE(file.IsMapped());
    EXPECT_FALSE(file.Remap(0x1000));
    SharedSection::Remove(plat::drv::kSectionName);
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
    TempRuntimeDir dir;
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
        auto s = SharedSection::CreateOrOpen(plat::drv::kSectionName, bytes, true);
        return s ? ::dup(s->NativeHandle()) : -1;
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
    SharedSection::Remove(plat::drv::kSectionName);
}

}  // namespace

