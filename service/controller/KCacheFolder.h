#pragma once
// The files the engine keeps in a cache folder's "QXCache" subfolder, told
// apart from anything else a user may have put there.
#include <string>
#include <vector>

#include "ipc/QXServiceLib.h"

namespace cacheFolder {

// The subfolder of a cache folder that holds the engine's files.
inline constexpr const char16_t* kDataFolder = u"QXCache/";
// The file written and removed again to see that a folder takes data.
inline constexpr const char16_t* kWriteProbe = u".QXWriteProbe";

// Whether a file name is one the engine writes there: cache data files, the
// cache index files, the playlist, their backups and unfinished replacements.
bool IsOwnFile(const std::u16string& name);

// Deletes the engine's own files from folder + "QXCache/" and then the
// subfolder when nothing else is left in it. Other files, subfolders and
// links are left alone. S_OK when the subfolder is missing.
HRESULT DeleteOwnFiles(const std::u16string& folder);

// Deletes what a process killed while it wrote left in folder (a cache
// folder's "QXCache/" or the settings folder): the unfinished replacements
// and copies of the stored data files (".tqnew", ".tqtmp") and the write
// probe. Only the one engine instance calls it, before it loads anything.
void RemoveLeftovers(const std::u16string& folder);

// The folders of path that do not exist yet, deepest first.
std::vector<std::u16string> MissingFolders(const std::u16string& path);
// Removes those of the folders that are empty, in the order given: what was
// made for a folder that is then refused goes again.
void RemoveFolders(const std::vector<std::u16string>& folders);

}  // namespace cacheFolder
