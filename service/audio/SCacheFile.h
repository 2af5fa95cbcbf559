#pragma once
// One record of a cache buffer's timeline: a data file of at most
// CACHE_FILE_MAX_BYTE bytes, or a stretch of silence that costs no disk space.
#include <string>

#include "platform/core/WinTypes.h"
#include "platform/fs/File.h"

inline constexpr ULONGLONG CACHE_FILE_MAX_BYTE = 0x100000;

struct SCacheFile {
    // Data file name, relative to the buffer's folder; empty for silence.
    std::u16string strName;
    // The data file's full path, fixed when the record is made, so that a
    // later change of the cache folder never points it at another file.
    std::u16string strPath;
    BOOL bUndeletable = FALSE;
    // For a protected record, the first position that must stay: its start,
    // or for silence the start of the protected range within it (the
    // silence before that may still be cut off).
    ULONGLONG llKeepFrom = 0;
    BOOL bVirtual = FALSE;
    // A data file that the index names but that is not on disk: it keeps its
    // place (and its number) on the timeline and reads as silence.
    BOOL bMissing = FALSE;
    ULONGLONG llStart = 0;
    // Opened on demand; the buffer keeps only a few data files open at once.
    plat::File hFile;
    // Length in bytes: of the silence, or of the data in the file.
    ULONGLONG llSize = 0;
    // When the file was last used, for closing the least recently used one.
    ULONGLONG llLastUse = 0;

    ULONGLONG End() const { return llStart + llSize; }
    bool IsReal() const { return !bVirtual; }
};
