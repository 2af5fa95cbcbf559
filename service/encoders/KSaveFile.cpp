#include "service/encoders/KSaveFile.h"

#include <random>
#include <vector>

#include "log/Trace.h"

namespace {

constexpr std::u16string_view kHiddenPrefix = u".tonquil-save-";
constexpr std::u16string_view kHiddenSuffix = u".part";
constexpr size_t kHiddenDigits = 12;

bool IsHexDigit(char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'); }

}  // namespace

KSaveFile::~KSaveFile() {
    if (m_hidden && !m_named && !plat::DeleteFile(m_path)) TQ_TRACE_BOOL("DeleteFile(hidden save file)");
}

bool KSaveFile::IsHiddenName(const std::u16string& name) {
    if (name.size() != kHiddenPrefix.size() + kHiddenDigits + kHiddenSuffix.size() ||
        name.compare(0, kHiddenPrefix.size(), kHiddenPrefix) != 0 ||
        name.compare(name.size() - kHiddenSuffix.size(), kHiddenSuffix.size(), kHiddenSuffix) != 0)
        return false;
    for (size_t i = kHiddenPrefix.size(); i < kHiddenPrefix.size() + kHiddenDigits; ++i)
        if (!IsHexDigit(name[i])) return false;
    return true;
}

void KSaveFile::RemoveLeftovers(const std::u16string& folder) {
    std::vector<plat::DirEntry> entries;
    if (!plat::ListDirectory(folder, &entries)) return;
    for (const plat::DirEntry& entry : entries) {
        if (entry.isDirectory || !IsHiddenName(entry.name)) continue;
        // A save in progress holds its file shared: only a file that nobody
        // holds can be taken whole, and that one is a dead save's.
        plat::File probe;
        const std::u16string path = folder + entry.name;
        if (!probe.Open(path, plat::FileAccess::Read, plat::FileCreation::OpenExisting, plat::ShareNone)) continue;
        if (!plat::DeleteFile(path)) TQ_TRACE_BOOL("DeleteFile(left hidden save file)");
    }
}

HRESULT KSaveFile::Create(const std::u16string& folder) {
    RemoveLeftovers(folder);
    // The saved song is the user's document: the umask decides who reads it.
    if (m_file.OpenUnnamed(folder, plat::FileVisibility::UserUmask)) {
        m_path = m_file.ReopenPath();
        return S_OK;
    }
    return CreateHidden(folder);
}

HRESULT KSaveFile::CreateHidden(const std::u16string& folder) {
    thread_local std::mt19937_64 random{std::random_device{}()};
    static const char16_t kHex[] = u"0123456789abcdef";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::u16string path = folder + std::u16string(kHiddenPrefix);
        uint64_t bits = random();
        for (size_t i = 0; i < kHiddenDigits; ++i, bits >>= 4) path += kHex[bits & 0xF];
        path += kHiddenSuffix;
        // Held shared for the whole save, which is what tells the leftover
        // clean-up of another save that it is in use.
        if (!m_file.Open(path, plat::FileAccess::Write, plat::FileCreation::CreateNew, plat::ShareRead,
                         plat::FileVisibility::UserUmask)) {
            // Taken, or being taken whole by a clean-up that will remove it.
            const DWORD error = plat::GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_SHARING_VIOLATION) return plat::HResultFromError(error);
            continue;
        }
        // A clean-up may have removed the name between its creation and the
        // hold: then it is not ours any more.
        if (!m_file.IsNamed(path)) {
            m_file.Close();
            continue;
        }
        m_path = std::move(path);
        m_hidden = true;
        return S_OK;
    }
    return plat::HResultFromError(ERROR_FILE_EXISTS);
}

bool KSaveFile::Sync() { return m_file.Flush(); }

bool KSaveFile::Name(const std::u16string& path) {
    if (m_named) {
        plat::SetLastError(ERROR_ALREADY_EXISTS);
        return false;
    }
    if (m_hidden ? !plat::MoveFileNoReplace(m_path, path) : !m_file.Link(path)) return false;
    m_named = true;
    return true;
}
