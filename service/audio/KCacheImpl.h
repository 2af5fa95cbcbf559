#pragma once
// One buffer of the time-shift cache on disk: a timeline of the engine stream
// on an absolute 64-bit byte axis, kept as a chain of records, oldest first.
// A real record is a data file of at most 1 MiB; a virtual record is silence
// that costs no disk space. Audio is appended at the write position, silence
// is reserved without data, old audio is dropped from the front, and reads
// anywhere between the buffer's start and its write position give the stream
// with zeros where a record is virtual.
//
// The buffer is also a stored record: its index file lets the chain come back
// after a restart (SaveStructure / LoadStructure).
#include <atomic>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "ipc/QXServiceLib.h"
#include "log/KLock.h"
#include "platform/core/Sync.h"
#include "platform/core/Thread.h"
#include "service/audio/SCacheFile.h"
#include "service/audio/SGroupFile.h"
#include "service/foundation/KRecordTape.h"
#include "service/foundation/KSerializable.h"

class KCacheImpl : public ser::KSerializable {
public:
    // File numbers run from 1 to this and then start again at 1.
    static constexpr DWORD kMaxFileID = 999999;
    // Middle numbers of data file names run from 0 to this - 1.
    static constexpr DWORD kMiddleNumbers = 10;
    // Data files a buffer keeps open at once; others are opened when used.
    static constexpr size_t kMaxOpenFiles = 16;
    // The buffer's files lie in this folder under the cache folder.
    static constexpr const char16_t* kDataFolder = u"QXCache/";

    KCacheImpl();
    ~KCacheImpl() override;
    KCacheImpl(const KCacheImpl&) = delete;
    KCacheImpl& operator=(const KCacheImpl&) = delete;

    // The buffer's files go to folder + "QXCache/". Creates nothing.
    HRESULT SetCacheDir(const std::u16string& folder);
    std::u16string GetCacheFolder() const;  // the folder given, ending in "/"
    std::u16string GetDataDir() const;      // m_strCacheDir

    // Appends the bytes at the write position, in as many data files as needed.
    HRESULT Write(DWORD bytes, const BYTE* data);
    // Appends silence at the write position.
    HRESULT ReserveSpace(ULONGLONG bytes);
    // Removes what lies before the position (whole data files).
    HRESULT DropBefore(ULONGLONG position);
    // Reads at a position; zeros for silence and past the write position.
    // Fails below the buffer's start, leaving the destination untouched.
    HRESULT ReadFixedPos(ULONGLONG position, DWORD bytes, BYTE* destination);
    // Reads at the read position and advances it.
    HRESULT Read(DWORD bytes, BYTE* destination);

    ULONGLONG GetStartPos() const;
    void SetReadPosition(LONGLONG offset, EBasicPosition base);

    HRESULT SetUndeletableRange(ULONGLONG llAbsStart, ULONGLONG llAbsEnd);
    HRESULT ResetUndeletableRange(ULONGLONG llAbsStart, ULONGLONG llAbsEnd);
    // The start of the oldest record that may not be dropped; false when none is.
    bool GetFirstUndeletableStart(ULONGLONG* position) const;

    // Empties the buffer and deletes its data files (at once, or on a thread
    // of their own when bWait is FALSE) and its index file.
    HRESULT Clear(BOOL bWait);

    // The index file (QXCacheStructure<n>.dat beside the data files).
    HRESULT SaveStructure();
    HRESULT LoadStructure(int nNumber);
    // True when the chain changed since the last successful save.
    bool IsDirty() const;

    // The start, write and read positions are read without the buffer lock:
    // they are published each time the lock is let go, so a reader sees the
    // value of the last operation that ended and never waits for a file write
    // under way. The other fields are read and set under the buffer lock.
    ULONGLONG GetWritePosition() const;
    ULONGLONG GetReadPosition() const;
    void SetReadPositionAbsolute(ULONGLONG position);
    BOOL IsLive() const;
    void SetLive(BOOL bLive);
    BOOL CanLive() const;
    void SetCanLive(BOOL bCanLive);
    ULONGLONG GetDiskBytes() const;
    size_t GetRecordCount() const;
    int GetCacheNumber() const;
    DWORD GetFileID() const;
    DWORD GetFileIDFirst() const;
    DWORD GetFileIDIndex() const;
    ULONGLONG GetLastDropPosition() const;  // m_llStartPos
    std::u16string GetIndexPath() const;

    // A copy of the chain, for inspection.
    struct RecordInfo {
        std::u16string strName;
        BOOL bVirtual = FALSE;
        BOOL bUndeletable = FALSE;
        BOOL bMissing = FALSE;
        ULONGLONG llStart = 0;
        ULONGLONG llSize = 0;
    };
    std::vector<RecordInfo> GetRecords() const;
    // The chain in its stored form: runs of silence and of data files.
    std::vector<SGroupFile> GetGroups() const;

    // The data file name of the current or the next file number.
    std::u16string MakeFileName(bool bNext);

    // The stored record.
    void DefineProperties() override;
    void OnAfterLoad(ser::ELoadResult result) override;
    std::u16string GetClassName() const override;

protected:
    // Rebuilds the chain from the stored members after a complete load of the
    // index; every count and position is checked against the files on disk.
    HRESULT RebuildChain();
    // Fills the stored group list from the chain (before a save).
    void FillGroupFiles();
    void FreeGroupFiles();
    // Empties the chain and resets the positions and numbers.
    void ResetToEmpty();
    void Changed() { ++m_nChanges; }

