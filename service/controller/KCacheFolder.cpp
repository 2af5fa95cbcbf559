#include "service/controller/KCacheFolder.h"

#include <vector>

#include "log/Trace.h"
#include "platform/fs/File.h"

namespace cacheFolder {

namespace {

bool StartsWith(const std::u16string& s, std::u16string_view prefix) {
    return s.size() >= prefix.size() && std::u16string_view(s).substr(0, prefix.size()) == prefix;
}

bool EndsWith(const std::u16string& s, std::u16string_view suffix) {
    return s.size() >= suffix.size() && std::u16string_view(s).substr(s.size() - suffix.size()) == suffix;
}

void DropSuffix(std::u16string* s, std::u16string_view suffix) {
    if (EndsWith(*s, suffix)) s->resize(s->size() - suffix.size());
}

bool IsStoredName(const std::u16string& base) {
    if (base == kWriteProbe) return true;
    if (StartsWith(base, u"CasheFile_") && EndsWith(base, u".cah")) return true;
    if (StartsWith(base, u"QXCacheStructure") && EndsWith(base, u".dat")) return true;
    return base == u"QXPlaylist.dat" || base == u"QXSettings.dat";
}

}  // namespace

bool IsOwnFile(const std::u16string& name) {
    std::u16string base = name;
    // A replacement or copy that did not finish.
    DropSuffix(&base, u".tqnew");
    DropSuffix(&base, u".tqtmp");
    DropSuffix(&base, u".bak");
    return base != u"QXSettings.dat" && IsStoredName(base);
}

void RemoveLeftovers(const std::u16string& folder) {
    const std::u16string dir = plat::WithTrailingSeparator(folder);
    if (folder.empty() || plat::IsSymbolicLink(dir) || !plat::IsDirectory(dir)) return;
    std::vector<plat::DirEntry> entries;
    if (!plat::ListDirectory(dir, &entries)) return;
    for (const plat::DirEntry& e : entries) {
        if (e.isDirectory) continue;
        std::u16string base = e.name;
        const bool unfinished = EndsWith(base, u".tqnew") || EndsWith(base, u".tqtmp");
        DropSuffix(&base, u".tqnew");
        DropSuffix(&base, u".tqtmp");
        DropSuffix(&base, u".bak");
        if (!(unfinished || base == kWriteProbe) || !IsStoredName(base)) continue;
        if (!plat::DeleteFile(dir + e.name)) {
            DWORD err = plat::GetLastError();
            TQ_TRACE_BOOL("DeleteFile(strFolder + fn)");
            TQ_REPORT_SYSTEM(EC_DELETE_FILE, err, dir + e.name);
        }
    }
}

std::vector<std::u16string> MissingFolders(const std::u16string& path) {
    std::vector<std::u16string> missing;
    std::u16string p = path;
    while (p.size() > 1 && p.back() == plat::kPathSeparator) p.pop_back();
    while (p.size() > 1 && !plat::PathExists(p)) {
        missing.push_back(p);
        const size_t slash = p.find_last_of(plat::kPathSeparator);
        if (slash == std::u16string::npos || slash == 0) break;
        p.resize(slash);
    }
    return missing;
}

void RemoveFolders(const std::vector<std::u16string>& folders) {
    for (const std::u16string& f : folders) plat::RemoveDirectory(f);
}

HRESULT DeleteOwnFiles(const std::u16string& folder) {
    if (folder.empty()) return E_INVALIDARG;
    const std::u16string dataDir = plat::WithTrailingSeparator(folder) + kDataFolder;
    // A link in place of the subfolder points at files that are not ours.
    if (plat::IsSymbolicLink(dataDir) || !plat::IsDirectory(dataDir)) return S_OK;
    std::vector<plat::DirEntry> entries;
    if (!plat::ListDirectory(dataDir, &entries)) {
        DWORD err = plat::GetLastError();
        TQ_TRACE_BOOL("ListDirectory(strFolder)");
        TQ_REPORT_SYSTEM(EC_DELETE_FOLDER, err, dataDir);
        return plat::HResultFromError(err);
    }
    HRESULT result = S_OK;
    bool othersLeft = false;
    for (const plat::DirEntry& e : entries) {
        if (e.isDirectory || !IsOwnFile(e.name)) {
            othersLeft = true;
            continue;
        }
        if (!plat::DeleteFile(dataDir + e.name)) {
            DWORD err = plat::GetLastError();
            TQ_TRACE_BOOL("DeleteFile(strFolder + fn)");
            TQ_REPORT_SYSTEM(EC_DELETE_FILE, err, dataDir + e.name);
            if (SUCCEEDED(result)) result = plat::HResultFromError(err);
            othersLeft = true;
        }
    }
    if (!othersLeft && !plat::RemoveDirectory(dataDir) && plat::PathExists(dataDir)) {
        DWORD err = plat::GetLastError();
        TQ_TRACE_BOOL("RemoveDirectory(strFolder)");
        TQ_REPORT_SYSTEM(EC_DELETE_FOLDER, err, dataDir);
        if (SUCCEEDED(result)) result = plat::HResultFromError(err);
    }
    return result;
}

}  // namespace cacheFolder
