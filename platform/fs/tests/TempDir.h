#pragma once
// A private folder for one test, removed with everything in it at the end.
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/core/Text.h"
#include "platform/fs/File.h"

namespace testutil {

class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/tq-found-XXXXXX";
        if (::mkdtemp(tmpl)) m_path = plat::ToUtf16(tmpl);
    }
    ~TempDir() {
        if (!m_path.empty()) plat::DeleteFolderRecursive(m_path);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::u16string& Path() const { return m_path; }
    std::u16string operator/(const std::u16string& name) const { return m_path + u"/" + name; }

private:
    std::u16string m_path;
};

inline std::vector<uint8_t> ReadFileBytes(const std::u16string& path) {
    plat::File f;
    std::vector<uint8_t> bytes;
    uint64_t size = 0;
    if (!f.Open(path, plat::FileAccess::Read, plat::FileCreation::OpenExisting) || !f.Size(&size)) return bytes;
    bytes.resize(size);
    uint32_t got = 0;
    f.Read(bytes.data(), static_cast<uint32_t>(size), &got);
    bytes.resize(got);
    return bytes;
}

inline bool WriteFileBytes(const std::u16string& path, const std::vector<uint8_t>& bytes) {
    plat::File f;
    return f.Open(path, plat::FileAccess::Write, plat::FileCreation::CreateAlways) &&
           f.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr);
}

}  // namespace testutil