    // Stored members (the index file).
    std::vector<std::unique_ptr<SGroupFile>> m_vGroupFiles;
    DWORD m_nFileID = 0;
    DWORD m_nFileIDFirst = 1;
    DWORD m_nFileIDIndex = 0;
    ULONGLONG m_llWritePosition = 0;
    ULONGLONG m_llReadPosition = 0;
    ULONGLONG m_llStartPos = 0;
    BOOL m_bLive = TRUE;
    BOOL m_bCanLive = TRUE;

    mutable plat::Mutex m_csBuffer;

    // Holds the buffer lock. The outermost hold publishes the positions before
    // letting it go, so that no reader sees an operation half done.
    class KBufferLock : public KLock {
    public:
        explicit KBufferLock(const KCacheImpl& owner) : KLock(owner.m_csBuffer), m_owner(owner) { ++owner.m_nHolds; }
        ~KBufferLock() override {
            if (--m_owner.m_nHolds == 0) m_owner.PublishPositions();
        }
        KBufferLock(const KBufferLock&) = delete;
        KBufferLock& operator=(const KBufferLock&) = delete;

    private:
        const KCacheImpl& m_owner;
    };

private:
    using Chain = std::deque<std::unique_ptr<SCacheFile>>;
    struct SDeleter;

    // Both with the buffer lock held.
    ULONGLONG StartPos() const;
    void PublishPositions() const;
    mutable int m_nHolds = 0;  // nested holds of the buffer lock
    mutable std::atomic<ULONGLONG> m_llPublishedStart{0};
    mutable std::atomic<ULONGLONG> m_llPublishedWrite{0};
    mutable std::atomic<ULONGLONG> m_llPublishedRead{0};

    SCacheFile* AddFile(ULONGLONG position);
    // Silence at the end of the chain. A partly filled last file takes as
    // much of it as it has room for, so that every file followed by another
    // record is full: the index stores only file counts, and a trimmed file
    // must still take its whole length on the axis when the chain is rebuilt.
    SCacheFile* AddVirtualSpace(ULONGLONG position, ULONGLONG bytes);
    // Silence appended as a record of its own, never moved into a file.
    SCacheFile* AppendVirtualRecord(ULONGLONG position, ULONGLONG bytes);
    // Lengthens a real record's file with zeros (a hole, no disk data).
    bool ExtendWithSilence(SCacheFile& record, ULONGLONG bytes);
    SCacheFile* PrependVirtualSpace(ULONGLONG position, ULONGLONG bytes);
    void RemoveFirst();
    // The record holding the position, or the end of the chain.
    Chain::const_iterator FindRecord(ULONGLONG position) const;
    ULONGLONG GetFileSize(const SCacheFile& record) const;
    HRESULT MarkRange(ULONGLONG llAbsStart, ULONGLONG llAbsEnd, BOOL bMark);
    // Opens a real record's file when it is closed, closing the least
    // recently used one when too many are open.
    bool OpenRecordFile(SCacheFile& record);
    void CloseRecordFile(SCacheFile& record);
    static DWORD NextFileID(DWORD id);
    // Ends deleter threads that are done; a middle number still in use by one
    // is never given to new files.
    void ReapDeleters(bool bWaitAll);
    bool IsMiddleNumberBusy(DWORD index) const;
    // A data file that would not be deleted: kept in the byte count and
    // deleted again at the next trim, clear or load.
    struct SLeftover {
        std::u16string strPath;
        ULONGLONG llSize = 0;
    };
    using Leftovers = std::vector<SLeftover>;
    // Deletes the records' files; gives back those that stay on disk.
    static Leftovers DeleteFiles(Chain& records);
    void KeepLeftovers(Leftovers left);
    void RetryLeftovers();
    // Deletes this buffer's data files that the chain does not name: what a
    // crash left between an index save and the deletions after it.
    void SweepUnnamedFiles();
    // Deletes one data file; true also when it was gone already.
    static bool DeleteDataFile(const std::u16string& path);
    // Closes the least recently used data file while too many are open.
    void MakeRoomForFile();

    std::u16string m_strSettingsFN;   // index file path
    std::u16string m_strFilePrefix;   // "CasheFile_<n>_"
    Chain m_vFiles;
    std::u16string m_strCacheDir;     // cache folder + "QXCache/"
    std::u16string m_strCacheFolder;  // the cache folder, ending in "/"
    ULONGLONG m_llDiskBytes = 0;
    int m_nCacheNumber = -1;
    // Changes of the chain, and how many of them the index file holds.
    ULONGLONG m_nChanges = 0;
    ULONGLONG m_nSavedChanges = 0;
    // What the last successful save of the index wrote, and where.
    ser::KSavedRecord m_lastSaved;
    HRESULT m_hrRebuild = S_OK;
    size_t m_nOpenFiles = 0;
    ULONGLONG m_llUseClock = 0;
    std::vector<std::unique_ptr<SDeleter>> m_vDeleters;
    Leftovers m_vLeftovers;
};

// Deletes a folder tree; the folder text ends with "/". Symbolic links inside
// are removed, never followed. A folder that does not exist is S_OK.
HRESULT recurceDeleteFolder(const std::u16string& strFolder);
