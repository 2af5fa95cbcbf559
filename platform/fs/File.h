#pragma once
// Files and folders. Paths are wide text with "/" as the separator. Every
// failure sets the thread's last error (a Win32 number) and returns false.
#include <functional>
#include <string>
#include <vector>

#include "platform/core/LastError.h"

namespace plat {

inline constexpr char16_t kPathSeparator = u'/';

enum class FileAccess { Read, Write, ReadWrite };
enum class FileCreation { CreateAlways, CreateNew, OpenExisting, OpenAlways, TruncateExisting };
enum FileShare : unsigned { ShareNone = 0, ShareRead = 1, ShareWrite = 2, ShareReadWrite = 3, ShareDelete = 4 };
enum class SeekOrigin { Begin, Current, End };
// Who may read a file that an opening creates. Recordings, the cache, the
// settings, the playlist and the log are the user's alone (0600); a file the
// user asked for (a saved song) gets what the user's umask allows (0666).
enum class FileVisibility { Private, UserUmask };

// An open file. Sharing is emulated with advisory locks: an opening that shares
// nothing excludes every other opening of the file, and is refused
// (ERROR_SHARING_VIOLATION) while another one is open.
class File {
public:
    File() = default;
    ~File() { Close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& o) noexcept;
    File& operator=(File&& o) noexcept;

    bool Open(const std::u16string& path, FileAccess access, FileCreation creation,
              unsigned share = ShareReadWrite, FileVisibility visibility = FileVisibility::Private);
    bool IsOpen() const { return m_fd >= 0; }
    void Close();

    // Creates a file without a name in the folder, open for reading and
    // writing: nobody sees it until Link names it, and it goes with its last
    // descriptor if it never is. ERROR_NOT_SUPPORTED where the file system
    // cannot make such a file (or /proc, through which it is named, is absent).
    bool OpenUnnamed(const std::u16string& folder, FileVisibility visibility = FileVisibility::Private);
    // Gives the open unnamed file a name; ERROR_FILE_EXISTS while something
    // has it (nothing is ever replaced).
    bool Link(const std::u16string& path);
    // A path that opens this same file again while it is open, also an
    // unnamed one.
    std::u16string ReopenPath() const;
    // True when the path names this very file (the name was not taken from
    // it or given to another).
    bool IsNamed(const std::u16string& path) const;

    // Reads up to size bytes at the current position; *done gets the count
    // really read (0 at the end of the file).
    bool Read(void* buffer, uint32_t size, uint32_t* done);
    // Writes all bytes or fails; *done gets the count really written.
    bool Write(const void* buffer, uint32_t size, uint32_t* done);
    bool ReadAt(uint64_t offset, void* buffer, uint32_t size, uint32_t* done);
    bool WriteAt(uint64_t offset, const void* buffer, uint32_t size, uint32_t* done);
    bool Seek(int64_t distance, SeekOrigin origin, uint64_t* newPosition = nullptr);
    bool Size(uint64_t* size) const;
    // Cuts or extends the file at the current position.
    bool SetEnd();
    // Forces written data to the disk.
    bool Flush();
    int Fd() const { return m_fd; }

private:
    int m_fd = -1;
};

bool DeleteFile(const std::u16string& path);
// Copies over an existing target unless failIfExists.
bool CopyFile(const std::u16string& from, const std::u16string& to, bool failIfExists);
// Renames, replacing an existing target file.
bool MoveFile(const std::u16string& from, const std::u16string& to);
// Renames only while nothing has the target's name (ERROR_FILE_EXISTS else);
// the check and the rename are one step, so no entry is ever replaced.
bool MoveFileNoReplace(const std::u16string& from, const std::u16string& to);
// Forces the folder that holds the path to the disk, so that a file renamed
// into it stays under its new name after a crash.
bool FlushFolderOf(const std::u16string& path);
// Creates one folder, for the user alone (0700); ERROR_ALREADY_EXISTS when
// something has that name.
bool CreateDirectory(const std::u16string& path);
// Removes an empty folder.
bool RemoveDirectory(const std::u16string& path);
// Creates the folder and every missing folder above it (each 0700); true when
// the path is a folder at the end (also when it was one already).
bool CreateDirectoryRecursive(const std::u16string& path);
// Told of each entry that could not be deleted, deepest first, with the
// error; a folder also when something in it stayed.
using DeleteFailureSink = std::function<void(const std::u16string& path, bool isFolder, DWORD error)>;
// Deletes a folder and everything under it. Symbolic links are removed, never
// followed, so nothing outside the folder is touched. What cannot be deleted
// is passed over (and told to onFailure); the result is false then.
bool DeleteFolderRecursive(const std::u16string& path, const DeleteFailureSink& onFailure = nullptr);

bool PathExists(const std::u16string& path);
// True when any entry has this name: a file, a folder, a dangling symbolic
// link, one we may not write.
bool EntryExists(const std::u16string& path);
bool IsDirectory(const std::u16string& path);
bool IsFile(const std::u16string& path);
// True when the path itself (its last part, trailing separators ignored) is a
// symbolic link, whatever it points to.
bool IsSymbolicLink(const std::u16string& path);
bool GetFileSize(const std::u16string& path, uint64_t* size);

struct DirEntry {
    std::u16string name;
    bool isDirectory = false;
    uint64_t size = 0;
};
// The entries of a folder, "." and ".." left out, sorted by name.
bool ListDirectory(const std::u16string& path, std::vector<DirEntry>* entries);

// Free bytes available to this user, and the total size, of the file system
// holding the path.
bool GetDiskFreeSpace(const std::u16string& path, uint64_t* freeBytes, uint64_t* totalBytes);

// The running program's full path, and its folder with a trailing separator.
std::u16string GetModulePath();
std::u16string GetModuleDir();
// $TMPDIR or /tmp, with a trailing separator.
std::u16string GetTempDir();
// The machine-wide application-data folder of this user's service:
// $TONQUIL_DATA_DIR, else $XDG_DATA_HOME, else ~/.local/share; created when
// missing. No trailing separator. False (last error set) when it cannot be made.
bool GetAppDataRoot(std::u16string* path);
// This user's data folder: $XDG_DATA_HOME, else ~/.local/share (not created,
// no trailing separator). Empty (last error set) when no home is known.
std::string UserDataHome();
// $XDG_STATE_HOME, else $HOME/.local/state: where logs outlive a run.
std::string UserStateHome();

// Joins two path parts with exactly one separator between them.
std::u16string JoinPath(const std::u16string& a, const std::u16string& b);
// Appends the separator unless the path already ends with one.
std::u16string WithTrailingSeparator(const std::u16string& path);
// The folder part of a path (up to and including its last separator), or "".
std::u16string DirName(const std::u16string& path);

}  // namespace plat
