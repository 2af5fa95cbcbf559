#pragma once
// The file one save writes. It has no name in the target folder until it is
// complete, so a save that fails, is stopped or dies with the process leaves
// nothing behind. Where the file system cannot make a file without a name it
// is written under a hidden name of ours instead, which is removed when the
// save does not finish; the hidden files that a dead process left are removed
// by the next save into that folder.
#include <string>

#include "platform/fs/File.h"
#include "ipc/QXServiceLib.h"

class KSaveFile {
public:
    KSaveFile() = default;
    // Closes the file; a hidden one that was not named is removed.
    ~KSaveFile();
    KSaveFile(const KSaveFile&) = delete;
    KSaveFile& operator=(const KSaveFile&) = delete;

    // Makes the empty file in the folder (with its trailing separator).
    HRESULT Create(const std::u16string& folder);
    // The path through which the format opens and writes the file.
    const std::u16string& Path() const { return m_path; }
    // Forces the file's data to the disk.
    bool Sync();
    // Gives the complete file its name; ERROR_FILE_EXISTS while something has
    // that name (nothing is replaced).
    bool Name(const std::u16string& path);

    // The hidden files of saves that no process is writing any more.
    static void RemoveLeftovers(const std::u16string& folder);
    // True for a name that a hidden save file of ours has.
    static bool IsHiddenName(const std::u16string& name);

    // What Create falls back to: the file under a hidden name of ours.
    HRESULT CreateHidden(const std::u16string& folder);

private:

    plat::File m_file;
    std::u16string m_path;
    bool m_hidden = false;
    bool m_named = false;
};
